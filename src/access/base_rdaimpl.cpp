// The shared part of every data-access object.
#include "access/base_rdaimpl.h"

#include <set>

#include "access/object_types.h"
#include "kvlogging/kvlogging.h"
#include "kvreposres/kvreposres.h"
#include "kvsysinfo/kvsysinfo.h"
#include "rda/rda_impl.h"
#include "rda/rda_statement.h"
#include "rda/repos_cache_cursor.h"
#include "schema/log_printf.h"

namespace {
const char kSourceFile[] = "base_rdaimpl";
}

KvbString getOSUserName() {
  char name[256];
  return np_osinf_user(name, sizeof name) == 0 ? KvbString(name)
                                               : KvbString("");
}

BaseRDAImpl::BaseRDAImpl(ReposDataAccess* rda)
    : rda_(rda), logger_(kvlogGetLogger("KV.Repos.ReposAdmin.BaseRDA")) {}

bool BaseRDAImpl::haveConnection() {
  if (rda_) return true;
  logError(kvb_get_message(kSourceFile, __LINE__, "Repository Library", 1161));
  return false;
}

bool BaseRDAImpl::ready() {
  if (rda_) return true;
  logError("Repository Data Access object is null");
  return false;
}

// The source file's name without folder and extension ("common_rdaimpl").
static KvbString sourceName(const char* path) {
  KvbString name;
  kvbParsePath(path, nullptr, &name);
  size_t dot = name.rfind('.');
  return dot == KvbString::npos ? name : name.substr(0, dot);
}

void BaseRDAImpl::logError(const KvbString& text, const char* file, int line) {
  logPrintf(logger_, kLogError, sourceName(file).asCstr(), line, "%S", text);
}

bool BaseRDAImpl::fail(const KvbString& text, const char* file, int line) {
  // Every connection of the engine is an RDA_BaseImpl.
  if (auto* connection = static_cast<RDA_BaseImpl*>(rda_)) {
    RDA_LockGuard guard(connection->lock());
    connection->fail(text);
  }
  logError(text, file, line);
  return false;
}

bool BaseRDAImpl::beginTransaction(int immediate, int) {
  return haveConnection() && rda_->beginTransaction(immediate != 0, nullptr);
}

bool BaseRDAImpl::endTransaction(bool commit) {
  return haveConnection() && rda_->endTransaction(commit);
}

KvbString BaseRDAImpl::getErrorMessage() {
  return rda_ ? rda_->getErrorMessage()
              : kvb_get_message(kSourceFile, __LINE__, "Repository Library",
                                1161);
}

bool BaseRDAImpl::setDDLCallback(ReposDDLCallback* callback) {
  return haveConnection() && rda_->setDDLCallback(callback);
}

KvbString BaseRDAImpl::table(const char* code) {
  return rda_->getTableName(code, true, -1);
}

// ---------------------------------------------------------------------------
// Statements

// A statement of `sql` with the values bound; null (logged) on failure.
static ReposDataAccessStatement* bound(ReposDataAccess* rda,
                                       const KvbString& sql,
                                       const std::vector<KvbDatavar>& values) {
  ReposDataAccessStatement* statement = rda->createStatement(sql);
  for (size_t i = 0; statement && i < values.size(); ++i) {
    if (!statement->setParameter(static_cast<int>(i), values[i])) {
      statement->release();
      return nullptr;
    }
  }
  return statement;
}

ReposDataAccessCursor* BaseRDAImpl::query(const KvbString& sql,
                                          const std::vector<KvbDatavar>& values,
                                          uint64_t limit) {
  if (!ready()) return nullptr;
  ReposDataAccessStatement* statement = bound(rda_, sql, values);
  ReposDataAccessCursor* cursor = statement ? statement->select() : nullptr;
  if (statement) statement->release();
  if (!cursor) {
    logError(rda_->getErrorMessage());
    return nullptr;
  }
  return cacheCursor(cursor, limit);
}

bool BaseRDAImpl::run(const KvbString& sql,
                      const std::vector<KvbDatavar>& values, int* rows) {
  if (!ready()) return false;
  // Every statement of the engine is an RDA_StatementBase, which also
  // counts the rows changed.
  auto* statement = static_cast<RDA_StatementBase*>(bound(rda_, sql, values));
  int64_t changed = 0;
  const bool ok = statement && statement->run(&changed);
  if (statement) statement->release();
  if (!ok) logError(rda_->getErrorMessage());
  if (rows) *rows = static_cast<int>(changed);
  return ok;
}

