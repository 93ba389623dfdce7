// The upgrade of an old file-based profile repository when a read of a file
// fails: the old file is moved whole into a new one, or stays as it was and
// the upgrade fails with the read's reason. A file whose tables cannot be
// looked up is never taken for one of the current layout.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fault/fault_vfs.h"
#include "kvsqlstore/kvsqlstore.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"
#include "support/sqlite_rows.h"

namespace {

// The old tables that the move copies, and the new ones they become.
const char kOldTables[] =
    "CREATE TABLE info (i_type TEXT, i_version REAL);"
    "INSERT INTO info VALUES ('PROFILE_RESULTSET', 1.9);"
    "CREATE TABLE dsn (dsn_id INTEGER, job_id INTEGER, dsn_name TEXT, "
    "dsn_conn TEXT, dsn_textfile TEXT);"
    "INSERT INTO dsn VALUES (1, 1, 'd', 'c', 'N');"
    "CREATE TABLE patdist (fld_id INTEGER, pa_value TEXT, pa_count INTEGER);"
    "INSERT INTO patdist VALUES (7, '999', 4);"
    "CREATE TABLE note_cat (ncat_id INTEGER, ncat_desc TEXT);"
    "INSERT INTO note_cat VALUES (4, 'Quality');"
    "CREATE TABLE frqdist (fld_id INTEGER);"
    "CREATE TABLE frqdist7 (fr_value TEXT, fr_count INTEGER);"
    "INSERT INTO frqdist7 VALUES ('x', 3);";
const char* const kNewTables[] = {"DSN", "PATDST", "NOTCAT", "FRQDST7"};

std::string bytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// The rows of the tables the move fills, as SQLite itself reads them.
std::vector<std::string> movedRows(const std::string& path) {
  return sqliteRows(path, {std::begin(kNewTables), std::end(kNewTables)});
}

class OldFileReadTest : public AdminTargetTest {
 protected:
  // Writes the old file at `path`.
  void makeOldFile(const std::string& path) {
    std::filesystem::remove(path);
    SqliteDatabase* db = createSqliteDatabase(path.c_str());
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(db->exec(kOldTables)) << db->getErrorMessage().str();
    db->close();
  }
  // Opens the file at `path` and upgrades it, with the `k`th read of a
  // database file failing from the upgrade's start (none for 0).
  bool upgrade(const std::string& path, int k, std::string* why) {
    Repository* repository = admin_->openFileRepository(path.c_str(), false);
    EXPECT_NE(repository, nullptr) << error();
    if (!repository) return false;
    vfs_.armReads(k, SQLITE_IOERR_READ);
    const bool upgraded = repository->upgradeRepository();
    vfs_.disarmReads();
    *why = repository->getErrorMessage().str();
    repository->release();
    return upgraded;
  }

  FaultVfs vfs_;  // under every file, from the test's start
  LogCapture log_;
};

TEST_P(OldFileReadTest, AFailedReadMovesTheWholeFileOrLeavesItAsItWas) {
  const std::string path = dir_.file("old.db");
  ASSERT_NO_FATAL_FAILURE(makeOldFile(path));
  const std::string old = bytes(path);
  std::string why;
  ASSERT_TRUE(upgrade(path, 0, &why)) << why;
  const std::vector<std::string> moved = movedRows(path);
  // Each table's name and old row, and the category that NOTCAT starts
  // with.
  ASSERT_EQ(moved.size(), 9u);

  int faults = 0;
  for (int k = 1;; ++k) {
    SCOPED_TRACE("read " + std::to_string(k) + " failed");
    ASSERT_NO_FATAL_FAILURE(makeOldFile(path));
    std::filesystem::remove(path + ".backup");
    if (upgrade(path, k, &why)) {
      EXPECT_EQ(movedRows(path), moved);
    } else {
      EXPECT_TRUE(vfs_.readFired()) << why;
      EXPECT_NE(why.find("disk I/O error"), std::string::npos) << why;
      // The old file as it was; or, when only the open of the new file
      // after the move failed, the whole move.
      if (bytes(path) != old) {
        EXPECT_EQ(movedRows(path), moved) << why;
      }
    }
    if (HasFailure() || !vfs_.readFired()) break;
    ++faults;
  }
  EXPECT_GT(faults, 0);
}

INSTANTIATE_TEST_SUITE_P(File, OldFileReadTest,
                         ::testing::Values(AdminTarget::kSqliteFile),
                         rdaTargetName);

}  // namespace
