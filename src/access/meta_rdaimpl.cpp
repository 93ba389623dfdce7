// The metadata data-access object: object listings over the object-type
// registry, the folder tree, object locks, repository events and the
// lineage store.
#include "access/meta_rdaimpl.h"

#include <set>
#include <string>

#include "access/object_types.h"
#include "kvreposres/kvreposres.h"
#include "reposadmin/repository_status_callback.h"
#include "schema/log_printf.h"

namespace {

const char kSourceFile[] = "meta_rdaimpl";
const char kNoConnection[] = "Repository Data Access object is null";
// The columns of a resource row, in the order its readers rely on.
const char kResourceColumns[] = "RCS_ID, RCS_NM, RCS_IDTY, RCS_TYPE, RCS_ADAT";

KvbString lowered(KvbString text) {
  text.toLower();
  return text;
}

KvbString unknownType(const KvbString& typeName) {
  return kvbStringFormat("Unable to find type: %S", typeName);
}

KvbString missingFolder(int folderId) {
  return kvbStringFormat("Folder %d does not exist", folderId);
}

}  // namespace

// ---------------------------------------------------------------------------
// Helpers

KvbString MetadataRDAImpl::on(const char* format, const char* code,
                              const char* code2) {
  return code2 ? kvbStringFormat(format, table(code), table(code2))
               : kvbStringFormat(format, table(code));
}

bool MetadataRDAImpl::readFolder(int folderId, int& parentId, KvbString* name) {
  ReposDataAccessCursor* cursor =
      query(on("SELECT FLDR_PAR, FLDR_NAM FROM %S WHERE FLDR_ID=?", "FOLDER"),
            {folderId}, 1);
  if (!cursor) return false;
  const bool found = cursor->next() == 1;
  if (found) {
    parentId = cursor->getInt(0);
    if (name) *name = cursor->getString(1);
  }
  cursor->release();
  return found || fail(missingFolder(folderId));
}

bool MetadataRDAImpl::folderExists(int folderId) {
  int parent = 0;
  return folderId == 0 || readFolder(folderId, parent, nullptr);
}

bool MetadataRDAImpl::validFolderName(const KvbString& name) {
  if (!name.isEmpty() && name.find('/') == KvbString::npos) return true;
  return fail(kvbStringFormat(
      "\"%S\" cannot be a folder name: it is empty or holds \"/\"", name));
}

bool MetadataRDAImpl::nameFreeBelow(int parentId, const KvbString& name,
                                    int exceptId) {
  int other = 0;
  const int found = lookup(on("SELECT FLDR_ID FROM %S WHERE NAM_NORM=? AND "
                              "FLDR_PAR=? AND NOT FLDR_ID=?",
                              "FOLDER"),
                           {lowered(name), parentId, exceptId}, &other);
  return found == 0 ||
         (found == 1 &&
          fail(kvbStringFormat("Folder %d already holds a folder named \"%S\"",
                               parentId, name)));
}

// ---------------------------------------------------------------------------
// Objects

ReposDataAccessCursor* MetadataRDAImpl::objectRows(const ReposObjectType* type,
                                                   ObjectFilter filter,
                                                   int value) {
  if (!ready()) return nullptr;
  int count = 1;
  const ReposObjectType* types = type ? type : reposObjectTypes(&count);
  KvbString sql;
  std::vector<KvbDatavar> values;
  for (int i = 0; i < count; ++i) {
    const ReposObjectType& t = types[i];
    // The columns of every type's table agree in kind (integer ids and
    // folders, real dates, texts), so the branches need no casts. UNION ALL:
    // the rows of different types never coincide, and nothing is sorted.
    if (i > 0) sql.append(" UNION ALL ");
    sql.append(kvbStringFormat(
        "SELECT '%s' AS OBJTYPE, %s, %s, %s, %s, %s, %s, %s, %s, %s FROM %S",
        t.name, t.uuid, t.id, t.objectName, t.folderId, t.createdDate,
        t.modifiedDate, t.createdUser, t.modifiedUser, t.description,
        table(t.table)));
    switch (filter) {
      case ObjectFilter::kAll:
        break;
      case ObjectFilter::kInFolder:
        sql.append(kvbStringFormat(" WHERE %s=?", t.folderId));
        values.push_back(value);
        break;
      case ObjectFilter::kById:
        sql.append(kvbStringFormat(" WHERE %s=?", t.id));
        values.push_back(value);
        break;
      case ObjectFilter::kWithoutFolder:
        // The folder columns are integers: PostgreSQL keeps nothing but
        // NULL or a number in them, while SQLite may also hold an empty
        // text that an older writer put there. The cast compares both
        // without an error on either.
        sql.append(
            kvbStringFormat(" WHERE %s IS NULL OR CAST(%s AS VARCHAR(32)) = ''",
                            t.folderId, t.folderId));
        break;
    }
  }
  return query(sql, values);
}

