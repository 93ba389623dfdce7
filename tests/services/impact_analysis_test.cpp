// Impact analysis on every back end: the store, the analysis of tasks and
// rules into dependencies, re-analysis, failures that keep the record, and
// removal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "kvreposres/kvreposres.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/profile_data_access.h"
#include "reposadmin/repository_impact_analysis.h"
#include "services/kv_resource_impl.h"
#include "services/owned.h"
#include "services/services_targets.h"
#include "support/connection_waits.h"
#include "support/log_capture.h"

namespace {

typedef std::vector<std::string> V;

// The host's resolver: a program reference stands for a profile job.
class JobResolver : public KvResourceResolver {
 public:
  KvResource* resolveReference(const KvbString& reference) override {
    KvResourceImpl* job = new KvResourceImpl();
    job->setType("ProfileJob");
    job->setName(reference);
    job->setIdentity("job:" + reference);
    return job;
  }
  bool resolveLocation(const KvbString&, const KvbString&, const KvbString&,
                       KvbString&, KvbString&) override {
    return false;
  }
};

class ImpactAnalysisTest : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ia_.reset(repos_->createImpactAnalysis());
    ASSERT_NE(ia_, nullptr);
    common_.reset(repos_->createCommonDataAccess());
    monitor_.reset(repos_->createMonitorDataAccess());
  }
  void TearDown() override {
    ia_.reset();
    common_.reset();
    monitor_.reset();
    ServicesTest::TearDown();
  }

  int rule(const char* name) {
    const int id = common_->addRule(name, "", "", "", "", "ann",
                                    std::string("ru-") + name, 0, "", "");
    EXPECT_GT(id, 0) << name;
    return id;
  }
  // The object's own resource, made as a host makes it.
  Owned<KvResource> objectResource(const char* type, int id) {
    return Owned<KvResource>(ia_->resolveResource(
        "ctx", type, type, std::to_string(id).c_str(), ""));
  }
  V dependencies(KvResource* resource) {
    return sortedRows(named(ia_->getDependentResources(resource, 0)));
  }
  bool analyze(KvResource* resource, const char* type, int id) {
    return ia_->analyzeObject(resource, "ctx", type, std::to_string(id).c_str(),
                              "");
  }

  Owned<RepositoryImpactAnalysis> ia_;
  Owned<CommonRepositoryDataAccess> common_;
  Owned<MonitorRepositoryDataAccess> monitor_;
};

