// RepositoryImpactAnalysisImpl: the resource store, its queries, macro
// resolution and the identities asked of the resource manager.
#include "services/repimpanlysimpl.h"

#include "access/base_rdaimpl.h"
#include "kvreposres/kvreposres.h"
#include "kvsync/kvnocancellation.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repos_data_access_object.h"
#include "reposadmin/repository.h"
#include "schema/log_printf.h"
#include "services/kv_resource_list_impl.h"
#include "services/kv_string_list_impl.h"
#include "services/lineage_macros.h"
#include "services/owned.h"
#include "services/scan_rows.h"

namespace {
const char kSourceFile[] = "repimpanlysimpl";
const char kLoggerName[] = "KV.Repos.ReposAdmin.Lineage";
}  // namespace

RepositoryImpactAnalysisImpl::RepositoryImpactAnalysisImpl(
    Repository* repository, ReposDataAccess* connection)
    : repository_(repository),
      // The analysis logs each failure of its data access itself, once.
      meta_(repository ? quietly(repository->createMetadataDataAccess())
                       : nullptr),
      logger_(kvlogGetLogger(kLoggerName)),
      connection_(connection) {}

RepositoryImpactAnalysisImpl::~RepositoryImpactAnalysisImpl() {
  if (meta_) meta_->release();
}

// ---------------------------------------------------------------------------
// Helpers

bool RepositoryImpactAnalysisImpl::failWith(const KvbString& text, int line) {
  lastErrors_.set(text);
  if (!text.isEmpty())
    logPrintf(logger_, kLogError, kSourceFile, line, "%S", text);
  return false;
}

bool RepositoryImpactAnalysisImpl::metadataFailed(int line) {
  return failWith(meta_->getErrorMessage(), line);
}

bool RepositoryImpactAnalysisImpl::connectionFailed(int line) {
  return failWith(connection_->getErrorMessage(), line);
}

bool RepositoryImpactAnalysisImpl::ready(int line) {
  return (repository_ && meta_ && connection_) ||
         failWith("The impact analysis has no repository to work on", line);
}

bool RepositoryImpactAnalysisImpl::noAccess(const char* kind, int line) {
  return failWith(
      kvbStringFormat("No %s data access object could be made", kind), line);
}

bool RepositoryImpactAnalysisImpl::findExisting(const KvbString& type,
                                                const KvbString& identity,
                                                const char* doing,
                                                Owned<KvResource>& stored) {
  const int found = findStored(type, identity, stored);
  return found > 0 ||
         (found == 0 &&
          failWith(kvbStringFormat("The impact %S could not be found to %s.",
                                   resourceNamed(type, identity), doing)));
}

KvbString RepositoryImpactAnalysisImpl::resourceNamed(
    const KvbString& type, const KvbString& identity) {
  return kvbStringFormat("resource of type \"%S\" and identity \"%S\"", type,
                         identity);
}

bool RepositoryImpactAnalysisImpl::transaction(
    const std::function<bool()>& body) {
  bool bodyFailed = false;
  if (runTransaction(connection_, nullptr, [&] {
        bodyFailed = !body();
        return !bodyFailed;
      }))
    return true;
  return bodyFailed ? false : connectionFailed();
}

void RepositoryImpactAnalysisImpl::progress(const KvbString& text, int line) {
  note(kLogProgress, text, line);
}

void RepositoryImpactAnalysisImpl::note(int level, const KvbString& text,
                                        int line) {
  logPrintf(logger_, level, kSourceFile, line, "%S", text);
}

int RepositoryImpactAnalysisImpl::idOf(KvResource* resource) {
  int id = -1;
  if (!resource || !resource->getId().toInt(id)) return -1;
  return id;
}

int RepositoryImpactAnalysisImpl::toInt(const KvbString& text) {
  int value = 0;
  text.toInt(value);
  return value;
}

