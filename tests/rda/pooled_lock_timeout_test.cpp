// Behind a connection pooler in transaction mode, each engine transaction
// makes its settings for itself alone: its lock timeout (SET LOCAL) and its
// read committed isolation (SET TRANSACTION) hold inside it, and once it
// has ended the server session keeps what another client of the pooler set
// there. So does the transaction that the driver runs around a statement
// outside a transaction, and an open sets nothing on a session. The test
// starts a pooler of its own with a single server session, so that every
// client's transaction lands on that one session, and runs the engine's own
// transaction, a host's and a statement outside any transaction in each of
// the driver's modes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "access/meta_rdaimpl.h"
#include "kvdataaccess/kvdataaccess.h"
#include "support/connection_stores.h"
#include "support/connection_waits.h"
#include "support/dac_targets.h"
#include "support/rda_targets.h"
#include "support/script_lines.h"

namespace {

// What a transaction of the engine is in the case.
enum class Work {
  kOwnTransaction,   // a write that runs its own transaction
  kHostTransaction,  // a write inside a host's beginTransaction/endTransaction
  kNoTransaction,    // a query with a value outside any transaction
};

struct PooledCase {
  const char* name;
  const char* mode;  // added to the pooled connection string
  Work work;
};

// Names a case in gtest's output.
void PrintTo(const PooledCase& c, std::ostream* os) { *os << c.name; }

// A pooler in transaction mode with one server session, in front of the
// server that `connection` reaches, started by the project's script and
// stopped at the end; connection() is empty when it could not start.
class OwnPooler {
 public:
  explicit OwnPooler(const std::string& connection) {
    const std::string command =
        "KV_TEST_PGBOUNCER_POOL_SIZE=1 bash " KV_SOURCE_DIR
        "/scripts/start-test-pgbouncer.sh " +
        shellQuoted(connection) + " 2>/dev/null";
    const std::vector<std::string> lines = scriptLines(command, 2);
    if (lines.empty()) return;
    folder_ = lines[0];
    connection_ = lines[1];
  }
  ~OwnPooler() {
    if (!folder_.empty())
      std::system(("bash " KV_SOURCE_DIR "/scripts/stop-test-pgbouncer.sh " +
                   shellQuoted(folder_))
                      .c_str());
  }
  OwnPooler(const OwnPooler&) = delete;
  OwnPooler& operator=(const OwnPooler&) = delete;

  const std::string& connection() const { return connection_; }