TEST_P(ImpactAnalysisTest, ATaskDependsOnItsRulesAndWhatTheirEventsTouch) {
  JobResolver resolver;
  ia_->setResourceManager(&resolver);
  const int r1 = rule("Checks"), r2 = rule("Profiles");
  int task = -1;
  ASSERT_TRUE(monitor_->addTask("Nightly", "tk-1", "ann", 0, "", "", &task));
  ASSERT_TRUE(monitor_->addTaskRule(task, r1) &&
              monitor_->addTaskRule(task, r2));
  ASSERT_TRUE(
      monitor_->addRuleEvent(task, r1, 1, "TABLEWRITE",
                             "<tablewrite><table>cust</table><schema>s</schema>"
                             "<connect>DSN=sales</connect></tablewrite>"));
  ASSERT_TRUE(monitor_->addRuleEvent(
      task, r1, 2, "LOGFILE",
      "<FileLog><path>C:\\logs</path><name>run.log</name></FileLog>"));
  ASSERT_TRUE(monitor_->addRuleEvent(task, r2, 1, "PROFILE",
                                     "<profile><prog>Weekly</prog></profile>"));
  ASSERT_TRUE(monitor_->addRuleEvent(task, r2, 2, "EXEC", "not xml"));
  int other = -1;  // shares Checks; its events are its own
  ASSERT_TRUE(monitor_->addTask("Weekly", "tk-2", "ann", 0, "", "", &other));
  ASSERT_TRUE(monitor_->addTaskRule(other, r1));
  ASSERT_TRUE(monitor_->addRuleEvent(other, r1, 1, "PROFILE",
                                     "<profile><prog>Other</prog></profile>"));
  Owned<KvResource> self = objectResource("Task", task);
  ASSERT_NE(self, nullptr) << ia_->getErrorMessage().asCstr();

  ASSERT_TRUE(analyze(self.get(), "task", task))
      << ia_->getErrorMessage().asCstr();
  EXPECT_EQ(dependencies(self.get()),
            (V{"Database|sales", "File|run.log", "ProfileJob|Weekly",
               "Rule|Checks", "Rule|Profiles", "Table|cust"}));
  // The log file is named with a separator between folder and name.
  Owned<KvResourceManager> manager(createKvResourceManager());
  KvbString identity;
  ASSERT_TRUE(
      manager->getFileIdentity("C:\\logs\\run.log", "run.log", identity));
  EXPECT_NE(Owned<KvResource>(ia_->getResource("File", identity)), nullptr);
  // The table was linked to its database once it was recorded.
  Owned<KvResourceList> tables(ia_->getResourcesByType("Table"));
  ASSERT_TRUE(tables->next());
  EXPECT_EQ(named(ia_->getDependentResources(tables->getResource(), 0)),
            V{"Database|sales"});

  // Re-analysed without the log event, the task no longer uses the file,
  // which nothing else uses: it goes with the other unused resources.
  exec("DELETE FROM " + table("RULEVT") + " WHERE EV_CODE='LOGFILE'");
  ASSERT_TRUE(analyze(self.get(), "Task", task));
  EXPECT_EQ(dependencies(self.get()),
            (V{"Database|sales", "ProfileJob|Weekly", "Rule|Checks",
               "Rule|Profiles", "Table|cust"}));
  EXPECT_EQ(count("IMPRCS", "RCS_TYPE='File'"), 1);
  ASSERT_TRUE(ia_->removeUnusedResources());
  EXPECT_EQ(count("IMPRCS", "RCS_TYPE='File'"), 0);
  EXPECT_EQ(count("IMPRCS"), 6);

  // A query that fails leaves the recorded dependencies as they were.
  exec("DROP TABLE " + table("RULEVT"));
  EXPECT_FALSE(analyze(self.get(), "Task", task));
  EXPECT_EQ(dependencies(self.get()).size(), 5u);
}

// Programs, jobs, flows, their variable and log files become file
// resources named by their file name; a flow given by an absolute path is
// a reference the host resolves.
TEST_P(ImpactAnalysisTest, EventsOfEveryKindNameTheFilesTheyUse) {
  JobResolver resolver;
  ia_->setResourceManager(&resolver);
  const int r = rule("Runs");
  int task = -1;
  ASSERT_TRUE(monitor_->addTask("Runner", "tk-1", "ann", 0, "", "", &task));
  ASSERT_TRUE(monitor_->addTaskRule(task, r));
  const char* events[] = {
      "<progexec><path>/opt/bin</path><prog>load.sh</prog></progexec>",
      "<flowjob><jobname>/jobs/nightly.job</jobname></flowjob>",
      "<flowjob><jobname></jobname></flowjob>",
      "<flowsmith><prog>/flows/a.flow</prog><varfile>/flows/vars.txt</varfile>"
      "<logdir>/var/log</logdir><logfile>a.log</logfile></flowsmith>",
      "<FlowSmith><prog>b.flow</prog></FlowSmith>"};
  int code = 0;
  for (const char* event : events)
    ASSERT_TRUE(monitor_->addRuleEvent(task, r, ++code, "EXEC", event));
  Owned<KvResource> self = objectResource("Task", task);
  ASSERT_TRUE(analyze(self.get(), "Task", task))
      << ia_->getErrorMessage().asCstr();
  EXPECT_EQ(
      dependencies(self.get()),
      (V{"File|a.log", "File|b.flow", "File|load.sh", "File|nightly.job",
         "File|vars.txt", "ProfileJob|file:///flows/a.flow", "Rule|Runs"}));
  EXPECT_EQ(sortedRows(named(
                ia_->getDependentResourcesByType(self.get(), "ProfileJob"))),
            V{"ProfileJob|file:///flows/a.flow"});
}

