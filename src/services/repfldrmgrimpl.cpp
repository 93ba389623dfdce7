// RepositoryFolderManagerImpl: folders, paths, locks and filing over the
// metadata data access, with each failure logged and kept as the last
// error.
#include "services/repfldrmgrimpl.h"

#include "access/base_rdaimpl.h"
#include "access/meta_rdaimpl.h"
#include "kvsync/kvnocancellation.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "schema/log_printf.h"
#include "services/scan_rows.h"

namespace {
const char kSourceFile[] = "repfldrmgrimpl";
const char kLoggerName[] = "KV.Repos.ReposAdmin.FolderMgr";
}  // namespace

RepositoryFolderManagerImpl::RepositoryFolderManagerImpl(Repository* repository)
    : repository_(repository),
      logger_(kvlogGetLogger(kLoggerName)),
      meta_(repository ? quietly(repository->createMetadataDataAccess())
                       : nullptr) {}

RepositoryFolderManagerImpl::~RepositoryFolderManagerImpl() {
  if (meta_) meta_->release();
}

bool RepositoryFolderManagerImpl::failWith(const KvbString& text, int line) {
  lastErrors_.set(text);
  logPrintf(logger_, kLogError, kSourceFile, line, "%S", text);
  return false;
}

bool RepositoryFolderManagerImpl::failed(const KvbString& doing,
                                         const KvbString& reason, int line) {
  // The store's texts name their subject ("Folder 5 does not exist"), so
  // what the manager was doing would name it twice.
  const KvbString text = reason.isEmpty() ? meta_->getErrorMessage() : reason;
  return failWith(text.isEmpty() ? doing : text, line);
}

bool RepositoryFolderManagerImpl::usable(int line) {
  return meta_ ||
         failWith(
             kvbStringFormat("The folder manager cannot reach the repository's "
                             "folders: %s",
                             repository_
                                 ? "the repository gave no metadata data access"
                                 : "the manager has no repository"),
             line);
}

void RepositoryFolderManagerImpl::done(const KvbString& message, int line) {
  logPrintf(logger_, kLogProgress, kSourceFile, line, "%S", message);
}

int RepositoryFolderManagerImpl::lastMatch(ReposDataAccessCursor* cursor,
                                           const KvbString& objectType,
                                           const KvbString& name, int& objectId,
                                           KvbString& objectUuid) {
  bool matched = false;
  const int read = scanRows(cursor, [&](ReposDataAccessCursor* row) {
    // The type column is a literal of the listing, which may carry blanks.
    KvbString type = row->getString(0);
    if (type.trim().equals(objectType, true) &&
        row->getString(3).equals(name, true)) {
      objectId = row->getInt(2);
      objectUuid = row->getString(1);
      matched = true;
    }
    return true;
  });
  if (read >= 0) return matched ? 1 : 0;
  failed("Error reading the objects of a folder");
  return -1;
}

int RepositoryFolderManagerImpl::hasRow(ReposDataAccessCursor* cursor) {
  const int found =
      scanRows(cursor, [](ReposDataAccessCursor*) { return false; });
  if (found < 0) failed("Error reading the contents of a folder");
  return found;
}

// ---------------------------------------------------------------------------
// Folders

ReposDataAccessCursor* RepositoryFolderManagerImpl::orFailed(
    ReposDataAccessCursor* cursor, const KvbString& message, int line) {
  if (!cursor) failed(message, KvbString(), line);
  return cursor;
}

ReposDataAccessCursor* RepositoryFolderManagerImpl::getFolderItems(
    int folderId) {
  KvNoCancellation noCancellation;
  if (!usable()) return nullptr;
  return orFailed(
      meta_->listObjects(folderId),
      kvbStringFormat("Error getting items in folder id=%d", folderId));
}

ReposDataAccessCursor* RepositoryFolderManagerImpl::getFolderChildren(
    int folderId) {
  KvNoCancellation noCancellation;
  if (!usable()) return nullptr;
  return orFailed(
      meta_->listFolders(folderId),
      kvbStringFormat("Error getting child folders in folder id=%d", folderId));
}

ReposDataAccessCursor* RepositoryFolderManagerImpl::getFolderChildByName(
    int parentFolderId, const KvbString& name) {
  KvNoCancellation noCancellation;
  if (!usable()) return nullptr;
  return orFailed(
      meta_->findFolders(parentFolderId, name),
      kvbStringFormat("Error getting child folder name=\"%S\" in folder id=%d",
                      name, parentFolderId));
}

bool RepositoryFolderManagerImpl::createFolder(int parentFolderId,
                                               const KvbString& name,
                                               int& newFolderId) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  if (!meta_->addFolder(parentFolderId, name, newFolderId))
    return failed(kvbStringFormat("Error creating folder %S", name));
  done(kvbStringFormat("Created folder %S with id=%d", name, newFolderId));
  return true;
}

