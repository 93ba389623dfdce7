// Every way an open can fail (a database that cannot be reached, one that
// holds no repository under the table prefix, version rows that cannot be
// read, a version that is not the engine's) answers a text that names the
// database (a file by its path, a connection string without its password)
// and the table prefix, and leaves one log record: of level 5, with that
// text. Without `check`, what only the check refuses opens, warning only of
// version rows that cannot be read and, where a repository is or may be,
// of table sets that cannot be listed. A PostgreSQL session lost inside a
// host's transaction leaves one record per failing call too.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "reposadmin/common_data_access.h"
#include "reposadmin/metadata_data_access.h"
#include "rda/rda_factory.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"

namespace {

using Records = std::vector<std::string>;

// What the database that an open reaches is like. An open reads only the
// INFO table, so a repository is its INFO table here.
enum class Fault {
  kUnreachable,     // no server on its port; a file in a missing folder
  kNoInfoTable,     // an empty database
  kNoVersionRow,    // an INFO table without rows
  kOtherPrefix,     // a repository of version 7 under another table prefix
  kUnreadableRows,  // an INFO table without its version column
  kNoSelectRight,   // a role that may not read INFO (PostgreSQL)
  kNewer,           // a repository of version 8
  kOlder,           // a repository of version 6
  kNewerNoSets,     // kNewer, opened while the table sets cannot be listed
  kUnreadableRowsNoSets,  // kUnreadableRows, the table sets unlisted too
};

// One open: of the database with `fault`, with `check`. `text` gives, for
// that database, the text of the failure (all of it, or how it begins when
// the database's own reason ends it: not `whole`); for an open that
// succeeds, "" or how its first warning begins, and `thenWarned` how its
// second one begins, if it gives one.
struct OpenCase {
  const char* what;
  Fault fault;
  bool check;
  bool opens;
  bool whole;
  std::function<std::string(const AdminDatabase&)> text;
  std::function<std::string(const AdminDatabase&)> thenWarned = nullptr;
};

class OpenFailuresTest : public AdminTargetTest {
 protected:
  // How texts name `db` as open() reaches it.
  std::string placeOf(const AdminDatabase& db) const {
    return isFile() ? "database file \"" + db.file + "\""
                    : shownDatabase(db.connection, db.prefix);
  }
  std::string notOpened(const AdminDatabase& db, const std::string& reason) {
    return "The repository in the " + placeOf(db) +
           " could not be opened: " + reason;
  }
  std::string holdsNone(const AdminDatabase& db, const char* why) {
    return "The " + placeOf(db) + " holds no repository: " + why;
  }
  // The database's refusal of the read of the version rows of `db`, as far
  // as the server's message goes: a missing column, or `refusal` on
  // PostgreSQL.
  std::string versionsRefused(const AdminDatabase& db,
                              const std::string& refusal) {
    if (!isPostgres()) return "no such column: I_VERS";
    return "Running \"SELECT I_TYPE, I_VERS FROM " + db.prefix +
           "INFO\": " + refusal;
  }