TEST_P(ImpactAnalysisTest, ARuleDependsOnItsMetricsAndFieldsUntilAReadFails) {
  const int r = rule("Ages");
  const int metric = common_->addCustomMetric("Mean age", "", "", "");
  ASSERT_GT(metric, 0);
  ASSERT_TRUE(common_->addRuleCustomMetric(r, metric, 1));
  ASSERT_TRUE(common_->addRuleField(r, "AGE", "Age of the customer"));
  Owned<KvResource> self = objectResource("Rule", r);
  ASSERT_TRUE(analyze(self.get(), "Rule", r))
      << ia_->getErrorMessage().asCstr();
  EXPECT_EQ(dependencies(self.get()),
            (V{"CustomMetric|Mean age", "Field|AGE"}));

  // An id that is not a number is refused; what was recorded stays.
  for (const char* id : {"", "1x", "Ages"}) {
    EXPECT_FALSE(ia_->analyzeObject(self.get(), "ctx", "rule", id, ""));
    EXPECT_EQ(ia_->getErrorMessage().str(),
              std::string("The object id \"") + id + "\" is not a number");
  }
  EXPECT_EQ(dependencies(self.get()).size(), 2u);

  exec("DROP TABLE " + table("RUFIME"));
  EXPECT_FALSE(analyze(self.get(), "Rule", r));
  EXPECT_EQ(dependencies(self.get()).size(), 2u);
  EXPECT_TRUE(analyze(self.get(), "Collection", r));
  EXPECT_FALSE(analyze(self.get(), "Job", r));
  EXPECT_EQ(ia_->getErrorMessage().str(),
            "The object type Job was not found to analyze");
}

TEST_P(ImpactAnalysisTest, ResourcesAreStoredOncePerTypeAndIdentity) {
  Owned<KvResource> a(ia_->createResource("first", "Table", "t-1"));
  Owned<KvResource> again(ia_->createResource("second", "Table", "t-1"));
  Owned<KvResource> file(ia_->createResource("f", "File", "t-1"));
  ASSERT_TRUE(a && again && file);
  EXPECT_EQ(again->getId(), a->getId());
  EXPECT_EQ(again->getName().str(), "first");
  EXPECT_NE(file->getId(), a->getId());
  Owned<KvStringList> types(ia_->getResourceTypes());
  EXPECT_EQ(types->getCount(), 2);
  EXPECT_EQ(ia_->getResource("Table", "t-2"), nullptr);

  ASSERT_TRUE(ia_->renameResource("Table", "t-1", "renamed"));
  EXPECT_EQ(
      Owned<KvResource>(ia_->getResource("Table", "t-1"))->getName().str(),
      "renamed");
  EXPECT_FALSE(ia_->renameResource("Table", "t-9", "x"));
  EXPECT_EQ(ia_->getErrorMessage().str(),
            "The impact resource of type \"Table\" and identity \"t-9\" could "
            "not be found to rename.");
}

// A store that cannot be read is not taken for one without the resource:
// no second resource of an identity is added, and none is called missing.
TEST_P(ImpactAnalysisTest, AStoreThatCannotBeReadIsNotTakenAsEmpty) {
  ASSERT_TRUE(Owned<KvResource>(ia_->createResource("first", "Table", "t-1")));
  // The lookups read the access date; the addition does not write it.
  exec("ALTER TABLE " + table("IMPRCS") +
       " RENAME COLUMN RCS_ADAT TO RCS_GONE");
  for (const char* identity : {"t-1", "t-2"}) {
    EXPECT_FALSE(
        Owned<KvResource>(ia_->createResource("x", "Table", identity)));
    EXPECT_EQ(ia_->getErrorMessage().str(), db_->getErrorMessage().str());
  }
  EXPECT_EQ(count("IMPRCS"), 1);
  EXPECT_FALSE(ia_->renameResource("Table", "t-1", "renamed"));
  EXPECT_EQ(ia_->getErrorMessage().str(), db_->getErrorMessage().str());
}

