// MetadataRepositoryDataAccess: the data-access object of a repository's
// metadata: the objects of every registered type and the folder tree they
// are filed in, object locks, the repository event queue and the lineage
// store of impact analysis. A repository hands it out; the caller ends it
// with release(). Cursors that it returns are in-memory copies owned by the
// caller, who releases them; further statements may run while they are
// read. Failures answer false or null; their reason is the connection's
// error text (getErrorMessage) unless an operation fills its own errorText.
// Operations without a connection log "Repository Data Access object is
// null" at level 5 and fail.
//
// Ids. Every id that a write is given names an object that must exist: a
// folder (0 is the root, which always exists), a resource, or an object of
// a registered type. One that does not exist, 0 and negative ids included
// (but folder 0), is refused with "<Kind> <id> does not exist" ("Folder 9
// does not exist", "Resource 9 does not exist", "Rule 9 does not exist",
// the kind of an object being its type name), logged once at level 5, and
// nothing is stored; the object is looked for in the write's own
// transaction. No id of a write means none; only the listings take -1 for
// "every" where they say so, and removeRepositoryEvents takes 0 for no
// bound. Object locks are the exception: a lock names its object by id
// and type name, which no lock operation looks up (a lock may be taken for
// an object of a type this repository does not register), and it goes
// with unlockObject, not with its object. A delete of what does not exist
// is no failure.
#ifndef REPOSADMIN_METADATA_DATA_ACCESS_H_
#define REPOSADMIN_METADATA_DATA_ACCESS_H_

#include "kvbase/kvbase.h"
#include "reposadmin/repos_data_access_object.h"

class ReposDataAccessCursor;
class RepositoryStatusCallback;

class MetadataRepositoryDataAccess : public ReposDataAccessObject {
 public:
  // --- Objects -------------------------------------------------------------
  // An object item row has the columns 0 type name (OBJTYPE; compare it
  // trimmed), 1 UUID, 2 id, 3 name, 4 folder id, 5 created date, 6 modified
  // date, 7 created user, 8 modified user, 9 description. Rows come in no
  // particular order.

  // The object item rows of every registered type filed in `folderId`;
  // -1 gives every object. Null on failure.
  virtual ReposDataAccessCursor* listObjects(int folderId) = 0;
  // The same for the one type `typeName`; null on failure or for a type
  // that is not registered.
  virtual ReposDataAccessCursor* listObjectsOfType(
      int folderId, const KvbString& typeName) = 0;
  // The object item rows (every type) that are filed in no folder: their
  // folder column is NULL or holds an empty text.
  virtual ReposDataAccessCursor* listObjectsWithoutFolder() = 0;
  // The object item row of the object `objectId` of type `typeName` (no row
  // when there is none). A type that is not registered gives null and
  // errorText "Unable to find type: <typeName>".
  virtual ReposDataAccessCursor* getObject(int objectId,
                                           const KvbString& typeName,
                                           KvbString& errorText) = 0;

  // --- Folders -------------------------------------------------------------
  // Folder 0 is the root; it has no row of its own and top-level folders
  // have parent 0. Names are matched by their lower-cased form (NAM_NORM).
  // Within one parent no two folders share a lower-cased name, and no
  // folder name is empty or holds "/": such folders could not be reached by
  // path.

