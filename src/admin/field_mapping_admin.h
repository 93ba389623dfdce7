// FieldMappingAdminImpl: the field-mapping administration object. It keeps
// the repository it was bound to and a common data-access object of its
// own on that repository's connection.
#ifndef ADMIN_FIELD_MAPPING_ADMIN_H_
#define ADMIN_FIELD_MAPPING_ADMIN_H_

#include "access/held_repository.h"
#include "reposadmin/field_mapping_admin.h"

class CommonRepositoryDataAccess;
class KvLogger;

class FieldMappingAdminImpl : public FieldMappingAdminObject {
 public:
  FieldMappingAdminImpl() = default;
  FieldMappingAdminImpl(const FieldMappingAdminImpl&) = delete;
  FieldMappingAdminImpl& operator=(const FieldMappingAdminImpl&) = delete;

  bool init(int unused, Repository* repository) override;
  void release() override;

  Repository* getRepository() const { return repository_.get(); }
  CommonRepositoryDataAccess* getCommonDataAccess() const { return common_; }
  KvLogger* getLogger() const { return logger_; }

 protected:
  ~FieldMappingAdminImpl() override;

 private:
  // Ends the data-access object of an earlier binding.
  void releaseCommon();

  HeldRepository repository_;
  KvLogger* logger_ = nullptr;
  CommonRepositoryDataAccess* common_ = nullptr;
};

#endif  // ADMIN_FIELD_MAPPING_ADMIN_H_