  // A new database with `fault`; false when the fault is not one of the
  // back end's.
  bool prepare(Fault fault, AdminDatabase& db);
  // Makes the INFO table of `db` with its version in `column`, and the row
  // of a repository of `version` (minor version 4) unless that is empty.
  bool makeInfo(const AdminDatabase& db, const char* column,
                const char* version);
  // The role of a new connection string that may read nothing of `db`'s
  // schema but its name.
  std::string connectionThatCannotRead(const AdminDatabase& db);
};

bool OpenFailuresTest::prepare(Fault fault, AdminDatabase& db) {
  db = newDatabase();
  if (isFile()) std::ofstream(db.file).flush();  // an empty database
  switch (fault) {
    case Fault::kUnreachable:
      if (isPostgres()) {
        db.connection =
            "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;"
            "Database=kvtest;Uid=kv;Pwd=secret;";
      } else {
        db.file = dir_.file("missing") + "/repos.db";
        db.connection = "FILE=" + db.file + ";CREATE=TRUE;KVXTYPE=SQLITE";
      }
      return true;
    case Fault::kNoInfoTable:
      return true;
    case Fault::kNoVersionRow:
      return makeInfo(db, "I_VERS", "");
    case Fault::kOtherPrefix:
      if (isFile()) return false;  // a file's repository has no prefix
      if (!makeInfo(db, "I_VERS", "7")) return false;
      db.prefix = isPostgres() ? db.prefix + "x" : "other";
      return true;
    case Fault::kUnreadableRows:
    case Fault::kUnreadableRowsNoSets:
      return makeInfo(db, "I_GONE", "7");
    case Fault::kNoSelectRight:
      if (!isPostgres() || !makeInfo(db, "I_VERS", "7")) return false;
      db.connection = connectionThatCannotRead(db);
      return !db.connection.empty();
    case Fault::kNewer:
    case Fault::kNewerNoSets:
      return makeInfo(db, "I_VERS", "8");
    case Fault::kOlder:
      return makeInfo(db, "I_VERS", "6");
  }
  return false;
}

bool OpenFailuresTest::makeInfo(const AdminDatabase& db, const char* column,
                                const char* version) {
  RepositoryImpl* repository = open(db);
  EXPECT_NE(repository, nullptr) << error();
  if (!repository) return false;
  ReposDataAccess* rda = repository->getDataAccess();
  bool made = rda->createTable("INFO", {{"I_TYPE", kvbTypeString, 32, false},
                                        {column, kvbTypeInt, 0, false},
                                        {"I_MVER", kvbTypeInt, 0, true}});
  if (made && *version)
    made = rda->paramExec("INSERT INTO " + rda->getTableName("INFO", true, -1) +
                              " (I_TYPE, " + column + ", I_MVER) VALUES "
                              "('KVREPOSITORY', " + version + ", 4)",
                          nullptr, 0);
  EXPECT_TRUE(made) << rda->getErrorMessage().str();
  repository->release();
  return made;
}

std::string OpenFailuresTest::connectionThatCannotRead(
    const AdminDatabase& db) {
  const std::string connection = connectionWithoutRights();
  if (connection.empty()) return "";
  const size_t uid = connection.rfind("Uid=") + 4;
  const std::string role =
      connection.substr(uid, connection.find(';', uid) - uid);
  const std::string schema = db.prefix.substr(0, db.prefix.find('.'));
  // The schema's name only: the engine finds INFO there, and the server
  // refuses to read it.
  return runOnPostgres("GRANT USAGE ON SCHEMA " + schema + " TO " + role)
             ? connection
             : "";
}

TEST_P(OpenFailuresTest, EachFailedOpenNamesItsDatabaseAndPrefixInOneRecord) {
  const std::string newer =
      "it has version 8.4, newer than 7.4, the newest this engine supports; "
      "it cannot be used or changed by this engine.";
  const std::string unreadable =
      "it cannot be used or changed: its version rows cannot be read: ";
  const std::string denied = "[42501] ERROR: permission denied for table kvinfo";
  const std::string noColumn = "[42703] ERROR: column \"i_vers\" does not exist";
  // The reason of a database that cannot be reached, as far as it is the
  // engine's to say.
  const std::string unreached =
      isPostgres() ? "[08001] "
                   : "unable to open database file (its folder: No such file "
                     "or directory)";
  const auto nothing = [](const AdminDatabase&) { return std::string(); };
  const std::string noSets = dir_.file("no-sets");
  const auto setsUnlisted = [&](const AdminDatabase&) {
    return "Cannot list the table-set folder \"" + noSets + "\"";
  };
  const std::vector<OpenCase> cases = {
      {"a database that cannot be reached", Fault::kUnreachable, true, false,
       !isPostgres(),
       [&](const AdminDatabase& db) { return notOpened(db, unreached); }},
      {"a database that cannot be reached, unchecked", Fault::kUnreachable,
       false, false, !isPostgres(),
       [&](const AdminDatabase& db) { return notOpened(db, unreached); }},
      {"no INFO table", Fault::kNoInfoTable, true, false, true,
       [&](const AdminDatabase& db) {
         return holdsNone(db, "it has no INFO table");
       }},
      {"no INFO table, unchecked", Fault::kNoInfoTable, false, true, true,
       nothing},
      {"no version row", Fault::kNoVersionRow, true, false, true,
       [&](const AdminDatabase& db) {
         return holdsNone(db, "its INFO table holds no version row");
       }},
      {"no version row, unchecked", Fault::kNoVersionRow, false, true, true,
       nothing},
      {"another table prefix", Fault::kOtherPrefix, true, false, true,
       [&](const AdminDatabase& db) {
         return holdsNone(db, "it has no INFO table");
       }},
      {"another table prefix, unchecked", Fault::kOtherPrefix, false, true,
       true, nothing},
      {"version rows that cannot be read", Fault::kUnreadableRows, true, false,
       false,
       [&](const AdminDatabase& db) {
         return notOpened(db, unreadable + versionsRefused(db, noColumn));
       }},
      {"version rows that cannot be read, unchecked", Fault::kUnreadableRows,
       false, true, false,
       [&](const AdminDatabase& db) { return versionsRefused(db, noColumn); }},
      {"an INFO table that the role may not read", Fault::kNoSelectRight, true,
       false, false,
       [&](const AdminDatabase& db) {
         return notOpened(db, unreadable + versionsRefused(db, denied));
       }},
      {"an INFO table that the role may not read, unchecked",
       Fault::kNoSelectRight, false, true, false,
       [&](const AdminDatabase& db) { return versionsRefused(db, denied); }},
      {"a newer version", Fault::kNewer, true, false, true,
       [&](const AdminDatabase& db) { return notOpened(db, newer); }},
      {"a newer version, unchecked", Fault::kNewer, false, true, true, nothing},
      {"an older version", Fault::kOlder, true, false, true,
       [&](const AdminDatabase& db) {
         return notOpened(db, libraryMessage(1052));
       }},
      {"an older version, unchecked", Fault::kOlder, false, true, true,
       nothing},
      // What an open that succeeds goes without is warned of; one that
      // fails logs only its failure.
      {"a newer version, the table sets unlisted", Fault::kNewerNoSets, true,
       false, true,
       [&](const AdminDatabase& db) { return notOpened(db, newer); }},
      {"a newer version, the table sets unlisted, unchecked",
       Fault::kNewerNoSets, false, true, true, setsUnlisted},
      // A repository whose kind is unknown, as its version rows cannot be
      // read, is still one to warn of the table sets for.
      {"version rows that cannot be read, the table sets unlisted, unchecked",
       Fault::kUnreadableRowsNoSets, false, true, false,
       [&](const AdminDatabase& db) { return versionsRefused(db, noColumn); },
       setsUnlisted},
  };
  std::map<Fault, AdminDatabase> databases;
  LogCapture log;
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.what);
    if (!databases.count(c.fault) && !prepare(c.fault, databases[c.fault])) {
      databases.erase(c.fault);
      continue;
    }
    const AdminDatabase& db = databases[c.fault];
    const std::string expected = c.text(db);
    const bool unlisted = c.fault == Fault::kNewerNoSets ||
                          c.fault == Fault::kUnreadableRowsNoSets;
    if (unlisted) kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", noSets);
    RepositoryImpl* repository = nullptr;
    const Records records = log.failuresDuring(
        [&] { repository = open(db, c.check); }, true);
    if (unlisted)
      kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                   KV_SOURCE_DIR "/etc/reposcreate");
    if (c.opens) {
      ASSERT_NE(repository, nullptr) << error();
      repository->release();
      Records warnings;
      if (!expected.empty()) warnings.push_back("4 " + expected);
      if (c.thenWarned) warnings.push_back("4 " + c.thenWarned(db));
      ASSERT_EQ(records.size(), warnings.size())
          << testing::PrintToString(records);
      for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i].rfind(warnings[i], 0), 0u) << records[i];
      continue;
    }
    EXPECT_EQ(repository, nullptr);
    if (c.whole)
      EXPECT_EQ(error(), expected);
    else
      EXPECT_EQ(error().rfind(expected, 0), 0u) << error();
    EXPECT_EQ(records, Records{"5 " + error()});
    EXPECT_EQ(error().find("secret"), std::string::npos) << error();
  }
}