bool RepositoryImpactAnalysisImpl::columnTexts(ReposDataAccessObject& source,
                                               ReposDataAccessCursor* rows,
                                               const char* column, Ids& texts) {
  Owned<ReposDataAccessCursor> cursor(rows);
  if (!cursor) return failWith(source.getErrorMessage());
  while (cursor->next() == 1) {
    for (int c = 0; c < cursor->getNumCols(); ++c)
      if (cursor->getColName(c) == column)
        texts.push_back(cursor->getString(c));
  }
  return true;
}

KvbString RepositoryImpactAnalysisImpl::table(const char* code) {
  return connection_->getTableName(code, true, -1);
}

bool RepositoryImpactAnalysisImpl::selectRows(
    const KvbString& sql, const std::vector<KvbDatavar>& values,
    std::vector<Ids>& rows) {
  if (!ready()) return false;
  Owned<ReposDataAccessCursor> cursor(boundSelect(connection_, sql, values));
  if (!cursor) return connectionFailed();
  int fetched = 0;
  while ((fetched = cursor->next()) == 1) {
    rows.emplace_back();
    for (int c = 0; c < cursor->getNumCols(); ++c)
      rows.back().push_back(cursor->getString(c));
  }
  return fetched == 0 || connectionFailed();
}

bool RepositoryImpactAnalysisImpl::exec(const KvbString& sql,
                                        const std::vector<KvbDatavar>& values) {
  if (!ready()) return false;
  return boundExecute(connection_, sql, values) || connectionFailed();
}

KvResourceImpl* RepositoryImpactAnalysisImpl::rowToResource(
    ReposDataAccessCursor& row, bool expand) {
  KvResourceImpl* resource = new (std::nothrow) KvResourceImpl();
  if (!resource) return nullptr;
  const KvbString identity = row.getString(2);
  KvbString name = row.getString(1), shown = identity;
  if (expand) {
    resolveMacros(row.getString(1), name);
    resolveMacros(identity, shown);
  }
  resource->setId(row.getString(0));
  resource->setName(name);
  resource->setIdentity(shown);
  resource->setType(row.getString(3));
  double date = 0;
  row.getString(4).toDouble(date);
  resource->setAccessDate(KvbDate(date));
  resolveResourceLocation(*resource);
  if (hasMacro(identity)) resource->setIdentityMacro(true);
  return resource;
}

KvResourceList* RepositoryImpactAnalysisImpl::resourceList(
    const char* start, ReposDataAccessCursor* rows, bool expand) {
  Owned<ReposDataAccessCursor> cursor(rows);
  KvResourceListImpl* list = new (std::nothrow) KvResourceListImpl(1);
  if (!list) return nullptr;
  if (start) progress(start);
  if (!cursor) {
    // The store's reason, or that there is no store to ask.
    if (meta_)
      metadataFailed();
    else
      ready();
    return list;
  }
  while (cursor->next() == 1) {
    Owned<KvResourceImpl> resource(rowToResource(*cursor, expand));
    if (resource) list->appendCopy(*resource);
  }
  return list;
}

// ---------------------------------------------------------------------------
// Store

int RepositoryImpactAnalysisImpl::readResource(ReposDataAccessCursor* rows,
                                               Owned<KvResource>& found) {
  const int read = scanRows(rows, [&](ReposDataAccessCursor* row) {
    found.reset(rowToResource(*row, false));
    return false;
  });
  if (read < 0) metadataFailed();
  return read;
}

int RepositoryImpactAnalysisImpl::findStored(const KvbString& type,
                                             const KvbString& identity,
                                             Owned<KvResource>& found) {
  found.reset();
  return ready() ? readResource(meta_->findResource(identity, type), found)
                 : -1;
}

KvResource* RepositoryImpactAnalysisImpl::getResource(
    const KvbString& type, const KvbString& identity) {
  KvNoCancellation noCancellation;
  Owned<KvResource> found;
  findStored(type, identity, found);
  return found.release();
}