bool RepositoryFolderManagerImpl::getFolderPath(int folderId, KvbString& path,
                                                KvbString& topFolderName) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  KvbString reason;
  return meta_->getFolderPath(folderId, path, topFolderName, reason) ||
         failed(kvbStringFormat("Error getting path from id=%d", folderId),
                reason);
}

bool RepositoryFolderManagerImpl::getFolderId(const KvbString& folderPath,
                                              int& folderId) {
  KvNoCancellation noCancellation;
  return usable() && folderIdOf(folderPath, folderId, true) == 1;
}

int RepositoryFolderManagerImpl::folderIdOf(const KvbString& folderPath,
                                            int& folderId, bool missingFails) {
  KvbString reason;
  if (meta_->getFolderIdFromPath(folderPath, folderId, reason)) return 1;
  const bool missing = reason == MetadataRDAImpl::unfoundPath(folderPath);
  if (!missing || missingFails)
    failed(kvbStringFormat("Error getting id from path=%S", folderPath),
           reason);
  return missing ? 0 : -1;
}

bool RepositoryFolderManagerImpl::splitPath(const KvbString& objectPath,
                                            KvbString& folderPath,
                                            KvbString& itemName) {
  const size_t slash = objectPath.rfind('/');
  if (slash == KvbString::npos) {
    folderPath = "";
    itemName = objectPath;
  } else {
    folderPath = objectPath.substr(0, slash);
    itemName = objectPath.substr(slash + 1);
  }
  return true;
}

bool RepositoryFolderManagerImpl::deleteFolder(int folderId) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  KvbString reason;
  if (!meta_->deleteFolder(folderId, reason))
    return failed(kvbStringFormat("Error deleting folder with id=%d", folderId),
                  reason);
  done(kvbStringFormat("Deleted folder with id=%d", folderId));
  return true;
}

bool RepositoryFolderManagerImpl::renameFolder(int folderId,
                                               const KvbString& newName) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  return meta_->renameFolder(folderId, newName) ||
         failed(kvbStringFormat("Error renaming folder to %S with id=%d",
                                newName, folderId));
}

bool RepositoryFolderManagerImpl::moveFolder(int folderId,
                                             int newParentFolderId) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  if (!meta_->moveFolder(folderId, newParentFolderId))
    return failed(kvbStringFormat("Error moving folder to %d with id=%d",
                                  newParentFolderId, folderId));
  done(kvbStringFormat("Move folder to %d with id=%d", newParentFolderId,
                       folderId));
  return true;
}

// A folder whose contents cannot be read is not called empty: a caller
// that deletes empty folders would otherwise delete a full one.
bool RepositoryFolderManagerImpl::isFolderEmpty(int folderId, bool& isEmpty) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  // A null listing has been reported already.
  auto any = [&](ReposDataAccessCursor* rows) {
    return rows ? hasRow(rows) : -1;
  };
  const int items = any(getFolderItems(folderId));
  const int children = items == 0 ? any(getFolderChildren(folderId)) : 0;
  if (items < 0 || children < 0) return false;
  isEmpty = items == 0 && children == 0;
  return true;
}

bool RepositoryFolderManagerImpl::getParentFolder(int folderId,
                                                  int& parentFolderId) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  const KvbString doing = kvbStringFormat(
      "Error getting parent folder from folder id=%d", folderId);
  if (folderId < 0) return failWith(doing + ": no folder has a negative id");
  return meta_->getParentFolderId(folderId, parentFolderId) || failed(doing);
}

bool RepositoryFolderManagerImpl::getObjectFolder(const KvbString& objectType,
                                                  int objectId, int& folderId) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  return meta_->getObjectFolderId(objectType, objectId, folderId) ||
         failed(kvbStringFormat("Error getting folder for %S with id=%d",
                                objectType, objectId));
}

bool RepositoryFolderManagerImpl::getOrphanedObjectsFolderId(int& folderId) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  return meta_->getSharedDataFolderId(folderId) ||
         failed("Error getting orphaned objects folder id");
}

ReposDataAccessCursor* RepositoryFolderManagerImpl::getUnfiledItems() {
  KvNoCancellation noCancellation;
  if (!usable()) return nullptr;
  ReposDataAccessCursor* cursor = meta_->listObjectsWithoutFolder();
  if (!cursor) {
    done("No items found that did not exist in a folder.");
    failed("Error getting the items that are in no folder");
  }
  return cursor;
}

// ---------------------------------------------------------------------------
// Locks and filing