INSTANTIATE_ADMIN_TARGETS(OpenFailuresTest);

// After the server ended the repository's session inside a host's
// transaction or a load's, each call that fails with the loss leaves one
// record: the engine's operation that answers it (a store's write or read,
// the repository's own call, the bulk loader's add or end) its ERROR, the
// host's own statement none. The host's end then leaves none, as the loss
// was logged; where only the host's own calls answered it, its end warns
// of it, once. An operation of the engine's own whose inner level met the
// loss first leaves no warning at its end either.
class PostgresLostSessionRecordsTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // Behind a pooler a server session's end is the pooler's to see.
    if (postgresThroughPooler())
      GTEST_SKIP() << "behind a pooler a server session's end is the pooler's";
    repository_ = createAndOpen(db_);
    ASSERT_NE(repository_, nullptr);
    rda_ = repository_->getDataAccess();
    meta_ = repository_->createMetadataDataAccess();
    common_ = repository_->createCommonDataAccess();
    KvbString reason;
    watcher_ = createReposDataAccess(0, db_.connection.c_str(), "", nullptr,
                                     reason);
    ASSERT_NE(watcher_, nullptr) << reason.str();
    loaded_.front().name = "N";
    loaded_.front().type = kvbTypeInt;
    ASSERT_TRUE(rda_->createTable("LOADED", loaded_))
        << rda_->getErrorMessage().str();
  }
  void TearDown() override {
    if (tolerant_) tolerant_->release();
    if (watcher_) watcher_->release();
    if (common_) common_->release();
    if (meta_) meta_->release();
    if (repository_) repository_->release();
    AdminTargetTest::TearDown();
  }

  // Ends the repository's session and waits until the server let it go.
  void endSession() {
    const Records pid =
        cursorRows(rda_->paramSelect("SELECT pg_backend_pid()", 0));
    ASSERT_EQ(pid.size(), 1u) << rda_->getErrorMessage().str();
    ASSERT_TRUE(runOnPostgres("SELECT pg_terminate_backend(" + pid[0] + ")"));
    const std::string gone =
        "SELECT COUNT(*) FROM pg_stat_activity WHERE pid = " + pid[0];
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (cursorRows(watcher_->paramSelect(gone, 0)) != Records{"0"})
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << pid[0];
  }
  // A load of the table LOADED, one row per batch.
  bool beginLoad() {
    return rda_->bulkLoadInit(
        1, rda_->getTableName("LOADED", false, -1).str().c_str(), &loaded_);
  }

  AdminDatabase db_;
  RepositoryImpl* repository_ = nullptr;
  ReposDataAccess* rda_ = nullptr;
  MetadataRepositoryDataAccess* meta_ = nullptr;
  CommonRepositoryDataAccess* common_ = nullptr;
  ReposDataAccess* watcher_ = nullptr;
  RepositoryImpl* tolerant_ = nullptr;  // opened on a folder of sets of its own
  std::list<TableColumnInfo> loaded_{1};
};

