// The repository object on every back end: reading the kind and versions
// from the INFO rows, opening and its failures, the table-set folder, the
// operations forwarded to the connection, the factories and the key/value
// store.
#include "admin/repositoryimpl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "admin/field_mapping_admin.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/explorer_data_access.h"
#include "reposadmin/metadata_data_access.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

namespace {

std::string catalogueText(int id) {
  return kvb_get_message("test", __LINE__, "Repository Library", id).str();
}

struct Versions {
  int connectionKind = -1, kind = -1, version = -1, second = -1;
};

Versions versionsOf(RepositoryImpl* repo) {
  Versions v;
  repo->getVersionInfo(&v.connectionKind, &v.kind, &v.version, &v.second);
  return v;
}

int infoVersion(RepositoryImpl* repo, const char* type) {
  int version = -1;
  EXPECT_TRUE(repo->getInfoVersion(type, &version, nullptr));
  return version;
}

// Sets a configuration key of the default group for the life of a test.
class ScopedOption {
 public:
  ScopedOption(const char* key, const std::string& value) : key_(key) {
    kvbGetConfigOptions("")->set(key, value.c_str());
  }
  ~ScopedOption() { kvbGetConfigOptions("")->remove(key_); }
  ScopedOption(const ScopedOption&) = delete;
  ScopedOption& operator=(const ScopedOption&) = delete;

 private:
  const char* key_;
};

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}

// A repository on the test's database of each back end, with the core
// tables created and an empty table-set folder.
class RepositoryImplTest : public RdaTargetTest {
 protected:
  void SetUp() override {
    RdaTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    rda_->release();  // the repository opens its own connection
    rda_ = nullptr;
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 tableSets_.path().c_str());
    KvbString error;
    repo_ = open(&error);
    ASSERT_NE(repo_, nullptr) << error.asCstr();
    TableCreateOptions options;
    options.createTables = true;
    ASSERT_TRUE(repo_->getDataAccess()->createTables(options));
    info_ = repo_->getDataAccess()->getTableName("INFO", true, -1);
  }

  void TearDown() override {
    if (repo_) repo_->release();
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
    RdaTargetTest::TearDown();
  }

  // A new repository on the test's database; null with *error set.
  RepositoryImpl* open(KvbString* error) {
    int kind = 1;
    std::string connection;
    switch (GetParam()) {
      case RdaTarget::kSqliteFile:
        kind = 0;
        connection = file_;
        break;
      case RdaTarget::kSqliteConnection:
        connection = "FILE=" + file_ + ";CREATE=TRUE;KVXTYPE=SQLITE";
        break;
      default:
        connection = postgresConnectionString();
    }
    RepositoryImpl* repo = new RepositoryImpl();
    if (repo->init(1, nullptr, kind, connection.c_str(), prefix_.c_str(),
                   "pool-7", nullptr, error))
      return repo;
    repo->release();
    return nullptr;
  }

  // Adds an INFO row; a negative minor version or a null UUID stay NULL.
  void addInfo(const char* type, int version, int minor = -1,
               const char* uuid = nullptr) {
    KvbDatavar t(type), v(version);
    KvbDatavar m = minor < 0 ? KvbDatavar::nullOf(kvbTypeInt) : KvbDatavar(minor);
    KvbDatavar u = uuid ? KvbDatavar(uuid) : KvbDatavar::nullOf(kvbTypeString);
    ASSERT_TRUE(repo_->getDataAccess()->paramExec(
        "INSERT INTO " + info_ + " (I_TYPE, I_VERS, I_MVER, I_UUID) "
        "VALUES (?, ?, ?, ?)", nullptr, 4, &t, &v, &m, &u))
        << repo_->getDataAccess()->getErrorMessage().asCstr();
  }

  Versions reread() {
    EXPECT_TRUE(repo_->readVersionInfo());
    return versionsOf(repo_);
  }

  bool isFile() const { return GetParam() == RdaTarget::kSqliteFile; }

  TempDir tableSets_;  // empty: the repository reads no table sets
  RepositoryImpl* repo_ = nullptr;
  KvbString info_;
};

// --- Kind and versions from the INFO rows -------------------------------

