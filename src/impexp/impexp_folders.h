// ImportExportFolders: the folder questions of import and export (the path
// of an object, the object at a path, whether a folder holds a name),
// answered through the metadata data access of one repository.
#ifndef IMPEXP_IMPEXP_FOLDERS_H_
#define IMPEXP_IMPEXP_FOLDERS_H_

#include "kvbase/kvbase.h"

class MetadataRepositoryDataAccess;
class Repository;

class ImportExportFolders {
 public:
  explicit ImportExportFolders(Repository* repository);
  ~ImportExportFolders();
  ImportExportFolders(const ImportExportFolders&) = delete;
  ImportExportFolders& operator=(const ImportExportFolders&) = delete;

  // False when the repository gives no metadata data access.
  bool ready() const { return meta_ != nullptr; }
  // "folder/sub/name" of object `objectId` of `typeName`; just the name in
  // the root folder. False when the object or its folder is not found.
  bool getObjectPath(int objectId, const KvbString& typeName, KvbString& path);
  // Splits a path at its last "/" into the folder path and the item name;
  // false when the item name is empty.
  static bool splitPath(const KvbString& objectPath, KvbString& folderPath,
                        KvbString& itemName);
  bool getFolderId(const KvbString& folderPath, int& folderId,
                   KvbString& errorText);
  // 1 when folder `folderId` holds an object of `typeName` named `name`
  // (both without regard to case), 0 when not, -1 when it cannot be read.
  int holds(int folderId, const KvbString& typeName, const KvbString& name);
  // The folder, id, item name and UUID of the object of `typeName` at
  // `objectPath`; false with errorText when there is none.
  bool resolveObjectPath(const KvbString& objectPath, const KvbString& typeName,
                         int& folderId, int& objectId, KvbString& itemName,
                         KvbString& uuid, KvbString& errorText);

 private:
  // Finds the item row of `typeName` named `name` in `folderId`; answers
  // 1/0/-1 as holds() does and gives its id and UUID.
  int find(int folderId, const KvbString& typeName, const KvbString& name,
           int* objectId, KvbString* uuid);
  MetadataRepositoryDataAccess* meta_;
};

#endif  // IMPEXP_IMPEXP_FOLDERS_H_
