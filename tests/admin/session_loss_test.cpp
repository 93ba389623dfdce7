// A repository outlives its server session. The test ends the engine's
// session itself (pg_terminate_backend of the session that the
// repository's connection reports as its own) at one moment of the
// repository's work, in each of the driver's modes; the calls after it,
// from the object that met the loss, another data-access object, a
// manager and another thread, go on over a new session. What had state in
// the lost session fails with a text that says the connection was lost,
// without the engine's own statements, and nothing of it is stored. A
// session lost while a call's own transaction waits for a row that another
// connection of the test holds, after the transaction's first statement,
// fails the call whole: nothing of it runs again on the new session. Each
// new session is set up as the first was: its lock timeout, and where its
// default isolation is stricter than read committed (a role of the test's
// own, changed between the open and the loss), read committed on each
// transaction. One case restarts a server that the test starts itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <list>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "admin/repositoryimpl.h"
#include "kvdataaccess/kvdataaccess.h"
#include "kvsqlstore/kvsqlstore.h"
#include "rda/rda_factory.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/import_export_manager.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "reposadmin/repository_folder_manager.h"
#include "support/connection_waits.h"
#include "support/dac_targets.h"
#include "support/event_recorder.h"
#include "support/rda_targets.h"
#include "support/script_lines.h"