TEST_P(RepositoryImplTest, DatabaseWithoutRowsIsKindNone) {
  Versions v = versionsOf(repo_);
  EXPECT_EQ(v.connectionKind, isFile() ? 0 : 1);
  EXPECT_EQ(v.kind, kKindNone);
  EXPECT_EQ(v.version, 0);
  EXPECT_EQ(v.second, 0);
  EXPECT_EQ(infoVersion(repo_, "PROFILE_RESULTSET"), 0);
  EXPECT_EQ(infoVersion(repo_, "NO_SUCH_TYPE"), 0);
  EXPECT_FALSE(repo_->isCurrentVersion());
  EXPECT_FALSE(repo_->isMinorVersionCurrent());
}

TEST_P(RepositoryImplTest, CurrentUnifiedRepository) {
  addInfo("KVREPOSITORY", 7, 4, "uuid-1");
  addInfo("NCOA", 1);
  addInfo("REFDATA", 3);
  Versions v = reread();
  EXPECT_EQ(v.kind, kKindUnified);
  EXPECT_EQ(v.version, 7);
  EXPECT_EQ(v.second, 0);
  EXPECT_EQ(repo_->getMinorVersion(), 4);
  EXPECT_TRUE(repo_->isCurrentVersion());
  EXPECT_TRUE(repo_->isMinorVersionCurrent());
  EXPECT_TRUE(repo_->isNCOAVersionCurrent());
  EXPECT_EQ(infoVersion(repo_, "KVREPOSITORY"), 7);
  EXPECT_EQ(infoVersion(repo_, "REFDATA"), 3);
  EXPECT_EQ(infoVersion(repo_, "MONITOR"), 0);
  EXPECT_EQ(repo_->getRepositoryUUID(), KvbString("uuid-1"));
}

TEST_P(RepositoryImplTest, MinorVersionIsReadOnlyFromVersionFour) {
  addInfo("KVREPOSITORY", 3, 4);
  reread();
  EXPECT_EQ(repo_->getMinorVersion(), 0);
  EXPECT_FALSE(repo_->isCurrentVersion());
  EXPECT_FALSE(repo_->isNCOAVersionCurrent());
}

TEST_P(RepositoryImplTest, UnifiedRowOutranksProductRows) {
  addInfo("PROFILE_RESULTSET", 20);
  addInfo("MONITOR", 5);
  addInfo("NCOA", 1);
  Versions v = reread();
  EXPECT_EQ(v.kind, kKindUnified);
  EXPECT_EQ(v.version, 0);  // no KVREPOSITORY row
  EXPECT_EQ(v.second, 0);
  EXPECT_EQ(infoVersion(repo_, "MONITOR"), 5);
  EXPECT_EQ(infoVersion(repo_, "PROFILE_RESULTSET"), isFile() ? 200 : 20);
}

TEST_P(RepositoryImplTest, ProfileAndMonitorRows) {
  if (isFile()) GTEST_SKIP() << "a SQLite file stores profile versions as reals";
  addInfo("PROFILE_RESULTSET", 20);
  addInfo("MONITOR", 5);
  Versions v = reread();
  EXPECT_EQ(v.kind, kKindProfileAndMonitor);
  EXPECT_EQ(v.version, 20);
  EXPECT_EQ(v.second, 5);
}

TEST_P(RepositoryImplTest, MonitorRowAlone) {
  addInfo("MONITOR", 5);
  Versions v = reread();
  EXPECT_EQ(v.kind, kKindMonitor);
  EXPECT_EQ(v.version, 5);
  EXPECT_EQ(v.second, 0);
}

TEST_P(RepositoryImplTest, RereadingForgetsRowsThatAreGone) {
  addInfo("KVREPOSITORY", 7, 4);
  addInfo("REFDATA", 3);
  reread();
  ASSERT_TRUE(repo_->getDataAccess()->paramExec("DELETE FROM " + info_,
                                                nullptr, 0));
  Versions v = reread();
  EXPECT_EQ(v.kind, kKindNone);
  EXPECT_EQ(v.version, 0);
  EXPECT_EQ(repo_->getMinorVersion(), 0);
  EXPECT_EQ(infoVersion(repo_, "REFDATA"), 0);
}

