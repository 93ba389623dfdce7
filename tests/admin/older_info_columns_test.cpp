// INFO tables of older repositories lack columns that later versions
// added: no I_MVER (written before the minor version), no I_UUID. A column
// that is not there is read as what it stands for (minor version 0, no
// UUID), never as a read that failed; a column that is there but cannot
// be read still fails every call that needs it. On a SQLite file opened as a
// file and through its connection string.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/repositoryadminimpl.h"
#include "admin/repositoryimpl.h"
#include "kvdataaccess/kvdataaccess.h"
#include "support/log_capture.h"
#include "support/sqlite_rows.h"
#include "support/temp_dir.h"

namespace {

const char kTableSets[] = KV_SOURCE_DIR "/etc/reposcreate";

// The INFO table of a unified repository of version 7 written before the
// minor version: neither I_MVER nor I_UUID, one version row.
const char kWithoutMinor[] =
    "DROP TABLE INFO; CREATE TABLE INFO (I_TYPE VARCHAR(30), I_VERS "
    "INTEGER); INSERT INTO INFO VALUES ('KVREPOSITORY', 7);";
// An I_MVER column whose value cannot be read: the view's column overflows
// when it is computed, and only then. Its name is in lower case, as files
// of old versions may spell it.
const char kMinorUnreadable[] =
    "ALTER TABLE INFO RENAME TO INFO_ROWS; CREATE VIEW INFO AS SELECT "
    "I_TYPE, I_VERS, I_DESC, I_UUID, abs(-9223372036854775807 - 1) AS i_mver "
    "FROM INFO_ROWS;";

class OlderInfoColumnsTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", kTableSets);
    admin_ = new RepositoryAdminImpl(0, list_.c_str());
    ASSERT_TRUE(admin_->createFileRepository(path_.c_str()))
        << admin_->getErrorMessage().str();
  }
  void TearDown() override {
    if (repository_) repository_->release();
    admin_->release();
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
  }
  bool connection() const { return GetParam(); }
  KvbString connectionString() const {
    return dacSqliteFileConnectionString(path_.c_str());
  }
  RepositoryImpl* open(bool check) {
    return static_cast<RepositoryImpl*>(
        connection() ? admin_->openRepositoryConnection(connectionString(), "",
                                                        check, nullptr)
                     : admin_->openFileRepository(path_.c_str(), check));
  }
  // The listed entry of the repository: its type and version texts.
  std::string listed() {
    EXPECT_TRUE(
        connection()
            ? admin_->addRepository(connectionString(), "", "older", false)
            : admin_->addRepository(path_.c_str(), "", "older", true))
        << admin_->getErrorMessage().str();
    EXPECT_TRUE(admin_->listRepositories(true, true))
        << admin_->getErrorMessage().str();
    KvbString type, version;
    std::string entries;
    while (admin_->getNextRepository(nullptr, nullptr, nullptr, nullptr, &type,
                                     &version, nullptr))
      entries += type.str() + "|" + version.str() + ";";
    return entries;
  }
  // Kind, version, minor version and the current-version answers.
  static std::string versions(RepositoryImpl* r) {
    int kind = -1, version = -1;
    r->getVersionInfo(nullptr, &kind, &version, nullptr);
    return std::to_string(kind) + " " + std::to_string(version) + "." +
           std::to_string(r->getMinorVersion()) + " current " +
           std::to_string(r->isCurrentVersion()) + " minor current " +
           std::to_string(r->isMinorVersionCurrent());
  }

  TempDir dir_;
  const std::string path_ = dir_.file("older.db");
  const std::string list_ = dir_.file("repos.lst");
  LogCapture log_;
  RepositoryAdminImpl* admin_ = nullptr;
  RepositoryImpl* repository_ = nullptr;
};

// A repository written before the minor version is one of minor version 0:
// listed, opened, refused by the open's check and upgraded as such, and
// without a UUID, which is no failure.
TEST_P(OlderInfoColumnsTest, AnInfoTableWithoutTheMinorColumnIsOfMinorZero) {
  ASSERT_TRUE(sqliteExec(path_, kWithoutMinor));
  EXPECT_EQ(listed(), "Velmoran repository|Unified v.7;");

  EXPECT_EQ(open(true), nullptr);
  const std::string refusal = admin_->getErrorMessage().str();
  EXPECT_EQ(refusal.find("cannot be read"), std::string::npos) << refusal;

  repository_ = open(false);
  ASSERT_NE(repository_, nullptr) << admin_->getErrorMessage().str();
  EXPECT_EQ(versions(repository_), "3 7.0 current 1 minor current 0");
  EXPECT_EQ(repository_->getRepositoryUUID().str(), "");
  EXPECT_EQ(repository_->getErrorMessage().str(), "");
  int version = -1;
  EXPECT_TRUE(repository_->getInfoVersion("KVREPOSITORY", &version, nullptr));
  EXPECT_EQ(version, 7);

  ASSERT_TRUE(repository_->upgradeRepository())
      << repository_->getErrorMessage().str();
  EXPECT_EQ(versions(repository_), "3 7.4 current 1 minor current 1");
  // The upgrade gave the repository its UUID, which this object reads now.
  EXPECT_EQ(repository_->getRepositoryUUID().length(), 36u);
  repository_->release();
  repository_ = open(true);
  EXPECT_NE(repository_, nullptr) << admin_->getErrorMessage().str();
}

// An I_MVER column that is there but cannot be read is no minor version 0:
// the version rows cannot be read, and the calls that need them say so.
TEST_P(OlderInfoColumnsTest, AMinorColumnThatCannotBeReadFails) {
  ASSERT_TRUE(sqliteExec(path_, kMinorUnreadable));
  const std::string unreadable =
      "The repository cannot be used or changed: its version rows cannot be "
      "read: ";
  EXPECT_EQ(listed().rfind("Unreadable repository|" + unreadable, 0), 0u);
  repository_ = open(false);
  ASSERT_NE(repository_, nullptr) << admin_->getErrorMessage().str();
  EXPECT_EQ(versions(repository_), "3 7.0 current 0 minor current 0");
  EXPECT_FALSE(repository_->upgradeRepository());
  const std::string why = repository_->getErrorMessage().str();
  EXPECT_EQ(why.rfind(unreadable, 0), 0u) << why;
  EXPECT_NE(why.find("overflow"), std::string::npos) << why;
}

INSTANTIATE_TEST_SUITE_P(Paths, OlderInfoColumnsTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& path) {
                           return path.param ? "SqliteConnection"
                                             : "SqliteFile";
                         });

}  // namespace