// An analysis one of whose resources could not be stored records nothing;
// once the store is repaired, the next analysis on the same thread records
// its dependencies again.
TEST_P(ImpactAnalysisTest, AnAnalysisAfterAFailedStoreRecordsAgain) {
  const int r = rule("Ages");
  ASSERT_TRUE(common_->addRuleField(r, "AGE", "Age of the customer"));
  Owned<KvResource> self = objectResource("Rule", r);
  ASSERT_NE(self, nullptr) << ia_->getErrorMessage().asCstr();
  const std::string resources = table("IMPRCS");
  exec("ALTER TABLE " + resources + " RENAME COLUMN RCS_ADAT TO RCS_GONE");
  EXPECT_FALSE(analyze(self.get(), "Rule", r));
  exec("ALTER TABLE " + resources + " RENAME COLUMN RCS_GONE TO RCS_ADAT");
  EXPECT_EQ(dependencies(self.get()), V{});

  ASSERT_TRUE(analyze(self.get(), "Rule", r))
      << ia_->getErrorMessage().asCstr();
  EXPECT_EQ(dependencies(self.get()), V{"Field|AGE"});
}

// Each failure is logged once, by the analysis, with its reason: a store
// that cannot be read, and a resource to remove that is not stored.
TEST_P(ImpactAnalysisTest, EachFailureIsLoggedOnceWithItsReason) {
  KvResourceImpl unstored;
  unstored.setType("File");
  unstored.setIdentity("nowhere");
  EXPECT_EQ(loggedFailures(
                [&] { EXPECT_FALSE(ia_->removeResourceIfUnused(&unstored)); }),
            V{"repimpanlysimpl: The impact resource of type \"File\" and "
              "identity \"nowhere\" could not be found to remove."});
  EXPECT_EQ(loggedFailures([&] {
              EXPECT_FALSE(ia_->removeDependentResources(&unstored));
            }).size(),
            1u);
  // A resource removed since it was handed out is named as the host knows
  // it, whether or not there are dependencies to record.
  Owned<KvResource> removed(ia_->createResource("gone", "Job", "g"));
  Owned<KvResource> used(ia_->createResource("used", "File", "u"));
  ASSERT_TRUE(ia_->removeResource(removed.get()));
  Owned<KvResourceList> one(ia_->createResourceList()),
      none(ia_->createResourceList());
  one->appendResource();
  one->setLastResource(0, used.get());
  for (KvResourceList* list : {one.get(), none.get()})
    EXPECT_EQ(loggedFailures([&] {
                EXPECT_FALSE(ia_->addResourceDependencies(removed.get(), list));
              }),
              V{"repimpanlysimpl: The Job resource \"g\" is not stored"});

  const int r = rule("Ages");
  Owned<KvResource> self = objectResource("Rule", r);
  exec("DROP TABLE " + table("RUFIME"));
  V logged =
      loggedFailures([&] { EXPECT_FALSE(analyze(self.get(), "Rule", r)); });
  EXPECT_EQ(logged, V{"repimpanlysimpl: " + db_->getErrorMessage().str()});
  exec("ALTER TABLE " + table("IMPRCS") +
       " RENAME COLUMN RCS_ADAT TO RCS_GONE");
  logged = loggedFailures([&] {
    EXPECT_FALSE(Owned<KvResource>(ia_->createResource("x", "Table", "t-1")));
  });
  EXPECT_EQ(logged, V{"repimpanlysimpl: " + db_->getErrorMessage().str()});
}