ReposDataAccessCursor* MetadataRDAImpl::listObjects(int folderId) {
  return objectRows(
      nullptr, folderId == -1 ? ObjectFilter::kAll : ObjectFilter::kInFolder,
      folderId);
}

ReposDataAccessCursor* MetadataRDAImpl::listObjectsOfType(
    int folderId, const KvbString& typeName) {
  if (!ready()) return nullptr;
  const ReposObjectType* type = findObjectType(typeName);
  if (!type) {
    fail(unknownType(typeName));
    return nullptr;
  }
  return objectRows(
      type, folderId == -1 ? ObjectFilter::kAll : ObjectFilter::kInFolder,
      folderId);
}

ReposDataAccessCursor* MetadataRDAImpl::listObjectsWithoutFolder() {
  return objectRows(nullptr, ObjectFilter::kWithoutFolder, 0);
}

ReposDataAccessCursor* MetadataRDAImpl::getObject(int objectId,
                                                  const KvbString& typeName,
                                                  KvbString& errorText) {
  if (!ready()) {
    errorText = kNoConnection;
    return nullptr;
  }
  const ReposObjectType* type = findObjectType(typeName);
  if (!type) {
    fail(unknownType(typeName));
    errorText = rda_->getErrorMessage();
    return nullptr;
  }
  ReposDataAccessCursor* cursor =
      objectRows(type, ObjectFilter::kById, objectId);
  if (!cursor) errorText = rda_->getErrorMessage();
  return cursor;
}

// ---------------------------------------------------------------------------
// Folders

ReposDataAccessCursor* MetadataRDAImpl::listFolders(int parentId) {
  if (!ready()) return nullptr;
  KvbString sql = on("SELECT FLDR_ID, FLDR_NAM, FLDR_PAR FROM %S", "FOLDER");
  std::vector<KvbDatavar> values;
  SqlFilter filter(sql, values);
  if (parentId != -1) filter.add("FLDR_PAR=?", parentId);
  return query(sql, values);
}

ReposDataAccessCursor* MetadataRDAImpl::findFolders(int parentId,
                                                    const KvbString& name) {
  if (!ready()) return nullptr;
  KvbString sql = on("SELECT FLDR_ID, FLDR_NAM, FLDR_PAR FROM %S", "FOLDER");
  std::vector<KvbDatavar> values;
  SqlFilter filter(sql, values);
  filter.add("NAM_NORM=?", lowered(name));
  if (parentId != -1) filter.add("FLDR_PAR=?", parentId);
  return query(sql, values);
}

bool MetadataRDAImpl::addFolder(int parentId, const KvbString& name,
                                int& folderId) {
  if (!ready()) return false;
  int id = 0;
  const bool added = transaction([&] {
    return validFolderName(name) && folderExists(parentId) &&
           nameFreeBelow(parentId, name, -1) && nextId("FOLDER", id) &&
           run(on("INSERT INTO %S (FLDR_ID, FLDR_PAR, FLDR_NAM, NAM_NORM) "
                  "VALUES (?, ?, ?, ?)",
                  "FOLDER"),
               {id, parentId, name, lowered(name)});
  });
  if (added) folderId = id;
  return added;
}

bool MetadataRDAImpl::getFolderPath(int folderId, KvbString& path,
                                    KvbString& topFolderName,
                                    KvbString& errorText) {
  return BaseRDAImpl::getFolderPath(folderId, path, topFolderName, errorText);
}

