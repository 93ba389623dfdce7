// Administration on a database server that the engine does not support for
// repositories (KV_TEST_UNSUPPORTED_CONNECTION; skipped without it): every
// operation that would make, drop or trust repository tables there refuses
// before any statement changes the database. The server is counted through
// its information_schema and DATABASE(), as MariaDB has them; each test
// counts only the tables of its own prefix, as other tests make and drop
// theirs in the same database meanwhile.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kvdataaccess/kvdataaccess.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository_admin.h"
#include "support/dac_targets.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

class UnsupportedServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_UNSUPPORTED_SERVER();
    connection_ = unsupportedConnectionString();
    KvbString error;
    server_ = dacCreateDataSource(connection_.c_str(), &error);
    ASSERT_NE(server_, nullptr) << error.asCstr();
    refusal_ = "The database \"" + server_->getDbmsName().str() +
               "\" is not supported for repositories";
    // Ended by "_", so that no other test's prefix begins with it.
    prefix_ = uniqueTestName("kv") + "_";
    admin_ = createRepositoryAdmin(1, nullptr);
  }
  void TearDown() override {
    if (server_) {
      server_->execute(("DROP TABLE " + info()).c_str());
      server_->release();
    }
    if (admin_) admin_->release();
  }

  // The table INFO of the test's prefix, as a repository would name it.
  std::string info() const { return prefix_ + "INFO"; }
  // The tables of the test's prefix in the connection's database, counted
  // by the server.
  int tables() {
    DacStatement* statement = server_->prepare(
        "SELECT COUNT(*) FROM information_schema.tables "
        "WHERE table_schema = DATABASE() AND LOCATE(?, table_name) = 1");
    DacCursor* cursor =
        statement &&
                statement->bind(0, KvbDatavar(prefix_.c_str()), kvbTypeString,
                                static_cast<int>(prefix_.size()))
            ? statement->select()
            : nullptr;
    KvbDatavar count(-1);
    if (cursor && cursor->next() == 1) cursor->getValue(0, count);
    if (cursor) cursor->release();
    if (statement) statement->release();
    return count.asInt();
  }
  std::string error() const { return admin_->getErrorMessage().str(); }

  LogCapture log_;
  DacConnection* server_ = nullptr;
  RepositoryAdmin* admin_ = nullptr;
  std::string connection_, prefix_, refusal_;
};

TEST_F(UnsupportedServerTest, CreationIsRefusedAndMakesNothing) {
  const int before = tables();
  ASSERT_GE(before, 0) << server_->getErrorMessage().asCstr();
  EXPECT_FALSE(admin_->createRepository(connection_.c_str(), prefix_.c_str()));
  EXPECT_EQ(error(), refusal_);
  EXPECT_EQ(tables(), before);
  // Nor is a script written for it.
  TempDir dir;
  const std::string script = dir.file("create.sql");
  EXPECT_FALSE(admin_->createRepositoryWithDDLFile(
      connection_.c_str(), prefix_.c_str(), script.c_str()));
  EXPECT_EQ(error(), refusal_);
  EXPECT_FALSE(std::filesystem::exists(script));
  EXPECT_EQ(tables(), before);
}

TEST_F(UnsupportedServerTest, TableDeletionAndCheckedOpensAreRefused) {
  ASSERT_TRUE(server_->execute(
      ("CREATE TABLE " + info() + " (I_TYPE INTEGER, I_VERS INTEGER)").c_str()))
      << server_->getErrorMessage().asCstr();
  const int before = tables();
  ASSERT_EQ(before, 1) << "the count does not see the test's own table";
  EXPECT_FALSE(
      admin_->deleteRepositoryTables(connection_.c_str(), prefix_.c_str()));
  EXPECT_EQ(error(), refusal_);
  EXPECT_EQ(tables(), before) << "a table was dropped";
  EXPECT_EQ(admin_->openRepositoryConnection(connection_.c_str(),
                                             prefix_.c_str(), true, nullptr),
            nullptr);
  EXPECT_EQ(error(), refusal_);
}

// A list entry that names the server is refused before the list file is
// touched, with one record of the refusal, which names the entry.
TEST_F(UnsupportedServerTest, AListEntryIsRefusedWithOneRecord) {
  TempDir dir;
  const std::string list = dir.file("repos.lst");
  RepositoryAdmin* admin = createRepositoryAdmin(0, list.c_str());
  ASSERT_NE(admin, nullptr) << getRepositoryAdminError();
  bool added = true;
  const std::vector<std::string> records = log_.failuresDuring(
      [&] {
        added = admin->addRepository(connection_.c_str(), prefix_.c_str(), "M",
                                     false);
      },
      true);
  EXPECT_FALSE(added);
  const std::string text =
      "The repository \"M\" cannot be added to the list: t" +
      refusal_.substr(1);
  EXPECT_EQ(records, std::vector<std::string>{"5 " + text});
  EXPECT_EQ(admin->getErrorMessage().str(), text);
  EXPECT_FALSE(std::filesystem::exists(list));
  admin->release();
}

}  // namespace