namespace {

const char kLost[] = "The connection to the database was lost";

enum class Moment {
  kBetweenCalls,
  kInTransaction,
  kBetweenStatements,  // of a call's own transaction, waiting for a row
  kAtCommit,
  kCursorOpen,
  kLoad
};
enum class Next { kSameObject, kOtherObject, kManager, kOtherThread };

struct LossCase {
  const char* name;
  Moment moment;
  const char* mode;  // added to the connection string
};

// The first value of `sql` on a connection of the test's own, as text;
// empty when it cannot be read.
std::string firstValue(const std::string& connection, const std::string& sql) {
  KvbString error;
  DacConnection* c = dacCreateDataSource(connection.c_str(), &error);
  if (!c) return "";
  std::string text;
  if (DacStatement* s = c->prepare(sql.c_str())) {
    if (DacCursor* rows = s->select()) {
      KvbDatavar value;
      if (rows->next() == 1 && rows->getValue(0, value))
        text = value.asString().str();
      rows->release();
    }
    s->release();
  }
  c->release();
  return text;
}

// What a host must never read in a text: the engine's own statements.
void expectNamesTheLoss(const std::string& text) {
  EXPECT_EQ(text.rfind(kLost, 0), 0u) << text;
  for (const char* internal : {"SAVEPOINT", "kv_level", "pg_advisory", "SELECT",
                               "INSERT", "UPDATE", "Running \""})
    EXPECT_EQ(text.find(internal), std::string::npos) << text;
}

// The server process of the session behind `rda`; empty, with the test
// failed, when it cannot be read.
std::string sessionPid(ReposDataAccess* rda) {
  const std::vector<std::string> pid =
      cursorRows(rda->paramSelect("SELECT pg_backend_pid()", 0));
  EXPECT_EQ(pid.size(), 1u) << rda->getErrorMessage().str();
  return pid.size() == 1 ? pid[0] : "";
}

// Ends the server session `pid` and waits until the server has let it go,
// asking through new connections of `connection`.
void endSessionOf(const std::string& connection, const std::string& pid) {
  ASSERT_FALSE(pid.empty());
  ASSERT_TRUE(runOnPostgres("SELECT pg_terminate_backend(" + pid + ")"));
  const std::string gone =
      "SELECT COUNT(*) FROM pg_stat_activity WHERE pid = " + pid;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (firstValue(connection, gone) != "0")
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "session " << pid;
}

// The lock timeout in force for a statement with a value of `rda` outside
// a transaction, in milliseconds: the session's, or where sessions are
// shared (UseServerSidePrepare=0) that of the transaction of its own.
std::string lockTimeoutOf(ReposDataAccess* rda) {
  const KvbDatavar name("lock_timeout");
  const std::vector<std::string> rows = cursorRows(rda->paramSelect(
      "SELECT setting FROM pg_settings WHERE name = ?", 1, &name));
  return rows.size() == 1 ? rows[0] : "(" + rda->getErrorMessage().str() + ")";
}

// What the lock timeout of each of the engine's sessions is set to: the
// busy timeout, at least the server's shortest bound.
std::string configuredLockTimeout() {
  return std::to_string(std::max(sqliteBusyTimeoutMs(), 1));
}

// What a call on a thread of the test answered.
struct Answer {
  bool done = false;
  std::string text;
};

class PostgresSessionLossTest : public ::testing::TestWithParam<LossCase> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_POSTGRES(true);
    // The pooler keeps the client's session when a server session ends
    // between transactions, and the test could end its own watcher's.
    if (postgresThroughPooler())
      GTEST_SKIP() << "behind a pooler a server session's end is the pooler's";
    kvbGetConfigOptions("")->set("BASE/WORKDESK", "true");
    admin_ = createRepositoryAdmin(1, nullptr);
    ASSERT_NE(admin_, nullptr);
    schema_ = uniqueTestName("kvl");
    ASSERT_TRUE(runOnPostgres("CREATE SCHEMA " + schema_));
    connection_ = postgresConnectionString() + ";" + GetParam().mode;
    prefix_ = schema_ + ".kv";
    ASSERT_TRUE(admin_->createRepository(connection_.c_str(), prefix_.c_str()))
        << admin_->getErrorMessage().str();
    repository_ = admin_->openRepositoryConnection(
        connection_.c_str(), prefix_.c_str(), false, nullptr);
    ASSERT_NE(repository_, nullptr) << admin_->getErrorMessage().str();
    metadata_ = repository_->createMetadataDataAccess();
    ASSERT_EQ(lockTimeoutOf(rda()), configuredLockTimeout());
  }
  void TearDown() override {
    if (metadata_) metadata_->release();
    if (repository_) repository_->release();
    if (admin_) admin_->release();
    if (!schema_.empty()) runOnPostgres("DROP SCHEMA " + schema_ + " CASCADE");
  }

  ReposDataAccess* rda() {
    return static_cast<RepositoryImpl*>(repository_)->getDataAccess();
  }
  std::string rdaText() { return rda()->getErrorMessage().str(); }

  // Ends the engine's session and waits until the server has let it go.
  void endSession() { endSessionOf(connection_, sessionPid(rda())); }
  // Renames the folder `id` on a thread of the test while another
  // connection holds the folder's row; the rename's update waits for it
  // after the transaction's first statements. The session ends while it
  // waits, and the holder lets go only once the server has let the session
  // go, so that an update run again on a new session would go through.
  Answer renameWhileHeldAndLost(int id, const std::string& name);

  int folderNamed(const std::string& name) {
    KvbDatavar value(name.c_str());
    const std::vector<std::string> rows = cursorRows(
        rda()->paramSelect("SELECT COUNT(*) FROM " +
                               rda()->getTableName("FOLDER", false, -1).str() +
                               " WHERE FLDR_NAM = ?",
                           1, &value));
    return rows.size() == 1 ? std::atoi(rows[0].c_str()) : -1;
  }
  bool addFolder(MetadataRepositoryDataAccess* on, const std::string& name) {
    int id = 0;
    return on->addFolder(0, name.c_str(), id) && id > 0;
  }

  // Brings the session's end about at `moment`, checking what the work
  // that had state in the session answers; `round` names this round's
  // rows.
  void loseAt(Moment moment, const std::string& round);
  // One call of the kind `next`; false with its text in `text`.
  bool nextCall(Next next, const std::string& round, std::string& text);

  RepositoryAdmin* admin_ = nullptr;
  Repository* repository_ = nullptr;
  MetadataRepositoryDataAccess* metadata_ = nullptr;
  std::string schema_, prefix_, connection_;
};

