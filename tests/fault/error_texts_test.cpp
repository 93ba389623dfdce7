// Operations that answer false leave their reason, on the repository and on
// its data-access objects: a refused key, a missing key, a lookup without
// a key or without a row, a repository file that another connection holds
// locked, and a begin refused on such a file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "rda/rda_factory.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/profile_data_access.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"

namespace {

class ErrorTextsTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    repository_ = createAndOpen(db_);
    ASSERT_NE(repository_, nullptr);
    common_ = repository_->createCommonDataAccess();
  }
  void TearDown() override {
    if (common_) common_->release();
    if (repository_) repository_->release();
    AdminTargetTest::TearDown();
  }

  AdminDatabase db_;
  RepositoryImpl* repository_ = nullptr;
  CommonRepositoryDataAccess* common_ = nullptr;
  LogCapture log_;  // keeps the expected failures off the console
};

TEST_P(ErrorTextsTest, RefusedAndMissingKeysSayWhy) {
  KvbString value;
  EXPECT_FALSE(repository_->setKeyValue(KvbString(), "v"));
  EXPECT_EQ(repository_->getErrorMessage().str(),
            "A key/value pair cannot have a null key");
  EXPECT_FALSE(common_->getKeyValue("absent", &value));
  EXPECT_EQ(common_->getErrorMessage().str(),
            "No value is stored under the key \"absent\"");
  EXPECT_FALSE(repository_->getKeyValue("gone", &value));
  EXPECT_EQ(repository_->getErrorMessage().str(),
            "No value is stored under the key \"gone\"");
  EXPECT_EQ(cursorRows(repository_->getKeyValues()),
            std::vector<std::string>{});
}

// A lookup that answers null or false for a key not given, or for a row
// that is not there, leaves a text of its own: never the text of the
// failure before it, here a duplicate profile job.
TEST_P(ErrorTextsTest, LookupsWithoutAKeyOrARowSayWhy) {
  ProfileRepositoryDataAccess* profile = repository_->createProfileDataAccess();
  MonitorRepositoryDataAccess* monitor = repository_->createMonitorDataAccess();
  MetadataRepositoryDataAccess* meta = repository_->createMetadataDataAccess();
  const int job = profile->addProfileJob("dup", "", "u", 0, 0, "", "", 0);
  ASSERT_GT(job, 0) << profile->getErrorMessage().str();
  // Each lookup follows a failure of its own object's connection.
  const auto afterAFailure = [&](auto* store) {
    EXPECT_EQ(profile->addProfileJob("dup", "", "v", 0, 0, "", "", 0), -1);
    return store;
  };
  const auto textOf = [](ReposDataAccessObject* store) {
    return store->getErrorMessage().str();
  };

  EXPECT_EQ(afterAFailure(monitor)->findTask(-1, "", ""), nullptr);
  EXPECT_EQ(textOf(monitor), "No id, code or name of a task was given");
  EXPECT_EQ(afterAFailure(monitor)->findSource(0, "", ""), nullptr);
  EXPECT_EQ(textOf(monitor), "No id, UUID or name of a source was given");
  EXPECT_EQ(afterAFailure(monitor)->findDimension(-1, "", ""), nullptr);
  EXPECT_EQ(textOf(monitor), "No id, UUID or name of a dimension was given");
  EXPECT_EQ(afterAFailure(monitor)->findThreshold(-1, "", ""), nullptr);
  EXPECT_EQ(textOf(monitor), "No id, UUID or name of a threshold was given");
  EXPECT_EQ(afterAFailure(common_)->findRule(-1, "", ""), nullptr);
  EXPECT_EQ(textOf(common_), "No id, UUID or name of a rule was given");
  EXPECT_EQ(afterAFailure(common_)->findGlobalCategory(-1, "", "u"), nullptr);
  EXPECT_EQ(textOf(common_), "No id or name of a global category was given");
  EXPECT_EQ(afterAFailure(common_)->listCustomMetricFieldMap(4, -1), nullptr);
  EXPECT_EQ(textOf(common_),
            "No custom metric was given for the field map of rule 4");
  EXPECT_EQ(afterAFailure(profile)->getProfileJob(-1, "", ""), nullptr);
  EXPECT_EQ(textOf(profile), "No id, UUID or name of a profile job was given");

  int id = -7;
  EXPECT_FALSE(afterAFailure(profile)->findJobDsnId(job, "dsn", &id));
  EXPECT_EQ(textOf(profile), "Profile job " + std::to_string(job) +
                                 " has no data source named \"dsn\"");
  EXPECT_FALSE(afterAFailure(profile)->findJobTableId(job, -1, "", "", "T", "",
                                                      "", "", "", &id));
  EXPECT_EQ(textOf(profile), "Profile job " + std::to_string(job) +
                                 " has no table that matches the criteria "
                                 "given");
  EXPECT_EQ(id, -7);
  KvbString uuid, user;
  KvbDatavar date;
  EXPECT_FALSE(afterAFailure(meta)->getObjectLock(3, "Rule", uuid, user, date));
  EXPECT_EQ(textOf(meta), "The Rule object 3 has no lock");
  meta->release();
  monitor->release();
  profile->release();
}

