// A catalogue that cannot be read is no missing table: an open, and an
// upgrade that looks for the repository's tables first, fail with the
// read's reason instead of finding no repository.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "kvdataaccess/kvdataaccess.h"
#include "support/admin_targets.h"
#include "support/driver_fault.h"
#include "support/log_capture.h"

namespace {

class CatalogueReadTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    db_ = newDatabase();
    ASSERT_TRUE(create(db_)) << error();
  }

  AdminDatabase db_;
  LogCapture log_;
};

// Whatever statement of an open fails first, and every one after it (the
// version rows' and the catalogue's among them), the open never says that
// the database holds no repository: with `check` it opens or is refused
// with the reason; without, it opens, and the versions are the
// repository's or a failure with the reason.
TEST_P(CatalogueReadTest, AnOpenWhoseReadsFailFindsTheRepositoryOrSaysWhy) {
  if (isFile()) GTEST_SKIP() << "a file opened directly has no driver";
  int faults = 0;
  for (int n = 1;; ++n) {
    SCOPED_TRACE("statements fail from the " + std::to_string(n) + "th on");
    bool fired = false;
    for (bool check : {true, false}) {
      RepositoryImpl* repository = nullptr;
      int version = -1;
      bool versionRead = false;
      std::string why;
      {
        DriverFault fault(DacFault::kPrepare, n, true);
        repository = open(db_, check);
        if (repository) {
          versionRead =
              repository->getInfoVersion("KVREPOSITORY", &version, nullptr);
          why = repository->getErrorMessage().str();
        }
        fired = fired || DriverFault::fired();
      }
      if (!repository) {
        EXPECT_NE(error().find(kDriverFaultText), std::string::npos) << error();
        EXPECT_EQ(error().find("holds no repository"), std::string::npos)
            << error();
        continue;
      }
      if (versionRead)
        EXPECT_EQ(version, 7);
      else
        EXPECT_NE(why.find(kDriverFaultText), std::string::npos) << why;
      repository->release();
    }
    if (HasFailure() || !fired) break;
    ++faults;
  }
  EXPECT_GT(faults, 0);
}

// An NCOA upgrade first looks for the repository's tables: when the file
// cannot be read, because another connection holds it, the upgrade fails
// with that reason, not as one of a repository never created.
TEST_P(CatalogueReadTest, AnUpgradeThatCannotReadTheCatalogueSaysWhy) {
  if (isPostgres()) GTEST_SKIP() << "the lock is a SQLite file's";
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20");
  RepositoryImpl* repository = open(db_);
  ASSERT_NE(repository, nullptr) << error();
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db_.file.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_FALSE(repository->upgradeNCOA());
  const std::string why = repository->getErrorMessage().str();
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  EXPECT_NE(why.find("locked"), std::string::npos) << why;
  repository->release();
}

INSTANTIATE_ADMIN_TARGETS(CatalogueReadTest);

}  // namespace
