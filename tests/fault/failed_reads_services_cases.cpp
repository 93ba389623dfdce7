// Failed-read cases of the import/export manager, the impact analysis and the
// event queue.
#include <functional>
#include <memory>
#include <string>

#include "fault/failed_reads.h"
#include "kvreposres/kvreposres.h"
#include "reposadmin/repository_event_queue_manager.h"

namespace {

// A resource as a host makes it: its type and identity, and the stored id
// when the host has it; nothing is read to make it.
class HostResource : public KvResource {
 public:
  HostResource(const char* type, const std::string& identity, int id = -1)
      : type_(type),
        identity_(identity.c_str()),
        id_(id < 0 ? KvbString("") : KvbString(std::to_string(id).c_str())) {}
  void release() override {}
  KvbString getId() override { return id_; }
  KvbString getName() override { return identity_; }
  KvbString getType() override { return type_; }
  KvbString getIdentity() override { return identity_; }
  int getNumericValue() override { return 0; }
  KvResourcePropertyList* createPropertyList() override { return nullptr; }
  KvbDate getAccessDate() override { return KvbDate(0); }
  KvbString getLocation() override { return ""; }
  bool isResolved() override { return true; }
  bool hasIdentityMacro() override { return false; }

 private:
  KvbString type_, identity_, id_;
};

// The stored id of a resource made by the impact analysis; -1 without one.
int storedId(KvResource* resource) {
  int id = -1;
  if (resource) {
    resource->getId().toInt(id);
    resource->release();
  }
  return id;
}

// What a prepare leaves for its call: an export text, an object's id and
// the id of a stored resource.
struct Kept {
  std::string text;
  int id = -1;
  int resource = -1;
};

// The export text of object `id` of `type`, kept for the call.
void keepExport(ReadStores& s, Kept& kept, int id, const char* type,
                const char* uuid) {
  KvbString out, error;
  if (s.impexp()->exportObject(id, type, uuid, out, error, nullptr))
    kept.text = out.str();
  kept.id = id;
}

// The answer of `call`, with no event posted meanwhile (see NoEvents).
ReadAnswer unannounced(const std::function<ReadAnswer()>& call) {
  NoEvents quiet;
  return call();
}

// An import of the kept text into the root folder.
ReadAnswer importKept(ReadStores& s, const Kept& kept) {
  KvbString error;
  const bool imported = s.impexp()->importObject(kept.text.c_str(), 0, error);
  return {!imported, error.str()};
}

// The identities of a table and of its database, as the resource manager
// builds them.
struct TableIdentity {
  KvbString database, table;
};
TableIdentity warehouseTable() {
  TableIdentity identity;
  KvResourceManager* manager = createKvResourceManager();
  manager->getDatabaseIdentity("DSN=warehouse", "ODBC", identity.database);
  manager->getTableIdentity("DSN=warehouse", "ODBC", "main", "SALES",
                            "CUSTOMER", identity.table);
  manager->release();
  return identity;
}

int addRule(ReadStores& s, const char* name, const char* uuid) {
  return s.common()->addRule(name, "T", "x", "", "", "ann", uuid, 0, "", "");
}

// A stored resource that depends on a stored one.
void storeDependentResources(ReadStores& s) {
  RepositoryImpactAnalysis* impact = s.impact();
  KvResource* user = impact->createResource("user", "Task", "u");
  KvResource* used = impact->createResource("zip", "Field", "f-1");
  KvResourceList* list = impact->createResourceList();
  list->appendResource();
  list->setLastResource(0, used);
  impact->addResourceDependencies(user, list);
  list->release();
  used->release();
  user->release();
}

}  // namespace

