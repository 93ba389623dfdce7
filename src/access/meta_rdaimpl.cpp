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

}  // namespace

// ---------------------------------------------------------------------------
// Helpers

bool MetadataRDAImpl::readFolder(int folderId, int& parentId, KvbString* name) {
  const int found = firstRow(
      "SELECT FLDR_PAR, FLDR_NAM FROM " + table("FOLDER") + " WHERE FLDR_ID=?",
      {folderId}, [&](ReposDataAccessCursor& row) {
        parentId = row.getInt(0);
        if (name) *name = row.getString(1);
      });
  return found == 1 || (found == 0 && fail(missingFolder(folderId)));
}

bool MetadataRDAImpl::validFolderName(const KvbString& name) {
  if (!name.isEmpty() && name.find('/') == KvbString::npos) return true;
  return fail(kvbStringFormat(
      "\"%S\" cannot be a folder name: it is empty or holds \"/\"", name));
}

bool MetadataRDAImpl::nameFreeBelow(int parentId, const KvbString& name,
                                    int exceptId) {
  if (!writesSerialized("FOLDER")) return false;
  KvbString held;
  // The lowered name is the name given, as a refusal of it says.
  const int found = firstRow(
      SqlStatement("SELECT FLDR_NAM FROM " + table("FOLDER"))
          .on("FOLDER")
          .where("NAM_NORM=?", SqlField("FLDR_NAM", lowered(name)))
          .where("FLDR_PAR=?", parentId)
          .where("NOT FLDR_ID=?", exceptId),
      [&](ReposDataAccessCursor& row) { held = row.getString(0); });
  if (found != 1) return found == 0;
  // The folder that is there is named as it is, which may differ from the
  // name given in case only.
  KvbString text = kvbStringFormat(
      "Folder %d already holds a folder named \"%S\"", parentId, held);
  if (held != name)
    text += " (folder names are compared without regard to case)";
  return fail(text);
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
    sql
        .append(kvbStringFormat(
            "SELECT '%s' AS OBJTYPE, %s, %s, %s, %s, %s, %s, %s, %s, "
            "%s FROM ",
            t.name, t.uuid, t.id, t.objectName, t.folderId, t.createdDate,
            t.modifiedDate, t.createdUser, t.modifiedUser, t.description))
        .append(table(t.table));
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
  return query(
      SqlStatement("SELECT FLDR_ID, FLDR_NAM, FLDR_PAR FROM " + table("FOLDER"))
          .where("FLDR_PAR=?", parentId, Given::kNotMinusOne));
}

ReposDataAccessCursor* MetadataRDAImpl::findFolders(int parentId,
                                                    const KvbString& name) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement("SELECT FLDR_ID, FLDR_NAM, FLDR_PAR FROM " + table("FOLDER"))
          .where("NAM_NORM=?", lowered(name))
          .where("FLDR_PAR=?", parentId, Given::kNotMinusOne));
}

bool MetadataRDAImpl::addFolder(int parentId, const KvbString& name,
                                int& folderId) {
  if (!ready()) return false;
  int id = -1;
  const bool added = transaction([&] {
    return validFolderName(name) && folderExists(parentId) &&
           nameFreeBelow(parentId, name, -1) &&
           (id = addNumbered("FOLDER", "FOLDER", "FLDR_ID",
                             {{"FLDR_PAR", parentId},
                              {"FLDR_NAM", name},
                              {"NAM_NORM", lowered(name)}})) >= 0;
  });
  if (added) folderId = id;
  return added;
}

bool MetadataRDAImpl::getFolderPath(int folderId, KvbString& path,
                                    KvbString& topFolderName,
                                    KvbString& errorText) {
  return BaseRDAImpl::getFolderPath(folderId, path, topFolderName, errorText);
}

KvbString MetadataRDAImpl::unfoundPath(const KvbString& path) {
  return kvbStringFormat("Unable to find folder/object by path: \"%S\"", path);
}

bool MetadataRDAImpl::getFolderIdFromPath(const KvbString& path, int& folderId,
                                          KvbString& errorText) {
  if (!ready()) {
    errorText = kNoConnection;
    return false;
  }
  const KvbString sql = "SELECT FLDR_ID FROM " + table("FOLDER") +
                        " WHERE NAM_NORM=? AND FLDR_PAR=?";
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
        errorText = found < 0 ? rda_->getErrorMessage() : unfoundPath(path);
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
  const int found = lookup("SELECT " + KvbString(type->folderId) + " FROM " +
                               table(type->table) + " WHERE " + type->id + "=?",
                           {objectId}, &folderId);
  return found == 1 ||
         (found == 0 && fail(kvbStringFormat("Unable to find %s with id %d",
                                             type->name, objectId)));
}

