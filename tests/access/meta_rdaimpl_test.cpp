// The metadata data-access object on every back end: folders, objects, locks,
// the event queue, the lineage store and writes that fail cleanly.
#include "access/meta_rdaimpl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "kvreposres/kvreposres.h"
#include "reposadmin/repository_status_callback.h"
#include "support/event_recorder.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

using V = std::vector<std::string>;

std::string describe(const RepositoryEvent& e) {
  return e.operation + " " + e.objectType.str() + " " +
         std::to_string(e.objectId) + " " + e.objectUUID.str() + " " +
         e.reposUUID.str();
}

// Answers `goOn` to each progress report.
struct Status : RepositoryStatusCallback {
  explicit Status(bool go) : goOn(go) {}
  bool reportStatus(const KvbString&) override { return goOn; }
  void reportMessage(const KvbString&) override {}
  bool goOn;
};

class MetaRdaTest : public RdaObjectTest<MetadataRDAImpl> {
 protected:
  MetadataRDAImpl*& meta_ = object_;

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
    EXPECT_TRUE(meta_->getFolderIdFromPath(path, id, error)) << path;
    return id;
  }
  // Whether the id counter `key` has handed out an id.
  bool drawn(const char* key) {
    return count("UCURID", "NI_KEY=? AND NI_VAL > 0", {key}) > 0;
  }
  V select(const std::string& sql) { return rows(rda_->paramSelect(sql, 0)); }
};

TEST_P(MetaRdaTest, FolderPathsListingsAndNamesPerParent) {
  const int a = folder(0, "Alpha"), reports = folder(a, "Reports");
  const int deep = folder(reports, "deep");
  const int other = folder(0, "Reports");  // same name, other branch
  EXPECT_EQ(pathOf(deep), "Alpha/Reports/deep|Alpha");
  EXPECT_EQ(pathOf(0), "|");
  KvbString path, top, error;
  EXPECT_FALSE(meta_->getFolderPath(-1, path, top, error));

  // Names match in any case; empty names are skipped.
  EXPECT_EQ(idOf("alpha/REPORTS/Deep"), deep);
  EXPECT_EQ(idOf("/Alpha//reports/"), reports);
  EXPECT_EQ(idOf("Reports"), other);
  EXPECT_EQ(idOf(""), 0);
  // Each name is looked for among the children of the one before.
  int id = 42;
  EXPECT_FALSE(meta_->getFolderIdFromPath("Reports/deep", id, error));
  EXPECT_EQ(error.str(),
            "Unable to find folder/object by path: \"Reports/deep\"");
  EXPECT_EQ(id, 42);
  EXPECT_TRUE(meta_->getParentFolderId(deep, id) && id == reports);
  EXPECT_FALSE(meta_->getParentFolderId(9999, id));

  // A twin in any case below the same parent could not be reached by path.
  EXPECT_FALSE(meta_->addFolder(0, "alpha", id));
  EXPECT_EQ(meta_->getErrorMessage().str(),
            "Folder 0 already holds a folder named \"Alpha\" (folder names "
            "are compared without regard to case)");
  for (const char* bad : {"", "x/y"})
    EXPECT_FALSE(meta_->addFolder(0, bad, id));
  EXPECT_FALSE(meta_->addFolder(777, "orphan", id));
  EXPECT_EQ(count("FOLDER"), 4);

  EXPECT_EQ(rows(meta_->listFolders(0)).size(), 2u);
  EXPECT_EQ(rows(meta_->findFolders(0, "REPORTS")),
            V{std::to_string(other) + "|Reports|0"});
  EXPECT_EQ(rows(meta_->findFolders(-1, "reports")).size(), 2u);

  // The shared data folder is the top-level one only.
  folder(a, "Shared Data");
  EXPECT_FALSE(meta_->getSharedDataFolderId(id));
  const int shared = folder(0, "Shared Data");
  EXPECT_TRUE(meta_->getSharedDataFolderId(id) && id == shared);
}

