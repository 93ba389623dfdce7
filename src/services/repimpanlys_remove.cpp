// RepositoryImpactAnalysisImpl: removal and renaming of stored resources,
// on the repository's own connection.
#include "access/base_rdaimpl.h"
#include "kvsync/kvnocancellation.h"
#include "rda/rda_impl.h"
#include "reposadmin/metadata_data_access.h"
#include "services/owned.h"
#include "services/repimpanlysimpl.h"

bool RepositoryImpactAnalysisImpl::removeDependentResources(
    KvResource* resource) {
  KvNoCancellation noCancellation;
  progress("Removing dependent resources.");
  if (!resource) return failWith("No resource was given");
  Owned<KvResource> stored;
  if (!findExisting(resource->getType(), resource->getIdentity(),
                    "remove its dependencies", stored))
    return false;
  // The access date goes back to 0 so that a table is linked to its
  // database again at its next use. The date and the links go together:
  // a failure of either leaves both as they were.
  return transaction([&] {
    return setResourceAccessDate(stored.get(), KvbDate(0)) &&
           (meta_->deleteDependenciesOn(idOf(stored.get())) ||
            metadataFailed());
  });
}

bool RepositoryImpactAnalysisImpl::removeResourceIfUnused(
    KvResource* resource) {
  KvNoCancellation noCancellation;
  progress("Removing resource if not used.");
  if (!resource) return failWith("No resource was given");
  Owned<KvResource> stored;
  if (!findExisting(resource->getType(), resource->getIdentity(), "remove",
                    stored))
    return false;
  const int id = idOf(stored.get());
  const KvbString links = table("IMPDEP");
  // The resources linked to it: those that use it first, then those it
  // uses; the first one names the refusal.
  const KvbString linked = "SELECT RCS_TYPE, RCS_IDTY FROM " + table("IMPRCS") +
                           " WHERE RCS_ID IN (SELECT ";
  // The resource's row is taken before its links are read: a dependency
  // added meanwhile holds the row, so it is waited for and then read. The
  // removal of the other unused resources is part of the same unit: a
  // failure of either leaves every resource where it was.
  return transaction([&] {
    std::vector<Ids> users, used;
    if (!takeResources("RCS_ID = ?", {id}) ||
        !selectRows(linked + "RCS_USED FROM " + links +
                        " WHERE RCS_ID = ?) ORDER BY RCS_ID",
                    {id}, users) ||
        !selectRows(linked + "RCS_ID FROM " + links +
                        " WHERE RCS_USED = ?) ORDER BY RCS_ID",
                    {id}, used))
      return false;
    if (!users.empty() || !used.empty()) {
      const Ids& first = users.empty() ? used[0] : users[0];
      const int more = static_cast<int>(users.size() + used.size()) - 1;
      const KvbString others =
          more ? kvbStringFormat(" and %d more", more) : KvbString("");
      return failWith(kvbStringFormat(
          "The impact %S could not be deleted: %s the %S%S.",
          resourceNamed(resource->getType(), resource->getIdentity()),
          users.empty() ? "it still depends on" : "it is still a dependency of",
          resourceNamed(first[0], first[1]), others));
    }
    return exec("DELETE FROM " + table("IMPRCS") + " WHERE RCS_ID = ?", {id}) &&
           removeUnusedResources();
  });
}

bool RepositoryImpactAnalysisImpl::takeResources(
    const KvbString& condition, const std::vector<KvbDatavar>& values) {
  // Every connection of the engine is an RDA_BaseImpl. In the script mode
  // nothing runs on the database, so there is nothing to take.
  auto* connection = static_cast<RDA_BaseImpl*>(connection_);
  const char* take = connection->rowHoldClause(RDA_BaseImpl::RowHold::kTake);
  if (!take || connection->ddlActive()) return true;
  return exec("SELECT RCS_ID FROM " + table("IMPRCS") + " WHERE " + condition +
                  take,
              values);
}

// One statement, so that the resources go all together or not at all.
bool RepositoryImpactAnalysisImpl::removeUnusedResources() {
  KvNoCancellation noCancellation;
  progress("Removing unused resources.");
  const KvbString links = table("IMPDEP");
  const KvbString unused = "RCS_ID NOT IN (SELECT RCS_ID FROM " + links +
                           " UNION SELECT RCS_USED FROM " + links + ")";
  // The unused rows are taken first, waiting for the dependencies being
  // added on them; the delete then reads the links again.
  return ready() && transaction([&] {
           return takeResources(unused, {}) &&
                  exec("DELETE FROM " + table("IMPRCS") + " WHERE " + unused,
                       {});
         });
}

// One transaction: a store without dependencies but with every resource
// would tell a host that nothing uses anything.
bool RepositoryImpactAnalysisImpl::removeAllResources() {
  KvNoCancellation noCancellation;
  progress("Removing all resources.");
  return ready() && transaction([&] {
           // The resources first, as a single removal takes its row first.
           return exec("DELETE FROM " + table("IMPRCS"), {}) &&
                  exec("DELETE FROM " + table("IMPDEP"), {});
         });
}

bool RepositoryImpactAnalysisImpl::renameResource(const KvbString& type,
                                                  const KvbString& identity,
                                                  const KvbString& newName) {
  KvNoCancellation noCancellation;
  progress(kvbStringFormat("Renaming %S resource to %S", type, newName));
  Owned<KvResource> stored;
  if (!findExisting(type, identity, "rename", stored)) return false;
  // A name that the database refuses is named by its column, as
  // createResource names it.
  return namedExecute(connection_,
                      "UPDATE " + table("IMPRCS") +
                          " SET RCS_NM = ? WHERE RCS_ID = ?",
                      "IMPRCS",
                      {{"RCS_NM", newName}, {"RCS_ID", idOf(stored.get())}}) ||
         connectionFailed();
}
