// The repository object: versions, forwarded operations, factories, opening.
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
#include "support/open_files.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

namespace {

using Ints = std::vector<int>;

// Connection kind, kind, version and second version.
Ints versions(RepositoryImpl* repo) {
  Ints v(4, -1);
  repo->getVersionInfo(&v[0], &v[1], &v[2], &v[3]);
  return v;
}

void setOption(const char* key, const std::string& value) {
  kvbGetConfigOptions("")->set(key, value.c_str());
}

int infoVersion(RepositoryImpl* repo, const char* type) {
  int version = -1;
  EXPECT_TRUE(repo->getInfoVersion(type, &version, nullptr));
  return version;
}

// A repository with the core tables and an empty table-set folder.
class RepositoryImplTest : public RdaTargetTest {
 protected:
  void SetUp() override {
    RdaTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    rda_->release();  // the repository opens its own connection
    rda_ = nullptr;
    setOption("REPOS/TABLE_LIST_PATH", tableSets_.path().string());
    repo_ = new RepositoryImpl();
    KvbString error;
    ASSERT_TRUE(repo_->init(1, nullptr, isFile() ? 0 : 1, location().c_str(),
                            prefix_.c_str(), "pool-7", nullptr, &error))
        << error.asCstr();
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

  // Replaces the INFO rows by "(I_TYPE, I_VERS, I_MVER, I_UUID)" tuples;
  // gives kind and versions.
  Ints load(const std::string& values) {
    ReposDataAccess* rda = repo_->getDataAccess();
    EXPECT_TRUE(rda->paramExec("DELETE FROM " + info_, nullptr, 0));
    EXPECT_TRUE(values.empty() ||
                rda->paramExec("INSERT INTO " + info_ + " (I_TYPE, I_VERS, " +
                                   "I_MVER, I_UUID) VALUES " + values.c_str(),
                               nullptr, 0));
    EXPECT_TRUE(repo_->readVersionInfo());
    const Ints v = versions(repo_);
    return Ints(v.begin() + 1, v.end());  // without the connection kind
  }

  TempDir tableSets_;  // empty: the repository reads no table sets
  RepositoryImpl* repo_ = nullptr;
  KvbString info_;
};

TEST_P(RepositoryImplTest, KindAndVersionsFollowTheInfoRows) {
  EXPECT_EQ(versions(repo_)[0], isFile() ? 0 : 1);  // the connection kind
  // The NCOA row outranks product rows; no KVREPOSITORY row gives version 0.
  EXPECT_EQ(load("('PROFILE_RESULTSET', 20, 0, ''), ('MONITOR', 5, 0, ''), "
                 "('NCOA', 1, 0, '')"),
            (Ints{kKindUnified, 0, 0}));
  EXPECT_EQ(infoVersion(repo_, "MONITOR"), 5);
  EXPECT_EQ(load("('MONITOR', 5, 0, '')"), (Ints{kKindMonitor, 5, 0}));
  if (!isFile()) {  // a SQLite file stores profile versions as reals
    EXPECT_EQ(load("('PROFILE_RESULTSET', 20, 0, ''), ('MONITOR', 5, 0, '')"),
              (Ints{kKindProfileAndMonitor, 20, 5}));
  }
  // The minor version is read only from version 4.
  load("('KVREPOSITORY', 3, 4, '')");
  EXPECT_EQ(repo_->getMinorVersion(), 0);
  EXPECT_EQ(load("('KVREPOSITORY', 7, 4, 'uuid-1'), ('NCOA', 1, 0, ''), "
                 "('REFDATA', 3, 0, '')"),
            (Ints{kKindUnified, 7, 0}));
  EXPECT_EQ(repo_->getMinorVersion(), 4);
  EXPECT_TRUE(repo_->isCurrentVersion() && repo_->isMinorVersionCurrent() &&
              repo_->isNCOAVersionCurrent());
  EXPECT_EQ(infoVersion(repo_, "REFDATA"), 3);
  EXPECT_EQ(repo_->getRepositoryUUID(), KvbString("uuid-1"));

  EXPECT_EQ(load(""), (Ints{kKindNone, 0, 0}));  // all rows are forgotten
  EXPECT_EQ(repo_->getMinorVersion(), 0);
  EXPECT_EQ(infoVersion(repo_, "REFDATA"), 0);

  // An old SQLite file names the column I_VERSION and stores 1.8 for 18.
  if (!isFile()) return;
  for (const char* sql :
       {"DROP TABLE %s", "CREATE TABLE %s (I_TYPE VARCHAR(32), I_VERSION REAL)",
        "INSERT INTO %s VALUES ('PROFILE_RESULTSET', 1.8)"})
    ASSERT_TRUE(repo_->getDataAccess()->paramExec(
        kvbStringFormat(sql, info_.asCstr()), nullptr, 0));
  ASSERT_TRUE(repo_->readVersionInfo());
  EXPECT_EQ(versions(repo_), (Ints{0, kKindProfile, 18, 0}));
  EXPECT_EQ(infoVersion(repo_, "PROFILE_RESULTSET"), 18);
}

// A repository without the row answers no UUID and leaves its text as it
// was; one whose INFO table cannot be read answers none and says why.
TEST_P(RepositoryImplTest, AUuidThatCannotBeReadSaysWhy) {
  EXPECT_FALSE(repo_->exportFrqdstTables(-1, 0, "", false));
  const KvbString before = repo_->getErrorMessage();
  load("('NCOA', 1, 0, 'not-this-one')");
  EXPECT_EQ(repo_->getRepositoryUUID(), KvbString(""));
  EXPECT_EQ(repo_->getErrorMessage(), before);
  ASSERT_TRUE(
      repo_->getDataAccess()->paramExec("DROP TABLE " + info_, nullptr, 0));
  EXPECT_EQ(repo_->getRepositoryUUID(), KvbString(""));
  const std::string why = repo_->getErrorMessage().str();
  EXPECT_NE(KvbString(why.c_str()).toUpper().find("INFO"), KvbString::npos)
      << why;
}

TEST_P(RepositoryImplTest, OperationsAreForwardedToTheConnection) {
  EXPECT_TRUE(repo_->getTableName("INFO", true, nullptr, nullptr) &&
              repo_->getSchemaName(nullptr, nullptr) &&
              repo_->getTablePrefix(false, nullptr, nullptr));
  KvbString name, connection, prefix, error;
  ASSERT_TRUE(repo_->getTableName("INFO", true, &name, nullptr));
  EXPECT_EQ(name, info_);
  // A server's prefix "<schema>.kv" splits into the schema and the rest.
  KvbString schema("?"), bare;
  ASSERT_TRUE(repo_->getSchemaName(&schema, nullptr));
  EXPECT_EQ(schema, KvbString(schema_.c_str()));
  ASSERT_TRUE(repo_->getTablePrefix(true, &bare, nullptr));
  EXPECT_EQ(bare, KvbString(isPostgres() ? "kv" : prefix_.c_str()));
  repo_->getConnectionInfo(nullptr, nullptr);
  repo_->getConnectionInfo(nullptr, &prefix);
  EXPECT_EQ(prefix, KvbString(prefix_.c_str()));
  repo_->getConnectionInfo(&connection, nullptr);
  EXPECT_FALSE(connection.isEmpty());
  int version = -1;
  repo_->getVersionInfo(nullptr, nullptr, &version, nullptr);
  EXPECT_EQ(version, 0) << "only the core tables, no INFO row";
  EXPECT_EQ(repo_->getDacConnection() == nullptr, isFile());

  int first = -1, id = -1;
  ASSERT_TRUE(repo_->getNextID("TESTK", &first, &error)) << error.asCstr();
  // A count below 1 reserves one id.
  for (const auto& [n, offset] : {std::pair{1, 1}, {5, 2}, {0, 7}}) {
    ASSERT_TRUE(repo_->getNextIDs("TESTK", n, &id, &error));
    EXPECT_EQ(id, first + offset) << n;
  }
  ASSERT_TRUE(repo_->getNextIDs("TESTK", 1, nullptr, &error));
  ASSERT_TRUE(repo_->getNextID("TESTK", &id, &error));
  EXPECT_EQ(id, first + 9);

  load("('REFDATA', 3, 0, '')");
  KvbDatavar type("REFDATA");
  EXPECT_EQ(rows(repo_->paramSelect(
                ("SELECT I_VERS FROM " + info_ + " WHERE I_TYPE=?").asCstr(),
                &error, 1, &type)),
            std::vector<std::string>{"3"});
  const char* bad = "SELECT NO_SUCH FROM NOWHERE";
  EXPECT_EQ(repo_->paramSelect(bad, &error, 0), nullptr);
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(repo_->paramSelect(bad, nullptr, 0), nullptr);

  ASSERT_GT(repo_->getMaxTextLength(), 0);
  const KvbString text(std::string(repo_->getMaxTextLength() + 100, 'x'));
  KvbString marker, full;
  ASSERT_TRUE(repo_->writeLongText(text, &marker, 0));
  EXPECT_NE(marker, text);
  ASSERT_TRUE(repo_->readLongText(marker, &full, 0));
  EXPECT_EQ(full, text);
  // A marker whose text is gone, a counter table that is gone.
  EXPECT_FALSE(repo_->readLongText("_~_velMoranRef_999_~_", &full, 0));
  EXPECT_EQ(repo_->getErrorMessage(),
            KvbString("The long text 999 is missing from BIGSTR"));
  ASSERT_TRUE(repo_->getDataAccess()->paramExec(
      "DROP TABLE " + repo_->getDataAccess()->getTableName("UCURID", true, -1),
      nullptr, 0));
  error = "";
  EXPECT_FALSE(repo_->getNextIDs("TESTK", 1, &id, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(repo_->getErrorMessage(), error);
}

TEST_P(RepositoryImplTest, FactoriesAndTheKeyValueStore) {
  KvbString value;
  EXPECT_FALSE(repo_->getKeyValue("missing", &value));
  for (const char* v : {"first", "second"})
    ASSERT_TRUE(repo_->setKeyValue("k", v));
  ASSERT_TRUE(repo_->getKeyValue("k", &value));
  EXPECT_EQ(value, KvbString("second"));
  EXPECT_EQ(rows(repo_->getKeyValues()), std::vector<std::string>{"k|second"});
  ASSERT_TRUE(repo_->setKeyValue("other", "x"));
  ASSERT_TRUE(repo_->deleteKey("k"));
  EXPECT_FALSE(repo_->getKeyValue("k", &value));

  CommonRepositoryDataAccess* a = repo_->createCommonDataAccess();
  CommonRepositoryDataAccess* b = repo_->createCommonDataAccess();
  ASSERT_TRUE(a && b && a != b);
  a->release();  // b still works
  EXPECT_TRUE(b->setKeyValue("after", "release"));
  b->release();
  ExplorerRepositoryDataAccess* explorer = repo_->createExplorerDataAccess();
  MetadataRepositoryDataAccess* metadata = repo_->createMetadataDataAccess();
  ASSERT_TRUE(explorer && metadata);
  explorer->release();
  metadata->release();
  FieldMappingAdminObject* object = repo_->createFieldMappingAdmin();
  ASSERT_NE(object, nullptr);
  auto* admin = static_cast<FieldMappingAdminImpl*>(object);
  ASSERT_NE(admin->getCommonDataAccess(), nullptr);
  EXPECT_TRUE(admin->getCommonDataAccess()->setKeyValue("fm", "1"));
  EXPECT_FALSE(object->init(0, nullptr));
  object->release();
  // Both wrote to this repository; the deleted key is gone.
  std::vector<std::string> keys = rows(repo_->getKeys());
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"after", "fm", "other"}));
}

// A field-mapping object holds the repository it is bound to, so that a
// host may release the repository first. Bound again to that repository,
// after the host's release, it keeps its hold and works on; bound to none,
// it ends the last hold, which closes the connection.
TEST_P(RepositoryImplTest, FieldMappingAdminRebindsAfterTheHostsRelease) {
  FieldMappingAdminObject* object = repo_->createFieldMappingAdmin();
  ASSERT_NE(object, nullptr);
  auto* admin = static_cast<FieldMappingAdminImpl*>(object);
  RepositoryImpl* released = repo_;
  repo_->release();
  repo_ = nullptr;
  ASSERT_TRUE(object->init(0, released));
  EXPECT_EQ(admin->getRepository(), released);
  ASSERT_NE(admin->getCommonDataAccess(), nullptr);
  EXPECT_TRUE(admin->getCommonDataAccess()->setKeyValue("fm", "again"));
  KvbString value;
  EXPECT_TRUE(admin->getCommonDataAccess()->getKeyValue("fm", &value));
  EXPECT_EQ(value.str(), "again");
  EXPECT_FALSE(object->init(0, nullptr));
  EXPECT_EQ(admin->getRepository(), nullptr);
  EXPECT_EQ(admin->getCommonDataAccess(), nullptr);
  object->release();

  // The key reached the database.
  db_ = rda_ = open();
  ASSERT_NE(rda_, nullptr);
  EXPECT_EQ(count("KEYVAL", "V_KEY=?", {"fm"}), 1);
}

// A statement handed to a host holds the connection: it still runs, and
// its query reads to the end, after the repository and every other object
// that held the connection were released. Each statement keeps the
// database file open until its own release; the last release closes it.
TEST_P(RepositoryImplTest, StatementsKeepTheConnectionUntilTheirRelease) {
  ReposDataAccess* rda = repo_->getDataAccess();
  const KvbString keyval = rda->getTableName("KEYVAL", true, -1);
  ReposDataAccessStatement* insert = rda->createStatement(
      "INSERT INTO " + keyval + " (V_KEY, V_VALUE) VALUES (?, ?)");
  ReposDataAccessStatement* select = rda->createStatement(
      "SELECT V_KEY, V_VALUE FROM " + keyval + " WHERE V_KEY = ?");
  ASSERT_TRUE(insert && select) << rda->getErrorMessage().str();
  CommonRepositoryDataAccess* common = repo_->createCommonDataAccess();
  ASSERT_NE(common, nullptr);
  common->release();
  repo_->release();
  repo_ = nullptr;
  // A server's connection has no file to count.
  const auto fileOpen = [&] { return openFiles(file_) > 0; };
  EXPECT_EQ(fileOpen(), !isPostgres());
  EXPECT_TRUE(insert->setParameter(0, KvbDatavar("k")) &&
              insert->setParameter(1, KvbDatavar("kept")) && insert->execute())
      << insert->getErrorMessage().str();
  insert->release();
  EXPECT_EQ(fileOpen(), !isPostgres()) << "the query still holds it";
  ASSERT_TRUE(select->setParameter(0, KvbDatavar("k")));
  EXPECT_EQ(rows(select->select()), std::vector<std::string>{"k|kept"});
  select->release();
  EXPECT_FALSE(fileOpen());
}

INSTANTIATE_RDA_TARGETS(RepositoryImplTest);

class RepositoryOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::create_directory(dir_.file("sets")));
    setOption("REPOS/TABLE_LIST_PATH", dir_.file("sets"));
  }
  void TearDown() override {
    if (repo_) repo_->release();
    for (const char* key : {"REPOS/TABLE_LIST_PATH", "KVEXEC_HOME"})
      kvbGetConfigOptions("")->remove(key);
  }

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

