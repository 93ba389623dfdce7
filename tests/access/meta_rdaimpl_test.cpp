// The metadata data-access object on every back end: folder paths both
// ways, the folder tree's integrity, object listings over several types,
// object locks and their notifications, the event queue, the lineage store,
// folder-name normalisation, and writes that fail without leaving anything
// behind.
#include "access/meta_rdaimpl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kvreposres/kvreposres.h"
#include "reposadmin/repository_status_callback.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

class Recorder : public RepositoryEventListener {
 public:
  void onRepositoryEvent(const RepositoryEvent& event) override {
    events.push_back(event);
  }
  std::vector<RepositoryEvent> events;
};

class Status : public RepositoryStatusCallback {
 public:
  explicit Status(bool goOn) : goOn_(goOn) {}
  bool reportStatus(const KvbString& text) override {
    lines.push_back(text.str());
    return goOn_;
  }
  void reportMessage(const KvbString& text) override {
    lines.push_back(text.str());
  }
  std::vector<std::string> lines;

 private:
  bool goOn_;
};

std::vector<std::string> sorted(std::vector<std::string> rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

class MetaRdaTest : public RdaObjectTest<MetadataRDAImpl> {
 protected:
  MetadataRDAImpl*& meta_ = object_;

  KvbString table(const char* code) {
    return rda_->getTableName(code, true, -1);
  }
  int folder(int parent, const char* name) {
    int id = -1;
    EXPECT_TRUE(meta_->addFolder(parent, name, id)) << name;
    return id;
  }
  std::string pathOf(int id) {
    KvbString path, top, error;
    EXPECT_TRUE(meta_->getFolderPath(id, path, top, error)) << error.asCstr();
    return path.str() + "|" + top.str();
  }
  int idOf(const char* path) {
    int id = -99;
    KvbString error;
    EXPECT_TRUE(meta_->getFolderIdFromPath(path, id, error))
        << path << ": " << error.asCstr();
    return id;
  }
  // Runs one statement with values on the test's connection.
  void exec(const KvbString& sql, std::vector<KvbDatavar> v) {
    bool ok = false;
    switch (v.size()) {
      case 0:
        ok = rda_->paramExec(sql, nullptr, 0);
        break;
      case 1:
        ok = rda_->paramExec(sql, nullptr, 1, &v[0]);
        break;
      case 2:
        ok = rda_->paramExec(sql, nullptr, 2, &v[0], &v[1]);
        break;
      case 3:
        ok = rda_->paramExec(sql, nullptr, 3, &v[0], &v[1], &v[2]);
        break;
      default:
        ok = rda_->paramExec(sql, nullptr, 4, &v[0], &v[1], &v[2], &v[3]);
    }
    ASSERT_TRUE(ok) << sql.asCstr() << ": " << rda_->getErrorMessage().asCstr();
  }
  int count(const char* code, const char* where = "") {
    int n = -1;
    EXPECT_TRUE(rda_->paramSingleton(
        "SELECT COUNT(*) FROM " + table(code) + " " + where, &n, 0));
    return n;
  }
  int counter(const char* key) {
    KvbDatavar k(key);
    int n = 0;
    rda_->paramSingleton(
        "SELECT NI_VAL FROM " + table("UCURID") + " WHERE NI_KEY=?", &n, 1, &k);
    return n;
  }
  std::vector<std::string> select(const std::string& sql) {
    return rows(rda_->paramSelect(sql, 0));
  }

};

// --- Folder paths
// -------------------------------------------------------------

TEST_P(MetaRdaTest, FolderPathsWalkBothWays) {
  const int a = folder(0, "Alpha");
  const int reports = folder(a, "Reports");
  const int deep = folder(reports, "deep");
  const int other = folder(0, "Reports");  // same name, other branch

  EXPECT_EQ(pathOf(deep), "Alpha/Reports/deep|Alpha");
  EXPECT_EQ(pathOf(a), "Alpha|Alpha");
  EXPECT_EQ(pathOf(0), "|");
  KvbString path, top, error;
  EXPECT_FALSE(meta_->getFolderPath(-1, path, top, error));
  EXPECT_FALSE(error.isEmpty());

  // Names match in any case; empty names are skipped.
  EXPECT_EQ(idOf("alpha/REPORTS/Deep"), deep);
  EXPECT_EQ(idOf("/Alpha//reports/"), reports);
  EXPECT_EQ(idOf("Reports"), other);
  EXPECT_EQ(idOf(""), 0);
  EXPECT_EQ(idOf("//"), 0);

  // Each name is looked for among the children of the one before.
  int id = 42;
  EXPECT_FALSE(meta_->getFolderIdFromPath("Reports/deep", id, error));
  EXPECT_EQ(error.str(),
            "Unable to find folder/object by path: \"Reports/deep\"");
  EXPECT_EQ(id, 42);

  int parent = -1;
  EXPECT_TRUE(meta_->getParentFolderId(deep, parent));
  EXPECT_EQ(parent, reports);
  EXPECT_FALSE(meta_->getParentFolderId(9999, parent));
}

TEST_P(MetaRdaTest, FolderListingsAndNamesPerParent) {
  const int a = folder(0, "A");
  const int b = folder(0, "B");
  EXPECT_EQ(b, a + 1) << "ids come from the FOLDER counter";
  EXPECT_EQ(counter("FOLDER"), b);
  const int ab = folder(a, "Shared Data");
  EXPECT_EQ(select("SELECT NAM_NORM FROM " + table("FOLDER").str() +
                   " WHERE FLDR_ID=" + std::to_string(ab)),
            (std::vector<std::string>{"shared data"}));

  int id = -1;
  // A second folder of the same lower-cased name below one parent could
  // never be reached by path.
  EXPECT_FALSE(meta_->addFolder(0, "a", id));
  EXPECT_EQ(meta_->getErrorMessage().str(),
            "Folder 0 already holds a folder named \"a\"");
  EXPECT_TRUE(meta_->addFolder(b, "a", id));
  EXPECT_FALSE(meta_->addFolder(0, "", id));
  EXPECT_FALSE(meta_->addFolder(0, "x/y", id));
  EXPECT_FALSE(meta_->addFolder(777, "orphan", id));
  EXPECT_EQ(count("FOLDER"), 4);

  const std::string A = std::to_string(a), B = std::to_string(b);
  EXPECT_EQ(sorted(rows(meta_->listFolders(0))),
            sorted({A + "|A|0", B + "|B|0"}));
  EXPECT_EQ(
      rows(meta_->listFolders(a)),
      (std::vector<std::string>{std::to_string(ab) + "|Shared Data|" + A}));
  EXPECT_EQ(rows(meta_->listFolders(-1)).size(), 4u);
  EXPECT_EQ(rows(meta_->findFolders(0, "a")),
            (std::vector<std::string>{A + "|A|0"}));
  EXPECT_EQ(rows(meta_->findFolders(-1, "A")).size(), 2u);
  EXPECT_TRUE(rows(meta_->findFolders(b, "B")).empty());

  // The shared data folder is the top-level one only.
  EXPECT_FALSE(meta_->getSharedDataFolderId(id));
  const int shared = folder(0, "Shared Data");
  EXPECT_TRUE(meta_->getSharedDataFolderId(id));
  EXPECT_EQ(id, shared);
}

TEST_P(MetaRdaTest, MovesRenamesAndDeletesKeepTheTreeWhole) {
  const int a = folder(0, "A");
  const int b = folder(a, "B");
  const int c = folder(b, "C");
  const int d = folder(0, "D");

  EXPECT_FALSE(meta_->moveFolder(a, a));
  // Below its own sub-folder the folder would be cut off from the root.
  EXPECT_FALSE(meta_->moveFolder(a, c));
  EXPECT_NE(meta_->getErrorMessage().str().find("below itself"),
            std::string::npos);
  EXPECT_FALSE(meta_->moveFolder(a, b));
  EXPECT_FALSE(meta_->moveFolder(0, d));
  EXPECT_FALSE(meta_->moveFolder(b, 555));
  EXPECT_FALSE(meta_->moveFolder(555, d));
  EXPECT_EQ(pathOf(c), "A/B/C|A");

  ASSERT_TRUE(meta_->moveFolder(b, d));
  EXPECT_EQ(pathOf(c), "D/B/C|D");
  ASSERT_TRUE(meta_->moveFolder(a, c));  // A is no longer above C
  EXPECT_EQ(pathOf(a), "D/B/C/A|D");
  const int b2 = folder(0, "b");
  EXPECT_FALSE(meta_->moveFolder(b2, d)) << "D already holds B";

  ASSERT_TRUE(meta_->renameFolder(c, "Gamma"));
  EXPECT_EQ(idOf("d/b/GAMMA/a"), a);
  EXPECT_FALSE(meta_->renameFolder(b2, "d")) << "the top level holds D";
  EXPECT_TRUE(meta_->renameFolder(b2, "B")) << "its own name in another case";
  EXPECT_FALSE(meta_->renameFolder(b2, ""));
  EXPECT_FALSE(meta_->renameFolder(b2, "x/y"));
  EXPECT_FALSE(meta_->renameFolder(999, "Z"));

  KvbString error;
  EXPECT_FALSE(meta_->deleteFolder(0, error));
  EXPECT_EQ(error.str(), "Root level folder cannot be deleted");
  error = "";
  EXPECT_FALSE(meta_->deleteFolder(999, error));
  EXPECT_FALSE(error.isEmpty());
  const int before = count("FOLDER");
  EXPECT_TRUE(meta_->deleteFolder(d, error));
  EXPECT_EQ(count("FOLDER"), before - 1);
}

// --- Objects ----------------------------------------------------------------

TEST_P(MetaRdaTest, ObjectListingsSpanEveryType) {
  const int f = folder(0, "F");
  exec("INSERT INTO " + table("RULE") +
           " (RU_ID, RU_DESC, RU_UUID, FLDR_ID, RU_CRDAT, RU_EDDAT, RU_CRUSR,"
           " RU_USER, RU_COMM) VALUES (?, 'Rule one', 'ru-1', ?, 10, 11, "
           "'ann', 'bob', 'checks')",
       {7, f});
  exec("INSERT INTO " + table("MJOB") +
           " (JB_ID, JB_DESC, JB_CODE, FLDR_ID, JB_COMM) VALUES (?, ?, ?, ?, "
           "'nightly')",
       {3, "Task three", "jb-3", f});
  exec("INSERT INTO " + table("JSETUP") +
           " (SU_ID, SU_NAME, SU_UUID, FLDR_ID) VALUES (?, ?, ?, ?)",
       {5, "Profile five", "su-5", 0});
  exec("INSERT INTO " + table("EXSRC") +
           " (ES_ID, ES_NAME, ES_UUID) VALUES (?, ?, ?)",
       {9, "Src", "es-9"});

  std::vector<std::string> inF = sorted(rows(meta_->listObjects(f)));
  const std::string F = std::to_string(f);
  EXPECT_EQ(inF, sorted({"Rule|ru-1|7|Rule one|" + F + "|10|11|ann|bob|checks",
                         "Task|jb-3|3|Task three|" + F + "|||||nightly"}));
  ReposDataAccessCursor* cursor = meta_->listObjects(0);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(cursor->getNumCols(), 10);
  EXPECT_EQ(cursor->getColName(0).str(), "OBJTYPE");
  EXPECT_EQ(
      rows(cursor),
      (std::vector<std::string>{"ProfileJob|su-5|5|Profile five|0|||||"}));
  EXPECT_EQ(rows(meta_->listObjects(-1)).size(), 4u);

  EXPECT_EQ(rows(meta_->listObjectsOfType(f, "Task")).size(), 1u);
  EXPECT_EQ(rows(meta_->listObjectsOfType(-1, "Rule")).size(), 1u);
  EXPECT_TRUE(rows(meta_->listObjectsOfType(0, "Rule")).empty());
  EXPECT_EQ(meta_->listObjectsOfType(f, "Nothing"), nullptr);

  KvbString error;
  EXPECT_EQ(rows(meta_->getObject(3, "Task", error)),
            (std::vector<std::string>{"Task|jb-3|3|Task three|" + F +
                                      "|||||nightly"}));
  EXPECT_TRUE(rows(meta_->getObject(4, "Task", error)).empty());
  EXPECT_EQ(meta_->getObject(3, "Tusk", error), nullptr);
  EXPECT_EQ(error.str(), "Unable to find type: Tusk");

  // Only the source has no folder; on SQLite an empty text counts too.
  EXPECT_EQ(rows(meta_->listObjectsWithoutFolder()),
            (std::vector<std::string>{"Source|es-9|9|Src||||||"}));
  if (!isPostgres()) {
    exec("UPDATE " + table("MJOB") + " SET FLDR_ID = ''", {});
    EXPECT_EQ(rows(meta_->listObjectsWithoutFolder()).size(), 2u);
  }
}

TEST_P(MetaRdaTest, ObjectsMoveOnlyBetweenExistingFolders) {
  const int f = folder(0, "F");
  exec("INSERT INTO " + table("MJOB") +
           " (JB_ID, JB_DESC, FLDR_ID) VALUES (?, ?, ?)",
       {3, "Task", 0});
  KvbString error;
  ASSERT_TRUE(meta_->moveObjectToFolder(3, "Task", f, error)) << error.asCstr();
  int in = -1;
  EXPECT_TRUE(meta_->getObjectFolderId("Task", 3, in));
  EXPECT_EQ(in, f);
  EXPECT_FALSE(meta_->getObjectFolderId("Task", 4, in));
  EXPECT_FALSE(meta_->getObjectFolderId("Tusk", 3, in));

  EXPECT_FALSE(meta_->moveObjectToFolder(3, "Tusk", 0, error));
  EXPECT_EQ(error.str(), "Unable to find type: Tusk");
  error = "";
  EXPECT_FALSE(meta_->moveObjectToFolder(3, "Task", 404, error));
  EXPECT_FALSE(error.isEmpty());
  error = "";
  EXPECT_FALSE(meta_->moveObjectToFolder(4, "Task", 0, error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_TRUE(meta_->getObjectFolderId("Task", 3, in));
  EXPECT_EQ(in, f);
  EXPECT_TRUE(meta_->moveObjectToFolder(3, "Task", 0, error));
}

// --- Locks
// ---------------------------------------------------------------------

TEST_P(MetaRdaTest, LocksChangeHandsAndAreAnnounced) {
  Recorder recorder;
  getRepositoryEventManager()->addListener(&recorder);
  EXPECT_FALSE(meta_->isObjectLocked(5, "Rule"));
  ASSERT_TRUE(meta_->lockObject(5, "Rule", "ann", "ru-5"));
  ASSERT_TRUE(meta_->lockObject(5, "Rule", "bob", "ru-other"));
  ASSERT_TRUE(meta_->lockObject(5, "Task", "cid", "jb-5"));
  EXPECT_TRUE(meta_->isObjectLocked(5, "Rule"));
  EXPECT_FALSE(meta_->isObjectLocked(6, "Rule"));

  // One row per object: the second lock kept its id and UUID.
  EXPECT_EQ(
      select("SELECT LCK_ID, OBJ_ID, OBJ_TYPE, OBJ_UUID, LCK_USR FROM " +
             table("OBJLCK").str() + " ORDER BY LCK_ID"),
      (std::vector<std::string>{"1|5|Rule|ru-5|bob", "2|5|Task|jb-5|cid"}));
  KvbString uuid, user;
  KvbDatavar date;
  ASSERT_TRUE(meta_->getObjectLock(5, "Rule", uuid, user, date));
  EXPECT_EQ(uuid.str(), "ru-5");
  EXPECT_EQ(user.str(), "bob");
  EXPECT_NEAR(date.asDouble(), KvbDate::currentDate().asDouble(), 0.01);

  ASSERT_TRUE(meta_->unlockObject(5, "Rule"));
  EXPECT_FALSE(meta_->isObjectLocked(5, "Rule"));
  EXPECT_FALSE(meta_->getObjectLock(5, "Rule", uuid, user, date));
  EXPECT_TRUE(meta_->isObjectLocked(5, "Task"));
  getRepositoryEventManager()->removeListener(&recorder);

  ASSERT_EQ(recorder.events.size(), 4u);
  const RepositoryEvent& last = recorder.events.back();
  EXPECT_EQ(last.operation, "postObjectChange");
  EXPECT_EQ(last.objectType.str(), "Rule");
  EXPECT_EQ(last.objectId, 5);
  EXPECT_EQ(last.objectUUID.str(), "ru-5");
  EXPECT_EQ(last.reposUUID.str(), rda_->getRepositoryUUID().str());
  EXPECT_EQ(recorder.events[2].objectType.str(), "Task");
}

// --- Events
// ---------------------------------------------------------------------

TEST_P(MetaRdaTest, EventsSinceATimeSkipTheReadersOwnSource) {
  int id = 0;
  KvbString error;
  std::vector<int> ids;
  for (const char* source : {"A", "B", static_cast<const char*>(nullptr)}) {
    ASSERT_TRUE(
        meta_->createRepositoryEvent("Rule/x", 2, "more", source, id, error))
        << error.asCstr();
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(select("SELECT EVT_SBJT, EVT_ACTN, EVT_USER, EVT_OTHR FROM " +
                   table("REVENT").str() + " WHERE EVT_ID = 1"),
            (std::vector<std::string>{"Rule/x|UPDATED|" +
                                      getOSUserName().str() + "|more"}));
  // Fixed times: event 1 oldest; events 2 and 3 at the same time.
  exec("UPDATE " + table("REVENT") + " SET EVT_TIME = ? WHERE EVT_ID = 1",
       {100.0});
  exec("UPDATE " + table("REVENT") + " SET EVT_TIME = ? WHERE EVT_ID > 1",
       {200.0});

  auto since = [&](double time, const char* source) {
    std::vector<std::string> out;
    ReposDataAccessCursor* c =
        meta_->getRepositoryEventsSince(0, time, source, error);
    EXPECT_NE(c, nullptr) << error.asCstr();
    while (c && c->next() == 1)
      out.push_back(c->getString(c->getColumnIndex("EVT_ID")).str());
    if (c) c->release();
    return out;
  };
  // The time test is "at or after"; an event without a source reaches
  // every reader, also one that names no source itself.
  EXPECT_EQ(since(100.0, "A"), (std::vector<std::string>{"2", "3"}));
  EXPECT_EQ(since(100.0, "B"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(since(200.0, "C"), (std::vector<std::string>{"2", "3"}));
  EXPECT_EQ(since(0.0, nullptr), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_TRUE(since(200.5, "C").empty());

  EXPECT_FALSE(meta_->removeRepositoryEvents(0, 0.0, error));
  EXPECT_EQ(error.str(),
            "Remove repository events cannot remove events when neither "
            "date or id are specified.");
  EXPECT_EQ(count("REVENT"), 3);
  LogCapture logs;
  ASSERT_TRUE(meta_->removeRepositoryEvents(0, 200.0, error));
  EXPECT_TRUE(logs.contains("Removed 1 repository events", 2));
  EXPECT_EQ(since(0.0, "Z"), (std::vector<std::string>{"2", "3"}));
  ASSERT_TRUE(meta_->removeRepositoryEvents(3, 0.0, error));
  EXPECT_EQ(since(0.0, "Z"), (std::vector<std::string>{"3"}));
  ASSERT_TRUE(meta_->removeRepositoryEvents(9, 200.0, error));
  EXPECT_EQ(count("REVENT"), 1) << "the event at the time stays";
}

// --- Lineage
// -----------------------------------------------------------------------

TEST_P(MetaRdaTest, ResourceDependenciesReadBothWays) {
  int job = 0, t1 = 0, t2 = 0, file = 0, db = 0;
  ASSERT_TRUE(meta_->addResource("Job", "jobs/1", "Task", job));
  ASSERT_TRUE(meta_->addResource("T1", "db/t1", "Table", t1));
  ASSERT_TRUE(meta_->addResource("T2", "db/t2", "Table", t2));
  ASSERT_TRUE(meta_->addResource("In", "/in.txt", "File", file));
  ASSERT_TRUE(meta_->addResource("Db", "db", "Database", db));
  EXPECT_EQ(counter("IMPRCS"), db);
  int again = -5;
  EXPECT_FALSE(meta_->addResource("Other name", "db/t1", "Table", again));
  EXPECT_EQ(meta_->getErrorMessage().str(),
            "A Table resource with identity \"db/t1\" exists already");
  EXPECT_EQ(again, -5);
  EXPECT_TRUE(meta_->addResource("Same identity", "db/t1", "File", again));

  // The job uses both tables and the file; the tables use the database.
  for (int used : {t1, t2, file})
    ASSERT_TRUE(meta_->addResourceDependency(used, job));
  for (int user : {t1, t2}) ASSERT_TRUE(meta_->addResourceDependency(db, user));
  auto names = [](ReposDataAccessCursor* c) {
    std::vector<std::string> out;
    while (c && c->next() == 1) out.push_back(c->getString(1).str());
    if (c) c->release();
    std::sort(out.begin(), out.end());
    return out;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(names(meta_->listResourcesUsing(job)), (V{"In", "T1", "T2"}));
  EXPECT_EQ(names(meta_->listResourcesUsingByType(job, "Table")),
            (V{"T1", "T2"}));
  EXPECT_EQ(names(meta_->listResourcesUsingByType(t1, "Database")), (V{"Db"}));
  EXPECT_EQ(names(meta_->listResourcesUsedBy(db)), (V{"T1", "T2"}));
  EXPECT_EQ(names(meta_->listResourcesUsedBy(t1)), (V{"Job"}));
  EXPECT_TRUE(names(meta_->listResourcesUsedBy(job)).empty());
  EXPECT_EQ(names(meta_->listResourcesByType("Table")), (V{"T1", "T2"}));
  EXPECT_EQ(names(meta_->listResources()).size(), 6u);
  EXPECT_EQ(sorted(rows(meta_->listResourceTypes())),
            (V{"Database", "File", "Table", "Task"}));

  ASSERT_TRUE(meta_->setResourceAccessDate(t1, 123.5));
  EXPECT_FALSE(meta_->setResourceAccessDate(999, 1.0));
  EXPECT_EQ(rows(meta_->findResource("db/t1", "Table")),
            (V{std::to_string(t1) + "|T1|db/t1|Table|123.5"}));
  EXPECT_EQ(rows(meta_->getResource(job)),
            (V{std::to_string(job) + "|Job|jobs/1|Task|"}));

  ASSERT_TRUE(meta_->deleteResourceDependency(file, job));
  EXPECT_EQ(names(meta_->listResourcesUsing(job)), (V{"T1", "T2"}));
  // What T1 uses goes; that the job uses T1 stays.
  ASSERT_TRUE(meta_->deleteDependenciesOn(t1));
  EXPECT_TRUE(names(meta_->listResourcesUsing(t1)).empty());
  EXPECT_EQ(names(meta_->listResourcesUsedBy(t1)), (V{"Job"}));
  EXPECT_EQ(names(meta_->listResourcesUsedBy(db)), (V{"T2"}));
}

// --- Normalisation
// ---------------------------------------------------------------

TEST_P(MetaRdaTest, NormalizingFillsMissingLowerCaseNames) {
  exec("INSERT INTO " + table("FOLDER") +
           " (FLDR_ID, FLDR_PAR, FLDR_NAM) VALUES (?, ?, ?)",
       {1, 0, "Old Reports"});
  exec("INSERT INTO " + table("FOLDER") +
           " (FLDR_ID, FLDR_PAR, FLDR_NAM, NAM_NORM) VALUES (?, ?, ?, '')",
       {2, 1, "Q1"});
  exec("INSERT INTO " + table("FOLDER") +
           " (FLDR_ID, FLDR_PAR, FLDR_NAM, NAM_NORM) VALUES (?, ?, ?, ?)",
       {3, 0, "Kept", "custom"});
  KvbString error;
  int id = 0;
  EXPECT_FALSE(meta_->getFolderIdFromPath("old reports/q1", id, error));

  Status stop(false);
  EXPECT_FALSE(meta_->normalizeFolderNames(&stop, error));
  EXPECT_EQ(count("FOLDER", "WHERE NAM_NORM IS NULL"), 1);

  Status status(true);
  ASSERT_TRUE(meta_->normalizeFolderNames(&status, error)) << error.asCstr();
  EXPECT_EQ(idOf("OLD REPORTS/q1"), 2);
  EXPECT_EQ(select("SELECT NAM_NORM FROM " + table("FOLDER").str() +
                   " ORDER BY FLDR_ID"),
            (std::vector<std::string>{"old reports", "q1", "custom"}));
  ASSERT_EQ(status.lines.size(), 2u);
  EXPECT_NE(status.lines[1].find("2"), std::string::npos);
  EXPECT_TRUE(meta_->normalizeFolderNames(nullptr, error));
}

// --- Failing writes
// ----------------------------------------------------------------

TEST_P(MetaRdaTest, FailingWritesLeaveNothingBehind) {
  // A row already holds the id that each counter hands out next, so each
  // insert fails after its counter was drawn: the draw is rolled back too.
  exec("INSERT INTO " + table("FOLDER") +
           " (FLDR_ID, FLDR_PAR, FLDR_NAM, NAM_NORM) VALUES (1, 0, ?, ?)",
       {"Taken", "taken"});
  int id = -1;
  EXPECT_FALSE(meta_->addFolder(0, "New", id));
  EXPECT_EQ(id, -1);
  EXPECT_EQ(counter("FOLDER"), 0);
  EXPECT_EQ(count("FOLDER"), 1);

  exec("INSERT INTO " + table("OBJLCK") +
           " (LCK_ID, OBJ_ID, OBJ_TYPE) VALUES (1, 99, 'Task')",
       {});
  Recorder recorder;
  getRepositoryEventManager()->addListener(&recorder);
  EXPECT_FALSE(meta_->lockObject(5, "Rule", "ann", "ru-5"));
  getRepositoryEventManager()->removeListener(&recorder);
  EXPECT_TRUE(recorder.events.empty()) << "a failed lock is not announced";
  EXPECT_FALSE(meta_->isObjectLocked(5, "Rule"));
  EXPECT_EQ(counter("OBJLCK"), 0);

  exec("INSERT INTO " + table("REVENT") + " (EVT_ID, EVT_TIME) VALUES (1, 0)",
       {});
  KvbString error;
  EXPECT_FALSE(meta_->createRepositoryEvent("s", 0, "", "A", id, error));
  EXPECT_EQ(error.str().rfind("create repository event error: ", 0), 0u)
      << error.asCstr();
  EXPECT_EQ(count("REVENT"), 1);
  EXPECT_EQ(counter("REVENT"), 0);

  exec("INSERT INTO " + table("IMPRCS") +
           " (RCS_ID, RCS_IDTY, RCS_TYPE) VALUES (1, 'x', 'File')",
       {});
  EXPECT_FALSE(meta_->addResource("Y", "y", "File", id));
  EXPECT_EQ(counter("IMPRCS"), 0);
  EXPECT_EQ(count("IMPRCS"), 1);

  // A failing move leaves the folder where it was.
  EXPECT_FALSE(meta_->moveFolder(1, 1234));
  EXPECT_EQ(count("FOLDER", "WHERE FLDR_ID = 1 AND FLDR_PAR = 0"), 1);
}

INSTANTIATE_RDA_TARGETS(MetaRdaTest);

// Without a connection every operation fails and says why.
TEST(MetaRdaWithoutConnection, EveryOperationFails) {
  LogCapture logs;
  MetadataRDAImpl* meta = new MetadataRDAImpl(nullptr);
  KvbString error;
  int id = 0;
  EXPECT_EQ(meta->listObjects(-1), nullptr);
  EXPECT_FALSE(meta->addFolder(0, "A", id));
  EXPECT_FALSE(meta->getFolderIdFromPath("A", id, error));
  EXPECT_EQ(error.str(), "Repository Data Access object is null");
  EXPECT_FALSE(meta->lockObject(1, "Rule", "u", "x"));
  EXPECT_EQ(meta->getRepositoryEventsSince(0, 0, "A", error), nullptr);
  EXPECT_FALSE(meta->addResource("n", "i", "t", id));
  EXPECT_FALSE(meta->normalizeFolderNames(nullptr, error));
  EXPECT_TRUE(logs.contains("Repository Data Access object is null", 5));
  meta->release();
}

}  // namespace
