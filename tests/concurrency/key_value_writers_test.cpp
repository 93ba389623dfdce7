// Several processes write the same new keys of one repository's key/value
// store at once: every write succeeds and each key ends with exactly one
// row, also in a repository made before KEYVAL had a unique index.
#include <gtest/gtest.h>

#include <string>

#include "support/admin_targets.h"
#include "support/child_processes.h"

namespace {

constexpr int kWriters = 4;
constexpr int kKeys = 50;

class KeyValueWritersTest : public AdminTargetTest {
 protected:
  // Each child opens the repository on its own administration object and
  // writes every key; its exit status is the number of failed writes.
  void writeConcurrently(const AdminDatabase& db) {
    const auto statuses = runInChildren(kWriters, [&](int child) {
      RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
      Repository* repository = open(db, false, admin);
      int failed = repository ? 0 : kKeys;
      for (int k = 0; repository && k < kKeys; ++k)
        if (!repository->setKeyValue(("key" + std::to_string(k)).c_str(),
                                     std::to_string(child).c_str()))
          ++failed;
      if (repository) repository->release();
      admin->release();
      return failed;
    });
    EXPECT_EQ(statuses, std::vector<int>(kWriters, 0)) << "failed writes";
  }

  // The keys stored more than once, with their row counts.
  std::vector<std::string> duplicatedKeys(RepositoryImpl* repository) {
    return cursorRows(repository->getDataAccess()->paramSelect(
        "SELECT V_KEY, COUNT(*) FROM " +
            repository->getDataAccess()->getTableName("KEYVAL", true, -1) +
            " GROUP BY V_KEY HAVING COUNT(*) > 1",
        0));
  }
};

TEST_P(KeyValueWritersTest, EachKeyKeepsOneRow) {
  for (const bool oldShape : {false, true}) {
    SCOPED_TRACE(oldShape ? "KEYVAL without a unique index" : "new repository");
    const AdminDatabase db = newDatabase();
    ASSERT_TRUE(create(db)) << error();
    RepositoryImpl* repository = open(db);
    ASSERT_NE(repository, nullptr) << error();
    ReposDataAccess* rda = repository->getDataAccess();
    if (oldShape) {
      // The index of KEYVAL as repositories made before had it.
      const KvbString index = rda->getIndexName(367, "");
      const KvbString schema = rda->getSchemaName();
      ASSERT_TRUE(rda->paramExec(
          "DROP INDEX " + (schema.isEmpty() ? schema : schema + ".") + index,
          nullptr, 0));
      ASSERT_TRUE(rda->createIndex("KEYVAL", "V_KEY", index));
    }
    writeConcurrently(db);
    EXPECT_EQ(duplicatedKeys(repository), std::vector<std::string>{});
    EXPECT_EQ(
        cursorRows(rda->paramSelect(
            "SELECT COUNT(*) FROM " + rda->getTableName("KEYVAL", true, -1),
            0)),
        std::vector<std::string>{std::to_string(kKeys)});
    repository->release();
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, KeyValueWritersTest,
                         ::testing::Values(AdminTarget::kSqliteFile,
                                           AdminTarget::kPostgres),
                         rdaTargetName);

}  // namespace
