// A host program's view of the engine: only the public headers and the two
// shared libraries. What the host puts into the platform (registered
// repositories, event listeners, log sinks, configuration options) is what
// the engine sees, because both use the one shared kvplatform.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kvbase/kvbase.h"
#include "kvlogging/kvlogging.h"
#include "kvreposres/kvreposres.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/import_export_manager.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "reposadmin/repository_folder_manager.h"

namespace {

namespace fs = std::filesystem;

class RecordingListener : public RepositoryEventListener {
 public:
  void onRepositoryEvent(const RepositoryEvent& event) override {
    events.push_back(event);
  }
  std::vector<RepositoryEvent> events;
};

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("KV_TEST_TMPDIR");
    fs::path root = base ? fs::path(base) : fs::temp_directory_path();
    fs::create_directories(root);
    std::string pattern = (root / "host-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::create_directory(dir_ / "sets");
    setOption("REPOS/TABLE_LIST_PATH", path("sets"));
    admin_ = createRepositoryAdmin(1, nullptr);
    ASSERT_NE(admin_, nullptr) << getRepositoryAdminError();
  }
  void TearDown() override {
    if (repository_) repository_->release();
    if (admin_) admin_->release();
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  std::string path(const char* name) const { return (dir_ / name).string(); }
  static void setOption(const char* key, const std::string& value) {
    kvbGetConfigOptions("")->set(key, value.c_str());
  }
  // Creates and opens repos.db; false on failure.
  bool createAndOpen() {
    if (!admin_->createFileRepository(path("repos.db").c_str())) return false;
    repository_ = admin_->openFileRepository(path("repos.db").c_str(), true);
    return repository_ != nullptr;
  }

  fs::path dir_;
  RepositoryAdmin* admin_ = nullptr;
  Repository* repository_ = nullptr;
};

TEST_F(HostTest, RepositoryRegisteredByTheHostOpensByName) {
  ASSERT_TRUE(admin_->createFileRepository(path("repos.db").c_str()))
      << admin_->getErrorMessage().asCstr();
  RepositoryConfigurationManager* registry =
      getRepositoryConfigurationManager();
  ASSERT_TRUE(
      registry->registerRepository("host", 0, path("repos.db").c_str(), ""));
  repository_ = admin_->openRepository("host", true, nullptr);
  registry->unregisterRepository("host");
  registry->release();
  ASSERT_NE(repository_, nullptr) << admin_->getErrorMessage().asCstr();
  EXPECT_TRUE(repository_->isCurrentVersion());
}

TEST_F(HostTest, ListenerOfTheHostSeesARuleBeingAdded) {
  ASSERT_TRUE(createAndOpen()) << admin_->getErrorMessage().asCstr();
  RecordingListener listener;
  getRepositoryEventManager()->addListener(&listener);
  CommonRepositoryDataAccess* common = repository_->createCommonDataAccess();
  ASSERT_NE(common, nullptr);
  const int id = common->addRule("Totals", "T", "x > 0", "", "", "host",
                                 "u-rule", 0, "", "");
  common->release();
  getRepositoryEventManager()->removeListener(&listener);
  ASSERT_GT(id, 0);
  ASSERT_EQ(listener.events.size(), 1u);
  const RepositoryEvent& event = listener.events[0];
  EXPECT_EQ(event.objectType, KvbString("Rule"));
  EXPECT_EQ(event.changeType, 0);  // added
  EXPECT_EQ(event.objectId, id);
  EXPECT_EQ(event.objectUUID, KvbString("u-rule"));
  EXPECT_EQ(event.reposUUID, repository_->getRepositoryUUID());
}

// A table-set folder that cannot be listed fails a creation, which names
// it and leaves no file; opening an existing repository only warns.
TEST_F(HostTest, SinkOfTheHostReceivesTheEnginesWarnings) {
  const std::string missing = path("no-such-folder");
  setOption("REPOS/TABLE_LIST_PATH", missing);
  std::vector<std::string> warnings;
  kvlogSetSink([&](const KvLogRecord& record) {
    if (record.level == 4) warnings.push_back(record.text);
  });
  const bool created = admin_->createFileRepository(path("repos.db").c_str());
  const std::string error = admin_->getErrorMessage().str();
  const bool leftFile = fs::exists(path("repos.db"));
  setOption("REPOS/TABLE_LIST_PATH", path("sets"));
  ASSERT_TRUE(admin_->createFileRepository(path("repos.db").c_str()));
  setOption("REPOS/TABLE_LIST_PATH", missing);
  warnings.clear();
  repository_ = admin_->openFileRepository(path("repos.db").c_str(), true);
  kvlogSetSink({});
  EXPECT_FALSE(created);
  EXPECT_NE(error.find(missing), std::string::npos) << error;
  EXPECT_FALSE(leftFile);
  ASSERT_NE(repository_, nullptr) << admin_->getErrorMessage().asCstr();
  EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [](auto& text) {
    return text.find("no-such-folder") != std::string::npos;
  }));
}