Answer PostgresSessionLossTest::renameWhileHeldAndLost(
    int id, const std::string& name) {
  Answer answer;
  const std::string pid = sessionPid(rda());
  KvbString error;
  ReposDataAccess* holder = createReposDataAccess(
      0, connection_.c_str(), prefix_.c_str(), nullptr, error);
  if (!holder) {
    ADD_FAILURE() << error.str();
    return answer;
  }
  const KvbDatavar key(id);
  EXPECT_TRUE(holder->beginTransaction(false, nullptr));
  EXPECT_EQ(cursorRows(holder->paramSelect(
                "SELECT FLDR_ID FROM " +
                    rda()->getTableName("FOLDER", false, -1).str() +
                    " WHERE FLDR_ID = ? FOR UPDATE",
                1, &key)),
            std::vector<std::string>{std::to_string(id)})
      << holder->getErrorMessage().str();
  ConnectionWaits waits(holder, rda(), true);
  const bool waited = attemptWhileHeld<Answer>(
      waits, LetGo::kOnceItWaits,
      [&](bool inTime) {
        if (inTime) endSessionOf(connection_, pid);
        holder->endTransaction(false);
      },
      [&] {
        Answer a;
        a.done = metadata_->renameFolder(id, name.c_str());
        a.text = metadata_->getErrorMessage().str();
        return a;
      },
      &answer);
  EXPECT_TRUE(waited) << "the rename never waited for the held row";
  holder->release();
  return answer;
}

void PostgresSessionLossTest::loseAt(Moment moment, const std::string& round) {
  switch (moment) {
    case Moment::kBetweenCalls:
      ASSERT_TRUE(addFolder(metadata_, round + "-before"));
      endSession();
      return;
    case Moment::kInTransaction:
    case Moment::kAtCommit: {
      ASSERT_TRUE(metadata_->beginTransaction(0, 0));
      ASSERT_TRUE(addFolder(metadata_, round + "-a"));
      endSession();
      if (moment == Moment::kInTransaction) {
        EXPECT_FALSE(addFolder(metadata_, round + "-b"));
        expectNamesTheLoss(metadata_->getErrorMessage().str());
        EXPECT_NE(
            metadata_->getErrorMessage().find("transaction was rolled back"),
            KvbString::npos);
      }
      EXPECT_FALSE(metadata_->endTransaction(true));
      expectNamesTheLoss(metadata_->getErrorMessage().str());
      return;
    }
    case Moment::kBetweenStatements: {
      int id = 0;
      ASSERT_TRUE(metadata_->addFolder(0, (round + "-held").c_str(), id))
          << metadata_->getErrorMessage().str();
      const Answer renamed = renameWhileHeldAndLost(id, round + "-renamed");
      EXPECT_FALSE(renamed.done);
      expectNamesTheLoss(renamed.text);
      return;
    }
    case Moment::kCursorOpen: {
      for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(addFolder(metadata_, round + "-c" + std::to_string(i)));
      ReposDataAccessCursor* rows =
          rda()->paramSelect("SELECT FLDR_NAM FROM " +
                                 rda()->getTableName("FOLDER", false, -1).str(),
                             0);
      ASSERT_NE(rows, nullptr) << rdaText();
      EXPECT_EQ(rows->next(), 1);
      endSession();
      // The driver may hold every row already; else the rest is lost.
      int step;
      while ((step = rows->next()) == 1) {
      }
      if (step == 2) expectNamesTheLoss(rdaText());
      rows->release();
      return;
    }
    case Moment::kLoad: {
      std::list<TableColumnInfo> columns(1);
      columns.front().name = "N";
      columns.front().type = kvbTypeInt;
      const std::string table = rda()->getTableName("LOADED", false, -1).str();
      rda()->dropTable(table.c_str());
      ASSERT_TRUE(rda()->createTable("LOADED", columns)) << rdaText();
      ASSERT_TRUE(rda()->bulkLoadInit(1, table.c_str(), &columns)) << rdaText();
      KvbDatavar n(1);
      ASSERT_TRUE(rda()->bulkLoadAddRow(1, &n)) << rdaText();
      endSession();
      EXPECT_FALSE(rda()->bulkLoadAddRow(1, &n));
      expectNamesTheLoss(rdaText());
      EXPECT_FALSE(rda()->bulkLoadEnd(true));
      EXPECT_EQ(
          cursorRows(rda()->paramSelect("SELECT COUNT(*) FROM " + table, 0)),
          std::vector<std::string>{"0"})
          << rdaText();
      return;
    }
  }
}

