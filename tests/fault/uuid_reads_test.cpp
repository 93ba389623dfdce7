// The repository's UUID when its read fails: a damaged page, a disk read
// error and a busy file each answer no UUID with the reason; a copy onto
// itself is refused whatever its reads do; and an event posted after a
// commit carries the UUID read before when its own read fails.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fault/fault_vfs.h"
#include "impexp/repactionevent.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/import_export_manager.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "support/event_recorder.h"
#include "support/log_capture.h"
#include "support/sqlite_rows.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

namespace {

// The first integer that `sql` gives on the file; -1 when it cannot.
int sqliteInt(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  int value = -1;
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) ==
          SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW)
    value = sqlite3_column_int(statement, 0);
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return value;
}

class UuidReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 KV_SOURCE_DIR "/etc/reposcreate");
    admin_ = createRepositoryAdmin(1, nullptr);
    ASSERT_TRUE(admin_->createFileRepository(path_.c_str()))
        << admin_->getErrorMessage().str();
    repository_ = open();
    ASSERT_NE(repository_, nullptr);
    uuid_ = repository_->getRepositoryUUID().str();
    ASSERT_EQ(uuid_.size(), 36u);
  }
  void TearDown() override {
    if (repository_) repository_->release();
    if (admin_) admin_->release();
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  }

  Repository* open() {
    Repository* repository = admin_->openFileRepository(path_.c_str(), false);
    EXPECT_NE(repository, nullptr) << admin_->getErrorMessage().str();
    return repository;
  }

  // Every row of every table, as SQLite itself reads them.
  std::vector<std::string> content() { return sqliteRows(path_); }

  // The UUID that the repository answers while `failing` holds, and the
  // text it gives then.
  std::pair<std::string, std::string> uuidAnswer() {
    const std::string uuid = repository_->getRepositoryUUID().str();
    return {uuid, repository_->getErrorMessage().str()};
  }

  FaultVfs vfs_;  // under every file opened, from the fixture's start
  // Opens the repository anew with its read `openFailAt` failing (0:
  // none), then locks `objectId` from no page cached with its read
  // `lockFailAt` failing; answers the reads of the lock.
  int lockOnNewOpen(int objectId, int openFailAt, int lockFailAt) {
    repository_->release();
    vfs_.armReads(openFailAt, SQLITE_IOERR_READ);
    repository_ = open();
    EXPECT_EQ(vfs_.readFired(), openFailAt > 0);
    if (!repository_) return 0;
    MetadataRepositoryDataAccess* meta =
        repository_->createMetadataDataAccess();
    EXPECT_TRUE(sqliteExec(path_, "PRAGMA user_version = " +
                                      std::to_string(objectId)));
    vfs_.armReads(lockFailAt, SQLITE_IOERR_READ);
    EXPECT_TRUE(meta->lockObject(objectId, "Rule", "ann", "u"));
    vfs_.disarmReads();
    EXPECT_EQ(vfs_.readFired(), lockFailAt > 0);
    meta->release();
    return vfs_.reads();
  }

  TempDir dir_;
  const std::string path_ = dir_.file("repository.db");
  LogCapture log_;  // keeps the expected failures off the console
  RepositoryAdmin* admin_ = nullptr;
  Repository* repository_ = nullptr;
  std::string uuid_;
};

// A damaged page of INFO, a disk read error and a file that another
// connection holds each answer no UUID with the read's reason; once the
// cause is gone the UUID is read as before.
TEST_F(UuidReadTest, AUuidThatCannotBeReadIsAFailureWithItsReason) {
  {
    SCOPED_TRACE("a disk read error");
    FaultVfs& vfs = vfs_;
    ASSERT_TRUE(sqliteExec(path_, "PRAGMA user_version = 7"));  // drops caches
    vfs.armReads(1, SQLITE_IOERR_READ);
    const auto [uuid, why] = uuidAnswer();
    vfs.disarmReads();
    EXPECT_EQ(uuid, "");
    EXPECT_NE(why.find("disk I/O error"), std::string::npos) << why;
  }
  EXPECT_EQ(repository_->getRepositoryUUID().str(), uuid_);
  {
    SCOPED_TRACE("a busy file");
    kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20");
    repository_->release();
    repository_ = open();
    ASSERT_NE(repository_, nullptr);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    const auto [uuid, why] = uuidAnswer();
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(uuid, "");
    EXPECT_NE(why.find("locked"), std::string::npos) << why;
  }
  EXPECT_EQ(repository_->getRepositoryUUID().str(), uuid_);
  {
    SCOPED_TRACE("a damaged page of INFO");
    repository_->release();
    repository_ = nullptr;
    const int page = sqliteInt(path_, "PRAGMA page_size");
    const int root = sqliteInt(
        path_, "SELECT rootpage FROM sqlite_master WHERE name = 'INFO'");
    ASSERT_GT(root, 1);
    std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(root - 1) * page);
    file.put('\x77');  // no kind of b-tree page
    file.close();
    repository_ = open();  // an open that does not check succeeds
    ASSERT_NE(repository_, nullptr);
    const auto [uuid, why] = uuidAnswer();
    EXPECT_EQ(uuid, "");
    EXPECT_NE(why.find("malformed"), std::string::npos) << why;
  }
}