// --- Operations forwarded to the connection -----------------------------

TEST_P(RepositoryImplTest, IdCountersHandOutConsecutiveIds) {
  int first = -1, id = -1;
  KvbString error;
  ASSERT_TRUE(repo_->getNextID("TESTK", &first, &error)) << error.asCstr();
  ASSERT_TRUE(repo_->getNextID("TESTK", &id, &error));
  EXPECT_EQ(id, first + 1);
  ASSERT_TRUE(repo_->getNextIDs("TESTK", 5, &id, &error));
  EXPECT_EQ(id, first + 2);
  ASSERT_TRUE(repo_->getNextIDs("TESTK", 0, &id, &error));
  EXPECT_EQ(id, first + 7);
  ASSERT_TRUE(repo_->getNextIDs("TESTK", 1, nullptr, &error));
  ASSERT_TRUE(repo_->getNextID("TESTK", &id, &error));
  EXPECT_EQ(id, first + 9);
}

TEST_P(RepositoryImplTest, NamesAndNullResultPointers) {
  EXPECT_TRUE(repo_->getTableName("INFO", true, nullptr, nullptr));
  EXPECT_TRUE(repo_->getSchemaName(nullptr, nullptr));
  EXPECT_TRUE(repo_->getTablePrefix(false, nullptr, nullptr));
  KvbString name;
  ASSERT_TRUE(repo_->getTableName("INFO", true, &name, nullptr));
  EXPECT_EQ(name, info_);
  KvbString connection, prefix;
  repo_->getConnectionInfo(&connection, &prefix);
  EXPECT_EQ(prefix, KvbString(prefix_.c_str()));
  EXPECT_FALSE(connection.isEmpty());
  EXPECT_EQ(repo_->getDacConnection() == nullptr, isFile());
}

TEST_P(RepositoryImplTest, ParamSelectBindsValuesAndReportsFailures) {
  ASSERT_TRUE(repo_->setKeyValue("k1", "v1"));
  const KvbString keyval = repo_->getDataAccess()->getTableName("KEYVAL", true, -1);
  KvbDatavar key("k1");
  KvbString error;
  ReposDataAccessCursor* cursor = repo_->paramSelect(
      ("SELECT V_VALUE FROM " + keyval + " WHERE V_KEY=?").asCstr(), &error, 1,
      &key);
  EXPECT_EQ(rows(cursor), std::vector<std::string>{"v1"});

  EXPECT_EQ(repo_->paramSelect("SELECT NO_SUCH FROM NOWHERE", &error, 0),
            nullptr);
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(repo_->paramSelect("SELECT NO_SUCH FROM NOWHERE", nullptr, 0),
            nullptr);
}

TEST_P(RepositoryImplTest, LongTextsRoundTrip) {
  ASSERT_GT(repo_->getMaxTextLength(), 0);
  const KvbString text(std::string(repo_->getMaxTextLength() + 100, 'x'));
  KvbString marker, full;
  ASSERT_TRUE(repo_->writeLongText(text, &marker, 0));
  EXPECT_NE(marker, text);
  ASSERT_TRUE(repo_->readLongText(marker, &full, 0));
  EXPECT_EQ(full, text);
}

// --- Factories and the key/value store ----------------------------------

TEST_P(RepositoryImplTest, FactoriesGiveDistinctObjects) {
  CommonRepositoryDataAccess* a = repo_->createCommonDataAccess();
  CommonRepositoryDataAccess* b = repo_->createCommonDataAccess();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  a->release();
  EXPECT_TRUE(b->setKeyValue("after", "release"));
  b->release();
  KvbString value;
  EXPECT_TRUE(repo_->getKeyValue("after", &value));
  EXPECT_EQ(value, KvbString("release"));

  ExplorerRepositoryDataAccess* explorer = repo_->createExplorerDataAccess();
  MetadataRepositoryDataAccess* metadata = repo_->createMetadataDataAccess();
  ASSERT_NE(explorer, nullptr);
  ASSERT_NE(metadata, nullptr);
  explorer->release();
  metadata->release();
}

