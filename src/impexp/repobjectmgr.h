// RepositoryObjectManagerImpl: the base of the object managers, one per
// object type, that delete, export and import objects of their type for the
// import/export manager. It holds the steps that every type shares.
#ifndef IMPEXP_REPOBJECTMGR_H_
#define IMPEXP_REPOBJECTMGR_H_

#include <functional>

#include "access/base_rdaimpl.h"
#include "kvbase/kvbase.h"
#include "reposadmin/repository.h"

class MetadataRecord;
class ReposDataAccessCursor;
class ReposDataAccessObject;
class MetadataSerializationContext;
class Repository;
class RepositoryImportExportManagerImpl;

// A data-access object of the repository for one call, released at its end.
template <typename T>
class ScopedAccess {
 public:
  explicit ScopedAccess(T* access) : access_(access) {}
  ~ScopedAccess() {
    if (access_) access_->release();
  }
  ScopedAccess(const ScopedAccess&) = delete;
  ScopedAccess& operator=(const ScopedAccess&) = delete;
  T* get() const { return access_; }
  T* operator->() const { return access_; }

 private:
  T* access_;
};

// The reason of a step on object `objectId` of `typeName` (0 or less: a
// new one) that could not get the data access it works through.
KvbString noDataAccess(const KvbString& typeName, int objectId);

// The name that the look-up of an imported record by its UUID (a task's:
// its code) is given: none when the record has one, so that a look-up by
// UUID that fails fails the import instead of being answered by an object
// of the record's name; the name when the record has no UUID.
inline KvbString nameToLookUp(const KvbString& name, const KvbString& uuid) {
  return uuid.isEmpty() ? name : KvbString("");
}

// Takes the turn of table `code` on the connection of `repository` for the
// import's transaction, before a look-up that decides what the import
// writes (an object that stands for a record, a UUID that is free): what
// the look-up finds then holds across connections and processes until the
// import is stored or undone. False, with the reason in `reason` (not
// logged), when the wait fails.
bool importTurnTaken(Repository* repository, const char* code,
                     KvbString& reason);

// The four operations that each object manager overrides. The import/export
// manager calls them only while it has its repository and its context.
#define KV_OBJECT_MANAGER_OPERATIONS                                           \
  bool deleteObject(int objectId, const KvbString& uuid, KvbString& errorText) \
      override;                                                                \
  bool exportObject(int objectId, const KvbString& uuid, KvbString& output,    \
                    KvbString& errorText) override;                            \
  bool importNewObject(MetadataRecord* record, int folderId,                   \
                       const KvbString& itemName, KvbString& errorText)        \
      override;                                                                \
  bool importOverObject(MetadataRecord* record, int targetId,                  \
                        const KvbString& targetUuid, int folderId,             \
                        const KvbString& targetName, KvbString& errorText)     \
      override;

class RepositoryObjectManagerImpl {
 public:
  explicit RepositoryObjectManagerImpl(RepositoryImportExportManagerImpl* owner)
      : owner_(owner) {}
  RepositoryObjectManagerImpl(const RepositoryObjectManagerImpl&) = delete;
  RepositoryObjectManagerImpl& operator=(const RepositoryObjectManagerImpl&) =
      delete;

  virtual void release() { delete this; }
  virtual bool deleteObject(int objectId, const KvbString& uuid,
                            KvbString& errorText) = 0;
  // Writes the object into a new record and the record into `output`. An
  // object that does not exist is a failure.
  virtual bool exportObject(int objectId, const KvbString& uuid,
                            KvbString& output, KvbString& errorText) = 0;
  // Imports `record` as a new object in `folderId`, named `itemName` when
  // that is not empty; an existing object with the record's UUID (or name)
  // stands for it instead.
  virtual bool importNewObject(MetadataRecord* record, int folderId,
                               const KvbString& itemName,
                               KvbString& errorText) = 0;
  // Imports `record` over object `targetId`, which keeps `targetName`.
  virtual bool importOverObject(MetadataRecord* record, int targetId,
                                const KvbString& targetUuid, int folderId,
                                const KvbString& targetName,
                                KvbString& errorText) = 0;

 protected:
  virtual ~RepositoryObjectManagerImpl() = default;

