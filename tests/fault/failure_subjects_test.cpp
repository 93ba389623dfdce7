// A failure of the database file or server says which one failed and why,
// and the engine logs it once: a repository file in a folder that does not
// exist, a file or folder that may not be written, a file that another
// connection holds locked (directly and through the SQLite ODBC driver), and
// a PostgreSQL server that does not answer at the port given.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "access/common_rdaimpl.h"
#include "rda/rda_factory.h"
#include "support/dac_targets.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using Texts = std::vector<std::string>;

class FailureSubjectTest : public ::testing::Test {
 protected:
  void TearDown() override {
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    if (holder_) sqlite3_close(holder_);
  }

  // A connection to `connection` (factory kind 1: a SQLite file; 0: a
  // connection string) that waits `busyTimeout` ms for another's lock
  // (the default when empty); null with the reason in `error`.
  static ReposDataAccess* open(int kind, const std::string& connection,
                               KvbString& error,
                               const char* busyTimeout = "") {
    if (*busyTimeout)
      kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", busyTimeout);
    ReposDataAccess* rda =
        createReposDataAccess(kind, connection.c_str(), "", nullptr, error);
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    return rda;
  }
  // The SQLite file `file` with the core tables.
  static void makeRepository(const std::string& file) {
    KvbString error;
    ReposDataAccess* rda = open(1, file, error);
    ASSERT_NE(rda, nullptr) << error.asCstr();
    TableCreateOptions options;
    options.createTables = true;
    EXPECT_TRUE(rda->createTables(options)) << rda->getErrorMessage().asCstr();
    rda->release();
  }
  // Adds a rule through a data-access object on `rda`, which must fail;
  // answers the texts of the records of level 4 and above that it logs,
  // and sets `reason` to its error text.
  Texts failedAdd(ReposDataAccess* rda, std::string& reason) {
    CommonRDAImpl common(rda);
    const Texts records = log_.failuresDuring([&] {
      EXPECT_EQ(common.addRule("R", "T", "", "", "", "u", "id", 0, "", ""), -1);
    });
    reason = common.getErrorMessage().str();
    return records;
  }
  // Holds the write lock of `file` through a connection of its own.
  void holdLock(const std::string& file) {
    ASSERT_EQ(sqlite3_open(file.c_str(), &holder_), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(holder_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr),
        SQLITE_OK);
  }

  TempDir dir_;
  LogCapture log_;
  sqlite3* holder_ = nullptr;
};

// The reason is that of the file's folder when the folder is missing, and
// of the file when only the file is; the open itself logs nothing, as its
// caller reports the failure with what it was opening.
TEST_F(FailureSubjectTest, AFileThatCannotBeOpenedSaysWhichAndWhy) {
  const std::string lost = dir_.file("missing/r.db");
  KvbString error;
  EXPECT_EQ(log_.failuresDuring(
                [&] { EXPECT_EQ(open(1, lost, error), nullptr); }),
            Texts{});
  EXPECT_EQ(error.str(), "cannot open the database file '" + lost +
                             "': unable to open database file (its folder: "
                             "No such file or directory)");
  const std::string absent = dir_.file("absent.db");
  EXPECT_EQ(open(0, "FILE=" + absent + ";KVXTYPE=SQLITE", error), nullptr);
  EXPECT_EQ(error.str(), "cannot open the database file '" + absent +
                             "': unable to open database file (No such file "
                             "or directory)");
  // The SQLite ODBC driver says only that it cannot connect.
  const std::string odbc = "Driver=SQLite3;Database=" + lost;
  EXPECT_EQ(open(0, odbc, error), nullptr);
  EXPECT_TRUE(std::regex_match(
      error.str(),
      std::regex("Connecting to " + odbc +
                 ": \\[\\w+\\] [^\n]* \\(its folder: No such file or "
                 "directory\\)")))
      << error.asCstr();
}

// A file that may not be written opens for reading; its writes fail, with
// the file, or its folder that cannot take the write's journal, named.
TEST_F(FailureSubjectTest, AWriteThatTheSystemRefusesSaysWhatIsRefused) {
  if (geteuid() == 0)
    GTEST_SKIP() << "running as root, whom file permissions do not stop";
  const std::string file = dir_.file("r.db");
  makeRepository(file);
  const std::string readonly =
      "cannot write the database file '" + file +
      "': attempt to write a readonly database (";
  KvbString error;
  std::string reason;
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  ReposDataAccess* rda = open(1, file, error);
  ASSERT_NE(rda, nullptr) << error.asCstr();
  EXPECT_EQ(failedAdd(rda, reason).size(), 1u) << reason;
  EXPECT_EQ(reason, readonly + "Permission denied)");
  rda->release();

  ASSERT_EQ(chmod(file.c_str(), 0644), 0);
  ASSERT_EQ(chmod(dir_.path().c_str(), 0555), 0);
  rda = open(1, file, error);
  ASSERT_NE(rda, nullptr) << error.asCstr();
  const Texts records = failedAdd(rda, reason);
  EXPECT_EQ(reason, readonly + "its folder: Permission denied)");
  ASSERT_EQ(records.size(), 1u) << reason;
  EXPECT_NE(records[0].find(reason), std::string::npos) << records[0];
  rda->release();
  chmod(dir_.path().c_str(), 0755);
}

