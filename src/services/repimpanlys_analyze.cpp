// RepositoryImpactAnalysisImpl: the analysis of tasks, rules, data
// explorations and profile jobs into the resources they use, and the
// resources named by the events of a task's rules.
#include <functional>
#include <map>
#include <utility>

#include "access/base_rdaimpl.h"
#include "kvreposres/kvreposres.h"
#include "kvsync/kvnocancellation.h"
#include "kvxmldom/kvxmldom.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/explorer_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "services/kv_resource_list_impl.h"
#include "services/owned.h"
#include "services/repimpanlysimpl.h"
#include "services/scan_rows.h"

namespace {

// Set when a resource of the calling thread's running analysis could not be
// stored: the analysis then records nothing rather than a dependency set
// without it. Per thread, as threads may share the object.
thread_local bool storeFailed = false;

}  // namespace

bool RepositoryImpactAnalysisImpl::analyzeObject(KvResource* resource,
                                                 const KvbString& context,
                                                 const KvbString& type,
                                                 const KvbString& id,
                                                 const KvbString& uuid) {
  KvNoCancellation noCancellation;
  progress(
      kvbStringFormat("Analyzing %S with id=%S and uuid=%S.", type, id, uuid));
  if (!resource) return failWith("No resource was given for the analysis");
  if (!ready()) return false;
  storeFailed = false;
  const std::pair<const char*, std::function<bool()>> analysers[] = {
      {"Task", [&] { return analyzeTask(resource, context, id); }},
      {"Rule", [&] { return analyzeRule(resource, context, id); }},
      {"DataExploration", [&] { return analyzeDataExploration(resource, id); }},
      {"ProfileJob", [&] { return analyzeProfileJob(resource, context, id); }}};
  int number = 0;
  for (const auto& analyser : analysers) {
    if (!type.equals(analyser.first, true)) continue;
    // Another id would be analysed in its place, and its dependencies
    // recorded for the resource.
    if (!id.toInt(number))
      return failWith(
          kvbStringFormat("The object id \"%S\" is not a number", id));
    return analyser.second();
  }
  for (const char* none : {"Source", "Field", "CustomMetric", "Collection"})
    if (type.equals(none, true)) return true;
  return failWith(
      kvbStringFormat("The object type %S was not found to analyze", type));
}

bool RepositoryImpactAnalysisImpl::recordAnalysis(KvResource* resource,
                                                  KvResourceList& list) {
  return !storeFailed && addResourceDependencies(resource, &list);
}

// ---------------------------------------------------------------------------
// Tasks, rules, data explorations

bool RepositoryImpactAnalysisImpl::analyzeTask(KvResource* resource,
                                               const KvbString& context,
                                               const KvbString& id) {
  Owned<MonitorRepositoryDataAccess> monitor(
      quietly(repository_->createMonitorDataAccess()));
  if (!monitor) return noAccess("monitor");
  Ids ruleIds;
  KvResourceListImpl list(1);
  return columnTexts(*monitor, monitor->listTaskRuleMembers(toInt(id)), "RU_ID",
                     ruleIds) &&
         addDependentRules(context, ruleIds, list) &&
         addEventResources(id, ruleIds, list) && recordAnalysis(resource, list);
}

bool RepositoryImpactAnalysisImpl::addDependentRules(const KvbString& context,
                                                     const Ids& ruleIds,
                                                     KvResourceList& list) {
  progress("Adding dependent business rules.");
  Owned<KvResourceManager> manager(createKvResourceManager());
  for (const KvbString& ruleId : ruleIds) {
    std::vector<Ids> rules;
    if (!selectRows("SELECT RU_UUID,RU_ID,RU_DESC FROM " + table("RULE") +
                        " WHERE RU_ID=?",
                    {toInt(ruleId)}, rules))
      return false;
    KvbString identity;
    for (const Ids& rule : rules) {
      if (manager && manager->getObjectIdentity(context, "Rule", rule[1],
                                                rule[0], identity))
        addResourceToList(list, rule[2], "Rule", identity);
    }
  }
  return true;
}

