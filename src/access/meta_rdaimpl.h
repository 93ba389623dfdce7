// MetadataRDAImpl: the metadata data-access object on the tables FOLDER,
// OBJLCK, REVENT, IMPRCS and IMPDEP and on the tables of the registered
// object types.
#ifndef ACCESS_META_RDAIMPL_H_
#define ACCESS_META_RDAIMPL_H_

#include <vector>

#include "access/base_rdaimpl.h"
#include "reposadmin/metadata_data_access.h"

struct ReposObjectType;

class MetadataRDAImpl : public RDA_Object<MetadataRepositoryDataAccess> {
 public:
  // `rda` is borrowed and may be null (every operation then fails).
  explicit MetadataRDAImpl(ReposDataAccess* rda) : RDA_Object(rda) {}

  ReposDataAccessCursor* listObjects(int folderId) override;
  ReposDataAccessCursor* listObjectsOfType(int folderId,
                                           const KvbString& typeName) override;
  ReposDataAccessCursor* listObjectsWithoutFolder() override;
  ReposDataAccessCursor* getObject(int objectId, const KvbString& typeName,
                                   KvbString& errorText) override;

  ReposDataAccessCursor* listFolders(int parentId) override;
  ReposDataAccessCursor* findFolders(int parentId,
                                     const KvbString& name) override;
  bool addFolder(int parentId, const KvbString& name, int& folderId) override;
  bool getFolderPath(int folderId, KvbString& path, KvbString& topFolderName,
                     KvbString& errorText) override;
  bool getFolderIdFromPath(const KvbString& path, int& folderId,
                           KvbString& errorText) override;
  // The errorText of getFolderIdFromPath for a path that leads to no
  // folder, which a caller tells apart from a failure by it.
  static KvbString unfoundPath(const KvbString& path);
  bool getParentFolderId(int folderId, int& parentId) override;
  bool getObjectFolderId(const KvbString& typeName, int objectId,
                         int& folderId) override;
  bool getSharedDataFolderId(int& folderId) override;
  bool deleteFolder(int folderId, KvbString& errorText) override;
  bool renameFolder(int folderId, const KvbString& newName) override;
  bool moveFolder(int folderId, int newParentId) override;
  bool moveObjectToFolder(int objectId, const KvbString& typeName, int folderId,
                          KvbString& errorText) override;

  bool isObjectLocked(int objectId, const KvbString& typeName) override;
  // 1 when the object has a lock row, 0 when it has none, -1 when the
  // lock rows cannot be read (with the reason recorded).
  int objectLockState(int objectId, const KvbString& typeName);
  bool lockObject(int objectId, const KvbString& typeName,
                  const KvbString& user, const KvbString& objectUuid) override;
  bool unlockObject(int objectId, const KvbString& typeName) override;
  bool getObjectLock(int objectId, const KvbString& typeName,
                     KvbString& objectUuid, KvbString& user,
                     KvbDatavar& lockDate) override;

  bool createRepositoryEvent(const KvbString& subject, int changeType,
                             const KvbString& other, const KvbString& source,
                             int& eventId, KvbString& errorText) override;
  ReposDataAccessCursor* getRepositoryEventsSince(
      int unused, double eventTime, const KvbString& excludedSource,
      KvbString& errorText) override;
  bool removeRepositoryEvents(int eventId, double eventTime,
                              KvbString& errorText) override;

  bool addResource(const KvbString& name, const KvbString& identity,
                   const KvbString& type, int& resourceId) override;
  ReposDataAccessCursor* findResource(const KvbString& identity,
                                      const KvbString& type) override;
  ReposDataAccessCursor* getResource(int resourceId) override;
  ReposDataAccessCursor* listResourcesUsedBy(int resourceId) override;
  ReposDataAccessCursor* listResourcesUsing(int resourceId) override;
  ReposDataAccessCursor* listResourcesUsingByType(
      int resourceId, const KvbString& type) override;
  ReposDataAccessCursor* listResourcesByType(const KvbString& type) override;
  ReposDataAccessCursor* listResources() override;
  ReposDataAccessCursor* listResourceTypes() override;
  bool deleteDependenciesOn(int resourceId) override;
  bool setResourceAccessDate(int resourceId, double date) override;
  bool addResourceDependency(int rcsId, int usedRcsId) override;
  bool deleteResourceDependency(int rcsId, int usedRcsId) override;

  bool normalizeFolderNames(RepositoryStatusCallback* status,
                            KvbString& errorText) override;

 private:
  // Which objects an object listing selects.
  enum class ObjectFilter { kAll, kInFolder, kWithoutFolder, kById };

  // Object item rows of `type` (every registered type when null) that
  // `filter` selects with `value` (a folder or object id).
  ReposDataAccessCursor* objectRows(const ReposObjectType* type,
                                    ObjectFilter filter, int value);

  // The checks below refuse through fail(): their text becomes the
  // connection's last failure, as a failing statement's does.

  // The parent (and, when `name` is given, the name) of folder `folderId`;
  // false when the folder does not exist or the query fails.
  bool readFolder(int folderId, int& parentId, KvbString* name);
  // False when `name` is empty or holds "/": such a folder could not be
  // reached by path.
  bool validFolderName(const KvbString& name);
  // False when a folder other than `exceptId` below `parentId` has the
  // lower-cased name of `name`, refused with a text that names that folder
  // as it is named, or when the query fails; the folders' turn is taken
  // first (writesSerialized), so that the name stays free for the write.
  bool nameFreeBelow(int parentId, const KvbString& name, int exceptId);
  // Found, missing or failed, as firstRow: the lock row of an object.
  int readLock(int objectId, const KvbString& typeName, KvbString& objectUuid,
               KvbString& user, KvbDatavar& lockDate);
  // A resource listing: the resource columns of IMPRCS, then `where`.
  ReposDataAccessCursor* resources(const KvbString& where,
                                   const std::vector<KvbDatavar>& values);
};

#endif  // ACCESS_META_RDAIMPL_H_
