// RefDataTest: a repository with the shipped reference-data table set on
// each back end, its reference-data object, and one small world of
// reference data that the tests read and delete.
#ifndef TESTS_REFDATA_REFDATA_FIXTURE_H_
#define TESTS_REFDATA_REFDATA_FIXTURE_H_

#include <string>
#include <vector>

#include "admin/repositoryimpl.h"
#include "reposadmin/refdata_data_access.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

using Rows = std::vector<std::string>;

// The rows with field `column` of each replaced by "*", for values such as
// creation dates that differ from run to run.
inline Rows masked(Rows rows, size_t column) {
  for (std::string& row : rows) {
    size_t start = 0;
    for (size_t c = 0; c < column && start != std::string::npos; ++c)
      start = row.find('|', start) + 1;
    const size_t end = row.find('|', start);
    row.replace(start, end == std::string::npos ? end : end - start, "*");
  }
  return rows;
}

class RefDataTest : public BackEndTest {
 protected:
  void SetUp() override {
    // Table names hold "WHERE" (a SQLite file takes no prefix): filters must
    // not look for the word in the statement's text.
    makeDatabase("NOWHERE", "NOWHERE_");
    if (IsSkipped() || HasFatalFailure()) return;
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 KV_SOURCE_DIR "/etc/reposcreate");
    repos_ = new RepositoryImpl();
    KvbString error;
    ASSERT_TRUE(repos_->init(isFile() ? 1 : 0, nullptr, isFile() ? 0 : 1,
                             location().c_str(), prefix_.c_str(), "", nullptr,
                             &error))
        << error.asCstr();
    db_ = repos_->getDataAccess();
    TableCreateOptions core;
    core.createTables = true;
    ASSERT_TRUE(db_->createTables(core)) << db_->getErrorMessage().asCstr();
    ASSERT_TRUE(repos_->createTables(false, true, false, false, nullptr))
        << repos_->getErrorMessage().asCstr();
    rd_ = repos_->createRefDataDataAccess();
    ASSERT_NE(rd_, nullptr);
  }
  void TearDown() override {
    if (rd_) rd_->release();
    if (repos_) repos_->release();
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
    BackEndTest::TearDown();
  }

  static Rows rows(ReposDataAccessCursor* cursor) {
    EXPECT_NE(cursor, nullptr);
    return cursorRows(cursor);
  }
  static Rows sorted(ReposDataAccessCursor* cursor) {
    return sortedRows(rows(cursor));
  }
  // The world: accounts owner (1) and locker (2); languages English (1,
  // en) and German (2, de); attributes Capital (1) and Population (2) of
  // the user context (1) and Internal (3) of another (2); domain Places (1)
  // with versions 1 (id 1) and 2 (id 2, locked), languages en and de;
  // items Europe (1), France (2), Paris (3) as a three-level tree in
  // version 2 (item versions 1-3) and Europe alone in version 1 (item
  // version 4); France carries Capital, with an English and a German value
  // in version 2, and Population, which no version carries.
  void buildWorld() {
    const KvbDate none;
    ASSERT_TRUE(
        rd_->addAccount("owner", "user", "", "o@x", "", "", "", 1, nullptr));
    ASSERT_TRUE(
        rd_->addAccount("locker", "user", "", "", "", "", "", -1, nullptr));
    ASSERT_TRUE(rd_->addRole("editor", "edits", "E", nullptr));
    ASSERT_TRUE(rd_->addPermission("R", "read", 1, nullptr));
    ASSERT_TRUE(rd_->addPermission("W", "write", 2, nullptr));
    ASSERT_TRUE(rd_->addLanguage("English", "en", nullptr));
    ASSERT_TRUE(rd_->addLanguage("German", "de", nullptr));
    ASSERT_TRUE(rd_->addAttributeContext("RD_USER_ATTRIBUTE", "", nullptr));
    ASSERT_TRUE(rd_->addAttributeContext("RD_SYSTEM", "", nullptr));
    ASSERT_TRUE(rd_->addAttributeType("text", "plain text", nullptr));
    ASSERT_TRUE(rd_->addAttribute("Capital", "capital city", 1, "text", 1, 1, 0,
                                  "", nullptr));
    ASSERT_TRUE(rd_->addAttribute("Population", "inhabitants", 1, "", 1, 1, 0,
                                  "number", nullptr));
    ASSERT_TRUE(
        rd_->addAttribute("Internal", "", 1, "text", 2, 1, 0, "", nullptr));
    ASSERT_TRUE(rd_->addDomain("Places", "places of the world", "PL", "Y", "Y",
                               "G", 1, "Y", 1, 2, KvbDate(20000.5), "C",
                               nullptr));
    ASSERT_TRUE(rd_->addDomainVersion(1, 1, "first", "Y", "N", "G", 1, "N", -1,
                                      none, nullptr));
    ASSERT_TRUE(rd_->addDomainVersion(1, 2, "second", "Y", "Y", "G", 1, "Y", 2,
                                      KvbDate(20001.25), nullptr));
    ASSERT_TRUE(rd_->addDomainLanguage(1, 1, nullptr));
    ASSERT_TRUE(rd_->addDomainLanguage(1, 2, nullptr));
    ASSERT_TRUE(rd_->addDomainLanguageVersion(1, 1));
    ASSERT_TRUE(rd_->addDomainLanguageVersion(2, 1));
    ASSERT_TRUE(rd_->addDomainLanguageVersion(2, 2));
    ASSERT_TRUE(rd_->addItem("EU", "Europe", "Y", "Y", "G", 1, nullptr));
    ASSERT_TRUE(rd_->addItem("FR", "France", "Y", "Y", "G", 1, nullptr));
    ASSERT_TRUE(rd_->addItem("PAR", "Paris", "Y", "N", "G", 1, nullptr));
    ASSERT_TRUE(rd_->addItemVersion(2, 1, 1, "EU", -1, nullptr));
    ASSERT_TRUE(rd_->addItemVersion(2, 2, 2, "EU/FR", 1, nullptr));
    ASSERT_TRUE(rd_->addItemVersion(2, 3, 3, "EU/FR/PAR", 2, nullptr));
    ASSERT_TRUE(rd_->addItemVersion(1, 1, 1, "EU", -1, nullptr));
    ASSERT_TRUE(rd_->addItemAttribute(2, 1, nullptr));
    ASSERT_TRUE(rd_->addItemAttribute(2, 2, nullptr));
    ASSERT_TRUE(rd_->addItemAttributeVersion(2, 1));
    ASSERT_TRUE(rd_->addItemAttributeValue("Paris", 1, nullptr));
    ASSERT_TRUE(rd_->addItemAttributeValue("PARIS-DE", 2, nullptr));
    ASSERT_TRUE(rd_->addItemAttributeValueVersion(2, 1, 1));
    ASSERT_TRUE(rd_->addItemAttributeValueVersion(2, 2, 1));
    ASSERT_TRUE(rd_->addDomainAttribute(1, 1, nullptr));
    ASSERT_TRUE(rd_->addDomainAttribute(1, 3, nullptr));
    ASSERT_TRUE(rd_->addDomainAttributeVersion(1, 1, 2, "Y"));
    ASSERT_TRUE(rd_->addDomainAttributeVersion(1, 2, 2, "N"));
    ASSERT_TRUE(rd_->addDomainAttributeValue(1, "city", "Y", 1, nullptr));
    ASSERT_TRUE(rd_->addDomainAttributeValueVersion(2, 1));
    ASSERT_TRUE(rd_->addDomainAttributePermission(1, 2, 2));
    ASSERT_TRUE(rd_->addDomainPermission(1, 1, 1));
    ASSERT_TRUE(rd_->addDomainVersionPermission(2, 2, 2));
    ASSERT_TRUE(rd_->addDomainAccess(1, 1, 1));
    ASSERT_TRUE(rd_->addDomainAssociation(1, "region", nullptr));
    ASSERT_TRUE(rd_->addItemPermission(1, 1, 1));
    ASSERT_TRUE(rd_->addItemAttributePermission(1, 2, 1));
    ASSERT_TRUE(rd_->addNote(1, "C", 1, "USER_PUBS", "first", 1, 1, nullptr));
    ASSERT_TRUE(rd_->addNote(1, "C", 1, "USER_PUBS", "second", 1, 1, nullptr));
    ASSERT_TRUE(rd_->addNote(1, "C", 3, "RDDOIT", "on an item", 1, 1, nullptr));
    ASSERT_TRUE(
        rd_->addPublication("web", "html", 1, 2, "dsn", "pub", nullptr));
    ASSERT_TRUE(rd_->addPublication("orphan", "csv", 9, 1, "", "", nullptr));
  }

  RepositoryImpl* repos_ = nullptr;
  RefDataRepositoryDataAccess* rd_ = nullptr;
  LogCapture log_;  // keeps the expected failures off the console
};

#endif  // TESTS_REFDATA_REFDATA_FIXTURE_H_