bool PostgresSessionLossTest::nextCall(Next next, const std::string& round,
                                       std::string& text) {
  switch (next) {
    case Next::kSameObject: {
      const bool ok = addFolder(metadata_, round + "-next");
      text = metadata_->getErrorMessage().str();
      return ok;
    }
    case Next::kOtherObject: {
      CommonRepositoryDataAccess* common =
          repository_->createCommonDataAccess();
      const bool ok = common->setKeyValue(round.c_str(), "v");
      text = common->getErrorMessage().str();
      common->release();
      return ok;
    }
    case Next::kManager: {
      RepositoryFolderManager* folders = repository_->createFolderManager();
      int id = 0;
      const bool ok = folders->createFolder(0, (round + "-next").c_str(), id);
      text = folders->getErrorMessage().str();
      folders->release();
      return ok;
    }
    case Next::kOtherThread: {
      bool ok = false;
      std::thread([&] {
        KvbString value;
        ok = repository_->getKeyValue("absent", &value) || value.isEmpty();
        text = repository_->getErrorMessage().str();
        ok = ok && repository_->setKeyValue(round.c_str(), "v");
        if (!ok) text = repository_->getErrorMessage().str();
      }).join();
      return ok;
    }
  }
  return false;
}

TEST_P(PostgresSessionLossTest, LaterCallsGoOnOverANewSession) {
  int round = 0;
  for (Next next : {Next::kSameObject, Next::kOtherObject, Next::kManager,
                    Next::kOtherThread}) {
    const std::string name = "r" + std::to_string(++round);
    SCOPED_TRACE(name);
    loseAt(GetParam().moment, name);
    if (HasFatalFailure()) return;
    std::string text;
    EXPECT_TRUE(nextCall(next, name, text)) << text;
    // The new session bounds its lock waits as the first did.
    EXPECT_EQ(lockTimeoutOf(rda()), configuredLockTimeout());
    // And the object that met the loss goes on too.
    EXPECT_TRUE(addFolder(metadata_, name + "-after"))
        << metadata_->getErrorMessage().str();
    // Nothing of a transaction that lost its session is stored.
    if (GetParam().moment == Moment::kInTransaction ||
        GetParam().moment == Moment::kAtCommit) {
      EXPECT_EQ(folderNamed(name + "-a"), 0);
      EXPECT_EQ(folderNamed(name + "-b"), 0);
    }
    if (GetParam().moment == Moment::kBetweenStatements) {
      EXPECT_EQ(folderNamed(name + "-held"), 1);
      EXPECT_EQ(folderNamed(name + "-renamed"), 0);
    }
  }
}

const LossCase kCases[] = {
    {"BetweenCalls", Moment::kBetweenCalls, ""},
    {"BetweenCallsRollsBackWhole", Moment::kBetweenCalls, "Protocol=7.4-1"},
    {"BetweenCallsUnprepared", Moment::kBetweenCalls, "UseServerSidePrepare=0"},
    {"BetweenCallsAbortsUntilRollback", Moment::kBetweenCalls,
     "Protocol=7.4-0"},
    {"InTransaction", Moment::kInTransaction, ""},
    {"InTransactionRollsBackWhole", Moment::kInTransaction, "Protocol=7.4-1"},
    {"InTransactionUnprepared", Moment::kInTransaction,
     "UseServerSidePrepare=0"},
    {"InTransactionAbortsUntilRollback", Moment::kInTransaction,
     "Protocol=7.4-0"},
    {"BetweenStatements", Moment::kBetweenStatements, ""},
    {"BetweenStatementsRollsBackWhole", Moment::kBetweenStatements,
     "Protocol=7.4-1"},
    {"BetweenStatementsUnprepared", Moment::kBetweenStatements,
     "UseServerSidePrepare=0"},
    {"BetweenStatementsAbortsUntilRollback", Moment::kBetweenStatements,
     "Protocol=7.4-0"},
    {"AtCommit", Moment::kAtCommit, ""},
    {"AtCommitRollsBackWhole", Moment::kAtCommit, "Protocol=7.4-1"},
    {"CursorOpen", Moment::kCursorOpen, ""},
    {"CursorOpenUnprepared", Moment::kCursorOpen, "UseServerSidePrepare=0"},
    {"Load", Moment::kLoad, ""},
    {"LoadRollsBackWhole", Moment::kLoad, "Protocol=7.4-1"},
};