  // Columns FLDR_ID, FLDR_NAM, FLDR_PAR of the folders whose parent is
  // `parentId`; -1 gives every folder. Null on failure.
  virtual ReposDataAccessCursor* listFolders(int parentId) = 0;
  // The same columns of the folders whose lower-cased name equals `name`
  // lower-cased, below `parentId` (-1: below any parent).
  virtual ReposDataAccessCursor* findFolders(int parentId,
                                             const KvbString& name) = 0;
  // Creates folder `name` below `parentId` with an id of the counter
  // "FOLDER", stored into folderId. False when the parent does not exist,
  // the name is not allowed or the parent already has a folder of that
  // name, compared without regard to case: "Folder <parentId> already
  // holds a folder named " and the name of the folder that is there in
  // double quotes, followed by " (folder names are compared without
  // regard to case)" when the names differ.
  virtual bool addFolder(int parentId, const KvbString& name,
                         int& folderId) = 0;
  // The folder names from the top level down to `folderId` joined by "/",
  // without a leading "/", and the name of its top-level folder. Folder 0
  // gives the empty path and true; a negative id, a missing folder or a
  // cycle of parents gives false with errorText.
  virtual bool getFolderPath(int folderId, KvbString& path,
                             KvbString& topFolderName,
                             KvbString& errorText) = 0;
  // The folder that a path of names separated by "/" leads to from the
  // root, names matched without regard to ASCII case; empty names are
  // skipped, so the empty path and "/" give 0. A name that is not found
  // gives false with errorText `Unable to find folder/object by path:
  // "<path>"`.
  virtual bool getFolderIdFromPath(const KvbString& path, int& folderId,
                                   KvbString& errorText) = 0;
  // The parent of folder `folderId`; false when there is no such folder.
  virtual bool getParentFolderId(int folderId, int& parentId) = 0;
  // The folder that object `objectId` of type `typeName` is filed in; false
  // for an unknown type or object.
  virtual bool getObjectFolderId(const KvbString& typeName, int objectId,
                                 int& folderId) = 0;
  // The top-level folder named exactly "Shared Data"; false when none.
  virtual bool getSharedDataFolderId(int& folderId) = 0;
  // Deletes the folder's row. Its sub-folders and filed objects are not
  // looked at. Folder 0 gives false and errorText "Root level folder cannot
  // be deleted"; a folder that does not exist is no failure.
  virtual bool deleteFolder(int folderId, KvbString& errorText) = 0;
  // Gives the folder a new name; false for a missing folder or a name that
  // addFolder would refuse. The root (0) is refused with "The root folder
  // cannot be renamed".
  virtual bool renameFolder(int folderId, const KvbString& newName) = 0;
  // Puts the folder below `newParentId`. False when both ids are equal, the
  // folder is the root or does not exist, the new parent does not exist or
  // lies below the folder itself (the folder would be cut off from the
  // root), or the new parent already has a folder of the same name.
  virtual bool moveFolder(int folderId, int newParentId) = 0;
  // Files object `objectId` of type `typeName` in folder `folderId` (0 for
  // the root). False with errorText for an unknown type ("Unable to find
  // type: <typeName>"), a missing folder ("Folder <id> does not exist") or
  // a missing object ("<typeName> <id> does not exist").
  virtual bool moveObjectToFolder(int objectId, const KvbString& typeName,
                                  int folderId, KvbString& errorText) = 0;

  // --- Object locks ----------------------------------------------------------
  // At most one lock row exists per object id and type name. Locks are
  // advisory: no other operation consults them.

  // True when the object has a lock row.
  virtual bool isObjectLocked(int objectId, const KvbString& typeName) = 0;
  // Locks the object for `user` at the current date. An existing lock gets
  // the new user and date and keeps its id and UUID; a new one takes an id
  // of the counter "OBJLCK". The change is posted to the repository event
  // manager as an update of the object.
  virtual bool lockObject(int objectId, const KvbString& typeName,
                          const KvbString& user,
                          const KvbString& objectUuid) = 0;
  // Removes the object's lock (true also when there was none) and posts the
  // change as lockObject does. A lock that cannot be read is left in place:
  // false.
  virtual bool unlockObject(int objectId, const KvbString& typeName) = 0;
  // The object's lock: its UUID, user and date (a double). False when the
  // object has no lock, with the text "The <typeName> object <id> has no
  // lock" (not logged).
  virtual bool getObjectLock(int objectId, const KvbString& typeName,
                             KvbString& objectUuid, KvbString& user,
                             KvbDatavar& lockDate) = 0;

  // --- Repository events -----------------------------------------------------