bool MetadataRDAImpl::getFolderIdFromPath(const KvbString& path, int& folderId,
                                          KvbString& errorText) {
  if (!ready()) {
    errorText = kNoConnection;
    return false;
  }
  const KvbString sql =
      on("SELECT FLDR_ID FROM %S WHERE NAM_NORM=? AND FLDR_PAR=?", "FOLDER");
  const std::string& text = path.str();
  int id = 0;
  // Walk down from the root one name at a time; empty names (a leading,
  // trailing or doubled "/") are skipped, so "/" alone names the root.
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) {
      const KvbString name(text.substr(start, end - start));
      const int found = lookup(sql, {lowered(name), id}, &id);
      if (found != 1) {
        errorText =
            found < 0
                ? rda_->getErrorMessage()
                : kvbStringFormat(
                      "Unable to find folder/object by path: \"%S\"", path);
        return false;
      }
    }
    start = end + 1;
  }
  folderId = id;
  return true;
}

bool MetadataRDAImpl::getParentFolderId(int folderId, int& parentId) {
  if (!ready()) return false;
  return readFolder(folderId, parentId, nullptr);
}

bool MetadataRDAImpl::getObjectFolderId(const KvbString& typeName, int objectId,
                                        int& folderId) {
  if (!ready()) return false;
  const ReposObjectType* type = findObjectType(typeName);
  if (!type) return fail(unknownType(typeName));
  const int found =
      lookup(kvbStringFormat("SELECT %s FROM %S WHERE %s=?", type->folderId,
                             table(type->table), type->id),
             {objectId}, &folderId);
  return found == 1 ||
         (found == 0 && fail(kvbStringFormat("Unable to find %s with id %d",
                                             type->name, objectId)));
}

bool MetadataRDAImpl::getSharedDataFolderId(int& folderId) {
  if (!ready()) return false;
  const int found = lookup(on("SELECT FLDR_ID FROM %S WHERE FLDR_NAM = ? AND "
                              "FLDR_PAR = ?",
                              "FOLDER"),
                           {"Shared Data", 0}, &folderId);
  return found == 1 ||
         (found == 0 &&
          fail("There is no folder \"Shared Data\" at the top level"));
}

bool MetadataRDAImpl::deleteFolder(int folderId, KvbString& errorText) {
  if (!ready()) {
    errorText = kNoConnection;
    return false;
  }
  int rows = 0;
  const bool deleted =
      (folderId != 0 || fail("Root level folder cannot be deleted")) &&
      run(on("DELETE FROM %S WHERE FLDR_ID=?", "FOLDER"), {folderId}, &rows) &&
      (rows > 0 || fail(missingFolder(folderId)));
  if (!deleted) errorText = rda_->getErrorMessage();
  return deleted;
}

bool MetadataRDAImpl::renameFolder(int folderId, const KvbString& newName) {
  if (!ready()) return false;
  return transaction([&] {
    int parent = 0;
    return validFolderName(newName) && readFolder(folderId, parent, nullptr) &&
           nameFreeBelow(parent, newName, folderId) &&
           run(on("UPDATE %S SET FLDR_NAM=?, NAM_NORM=? WHERE FLDR_ID=?",
                  "FOLDER"),
               {newName, lowered(newName), folderId});
  });
}

bool MetadataRDAImpl::moveFolder(int folderId, int newParentId) {
  if (folderId == newParentId) return false;
  if (!ready()) return false;
  return transaction([&] {
    int parent = 0;
    KvbString name;
    if (folderId == 0) return fail("The root folder cannot be moved");
    if (!readFolder(folderId, parent, &name)) return false;
    // The new parent must lead up to the root without passing the folder
    // itself: a folder put below its own sub-folder would form a cycle cut
    // off from the root, with everything in it.
    std::set<int> seen;
    for (int id = newParentId; id != 0;) {
      if (id == folderId)
        return fail(kvbStringFormat(
            "Folder %d cannot be moved below itself (folder %d)", folderId,
            newParentId));
      if (!seen.insert(id).second)
        return fail(kvbStringFormat("The folders above folder %d form a cycle",
                                    newParentId));
      if (!readFolder(id, id, nullptr)) return false;
    }
    return nameFreeBelow(newParentId, name, folderId) &&
           run(on("UPDATE %S SET FLDR_PAR=? WHERE FLDR_ID=?", "FOLDER"),
               {newParentId, folderId});
  });
}