// Another connection holds the file: a write, and a read of a statement
// whose rows cannot be fetched, each answer false with the reason, which
// names the file and the wait that the busy timeout allowed.
TEST_P(ErrorTextsTest, ALockedFileGivesTheReason) {
  if (!isFile()) GTEST_SKIP() << "file locks are the SQLite back end's";
  KvbString value;
  ASSERT_TRUE(repository_->setKeyValue("k", "v"));
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db_.file.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
  const std::string locked =
      "cannot access the database file '" + db_.file +
      "': database is locked by another connection; gave up waiting for it "
      "after 5000 ms (SQLITE/BUSY_TIMEOUT)";
  EXPECT_FALSE(common_->getKeyValue("k", &value));
  EXPECT_EQ(common_->getErrorMessage().str(), locked);
  EXPECT_FALSE(repository_->setKeyValue("k", "w"));
  EXPECT_EQ(repository_->getErrorMessage().str(), locked);
  sqlite3_close(holder);
  ASSERT_TRUE(repository_->getKeyValue("k", &value));
  EXPECT_EQ(value.str(), "v");
}

// A data-access object's begin that finds the file locked by another
// connection keeps its level, with nothing begun: its paired end answers
// false with the begin's reason, and only an end after that is unpaired; a
// call in between fails with the begin's reason.
TEST_P(ErrorTextsTest, ABeginRefusedOnALockedFileIsEndedWithItsReason) {
  if (isPostgres()) GTEST_SKIP() << "file locks are the SQLite back end's";
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "50");
  RepositoryImpl* impatient = open(db_);
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  ASSERT_NE(impatient, nullptr);
  CommonRepositoryDataAccess* common = impatient->createCommonDataAccess();
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db_.file.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_FALSE(common->beginTransaction(1, 0));
  const std::string reason = common->getErrorMessage().str();
  EXPECT_NE(reason.find("database is locked"), std::string::npos) << reason;
  sqlite3_close(holder);
  EXPECT_FALSE(common->endTransaction(false));
  EXPECT_EQ(common->getErrorMessage().str(), reason);
  EXPECT_FALSE(common->endTransaction(false));
  EXPECT_EQ(common->getErrorMessage().str(), libraryMessage(1068));

  // A write between such a begin and its end is refused, not committed on
  // its own: the host's end cannot undo it.
  ASSERT_EQ(sqlite3_open(db_.file.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_FALSE(common->beginTransaction(1, 0));
  sqlite3_close(holder);
  const std::string lost = "The transaction could not begin: " + reason;
  EXPECT_FALSE(common->setKeyValue("kv_after_failed_begin", "v"));
  EXPECT_EQ(common->getErrorMessage().str(), lost);
  EXPECT_FALSE(common->endTransaction(false));
  EXPECT_EQ(common->getErrorMessage().str(), lost);
  KvbString value;
  EXPECT_FALSE(impatient->getKeyValue("kv_after_failed_begin", &value))
      << "stored outside the transaction: " << value.str();
  common->release();
  impatient->release();
}

// A row that another session holds past the lock timeout fails a write of
// the key, or a draw from the counter, with a text that names the key or
// the counter and the operation, the server's reason once; never the
// engine's statement on its own tables.
TEST_P(ErrorTextsTest, ARowHeldByAnotherSessionNamesTheKey) {
  if (!isPostgres()) GTEST_SKIP() << "a SQLite file is locked whole";
  ASSERT_TRUE(repository_->setKeyValue("k", "v"));
  int id = 0;
  KvbString errorText;
  ASSERT_TRUE(repository_->getNextID("FOLDER", &id, &errorText));
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "100");
  RepositoryImpl* quick = open(db_);
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  ASSERT_NE(quick, nullptr) << error();
  KvbString reason;
  ReposDataAccess* other = createReposDataAccess(
      0, db_.connection.c_str(), db_.prefix.c_str(), nullptr, reason);
  ASSERT_NE(other, nullptr) << reason.str();
  const auto holding = [&](const char* table, const char* where) {
    other->endTransaction(false);
    EXPECT_TRUE(other->beginTransaction(false, nullptr));
    EXPECT_TRUE(other->paramExec(
        "UPDATE " + other->getTableName(table, true, -1) + " SET " + where,
        nullptr, 0))
        << other->getErrorMessage().str();
  };
  const std::string server =
      "[55P03] ERROR: canceling statement due to lock timeout; Error while "
      "executing the query";
  // Where the driver's mode ends the transaction at a refused statement
  // (Protocol=7.4-1), a statement that fails after another of the call's
  // own transaction gives the server's reason alone too: nothing of the
  // host's was lost.
  // Each failure is logged once at level 5, as the text the host reads.
  const auto expectText = [&](const std::function<bool()>& call,
                              const std::string& text) {
    std::vector<std::string> errors;
    for (const std::string& record :
         log_.failuresDuring([&] { EXPECT_FALSE(call()); }, true))
      if (record.rfind("5 ", 0) == 0) errors.push_back(record);
    EXPECT_EQ(errors, std::vector<std::string>{"5 " + text});
    EXPECT_EQ(quick->getErrorMessage().str(), text);
  };
  const std::string notSet = "The value of the key \"k\" could not be set: ";
  holding("KEYVAL", "V_VALUE=V_VALUE WHERE V_KEY='k'");
  expectText([&] { return quick->setKeyValue("k", "w"); }, notSet + server);
  holding("UCURID", "NI_VAL=NI_VAL WHERE NI_KEY='KEYVAL'");
  expectText([&] { return quick->setKeyValue("k", "w"); }, notSet + server);
  holding("UCURID", "NI_VAL=NI_VAL WHERE NI_KEY='FOLDER'");
  expectText(
      [&] { return quick->getNextID("FOLDER", &id, &errorText); },
      "The next id of the counter \"FOLDER\" could not be drawn: " + server);
  EXPECT_EQ(errorText.str(), quick->getErrorMessage().str());
  other->endTransaction(false);
  other->release();
  quick->release();
}

