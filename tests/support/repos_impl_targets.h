// Repository objects on each back end, for tests of the repository's own
// work (structure, initial data, defaults): a SQLite file opened directly,
// a SQLite file through the connection-string route, and PostgreSQL when
// KV_TEST_PG_CONNECTION is set (else skipped). Each test gets a fresh
// database and its own table-set folder, which the test fills before it
// opens the repository.
#ifndef TESTS_SUPPORT_REPOS_IMPL_TARGETS_H_
#define TESTS_SUPPORT_REPOS_IMPL_TARGETS_H_

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "admin/repositoryimpl.h"
#include "reposadmin/repository_status_callback.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

// Keeps what a repository reports; answers false to reportStatus for the
// text named in stopAt.
class RecordingStatus : public RepositoryStatusCallback {
 public:
  bool reportStatus(const KvbString& text) override {
    statuses.push_back(text.asCstr());
    return stopAt != text.asCstr();
  }
  void reportMessage(const KvbString& text) override {
    messages.push_back(text.asCstr());
  }
  bool sawMessage(const std::string& part) const {
    for (const std::string& m : messages)
      if (m.find(part) != std::string::npos) return true;
    return false;
  }

  std::string stopAt;
  std::vector<std::string> statuses;
  std::vector<std::string> messages;
};

class ReposImplTest : public BackEndTest {
 protected:
  void SetUp() override {
    makeDatabase("kvr", "kv");
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 tableSets_.path().string());
  }

  void TearDown() override {
    for (RepositoryImpl* repos : opened_) repos->release();
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
    BackEndTest::TearDown();
  }

  // Writes a table-set file; repositories opened afterwards read it.
  void writeTableSets(const std::string& name, const std::string& sets) {
    std::ofstream(tableSets_.file(name))
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<velmorandocument class=\"ReposTableCreateSpec\">\n"
        << sets << "</velmorandocument>\n";
  }

  // A repository on the test's database, released in TearDown; null with a
  // test failure when it cannot be opened.
  RepositoryImpl* open(RepositoryStatusCallback* status = nullptr) {
    RepositoryImpl* repos = new RepositoryImpl();
    KvbString error;
    const bool ok =
        repos->init(isFile() ? 1 : 0, nullptr, isFile() ? 0 : 1,
                    location().c_str(), prefix_.c_str(), "", status, &error);
    opened_.push_back(repos);
    EXPECT_TRUE(ok) << error.asCstr();
    // Every repository of the test is on the same database: the first one
    // serves the shared helpers.
    if (ok && !db_) db_ = repos->getDataAccess();
    return ok ? repos : nullptr;
  }

  // Creates the built-in core tables of `repos`.
  static ::testing::AssertionResult createCoreTables(RepositoryImpl* repos) {
    TableCreateOptions core;
    core.createTables = true;
    if (repos->getDataAccess()->createTables(core))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "core tables: "
           << repos->getDataAccess()->getErrorMessage().asCstr();
  }
  // A repository with only the built-in core tables, as an older one has;
  // null, with a test failure, when it cannot be opened or given them.
  RepositoryImpl* openBare(RepositoryStatusCallback* status = nullptr) {
    RepositoryImpl* repos = open(status);
    if (!repos) return nullptr;
    const ::testing::AssertionResult made = createCoreTables(repos);
    EXPECT_TRUE(made);
    return made ? repos : nullptr;
  }

  // The steps of creating a repository: the built-in core tables, the
  // table sets, then the initial data.
  static ::testing::AssertionResult create(RepositoryImpl* repos) {
    const ::testing::AssertionResult core = createCoreTables(repos);
    if (!core) return core;
    if (!repos->createTables(true, true, false, false, nullptr))
      return ::testing::AssertionFailure()
             << "table sets: " << repos->getErrorMessage().asCstr();
    if (!repos->installInitialData())
      return ::testing::AssertionFailure()
             << "initial data: " << repos->getErrorMessage().asCstr();
    return ::testing::AssertionSuccess();
  }

  // The rows of a query in which "%s" stands for the physical name of
  // `tableCode`: columns joined by "|", rows in the order the query gives.
  static std::vector<std::string> rows(RepositoryImpl* repos, const char* sql,
                                       const char* tableCode) {
    ReposDataAccess* rda = repos->getDataAccess();
    const KvbString text =
        kvbStringFormat(sql, rda->getTableName(tableCode, true, -1).asCstr());
    ReposDataAccessCursor* cursor = rda->paramSelect(text, 0);
    EXPECT_NE(cursor, nullptr)
        << text.asCstr() << ": " << rda->getErrorMessage().asCstr();
    return cursorRows(cursor);
  }

  // The columns of a table of the test's database, in upper case.
  static std::vector<std::string> columns(RepositoryImpl* repos,
                                          const char* tableCode) {
    std::list<TableColumnInfo> found;
    repos->getDataAccess()->getTableColumns(tableCode, found);
    std::vector<std::string> names;
    for (const TableColumnInfo& c : found)
      names.push_back(KvbString(c.name).toUpper().asCstr());
    return names;
  }

  TempDir tableSets_;

 private:
  std::vector<RepositoryImpl*> opened_;
};

#define INSTANTIATE_REPOS_TARGETS(suite) INSTANTIATE_RDA_TARGETS(suite)

#endif  // TESTS_SUPPORT_REPOS_IMPL_TARGETS_H_