// A failed read of the rule's metrics or fields fails the analysis: the
// dependencies recorded from a partial list would lose what it missed.
bool RepositoryImpactAnalysisImpl::analyzeRule(KvResource* resource,
                                               const KvbString& context,
                                               const KvbString& id) {
  Owned<CommonRepositoryDataAccess> common(
      quietly(repository_->createCommonDataAccess()));
  if (!common) return noAccess("common");
  Ids metrics;
  Owned<ReposDataAccessCursor> cursor(common->listRuleCustomMetrics(toInt(id)));
  if (!cursor) return failWith(common->getErrorMessage());
  while (cursor->next() == 1)
    if (!cursor->getString(0).isEmpty())
      metrics.push_back(cursor->getString(0));
  KvResourceListImpl list(1);
  for (const KvbString& metric : metrics)
    if (!addCustomMetricResource(*common, context, metric, list)) return false;
  cursor.reset(common->listRuleFields(toInt(id)));
  if (!cursor) return failWith(common->getErrorMessage());
  while (cursor->next() == 1)
    if (!cursor->getString(0).isEmpty())
      addRuleFieldResource(context, cursor->getString(0), list);
  return recordAnalysis(resource, list);
}

bool RepositoryImpactAnalysisImpl::addCustomMetricResource(
    CommonRepositoryDataAccess& common, const KvbString& context,
    const KvbString& metricId, KvResourceList& list) {
  KvbString id, name, uuid;
  const int found = scanRows(common.findCustomMetric(toInt(metricId), "", ""),
                             [&](ReposDataAccessCursor* row) {
                               id = row->getString(0);
                               name = row->getString(1);
                               uuid = row->getString(5);
                               return false;
                             });
  if (found < 0) return failWith(common.getErrorMessage());
  if (found == 0) return true;  // a custom metric that is gone adds nothing
  Owned<KvResourceManager> manager(createKvResourceManager());
  KvbString identity;
  if (manager &&
      manager->getObjectIdentity(context, "CustomMetric", id, uuid, identity))
    addResourceToList(list, name, "CustomMetric", identity);
  return true;
}

// The field's name names its resource: the identity is made from it too.
void RepositoryImpactAnalysisImpl::addRuleFieldResource(
    const KvbString& context, const KvbString& name, KvResourceList& list) {
  Owned<KvResourceManager> manager(createKvResourceManager());
  KvbString identity;
  if (manager &&
      manager->getObjectIdentity(context, "Field", name, "", identity))
    addResourceToList(list, name, "Field", identity);
}

bool RepositoryImpactAnalysisImpl::analyzeDataExploration(KvResource* resource,
                                                          const KvbString& id) {
  Owned<ExplorerRepositoryDataAccess> explorer(
      quietly(repository_->createExplorerDataAccess()));
  if (!explorer) return noAccess("explorer");
  Owned<ReposDataAccessCursor> tables(explorer->listProjectTables(toInt(id)));
  if (!tables) return failWith(explorer->getErrorMessage());
  KvResourceListImpl list(1);
  Owned<KvResourceManager> manager(createKvResourceManager());
  while (manager && tables->next() == 1)
    addTableResources(*manager, list, tables->getString(3),
                      tables->getString(4), tables->getString(2),
                      tables->getString(1));
  return recordAnalysis(resource, list);
}

// ---------------------------------------------------------------------------
// Shared resource rules

void RepositoryImpactAnalysisImpl::addTableResources(
    KvResourceManager& manager, KvResourceList& list,
    const KvbString& connection, const KvbString& catalog,
    const KvbString& schema, const KvbString& table) {
  KvbString type = "ODBC", identity;
  manager.getConnectionType(connection, type);
  if (!connection.isEmpty() && !type.isEmpty()) {
    KvbString name;
    if (!manager.getDatabaseName(connection, name)) name = connection;
    if (manager.getDatabaseIdentity(connection, type, identity))
      addResourceToList(list, name, "Database", identity);
  }
  if (manager.getTableIdentity(connection, type, catalog, schema, table,
                               identity))
    addResourceToList(list, table, "Table", identity);
}

void RepositoryImpactAnalysisImpl::addResourceToList(
    KvResourceList& list, const KvbString& name, const KvbString& type,
    const KvbString& identity) {
  if (identity.isEmpty()) return;
  Owned<KvResource> stored(createResource(name, type, identity));
  if (!stored) {
    storeFailed = true;
    return;
  }
  if (list.contains(stored.get())) return;
  if (list.appendResource()) list.setLastResource(0, stored.get());
}

// ---------------------------------------------------------------------------
// Rule events

