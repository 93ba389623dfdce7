// RepositoryFolderManager: the folder tree of one repository, the paths of
// folders and objects, object locks and the filing of objects in folders.
// A repository hands it out (createFolderManager); the caller ends it with
// release(), before or after the repository (see repository.h). Hosts call
// its operations by position, so their order is fixed.
//
// Folder 0 is the root. An object path is the object's name, preceded by
// its folder's path and "/" when the folder is not the root; a folder path
// is the folder names from the top level down joined by "/", without a
// leading "/". Paths that are read may also begin or end with "/" or hold
// "//": empty names are skipped.
//
// An object item row has the columns 0 type name (compare it trimmed),
// 1 UUID, 2 id, 3 name, 4 folder id, 5 created date, 6 modified date,
// 7 created user, 8 modified user, 9 description. Cursors belong to the
// caller, who releases them. Failures answer false or null; their reason is
// getErrorMessage(), the calling thread's last failure on the manager
// (threads may share it), which a success does not clear.
//
// Object type names ("Rule", "Task", ...): getObjectFolder, moveObject,
// resolveObjectPath and getObjectPath read the type's own table and take
// its name exactly, refusing any other text ("task" too) with "Unable to
// find type: <name>"; objectExists compares the type name without regard
// to case; the locks keep the text they are given and compare it exactly.
#ifndef REPOSADMIN_REPOSITORY_FOLDER_MANAGER_H_
#define REPOSADMIN_REPOSITORY_FOLDER_MANAGER_H_

#include "kvbase/kvbase.h"

class ReposDataAccessCursor;

class RepositoryFolderManager {
 public:
  // 0-2
  virtual ~RepositoryFolderManager() = default;
  virtual void release() = 0;
  virtual KvbString getErrorMessage() = 0;
  // 3: the object item rows of the objects filed in the folder; -1 lists
  // every object.
  virtual ReposDataAccessCursor* getFolderItems(int folderId) = 0;
  // 4: FLDR_ID, FLDR_NAM, FLDR_PAR of the folder's sub-folders; -1 lists
  // every folder.
  virtual ReposDataAccessCursor* getFolderChildren(int folderId) = 0;
  // 5: the same columns of the sub-folders whose name equals `name` without
  // regard to case; a parent of -1 matches any parent.
  virtual ReposDataAccessCursor* getFolderChildByName(
      int parentFolderId, const KvbString& name) = 0;
  // 6: a new folder below the parent (which must exist).
  virtual bool createFolder(int parentFolderId, const KvbString& name,
                            int& newFolderId) = 0;
  // 7: the folder's path and the name of its top-level folder; folder 0
  // gives the empty path.
  virtual bool getFolderPath(int folderId, KvbString& path,
                             KvbString& topFolderName) = 0;
  // 8: the folder a path leads to, names matched without regard to case;
  // the empty path gives 0.
  virtual bool getFolderId(const KvbString& folderPath, int& folderId) = 0;
  // 9: the text before the last "/" and the text after it (the empty
  // folder path and the whole text when there is no "/"). Always true.
  virtual bool splitPath(const KvbString& objectPath, KvbString& folderPath,
                         KvbString& itemName) = 0;
  // 10: deletes the folder's row; its sub-folders and objects are not
  // looked at (ask isFolderEmpty first). Folder 0 is refused with "Root
  // level folder cannot be deleted".
  virtual bool deleteFolder(int folderId) = 0;
  // 11
  virtual bool renameFolder(int folderId, const KvbString& newName) = 0;
  // 12: refused when both ids are equal or the new parent lies below the
  // folder itself.
  virtual bool moveFolder(int folderId, int newParentFolderId) = 0;
  // 13: tells in isEmpty whether the folder holds neither objects nor
  // sub-folders. False when the folder's contents cannot be read.
  virtual bool isFolderEmpty(int folderId, bool& isEmpty) = 0;
  // 14: false for a negative id or a folder that does not exist.
  virtual bool getParentFolder(int folderId, int& parentFolderId) = 0;
  // 15
  virtual bool getObjectFolder(const KvbString& objectType, int objectId,
                               int& folderId) = 0;
  // 16: the top-level folder named "Shared Data", where objects without a
  // folder are filed.
  virtual bool getOrphanedObjectsFolderId(int& folderId) = 0;
  // 17: the object item rows of the objects filed in no folder.
  virtual ReposDataAccessCursor* getUnfiledItems() = 0;
  // 18-21: advisory locks, at most one per object; a second lock replaces
  // the user and date. getLockInfo is true when the object is locked.
  // isObjectLocked answers false also when the lock rows cannot be read,
  // then with the reason in getErrorMessage() and one log record: a false
  // is "not locked" only when the text was not just set.
  virtual bool isObjectLocked(int objectId, const KvbString& objectType) = 0;
  virtual bool lockObject(int objectId, const KvbString& objectType,
                          const KvbString& user,
                          const KvbString& objectUuid) = 0;
  virtual bool unlockObject(int objectId, const KvbString& objectType) = 0;
  virtual bool getLockInfo(int objectId, const KvbString& objectType,
                           KvbString& objectUuid, KvbString& user,
                           KvbDatavar& lockDate) = 0;
  // 22: files the object in the folder (which must exist).
  virtual bool moveObject(int objectId, const KvbString& objectType,
                          int folderId) = 0;
  // 23: the folder, id, name and UUID of the object of that type at the
  // path (names compared without regard to case; of several, the last
  // read). False with errorText `Unable to find folder/object by path:
  // "<folder path>"` when no folder is at the object's folder path, or
  // "Unable to determine object id from path: <path>" when no such object
  // is in the folder; when the folder path or the folder's objects cannot
  // be read (or the type is not registered), errorText is that reason
  // instead. errorText is also what getErrorMessage() answers.
  virtual bool resolveObjectPath(const KvbString& objectPath,
                                 const KvbString& objectType, int& folderId,
                                 int& objectId, KvbString& itemName,
                                 KvbString& objectUuid,
                                 KvbString& errorText) = 0;
  // 24: true when an object of that type is at the path. False when none
  // is, a folder of the path missing included, which is no failure and
  // writes no record; false also when the path cannot be read, with the
  // reason in getErrorMessage().
  virtual bool objectExists(const KvbString& objectPath,
                            const KvbString& objectType) = 0;
  // 25: the path of the object; false when there is no such object (the
  // reason says so) or it cannot be read (the reason is the database's).
  virtual bool getObjectPath(int objectId, const KvbString& objectType,
                             KvbString& objectPath) = 0;
};

#endif  // REPOSADMIN_REPOSITORY_FOLDER_MANAGER_H_