INSTANTIATE_TEST_SUITE_P(Moments, PostgresSessionLossTest,
                         ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LossCase>& c) {
                           return std::string(c.param.name);
                         });

// While it lives, ends the server session `pid` at the `at`th end of a
// statement's run (DacFault::kRunEnd: between the statement's execute and
// its release) after its making; with `at` 0 it only counts them.
class SessionEndAtRunEnd {
 public:
  SessionEndAtRunEnd(const std::string& connection, const std::string& pid,
                     int at) {
    connection_ = connection;
    pid_ = pid;
    at_ = at;
    seen_ = 0;
    done_ = false;
    dacSetFaultHook(&SessionEndAtRunEnd::ask);
  }
  ~SessionEndAtRunEnd() { dacSetFaultHook(nullptr); }
  SessionEndAtRunEnd(const SessionEndAtRunEnd&) = delete;
  SessionEndAtRunEnd& operator=(const SessionEndAtRunEnd&) = delete;

  static int seen() { return seen_; }
  static bool ended() { return done_; }

 private:
  static bool ask(DacFault point, KvbString&) {
    if (point != DacFault::kRunEnd || done_ || ++seen_ != at_) return false;
    done_ = true;  // the connections that end the session pass by
    endSessionOf(connection_, pid_);
    return false;
  }
  static inline std::string connection_, pid_;
  static inline int at_ = 0, seen_ = 0;
  static inline bool done_ = false;
};

// The work of one transaction that stores the rule `name`, with the
// session ended at each end of a statement's run in turn.
enum class Work {
  kReadLast,   // a host's transaction: the rule added, then read to its end
  kWriteLast,  // a host's transaction: a rule read, then the rule added
  kImport,     // the engine's own transaction: an import of the rule
};
struct GoneCase {
  const char* name;
  Work work;
  const char* mode;
};

