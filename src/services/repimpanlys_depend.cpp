// RepositoryImpactAnalysisImpl: recording an object's dependencies as a
// list gives them, and linking tables to their databases.
#include <algorithm>

#include "access/base_rdaimpl.h"
#include "kvreposres/kvreposres.h"
#include "kvsync/kvnocancellation.h"
#include "reposadmin/metadata_data_access.h"
#include "services/kv_resource_list_impl.h"
#include "services/owned.h"
#include "services/repimpanlysimpl.h"

bool RepositoryImpactAnalysisImpl::addResourceDependencies(
    KvResource* resource, KvResourceList* list) {
  KvNoCancellation noCancellation;
  if (!resource) return true;
  if (!list) return failWith("No dependency list was given");
  // One unit: a table that cannot be linked (its stored twin or database
  // cannot be read) fails the call and leaves the record as it was.
  return transaction([&] {
    if (!recordResourceDependencies(resource, list, true)) return false;
    list->reset();
    while (list->next())
      if (!linkTableToDatabase(list->getResource())) return false;
    return true;
  });
}

bool RepositoryImpactAnalysisImpl::recordResourceDependencies(
    KvResource* resource, KvResourceList* list, bool removeUnlisted) {
  progress("Adding resource dependencies.");
  if (!ready()) return false;
  const int id = idOf(resource);
  // A resource that is not stored would be recorded under an id that names
  // no row; nor is one removed since the host was handed it, which is named
  // as the host knows it, not by the id its row had. (One removed after
  // this look is still refused, by the add of its first dependency.)
  int found = 0;
  if (id >= 0) {
    Owned<ReposDataAccessCursor> row(meta_->getResource(id));
    found = row ? row->next() : -1;
    if (found < 0) return metadataFailed();
  }
  if (found == 0)
    return failWith(kvbStringFormat("The %S resource \"%S\" is not stored",
                                    resource->getType(),
                                    resource->getIdentity()));
  // The current record must be read: taken as empty, it would be recorded
  // twice and nothing unlisted would go.
  Owned<ReposDataAccessCursor> cursor(meta_->listResourcesUsing(id));
  if (!cursor) return metadataFailed();
  std::vector<int> current;
  while (cursor->next() == 1) current.push_back(cursor->getInt(0));
  std::vector<bool> listed(current.size(), false);
  std::vector<int> inserts;
  list->reset();
  while (list->next()) {
    KvResource* wanted = list->getResource();
    Owned<KvResource> stored(createResource(
        wanted->getName(), wanted->getType(), wanted->getIdentity()));
    // A listed resource that cannot be stored would be recorded as gone.
    if (!stored) return false;
    const int used = idOf(stored.get());
    const auto at = std::find(current.begin(), current.end(), used);
    if (at != current.end()) {
      listed[at - current.begin()] = true;
    } else if (std::find(inserts.begin(), inserts.end(), used) ==
               inserts.end()) {
      inserts.push_back(used);
    }
  }
  list->reset();
  std::vector<int> deletes;
  for (size_t i = 0; removeUnlisted && i < current.size(); ++i)
    if (!listed[i]) deletes.push_back(current[i]);
  if (inserts.empty() && deletes.empty()) return true;
  return transaction([&] {
    for (int used : deletes)
      if (!meta_->deleteResourceDependency(used, id)) return metadataFailed();
    for (int used : inserts)
      if (!meta_->addResourceDependency(used, id)) return metadataFailed();
    return true;
  });
}

bool RepositoryImpactAnalysisImpl::linkTableToDatabase(KvResource* resource) {
  if (!resource || resource->getAccessDate().asDouble() != 0 ||
      !resource->getType().equals("Table", true))
    return true;
  // A resource that a host made itself carries no id: its stored twin is
  // the one to link.
  Owned<KvResource> stored;
  if (idOf(resource) < 0) {
    if (findStored(resource->getType(), resource->getIdentity(), stored) < 0)
      return false;
    if (!stored || stored->getAccessDate().asDouble() != 0) return true;
    resource = stored.get();
  }
  KvResourceListImpl list(1);
  const KvbString identity = resource->getIdentity();
  Owned<KvResourceManager> manager(
      identity.isEmpty() ? nullptr : createKvResourceManager());
  KvbString connection, type, catalog, schema, name, database;
  if (manager &&
      manager->splitTableIdentity(identity, connection, type, catalog, schema,
                                  name) &&
      !connection.isEmpty() &&
      manager->getDatabaseIdentity(connection, type, database)) {
    Owned<KvResource> found;
    if (findStored("Database", database, found) < 0) return false;
    if (found) list.appendCopy(*found);
  }
  // The link and the date that marks it are stored together.
  return transaction([&] {
    return recordResourceDependencies(resource, &list, false) &&
           setResourceAccessDate(resource, KvbDate::currentDate());
  });
}