TEST_P(ImpactAnalysisTest, OnlyResourcesWithoutLinksAreRemoved) {
  Owned<KvResource> user(ia_->createResource("user", "Task", "u"));
  Owned<KvResource> used(ia_->createResource("used", "Table", "d"));
  Owned<KvResource> alone(ia_->createResource("alone", "File", "a"));
  Owned<KvResource> other(ia_->createResource("other", "File", "o"));
  Owned<KvResourceList> list(ia_->createResourceList());
  list->appendResource();
  list->setLastResource(0, used.get());
  ASSERT_TRUE(ia_->addResourceDependencies(user.get(), list.get()));
  KvResourceImpl unstored;
  unstored.setType("Task");
  unstored.setIdentity("nowhere");
  EXPECT_FALSE(ia_->addResourceDependencies(&unstored, list.get()));
  EXPECT_EQ(ia_->getErrorMessage().str(),
            "The Task resource \"nowhere\" is not stored");
  EXPECT_FALSE(ia_->addResourceDependencies(user.get(), nullptr));

  EXPECT_EQ(named(ia_->getUsedByResources(used.get(), 0)), V{"Task|user"});

  Owned<KvResource> second(ia_->createResource("second", "Job", "s"));
  ASSERT_TRUE(ia_->addResourceDependencies(second.get(), list.get()));

  // Each refusal names the resource and the first one linked to it, those
  // that use it before those it uses.
  const struct {
    KvResource* resource;
    std::string text;
  } refused[] = {
      {used.get(),
       "The impact resource of type \"Table\" and identity \"d\" could not be "
       "deleted: it is still a dependency of the resource of type \"Task\" "
       "and identity \"u\" and 1 more."},
      {user.get(),
       "The impact resource of type \"Task\" and identity \"u\" could not be "
       "deleted: it still depends on the resource of type \"Table\" and "
       "identity \"d\"."},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(loggedFailures(
                  [&] { EXPECT_FALSE(ia_->removeResourceIfUnused(c.resource)); }),
              V{"repimpanlysimpl: " + c.text});
    EXPECT_EQ(ia_->getErrorMessage().str(), c.text);
    EXPECT_FALSE(ia_->removeResource(c.resource));
    EXPECT_EQ(ia_->getErrorMessage().str(), c.text);
  }
  ASSERT_TRUE(ia_->removeResourceIfUnused(alone.get()));
  EXPECT_EQ(count("IMPRCS"), 3) << "the other unused file went too";

  ASSERT_TRUE(ia_->removeDependentResources(user.get()));
  EXPECT_EQ(count("IMPDEP"), 1);
  ASSERT_TRUE(ia_->removeAllResources());
  EXPECT_EQ(count("IMPRCS"), 0);
}

// Two connections that create one resource at the same moment: the second
// waits for the first's turn and answers the first's resource.
TEST_P(ImpactAnalysisTest, TwoConnectionsCreatingOneResourceShareIt) {
  RepositoryImpl* other = open();
  RepositoryImpl* watcher = open();
  ASSERT_TRUE(other && watcher);
  Owned<RepositoryImpactAnalysis> second(other->createImpactAnalysis());
  ASSERT_TRUE(common_->beginTransaction(0, 0));
  Owned<KvResource> mine(ia_->createResource("first", "Table", "t-1"));
  ASSERT_NE(mine, nullptr) << ia_->getErrorMessage().asCstr();
  ConnectionWaits waits(watcher->getDataAccess(), other->getDataAccess(),
                        isPostgres());
  KvResource* answer = nullptr;
  EXPECT_TRUE(attemptWhileHeld<KvResource*>(
      waits, LetGo::kOnceItWaits,
      [&](bool commit) { common_->endTransaction(commit); },
      [&] { return second->createResource("second", "Table", "t-1"); },
      &answer))
      << "the second connection neither waited nor ended";
  Owned<KvResource> theirs(answer);
  ASSERT_NE(theirs, nullptr) << second->getErrorMessage().asCstr();
  EXPECT_EQ(theirs->getId(), mine->getId());
  EXPECT_EQ(theirs->getName().str(), "first");
  EXPECT_EQ(count("IMPRCS"), 1);
}