class PostgresGoneSessionCommitTest
    : public ::testing::TestWithParam<GoneCase> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_POSTGRES(true);
    if (postgresThroughPooler())
      GTEST_SKIP() << "behind a pooler a server session's end is the pooler's";
    admin_ = createRepositoryAdmin(1, nullptr);
    ASSERT_NE(admin_, nullptr);
    schema_ = uniqueTestName("kvg");
    ASSERT_TRUE(runOnPostgres("CREATE SCHEMA " + schema_));
    connection_ = postgresConnectionString() + ";" + GetParam().mode;
    const std::string prefix = schema_ + ".kv";
    ASSERT_TRUE(admin_->createRepository(connection_.c_str(), prefix.c_str()))
        << admin_->getErrorMessage().str();
    repository_ = admin_->openRepositoryConnection(
        connection_.c_str(), prefix.c_str(), false, nullptr);
    ASSERT_NE(repository_, nullptr) << admin_->getErrorMessage().str();
    common_ = repository_->createCommonDataAccess();
    manager_ = repository_->createImportExportManager();
    ASSERT_GT(addRule("template"), 0) << common_->getErrorMessage().str();
    KvbString error;
    ASSERT_TRUE(
        manager_->exportObject(1, "Rule", "", exported_, error, nullptr))
        << error.str();
  }
  void TearDown() override {
    delete manager_;
    if (common_) common_->release();
    if (repository_) repository_->release();
    if (admin_) admin_->release();
    if (!schema_.empty()) runOnPostgres("DROP SCHEMA " + schema_ + " CASCADE");
  }

  ReposDataAccess* rda() {
    return static_cast<RepositoryImpl*>(repository_)->getDataAccess();
  }
  int addRule(const std::string& name) {
    return common_->addRule(name.c_str(), "t", "1 = 1", "", "", "u", "", 0, "",
                            "");
  }
  // Reads the rule `name` to its end; false when the read fails.
  bool readRule(const std::string& name) {
    ReposDataAccessCursor* rows = common_->findRule(0, name.c_str(), "");
    if (!rows) return false;
    int step;
    while ((step = rows->next()) == 1) {
    }
    rows->release();
    return step == 0;
  }
  // Runs the case's work for the rule `name`: its last answer, with its
  // text in `text`.
  bool work(const std::string& name, std::string& text) {
    commitFailed_ = false;
    if (GetParam().work == Work::kImport) {
      KvbString error;
      const bool done =
          manager_->importObjectToPath(name.c_str(), exported_, error);
      text = error.str();
      return done;
    }
    ReposDataAccess* host = rda();
    if (!host->beginTransaction(false, nullptr)) {
      text = host->getErrorMessage().str();
      return false;
    }
    const bool readLast = GetParam().work == Work::kReadLast;
    const bool ran = readLast ? addRule(name) > 0 && readRule(name)
                              : readRule("template") && addRule(name) > 0;
    const bool committed = host->endTransaction(ran);
    text = host->getErrorMessage().str();
    commitFailed_ = ran && !committed;
    return ran && committed;
  }
  int rulesNamed(const std::string& name) {
    const KvbDatavar value(name.c_str());
    const std::vector<std::string> rows = cursorRows(rda()->paramSelect(
        "SELECT COUNT(*) FROM " + rda()->getTableName("RULE", false, -1).str() +
            " WHERE RU_DESC = ?",
        1, &value));
    return rows.size() == 1 ? std::atoi(rows[0].c_str()) : -1;
  }

  RepositoryAdmin* admin_ = nullptr;
  Repository* repository_ = nullptr;
  CommonRepositoryDataAccess* common_ = nullptr;
  RepositoryImportExportManager* manager_ = nullptr;
  KvbString exported_;
  std::string schema_, connection_;
  bool commitFailed_ = false;  // the host's commit, after its statements ran
};

// The driver finds its session gone at a statement's close or free, which
// it answers as done, and then answers the commit as done without sending
// it. With the session ended at each end of a run in turn, a transaction
// either commits, stores the rule and announces it, or answers false
// naming the loss, stores nothing and announces nothing; the next work
// goes on over a new session.
TEST_P(PostgresGoneSessionCommitTest, ACommitIsTrueOnlyWhenTheServerStoredIt) {
  int runEnds = 0;
  {
    SessionEndAtRunEnd counting(connection_, "", 0);
    std::string text;
    ASSERT_TRUE(work("counted", text)) << text;
    runEnds = SessionEndAtRunEnd::seen();
  }
  ASSERT_GT(runEnds, 0);
  int lost = 0;
  for (int at = 1; at <= runEnds; ++at) {
    const std::string name = "r" + std::to_string(at);
    SCOPED_TRACE(name);
    const std::string pid = sessionPid(rda());
    EventRecorder recorder([](const RepositoryEvent& e) {
      return e.objectType.str() + ":" + std::to_string(e.changeType);
    });
    std::string text;
    bool done;
    {
      SessionEndAtRunEnd ending(connection_, pid, at);
      done = work(name, text);
      // A kept statement may end fewer runs than at its first use.
      if (!SessionEndAtRunEnd::ended()) break;
    }
    if (done) {
      EXPECT_EQ(rulesNamed(name), 1);
      EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(),
                           "Rule:" + std::to_string(kChangeAdded)),
                1);
    } else {
      ++lost;
      EXPECT_NE(text.find(kLost), std::string::npos) << text;
      // A session that the driver had found gone before the transaction's
      // end was sent no commit: the transaction was rolled back. A commit
      // that found it gone may have reached the server first.
      const bool goneBeforeEnd =
          text.find("before the transaction's end") != std::string::npos;
      if (goneBeforeEnd || commitFailed_) {
        EXPECT_EQ(text.find("rolled back with its writes") != std::string::npos,
                  goneBeforeEnd)
            << text;
      }
      EXPECT_EQ(rulesNamed(name), 0);
      EXPECT_EQ(recorder.events, std::vector<std::string>{});
    }
  }
  EXPECT_GT(lost, 0);
  std::string text;
  EXPECT_TRUE(work("after", text)) << text;
  EXPECT_EQ(rulesNamed("after"), 1);
}

