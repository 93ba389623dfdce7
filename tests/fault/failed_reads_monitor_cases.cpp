// Failed-read cases of the monitor, NCOA and reference-data stores.
#include <memory>
#include <string>

#include "admin/repositoryimpl.h"
#include "fault/failed_reads.h"
#include "reposadmin/repos_data_access.h"

namespace {

// What the prepare stores, by id.
struct Ids {
  int task = -1, rule = -1, group = -1, dimension = -1, threshold = -1,
      source = -1, execution = 1, paf = -1, pafHistory = -1, pafListOwner = -1,
      pafLicensee = -1, pafBroker = -1;
};

// The monitoring objects: task "T" (code "c-t") running rule "R" with one
// execution and one of its properties, report group "G" linked to
// dimension "D" (UUID "u-d"), threshold "Th" ("u-th"), source "S" ("u-s")
// and custom metric "M".
void storeMonitoring(ReadStores& s, Ids& ids) {
  MonitorRepositoryDataAccess* m = s.monitor();
  ids.rule =
      s.common()->addRule("R", "T", "x", "", "", "ann", "u-r", 0, "", "");
  m->addTask("T", "c-t", "ann", 0, "", "", &ids.task);
  m->addTaskRule(ids.task, ids.rule);
  m->addDimension("D", "", "ann", "u-d", 0, &ids.dimension);
  const KvbString band = "all";
  const double start = 0, end = 1;
  const int color = 4;
  m->addThreshold("Th", "", "ann", "u-th", 0, 1, &band, &start, &end, &color,
                  &ids.threshold);
  m->addReportGroup("G", "", 1, 1, -1, KvbDate(), "ann", "u-g", 0, &ids.group);
  m->addDimensionToGroup(ids.group, ids.dimension, -1, KvbReal(1.0));
  m->addSource("S", "u-s", "ann", 0, &ids.source);
  m->addCustomMetric("M", "", "x", "", nullptr);
  ReposDataAccess* rda =
      static_cast<RepositoryImpl*>(s.repository())->getDataAccess();
  const std::string insert =
      "INSERT INTO " + rda->getTableName("EXEC", true, -1).str() +
      " (EX_ID, JB_ID) VALUES (" + std::to_string(ids.execution) + ", " +
      std::to_string(ids.task) + ")";
  rda->paramExec(insert.c_str(), nullptr, 0);
  m->setExecutionProperty(ids.execution, ids.rule, "REASON", "AGING", false);
}

// A PAF record with one snapshot of each party and one execution.
void storeNcoa(ReadStores& s, Ids& ids) {
  NCOARepositoryDataAccess* n = s.ncoa();
  const KvbDate date(20000);
  n->addPaf("", "", "", 1, 1, date, 0, "List", "P-1", &ids.paf);
  n->addPafListOwner("Owner", "", "", "", "", "", "", "", "", "", "", "", "",
                     "", "", 0, "", "", date, date, ids.paf, -1,
                     &ids.pafListOwner);
  n->addPafLicensee("L-1", "Licensee", "", "", 1, "", "", "", "", "", "", "",
                    date, date, ids.paf, -1, &ids.pafLicensee);
  n->addPafBroker("Broker", "", "", "", "", "", "", "", "", "", "", "", 1, "",
                  "", date, date, ids.paf, -1, &ids.pafBroker);
  int run = -1;
  n->addNcoaExecution(0, ids.paf, &run);
  ReposDataAccessCursor* paf = n->listPafHistory(-1, true);
  if (paf && paf->next() == 1)
    ids.pafHistory = paf->getInt(paf->getColumnIndex("HISTID"));
  if (paf) paf->release();
}

// The reference-data links, each stored once.
using RefData = RefDataRepositoryDataAccess;
const struct {
  const char* name;
  bool (*add)(RefData*);
} kLinks[] = {
    {"RefDataDomainPermissionAddedAgain",
     [](RefData* r) { return r->addDomainPermission(1, 2, 3); }},
    {"RefDataDomainVersionPermissionAddedAgain",
     [](RefData* r) { return r->addDomainVersionPermission(1, 2, 3); }},
    {"RefDataDomainAccessAddedAgain",
     [](RefData* r) { return r->addDomainAccess(1, 2, 3); }},
    {"RefDataDomainLanguageVersionAddedAgain",
     [](RefData* r) { return r->addDomainLanguageVersion(1, 2); }},
    {"RefDataDomainAttributePermissionAddedAgain",
     [](RefData* r) { return r->addDomainAttributePermission(1, 2, 3); }},
    {"RefDataDomainAttributeVersionAddedAgain",
     [](RefData* r) { return r->addDomainAttributeVersion(1, 2, 3, "Y"); }},
    {"RefDataDomainAttributeValueVersionAddedAgain",
     [](RefData* r) { return r->addDomainAttributeValueVersion(1, 2); }},
    {"RefDataItemPermissionAddedAgain",
     [](RefData* r) { return r->addItemPermission(1, 2, 3); }},
    {"RefDataItemAttributePermissionAddedAgain",
     [](RefData* r) { return r->addItemAttributePermission(1, 2, 3); }},
    {"RefDataItemAttributeVersionAddedAgain",
     [](RefData* r) { return r->addItemAttributeVersion(1, 2); }},
    {"RefDataItemAttributeValueVersionAddedAgain",
     [](RefData* r) { return r->addItemAttributeValueVersion(1, 2, 3); }},
};

// The reference-data queries; each answers a cursor, empty when nothing
// matches.
const KvbDate none;
const struct {
  const char* name;
  ReposDataAccessCursor* (*query)(RefData*);
} kQueries[] = {
    {"RefDataAccounts",
     [](RefData* r) { return r->getAccounts(-1, "", "", "", "", "", ""); }},
    {"RefDataAttributes",
     [](RefData* r) { return r->getAttributes(-1, "", ""); }},
    {"RefDataUserAttributes",
     [](RefData* r) { return r->getUserAttributes(-1, "", ""); }},
    {"RefDataAttributeContexts",
     [](RefData* r) { return r->getAttributeContexts(-1, "", ""); }},
    {"RefDataAttributeTypes",
     [](RefData* r) { return r->getAttributeTypes(-1, "", ""); }},
    {"RefDataLanguages",
     [](RefData* r) { return r->getLanguages(-1, "", ""); }},
    {"RefDataPermissions",
     [](RefData* r) { return r->getPermissions(-1, "", "", -1); }},
    {"RefDataRoles", [](RefData* r) { return r->getRoles(-1, "", "", ""); }},
    {"RefDataItems",
     [](RefData* r) { return r->getItems(-1, "", "", "", "", "", -1); }},
    {"RefDataItemPermissions",
     [](RefData* r) { return r->getItemPermissions(-1, -1, -1); }},
    {"RefDataItemAttributeValues",
     [](RefData* r) { return r->getItemAttributeValues(-1, "", -1); }},
    {"RefDataDomains",
     [](RefData* r) {
       return r->getDomains(-1, "", "", "", "", "", "", -1, "", -1, -1, none,
                            "", none);
     }},
    {"RefDataDomainVersionSummaries",
     [](RefData* r) { return r->getDomainVersionSummaries(-1, "", false); }},
    {"RefDataDomainVersionInfo",
     [](RefData* r) { return r->getDomainVersionInfo(-1, -1); }},
    {"RefDataDomainDetails",
     [](RefData* r) { return r->getDomainDetails(-1); }},
    {"RefDataLatestDomainVersion",
     [](RefData* r) { return r->getLatestDomainVersion(-1); }},
    {"RefDataDomainPermissions",
     [](RefData* r) { return r->getDomainPermissions(-1, -1, -1); }},
    {"RefDataDomainVersions",
     [](RefData* r) {
       return r->getDomainVersions(-1, -1, -1, "", "", "", "", -1, "", -1, none,
                                   none);
     }},
    {"RefDataDomainVersionHistory",
     [](RefData* r) { return r->getDomainVersionHistory(-1, false); }},
    {"RefDataEnabledDomains",
     [](RefData* r) { return r->getEnabledDomains(); }},
    {"RefDataDomainVersionPermissions",
     [](RefData* r) { return r->getDomainVersionPermissions(-1, -1, -1); }},
    {"RefDataNotes",
     [](RefData* r) {
       return r->getNotes(-1, -1, "", -1, "", "", -1, -1, none);
     }},
    {"RefDataDomainAccess",
     [](RefData* r) { return r->getDomainAccess(-1, -1, -1); }},
    {"RefDataDomainAssociations",
     [](RefData* r) { return r->getDomainAssociations(-1, -1, ""); }},
    {"RefDataDomainLanguages",
     [](RefData* r) { return r->getDomainLanguages(-1, -1, -1); }},
    {"RefDataDomainVersionLanguages",
     [](RefData* r) { return r->getDomainVersionLanguages(-1, -1, -1); }},
    {"RefDataUsedDomainLanguages",
     [](RefData* r) { return r->getUsedDomainLanguages(-1, -1); }},
    {"RefDataDomainLanguageVersions",
     [](RefData* r) { return r->getDomainLanguageVersions(-1, -1); }},
    {"RefDataDomainAttributes",
     [](RefData* r) { return r->getDomainAttributes(-1, -1, -1); }},
    {"RefDataDomainUserAttributes",
     [](RefData* r) { return r->getDomainUserAttributes(-1, -1); }},
    {"RefDataUsedDomainAttributes",
     [](RefData* r) { return r->getUsedDomainAttributes(-1, -1); }},
    {"RefDataDomainUserAttributeLanguages",
     [](RefData* r) { return r->getDomainUserAttributeLanguages(-1, -1); }},
    {"RefDataDomainAttributePermissions",
     [](RefData* r) { return r->getDomainAttributePermissions(-1, -1, -1); }},
    {"RefDataDomainAttributeVersions",
     [](RefData* r) { return r->getDomainAttributeVersions(-1, -1, -1, ""); }},
    {"RefDataDomainAttributeValues",
     [](RefData* r) {
       return r->getDomainAttributeValues(-1, -1, "", "", -1);
     }},
    {"RefDataDomainAttributeValueVersions",
     [](RefData* r) { return r->getDomainAttributeValueVersions(-1, -1); }},
    {"RefDataDomainVersionItems",
     [](RefData* r) { return r->getDomainVersionItems(-1, -1); }},
    {"RefDataDomainContents",
     [](RefData* r) { return r->getDomainContents(-1, -1); }},
    {"RefDataDomainVersionContents",
     [](RefData* r) { return r->getDomainVersionContents(-1, -1); }},
    {"RefDataItemVersions",
     [](RefData* r) {
       return r->getItemVersions(-1, -1, -1, none, -1, "", -1);
     }},
    {"RefDataChildItems", [](RefData* r) { return r->getChildItems(-1, -1); }},
    {"RefDataItemAttributes",
     [](RefData* r) { return r->getItemAttributes(-1, -1, -1); }},
    {"RefDataItemVersionAttributes",
     [](RefData* r) { return r->getItemVersionAttributes(-1, -1); }},
    {"RefDataItemAttributePermissions",
     [](RefData* r) { return r->getItemAttributePermissions(-1, -1, -1); }},
    {"RefDataItemAttributeVersions",
     [](RefData* r) { return r->getItemAttributeVersions(-1, -1); }},
    {"RefDataItemVersionAttributeValues",
     [](RefData* r) { return r->getItemVersionAttributeValues(-1, -1); }},
    {"RefDataItemAttributeValueVersions",
     [](RefData* r) { return r->getItemAttributeValueVersions(-1, -1, -1); }},
    {"RefDataPublications",
     [](RefData* r) { return r->getPublications(-1, "", "", -1, -1, "", ""); }},
    {"RefDataPublicationNotes",
     [](RefData* r) { return r->getPublicationNotes(-1); }},
};

}  // namespace