TEST_P(MetaRdaTest, MovesRenamesAndDeletesKeepTheTreeWhole) {
  const int a = folder(0, "A"), b = folder(a, "B"), c = folder(b, "C");
  const int d = folder(0, "D");
  // Below itself or a sub-folder the folder would be cut off from the root.
  const std::pair<int, int> refused[] = {{a, a},   {0, d}, {b, 555},
                                         {555, d}, {a, b}, {a, c}};
  for (const auto& m : refused)
    EXPECT_FALSE(meta_->moveFolder(m.first, m.second)) << m.first << m.second;
  EXPECT_NE(meta_->getErrorMessage().str().find("below itself"),
            std::string::npos);
  EXPECT_EQ(pathOf(c), "A/B/C|A");

  ASSERT_TRUE(meta_->moveFolder(b, d));
  ASSERT_TRUE(meta_->moveFolder(a, c));  // A is no longer above C
  EXPECT_EQ(pathOf(a), "D/B/C/A|D");
  const int b2 = folder(0, "b");
  EXPECT_FALSE(meta_->moveFolder(b2, d)) << "D already holds B";

  ASSERT_TRUE(meta_->renameFolder(c, "Gamma"));
  EXPECT_EQ(idOf("d/b/GAMMA/a"), a);
  EXPECT_TRUE(meta_->renameFolder(b2, "B")) << "its own name in another case";
  for (const char* bad : {"d", "", "x/y"})  // the top level holds D
    EXPECT_FALSE(meta_->renameFolder(b2, bad)) << bad;

  KvbString error;
  EXPECT_FALSE(meta_->deleteFolder(0, error));
  EXPECT_EQ(error.str(), "Root level folder cannot be deleted");
  EXPECT_TRUE(meta_->deleteFolder(999, error));
  EXPECT_TRUE(meta_->deleteFolder(d, error));
  EXPECT_EQ(count("FOLDER"), 4);

  // In a damaged tree whose folders are each other's parents, a move below
  // them is refused rather than walked for ever.
  exec("INSERT INTO " + table("FOLDER") +
       " (FLDR_ID, FLDR_PAR, FLDR_NAM, NAM_NORM) VALUES (50, 51, 'X', 'x'),"
       " (51, 50, 'Y', 'y')");
  EXPECT_FALSE(meta_->moveFolder(b2, 50));
  EXPECT_EQ(meta_->getErrorMessage().str(),
            "The folders above folder 50 form a cycle");
}