const GoneCase kGoneCases[] = {
    {"ReadLast", Work::kReadLast, ""},
    {"ReadLastDeclareFetch", Work::kReadLast, "UseDeclareFetch=1;Fetch=1"},
    {"WriteLast", Work::kWriteLast, ""},
    {"WriteLastDeclareFetch", Work::kWriteLast, "UseDeclareFetch=1;Fetch=1"},
    {"Import", Work::kImport, ""},
    {"ImportDeclareFetch", Work::kImport, "UseDeclareFetch=1;Fetch=1"},
};

INSTANTIATE_TEST_SUITE_P(Works, PostgresGoneSessionCommitTest,
                         ::testing::ValuesIn(kGoneCases),
                         [](const ::testing::TestParamInfo<GoneCase>& c) {
                           return std::string(c.param.name);
                         });

// A login role of the test's own with a schema that it owns, removed with
// the schema at the end; the connection string logs in as the role.
class OwnRole {
 public:
  OwnRole() : name_(uniqueTestName("kvi")), schema_(uniqueTestName("kvl")) {
    made_ =
        runOnPostgres("CREATE ROLE " + name_ + " LOGIN") &&
        runOnPostgres("CREATE SCHEMA " + schema_ + " AUTHORIZATION " + name_);
    connection_ = postgresConnectionString();
    const std::regex uid("(^|;)Uid=[^;]*;?", std::regex::icase);
    connection_ = std::regex_replace(connection_, uid, "$1");
    if (!connection_.empty() && connection_.back() != ';') connection_ += ";";
    connection_ += "Uid=" + name_ + ";";
  }
  ~OwnRole() {
    runOnPostgres("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    runOnPostgres("DROP ROLE IF EXISTS " + name_);
  }
  OwnRole(const OwnRole&) = delete;
  OwnRole& operator=(const OwnRole&) = delete;

  bool made() const { return made_; }
  const std::string& name() const { return name_; }
  const std::string& connection() const { return connection_; }
  std::string prefix() const { return schema_ + ".kv"; }

 private:
  std::string name_, schema_, connection_;
  bool made_ = false;
};

// The isolation of a transaction begun through `metadata` on `rda`.
std::string isolationInTransaction(MetadataRepositoryDataAccess* metadata,
                                   ReposDataAccess* rda) {
  if (!metadata->beginTransaction(0, 0))
    return "(" + metadata->getErrorMessage().str() + ")";
  const std::vector<std::string> rows =
      cursorRows(rda->paramSelect("SHOW transaction_isolation", 0));
  const std::string isolation =
      rows.size() == 1 ? rows[0] : "(" + rda->getErrorMessage().str() + ")";
  metadata->endTransaction(false);
  return isolation;
}

// The session that replaces a lost one reads its own default isolation:
// the role's default turned serializable between the open and the loss,
// so that the first session's reading no longer holds, and each
// transaction on the new session is set back to read committed.
TEST(PostgresRenewedSessionTest,
     PinsReadCommittedWhereTheNewDefaultIsStricter) {
  SKIP_WITHOUT_POSTGRES(true);
  if (postgresThroughPooler())
    GTEST_SKIP() << "behind a pooler a server session's end is the pooler's";
  OwnRole role;
  ASSERT_TRUE(role.made());
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  ASSERT_NE(admin, nullptr);
  ASSERT_TRUE(
      admin->createRepository(role.connection().c_str(), role.prefix().c_str()))
      << admin->getErrorMessage().str();
  Repository* repository = admin->openRepositoryConnection(
      role.connection().c_str(), role.prefix().c_str(), false, nullptr);
  ASSERT_NE(repository, nullptr) << admin->getErrorMessage().str();
  ReposDataAccess* rda =
      static_cast<RepositoryImpl*>(repository)->getDataAccess();
  MetadataRepositoryDataAccess* metadata =
      repository->createMetadataDataAccess();
  EXPECT_EQ(isolationInTransaction(metadata, rda), "read committed");

  ASSERT_TRUE(runOnPostgres("ALTER ROLE " + role.name() +
                            " SET default_transaction_isolation = "
                            "'serializable'"));
  ASSERT_NO_FATAL_FAILURE(endSessionOf(role.connection(), sessionPid(rda)));
  // The new session's default is the role's new one.
  EXPECT_EQ(
      cursorRows(rda->paramSelect("SHOW default_transaction_isolation", 0)),
      std::vector<std::string>{"serializable"})
      << rda->getErrorMessage().str();
  EXPECT_EQ(isolationInTransaction(metadata, rda), "read committed");
  EXPECT_EQ(lockTimeoutOf(rda), configuredLockTimeout());

  metadata->release();
  repository->release();
  admin->release();
}

// A PostgreSQL server of the test's own, started by the project's script,
// so that the test may stop and restart it; removed at the end.
class OwnServer {
 public:
  OwnServer() {
    const std::vector<std::string> lines = scriptLines(
        "bash " KV_SOURCE_DIR "/scripts/start-test-postgres.sh 2>/dev/null", 2);
    if (lines.empty()) return;
    datadir_ = lines[0];
    connection_ = lines[1];
  }
  ~OwnServer() {
    if (!datadir_.empty())
      std::system(
          ("bash " KV_SOURCE_DIR "/scripts/stop-test-postgres.sh " + datadir_)
              .c_str());
  }
  const std::string& connection() const { return connection_; }
  // pg_ctl `action` ("stop", "restart") as the server's user; a restart
  // starts a stopped server with the options it was started with.
  bool control(const std::string& action) {
    const std::string command =
        "bindir=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1); "
        "su postgres -s /bin/sh -c \"$bindir/pg_ctl -D " +
        datadir_ + "/data -l " + datadir_ + "/server.log -m fast -w " + action +
        "\" >/dev/null 2>&1";
    return std::system(("bash -c '" + command + "'").c_str()) == 0;
  }