// The reason says how long the connection waited and which option bounds
// the wait: natively the busy handler's wait, through the driver the tries
// of the begin, each of which the driver gives up after its own Timeout.
TEST_F(FailureSubjectTest, ALockedFileSaysHowLongItWaitedAndWhy) {
  const std::string file = dir_.file("r.db");
  makeRepository(file);
  holdLock(file);
  const std::string waited =
      "database is locked by another connection; gave up waiting for it "
      "after 50 ms (SQLITE/BUSY_TIMEOUT)";
  KvbString error;
  std::string reason;
  for (const std::string& connection :
       {file, "FILE=" + file + ";KVXTYPE=SQLITE"}) {
    ReposDataAccess* rda =
        open(connection == file ? 1 : 0, connection, error, "50");
    ASSERT_NE(rda, nullptr) << error.asCstr();
    const Texts records = failedAdd(rda, reason);
    EXPECT_EQ(reason, "cannot access the database file '" + file + "': " +
                          waited);
    ASSERT_EQ(records.size(), 1u) << reason;
    EXPECT_NE(records[0].find(reason), std::string::npos) << records[0];
    rda->release();
  }

  ReposDataAccess* rda = open(
      0, "Driver=SQLite3;Database=" + file + ";Timeout=1;", error, "50");
  ASSERT_NE(rda, nullptr) << error.asCstr();
  const Texts records = failedAdd(rda, reason);
  EXPECT_TRUE(std::regex_match(
      reason, std::regex("Running \"BEGIN IMMEDIATE TRANSACTION\": \\[\\w+\\] "
                         "[^\n]*database is locked[^\n]*; gave up waiting for "
                         "it after [0-9]+ ms \\(SQLITE/BUSY_TIMEOUT\\)")))
      << reason;
  ASSERT_EQ(records.size(), 1u) << reason;
  EXPECT_NE(records[0].find(reason), std::string::npos) << records[0];
  rda->release();
}

// The cases on a PostgreSQL server (named so that they run in every mode
// of its driver).
using FailureSubjectPostgresTest = FailureSubjectTest;

// The driver's reason comes on one line, after the connection that was
// being made, which shows no password.
TEST_F(FailureSubjectPostgresTest,
       AServerThatDoesNotAnswerIsNamedWithoutPassword) {
  SKIP_WITHOUT_POSTGRES(true);
  const std::string connection =
      std::regex_replace(postgresConnectionString(),
                         std::regex("Port=[0-9]+", std::regex::icase),
                         "Port=1") +
      ";Pwd=secret;";
  KvbString error;
  EXPECT_EQ(open(0, connection, error), nullptr);
  const std::string text = error.str();
  EXPECT_EQ(text.rfind("Connecting to Driver={PostgreSQL Unicode};", 0), 0u)
      << text;
  EXPECT_NE(text.find(";Port=1;"), std::string::npos) << text;
  EXPECT_NE(text.find(": [08001] "), std::string::npos) << text;
  EXPECT_EQ(text.find("Pwd"), std::string::npos) << text;
  EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  EXPECT_EQ(text.find_first_of("\n\t"), std::string::npos) << text;
  EXPECT_NE(text.back(), ' ') << text;
}

// A statement that the server refuses: its several lines become one, after
// the statement that was running.
TEST_F(FailureSubjectPostgresTest, AServersRefusalOfAStatementComesOnOneLine) {
  SKIP_WITHOUT_POSTGRES(true);
  KvbString error;
  // No repository tables: the prefix names a schema that does not exist.
  ReposDataAccess* rda = createReposDataAccess(
      0, postgresConnectionString().c_str(),
      uniqueTestName("absent").append(".kv").c_str(), nullptr, error);
  ASSERT_NE(rda, nullptr) << error.asCstr();
  std::string reason;
  const Texts records = failedAdd(rda, reason);
  EXPECT_TRUE(std::regex_match(
      reason, std::regex("Running \"SELECT [^\n\t]*\": \\[42P01\\] ERROR: "
                         "relation \"[^\n\t]*\" does not exist; [^\n\t]*[^ ]")))
      << reason;
  ASSERT_EQ(records.size(), 1u) << reason;
  EXPECT_NE(records[0].find(reason), std::string::npos) << records[0];
  rda->release();
}

}  // namespace