// A removal of resources and a dependency added on them, on two
// connections at once, never leave a dependency that names a removed
// resource: the one that comes second waits for the other (seen waiting
// before the first commits). A dependency added first keeps its resources
// (but from removeAllResources, which takes it too); one added after the
// removal is refused for its missing resource.
TEST_P(ImpactAnalysisTest, ARemovalAndADependencyAtOnceLeaveNoLinkToNothing) {
  RepositoryImpl* other = open();
  RepositoryImpl* watcher = open();
  ASSERT_TRUE(other && watcher);
  Owned<RepositoryImpactAnalysis> theirs(other->createImpactAnalysis());
  Owned<MetadataRepositoryDataAccess> meta(repos_->createMetadataDataAccess());
  Owned<MetadataRepositoryDataAccess> theirMeta(
      other->createMetadataDataAccess());
  using Removal = std::function<bool(RepositoryImpactAnalysis&, KvResource*)>;
  const struct {
    const char* name;
    Removal remove;
  } removals[] = {
      {"removeResourceIfUnused",
       [](RepositoryImpactAnalysis& ia, KvResource* used) {
         return ia.removeResourceIfUnused(used);
       }},
      {"removeUnusedResources",
       [](RepositoryImpactAnalysis& ia, KvResource*) {
         return ia.removeUnusedResources();
       }},
      {"removeAllResources", [](RepositoryImpactAnalysis& ia,
                                KvResource*) { return ia.removeAllResources(); }},
  };
  const std::string dangling =
      "RCS_ID NOT IN (SELECT RCS_ID FROM " + table("IMPRCS") +
      ") OR RCS_USED NOT IN (SELECT RCS_ID FROM " + table("IMPRCS") + ")";
  int round = 0;
  for (const auto& removal : removals)
    for (bool dependencyFirst : {true, false}) {
      SCOPED_TRACE(std::string(removal.name) +
                   (dependencyFirst ? ", dependency first" : ", removal first"));
      const std::string n = std::to_string(++round);
      Owned<KvResource> user(ia_->createResource("user", "Task", ("u" + n).c_str()));
      Owned<KvResource> used(ia_->createResource("used", "Table", ("d" + n).c_str()));
      ASSERT_TRUE(user && used) << ia_->getErrorMessage().asCstr();
      const int userId = std::atoi(user->getId().asCstr());
      const int usedId = std::atoi(used->getId().asCstr());
      ASSERT_TRUE(common_->beginTransaction(0, 0));
      bool added = false;
      std::string refusal;
      if (dependencyFirst) {
        added = meta->addResourceDependency(userId, usedId);
        EXPECT_TRUE(added) << meta->getErrorMessage().asCstr();
      } else {
        EXPECT_TRUE(removal.remove(*ia_, used.get()))
            << ia_->getErrorMessage().asCstr();
      }
      ConnectionWaits waits(watcher->getDataAccess(), other->getDataAccess(),
                            isPostgres());
      bool answer = false;
      EXPECT_TRUE(attemptWhileHeld<bool>(
          waits, LetGo::kOnceItWaits,
          [&](bool commit) { common_->endTransaction(commit); },
          [&] {
            if (dependencyFirst) return removal.remove(*theirs, used.get());
            const bool ok = theirMeta->addResourceDependency(userId, usedId);
            refusal = theirMeta->getErrorMessage().str();
            return ok;
          },
          &answer))
          << "the second connection neither waited nor ended";
      if (!dependencyFirst) {
        EXPECT_FALSE(answer) << "a dependency on removed resources was added";
        EXPECT_EQ(refusal, "Resource " + std::to_string(userId) +
                               " does not exist");
      }
      EXPECT_EQ(count("IMPDEP", dangling), 0);
      ASSERT_TRUE(ia_->removeAllResources());
    }
}