  Repository* repository() const;
  MetadataSerializationContext* context() const;
  // A new data-access object of the repository, made by `make`, or null.
  // It is quiet: the import/export manager logs each failure once.
  template <class Access>
  Access* newAccess(Access* (Repository::*make)()) const {
    return quietly((repository()->*make)());
  }
  // noDataAccess's text through failWith.
  bool failNoAccess(KvbString& errorText, const KvbString& typeName,
                    int objectId);
  // True when folder `folderId` exists (folder 0, the root, always does);
  // otherwise the metadata store's reason ("Folder <id> does not exist")
  // through failWith. An existing object that stands for an imported one
  // is refused with it as a new object would be: an import into a folder
  // that does not exist must not answer true.
  bool folderExists(int folderId, KvbString& errorText);
  // Makes a record of `typeName` with `uuid`, lets `fill` write the object
  // into it and serializes it; `noRecordText` when no record can be made.
  bool exportRecord(const KvbString& typeName, const KvbString& uuid,
                    const char* noRecordText,
                    const std::function<bool(MetadataRecord*)>& fill,
                    KvbString& output, KvbString& errorText);
  // After a new object was created for `record`: TARGETID, the object path
  // and the type's created text.
  void announceCreated(MetadataRecord* record, int newId,
                       const char* createdText);
  // The name an import over an object writes: the target's when it has one.
  KvbString chooseName(const KvbString& typeName, const KvbString& recordName,
                       const KvbString& targetName);
  // Chooses the UUID that an import over object `targetId` writes into
  // `uuid`: the record's, unless another object holds it already, then the
  // target's. That holder is found, as lastId finds it, among the rows that
  // `byUuid` gives for the record's UUID, its id in `idColumn`; a type
  // without stored UUIDs passes no `byUuid`. False when that lookup fails,
  // with the reason of `access` in errorText.
  bool chooseUuid(const KvbString& typeName, const KvbString& recordUuid,
                  const KvbString& targetUuid, int targetId,
                  const std::function<ReposDataAccessCursor*()>& byUuid,
                  const char* idColumn, ReposDataAccessObject* access,
                  KvbString& uuid, KvbString& errorText);
  // importTurnTaken on the repository's connection; its reason through
  // failWith.
  bool turnTaken(const char* code, KvbString& errorText);
  // For an import to a path, after turnTaken: gives `record` the UUID
  // that it names (its own, or where it has none, as in an export made
  // without one, the value of its `uuidColumn`: the object's stored UUID
  // or task code) where no object holds it, else a new one, logged at
  // level 2, so that the path gets an object of its own. An empty UUID
  // names no object and stays empty. `byUuid` gives the rows that hold a
  // UUID (their ids in `idColumn`), through `access`. False when that
  // look-up fails.
  bool uuidForPath(
      const KvbString& typeName, MetadataRecord* record, const char* uuidColumn,
      const std::function<ReposDataAccessCursor*(const KvbString&)>& byUuid,
      const char* idColumn, ReposDataAccessObject* access,
      KvbString& errorText);
  void event(int level, const KvbString& text);
  static KvbString value(MetadataRecord* record, const char* key);
  // Sends `text` as an error event, puts it into errorText, answers false.
  bool failWith(KvbString& errorText, const KvbString& text);
  // The end of a delete through `access`: its reason on failure, else a
  // deleted notice of `typeName`.
  bool deleted(bool done, ReposDataAccessObject* access, const char* typeName,
               int objectId, const KvbString& uuid, KvbString& errorText);
  // `name`, or `itemName` when one is given, which `format` (two %S: the
  // old and the new name) then logs at level 1.
  KvbString renamed(const char* format, const KvbString& name,
                    const KvbString& itemName);
  // "Error updating <what> in database[: reason]" through failWith.
  bool failUpdate(KvbString& errorText, const char* what,
                  const KvbString& reason);
  // Found, missing or failed, as firstRow: 1 when `rows` (released here)
  // hold rows, with the integer of column `idColumn` of the last one in
  // `id` and its `uuidColumn` in *storedUuid when that is given; 0 without
  // rows; -1 when `rows` is null or cannot be read, with the reason of
  // `access`, whose lookup gave them, through failWith.
  int lastId(ReposDataAccessCursor* rows, const char* idColumn,
             const char* uuidColumn, ReposDataAccessObject* access,
             KvbString& errorText, int& id, KvbString* storedUuid = nullptr);

  RepositoryImportExportManagerImpl* owner_;
};

#endif  // IMPEXP_REPOBJECTMGR_H_