INSTANTIATE_ADMIN_TARGETS(ErrorTextsTest);

}  // namespace

namespace {

// A repository that cannot be created or opened is named once, by what the
// host wrote: the file's path (also when a connection string opens the
// file), the prefix only where the reason is about it, and the reason of
// the database after it, without naming the file again. An empty
// connection string or path gets the engine's own text before any driver
// is asked.
TEST(ErrorTexts, ARepositoryThatCannotBeHadIsNamedOnce) {
  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                               KV_SOURCE_DIR "/etc/reposcreate");
  TempDir dir;
  LogCapture log;
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  const std::string inMissingFolder = dir.file("no-folder") + "/r.db";
  const std::string missing = dir.file("missing.db");
  const std::string text = dir.file("text.db");
  std::ofstream(text) << "This is a text file, not a database.\n";
  const std::string prefixed = dir.file("prefixed.db");
  const std::string viaConnection =
      "FILE=" + prefixed + ";CREATE=TRUE;KVXTYPE=SQLITE";
  const auto opened = [&](Repository* repository) {
    if (repository) repository->release();
    return repository != nullptr;
  };
  const std::vector<std::pair<std::function<bool()>, std::string>> cases = {
      {[&] { return admin->createFileRepository(inMissingFolder.c_str()); },
       "The repository in the database file \"" + inMissingFolder +
           "\" could not be created: unable to open database file (its "
           "folder: No such file or directory)"},
      {[&] {
         return opened(admin->openFileRepository(missing.c_str(), false));
       },
       "The repository in the database file \"" + missing +
           "\" could not be opened: unable to open database file (No such "
           "file or directory)"},
      {[&] { return opened(admin->openFileRepository(text.c_str(), false)); },
       "The repository in the database file \"" + text +
           "\" could not be opened: file is not a database"},
      {[&] {
         return admin->createRepository(viaConnection.c_str(), "bad-prefix");
       },
       "The repository in the database file \"" + prefixed +
           "\" could not be created: the table prefix \"bad-prefix\" is not "
           "letters, digits and underscores (with one point between schema "
           "and prefix)"},
      {[&] { return admin->createRepository("", ""); },
       "The repository cannot be created: the connection string is empty"},
      {[&] {
         return opened(admin->openRepositoryConnection("", "", false, nullptr));
       },
       "The repository cannot be opened: the connection string is empty"},
      {[&] { return admin->deleteRepositoryTables("", ""); },
       "The repository cannot be opened: the connection string is empty"},
      {[&] { return admin->createFileRepository(""); },
       "The repository cannot be created: the database file path is empty"},
      {[&] { return opened(admin->openFileRepository("", false)); },
       "The repository cannot be opened: the database file path is empty"},
  };
  for (const auto& call : cases) {
    EXPECT_FALSE(call.first());
    EXPECT_EQ(admin->getErrorMessage().str(), call.second);
  }
  admin->release();
  kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
}

}  // namespace
