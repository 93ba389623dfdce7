// Repository files of any legal name are made, opened and deleted at that
// path; an empty path is refused in the host's own terms.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/admin_targets.h"
#include "support/log_capture.h"

namespace {

namespace fs = std::filesystem;

TEST(FilePathNames, AnyLegalNameIsTheFileItNamesOnBothRoutes) {
  TempDir dir;
  const WorkingFolder inside(dir.path());  // the names below are relative
  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                               KV_SOURCE_DIR "/etc/reposcreate");
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  LogCapture log;
  // "true" opens files directly, "false" through the connection route.
  for (const char* route : {"true", "false"}) {
    kvbGetConfigOptions("")->set("REPOS/FORCE_FILE_BASED", route);
    for (const char* name :
         {"a;b.db", "k=v;CREATE=FALSE.db", "{braced}.db", "x}};{y.db",
          "  blanks at both ends  ", "it's \"quoted\".db", "Zoë ∑ 名前.db",
          // Would send the creation to an ODBC data source.
          "h.db;KVXTYPE=ODBC;DSN=kv_no_such_dsn",
          // SQLite would take these as a URI and as a memory database.
          "file:uri.db?mode=memory", ":memory:"}) {
      EXPECT_TRUE(admin->createFileRepository(name))
          << name << ": " << admin->getErrorMessage().str();
      std::set<std::string> files;
      for (const auto& entry : fs::directory_iterator(dir.path()))
        files.insert(entry.path().filename().string());
      EXPECT_EQ(files, std::set<std::string>{name});
      Repository* repository = admin->openFileRepository(name, true);
      EXPECT_NE(repository, nullptr) << admin->getErrorMessage().str();
      if (repository) repository->release();
      EXPECT_TRUE(admin->deleteFile(name));
      EXPECT_TRUE(fs::is_empty(dir.path())) << name;
    }
  }
  admin->release();
  for (const char* key : {"REPOS/FORCE_FILE_BASED", "REPOS/TABLE_LIST_PATH"})
    kvbGetConfigOptions("")->remove(key);
}

// The refusal speaks of the empty path the host gave, not of the connection
// string the engine would make of it; it is logged once and makes nothing.
TEST(FilePathNames, AnEmptyPathIsRefusedAsSuch) {
  TempDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  LogCapture log;
  const std::string refusal =
      "The repository cannot be created: the database file path is empty";
  for (const KvbString& path : {KvbString(""), KvbString()}) {
    const std::vector<std::string> records = log.failuresDuring(
        [&] { EXPECT_FALSE(admin->createFileRepository(path)); });
    EXPECT_EQ(records, std::vector<std::string>{refusal});
    EXPECT_EQ(admin->getErrorMessage().str(), refusal);
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
  admin->release();
  fs::current_path(previous);
}

}  // namespace
