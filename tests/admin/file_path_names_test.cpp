// A file path is a name, not a connection string: on both file routes a
// repository file of any legal name is created, opened and deleted at
// exactly that path, and no name sends the creation anywhere else.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository_admin.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The value of "REPOS/FORCE_FILE_BASED": null opens files directly,
// "false" sends them through the connection-string route.
class FilePathNamesTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (GetParam())
      kvbGetConfigOptions("")->set("REPOS/FORCE_FILE_BASED", GetParam());
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 KV_SOURCE_DIR "/etc/reposcreate");
    ASSERT_NE(admin_, nullptr);
  }
  void TearDown() override {
    for (const char* key : {"REPOS/FORCE_FILE_BASED", "REPOS/TABLE_LIST_PATH"})
      kvbGetConfigOptions("")->remove(key);
    admin_->release();
  }

  // Creates, opens and deletes a repository at `path`; `name` is the one
  // file the folder must hold meanwhile.
  void roundTrip(const std::string& path, const std::string& name) {
    ASSERT_TRUE(admin_->createFileRepository(path.c_str()))
        << path << ": " << admin_->getErrorMessage().str();
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir_.path()))
      files.insert(entry.path().filename().string());
    EXPECT_EQ(files, std::set<std::string>{name}) << path;
    Repository* repository = admin_->openFileRepository(path.c_str(), true);
    ASSERT_NE(repository, nullptr) << admin_->getErrorMessage().str();
    repository->release();
    EXPECT_TRUE(admin_->deleteFile(path.c_str()));
    EXPECT_TRUE(fs::is_empty(dir_.path())) << path;
  }

  TempDir dir_;
  RepositoryAdmin* admin_ = createRepositoryAdmin(1, nullptr);
  LogCapture log_;
};

TEST_P(FilePathNamesTest, AnyLegalNameIsTheFileItNames) {
  for (const char* name :
       {"a;b.db", "k=v;CREATE=FALSE.db", "{braced}.db", "x}};{y.db",
        "  blanks at both ends  ", "it's \"quoted\".db", "Zoë ∑ 名前.db",
        // Would send the creation to an ODBC data source.
        "h.db;KVXTYPE=ODBC;DSN=kv_no_such_dsn"})
    roundTrip(dir_.file(name), name);
}

TEST_P(FilePathNamesTest, RelativeNamesAreFilesNotUris) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir_.path());
  // SQLite would take these as a URI and as a memory database.
  for (const char* name : {"file:uri.db?mode=memory", ":memory:"})
    roundTrip(name, name);
  fs::current_path(previous);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, FilePathNamesTest, ::testing::Values(nullptr, "false"),
    [](const ::testing::TestParamInfo<const char*>& route) {
      return route.param ? "ConnectionRoute" : "Direct";
    });

}  // namespace