bool RepositoryImpactAnalysisImpl::addEventResources(const KvbString& taskId,
                                                     const Ids& ruleIds,
                                                     KvResourceList& list) {
  progress("Adding dependent event objects.");
  for (const KvbString& ruleId : ruleIds) {
    std::vector<Ids> events;
    if (!selectRows("SELECT EV_CODE, EV_DATA FROM " + table("RULEVT") +
                        " WHERE JB_ID=? AND RU_ID=?",
                    {toInt(taskId), toInt(ruleId)}, events))
      return false;
    // The kind of an event is its description's root element, not its
    // code; a description that is not XML adds nothing.
    for (const Ids& event : events) addResourcesFromEvent(list, event[1]);
  }
  return true;
}

bool RepositoryImpactAnalysisImpl::addResourcesFromEvent(
    KvResourceList& list, const KvbString& event) {
  progress("Adding resources from event.");
  Owned<KvResourceManager> manager(createKvResourceManager());
  if (!manager) return true;
  KvDom dom;
  if (!dom.loadXML(event)) return false;
  const KvDomNode root = dom.getRoot();
  // The root's direct children, by lower-cased name; the last of a name
  // wins.
  std::map<std::string, KvbString> values;
  for (KvDomNode child = root.getFirstChild(); !child.isNull();
       child = child.getNextSibling())
    values[KvbString(child.getName()).toLower().str()] = child.getValue();
  auto value = [&](const char* name) {
    auto found = values.find(name);
    return found == values.end() ? KvbString("") : found->second;
  };
  const KvbString kind = root.getName();
  if (kind.equals("progexec", true)) {
    addLogFileResource(*manager, list, value("path"), value("prog"));
  } else if (kind.equals("filelog", true)) {
    addLogFileResource(*manager, list, value("path"), value("name"));
  } else if (kind.equals("tablewrite", true)) {
    if (!value("table").isEmpty())
      addTableResources(*manager, list, value("connect"), value("catalog"),
                        value("schema"), value("table"));
  } else if (kind.equals("flowjob", true)) {
    if (!value("jobname").isEmpty())
      addFileResource(*manager, list, value("jobname"));
  } else if (kind.equals("profile", true) || kind.equals("flowsmith", true)) {
    const KvbString program = value("prog");
    KvbString uri;
    if (!program.isEmpty()) {
      if (kind.equals("profile", true)) {
        addResolvedResource(list, program);
      } else if (generateURIReferenceFromFilename(program, uri)) {
        if (!uri.isEmpty()) addResolvedResource(list, uri);
      } else {
        addFileResource(*manager, list, program);
      }
    }
    if (!value("varfile").isEmpty())
      addFileResource(*manager, list, value("varfile"));
    if (!value("logfile").isEmpty())
      addLogFileResource(*manager, list, value("logdir"), value("logfile"));
  }
  return true;
}

// The directory and the file name are joined with the directory's own
// separator when it does not end in one: "C:\logs" and "run.log" name
// "C:\logs\run.log", not "C:\logsrun.log".
void RepositoryImpactAnalysisImpl::addLogFileResource(
    KvResourceManager& manager, KvResourceList& list,
    const KvbString& directory, const KvbString& fileName) {
  progress("Adding log file resource.");
  KvbString path = directory;
  if (!path.isEmpty() && !fileName.isEmpty() && !path.endsWith("/") &&
      !path.endsWith("\\"))
    path.append(path.find('/') == KvbString::npos &&
                        path.find('\\') != KvbString::npos
                    ? "\\"
                    : "/");
  path.append(fileName);
  KvbString identity;
  if (!path.isEmpty() && manager.getFileIdentity(path, fileName, identity))
    addResourceToList(list, fileName, "File", identity);
}

void RepositoryImpactAnalysisImpl::addFileResource(KvResourceManager& manager,
                                                   KvResourceList& list,
                                                   const KvbString& path) {
  KvbString name, identity;
  kvbParsePath(path, nullptr, &name);
  if (name.isEmpty()) name = path;
  if (manager.getFileIdentity(path, name, identity))
    addResourceToList(list, name, "File", identity);
}

void RepositoryImpactAnalysisImpl::addResolvedResource(
    KvResourceList& list, const KvbString& reference) {
  if (!resolver_) return;
  Owned<KvResource> resolved(resolver_->resolveReference(reference));
  if (resolved)
    addResourceToList(list, resolved->getName(), resolved->getType(),
                      resolved->getIdentity());
}