// Without a configured folder the engine reads the table sets installed
// beside its own library file, in whatever prefix that is.
TEST_F(HostTest, TableSetsAreFoundBesideTheLibrary) {
  for (const char* key : {"REPOS/TABLE_LIST_PATH", "KVEXEC_HOME"})
    kvbGetConfigOptions("")->remove(key);
  ASSERT_TRUE(createAndOpen()) << admin_->getErrorMessage().asCstr();
  int version = 0;
  repository_->getInfoVersion("REFDATA", &version, nullptr);
  EXPECT_GT(version, 0);
}

// The table-set folder set in code is the one the creation reads.
TEST_F(HostTest, OptionSetByTheHostIsHonoured) {
  std::ofstream(path("sets/host.xml"))
      << "<velmorandocument class=\"ReposTableCreateSpec\">"
         "<tableset name=\"HOSTSET\" version=\"3\"><table name=\"HOSTNOTE\">"
         "<column name=\"ID\" type=\"integer\" primarykey=\"true\"/>"
         "</table></tableset></velmorandocument>";
  ASSERT_TRUE(createAndOpen()) << admin_->getErrorMessage().asCstr();
  int version = 0;
  repository_->getInfoVersion("HOSTSET", &version, nullptr);
  EXPECT_EQ(version, 3);
  KvbString error;
  ReposDataAccessCursor* cursor =
      repository_->paramSelect("SELECT COUNT(*) FROM HOSTNOTE", &error, 0);
  EXPECT_NE(cursor, nullptr) << error.asCstr();
  if (cursor) cursor->release();
}

// What a repository hands out keeps working after the repository's
// release, whichever of them the host releases first.
TEST_F(HostTest, ObjectsOutliveTheRepositoryThatMadeThem) {
  ASSERT_TRUE(createAndOpen()) << admin_->getErrorMessage().asCstr();
  CommonRepositoryDataAccess* common = repository_->createCommonDataAccess();
  RepositoryFolderManager* folders = repository_->createFolderManager();
  RepositoryImportExportManager* transfer =
      repository_->createImportExportManager();
  ASSERT_TRUE(common && folders && transfer);
  repository_->release();
  repository_ = nullptr;

  const int id = common->addRule("Totals", "T", "x > 0", "", "", "host",
                                 "u-rule", 0, "", "");
  EXPECT_GT(id, 0) << common->getErrorMessage().asCstr();
  common->release();
  int folderId = -1;
  EXPECT_TRUE(folders->createFolder(0, "Kept", folderId));
  folders->release();
  KvbString output, error;
  EXPECT_TRUE(
      transfer->exportObject(id, "Rule", "u-rule", output, error, nullptr))
      << error.asCstr();
  delete transfer;  // the last holder closes the connection
}

// While a manager it handed out still holds the repository, a second
// release finds it alive and is refused with an error record.
TEST_F(HostTest, SecondReleaseOfARepositoryInUseIsRefused) {
  ASSERT_TRUE(createAndOpen()) << admin_->getErrorMessage().asCstr();
  RepositoryFolderManager* folders = repository_->createFolderManager();
  ASSERT_NE(folders, nullptr);
  std::vector<std::string> errors;
  kvlogSetSink([&](const KvLogRecord& record) {
    if (record.level == 5) errors.push_back(record.text);
  });
  repository_->release();
  repository_->release();
  kvlogSetSink({});
  repository_ = nullptr;
  EXPECT_EQ(errors, std::vector<std::string>{
                        "The repository was released already; release() "
                        "ignored"});
  int folderId = -1;
  EXPECT_TRUE(folders->createFolder(0, "Kept", folderId));
  folders->release();
}

}  // namespace