TEST_P(MetaRdaTest, ObjectsAreListedOverEveryTypeAndMovedBetweenFolders) {
  const int f = folder(0, "F");
  const std::string F = std::to_string(f);
  exec("INSERT INTO " + table("RULE") +
       " (RU_ID, RU_DESC, RU_UUID, FLDR_ID, RU_CRDAT, RU_EDDAT, RU_CRUSR, "
       "RU_USER, RU_COMM) VALUES (7, 'Rule one', 'ru-1', " +
       F + ", 10, 11, 'ann', 'bob', 'checks')");
  exec("INSERT INTO " + table("MJOB") +
       " (JB_ID, JB_DESC, JB_CODE, FLDR_ID, JB_COMM) VALUES (3, 'Task three',"
       " 'jb-3', " +
       F + ", 'nightly')");
  exec("INSERT INTO " + table("JSETUP") +
       " (SU_ID, SU_NAME, SU_UUID, FLDR_ID) VALUES (5, 'Profile five', "
       "'su-5', 0)");
  exec("INSERT INTO " + table("EXSRC") +
       " (ES_ID, ES_NAME, ES_UUID) VALUES (9, 'Src', 'es-9')");
  const std::string task = "Task|jb-3|3|Task three|" + F + "|||||nightly";
  EXPECT_EQ(sortedRows(rows(meta_->listObjects(f))),
            sortedRows(
                {"Rule|ru-1|7|Rule one|" + F + "|10|11|ann|bob|checks", task}));
  ReposDataAccessCursor* cursor = meta_->listObjects(0);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(cursor->getColName(0).str(), "OBJTYPE");
  EXPECT_EQ(rows(cursor), V{"ProfileJob|su-5|5|Profile five|0|||||"});
  EXPECT_EQ(rows(meta_->listObjects(-1)).size(), 4u);
  EXPECT_EQ(rows(meta_->listObjectsOfType(f, "Task")).size(), 1u);
  EXPECT_TRUE(rows(meta_->listObjectsOfType(0, "Rule")).empty());
  EXPECT_EQ(meta_->listObjectsOfType(f, "Nothing"), nullptr);
  KvbString error;
  EXPECT_EQ(rows(meta_->getObject(3, "Task", error)), V{task});
  EXPECT_EQ(meta_->getObject(3, "Tusk", error), nullptr);
  EXPECT_EQ(error.str(), "Unable to find type: Tusk");
  EXPECT_EQ(rows(meta_->listObjectsWithoutFolder()),
            V{"Source|es-9|9|Src||||||"});

  // An unknown type, folder or object is refused and moves nothing.
  EXPECT_FALSE(meta_->moveObjectToFolder(3, "Tusk", 0, error));
  EXPECT_EQ(error.str(), "Unable to find type: Tusk");
  for (const auto& m : {std::make_pair(3, 404), std::make_pair(4, 0)}) {
    error = "";
    EXPECT_FALSE(meta_->moveObjectToFolder(m.first, "Task", m.second, error));
    EXPECT_FALSE(error.isEmpty());
  }
  int in = -1;
  EXPECT_FALSE(meta_->getObjectFolderId("Tusk", 3, in));
  EXPECT_TRUE(meta_->getObjectFolderId("Task", 3, in) && in == f);
  ASSERT_TRUE(meta_->moveObjectToFolder(5, "ProfileJob", f, error));
  ASSERT_TRUE(meta_->moveObjectToFolder(3, "Task", 0, error));
  EXPECT_TRUE(meta_->getObjectFolderId("ProfileJob", 5, in) && in == f);
  EXPECT_TRUE(meta_->getObjectFolderId("Task", 3, in) && in == 0);
  // On SQLite an empty text counts as no folder too.
  if (!isPostgres()) {
    exec("UPDATE " + table("MJOB") + " SET FLDR_ID = ''");
    EXPECT_EQ(rows(meta_->listObjectsWithoutFolder()).size(), 2u);
  }
}

TEST_P(MetaRdaTest, LocksChangeHandsAndAreAnnounced) {
  EventRecorder recorder(describe);
  ASSERT_TRUE(meta_->lockObject(5, "Rule", "ann", "ru-5"));
  ASSERT_TRUE(meta_->lockObject(5, "Rule", "bob", "ru-other"));
  ASSERT_TRUE(meta_->lockObject(5, "Task", "cid", "jb-5"));
  // One row per object: the second lock kept its id and UUID.
  EXPECT_EQ(select("SELECT LCK_ID, OBJ_ID, OBJ_TYPE, OBJ_UUID, LCK_USR FROM " +
                   table("OBJLCK") + " ORDER BY LCK_ID"),
            (V{"1|5|Rule|ru-5|bob", "2|5|Task|jb-5|cid"}));
  KvbString uuid, user;
  KvbDatavar date;
  ASSERT_TRUE(meta_->getObjectLock(5, "Rule", uuid, user, date));
  EXPECT_EQ(uuid.str() + "|" + user.str(), "ru-5|bob");
  EXPECT_NEAR(date.asDouble(), KvbDate::currentDate().asDouble(), 0.01);

  ASSERT_TRUE(meta_->unlockObject(5, "Rule"));
  EXPECT_FALSE(meta_->isObjectLocked(5, "Rule"));
  EXPECT_FALSE(meta_->getObjectLock(5, "Rule", uuid, user, date));
  EXPECT_TRUE(meta_->isObjectLocked(5, "Task"));
  const std::string repos = " " + rda_->getRepositoryUUID().str();
  ASSERT_EQ(recorder.events.size(), 4u);
  EXPECT_EQ(recorder.events[2], "postObjectChange Task 5 jb-5" + repos);
  EXPECT_EQ(recorder.events[3], "postObjectChange Rule 5 ru-5" + repos);
}

