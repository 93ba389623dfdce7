// The commands of the table-creation specification run after the
// data-access-library back end creates a table or an index.
#include <gtest/gtest.h>

#include <fstream>

#include "support/rda_targets.h"
#include "support/temp_dir.h"

namespace {

class RdaSpecCommandsTest : public RdaTargetTest {
 protected:
  void TearDown() override {
    kvbGetConfigOptions("")->remove("REPOS/CREATE_SPEC_PATH");
    RdaTargetTest::TearDown();
  }
  void writeSpec(const std::string& text) {
    std::ofstream(specDir_.file("spec.xml")) << text;
    kvbGetConfigOptions("")->set("REPOS/CREATE_SPEC_PATH",
                                 specDir_.file("spec.xml").c_str());
  }
  // A connection that reads the specification `text`.
  ReposDataAccess* openWithSpec(const std::string& text) {
    writeSpec(text);
    return open();
  }
  TempDir specDir_;
};

TEST_P(RdaSpecCommandsTest, RunAfterTablesAndIndexesOnConnectionRoute) {
  if (GetParam() == RdaTarget::kSqliteFile) GTEST_SKIP() << "kind 0 only";
  ReposDataAccess* rda = openWithSpec(R"(<velmorandocument class="KvCreateSpec">
    <database type="*"><table name="SPEC*">
      <tablecommand>INSERT INTO %TABLE% (A, B) VALUES (0, 'table')</tablecommand>
      <indexcommand>INSERT INTO %TABLE% (A, B) VALUES (1, '%INDEX%')</indexcommand>
    </table></database></velmorandocument>)");
  ASSERT_NE(rda, nullptr);
  std::list<TableColumnInfo> columns(2);
  columns.front().name = "A";
  columns.front().type = kvbTypeInt;
  columns.back().name = "B";
  columns.back().size = 40;
  ASSERT_TRUE(rda->createTable("SPECT", columns)) << rda->getErrorMessage().asCstr();
  ASSERT_TRUE(rda->createIndex("SPECT", "A", "SPECT_A"));
  KvbString physical = rda->getTableName("SPECT", false, -1);
  EXPECT_EQ(rows(rda->paramSelect("SELECT B FROM " + physical + " ORDER BY A", 0)),
            (std::vector<std::string>{"table", "SPECT_A"}))
      << "the table command, then the index command with its placeholder";
  rda->release();

  writeSpec("<velmorandocument class=\"Other\"/>");
  KvbString error;
  EXPECT_EQ(createReposDataAccess(0, location().c_str(), prefix_.c_str(),
                                  nullptr, error),
            nullptr);
  EXPECT_NE(error.find("specification"), KvbString::npos) << error.asCstr();
}

INSTANTIATE_RDA_TARGETS(RdaSpecCommandsTest);

}  // namespace