// The table-set folder defaults to etc/reposcreate below the home folder.
TEST_F(RepositoryOpenTest, OpeningAndTheTableSetFolder) {
  EXPECT_FALSE(open(0));
  EXPECT_FALSE(error_.isEmpty());
  EXPECT_FALSE(std::filesystem::exists(file()));
  EXPECT_FALSE(open(1, 5));
  // A connection of an unknown kind is not shown: it might hold a password.
  EXPECT_EQ(error_.str(),
            "The repository in the database could not be opened: " +
                libraryMessage(1313));
  EXPECT_TRUE(!repo_->getDataAccess() && !repo_->getDacConnection());
  EXPECT_TRUE(repo_->getMaxTextLength() == 0 &&
              repo_->getRepositoryUUID().isEmpty());
  int id = -1;
  KvbString error, name;
  EXPECT_FALSE(repo_->getNextID("K", &id, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(repo_->paramSelect("SELECT 1", nullptr, 0), nullptr);
  EXPECT_TRUE(repo_->getTableName("INFO", true, nullptr, nullptr));
  EXPECT_FALSE(repo_->getTableName("INFO", true, &name, nullptr));
  EXPECT_FALSE(repo_->setDDLCallback(nullptr));
  EXPECT_TRUE(repo_->readVersionInfo());
  EXPECT_EQ(versions(repo_)[1], kKindNone);
  // Data-access objects are still handed out; their operations fail.
  CommonRepositoryDataAccess* common = repo_->createCommonDataAccess();
  ASSERT_NE(common, nullptr);
  EXPECT_FALSE(common->setKeyValue("k", "v"));
  common->release();
  EXPECT_FALSE(repo_->getKeyValue("k", &name));
  EXPECT_EQ(repo_->getKeys(), nullptr);

  // A folder that cannot be listed does not fail an opening. A database
  // without a repository is opened to be created, and the creation gives
  // the reason: the opening logs nothing.
  setOption("REPOS/TABLE_LIST_PATH", dir_.file("no-such-folder"));
  LogCapture log;
  ASSERT_TRUE(open()) << error_.asCstr();
  EXPECT_EQ(repo_->getTableSetCount(), 0);
  EXPECT_FALSE(repo_->tableSetFolderFound());
  EXPECT_NE(repo_->getErrorMessage().str().find("no-such-folder"),
            std::string::npos);
  EXPECT_FALSE(log.contains("no-such-folder"));

  std::filesystem::create_directories(dir_.file("home/etc/reposcreate"));
  std::ofstream(dir_.file("home/etc/reposcreate/broken.xml")) << "<tableSets";
  setOption("KVEXEC_HOME", dir_.file("home"));
  kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
  EXPECT_FALSE(open());
  EXPECT_FALSE(error_.isEmpty());
  EXPECT_TRUE(log.contains("broken.xml", 5));

  setOption("REPOS/TABLE_LIST_PATH", KV_SOURCE_DIR "/etc/reposcreate");
  ASSERT_TRUE(open()) << error_.asCstr();  // the configured folder wins
  KvbString pool;
  ASSERT_TRUE(kvbGetConfigOptions("REPOSITORY")->get("POOL_ID", pool));
  EXPECT_EQ(pool, KvbString("pool-1"));
  const int count = repo_->getTableSetCount();
  ASSERT_GT(count, 0);
  EXPECT_NE(repo_->getTableSet(count - 1), nullptr);
  EXPECT_EQ(repo_->getTableSet(count), nullptr);
  EXPECT_EQ(repo_->getTableSet(-1), nullptr);
}

}  // namespace