bool MetadataRDAImpl::moveObjectToFolder(int objectId,
                                         const KvbString& typeName,
                                         int folderId, KvbString& errorText) {
  if (!ready()) {
    errorText = kNoConnection;
    return false;
  }
  const ReposObjectType* type = findObjectType(typeName);
  const bool moved =
      (type || fail(unknownType(typeName))) && transaction([&] {
        int rows = 0;
        return folderExists(folderId) &&
               run(kvbStringFormat("UPDATE %S SET %s=? WHERE %s=?",
                                   table(type->table), type->folderId,
                                   type->id),
                   {folderId, objectId}, &rows) &&
               (rows > 0 || fail(kvbStringFormat("Unable to find %s with id %d",
                                                 type->name, objectId)));
      });
  if (!moved) errorText = rda_->getErrorMessage();
  return moved;
}

// ---------------------------------------------------------------------------
// Object locks

bool MetadataRDAImpl::isObjectLocked(int objectId, const KvbString& typeName) {
  if (!ready()) return false;
  int count = 0;
  return lookup(on("SELECT COUNT(*) FROM %S WHERE OBJ_ID=? AND OBJ_TYPE=?",
                   "OBJLCK"),
                {objectId, typeName}, &count) == 1 &&
         count > 0;
}

bool MetadataRDAImpl::lockObject(int objectId, const KvbString& typeName,
                                 const KvbString& user,
                                 const KvbString& objectUuid) {
  if (!ready()) return false;
  const double now = KvbDate::currentDate().asDouble();
  const bool locked = transaction([&] {
    // An existing lock changes hands; only when there is none is a row
    // added.
    int rows = 0;
    if (!run(on("UPDATE %S SET LCK_USR = ? , LCK_CDAT = ? WHERE OBJ_ID = ? "
                "AND OBJ_TYPE = ?",
                "OBJLCK"),
             {user, now, objectId, typeName}, &rows))
      return false;
    int lockId = 0;
    return rows > 0 ||
           (nextId("OBJLCK", lockId) &&
            run(on("INSERT INTO %S (LCK_ID, OBJ_ID, OBJ_TYPE, OBJ_UUID, "
                   "LCK_CDAT, LCK_USR) VALUES (?, ?, ?, ?, ?, ? )",
                   "OBJLCK"),
                {lockId, objectId, typeName, objectUuid, now, user}));
  });
  if (locked) postChange(2, typeName.asCstr(), objectId, objectUuid);
  return locked;
}

bool MetadataRDAImpl::unlockObject(int objectId, const KvbString& typeName) {
  if (!ready()) return false;
  // The lock row's UUID names the object in the notification.
  KvbString uuid, user;
  KvbDatavar date;
  getObjectLock(objectId, typeName, uuid, user, date);
  if (!run(on("DELETE FROM %S WHERE OBJ_ID=? AND OBJ_TYPE=?", "OBJLCK"),
           {objectId, typeName}))
    return false;
  postChange(2, typeName.asCstr(), objectId, uuid);
  return true;
}

bool MetadataRDAImpl::getObjectLock(int objectId, const KvbString& typeName,
                                    KvbString& objectUuid, KvbString& user,
                                    KvbDatavar& lockDate) {
  if (!ready()) return false;
  ReposDataAccessCursor* cursor =
      query(on("SELECT OBJ_UUID, LCK_USR, LCK_CDAT FROM %S WHERE OBJ_ID=? "
               "AND OBJ_TYPE=?",
               "OBJLCK"),
            {objectId, typeName}, 1);
  if (!cursor) return false;
  const bool found = cursor->next() == 1;
  if (found) {
    objectUuid = cursor->getString(0);
    user = cursor->getString(1);
    lockDate = KvbDatavar(cursor->getDouble(2));
  }
  cursor->release();
  return found;
}

// ---------------------------------------------------------------------------
// Repository events

bool MetadataRDAImpl::createRepositoryEvent(
    const KvbString& subject, int changeType, const KvbString& other,
    const KvbString& source, int& eventId, KvbString& errorText) {
  if (!ready()) {
    errorText = kNoConnection;
    return false;
  }
  int id = 0;
  const bool added = transaction([&] {
    return nextId("REVENT", id) &&
           run(on("INSERT INTO %S (EVT_ID, EVT_SBJT, EVT_ACTN, EVT_TIME, "
                  "EVT_USER, EVT_OTHR, EVT_SRC) VALUES (?,?,?,?,?,?,?)",
                  "REVENT"),
               {id, subject, getRepositoryEventChangeTypeString(changeType),
                KvbDate::currentDate().asDouble(), getOSUserName(), other,
                source});
  });
  if (!added) {
    errorText = kvbStringFormat("create repository event error: %S",
                                rda_->getErrorMessage());
    return false;
  }
  eventId = id;
  return true;
}