bool MetadataRDAImpl::getSharedDataFolderId(int& folderId) {
  if (!ready()) return false;
  const int found = lookup("SELECT FLDR_ID FROM " + table("FOLDER") +
                               " WHERE FLDR_NAM = ? AND FLDR_PAR = ?",
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
  // A folder that is not there is no failure: what the caller asked for
  // holds.
  const bool deleted =
      (folderId != 0 || fail("Root level folder cannot be deleted")) &&
      run("DELETE FROM " + table("FOLDER") + " WHERE FLDR_ID=?", {folderId});
  if (!deleted) errorText = rda_->getErrorMessage();
  return deleted;
}

bool MetadataRDAImpl::renameFolder(int folderId, const KvbString& newName) {
  if (!ready()) return false;
  // The root has no row to rename; it is refused as a move of it is.
  if (folderId == 0) return fail("The root folder cannot be renamed");
  return transaction([&] {
    int parent = 0;
    return validFolderName(newName) && readFolder(folderId, parent, nullptr) &&
           nameFreeBelow(parent, newName, folderId) &&
           update("FOLDER",
                  {{"FLDR_NAM", newName}, {"NAM_NORM", lowered(newName)}},
                  {"FLDR_ID", folderId});
  });
}

// A folder moved onto itself is refused as one moved below itself.
bool MetadataRDAImpl::moveFolder(int folderId, int newParentId) {
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
           run("UPDATE " + table("FOLDER") + " SET FLDR_PAR=? WHERE FLDR_ID=?",
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
               run("UPDATE " + table(type->table) + " SET " + type->folderId +
                       "=? WHERE " + type->id + "=?",
                   {folderId, objectId}, &rows) &&
               (rows > 0 || fail(missingObject(type->name, objectId)));
      });
  if (!moved) errorText = rda_->getErrorMessage();
  return moved;
}

// ---------------------------------------------------------------------------
// Object locks

bool MetadataRDAImpl::isObjectLocked(int objectId, const KvbString& typeName) {
  return objectLockState(objectId, typeName) == 1;
}

int MetadataRDAImpl::objectLockState(int objectId, const KvbString& typeName) {
  if (!ready()) return -1;
  int count = 0;
  const int found = lookup("SELECT COUNT(*) FROM " + table("OBJLCK") +
                               " WHERE OBJ_ID=? AND OBJ_TYPE=?",
                           {objectId, typeName}, &count);
  // COUNT(*) always gives a row: one missing is a failed read too.
  if (found != 1) return -1;
  return count > 0 ? 1 : 0;
}

bool MetadataRDAImpl::lockObject(int objectId, const KvbString& typeName,
                                 const KvbString& user,
                                 const KvbString& objectUuid) {
  if (!ready()) return false;
  const double now = KvbDate::currentDate().asDouble();
  const bool locked = transaction([&] {
    // An existing lock changes hands; only when there is none is a row
    // added. The turn keeps another connection from adding one meanwhile.
    SqlStatement update = updateOf("OBJLCK");
    update.set({{"LCK_USR", user}, {"LCK_CDAT", now}})
        .where({{"OBJ_ID", objectId}, {"OBJ_TYPE", typeName}});
    int rows = 0;
    return writesSerialized("OBJLCK") && run(update, &rows) &&
           (rows > 0 || addNumbered("OBJLCK", "OBJLCK", "LCK_ID",
                                    {{"OBJ_ID", objectId},
                                     {"OBJ_TYPE", typeName},
                                     {"OBJ_UUID", objectUuid},
                                     {"LCK_CDAT", now},
                                     {"LCK_USR", user}}) >= 0);
  });
  if (locked)
    postChange(kChangeUpdated, typeName.asCstr(), objectId, objectUuid);
  return locked;
}

bool MetadataRDAImpl::unlockObject(int objectId, const KvbString& typeName) {
  if (!ready()) return false;
  // The lock row's UUID names the object in the notification. A lock that
  // cannot be read is not removed unseen.
  KvbString uuid, user;
  KvbDatavar date;
  if (readLock(objectId, typeName, uuid, user, date) < 0) return false;
  if (!run("DELETE FROM " + table("OBJLCK") + " WHERE OBJ_ID=? AND OBJ_TYPE=?",
           {objectId, typeName}))
    return false;
  postChange(kChangeUpdated, typeName.asCstr(), objectId, uuid);
  return true;
}

bool MetadataRDAImpl::getObjectLock(int objectId, const KvbString& typeName,
                                    KvbString& objectUuid, KvbString& user,
                                    KvbDatavar& lockDate) {
  return ready() &&
         wasFound(readLock(objectId, typeName, objectUuid, user, lockDate),
                  [&] {
                    return kvbStringFormat("The %S object %d has no lock",
                                           typeName, objectId);
                  });
}