std::vector<ReadCase> servicesReadCases() {
  // Each case keeps what its prepare made in a state of its own.
  auto kept = [] { return std::make_shared<Kept>(); };
  std::vector<ReadCase> cases;

  // An import whose record an existing object stands for, found by its UUID
  // (a task's code): a lookup by UUID that fails is no match by name.
  {
    auto k = kept();
    cases.push_back({"ImportRuleFoundByUuid",
                     [k](ReadStores& s) {
                       keepExport(s, *k, addRule(s, "R", "u-r"), "Rule", "u-r");
                     },
                     [k](ReadStores& s) { return importKept(s, *k); }});
  }
  {
    auto k = kept();
    cases.push_back({"ImportTaskFoundByCode",
                     [k](ReadStores& s) {
                       int task = -1;
                       s.monitor()->addTask("T", "u-t", "ann", 0, "", "",
                                            &task);
                       keepExport(s, *k, task, "Task", "u-t");
                     },
                     [k](ReadStores& s) { return importKept(s, *k); }});
  }
  {
    auto k = kept();
    cases.push_back(
        {"ImportCustomMetricFoundByUuid",
         [k](ReadStores& s) {
           const int metric = s.common()->addCustomMetric("M", "", "x", "");
           ReposDataAccessCursor* row =
               s.common()->findCustomMetric(metric, "", "");
           KvbString uuid;
           if (row && row->next() == 1)
             uuid = row->getString(row->getColumnIndex("CM_UUID"));
           if (row) row->release();
           keepExport(s, *k, metric, "CustomMetric", uuid.str().c_str());
         },
         [k](ReadStores& s) { return importKept(s, *k); }});
  }
  {
    auto k = kept();
    cases.push_back({"ImportSourceFoundByUuid",
                     [k](ReadStores& s) {
                       int source = -1;
                       s.monitor()->addSource("S", "u-s", "ann", 0, &source);
                       keepExport(s, *k, source, "Source", "u-s");
                     },
                     [k](ReadStores& s) { return importKept(s, *k); }});
  }
  {
    auto k = kept();
    cases.push_back({"ImportDimensionFoundByUuid",
                     [k](ReadStores& s) {
                       int dimension = -1;
                       s.monitor()->addDimension("D", "", "ann", "u-d", 0,
                                                 &dimension);
                       keepExport(s, *k, dimension, "Dimension", "u-d");
                     },
                     [k](ReadStores& s) { return importKept(s, *k); }});
  }
  {
    auto k = kept();
    cases.push_back({"ImportThresholdFoundByUuid",
                     [k](ReadStores& s) {
                       const KvbString band = "all";
                       const double start = 0, end = 1;
                       const int color = 4;
                       int threshold = -1;
                       s.monitor()->addThreshold("Th", "", "ann", "u-th", 0, 1,
                                                 &band, &start, &end, &color,
                                                 &threshold);
                       keepExport(s, *k, threshold, "Threshold", "u-th");
                     },
                     [k](ReadStores& s) { return importKept(s, *k); }});
  }
  // A new task whose rule is stored: the rule of the record is found by its
  // UUID, and a lookup that fails is no match by the rule's name.
  {
    auto k = kept();
    cases.push_back({"ImportTaskWithStoredRule",
                     [k](ReadStores& s) {
                       const int rule = addRule(s, "R", "u-r");
                       int task = -1;
                       s.monitor()->addTask("T", "u-t", "ann", 0, "", "",
                                            &task);
                       s.monitor()->addTaskRule(task, rule);
                       keepExport(s, *k, task, "Task", "u-t");
                       s.monitor()->deleteTask(task);
                     },
                     [k](ReadStores& s) {
                       return unannounced([&] { return importKept(s, *k); });
                     }});
  }
  // To a path, the record's UUID is kept where no rule holds it.
  {
    auto k = kept();
    cases.push_back({"ImportToPath",
                     [k](ReadStores& s) {
                       keepExport(s, *k, addRule(s, "R", "u-r"), "Rule", "u-r");
                     },
                     [k](ReadStores& s) {
                       return unannounced([&] {
                         KvbString error;
                         const bool imported = s.impexp()->importObjectToPath(
                             "R2", k->text.c_str(), error);
                         return ReadAnswer{!imported, error.str()};
                       });
                     }});
  }
  {
    auto k = kept();
    cases.push_back({"UpdateObject",
                     [k](ReadStores& s) {
                       keepExport(s, *k, addRule(s, "R", "u-r"), "Rule", "u-r");
                     },
                     [k](ReadStores& s) {
                       return unannounced([&] {
                         KvbString error;
                         const bool updated = s.impexp()->updateObject(
                             k->id, "Rule", "u-r", k->text.c_str(), 0, error,
                             nullptr);
                         return ReadAnswer{!updated, error.str()};
                       });
                     }});
  }
  {
    auto k = kept();
    cases.push_back({"ExportObject",
                     [k](ReadStores& s) { k->id = addRule(s, "R", "u-r"); },
                     [k](ReadStores& s) {
                       KvbString out, error;
                       const bool exported = s.impexp()->exportObject(
                           k->id, "Rule", "u-r", out, error, nullptr);
                       return ReadAnswer{!exported, error.str()};
                     }});
  }

  // The impact analysis.
  auto storeTable = [](ReadStores& s) {
    s.impact()->createResource("CUSTOMER", "Table", "t-1")->release();
  };
  cases.push_back({"ImpactGetResource", storeTable, [](ReadStores& s) {
                     KvResource* found =
                         s.impact()->getResource("Table", "t-1");
                     if (found) found->release();
                     return answer(found == nullptr, s.impact());
                   }});
  cases.push_back(
      {"ImpactCreateResourceStoredAlready", storeTable, [](ReadStores& s) {
         KvResource* stored = s.impact()->createResource("x", "Table", "t-1");
         if (stored) stored->release();
         return answer(stored == nullptr, s.impact());
       }});
  // A listed table that the host made is linked to its stored database.
  {
    auto k = kept();
    cases.push_back(
        {"ImpactAddResourceDependencies",
         [k](ReadStores& s) {
           s.impact()
               ->createResource("warehouse", "Database",
                                warehouseTable().database)
               ->release();
           k->id = storedId(s.impact()->createResource("user", "Task", "u"));
         },
         [k](ReadStores& s) {
           HostResource user("Task", "u", k->id);
           HostResource table("Table", warehouseTable().table.str());
           KvResourceList* list = s.impact()->createResourceList();
           list->appendResource();
           list->setLastResource(0, &table);
           const bool added = s.impact()->addResourceDependencies(&user, list);
           list->release();
           return answer(!added, s.impact());
         }});
  }
  // A table not yet linked to its database is linked before its list is
  // read.
  {
    auto k = kept();
    cases.push_back(
        {"ImpactDependentResourcesOfATable",
         [k](ReadStores& s) {
           const TableIdentity identity = warehouseTable();
           s.impact()
               ->createResource("warehouse", "Database", identity.database)
               ->release();
           k->id = storedId(
               s.impact()->createResource("CUSTOMER", "Table", identity.table));
         },
         [k](ReadStores& s) {
           HostResource table("Table", warehouseTable().table.str(), k->id);
           KvResourceList* list = s.impact()->getDependentResources(&table, 0);
           const bool empty = !list || !list->next();
           if (list) list->release();
           return answer(empty, s.impact());
         }});
  }
  // The resource of an identity with a macro ends the list.
  {
    auto k = kept();
    auto option = [](bool set) {
      if (set)
        kvbGetConfigOptions("")->set("KV_FAILED_READS_DIR", "/srv");
      else
        kvbGetConfigOptions("")->remove("KV_FAILED_READS_DIR");
    };
    cases.push_back(
        {"ImpactDependentResourcesOfAMacroIdentity",
         [k, option](ReadStores& s) {
           option(true);
           k->id = storedId(s.impact()->createResource(
               "in", "File", "%%KV_FAILED_READS_DIR%%/a.txt"));
           s.impact()->createResource("a.txt", "File", "/srv/a.txt")->release();
           option(false);
         },
         [k, option](ReadStores& s) {
           option(true);
           HostResource file("File", "%%KV_FAILED_READS_DIR%%/a.txt", k->id);
           KvResourceList* list = s.impact()->getDependentResources(&file, 0);
           option(false);
           const bool empty = !list || !list->next();
           if (list) list->release();
           return answer(empty, s.impact());
         }});
  }
  cases.push_back({"ImpactRemoveResource", storeTable, [](ReadStores& s) {
                     HostResource table("Table", "t-1");
                     return answer(!s.impact()->removeResource(&table),
                                   s.impact());
                   }});
  cases.push_back({"ImpactRemoveDependentResources", storeDependentResources,
                   [](ReadStores& s) {
                     HostResource user("Task", "u");
                     return answer(!s.impact()->removeDependentResources(&user),
                                   s.impact());
                   }});
  cases.push_back({"ImpactRenameResource", storeTable, [](ReadStores& s) {
                     return answer(
                         !s.impact()->renameResource("Table", "t-1", "renamed"),
                         s.impact());
                   }});
  {
    auto k = kept();
    cases.push_back(
        {"ImpactAnalyzeRule",
         [k](ReadStores& s) {
           const int rule = addRule(s, "R", "u-r");
           k->id = rule;
           k->resource = storedId(s.impact()->resolveResource(
               "ctx", "Rule", "R", std::to_string(rule).c_str(), "u-r"));
         },
         [k](ReadStores& s) {
           HostResource self("Rule", "", k->resource);
           const bool analyzed = s.impact()->analyzeObject(
               &self, "ctx", "Rule", std::to_string(k->id).c_str(), "u-r");
           return answer(!analyzed, s.impact());
         }});
  }

  // The event queue.
  cases.push_back({"EventsSince",
                   [](ReadStores& s) {
                     RepositoryEventQueueManager* queue =
                         s.repository()->createEventQueueManager();
                     int id = -1;
                     KvbString error;
                     queue->addEvent("subject", 0, "", "elsewhere", id, error);
                     delete queue;
                   },
                   [](ReadStores& s) {
                     RepositoryEventQueueManager* queue =
                         s.repository()->createEventQueueManager();
                     KvbString error;
                     ReposDataAccessCursor* events =
                         queue->getEventsSince(0, 0.0, "", error);
                     delete queue;
                     if (events) events->release();
                     return ReadAnswer{events == nullptr, error.str()};
                   }});
  return cases;
}