ReposDataAccessCursor* MetadataRDAImpl::getRepositoryEventsSince(
    int, double eventTime, const KvbString& excludedSource,
    KvbString& errorText) {
  if (!ready()) {
    errorText = kNoConnection;
    return nullptr;
  }
  // "NOT EVT_SRC = ?" alone is never true for an event stored without a
  // source, nor for any event when the excluded source is null: such
  // events would reach no reader. An event without a source comes from no
  // client, so every reader gets it, and a null excluded source excludes
  // only the events whose source is empty.
  ReposDataAccessCursor* cursor = query(
      on("SELECT * FROM %S WHERE EVT_TIME >= ? AND (EVT_SRC IS NULL OR NOT "
         "EVT_SRC = ?) ORDER BY EVT_TIME, EVT_ID",
         "REVENT"),
      {eventTime, excludedSource.isNull() ? KvbString("") : excludedSource});
  if (!cursor)
    errorText = kvbStringFormat(
        "Error getting repository events since eventTime=%g: %S", eventTime,
        rda_->getErrorMessage());
  return cursor;
}

bool MetadataRDAImpl::removeRepositoryEvents(int eventId, double eventTime,
                                             KvbString& errorText) {
  if (!ready()) {
    errorText = kNoConnection;
    return false;
  }
  if (eventId == 0 && eventTime == 0.0) {
    errorText =
        "Remove repository events cannot remove events when neither date or "
        "id are specified.";
    return false;
  }
  KvbString sql = on("DELETE FROM %S", "REVENT");
  std::vector<KvbDatavar> values;
  SqlFilter filter(sql, values);
  if (eventId != 0) filter.add("EVT_ID < ?", eventId);
  if (eventTime != 0.0) filter.add("EVT_TIME < ?", eventTime);
  int rows = 0;
  if (!transaction([&] { return run(sql, values, &rows); })) {
    errorText = kvbStringFormat("Error removing repository events: %S",
                                rda_->getErrorMessage());
    logError(errorText);
    return false;
  }
  logPrintf(getLogger(), kLogTrace, kSourceFile, __LINE__,
            "Removed %d repository events", rows);
  return true;
}

// ---------------------------------------------------------------------------
// Lineage resources

ReposDataAccessCursor* MetadataRDAImpl::resources(
    const char* tail, const std::vector<KvbDatavar>& values) {
  if (!ready()) return nullptr;
  const std::string format =
      std::string("SELECT ") + kResourceColumns + " FROM %S" + tail;
  return query(on(format.c_str(), "IMPRCS", "IMPDEP"), values);
}

bool MetadataRDAImpl::addResource(const KvbString& name,
                                  const KvbString& identity,
                                  const KvbString& type, int& resourceId) {
  if (!ready()) return false;
  int id = 0;
  const bool added = transaction([&] {
    int count = 0;
    if (lookup(on("SELECT COUNT(*) FROM %S WHERE RCS_IDTY=? AND RCS_TYPE=?",
                  "IMPRCS"),
               {identity, type}, &count) != 1)
      return false;
    if (count > 0)
      return fail(kvbStringFormat(
          "A %S resource with identity \"%S\" exists already", type, identity));
    return nextId("IMPRCS", id) &&
           run(on("INSERT INTO %S (RCS_ID, RCS_NM, RCS_IDTY, RCS_TYPE) "
                  "VALUES(?,?,?,?)",
                  "IMPRCS"),
               {id, name, identity, type});
  });
  if (added) resourceId = id;
  return added;
}

ReposDataAccessCursor* MetadataRDAImpl::findResource(const KvbString& identity,
                                                     const KvbString& type) {
  return resources(" WHERE RCS_IDTY=? AND RCS_TYPE=?", {identity, type});
}

ReposDataAccessCursor* MetadataRDAImpl::getResource(int resourceId) {
  return resources(" WHERE RCS_ID=?", {resourceId});
}