 private:
  std::string datadir_, connection_;
};

// Needs the server's own tools and the right to run them as its user.
TEST(PostgresServerRestartTest, ARepositoryGoesOnAcrossRestartsAndOutages) {
  SKIP_WITHOUT_POSTGRES(true);
  OwnServer server;
  if (server.connection().empty())
    GTEST_SKIP() << "no PostgreSQL server of the test's own could be started";
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  ASSERT_NE(admin, nullptr);
  ASSERT_TRUE(admin->createRepository(server.connection().c_str(), "kv"))
      << admin->getErrorMessage().str();
  Repository* repository = admin->openRepositoryConnection(
      server.connection().c_str(), "kv", false, nullptr);
  ASSERT_NE(repository, nullptr) << admin->getErrorMessage().str();
  MetadataRepositoryDataAccess* metadata =
      repository->createMetadataDataAccess();
  int id = 0;
  EXPECT_TRUE(metadata->addFolder(0, "before", id));

  ASSERT_TRUE(server.control("restart"));
  EXPECT_TRUE(metadata->addFolder(0, "after restart", id))
      << metadata->getErrorMessage().str();

  // While the server is down each call says so, and tries again.
  ASSERT_TRUE(server.control("stop"));
  for (const char* name : {"down 1", "down 2"}) {
    EXPECT_FALSE(metadata->addFolder(0, name, id));
    const std::string text = metadata->getErrorMessage().str();
    EXPECT_NE(text.find(std::string(kLost) + " and cannot be opened again: "),
              std::string::npos)
        << text;
  }
  ASSERT_TRUE(server.control("restart"));
  EXPECT_TRUE(metadata->addFolder(0, "back", id))
      << metadata->getErrorMessage().str();
  KvbString path, top, error;
  EXPECT_TRUE(metadata->getFolderPath(id, path, top, error)) << error.str();
  EXPECT_EQ(path.str(), "back");

  metadata->release();
  repository->release();
  admin->release();
}

}  // namespace