bool RepositoryFolderManagerImpl::isObjectLocked(int objectId,
                                                 const KvbString& objectType) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  // A lock that cannot be read is no "not locked": a host told so would
  // take the lock over from its user.
  const int state = static_cast<MetadataRDAImpl*>(meta_)->objectLockState(
      objectId, objectType);
  if (state < 0)
    return failed(
        kvbStringFormat("Error reading the lock of %S object with id=%d",
                        objectType, objectId));
  return state == 1;
}

bool RepositoryFolderManagerImpl::lockObject(int objectId,
                                             const KvbString& objectType,
                                             const KvbString& user,
                                             const KvbString& objectUuid) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  if (!meta_->lockObject(objectId, objectType, user, objectUuid))
    return failed(
        kvbStringFormat("Error locking %S object with id=%d to user %S",
                        objectType, objectId, user));
  done(kvbStringFormat("Locked %S object with id=%d to user %S", objectType,
                       objectId, user));
  return true;
}

bool RepositoryFolderManagerImpl::unlockObject(int objectId,
                                               const KvbString& objectType) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  if (!meta_->unlockObject(objectId, objectType))
    return failed(kvbStringFormat("Error unlocking %S object with id=%d",
                                  objectType, objectId));
  done(kvbStringFormat("Unlocked %S object with id=%d", objectType, objectId));
  return true;
}

bool RepositoryFolderManagerImpl::getLockInfo(int objectId,
                                              const KvbString& objectType,
                                              KvbString& objectUuid,
                                              KvbString& user,
                                              KvbDatavar& lockDate) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  return meta_->getObjectLock(objectId, objectType, objectUuid, user,
                              lockDate) ||
         failed(kvbStringFormat(
             "Error getting lock information for %S object with id=%d",
             objectType, objectId));
}

bool RepositoryFolderManagerImpl::moveObject(int objectId,
                                             const KvbString& objectType,
                                             int folderId) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  KvbString reason;
  return meta_->moveObjectToFolder(objectId, objectType, folderId, reason) ||
         failed(
             kvbStringFormat("Error moving %S object with id=%d to folder %d",
                             objectType, objectId, folderId),
             reason);
}

// ---------------------------------------------------------------------------
// Object paths

bool RepositoryFolderManagerImpl::resolveObjectPath(
    const KvbString& objectPath, const KvbString& objectType, int& folderId,
    int& objectId, KvbString& itemName, KvbString& objectUuid,
    KvbString& errorText) {
  KvNoCancellation noCancellation;
  if (!usable()) {
    errorText = lastError();
    return false;
  }
  objectId = -1;
  folderId = -1;
  KvbString folderPath;
  splitPath(objectPath, folderPath, itemName);
  // The folder's own reason ("Unable to find folder/object by path:
  // \"<folder path>\"", or the database's) is the answer, as logged there.
  if (!getFolderId(folderPath, folderId)) {
    errorText = lastError();
    return false;
  }
  // A listing that cannot be read (of a type that is not registered, say)
  // gives its own reason: it says nothing about whether the object exists.
  const int found = lastMatch(meta_->listObjectsOfType(folderId, objectType),
                              objectType, itemName, objectId, objectUuid);
  if (found < 0) {
    errorText = lastError();
    return false;
  }
  if (found == 0 || objectId < 0) {
    errorText = kvbStringFormat("Unable to determine object id from path: %S",
                                objectPath);
    return failWith(errorText);
  }
  return true;
}

bool RepositoryFolderManagerImpl::objectExists(const KvbString& objectPath,
                                               const KvbString& objectType) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  KvbString folderPath, itemName, uuid;
  int folderId = -1, objectId = -1;
  splitPath(objectPath, folderPath, itemName);
  // A folder that is not there holds no object: a plain "no", which is
  // no failure. False also when the folder cannot be read;
  // getErrorMessage() then gives the reason.
  return folderIdOf(folderPath, folderId, false) == 1 &&
         lastMatch(getFolderItems(folderId), objectType, itemName, objectId,
                   uuid) == 1 &&
         objectId >= 0;
}

bool RepositoryFolderManagerImpl::getObjectPath(int objectId,
                                                const KvbString& objectType,
                                                KvbString& objectPath) {
  KvNoCancellation noCancellation;
  if (!usable()) return false;
  ObjectItem object;
  KvbString reason;
  const int found = readObjectItem(meta_, objectId, objectType, object, reason);
  if (found < 0)
    return failed(kvbStringFormat("Error reading %S object with id=%d",
                                  objectType, objectId),
                  reason);
  if (found == 0 || object.name.isEmpty()) {
    const KvbString missing =
        kvbStringFormat(found ? "The %S object with id=%d has no name"
                              : "The %S object with id=%d does not exist",
                        objectType, objectId);
    return failWith(missing);
  }
  KvbString folderPath, top;
  if (!getFolderPath(object.folderId, folderPath, top)) return false;
  objectPath =
      folderPath.isEmpty() ? object.name : folderPath + "/" + object.name;
  return true;
}