int BaseRDAImpl::lookup(const KvbString& sql,
                        const std::vector<KvbDatavar>& values, int* value) {
  ReposDataAccessCursor* cursor = query(sql, values, 1);
  if (!cursor) return -1;
  const int fetched = cursor->next();
  if (fetched == 1 && value) *value = cursor->getInt(0);
  cursor->release();
  return fetched == 1 ? 1 : fetched == 0 ? 0 : -1;
}

bool BaseRDAImpl::nextId(const char* counter, int& id) {
  if (!ready()) return false;
  KvbDatavar value;
  if (!rda_->getNextID(counter, value) || value.isNull()) {
    logError(rda_->getErrorMessage());
    return false;
  }
  id = value.asInt();
  return true;
}

bool BaseRDAImpl::transaction(const std::function<bool()>& body) {
  if (!ready()) return false;
  if (!rda_->beginTransaction(false, nullptr)) {
    logError(rda_->getErrorMessage());
    rda_->endTransaction(false);
    return false;
  }
  const bool ok = body();
  return rda_->endTransaction(ok) && ok;
}

void BaseRDAImpl::postChange(int changeType, const char* typeName,
                             int objectId, const KvbString& objectUuid) {
  RepositoryEventManager* events = getRepositoryEventManager();
  if (events && rda_)
    events->postObjectChange(rda_->getRepositoryUUID(), changeType, typeName,
                             objectId, objectUuid);
}

// ---------------------------------------------------------------------------
// Cursors and paths

ReposDataAccessCursor* BaseRDAImpl::cacheCursor(ReposDataAccessCursor* cursor,
                                                uint64_t limit) {
  if (!cursor) {
    logError(kvb_get_message(kSourceFile, __LINE__, "Repository Library",
                             1161));
    return nullptr;
  }
  ReposCacheCursor* copy = new ReposCacheCursor;
  const bool filled = copy->fill(cursor, limit);
  cursor->release();
  if (filled) return copy;
  // A copy that stopped part-way would look complete to the reader: give
  // nothing instead.
  copy->release();
  logError("Reading the rows of a query failed");
  return nullptr;
}

bool BaseRDAImpl::getFolderPath(int folderId, KvbString& path,
                                KvbString& topFolderName,
                                KvbString& errorText) {
  path = "";
  topFolderName = "";
  if (folderId < 0) {
    errorText = kvbStringFormat("Invalid folder id %d", folderId);
    return false;
  }
  if (!ready()) {
    errorText = "Repository Data Access object is null";
    return false;
  }
  const KvbString sql = "SELECT FLDR_NAM, FLDR_PAR FROM " + table("FOLDER") +
                        " WHERE FLDR_ID=?";
  std::set<int> seen;
  for (int id = folderId; id != 0;) {
    if (!seen.insert(id).second) {
      errorText = kvbStringFormat("The folders above folder %d form a cycle",
                                  folderId);
      return false;
    }
    ReposDataAccessCursor* cursor = query(sql, {KvbDatavar(id)}, 1);
    if (!cursor) {
      errorText = rda_->getErrorMessage();
      return false;
    }
    if (cursor->next() != 1) {
      cursor->release();
      errorText = kvbStringFormat("Folder %d does not exist", id);
      return false;
    }
    topFolderName = cursor->getString(0);
    path = path.isEmpty() ? topFolderName : topFolderName + "/" + path;
    id = cursor->getInt(1);
    cursor->release();
  }
  return true;
}

bool BaseRDAImpl::getObjectPath(int id, const KvbString& typeName,
                                KvbString& path, KvbString& uuid,
                                KvbString& errorText) {
  const ReposObjectType* type = findObjectType(typeName);
  if (!type) {
    errorText = "Unable to find type: " + typeName;
    return false;
  }
  if (!ready()) {
    errorText = "Repository Data Access object is null";
    return false;
  }
  ReposDataAccessCursor* cursor = query(
      kvbStringFormat("SELECT %s, %s, %s FROM %S WHERE %s=?", type->objectName,
                      type->folderId, type->uuid, table(type->table), type->id),
      {KvbDatavar(id)}, 1);
  if (!cursor) {
    errorText = rda_->getErrorMessage();
    return false;
  }
  if (cursor->next() != 1 || cursor->getString(0).isEmpty()) {
    cursor->release();
    errorText = kvbStringFormat("Unable to find the name of %s with id %d",
                                type->name, id);
    return false;
  }
  const KvbString name = cursor->getString(0);
  const int folder = cursor->getInt(1);
  if (!cursor->getString(2).isEmpty()) uuid = cursor->getString(2);
  cursor->release();
  KvbString folderPath, top;
  if (!getFolderPath(folder, folderPath, top, errorText)) return false;
  path = folderPath.isEmpty() ? name : folderPath + "/" + name;
  return true;
}