  // Adds an event row with an id of the counter "REVENT" (into eventId),
  // the change type's text (0 ADDED, 1 DELETED, 2 UPDATED), the current
  // date and the operating-system user. False with errorText "create
  // repository event error: <reason>".
  virtual bool createRepositoryEvent(const KvbString& subject, int changeType,
                                     const KvbString& other,
                                     const KvbString& source, int& eventId,
                                     KvbString& errorText) = 0;
  // Every column of the events at or after `eventTime` whose source is not
  // `excludedSource`, ordered by time, then id. Events stored without a
  // source are given to every reader. The first argument has no effect.
  // Null with errorText "Error getting repository events since
  // eventTime=<time>: <reason>".
  virtual ReposDataAccessCursor* getRepositoryEventsSince(
      int unused, double eventTime, const KvbString& excludedSource,
      KvbString& errorText) = 0;
  // Deletes the events with an id below `eventId` (when not 0) and a time
  // before `eventTime` (when not 0.0). Both 0 is refused with errorText,
  // which getErrorMessage() answers too.
  // The events exactly at the id or time stay.
  virtual bool removeRepositoryEvents(int eventId, double eventTime,
                                      KvbString& errorText) = 0;

  // --- Lineage resources ---------------------------------------------------
  // A resource row has the columns 0 RCS_ID, 1 RCS_NM, 2 RCS_IDTY, 3
  // RCS_TYPE, 4 RCS_ADAT. A dependency row (RCS_ID, RCS_USED) says that
  // resource RCS_USED uses resource RCS_ID.

  // Adds a resource with an id of the counter "IMPRCS" (into resourceId);
  // false when a resource of that type and identity exists.
  virtual bool addResource(const KvbString& name, const KvbString& identity,
                           const KvbString& type, int& resourceId) = 0;
  // The resource of that identity and type (no row when none).
  virtual ReposDataAccessCursor* findResource(const KvbString& identity,
                                              const KvbString& type) = 0;
  // The resource of that id (no row when none).
  virtual ReposDataAccessCursor* getResource(int resourceId) = 0;
  // The resources that use resource `resourceId`.
  virtual ReposDataAccessCursor* listResourcesUsedBy(int resourceId) = 0;
  // The resources that resource `resourceId` uses (depends on).
  virtual ReposDataAccessCursor* listResourcesUsing(int resourceId) = 0;
  // The same, only those of type `type`.
  virtual ReposDataAccessCursor* listResourcesUsingByType(
      int resourceId, const KvbString& type) = 0;
  // The resources of type `type`.
  virtual ReposDataAccessCursor* listResourcesByType(const KvbString& type) = 0;
  // Every resource.
  virtual ReposDataAccessCursor* listResources() = 0;
  // One row (RCS_TYPE) per distinct resource type.
  virtual ReposDataAccessCursor* listResourceTypes() = 0;
  // Deletes the record of what resource `resourceId` uses; the records of
  // resources that use it stay.
  virtual bool deleteDependenciesOn(int resourceId) = 0;
  // Sets the resource's access date (a date as a double); false when the
  // resource does not exist.
  virtual bool setResourceAccessDate(int resourceId, double date) = 0;
  // Records that resource `usedRcsId` uses resource `rcsId`. A resource
  // that does not exist is refused ("Resource <id> does not exist"; `rcsId`
  // is looked for first). The record is stored once: a second add of it
  // changes nothing (true).
  virtual bool addResourceDependency(int rcsId, int usedRcsId) = 0;
  // Removes that record.
  virtual bool deleteResourceDependency(int rcsId, int usedRcsId) = 0;

  // --- Upgrade ---------------------------------------------------------------

  // Fills the lower-cased name of every folder that has none (NULL or
  // empty). `status` (may be null) is told the step and the number of
  // folders changed; when it asks to stop nothing is changed and the answer
  // is false. On failure nothing is changed and errorText holds the reason.
  virtual bool normalizeFolderNames(RepositoryStatusCallback* status,
                                    KvbString& errorText) = 0;
};

#endif  // REPOSADMIN_METADATA_DATA_ACCESS_H_