TEST_P(MetaRdaTest, ALockThatCannotBeReadIsNotRemovedUnseen) {
  ASSERT_TRUE(meta_->lockObject(5, "Rule", "ann", "ru-5"));
  exec("ALTER TABLE " + table("OBJLCK") + " RENAME COLUMN LCK_USR TO LCK_GONE");
  EXPECT_FALSE(meta_->unlockObject(5, "Rule"));
  EXPECT_EQ(count("OBJLCK"), 1);
}

TEST_P(MetaRdaTest, EventsSinceATimeSkipTheReadersOwnSource) {
  int id = 0, next = 1;
  KvbString error;
  for (const char* source : {"A", "B", static_cast<const char*>(nullptr)}) {
    ASSERT_TRUE(
        meta_->createRepositoryEvent("Rule/x", 2, "more", source, id, error))
        << error.asCstr();
    EXPECT_EQ(id, next++);
  }
  EXPECT_EQ(select("SELECT EVT_SBJT, EVT_ACTN, EVT_USER, EVT_OTHR FROM " +
                   table("REVENT") + " WHERE EVT_ID = 1"),
            V{"Rule/x|UPDATED|" + getOSUserName().str() + "|more"});
  // Fixed times: event 1 oldest; events 2 and 3 at the same time.
  exec("UPDATE " + table("REVENT") +
       " SET EVT_TIME = CASE WHEN EVT_ID = 1 THEN 100 ELSE 200 END");

  auto since = [&](double time, const char* source) {
    ReposDataAccessCursor* c =
        meta_->getRepositoryEventsSince(0, time, source, error);
    EXPECT_NE(c, nullptr) << error.asCstr();
    V ids;  // EVT_ID is the first column
    for (const std::string& r : rows(c))
      ids.push_back(r.substr(0, r.find('|')));
    return ids;
  };
  // The time test is "at or after"; an event without a source reaches
  // every reader, also one that names no source itself.
  EXPECT_EQ(since(100.0, "A"), (V{"2", "3"}));
  EXPECT_EQ(since(100.0, "B"), (V{"1", "3"}));
  EXPECT_EQ(since(0.0, nullptr), (V{"1", "2", "3"}));
  EXPECT_TRUE(since(200.5, "C").empty());

  EXPECT_FALSE(meta_->removeRepositoryEvents(0, 0.0, error));
  EXPECT_EQ(error.str(),
            "Remove repository events cannot remove events when neither "
            "date or id are specified.");
  EXPECT_EQ(count("REVENT"), 3);
  LogCapture logs;
  ASSERT_TRUE(meta_->removeRepositoryEvents(0, 200.0, error));
  EXPECT_TRUE(logs.contains("Removed 1 repository events", 2));
  EXPECT_EQ(since(0.0, "Z"), (V{"2", "3"}));
  ASSERT_TRUE(meta_->removeRepositoryEvents(3, 0.0, error));
  EXPECT_EQ(since(0.0, "Z"), V{"3"});
  ASSERT_TRUE(meta_->removeRepositoryEvents(9, 200.0, error));
  EXPECT_EQ(count("REVENT"), 1) << "the event at the time stays";

  // Events that cannot be read or removed are not taken for none.
  exec("DROP TABLE " + table("REVENT"));
  EXPECT_EQ(meta_->getRepositoryEventsSince(0, 0.0, "Z", error), nullptr);
  EXPECT_EQ(error.str().rfind("Error getting repository events since "
                              "eventTime=0: ",
                              0),
            0u)
      << error.asCstr();
  EXPECT_FALSE(meta_->removeRepositoryEvents(9, 0.0, error));
  EXPECT_EQ(error.str().rfind("Error removing repository events: ", 0), 0u)
      << error.asCstr();
}

