// RepositoryFolderManagerImpl: the folder manager of one repository, a
// logging layer over the folder, path, lock and filing operations of the
// metadata data access. A failed call logs its reason once, as the text
// that becomes the calling thread's last error on the manager.
#ifndef SERVICES_REPFLDRMGRIMPL_H_
#define SERVICES_REPFLDRMGRIMPL_H_

#include "access/held_repository.h"
#include "rda/rda_thread_texts.h"
#include "reposadmin/repository_folder_manager.h"

class KvLogger;
class MetadataRepositoryDataAccess;
class Repository;

class RepositoryFolderManagerImpl : public RepositoryFolderManager {
 public:
  // Keeps `repository` (not owned) and a metadata data-access object of it.
  explicit RepositoryFolderManagerImpl(Repository* repository);
  ~RepositoryFolderManagerImpl() override;
  RepositoryFolderManagerImpl(const RepositoryFolderManagerImpl&) = delete;
  RepositoryFolderManagerImpl& operator=(const RepositoryFolderManagerImpl&) =
      delete;

  void release() override { delete this; }
  KvbString getErrorMessage() override { return lastError(); }
  ReposDataAccessCursor* getFolderItems(int folderId) override;
  ReposDataAccessCursor* getFolderChildren(int folderId) override;
  ReposDataAccessCursor* getFolderChildByName(int parentFolderId,
                                              const KvbString& name) override;
  bool createFolder(int parentFolderId, const KvbString& name,
                    int& newFolderId) override;
  bool getFolderPath(int folderId, KvbString& path,
                     KvbString& topFolderName) override;
  bool getFolderId(const KvbString& folderPath, int& folderId) override;
  bool splitPath(const KvbString& objectPath, KvbString& folderPath,
                 KvbString& itemName) override;
  bool deleteFolder(int folderId) override;
  bool renameFolder(int folderId, const KvbString& newName) override;
  bool moveFolder(int folderId, int newParentFolderId) override;
  bool isFolderEmpty(int folderId, bool& isEmpty) override;
  bool getParentFolder(int folderId, int& parentFolderId) override;
  bool getObjectFolder(const KvbString& objectType, int objectId,
                       int& folderId) override;
  bool getOrphanedObjectsFolderId(int& folderId) override;
  ReposDataAccessCursor* getUnfiledItems() override;
  bool isObjectLocked(int objectId, const KvbString& objectType) override;
  bool lockObject(int objectId, const KvbString& objectType,
                  const KvbString& user, const KvbString& objectUuid) override;
  bool unlockObject(int objectId, const KvbString& objectType) override;
  bool getLockInfo(int objectId, const KvbString& objectType,
                   KvbString& objectUuid, KvbString& user,
                   KvbDatavar& lockDate) override;
  bool moveObject(int objectId, const KvbString& objectType,
                  int folderId) override;
  bool resolveObjectPath(const KvbString& objectPath,
                         const KvbString& objectType, int& folderId,
                         int& objectId, KvbString& itemName,
                         KvbString& objectUuid, KvbString& errorText) override;
  bool objectExists(const KvbString& objectPath,
                    const KvbString& objectType) override;
  bool getObjectPath(int objectId, const KvbString& objectType,
                     KvbString& objectPath) override;

 private:
  // The calling thread's last error; "" when it has none.
  KvbString lastError() const { return lastErrors_.lastOr(KvbString("")); }
  // A failure: `text` becomes the calling thread's last error and is
  // logged as one record, the same text. Answers false.
  bool failWith(const KvbString& text, int line = __builtin_LINE());
  // A failed data-access call: failWith its reason, `reason` or (when that
  // is empty) the data-access object's text, which names its subject (the
  // data-access object logs nothing itself); `doing`, which names what the
  // manager was asked for, when the store gave no reason.
  bool failed(const KvbString& doing, const KvbString& reason = KvbString(),
              int line = __builtin_LINE());
  // The cursor of a listing; when it is null, failed(message).
  ReposDataAccessCursor* orFailed(ReposDataAccessCursor* cursor,
                                  const KvbString& message,
                                  int line = __builtin_LINE());
  // True when the manager has its metadata data access; otherwise false
  // with failed()'s text and record.
  bool usable(int line = __builtin_LINE());
  // Logs a step that succeeded.
  void done(const KvbString& message, int line = __builtin_LINE());
  // Found, missing or failed (1, 0, -1, as scanRows): the id and UUID of
  // the last row of `cursor` (released) that is an object of `objectType`
  // named `name`, both compared without regard to case. A failure keeps the
  // metadata's reason as the last error.
  int lastMatch(ReposDataAccessCursor* cursor, const KvbString& objectType,
                const KvbString& name, int& objectId, KvbString& objectUuid);
  // Found, missing or failed (1, 0, -1): the id of the folder that
  // `folderPath` leads to. A failure, and a missing folder when
  // `missingFails`, is recorded and logged as failed() does.
  int folderIdOf(const KvbString& folderPath, int& folderId,
                 bool missingFails);
  // Found, missing or failed: whether the cursor (released) gives a row.
  int hasRow(ReposDataAccessCursor* cursor);

  HeldRepository repository_;
  KvLogger* logger_;
  // The last errors, one per thread: threads may share the manager.
  RDA_ThreadTexts lastErrors_;
  MetadataRepositoryDataAccess* meta_;
};

#endif  // SERVICES_REPFLDRMGRIMPL_H_