KvResource* RepositoryImpactAnalysisImpl::createResource(
    const KvbString& name, const KvbString& type, const KvbString& identity) {
  KvNoCancellation noCancellation;
  Owned<KvResource> found;
  if (!ready()) return nullptr;
  // The look-up and the add run in one transaction after the turn of the
  // resources' table: of two connections that create one resource at the
  // same moment, the second finds the first's.
  const bool stored = transaction([&] {
    KvbString reason;
    if (!BaseRDAImpl::writesSerializedOn(connection_, "IMPRCS", reason))
      return failWith(reason);
    // A lookup that failed must not add a second resource of the identity.
    const int existing = findStored(type, identity, found);
    if (existing != 0) return existing > 0;
    progress(kvbStringFormat("Creating %S resource named \"%S\"", type, name));
    int id = -1;
    if (!meta_->addResource(name, identity, type, id)) return metadataFailed();
    const int added = readResource(meta_->getResource(id), found);
    return added > 0 ||
           (added == 0 &&
            failWith(kvbStringFormat(
                "The %S resource added with id=%d cannot be read", type, id)));
  });
  // A resource whose add was undone is none.
  if (!stored) found.reset();
  return found.release();
}

KvResourceList* RepositoryImpactAnalysisImpl::createResourceList() {
  return new (std::nothrow) KvResourceListImpl(1);
}

bool RepositoryImpactAnalysisImpl::setResourceAccessDate(KvResource* resource,
                                                         const KvbDate& date) {
  KvNoCancellation noCancellation;
  if (!ready()) return false;
  return meta_->setResourceAccessDate(idOf(resource), date.asDouble()) ||
         metadataFailed();
}

// ---------------------------------------------------------------------------
// Queries

KvResourceList* RepositoryImpactAnalysisImpl::getUsedByResources(
    KvResource* resource, int) {
  KvNoCancellation noCancellation;
  return resourceList(
      "Get used by resources.",
      meta_ ? meta_->listResourcesUsedBy(idOf(resource)) : nullptr);
}

KvResourceList* RepositoryImpactAnalysisImpl::getDependentResources(
    KvResource* resource, int) {
  KvNoCancellation noCancellation;
  if (!ready()) return createResourceList();
  // The link of a table to its database, the listed rows and the resource
  // of an expanded identity are one unit: where any of them cannot be read
  // or stored, the list would look complete without it, so the answer is
  // an empty list and the store stays as it was.
  Owned<KvResourceList> list;
  const bool listed = transaction([&] {
    if (resource && !linkTableToDatabase(resource)) return false;
    ReposDataAccessCursor* rows = meta_->listResourcesUsing(idOf(resource));
    if (!rows) return metadataFailed();
    list.reset(resourceList("Get dependent resources.", rows));
    if (!list || !resource) return list != nullptr;
    KvbString expanded;
    if (!expandMacros(resource->getIdentity(), expanded) || expanded.isEmpty())
      return true;
    Owned<KvResource> resolved(
        getMacroResolvedResource(resource->getType(), resource->getIdentity()));
    if (!resolved) return false;
    static_cast<KvResourceListImpl*>(list.get())->appendCopy(*resolved);
    return true;
  });
  return listed ? list.release() : createResourceList();
}

KvResourceList* RepositoryImpactAnalysisImpl::getDependentResourcesByType(
    KvResource* resource, const KvbString& type) {
  KvNoCancellation noCancellation;
  return resourceList(
      "Get dependent resources by type.",
      meta_ ? meta_->listResourcesUsingByType(idOf(resource), type) : nullptr);
}

KvResourceList* RepositoryImpactAnalysisImpl::getResourcesByType(
    const KvbString& type) {
  KvNoCancellation noCancellation;
  return resourceList("Get resources by type.",
                      meta_ ? meta_->listResourcesByType(type) : nullptr);
}

KvResourceList* RepositoryImpactAnalysisImpl::getResources() {
  KvNoCancellation noCancellation;
  return resourceList(nullptr, meta_ ? meta_->listResources() : nullptr, true);
}

