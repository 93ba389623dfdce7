// FieldMappingAdminObject: the field-mapping administration object of a
// repository, handed out by Repository::createFieldMappingAdmin. It works on
// the repository's common data (table KEYVAL and the rule and field tables)
// through a common data-access object of its own. The caller owns it and
// ends it with release(), before or after the repository (see
// repository.h).
#ifndef REPOSADMIN_FIELD_MAPPING_ADMIN_H_
#define REPOSADMIN_FIELD_MAPPING_ADMIN_H_

class Repository;

class FieldMappingAdminObject {
 public:
  // Binds the object to `repository`: the object keeps it (alive, when it is
  // this engine's) and
  // makes its own common data-access object on the repository's
  // connection. The integer is not read. False only when no repository is
  // given or the data-access object cannot be made. Calling it again binds
  // the object anew.
  virtual bool init(int unused, Repository* repository) = 0;
  // Ends the object and its data-access object; the repository stays.
  virtual void release() = 0;

 protected:
  virtual ~FieldMappingAdminObject() = default;
};

#endif  // REPOSADMIN_FIELD_MAPPING_ADMIN_H_
