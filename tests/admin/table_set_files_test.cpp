// Table-set folders holding a file that cannot be used: a creation fails
// with the file's name and its fault, whatever good files follow it, and
// never waits on a FIFO or reads a device without end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "kvfileio/kvfileio.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository_admin.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class TableSetFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(sets_);
    // A good set that sorts after every bad file below.
    fs::copy_file(KV_SOURCE_DIR "/etc/reposcreate/refdata.xml",
                  sets_ + "/z_refdata.xml");
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", sets_.c_str());
    admin_ = createRepositoryAdmin(1, nullptr);
    ASSERT_NE(admin_, nullptr) << getRepositoryAdminError();
  }
  void TearDown() override {
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
    if (admin_) admin_->release();
  }

  TempDir dir_;
  const std::string sets_ = dir_.file("sets");
  RepositoryAdmin* admin_ = nullptr;
  LogCapture log_;  // keeps the expected failures off the console
};

TEST_F(TableSetFilesTest, AnUnusableFileBeforeAGoodOneFailsTheCreation) {
  const std::string bad = sets_ + "/a_bad.xml";
  const struct {
    const char* kind;
    const char* fault;
  } cases[] = {
      {"broken", "the table has no columns"},
      {"fifo", np_fio_errdesc(NP_FIO_ENOTREG)},
      {"device", np_fio_errdesc(NP_FIO_ENOTREG)},
  };
  for (const auto& c : cases) {
    fs::remove(bad);
    if (c.kind == std::string("broken"))
      std::ofstream(bad) << "<velmorandocument class=\"ReposTableCreateSpec\">"
                            "<tableset name=\"BAD\" version=\"1\"><table "
                            "name=\"BADT\"/></tableset></velmorandocument>";
    else if (c.kind == std::string("fifo"))
      ASSERT_EQ(mkfifo(bad.c_str(), 0600), 0);
    else
      ASSERT_EQ(symlink("/dev/zero", bad.c_str()), 0);
    const std::string db = dir_.file(std::string(c.kind) + ".db");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(admin_->createFileRepository(db.c_str())) << c.kind;
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(10))
        << c.kind;
    const std::string error = admin_->getErrorMessage().str();
    EXPECT_EQ(error.rfind("a_bad.xml: ", 0), 0u) << error;
    EXPECT_NE(error.find(c.fault), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(db) && fs::file_size(db) > 0) << c.kind;
  }
  fs::remove(bad);
  const std::string db = dir_.file("good.db");
  EXPECT_TRUE(admin_->createFileRepository(db.c_str()))
      << admin_->getErrorMessage().str();
}

}  // namespace