TEST_P(ImpactAnalysisTest, MacroIdentitiesResolveThroughTheOptions) {
  kvbGetConfigOptions("")->set("SRC_DIR", "/srv");
  Owned<KvResource> file(
      ia_->createResource("in", "File", "%%SRC_DIR%%/a.txt"));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(named(ia_->getDependentResources(file.get(), 0)), V{"File|a.txt"});
  EXPECT_NE(Owned<KvResource>(ia_->getResource("File", "/srv/a.txt")), nullptr);
  Owned<KvResourceList> all(ia_->getResources());
  while (all->next())
    EXPECT_EQ(all->getResource()->getIdentity().str(), "/srv/a.txt");

  // Identities of databases, tables and files are named by their parts; the
  // table, recorded after its database, depends on it.
  kvbGetConfigOptions("")->set("DB", "sales");
  Owned<KvResourceManager> manager(createKvResourceManager());
  KvbString database, tableIdentity, fileIdentity;
  ASSERT_TRUE(manager->getDatabaseIdentity("DSN=%%DB%%", "ODBC", database));
  ASSERT_TRUE(manager->getTableIdentity("DSN=%%DB%%", "ODBC", "main", "SALES",
                                        "CUST", tableIdentity));
  ASSERT_TRUE(manager->getFileIdentity("%%SRC_DIR%%", "b.txt", fileIdentity));
  const struct {
    const char* type;
    KvbString identity;
    V resolved;
  } macros[] = {{"Database", database, {"Database|DSN=sales"}},
                {"Table", tableIdentity, {"Database|in", "Table|CUST"}},
                {"File", fileIdentity, {"File|b.txt"}}};
  for (const auto& m : macros) {
    Owned<KvResource> resource(ia_->createResource("in", m.type, m.identity));
    ASSERT_NE(resource, nullptr) << m.type;
    EXPECT_EQ(named(ia_->getDependentResources(resource.get(), 0)), m.resolved);
  }
  kvbGetConfigOptions("")->remove("DB");
  kvbGetConfigOptions("")->remove("SRC_DIR");
}

// A data source as a host describes it.
class Source : public KvDataSourceDescription {
 public:
  explicit Source(const char* table) : table_(table) {}
  KvbString getConnection() override { return "DSN=warehouse"; }
  KvbString getConnectionType() override { return "ODBC"; }
  KvbString getCatalog() override { return "main"; }
  KvbString getSchema() override { return "SALES"; }
  KvbString getTable() override { return table_; }

 private:
  const char* table_;
};

// A table without a connection still gives a table; the host's description
// of a table and of its database leads to the same resources.
TEST_P(ImpactAnalysisTest, AnExplorationDependsOnItsTablesAndTheirDatabase) {
  exec("INSERT INTO " + table("MPRJ") +
       " (PRJ_ID, PRJ_NM, PRJ_UUID) VALUES (1, 'Customers', 'pj-1')");
  exec("INSERT INTO " + table("MDBCON") +
       " (DB_ID, CON_CNSTR) VALUES (7, 'DSN=warehouse')");
  const std::string tableRow = "INSERT INTO " + table("MTABLE") +
                               " (TBL_ID, TBL_NM, TBL_SCH, TBL_CAT, DB_ID) "
                               "VALUES (?, ?, 'SALES', 'main', ?)";
  exec(tableRow, {10, "CUSTOMER", 7});
  exec(tableRow, {11, "ADDRESS", 99});
  for (int tableId : {10, 11})
    exec("INSERT INTO " + table("MPJTBL") + " (PRJ_ID, TBL_ID) VALUES (1, ?)",
         {tableId});
  Owned<KvResource> self = objectResource("DataExploration", 1);
  ASSERT_TRUE(analyze(self.get(), "DataExploration", 1))
      << ia_->getErrorMessage().asCstr();
  EXPECT_EQ(dependencies(self.get()),
            (V{"Database|warehouse", "Table|ADDRESS", "Table|CUSTOMER"}));

  Source customer("CUSTOMER"), database("");
  Owned<KvResource> described(ia_->getDataResource(&customer));
  Owned<KvResource> describedDatabase(ia_->getDataResource(&database));
  ASSERT_TRUE(described && describedDatabase);
  EXPECT_EQ(named(ia_->getDependentResources(described.get(), 0)),
            V{"Database|warehouse"});
  EXPECT_EQ(count("IMPRCS"), 4) << "no resource was made twice";
}