TEST_P(RepositoryImplTest, FieldMappingAdminWorksOnTheRepository) {
  FieldMappingAdminObject* object = repo_->createFieldMappingAdmin();
  ASSERT_NE(object, nullptr);
  auto* admin = static_cast<FieldMappingAdminImpl*>(object);
  EXPECT_EQ(admin->getRepository(), repo_);
  ASSERT_NE(admin->getCommonDataAccess(), nullptr);
  EXPECT_TRUE(admin->getCommonDataAccess()->setKeyValue("fm", "1"));
  EXPECT_FALSE(object->init(0, nullptr));
  object->release();
  EXPECT_TRUE(repo_->getKeyValue("fm", nullptr));
}

TEST_P(RepositoryImplTest, KeyValueStore) {
  KvbString value;
  EXPECT_FALSE(repo_->getKeyValue("missing", &value));
  ASSERT_TRUE(repo_->setKeyValue("k", "first"));
  ASSERT_TRUE(repo_->setKeyValue("k", "second"));
  ASSERT_TRUE(repo_->setKeyValue("other", "x"));
  ASSERT_TRUE(repo_->getKeyValue("k", &value));
  EXPECT_EQ(value, KvbString("second"));

  std::vector<std::string> all = rows(repo_->getKeyValues());
  EXPECT_EQ(std::count(all.begin(), all.end(), "k|second"), 1);
  EXPECT_EQ(all.size(), 2u);
  EXPECT_EQ(rows(repo_->getKeys()).size(), 2u);

  ASSERT_TRUE(repo_->deleteKey("k"));
  EXPECT_FALSE(repo_->getKeyValue("k", &value));
  EXPECT_EQ(rows(repo_->getKeys()), std::vector<std::string>{"other"});
}

INSTANTIATE_RDA_TARGETS(RepositoryImplTest);

// --- Opening a SQLite file ----------------------------------------------

class RepositoryOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::create_directory(tableSets()));
  }
  void TearDown() override {
    if (repo_) repo_->release();
  }

  std::string tableSets() const { return dir_.file("sets"); }
  std::string file() const { return dir_.file("repos.db"); }

  // Opens the test's file; false with error_ set.
  bool open(int flags = 1, int connectionKind = 0) {
    if (repo_) repo_->release();
    repo_ = new RepositoryImpl();
    return repo_->init(flags, nullptr, connectionKind, file().c_str(), "",
                       "pool-1", nullptr, &error_);
  }

  TempDir dir_;
  RepositoryImpl* repo_ = nullptr;
  KvbString error_;
};

TEST_F(RepositoryOpenTest, OldProfileFileGivesVersionFromItsReal) {
  ScopedOption sets("REPOS/TABLE_LIST_PATH", tableSets());
  ASSERT_TRUE(open()) << error_.asCstr();
  ReposDataAccess* rda = repo_->getDataAccess();
  ASSERT_TRUE(rda->paramExec(
      "CREATE TABLE \"INFO\" (I_TYPE VARCHAR(32), I_VERSION REAL)", nullptr, 0));
  KvbDatavar type("PROFILE_RESULTSET"), version(1.8);
  ASSERT_TRUE(rda->paramExec("INSERT INTO \"INFO\" VALUES (?, ?)", nullptr, 2,
                             &type, &version));
  ASSERT_TRUE(repo_->readVersionInfo());
  Versions v = versionsOf(repo_);
  EXPECT_EQ(v.connectionKind, 0);
  EXPECT_EQ(v.kind, kKindProfile);
  EXPECT_EQ(v.version, 18);
  EXPECT_EQ(infoVersion(repo_, "PROFILE_RESULTSET"), 18);
}

TEST_F(RepositoryOpenTest, UnknownConnectionKindFails) {
  ScopedOption sets("REPOS/TABLE_LIST_PATH", tableSets());
  EXPECT_FALSE(open(1, 5));
  EXPECT_EQ(error_.str(), catalogueText(1313));
  EXPECT_EQ(repo_->getDataAccess(), nullptr);
}

