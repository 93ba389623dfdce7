// RepositoryImpactAnalysisImpl: the analysis of a profile job: its business
// rules, the databases, tables and files of its data sources, and the
// custom metrics computed on its tables.
#include "access/base_rdaimpl.h"
#include "kvreposres/kvreposres.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/profile_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "schema/log_printf.h"
#include "services/kv_resource_list_impl.h"
#include "services/owned.h"
#include "services/repimpanlysimpl.h"

// The dependencies of kinds that the analysis does not rebuild (a file or a
// field that the host recorded) are kept. A record that cannot be read
// fails the analysis: taken as empty, it would lose them.
bool RepositoryImpactAnalysisImpl::analyzeProfileJob(KvResource* resource,
                                                     const KvbString& context,
                                                     const KvbString& id) {
  if (!ready()) return false;
  KvResourceListImpl list(1);
  {
    Owned<ReposDataAccessCursor> recorded(
        meta_->listResourcesUsing(idOf(resource)));
    if (!recorded) return metadataFailed();
    while (recorded->next() == 1) {
      const KvbString type = recorded->getString(3);
      bool rebuilt = type.isEmpty();
      for (const char* kind : {"Rule", "Table", "CustomMetric", "Database"})
        rebuilt = rebuilt || type.equals(kind, true);
      Owned<KvResourceImpl> kept(rebuilt ? nullptr
                                         : rowToResource(*recorded, false));
      if (kept) list.appendCopy(*kept);
    }
  }
  Owned<ProfileRepositoryDataAccess> profile(
      quietly(repository_->createProfileDataAccess()));
  if (!profile) return noAccess("profile");
  Ids ruleIds;
  return columnTexts(*profile, profile->listJobRules(toInt(id)), "BR_ID",
                     ruleIds) &&
         addDependentRules(context, ruleIds, list) &&
         addProfileJobTables(*profile, context, id, list) &&
         recordAnalysis(resource, list);
}

bool RepositoryImpactAnalysisImpl::addProfileJobTables(
    ProfileRepositoryDataAccess& profile, const KvbString& context,
    const KvbString& id, KvResourceList& list) {
  progress("Adding profile job tables.");
  Owned<CommonRepositoryDataAccess> common(
      quietly(repository_->createCommonDataAccess()));
  if (!common) return noAccess("common");
  Owned<ReposDataAccessCursor> sources(profile.listJobSources(toInt(id)));
  if (!sources) return failWith(profile.getErrorMessage());
  while (sources->next() == 1) {
    Owned<KvResourceManager> manager(createKvResourceManager());
    if (!manager) continue;
    const KvbString connection = sources->getString(1);
    const KvbString table = sources->getString(4), file = sources->getString(5);
    KvbString code = sources->getString(6), identity;
    code.toUpper();
    if (code == "N" || code == "D" || code == "S") {
      addTableResources(*manager, list, connection, sources->getString(2),
                        sources->getString(3), table);
    } else if (code == "Y") {
      if (file.isEmpty())
        note(kLogWarning,
             "Found file based table without filename for lineage of profile.");
      else if (manager->getFileIdentity(file, table, identity))
        addResourceToList(list, table, "File", identity);
    } else if (code == "C") {
      note(kLogTrace,
           "Found table global category (Collection) in profile, not "
           "recording lineage");
    } else if (code.isEmpty()) {
      note(kLogTrace, "Unable to determine Lineage DNS Type for profile");
    } else {
      note(kLogTrace,
           kvbStringFormat(
               "Unable to determine Lineage DNS Type(\"%S\") for profile",
               sources->getString(6)));
    }
    const int tableId = sources->getInt(7);
    if (!addCustomMetricColumn(*common, profile, context,
                               profile.listJobTableMetrics(tableId), list) ||
        !addCustomMetricColumn(
            *common, profile, context,
            profile.listJobCustomMetricMappings(toInt(id), tableId), list))
      return false;
  }
  return true;
}

bool RepositoryImpactAnalysisImpl::addCustomMetricColumn(
    CommonRepositoryDataAccess& common, ProfileRepositoryDataAccess& profile,
    const KvbString& context, ReposDataAccessCursor* rows,
    KvResourceList& list) {
  Owned<ReposDataAccessCursor> cursor(rows);
  if (!cursor) return failWith(profile.getErrorMessage());
  Ids metrics;
  while (cursor->next() == 1) {
    for (int c = 0; c < cursor->getNumCols(); ++c) {
      if (!cursor->getColName(c).equals("CM_ID", true)) continue;
      if (!cursor->getString(c).isEmpty())
        metrics.push_back(cursor->getString(c));
      break;
    }
  }
  for (const KvbString& metric : metrics)
    if (!addCustomMetricResource(common, context, metric, list)) return false;
  return true;
}