TEST_P(PostgresLostSessionRecordsTest, EachFailingCallLeavesOneRecord) {
  const char kLost[] = "The connection to the database was lost";
  const std::string nowhere = "UPDATE " +
                              rda_->getTableName("FOLDER", true, -1).str() +
                              " SET FLDR_NAM = 'x' WHERE 1 = 0";
  int id = 0;
  const KvbDatavar n(1);
  // What a call leaves: one record of its text, of level 5 or 4, or none;
  // or one record of level 5 that tells of the loss: the bulk loader logs
  // what its batch met, and the add may answer the loss that the host's
  // transaction met first; or records of level 5 alone, the call's last.
  enum class Left { kError, kWarning, kNothing, kLoadError, kErrorsOnly };
  struct Call {
    std::function<bool()> call;
    std::function<KvbString()> text;
    Left left;
  };
  const Call storeAdd{[&] { return meta_->addFolder(0, "b", id); },
                      [&] { return meta_->getErrorMessage(); }, Left::kError};
  const Call storeRead{
      [&] {
        ReposDataAccessCursor* rows = meta_->listFolders(0);
        if (rows) rows->release();
        return rows != nullptr;
      },
      [&] { return meta_->getErrorMessage(); }, Left::kError};
  const Call repositoryCall{
      [&] { return repository_->getNextID("FOLDER", &id, nullptr); },
      [&] { return repository_->getErrorMessage(); }, Left::kError};
  const Call loadAdd{[&] { return rda_->bulkLoadAddRow(1, &n); },
                     [&] { return rda_->getErrorMessage(); },
                     Left::kLoadError};
  const Call hostStatement{[&] { return rda_->paramExec(nowhere, nullptr, 0); },
                           [&] { return rda_->getErrorMessage(); },
                           Left::kNothing};
  const Call loadEnd{[&] { return rda_->bulkLoadEnd(true); },
                     [&] { return rda_->getErrorMessage(); }, Left::kError};
  // An upgrade whose only table set ignores its statements' errors, and
  // whose statement before its new version's table ends its own session:
  // the set's table check, an inner level of the upgrade's own
  // transaction, meets the loss first, and the upgrade's end must not warn
  // of it again.
  const Call upgrade{[&] { return tolerant_->upgradeRepository(); },
                     [&] { return tolerant_->getErrorMessage(); },
                     Left::kErrorsOnly};
  const auto tolerantSet = [&](int version, const std::string& statements) {
    std::ofstream(dir_.file("sets") + "/sets.xml")
        << "<velmorandocument class=\"ReposTableCreateSpec\">"
           "<tableset name=\"TSLOSS\" version=\"" << version
        << "\" ignorecustomerrors=\"true\"><table name=\"TSLOST\">"
           "<column name=\"A\" type=\"integer\"/></table>"
        << statements << "</tableset></velmorandocument>";
  };
  const auto upgradeEndingItsSession = [&] {
    std::filesystem::create_directories(dir_.file("sets"));
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", dir_.file("sets"));
    tolerantSet(1, "");
    tolerant_ = open(db_);
    if (!tolerant_ || !tolerant_->createTables(false, false, true, false,
                                               nullptr))
      return false;
    tolerantSet(2,
                "<preupdate><statement><sql>SELECT pg_terminate_backend("
                "pg_backend_pid())</sql></statement></preupdate>");
    return true;
  };
  const auto hostCommit = [&](Left left) {
    return Call{[&] { return meta_->endTransaction(true); },
                [&] { return meta_->getErrorMessage(); }, left};
  };
  // What is open when the session ends: a host's transaction with a
  // folder in it, with a load too, or a load alone.
  const auto hostTransaction = [&] {
    return meta_->beginTransaction(0, 0) && meta_->addFolder(0, "a", id);
  };
  const auto hostTransactionWithLoad = [&] {
    return hostTransaction() && beginLoad();
  };
  const auto load = [&] { return beginLoad(); };
  // Each round: what is open, then the calls that fail, its end last;
  // the session ends before the calls, or in the first one.
  struct Round {
    const char* what;
    std::function<bool()> open;
    std::vector<Call> calls;
    bool endedByTheCall = false;
  };
  const std::vector<Round> rounds = {
      {"a store's add meets the loss", hostTransaction,
       {storeAdd, storeRead, repositoryCall, hostStatement,
        hostCommit(Left::kNothing)}},
      {"a store's add answers it first", hostTransaction,
       {hostStatement, storeAdd, hostCommit(Left::kNothing)}},
      {"a store's read answers it first", hostTransaction,
       {hostStatement, storeRead, hostCommit(Left::kNothing)}},
      {"the repository's own call answers it first", hostTransaction,
       {hostStatement, repositoryCall, hostCommit(Left::kNothing)}},
      {"a load's add answers it first", hostTransactionWithLoad,
       {hostStatement, loadAdd, hostCommit(Left::kNothing)}},
      {"a load's end answers it first", load, {hostStatement, loadEnd}},
      {"only the host's calls answer it", hostTransaction,
       {hostStatement, hostStatement, hostCommit(Left::kWarning)}},
      {"an inner level of the engine's own answers it first",
       upgradeEndingItsSession, {upgrade}, true},
  };
  LogCapture log;
  for (const Round& round : rounds) {
    SCOPED_TRACE(round.what);
    ASSERT_TRUE(round.open()) << rda_->getErrorMessage().str() << " "
                              << error();
    if (!round.endedByTheCall) endSession();
    int step = 0;
    for (const Call& c : round.calls) {
      SCOPED_TRACE(++step);
      const Records records =
          log.failuresDuring([&] { EXPECT_FALSE(c.call()); }, true);
      const std::string text = c.text().str();
      // A record tells of the loss; the host's own statement may answer
      // what its driver met first.
      if (c.left != Left::kNothing) {
        EXPECT_NE(text.find(kLost), std::string::npos) << text;
      }
      switch (c.left) {
        case Left::kError:
          EXPECT_EQ(records, Records{"5 " + text});
          break;
        case Left::kWarning:
          EXPECT_EQ(records, Records{"4 " + text});
          break;
        case Left::kNothing:
          EXPECT_EQ(records, Records{});
          break;
        case Left::kLoadError:
          ASSERT_EQ(records.size(), 1u) << testing::PrintToString(records);
          EXPECT_EQ(records[0].rfind("5 " + std::string(kLost), 0), 0u)
              << records[0];
          break;
        case Left::kErrorsOnly:
          // The tolerated statement logs its own failure; then the call's.
          ASSERT_FALSE(records.empty());
          EXPECT_EQ(records.back(), "5 " + text);
          for (const std::string& record : records)
            EXPECT_EQ(record.rfind("5 ", 0), 0u) << record;
          break;
      }
    }
    // The call after the end goes on over a new session.
    EXPECT_TRUE(meta_->addFolder(0, round.what, id))
        << meta_->getErrorMessage().str();
  }
}

INSTANTIATE_TEST_SUITE_P(Postgres, PostgresLostSessionRecordsTest,
                         ::testing::Values(RdaTarget::kPostgres),
                         rdaTargetName);

}  // namespace