 private:
  std::string folder_, connection_;
};

// The server session's id, its lock timeout, its default isolation and the
// isolation in force, joined by "|".
#define KV_SETTINGS_QUERY                                       \
  "SELECT pg_backend_pid(), current_setting('lock_timeout'), " \
  "current_setting('default_transaction_isolation'), "         \
  "current_setting('transaction_isolation')"
const char kSettings[] = KV_SETTINGS_QUERY;
const char kSettingsOfAValue[] = KV_SETTINGS_QUERY " WHERE 1 = ?";

// The first row of `sql` on a new client of `connection`, columns joined by
// "|"; the client's failure text when it fails.
std::string clientRow(const std::string& connection, const char* sql) {
  KvbString error;
  DacConnection* c = dacCreateDataSource(connection.c_str(), &error);
  if (!c) return error.str();
  std::string row = "no row";
  DacStatement* s = c->prepare(sql);
  DacCursor* rows = s ? s->select() : nullptr;
  if (!rows) {
    row = c->getErrorMessage().str();
  } else if (rows->next() == 1) {
    row.clear();
    for (int column = 0; column < rows->getNumCols(); ++column) {
      KvbDatavar value;
      rows->getValue(column, value);
      row += (column ? "|" : "") + value.asString().str();
    }
  }
  if (rows) rows->release();
  if (s) s->release();
  c->release();
  return row;
}

// Runs `sql` on a new client of `connection` outside a transaction.
bool clientRuns(const std::string& connection, const char* sql) {
  KvbString error;
  DacConnection* c = dacCreateDataSource(connection.c_str(), &error);
  if (!c) return false;
  const bool ran = c->execute(sql);
  c->release();
  return ran;
}

class PostgresPooledSessionSettingsTest
    : public ::testing::TestWithParam<PooledCase> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_POSTGRES(true);
    // There the connection string reaches a pooler shared with other
    // tests: a pooler of this test's own in front of it would not keep
    // each client to one server session.
    if (postgresThroughPooler())
      GTEST_SKIP() << "the server's own address is not known behind the "
                      "shared pooler";
    // The case's driver mode replaces that of the test run.
    pooler_ = new OwnPooler(std::regex_replace(
        postgresConnectionString(),
        std::regex("(^|;)\\s*Protocol\\s*=[^;]*", std::regex::icase), ""));
    // Where the run has a pooler of its own (CI's), one must start here.
    if (pooler_->connection().empty()) {
      if (std::getenv("KV_TEST_PGBOUNCER_CONNECTION"))
        FAIL() << "scripts/start-test-pgbouncer.sh did not start a pooler";
      GTEST_SKIP() << "no pooler of the test's own could be started";
    }
    connection_ = pooler_->connection() + GetParam().mode;
    schema_ = uniqueTestName("kvpool");
    ASSERT_TRUE(runOnPostgres("CREATE SCHEMA " + schema_));
    rda_ = open(connection_, "300");
    ASSERT_NE(rda_, nullptr);
    TableCreateOptions options;
    options.createTables = true;
    ASSERT_TRUE(rda_->createTables(options)) << why();
    meta_ = new MetadataRDAImpl(rda_);
  }
  void TearDown() override {
    if (meta_) meta_->release();
    if (rda_) rda_->release();
    delete pooler_;
    if (!schema_.empty()) runOnPostgres("DROP SCHEMA " + schema_ + " CASCADE");
  }

  std::string why() const { return rda_->getErrorMessage().str(); }
  // A connection to the case's tables through `connection`, opened with a
  // busy timeout of `busyTimeoutMs`; null, with a failure, when it cannot.
  ReposDataAccess* open(const std::string& connection,
                        const char* busyTimeoutMs) {
    kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", busyTimeoutMs);
    KvbString error;
    ReposDataAccess* opened = createReposDataAccess(
        0, connection.c_str(), schema_ + ".kv", nullptr, error);
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    EXPECT_NE(opened, nullptr) << error.str();
    return opened;
  }

  OwnPooler* pooler_ = nullptr;
  std::string connection_;
  std::string schema_;
  ReposDataAccess* rda_ = nullptr;
  MetadataRDAImpl* meta_ = nullptr;
};

TEST_P(PostgresPooledSessionSettingsTest,
       ATransactionLeavesTheSessionsSettingsAsAnotherClientSetThem) {
  // Another client of the pooler sets the session's own values, which
  // differ from the engine's (a busy timeout of 300 ms, read committed).
  ASSERT_TRUE(clientRuns(connection_, "SET lock_timeout = '7s'"));
  ASSERT_TRUE(clientRuns(
      connection_, "SET default_transaction_isolation = 'repeatable read'"));
  const std::string before = clientRow(connection_, kSettings);
  const std::string session = before.substr(0, before.find('|'));
  const std::string clients = session + "|7s|repeatable read|repeatable read";
  ASSERT_EQ(before, clients) << "the settings did not reach the session";

  // An open sets nothing on the session.
  ReposDataAccess* other = open(connection_, "400");
  ASSERT_NE(other, nullptr);
  other->release();

  const std::string engines = session + "|300ms|repeatable read|read committed";
  int id = 0;
  if (GetParam().work == Work::kOwnTransaction) {
    ASSERT_TRUE(meta_->addFolder(0, "own", id)) << why();
  } else if (GetParam().work == Work::kNoTransaction) {
    // The driver's transaction around it makes the engine's settings.
    const KvbDatavar one(1);
    EXPECT_EQ(cursorRows(rda_->paramSelect(kSettingsOfAValue, 1, &one)),
              std::vector<std::string>{engines});
  } else {
    ASSERT_TRUE(rda_->beginTransaction(false, nullptr)) << why();
    EXPECT_TRUE(meta_->addFolder(0, "host", id)) << why();
    // Inside it the engine's own values hold, on the same session.
    EXPECT_EQ(cursorRows(rda_->paramSelect(kSettings, 0)),
              std::vector<std::string>{engines});
    ASSERT_TRUE(rda_->endTransaction(true)) << why();
  }

  EXPECT_EQ(clientRow(connection_, kSettings), clients);
}

