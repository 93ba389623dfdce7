// Reads that fail part-way: each call whose answer can mean "not there"
// (no row, no object, nothing matches, the stored id) answers failure, with
// the read's reason, when a read of the database file fails under it: the
// first read, one in the middle and the last, with a disk read error and
// with a damaged page. The file is left as it was.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fault/failed_reads.h"
#include "fault/fault_vfs.h"
#include "reposadmin/kvreposadmin.h"
#include "support/log_capture.h"
#include "support/sqlite_rows.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

// ---------------------------------------------------------------------------
// ReadStores

ReadStores::~ReadStores() {
  if (common_) common_->release();
  if (meta_) meta_->release();
  if (monitor_) monitor_->release();
  if (profile_) profile_->release();
  if (explorer_) explorer_->release();
  if (refdata_) refdata_->release();
  if (ncoa_) ncoa_->release();
  if (folders_) folders_->release();
  if (impact_) impact_->release();
  delete impexp_;
  if (repository_) repository_->release();
}

#define KV_READ_STORE(type, name, factory)                             \
  type* ReadStores::name() {                                           \
    if (!name##_) name##_ = repository_->factory();                    \
    return name##_;                                                    \
  }
KV_READ_STORE(CommonRepositoryDataAccess, common, createCommonDataAccess)
KV_READ_STORE(MetadataRepositoryDataAccess, meta, createMetadataDataAccess)
KV_READ_STORE(MonitorRepositoryDataAccess, monitor, createMonitorDataAccess)
KV_READ_STORE(ProfileRepositoryDataAccess, profile, createProfileDataAccess)
KV_READ_STORE(ExplorerRepositoryDataAccess, explorer, createExplorerDataAccess)
KV_READ_STORE(RefDataRepositoryDataAccess, refdata, createRefDataDataAccess)
KV_READ_STORE(NCOARepositoryDataAccess, ncoa, createNCOADataAccess)
KV_READ_STORE(RepositoryFolderManager, folders, createFolderManager)
KV_READ_STORE(RepositoryImpactAnalysis, impact, createImpactAnalysis)
KV_READ_STORE(RepositoryImportExportManager, impexp, createImportExportManager)
#undef KV_READ_STORE

void ReadStores::makeAll() {
  common();
  meta();
  monitor();
  profile();
  explorer();
  refdata();
  ncoa();
  folders();
  impact();
  impexp();
}

namespace {

// Changes the file's change counter from another connection, so that
// every connection open on it drops its cached pages and reads them from
// the file again at its next statement.
bool invalidateCaches(const std::string& path) {
  sqlite3* db = nullptr;
  const bool ok =
      sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
      sqlite3_exec(db,
                   "BEGIN IMMEDIATE; CREATE TABLE kv_touch(x); "
                   "DROP TABLE kv_touch; COMMIT",
                   nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

std::string reasonOf(int error) {
  return error == SQLITE_CORRUPT ? "database disk image is malformed"
                                 : "disk I/O error";
}

std::vector<ReadCase> allCases() {
  std::vector<ReadCase> cases;
  for (auto part : {repositoryReadCases, storeReadCases, monitorReadCases,
                    profileReadCases, servicesReadCases}) {
    std::vector<ReadCase> some = part();
    cases.insert(cases.end(), some.begin(), some.end());
  }
  return cases;
}

class FailedReadTest : public ::testing::TestWithParam<ReadCase> {
 protected:
  void SetUp() override {
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 KV_SOURCE_DIR "/etc/reposcreate");
    admin_ = createRepositoryAdmin(1, nullptr);
    prepared_ = dir_.file("prepared.db");
    ASSERT_TRUE(admin_->createFileRepository(prepared_.c_str()))
        << admin_->getErrorMessage().str();
    {
      ReadStores stores(admin_, open(prepared_));
      ASSERT_NE(stores.repository(), nullptr);
      if (GetParam().prepare) GetParam().prepare(stores);
    }
    ASSERT_FALSE(HasFailure()) << "the case could not be prepared";
    before_ = sqliteRows(prepared_);
  }
  void TearDown() override {
    if (admin_) admin_->release();
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
  }

  Repository* open(const std::string& path) {
    Repository* repository = admin_->openFileRepository(path.c_str(), false);
    EXPECT_NE(repository, nullptr) << admin_->getErrorMessage().str();
    return repository;
  }

  // Runs the case's call on a fresh copy of the prepared file with read
  // `failAt` failing with `error` (0: none fails); answers the reads made.
  int run(int failAt, int error) {
    const std::string path = dir_.file("case.db");
    std::filesystem::copy_file(
        prepared_, path, std::filesystem::copy_options::overwrite_existing);
    int reads = 0;
    {
      ReadStores stores(admin_, open(path));
      if (!stores.repository()) return 0;
      stores.makeAll();
      EXPECT_TRUE(invalidateCaches(path));
      const size_t records = log_.records().size();
      vfs_.armReads(failAt, error);
      const ReadAnswer answer = GetParam().call(stores);
      vfs_.disarmReads();
      reads = vfs_.reads();
      if (failAt == 0) {
        EXPECT_FALSE(answer.failed) << "failed with no read failing: "
                                    << answer.text;
        return reads;
      }
      SCOPED_TRACE("read " + std::to_string(failAt) + " of " +
                   std::to_string(reads) + " failed with " + reasonOf(error));
      EXPECT_TRUE(vfs_.readFired());
      EXPECT_TRUE(answer.failed) << "answered as if nothing were there";
      EXPECT_NE(answer.text.find(reasonOf(error)), std::string::npos)
          << answer.text;
      if (GetParam().records >= 0) {
        size_t failures = 0;
        const std::vector<CapturedLog> all = log_.records();
        for (size_t i = records; i < all.size(); ++i)
          failures += all[i].level >= 4;
        EXPECT_EQ(failures, static_cast<size_t>(GetParam().records));
      }
    }
    EXPECT_EQ(sqliteRows(path), before_) << "the failed call changed the file";
    return reads;
  }

  FaultVfs vfs_;
  TempDir dir_;
  LogCapture log_;  // keeps the expected failures off the console
  RepositoryAdmin* admin_ = nullptr;
  std::string prepared_;
  std::vector<std::string> before_;
};

// The first read, one in the middle and the last each fail the call with
// a disk read error; the middle one also as a damaged page.
TEST_P(FailedReadTest, AFailedReadIsAFailureNeverNone) {
  const int reads = run(0, 0);
  ASSERT_GT(reads, 0) << "the call read nothing from the file";
  for (int k : std::set<int>{1, (reads + 1) / 2, reads}) run(k, SQLITE_IOERR_READ);
  run((reads + 1) / 2, SQLITE_CORRUPT);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FailedReadTest, ::testing::ValuesIn(allCases()),
    [](const ::testing::TestParamInfo<ReadCase>& param) {
      return std::string(param.param.name);
    });

}  // namespace