TEST_F(RepositoryOpenTest, MissingFileFailsWithoutCreateFlag) {
  ScopedOption sets("REPOS/TABLE_LIST_PATH", tableSets());
  EXPECT_FALSE(open(0));
  EXPECT_FALSE(error_.isEmpty());
  EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(RepositoryOpenTest, PoolIdReachesTheRepositoryOptions) {
  ScopedOption sets("REPOS/TABLE_LIST_PATH", tableSets());
  ASSERT_TRUE(open());
  KvbString pool;
  ASSERT_TRUE(kvbGetConfigOptions("REPOSITORY")->get("POOL_ID", pool));
  EXPECT_EQ(pool, KvbString("pool-1"));
}

TEST_F(RepositoryOpenTest, MissingTableSetFolderOnlyWarns) {
  ScopedOption sets("REPOS/TABLE_LIST_PATH", dir_.file("no-such-folder"));
  LogCapture log;
  ASSERT_TRUE(open()) << error_.asCstr();
  EXPECT_EQ(repo_->getTableSetCount(), 0);
  bool warned = false;
  for (const CapturedLog& r : log.records())
    warned |= r.level == 4 && r.logger == "KV.Repos.ReposAdmin.RepositoryImpl";
  EXPECT_TRUE(warned);
}

TEST_F(RepositoryOpenTest, MalformedTableSetFileFailsOpening) {
  ScopedOption sets("REPOS/TABLE_LIST_PATH", tableSets());
  writeFile(tableSets() + "/broken.xml", "<tableSets><tableSet name=");
  LogCapture log;
  EXPECT_FALSE(open());
  EXPECT_FALSE(error_.isEmpty());
  EXPECT_TRUE(log.contains("broken.xml", 5));
}

TEST_F(RepositoryOpenTest, TableSetFolderDefaultsBelowTheHomeFolder) {
  std::filesystem::create_directories(dir_.file("home/etc/reposcreate"));
  writeFile(dir_.file("home/etc/reposcreate/broken.xml"), "<tableSets");
  ScopedOption home("KVEXEC_HOME", dir_.file("home"));
  kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
  EXPECT_FALSE(open());  // the broken file below the home folder was read

  ScopedOption sets("REPOS/TABLE_LIST_PATH", tableSets());
  EXPECT_TRUE(open()) << error_.asCstr();  // the configured folder wins
}

TEST_F(RepositoryOpenTest, ShippedTableSetsAreLoaded) {
  ScopedOption sets("REPOS/TABLE_LIST_PATH", KV_SOURCE_DIR "/etc/reposcreate");
  ASSERT_TRUE(open()) << error_.asCstr();
  const int count = repo_->getTableSetCount();
  ASSERT_GT(count, 0);
  EXPECT_NE(repo_->getTableSet(count - 1), nullptr);
  EXPECT_EQ(repo_->getTableSet(count), nullptr);
  EXPECT_EQ(repo_->getTableSet(-1), nullptr);
}

TEST_F(RepositoryOpenTest, WithoutConnectionOperationsFailCleanly) {
  ScopedOption sets("REPOS/TABLE_LIST_PATH", tableSets());
  ASSERT_FALSE(open(1, 5));
  EXPECT_EQ(repo_->getMaxTextLength(), 0);
  EXPECT_TRUE(repo_->getRepositoryUUID().isEmpty());
  EXPECT_EQ(repo_->getDacConnection(), nullptr);
  int id = -1;
  KvbString error;
  EXPECT_FALSE(repo_->getNextID("K", &id, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(repo_->paramSelect("SELECT 1", nullptr, 0), nullptr);
  EXPECT_TRUE(repo_->getTableName("INFO", true, nullptr, nullptr));
  KvbString name;
  EXPECT_FALSE(repo_->getTableName("INFO", true, &name, nullptr));
  EXPECT_FALSE(repo_->setDDLCallback(nullptr));
  EXPECT_TRUE(repo_->readVersionInfo());
  EXPECT_EQ(versionsOf(repo_).kind, kKindNone);

  // Data-access objects are still handed out; their operations fail.
  CommonRepositoryDataAccess* common = repo_->createCommonDataAccess();
  ASSERT_NE(common, nullptr);
  EXPECT_FALSE(common->setKeyValue("k", "v"));
  common->release();
  EXPECT_FALSE(repo_->getKeyValue("k", &name));
  EXPECT_EQ(repo_->getKeys(), nullptr);
}

}  // namespace