// A newly stored table is linked to its database on its first use, beside
// the dependencies it has already.
TEST_P(ImpactAnalysisTest, LinkingATableToItsDatabaseKeepsItsDependencies) {
  Owned<KvResourceManager> manager(createKvResourceManager());
  KvbString database, table;
  ASSERT_TRUE(
      manager->getDatabaseIdentity("DSN=warehouse", "ODBC", database) &&
      manager->getTableIdentity("DSN=warehouse", "ODBC", "main", "SALES",
                                "CUSTOMER", table));
  Owned<KvResource> warehouse(
      ia_->createResource("warehouse", "Database", database));
  Owned<KvResource> cust(ia_->createResource("CUSTOMER", "Table", table));
  Owned<KvResource> field(ia_->createResource("zip", "Field", "f-1"));
  Owned<KvResource> user(ia_->createResource("user", "Task", "u"));
  ASSERT_TRUE(warehouse && cust && field && user);
  Owned<KvResourceList> list(ia_->createResourceList());
  list->appendResource();
  list->setLastResource(0, field.get());
  ASSERT_TRUE(ia_->addResourceDependencies(cust.get(), list.get()));
  list->setLastResource(0, cust.get());
  ASSERT_TRUE(ia_->addResourceDependencies(user.get(), list.get()));
  EXPECT_EQ(dependencies(cust.get()), (V{"Database|warehouse", "Field|zip"}));
}

// A job reads a database table and a file table; re-analysed, it keeps the
// kinds of dependency it does not rebuild.
TEST_P(ImpactAnalysisTest, AProfileJobDependsOnItsRulesTablesFilesAndMetrics) {
  Owned<ProfileRepositoryDataAccess> profile(repos_->createProfileDataAccess());
  const int r = rule("Valid zip");
  const int metric = common_->addCustomMetric("Fill rate", "", "", "");
  const int job =
      profile->addProfileJob("Customers", "", "su-1", 0, 0, "ann", "ann", 0);
  ASSERT_GT(job, 0) << profile->getErrorMessage().asCstr();
  auto addTable = [&](const char* source, const char* connection,
                      const char* code, const char* name, const char* file) {
    const int dsn = profile->addJobDsn(job, source, connection, code);
    return profile->addJobTable(job, dsn, "", "dbo", name, "", "", "", 0, file,
                                "", "", 0, 0, 0, "", 0, 0, "");
  };
  const int cust = addTable("sales", "DSN=sales", "n", "cust", "");
  const int text = addTable("files", "", "Y", "cust.txt", "C:\\data\\cust.txt");
  addTable("odd", "DSN=x", "X", "ignored", "");
  ASSERT_GT(profile->addJobTableRule(job, cust, r, "Valid zip", 0, 0, "ru-1"),
            0);
  ASSERT_GT(profile->addJobTableMetric(job, text, metric, "Fill rate", ""), 0);
  Owned<KvResource> self = objectResource("ProfileJob", job);
  Owned<KvResource> notes(ia_->createResource("notes", "Field", "f-1"));
  Owned<KvResourceList> kept(ia_->createResourceList());
  kept->appendResource();
  kept->setLastResource(0, notes.get());
  ASSERT_TRUE(ia_->addResourceDependencies(self.get(), kept.get()));

  ASSERT_TRUE(analyze(self.get(), "ProfileJob", job))
      << ia_->getErrorMessage().asCstr();
  const V expected{"CustomMetric|Fill rate", "Database|sales", "Field|notes",
                   "File|cust.txt",          "Rule|Valid zip", "Table|cust"};
  EXPECT_EQ(dependencies(self.get()), expected);
  ASSERT_TRUE(analyze(self.get(), "ProfileJob", job));
  EXPECT_EQ(dependencies(self.get()), expected);

  exec("DROP TABLE " + table("JTBLME"));
  EXPECT_FALSE(analyze(self.get(), "ProfileJob", job));
  EXPECT_EQ(dependencies(self.get()), expected);
}

INSTANTIATE_SERVICES_TARGETS(ImpactAnalysisTest);

}  // namespace