TEST_P(MetaRdaTest, ResourceDependenciesReadBothWays) {
  int job = 0, t1 = 0, t2 = 0, file = 0, db = 0, again = -5;
  ASSERT_TRUE(meta_->addResource("Job", "jobs/1", "Task", job));
  ASSERT_TRUE(meta_->addResource("T1", "db/t1", "Table", t1));
  ASSERT_TRUE(meta_->addResource("T2", "db/t2", "Table", t2));
  ASSERT_TRUE(meta_->addResource("In", "/in.txt", "File", file));
  ASSERT_TRUE(meta_->addResource("Db", "db", "Database", db));
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
    V out;
    while (c && c->next() == 1) out.push_back(c->getString(1).str());
    if (c) c->release();
    return sortedRows(out);
  };
  EXPECT_EQ(names(meta_->listResourcesUsing(job)), (V{"In", "T1", "T2"}));
  EXPECT_EQ(names(meta_->listResourcesUsingByType(job, "Table")),
            (V{"T1", "T2"}));
  EXPECT_EQ(names(meta_->listResourcesUsedBy(db)), (V{"T1", "T2"}));
  EXPECT_EQ(names(meta_->listResourcesByType("Table")), (V{"T1", "T2"}));
  EXPECT_EQ(names(meta_->getResource(job)), V{"Job"});
  EXPECT_EQ(names(meta_->listResources()).size(), 6u);
  EXPECT_EQ(sortedRows(rows(meta_->listResourceTypes())),
            (V{"Database", "File", "Table", "Task"}));

  ASSERT_TRUE(meta_->setResourceAccessDate(t1, 123.5));
  EXPECT_FALSE(meta_->setResourceAccessDate(999, 1.0));
  EXPECT_EQ(rows(meta_->findResource("db/t1", "Table")),
            V{std::to_string(t1) + "|T1|db/t1|Table|123.5"});

  ASSERT_TRUE(meta_->deleteResourceDependency(file, job));
  EXPECT_EQ(names(meta_->listResourcesUsing(job)), (V{"T1", "T2"}));
  // What T1 uses goes; that the job uses T1 stays.
  ASSERT_TRUE(meta_->deleteDependenciesOn(t1));
  EXPECT_TRUE(names(meta_->listResourcesUsing(t1)).empty());
  EXPECT_EQ(names(meta_->listResourcesUsedBy(t1)), V{"Job"});
  EXPECT_EQ(names(meta_->listResourcesUsedBy(db)), V{"T2"});
}

TEST_P(MetaRdaTest, NormalizingFillsMissingLowerCaseNames) {
  exec("INSERT INTO " + table("FOLDER") +
       " (FLDR_ID, FLDR_PAR, FLDR_NAM, NAM_NORM) VALUES (1, 0, 'Old Reports',"
       " NULL), (2, 1, 'Q1', ''), (3, 0, 'Kept', 'custom')");
  KvbString error;
  int id = 0;
  EXPECT_FALSE(meta_->getFolderIdFromPath("old reports/q1", id, error));
  Status stop(false), status(true);
  EXPECT_FALSE(meta_->normalizeFolderNames(&stop, error));
  EXPECT_EQ(count("FOLDER", "NAM_NORM IS NULL"), 1);

  ASSERT_TRUE(meta_->normalizeFolderNames(&status, error)) << error.asCstr();
  EXPECT_EQ(idOf("OLD REPORTS/q1"), 2);
  EXPECT_EQ(
      select("SELECT NAM_NORM FROM " + table("FOLDER") + " ORDER BY FLDR_ID"),
      (V{"old reports", "q1", "custom"}));
  EXPECT_TRUE(meta_->normalizeFolderNames(nullptr, error));
  // Names that cannot be written leave the reason.
  exec("ALTER TABLE " + table("FOLDER") + " RENAME COLUMN NAM_NORM TO GONE");
  error = "";
  EXPECT_FALSE(meta_->normalizeFolderNames(nullptr, error));
  EXPECT_FALSE(error.isEmpty());
}