// In IMPDEP a row (RCS_ID, RCS_USED) says that RCS_USED uses RCS_ID. In the
// sub-queries below the bare RCS_ID is IMPDEP's own column.
ReposDataAccessCursor* MetadataRDAImpl::listResourcesUsedBy(int resourceId) {
  return resources(
      " WHERE RCS_ID IN (SELECT RCS_USED FROM %S WHERE RCS_ID = ?)",
      {resourceId});
}

ReposDataAccessCursor* MetadataRDAImpl::listResourcesUsing(int resourceId) {
  return resources(
      " WHERE RCS_ID IN (SELECT RCS_ID FROM %S WHERE RCS_USED = ?)",
      {resourceId});
}

ReposDataAccessCursor* MetadataRDAImpl::listResourcesUsingByType(
    int resourceId, const KvbString& type) {
  return resources(
      " WHERE RCS_TYPE = ? AND RCS_ID IN (SELECT RCS_ID FROM %S WHERE "
      "RCS_USED = ?)",
      {type, resourceId});
}

ReposDataAccessCursor* MetadataRDAImpl::listResourcesByType(
    const KvbString& type) {
  return resources(" WHERE RCS_TYPE=?", {type});
}

ReposDataAccessCursor* MetadataRDAImpl::listResources() {
  return resources("", {});
}

ReposDataAccessCursor* MetadataRDAImpl::listResourceTypes() {
  if (!ready()) return nullptr;
  return query(on("SELECT DISTINCT RCS_TYPE FROM %S", "IMPRCS"), {});
}

bool MetadataRDAImpl::deleteDependenciesOn(int resourceId) {
  if (!ready()) return false;
  return run(on("DELETE FROM %S WHERE RCS_USED = ?", "IMPDEP"), {resourceId});
}

bool MetadataRDAImpl::setResourceAccessDate(int resourceId, double date) {
  if (!ready()) return false;
  int rows = 0;
  return run(on("UPDATE %S SET RCS_ADAT = ? WHERE RCS_ID = ?", "IMPRCS"),
             {date, resourceId}, &rows) &&
         (rows > 0 ||
          fail(kvbStringFormat("Resource %d does not exist", resourceId)));
}

bool MetadataRDAImpl::addResourceDependency(int rcsId, int usedRcsId) {
  if (!ready()) return false;
  return run(on("INSERT INTO %S (RCS_ID,RCS_USED) VALUES (?,?)", "IMPDEP"),
             {rcsId, usedRcsId});
}

bool MetadataRDAImpl::deleteResourceDependency(int rcsId, int usedRcsId) {
  if (!ready()) return false;
  return run(on("DELETE FROM %S WHERE RCS_ID = ? AND RCS_USED = ?", "IMPDEP"),
             {rcsId, usedRcsId});
}

// ---------------------------------------------------------------------------
// Upgrade

bool MetadataRDAImpl::normalizeFolderNames(RepositoryStatusCallback* status,
                                           KvbString& errorText) {
  if (!ready()) {
    errorText = kNoConnection;
    return false;
  }
  if (status && !status->reportStatus("Normalizing folder names")) {
    errorText = "Normalizing folder names was stopped";
    return false;
  }
  // Lower-cased here rather than by the database's LOWER(), whose notion of
  // case differs between back ends: the lookups by name lower-case the same
  // way.
  int changed = 0;
  const bool done = transaction([&] {
    ReposDataAccessCursor* cursor =
        query(on("SELECT FLDR_ID, FLDR_NAM FROM %S WHERE NAM_NORM IS NULL OR "
                 "NAM_NORM = ''",
                 "FOLDER"),
              {});
    if (!cursor) return false;
    const KvbString update =
        on("UPDATE %S SET NAM_NORM=? WHERE FLDR_ID=?", "FOLDER");
    bool ok = true;
    while (ok && cursor->next() == 1) {
      const KvbString name = cursor->getString(1);
      if (name.isEmpty()) continue;
      ok = run(update, {lowered(name), cursor->getInt(0)});
      if (ok) ++changed;
    }
    cursor->release();
    return ok;
  });
  if (!done) {
    errorText = rda_->getErrorMessage();
    return false;
  }
  if (status)
    status->reportMessage(
        kvbStringFormat("Normalized the names of %d folders", changed));
  return true;
}