// One object as both ends of a copy is refused before anything is read,
// with and without a read that fails; two opens of one file are refused
// too, with the read's reason when a UUID read fails.
TEST_F(UuidReadTest, ACopyOntoItselfIsRefusedWhateverItsReadsDo) {
  ASSERT_TRUE(repository_->setKeyValue("k", "v"));
  MetadataRepositoryDataAccess* meta = repository_->createMetadataDataAccess();
  int folder = 0;
  ASSERT_TRUE(meta->addFolder(0, "F", folder));
  meta->release();
  const std::vector<std::string> before = content();
  const std::string same =
      "The source and the target of the copy are the same repository";
  FaultVfs& vfs = vfs_;
  for (int failAt : {0, 1}) {
    SCOPED_TRACE("read " + std::to_string(failAt) + " fails");
    ASSERT_TRUE(sqliteExec(path_, "PRAGMA user_version = " +
                                      std::to_string(failAt + 10)));
    vfs.armReads(failAt, SQLITE_IOERR_READ);
    EXPECT_FALSE(admin_->copyRepository(repository_, repository_));
    vfs.disarmReads();
    EXPECT_EQ(vfs.reads(), 0) << "the refusal read the file";
    EXPECT_EQ(admin_->getErrorMessage().str(), same);
    EXPECT_EQ(content(), before);
  }
  Repository* other = open();
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(admin_->copyRepository(repository_, other));
  EXPECT_EQ(admin_->getErrorMessage().str(), same);
  for (int failAt : {1, 2}) {  // the source's UUID read, then the target's
    SCOPED_TRACE("read " + std::to_string(failAt) + " fails");
    ASSERT_TRUE(sqliteExec(path_, "PRAGMA user_version = " +
                                      std::to_string(failAt + 20)));
    vfs.armReads(failAt, SQLITE_IOERR_READ);
    EXPECT_FALSE(admin_->copyRepository(repository_, other));
    vfs.disarmReads();
    EXPECT_TRUE(vfs.readFired());
    EXPECT_EQ(admin_->getErrorMessage().str().rfind(
                  "The copy could not tell whether the source and the target "
                  "are the same repository: ",
                  0),
              0u)
        << admin_->getErrorMessage().str();
    EXPECT_EQ(content(), before);
  }
  other->release();
}

// An event posted after its commit reads the UUID again; when that read
// fails, the event carries the UUID that the open read. Each lock starts
// on a new connection with no page cached, so that the reads of two locks
// are the same: the last is the event's.
TEST_F(UuidReadTest, AnEventWhoseUuidReadFailsCarriesTheUuidReadAtTheOpen) {
  const int reads = lockOnNewOpen(1, 0, 0);
  EventRecorder recorder(
      [](const RepositoryEvent& e) { return e.reposUUID.str(); });
  lockOnNewOpen(2, 0, reads);
  EXPECT_EQ(recorder.events, std::vector<std::string>{uuid_});
  EXPECT_FALSE(log_.contains("No event was posted"));
}

// An open whose read of the UUID fails still opens; an event whose own
// read then fails is not addressed to an empty UUID: it is not posted, and
// an error record says why.
TEST_F(UuidReadTest, AnEventWithNoUuidToCarryIsNotPosted) {
  const int reads = lockOnNewOpen(1, 0, 0);
  vfs_.armReads(0, 0);
  repository_->release();
  repository_ = open();
  const int openReads = vfs_.reads();  // the last is the UUID's
  EventRecorder recorder(
      [](const RepositoryEvent& e) { return e.reposUUID.str(); });
  lockOnNewOpen(2, openReads, reads);
  EXPECT_EQ(recorder.events, std::vector<std::string>{});
  const std::string record = log_.records().back().text;
  EXPECT_EQ(record.rfind(
                "No event was posted: the repository's UUID could not be read: ",
                0),
            0u)
      << record;
  EXPECT_NE(record.find("disk I/O error"), std::string::npos) << record;
}

// The reads of an object's path: a folder row that cannot be read is no
// path that cannot be built. An export of a rule filed two folders deep,
// with each of its reads failing in turn, either fails with the read's
// reason or names the rule by its path.
using ObjectPathReadTest = UuidReadTest;
TEST_F(ObjectPathReadTest, AnExportWhoseFolderRowCannotBeReadFailsOrNamesIt) {
  MetadataRepositoryDataAccess* meta = repository_->createMetadataDataAccess();
  CommonRepositoryDataAccess* common = repository_->createCommonDataAccess();
  RepositoryImportExportManager* manager =
      repository_->createImportExportManager();
  int outer = 0, inner = 0;
  ASSERT_TRUE(meta->addFolder(0, "outer", outer));
  ASSERT_TRUE(meta->addFolder(outer, "inner", inner));
  const int rule = common->addRule("deep", "T", "x", "", "", "ann", "u-deep",
                                   inner, "", "");
  ASSERT_GT(rule, 0) << common->getErrorMessage().str();
  // The export's reads from no page cached: each run starts so.
  int round = 0;
  auto exportRule = [&](int failAt, std::string& events, std::string& error) {
    EXPECT_TRUE(sqliteExec(path_, "PRAGMA user_version = " +
                                      std::to_string(++round)));
    auto* log = new RepositoryActionEventStringImpl();
    KvbString out, why;
    vfs_.armReads(failAt, SQLITE_IOERR_READ);
    const bool exported =
        manager->exportObject(rule, "Rule", "u-deep", out, why, log);
    vfs_.disarmReads();
    events = log->getText().str() + out.str();
    error = why.str();
    log->release();
    return exported;
  };
  std::string events, error;
  ASSERT_TRUE(exportRule(0, events, error)) << error;
  const int reads = vfs_.reads();
  ASSERT_GT(reads, 0);
  EXPECT_NE(events.find("outer/inner"), std::string::npos) << events;
  for (int failAt = 1; failAt <= reads; ++failAt) {
    SCOPED_TRACE("read " + std::to_string(failAt));
    if (exportRule(failAt, events, error)) {
      EXPECT_EQ(events.find("[UNKNOWN"), std::string::npos) << events;
    } else {
      EXPECT_NE(error.find("disk I/O error"), std::string::npos) << error;
    }
  }
  delete manager;
  common->release();
  meta->release();
}

}  // namespace