int MetadataRDAImpl::readLock(int objectId, const KvbString& typeName,
                              KvbString& objectUuid, KvbString& user,
                              KvbDatavar& lockDate) {
  return firstRow("SELECT OBJ_UUID, LCK_USR, LCK_CDAT FROM " + table("OBJLCK") +
                      " WHERE OBJ_ID=? AND OBJ_TYPE=?",
                  {objectId, typeName}, [&](ReposDataAccessCursor& row) {
                    objectUuid = row.getString(0);
                    user = row.getString(1);
                    lockDate = KvbDatavar(row.getDouble(2));
                  });
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
  const int id =
      addNumbered("REVENT", "REVENT", "EVT_ID",
                  {{"EVT_SBJT", subject},
                   {"EVT_ACTN", getRepositoryEventChangeTypeString(changeType)},
                   {"EVT_TIME", KvbDate::currentDate().asDouble()},
                   {"EVT_USER", getOSUserName()},
                   {"EVT_OTHR", other},
                   {"EVT_SRC", source}});
  if (id < 0) {
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
      "SELECT * FROM " + table("REVENT") +
          " WHERE EVT_TIME >= ? AND (EVT_SRC IS NULL OR NOT EVT_SRC = ?) "
          "ORDER BY EVT_TIME, EVT_ID",
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
    return fail(errorText);
  }
  SqlStatement remove("DELETE FROM " + table("REVENT"));
  if (eventId != 0) remove.where("EVT_ID < ?", eventId);
  if (eventTime != 0.0) remove.where("EVT_TIME < ?", eventTime);
  int rows = 0;
  if (!transaction([&] { return run(remove, &rows); })) {
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
    const KvbString& where, const std::vector<KvbDatavar>& values) {
  if (!ready()) return nullptr;
  return query("SELECT " + KvbString(kResourceColumns) + " FROM " +
                   table("IMPRCS") + where,
               values);
}

bool MetadataRDAImpl::addResource(const KvbString& name,
                                  const KvbString& identity,
                                  const KvbString& type, int& resourceId) {
  const int id = addNumbered(
      "IMPRCS", "IMPRCS", "RCS_ID",
      {{"RCS_NM", name}, {"RCS_IDTY", identity}, {"RCS_TYPE", type}},
      {{"RCS_IDTY", identity}, {"RCS_TYPE", type}},
      kvbStringFormat("A %S resource with identity \"%S\" exists already", type,
                      identity));
  if (id >= 0) resourceId = id;
  return id >= 0;
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
  return resources(" WHERE RCS_ID IN (SELECT RCS_USED FROM " + table("IMPDEP") +
                       " WHERE RCS_ID = ?)",
                   {resourceId});
}

ReposDataAccessCursor* MetadataRDAImpl::listResourcesUsing(int resourceId) {
  return resources(" WHERE RCS_ID IN (SELECT RCS_ID FROM " + table("IMPDEP") +
                       " WHERE RCS_USED = ?)",
                   {resourceId});
}

ReposDataAccessCursor* MetadataRDAImpl::listResourcesUsingByType(
    int resourceId, const KvbString& type) {
  return resources(" WHERE RCS_TYPE = ? AND RCS_ID IN (SELECT RCS_ID FROM " +
                       table("IMPDEP") + " WHERE RCS_USED = ?)",
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
  return query("SELECT DISTINCT RCS_TYPE FROM " + table("IMPRCS"), {});
}

bool MetadataRDAImpl::deleteDependenciesOn(int resourceId) {
  if (!ready()) return false;
  return run("DELETE FROM " + table("IMPDEP") + " WHERE RCS_USED = ?",
             {resourceId});
}

bool MetadataRDAImpl::setResourceAccessDate(int resourceId, double date) {
  if (!ready()) return false;
  int rows = 0;
  return run("UPDATE " + table("IMPRCS") + " SET RCS_ADAT = ? WHERE RCS_ID = ?",
             {date, resourceId}, &rows) &&
         (rows > 0 || fail(missingObject("resource", resourceId)));
}

bool MetadataRDAImpl::addResourceDependency(int rcsId, int usedRcsId) {
  // Both ends must exist, and the pair is recorded once: a second add
  // finds it and changes nothing.
  const SqlFields row = {{"RCS_ID", rcsId}, {"RCS_USED", usedRcsId}};
  return insertNaming(IfPresent::kSucceed, Refusal(), "IMPDEP", row, row,
                      {{"IMPRCS", "RCS_ID", rcsId, "resource"},
                       {"IMPRCS", "RCS_ID", usedRcsId, "resource"}});
}

bool MetadataRDAImpl::deleteResourceDependency(int rcsId, int usedRcsId) {
  if (!ready()) return false;
  return run(
      "DELETE FROM " + table("IMPDEP") + " WHERE RCS_ID = ? AND RCS_USED = ?",
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
        query("SELECT FLDR_ID, FLDR_NAM FROM " + table("FOLDER") +
                  " WHERE NAM_NORM IS NULL OR NAM_NORM = ''",
              {});
    if (!cursor) return false;
    bool ok = true;
    while (ok && cursor->next() == 1) {
      const KvbString name = cursor->getString(1);
      if (name.isEmpty()) continue;
      ok = update("FOLDER", {{"NAM_NORM", lowered(name)}},
                  {"FLDR_ID", cursor->getInt(0)});
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