const PooledCase kCases[] = {
    {"OwnTransaction", "", Work::kOwnTransaction},
    {"OwnTransactionAbortsUntilRollback", "Protocol=7.4-0;",
     Work::kOwnTransaction},
    {"OwnTransactionRollsBackWhole", "Protocol=7.4-1;", Work::kOwnTransaction},
    {"HostTransaction", "", Work::kHostTransaction},
    {"HostTransactionAbortsUntilRollback", "Protocol=7.4-0;",
     Work::kHostTransaction},
    {"HostTransactionRollsBackWhole", "Protocol=7.4-1;",
     Work::kHostTransaction},
    {"NoTransaction", "", Work::kNoTransaction},
    {"NoTransactionAbortsUntilRollback", "Protocol=7.4-0;",
     Work::kNoTransaction},
    {"NoTransactionRollsBackWhole", "Protocol=7.4-1;", Work::kNoTransaction},
};

INSTANTIATE_TEST_SUITE_P(Modes, PostgresPooledSessionSettingsTest,
                         ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PooledCase>& c) {
                           return std::string(c.param.name);
                         });

// A write outside any transaction waits for a row that another session
// holds as long as the engine's busy timeout says, not as the value that
// another client of the pooler left on the server session: it waits until
// the holder, reaching the server directly, commits, then deletes the row.
class PostgresPooledLockWaitTest : public PostgresPooledSessionSettingsTest {};

TEST_P(PostgresPooledLockWaitTest, AWriteOutsideATransactionWaitsTheEnginesTime) {
  int id = -1;
  {
    Stores mine(rda_);
    ASSERT_TRUE(mine.monitor->addSource("held", "", "u", 0, &id)) << why();
  }
  ReposDataAccess* holder = open(postgresConnectionString(), "20000");
  ReposDataAccess* writer = open(connection_, "20000");
  if (holder && writer) {
    Stores held(holder), writes(writer);
    ASSERT_TRUE(clientRuns(connection_, "SET lock_timeout = '1ms'"));
    ASSERT_TRUE(held.common->beginTransaction(0, 0)) << held.why();
    ASSERT_TRUE(held.monitor->updateSource(id, "still held", "u", 0))
        << held.why();
    // The driver's savepoint of the update goes at the next statement: the
    // write then waits once, for the transaction (see LockWaitTest).
    int one = 0;
    ASSERT_TRUE(holder->paramSingleton("SELECT 1", &one, 0));
    ConnectionWaits waits(holder, writer, true);
    bool deleted = false;
    EXPECT_TRUE(attemptWhileHeld<bool>(
        waits, LetGo::kOnceItWaits,
        [&](bool commit) {
          EXPECT_TRUE(held.common->endTransaction(commit)) << held.why();
        },
        [&] { return writes.monitor->deleteSource(id); }, &deleted))
        << "the write never waited";
    EXPECT_TRUE(deleted) << writes.why();
    EXPECT_EQ(waits.waits(), 1);
  }
  if (holder) holder->release();
  if (writer) writer->release();
}

const PooledCase kOutsideCases[] = {kCases[6], kCases[7], kCases[8]};

INSTANTIATE_TEST_SUITE_P(Modes, PostgresPooledLockWaitTest,
                         ::testing::ValuesIn(kOutsideCases),
                         [](const ::testing::TestParamInfo<PooledCase>& c) {
                           return std::string(c.param.name);
                         });

}  // namespace