KvStringList* RepositoryImpactAnalysisImpl::getResourceTypes() {
  KvNoCancellation noCancellation;
  KvStringListImpl* list = new (std::nothrow) KvStringListImpl(1);
  if (!list) return nullptr;
  progress("Get resource types.");
  if (!meta_) {
    ready();  // records that there is no store to ask
    return list;
  }
  Owned<ReposDataAccessCursor> cursor(meta_->listResourceTypes());
  if (!cursor) {
    metadataFailed();
    return list;
  }
  while (cursor->next() == 1 && list->appendRow())
    list->setLastString(0, cursor->getString(0));
  return list;
}

// ---------------------------------------------------------------------------
// Identities, locations and macros

bool RepositoryImpactAnalysisImpl::resolveResourceLocation(
    KvResourceImpl& resource) {
  progress("Setting resource location and isResolved.");
  if (!resolver_) return false;
  KvbString name, location;
  const KvbString type = resource.getType();
  const bool resolved = resolver_->resolveLocation(
      resource.getName(), type, resource.getIdentity(), name, location);
  resource.setResolved(resolved || type == "Database" || type == "Table");
  if (!name.isEmpty() && !name.equals(resource.getName(), true))
    resource.setName(name);
  if (!location.isEmpty()) resource.setLocation(location);
  return resolved;
}

KvResource* RepositoryImpactAnalysisImpl::getMacroResolvedResource(
    const KvbString& type, const KvbString& identity) {
  progress("Get macro resolved resource.");
  KvbString expanded;
  if (identity.isEmpty() || !expandMacros(identity, expanded) ||
      expanded.isEmpty())
    return nullptr;
  Owned<KvResource> found;
  if (findStored(type, expanded, found) != 0) return found.release();
  KvbString name = "RESOLVED MACRO RESOURCE";
  if (Owned<KvResourceManager> manager{createKvResourceManager()}) {
    KvbString first, second, third, fourth, fifth;
    if (type == "Database") {
      if (manager->splitDatabaseIdentity(expanded, first, second)) name = first;
    } else if (type == "Table") {
      if (manager->splitTableIdentity(expanded, first, second, third, fourth,
                                      fifth))
        name = fifth;
    } else if (manager->splitFileIdentity(expanded, first, second)) {
      name = second;
    } else {
      name = getComponentsFromFilesystemPath(expanded, first, second, third)
                 ? third
                 : expanded;
    }
  }
  return createResource(name, type, expanded);
}

KvResource* RepositoryImpactAnalysisImpl::resolveResource(
    const KvbString& context, const KvbString& type, const KvbString& name,
    const KvbString& value4, const KvbString& value5) {
  KvNoCancellation noCancellation;
  Owned<KvResourceManager> manager(createKvResourceManager());
  KvbString identity;
  if (!manager ||
      !manager->getObjectIdentity(context, type, value4, value5, identity) ||
      identity.isEmpty())
    return nullptr;
  return createResource(name, type, identity);
}

KvResourceResolver* RepositoryImpactAnalysisImpl::setResourceManager(
    KvResourceResolver* resolver) {
  if (resolver) resolver_ = resolver;
  return resolver;
}

KvResource* RepositoryImpactAnalysisImpl::getDataResource(
    KvDataSourceDescription* description) {
  KvNoCancellation noCancellation;
  progress("Get data resource.");
  if (!repository_ || !description) return nullptr;
  const KvbString tableName = description->getTable();
  Owned<KvResourceManager> manager(createKvResourceManager());
  if (!manager) return nullptr;
  const bool isTable = !tableName.isEmpty();
  const KvbString type = isTable ? "Table" : "Database";
  KvbString identity;
  const bool known =
      isTable ? manager->getTableIdentity(
                    description->getConnection(),
                    description->getConnectionType(), description->getCatalog(),
                    description->getSchema(), tableName, identity)
              : manager->getDatabaseIdentity(description->getConnection(),
                                             description->getConnectionType(),
                                             identity);
  if (!known || identity.isEmpty()) return nullptr;
  return createResource(isTable ? tableName : KvbString(""), type, identity);
}
