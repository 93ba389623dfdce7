// Folder questions of import and export over the metadata data access.
#include "impexp/impexp_folders.h"

#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"

ImportExportFolders::ImportExportFolders(Repository* repository)
    : meta_(repository ? repository->createMetadataDataAccess() : nullptr) {}

ImportExportFolders::~ImportExportFolders() {
  if (meta_) meta_->release();
}

bool ImportExportFolders::getObjectPath(int objectId, const KvbString& typeName,
                                        KvbString& path) {
  KvbString errorText, folderPath, top, name;
  ReposDataAccessCursor* rows =
      meta_ ? meta_->getObject(objectId, typeName, errorText) : nullptr;
  if (!rows) return false;
  int folderId = -1;
  const bool found = rows->next() == 1;
  if (found) {
    name = rows->getString(3);
    folderId = rows->getInt(4);
  }
  rows->release();
  if (!found || !meta_->getFolderPath(folderId, folderPath, top, errorText))
    return false;
  path = folderPath.isEmpty() ? name : folderPath + "/" + name.str();
  return true;
}

bool ImportExportFolders::splitPath(const KvbString& objectPath,
                                    KvbString& folderPath,
                                    KvbString& itemName) {
  const size_t slash = objectPath.rfind('/');
  folderPath =
      slash == KvbString::npos ? KvbString("") : objectPath.substr(0, slash);
  itemName =
      slash == KvbString::npos ? objectPath : objectPath.substr(slash + 1);
  return !itemName.isEmpty();
}

bool ImportExportFolders::getFolderId(const KvbString& folderPath,
                                      int& folderId, KvbString& errorText) {
  return meta_ && meta_->getFolderIdFromPath(folderPath, folderId, errorText);
}

int ImportExportFolders::find(int folderId, const KvbString& typeName,
                              const KvbString& name, int* objectId,
                              KvbString* uuid) {
  ReposDataAccessCursor* rows =
      meta_ ? meta_->listObjectsOfType(folderId, typeName) : nullptr;
  if (!rows) return -1;
  int found = 0;
  int status = 0;
  while (!found && (status = rows->next()) == 1) {
    if (!KvbString(rows->getString(3)).equals(name, true)) continue;
    found = 1;
    if (objectId) *objectId = rows->getInt(2);
    if (uuid) *uuid = rows->getString(1);
  }
  if (!found && status == 2) found = -1;
  rows->release();
  return found;
}

int ImportExportFolders::holds(int folderId, const KvbString& typeName,
                               const KvbString& name) {
  return find(folderId, typeName, name, nullptr, nullptr);
}

bool ImportExportFolders::resolveObjectPath(
    const KvbString& objectPath, const KvbString& typeName, int& folderId,
    int& objectId, KvbString& itemName, KvbString& uuid, KvbString& errorText) {
  objectId = folderId = -1;
  KvbString folderPath;
  if (splitPath(objectPath, folderPath, itemName) &&
      getFolderId(folderPath, folderId, errorText) &&
      find(folderId, typeName, itemName, &objectId, &uuid) == 1)
    return true;
  errorText = kvbStringFormat("Unable to find folder/object by path: \"%S\"",
                              objectPath);
  return false;
}