TEST_P(MetaRdaTest, FailingWritesLeaveNothingBehind) {
  // A row already holds the id that each counter hands out next, so each
  // insert fails after its counter was drawn: the draw is rolled back too.
  const std::pair<const char*, const char*> taken[] = {
      {"FOLDER", "FLDR_ID, FLDR_PAR, FLDR_NAM) VALUES (1, 0, 'Taken')"},
      {"OBJLCK", "LCK_ID, OBJ_ID, OBJ_TYPE) VALUES (1, 99, 'Task')"},
      {"REVENT", "EVT_ID, EVT_TIME) VALUES (1, 0)"},
      {"IMPRCS", "RCS_ID, RCS_IDTY, RCS_TYPE) VALUES (1, 'x', 'File')"}};
  for (const auto& t : taken)
    exec("INSERT INTO " + table(t.first) + " (" + t.second);

  int id = -1;
  EXPECT_FALSE(meta_->addFolder(0, "New", id));
  EXPECT_EQ(id, -1);
  {
    EventRecorder recorder(describe);
    EXPECT_FALSE(meta_->lockObject(5, "Rule", "ann", "ru-5"));
    EXPECT_TRUE(recorder.events.empty()) << "a failed lock is not announced";
  }
  EXPECT_FALSE(meta_->isObjectLocked(5, "Rule"));
  KvbString error;
  EXPECT_FALSE(meta_->createRepositoryEvent("s", 0, "", "A", id, error));
  EXPECT_EQ(error.str().rfind("create repository event error: ", 0), 0u)
      << error.asCstr();
  EXPECT_FALSE(meta_->addResource("Y", "y", "File", id));
  for (const auto& t : taken) {
    EXPECT_FALSE(drawn(t.first)) << t.first;
    EXPECT_EQ(count(t.first), 1) << t.first;
  }
  // A failing move leaves the folder where it was.
  EXPECT_FALSE(meta_->moveFolder(1, 1234));
  EXPECT_EQ(count("FOLDER", "FLDR_ID = 1 AND FLDR_PAR = 0"), 1);
  // An id counter that cannot be read hands out no id: the add fails with
  // the database's reason, not the last one.
  const std::string earlier = meta_->getErrorMessage().str();
  exec("ALTER TABLE " + table("UCURID") + " RENAME COLUMN NI_VAL TO GONE");
  EXPECT_FALSE(meta_->addFolder(0, "Other", id));
  EXPECT_NE(meta_->getErrorMessage().str(), earlier);
  EXPECT_FALSE(meta_->getErrorMessage().isEmpty());
  EXPECT_EQ(count("FOLDER"), 1);
}

// An add that fails at the database inside the caller's transaction undoes
// only itself: the caller's work before and after it is committed. On a
// server, where a failed statement may end the whole transaction, the add
// runs at a savepoint, which takes back its drawn id too.
TEST_P(MetaRdaTest, AnAddThatFailsInsideATransactionUndoesOnlyItself) {
  exec("INSERT INTO " + table("IMPRCS") +
       " (RCS_ID, RCS_IDTY, RCS_TYPE) VALUES (1, 'x', 'File')");
  ASSERT_TRUE(meta_->beginTransaction(0, 0));
  int before = -1, refused = -1, after = -1;
  KvbString error;
  EXPECT_TRUE(meta_->createRepositoryEvent("before", 0, "", "A", before, error))
      << error.asCstr();
  EXPECT_FALSE(meta_->addResource("Y", "y", "File", refused));  // 1 is taken
  // This driver mode rolls the whole transaction back at the failed add.
  const bool lost = isPostgres() && postgresFailuresEndTransactions();
  EXPECT_EQ(meta_->createRepositoryEvent("after", 0, "", "A", after, error),
            !lost)
      << error.asCstr();
  if (lost) {
    const std::string why = meta_->getErrorMessage().str();
    EXPECT_TRUE(isRolledBackByTheDatabase(why)) << why;
    EXPECT_EQ(error.str(), "create repository event error: " + why);
  }
  EXPECT_EQ(meta_->endTransaction(true), !lost)
      << meta_->getErrorMessage().asCstr();
  if (lost) {
    EXPECT_TRUE(isRolledBackByTheDatabase(meta_->getErrorMessage().str()))
        << meta_->getErrorMessage().asCstr();
  }
  EXPECT_EQ(
      select("SELECT EVT_SBJT FROM " + table("REVENT") + " ORDER BY EVT_ID"),
      lost ? V{} : (V{"before", "after"}));
  EXPECT_EQ(select("SELECT RCS_IDTY FROM " + table("IMPRCS")), V{"x"});
  EXPECT_EQ(refused, -1);
  if (isPostgres()) {
    EXPECT_FALSE(drawn("IMPRCS"));
  }
}

INSTANTIATE_RDA_TARGETS(MetaRdaTest);

}  // namespace