std::vector<ReadCase> monitorReadCases() {
  auto ids = std::make_shared<Ids>();
  auto monitoring = [ids](ReadStores& s) { storeMonitoring(s, *ids); };
  auto ncoa = [ids](ReadStores& s) { storeNcoa(s, *ids); };
  // A monitor call on the stored objects: `failed` from the call's answer.
  auto onMonitor =
      [ids](bool (*failed)(MonitorRepositoryDataAccess*, const Ids&)) {
        return [ids, failed](ReadStores& s) {
          return answer(failed(s.monitor(), *ids), s.monitor());
        };
      };
  auto monitorCursor = [ids](ReposDataAccessCursor* (*query)(
                           MonitorRepositoryDataAccess*, const Ids&)) {
    return [ids, query](ReadStores& s) {
      return cursorAnswer(query(s.monitor(), *ids), s.monitor());
    };
  };
  auto ncoaCall = [ids](bool (*failed)(NCOARepositoryDataAccess*, const Ids&)) {
    return [ids, failed](ReadStores& s) {
      return answer(failed(s.ncoa(), *ids), s.ncoa());
    };
  };
  auto ncoaCursor = [ids](ReposDataAccessCursor* (*query)(
                        NCOARepositoryDataAccess*, const Ids&)) {
    return [ids, query](ReadStores& s) {
      return cursorAnswer(query(s.ncoa(), *ids), s.ncoa());
    };
  };
  using M = MonitorRepositoryDataAccess;
  using N = NCOARepositoryDataAccess;

  std::vector<ReadCase> cases = {
      // Links stored already: kept, and true.
      {"TaskRuleMemberAddedAgain", monitoring,
       onMonitor([](M* m, const Ids& i) {
         return !m->addTaskRuleMember(i.task, i.rule, -1, -1, KvbReal(1.0));
       })},
      {"TaskRuleAddedAgain", monitoring, onMonitor([](M* m, const Ids& i) {
         return !m->addTaskRule(i.task, i.rule);
       })},
      {"DimensionAddedToGroupAgain", monitoring,
       onMonitor([](M* m, const Ids& i) {
         return !m->addDimensionToGroup(i.group, i.dimension, -1, KvbReal(1.0));
       })},
      {"PropertyValueAddedAgain", monitoring, onMonitor([](M* m, const Ids&) {
         return !m->addPropertyValue("REASON", "AGING");
       })},
      // A task with an execution is refused by its id and name: the read of
      // the name that fails is the answer, in one record.
      {"DeleteTaskWithExecutions", monitoring,
       [ids](ReadStores& s) {
         const bool deleted = s.monitor()->deleteTask(ids->task);
         const std::string text = s.monitor()->getErrorMessage().str();
         const std::string named =
             "Cannot delete task " + std::to_string(ids->task) + " \"T\"";
         return ReadAnswer{deleted || text.find(named) == std::string::npos,
                           text};
       },
       1},
      // The property exists: its value is written over.
      {"SetExecutionProperty", monitoring, onMonitor([](M* m, const Ids& i) {
         return !m->setExecutionProperty(i.execution, i.rule, "REASON", "AGING",
                                         false);
       })},
      // Lookups and listings of stored objects; a lookup by key is given no
      // name, so that its retry by name cannot stand for a failure.
      {"GetTask", monitoring,
       monitorCursor([](M* m, const Ids& i) { return m->getTask(i.task); })},
      {"FindTaskById", monitoring, monitorCursor([](M* m, const Ids& i) {
         return m->findTask(i.task, "", "");
       })},
      {"FindTaskByCode", monitoring, monitorCursor([](M* m, const Ids&) {
         return m->findTask(-1, "", "c-t");
       })},
      {"FindTaskByName", monitoring, monitorCursor([](M* m, const Ids&) {
         return m->findTask(-1, "T", "");
       })},
      {"GetSource", monitoring, monitorCursor([](M* m, const Ids& i) {
         return m->getSource(i.source);
       })},
      {"FindSource", monitoring, monitorCursor([](M* m, const Ids&) {
         return m->findSource(-1, "", "u-s");
       })},
      {"FindThreshold", monitoring, monitorCursor([](M* m, const Ids&) {
         return m->findThreshold(-1, "", "u-th");
       })},
      {"FindDimension", monitoring, monitorCursor([](M* m, const Ids&) {
         return m->findDimension(-1, "", "u-d");
       })},
      {"FindCustomMetricByName", monitoring,
       monitorCursor(
           [](M* m, const Ids&) { return m->findCustomMetricByName("M"); })},
      {"ListTaskRuleMembers", monitoring, monitorCursor([](M* m, const Ids& i) {
         return m->listTaskRuleMembers(i.task);
       })},
      {"ListTasks", monitoring,
       monitorCursor([](M* m, const Ids&) { return m->listTasks(); })},
      {"ListRuleEvents", monitoring, monitorCursor([](M* m, const Ids& i) {
         return m->listRuleEvents(i.task);
       })},
      {"ListSources", monitoring,
       monitorCursor([](M* m, const Ids&) { return m->listSources(); })},
      {"ListPropertyValues", monitoring,
       monitorCursor([](M* m, const Ids&) { return m->listPropertyValues(); })},
      {"ListExecutionProperties", monitoring,
       monitorCursor([](M* m, const Ids& i) {
         return m->listExecutionProperties(i.execution, i.rule);
       })},
      {"ListReportGroups", monitoring, monitorCursor([](M* m, const Ids& i) {
         return m->listReportGroups(i.group, "G");
       })},
      {"ListReportGroupsByThreshold", monitoring,
       monitorCursor(
           [](M* m, const Ids&) { return m->listReportGroupsByThreshold(1); })},
      {"ListReportGroupExecutions", monitoring,
       monitorCursor([](M* m, const Ids& i) {
         return m->listReportGroupExecutions(i.group, KvbDate(0),
                                             KvbDate(1000000));
       })},
      {"ListDimensions", monitoring, monitorCursor([](M* m, const Ids& i) {
         return m->listDimensions(i.dimension, "D");
       })},
      {"ListDimensionGroups", monitoring, monitorCursor([](M* m, const Ids& i) {
         return m->listDimensionGroups(i.dimension, i.group);
       })},
      {"ListThresholds", monitoring, monitorCursor([](M* m, const Ids& i) {
         return m->listThresholds(i.threshold, "Th");
       })},

      // NCOA: a copy of a row that is there; the listings.
      {"CopyPaf", ncoa, ncoaCall([](N* n, const Ids& i) {
         return !n->copyPaf(i.paf, nullptr);
       })},
      {"CopyPafListOwner", ncoa, ncoaCall([](N* n, const Ids& i) {
         return !n->copyPafListOwner(i.pafListOwner, nullptr);
       })},
      {"CopyPafLicensee", ncoa, ncoaCall([](N* n, const Ids& i) {
         return !n->copyPafLicensee(i.pafLicensee, nullptr);
       })},
      {"CopyPafBroker", ncoa, ncoaCall([](N* n, const Ids& i) {
         return !n->copyPafBroker(i.pafBroker, nullptr);
       })},
      {"ListPafsWithListOwnerOfTheHistory", ncoa,
       ncoaCursor([](N* n, const Ids& i) {
         return n->listPafsWithListOwner(i.paf, -1, "", -1, true);
       })},
      {"ListNcoaExecutions", ncoa, ncoaCursor([](N* n, const Ids& i) {
         return n->listNcoaExecutions(KvbDate(), KvbDate(), "P-1", -1, i.paf,
                                      -1);
       })},
      {"ListListOwners", ncoa,
       ncoaCursor([](N* n, const Ids&) { return n->listListOwners(-1); })},
      {"ListPafListOwners", ncoa, ncoaCursor([](N* n, const Ids& i) {
         return n->listPafListOwners(-1, i.paf, -1);
       })},
      {"ListLicensees", ncoa,
       ncoaCursor([](N* n, const Ids&) { return n->listLicensees(-1); })},
      {"ListPafLicensees", ncoa, ncoaCursor([](N* n, const Ids& i) {
         return n->listPafLicensees(-1, i.paf, -1);
       })},
      {"ListBrokers", ncoa,
       ncoaCursor([](N* n, const Ids&) { return n->listBrokers(-1); })},
      {"ListPafBrokers", ncoa, ncoaCursor([](N* n, const Ids& i) {
         return n->listPafBrokers(-1, i.paf, -1);
       })},
      {"ListCurrentBrokersByType", ncoa, ncoaCursor([](N* n, const Ids&) {
         return n->listCurrentBrokersByType(1);
       })},
      {"FindPafs", ncoa, ncoaCursor([](N* n, const Ids&) {
         return n->findPafs("P-1", "List", "Owner", "Broker", true, 1);
       })},
      {"ListPafHistory", ncoa, ncoaCursor([](N* n, const Ids& i) {
         return n->listPafHistory(i.pafHistory, true);
       })},
  };
  for (const auto& link : kLinks) {
    auto add = link.add;
    cases.push_back({link.name, [add](ReadStores& s) { add(s.refdata()); },
                     [add](ReadStores& s) {
                       return answer(!add(s.refdata()), s.refdata());
                     }});
  }
  for (const auto& query : kQueries) {
    auto get = query.query;
    cases.push_back({query.name, nullptr, [get](ReadStores& s) {
                       return cursorAnswer(get(s.refdata()), s.refdata());
                     }});
  }
  return cases;
}
