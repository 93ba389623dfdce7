// What an open reads once and keeps is never "none" when its read failed:
// version rows on a damaged page and a table-set folder that cannot be
// listed fail every call that depends on them with the reason, and the
// same object works again once the cause is gone; an upgrade whose
// closing read of the version rows fails says that it was stored.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "admin/repositoryadminimpl.h"
#include "admin/repositoryimpl.h"
#include "kvdataaccess/kvdataaccess.h"
#include "reposadmin/kvreposadmin.h"
#include "support/driver_fault.h"
#include "support/log_capture.h"
#include "support/sqlite_rows.h"
#include "support/temp_dir.h"

namespace {

const char kTableSets[] = KV_SOURCE_DIR "/etc/reposcreate";

class KeptReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", kTableSets);
    admin_ = new RepositoryAdminImpl(0, list_.c_str());
    for (const std::string* path : {&path_, &other_})
      ASSERT_TRUE(admin_->createFileRepository(path->c_str()))
          << admin_->getErrorMessage().str();
  }
  void TearDown() override {
    if (repository_) repository_->release();
    admin_->release();
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
  }
  // Opens the file as a file, or with `connection` through its
  // connection string, whose driver layer the tests' seam reaches.
  RepositoryImpl* open(const std::string& path, bool connection = false) {
    auto* opened = static_cast<RepositoryImpl*>(
        connection ? admin_->openRepositoryConnection(
                         dacSqliteFileConnectionString(path.c_str()).asCstr(),
                         "", false, nullptr)
                   : admin_->openFileRepository(path.c_str(), false));
    EXPECT_NE(opened, nullptr) << admin_->getErrorMessage().str();
    return opened;
  }
  // Writes `byte` at the start of the INFO table's page and makes every
  // connection read the file again; answers the byte that was there.
  char putOnInfoPage(char byte) {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    int page = 0, root = 0;
    if (sqlite3_open(path_.c_str(), &db) == SQLITE_OK &&
        sqlite3_prepare_v2(db,
                           "SELECT (SELECT page_size FROM pragma_page_size), "
                           "rootpage FROM sqlite_master WHERE name = 'INFO'",
                           -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      page = sqlite3_column_int(statement, 0);
      root = sqlite3_column_int(statement, 1);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    EXPECT_GT(root, 1);
    std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(static_cast<std::streamoff>(root - 1) * page);
    const char was = static_cast<char>(file.get());
    file.seekp(static_cast<std::streamoff>(root - 1) * page);
    file.put(byte);
    file.close();
    // The change counter is the file's, not the page's: another
    // connection's write makes each connection read its pages again.
    EXPECT_TRUE(sqliteExec(other_, "SELECT 1"));
    EXPECT_TRUE(
        sqliteExec(path_, "PRAGMA user_version = " + std::to_string(++round_)));
    return was;
  }

  TempDir dir_;
  const std::string path_ = dir_.file("repository.db");
  const std::string other_ = dir_.file("other.db");
  const std::string list_ = dir_.file("repos.lst");
  LogCapture log_;
  RepositoryAdminImpl* admin_ = nullptr;
  RepositoryImpl* repository_ = nullptr;
  int round_ = 0;
};

// What a call that depends on the version rows answers: its answer and its
// text, or the values it gives.
struct VersionCall {
  const char* name;
  std::function<std::string(RepositoryImpl*)> call;
  std::string unread;  // while the INFO page is damaged ("*": the reason)
  std::string read;    // once it is whole again
};

std::string answer(RepositoryImpl* r, bool ok) {
  return ok ? "true" : "false: " + r->getErrorMessage().str();
}

// Each call that depends on the version rows, with the rows unreadable
// from the open on: none takes them for "no repository" or version 0 in
// silence, and each works on the same object once the page is whole.
TEST_F(KeptReadTest, VersionRowsThatCouldNotBeReadAreNoneOfNoRepository) {
  const std::string lost =
      "false: The repository cannot be used or changed: its version rows "
      "cannot be read: ";
  const VersionCall calls[] = {
      {"getVersionInfo",
       [](RepositoryImpl* r) {
         int kind = -1, version = -1;
         r->getVersionInfo(nullptr, &kind, &version, nullptr);
         return std::to_string(kind) + " " + std::to_string(version);
       },
       "0 0", "3 7"},
      {"isCurrentVersion",
       [](RepositoryImpl* r) { return std::to_string(r->isCurrentVersion()); },
       "0", "1"},
      {"isMinorVersionCurrent",
       [](RepositoryImpl* r) {
         return std::to_string(r->isMinorVersionCurrent());
       },
       "0", "1"},
      {"isNCOAVersionCurrent",
       [](RepositoryImpl* r) {
         return std::to_string(r->isNCOAVersionCurrent());
       },
       "0", "1"},
      {"getMinorVersion",
       [](RepositoryImpl* r) { return std::to_string(r->getMinorVersion()); },
       "0", "4"},
      {"getInfoVersion",
       [](RepositoryImpl* r) {
         int version = -1;
         return answer(r, r->getInfoVersion("KVREPOSITORY", &version, nullptr));
       },
       "false: The version rows of the repository could not be read: *",
       "true"},
      {"upgradeNCOA",
       [](RepositoryImpl* r) { return answer(r, r->upgradeNCOA()); },
       lost + "*", "true"},
      {"upgradeRepository",
       [](RepositoryImpl* r) { return answer(r, r->upgradeRepository()); },
       lost + "*", "false: The repository is up to date*"},
  };
  for (const VersionCall& c : calls) {
    SCOPED_TRACE(c.name);
    if (repository_) repository_->release();
    const char was = putOnInfoPage('\x77');  // no kind of b-tree page
    repository_ = open(path_);
    ASSERT_NE(repository_, nullptr);
    std::string got = c.call(repository_);
    if (c.unread.back() == '*') {
      const std::string start = c.unread.substr(0, c.unread.size() - 1);
      EXPECT_EQ(got.substr(0, start.size()), start) << got;
      EXPECT_NE(got.find("malformed"), std::string::npos) << got;
    } else {
      EXPECT_EQ(got, c.unread);
    }
    putOnInfoPage(was);
    got = c.call(repository_);
    if (c.read.back() == '*')
      EXPECT_EQ(got.rfind(c.read.substr(0, c.read.size() - 1), 0), 0u) << got;
    else
      EXPECT_EQ(got, c.read);
  }
}

// An upgrade whose closing read of the version rows fails says that it was
// stored; the object does not answer kind 0 from then on, and works as
// what the upgrade stored once the reads work again. The whole upgrade (it
// works through a second connection) and that of the NCOA part (through
// the repository's own, here opened by its connection string), each from
// the version before the current one.
TEST_F(KeptReadTest, AnUpgradeWhoseVersionsCannotBeReadBackSaysItWasStored) {
  struct Upgrade {
    const char* name;
    const char* older;  // makes the repository older
    bool connection;    // opened through its connection string
    std::function<bool(RepositoryImpl*)> upgrade;
    std::function<std::string(RepositoryImpl*)> state;
  };
  const std::vector<Upgrade> upgrades = {
      {"whole", "UPDATE INFO SET I_MVER = 3 WHERE I_TYPE = 'KVREPOSITORY'",
       false, [](RepositoryImpl* r) { return r->upgradeRepository(); },
       [](RepositoryImpl* r) {
         int kind = 0;
         r->getVersionInfo(nullptr, &kind, nullptr, nullptr);
         return std::to_string(kind) + " " +
                std::to_string(r->getMinorVersion()) + " " +
                std::to_string(r->isCurrentVersion());
       }},
      {"NCOA", "UPDATE INFO SET I_VERS = I_VERS - 1 WHERE I_TYPE = 'NCOA'",
       true, [](RepositoryImpl* r) { return r->upgradeNCOA(); },
       [](RepositoryImpl* r) {
         return std::to_string(r->isNCOAVersionCurrent());
       }}};
  const std::string whole = dir_.file("whole.db");
  std::filesystem::copy_file(path_, whole);
  for (const Upgrade& u : upgrades) {
    SCOPED_TRACE(u.name);
    std::filesystem::copy_file(
        whole, path_, std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(sqliteExec(path_, u.older));
    const std::string before = dir_.file("before.db");
    std::filesystem::copy_file(
        path_, before, std::filesystem::copy_options::overwrite_existing);
    // The upgrade's prepares, the last of them its closing read's; and
    // what the object answers before and after it.
    repository_ = open(path_, u.connection);
    ASSERT_NE(repository_, nullptr);
    const std::string older = u.state(repository_);
    int prepares = 0;
    {
      DriverFault counting(DacFault::kPrepare, 0);
      ASSERT_TRUE(u.upgrade(repository_))
          << repository_->getErrorMessage().str();
      prepares = DriverFault::seen();
    }
    const std::string upgraded = u.state(repository_);
    repository_->release();
    std::filesystem::copy_file(
        before, path_, std::filesystem::copy_options::overwrite_existing);
    EXPECT_NE(upgraded, older);

    repository_ = open(path_, u.connection);
    ASSERT_NE(repository_, nullptr);
    EXPECT_EQ(u.state(repository_), older);
    {
      DriverFault lastRead(DacFault::kPrepare, prepares);
      EXPECT_FALSE(u.upgrade(repository_));
      EXPECT_TRUE(DriverFault::fired());
    }
    EXPECT_EQ(repository_->getErrorMessage().str(),
              std::string("The upgrade was stored, but the repository's "
                          "version rows could not be read back: ") +
                  kDriverFaultText);
    EXPECT_EQ(u.state(repository_), upgraded);
    repository_->release();
    repository_ = nullptr;
  }
  repository_ = open(path_);
  ASSERT_NE(repository_, nullptr);
  EXPECT_FALSE(repository_->upgradeRepository());
  EXPECT_EQ(repository_->getErrorMessage().str().rfind(
                "The repository is up to date", 0),
            0u)
      << repository_->getErrorMessage().str();
}

// A listed repository whose version rows cannot be read is told apart from
// a database without one, and a listing of current ones keeps it, while it
// leaves out one of an older version.
TEST_F(KeptReadTest, AListedRepositoryWhoseVersionsCannotBeReadSaysWhy) {
  const std::string old = dir_.file("old.db");
  std::filesystem::copy_file(other_, old);
  ASSERT_TRUE(sqliteExec(
      old, "UPDATE INFO SET I_VERS = 6 WHERE I_TYPE = 'KVREPOSITORY'"));
  ASSERT_TRUE(admin_->addRepository(path_.c_str(), "", "damaged", true))
      << admin_->getErrorMessage().str();
  ASSERT_TRUE(admin_->addRepository(other_.c_str(), "", "whole", true))
      << admin_->getErrorMessage().str();
  ASSERT_TRUE(admin_->addRepository(old.c_str(), "", "old", true))
      << admin_->getErrorMessage().str();
  putOnInfoPage('\x77');
  for (bool currentOnly : {false, true}) {
    SCOPED_TRACE(currentOnly ? "current only" : "all");
    ASSERT_TRUE(admin_->listRepositories(true, currentOnly))
        << admin_->getErrorMessage().str();
    std::vector<std::string> seen;
    KvbString name, type, version;
    while (admin_->getNextRepository(&name, nullptr, nullptr, nullptr, &type,
                                     &version, nullptr))
      seen.push_back(
          name.str() + "|" + type.str() + "|" + version.str().substr(0, 73) +
          (version.find("malformed") != KvbString::npos ? " (malformed)" : ""));
    std::vector<std::string> expected = {
        "damaged|Unreadable repository|The repository cannot be "
        "used or changed: its version rows cannot be read (malformed)",
        "whole|Velmoran repository|Unified v.7"};
    if (!currentOnly) expected.push_back("old|Velmoran repository|Unified v.6");
    EXPECT_EQ(seen, expected);
  }
}

// A table-set folder that the open could not list is listed again by each
// call that needs the sets; while it cannot be, the call fails with the
// reason and changes nothing.
TEST_F(KeptReadTest, TableSetsThatCouldNotBeListedFailWhatNeedsThem) {
  RepositoryImpl* target = open(other_);
  ASSERT_NE(target, nullptr);
  ASSERT_TRUE(target->setKeyValue("kept", "target's"));
  const std::string missing = dir_.file("no such folder");
  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", missing.c_str());
  repository_ = open(path_);
  ASSERT_NE(repository_, nullptr);
  const std::vector<std::string> before = sqliteRows(other_);
  const std::string reason =
      "The repository's table sets could not be read: Cannot list the "
      "table-set folder \"" +
      missing + "\"";
  EXPECT_FALSE(admin_->copyRepository(repository_, target));
  EXPECT_EQ(admin_->getErrorMessage().str(),
            "The source repository: " + reason);
  EXPECT_EQ(sqliteRows(other_), before);
  EXPECT_FALSE(admin_->copyRepository(target, repository_));
  EXPECT_EQ(admin_->getErrorMessage().str(),
            "The target repository: " + reason);
  EXPECT_FALSE(repository_->upgradeRepository());
  EXPECT_EQ(repository_->getErrorMessage().str(), reason);
  EXPECT_FALSE(admin_->deleteRepositoryTables(
      dacSqliteFileConnectionString(path_.c_str()), ""));
  EXPECT_NE(admin_->getErrorMessage().find("Cannot list the table-set folder"),
            KvbString::npos)
      << admin_->getErrorMessage().str();
  EXPECT_GT(sqliteRows(path_).size(), 0u);
  // An import needs the sets too: a table file replaces none of their tables.
  ASSERT_TRUE(sqliteExec(path_,
                         "CREATE TABLE HSM3 (V INTEGER); "
                         "INSERT INTO HSM3 VALUES (1)"));
  ASSERT_TRUE(repository_->exportTableToXml("HSM3", dir_.path().c_str(), false))
      << repository_->getErrorMessage().str();
  ASSERT_TRUE(sqliteExec(path_, "UPDATE HSM3 SET V = 2"));
  const std::vector<std::string> kept = sqliteRows(path_);
  EXPECT_FALSE(repository_->importTable(dir_.file("HSM3.xml").c_str()));
  EXPECT_EQ(repository_->getErrorMessage().str(), reason);
  EXPECT_EQ(sqliteRows(path_), kept);

  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", kTableSets);
  EXPECT_TRUE(repository_->importTable(dir_.file("HSM3.xml").c_str()))
      << repository_->getErrorMessage().str();
  EXPECT_EQ(sqliteRows(path_, {"HSM3"}),
            (std::vector<std::string>{"HSM3", "1|"}));
  EXPECT_TRUE(admin_->copyRepository(repository_, target))
      << admin_->getErrorMessage().str();
  target->release();
}

}  // namespace
