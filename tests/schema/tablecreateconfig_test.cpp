// Tests of the table-creation specification: loading, lookups with
// wildcards and placeholders, and refused files.
#include "schema/tablecreateconfig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "reposadmin/kvreposadmin.h"
#include "support/temp_dir.h"

namespace {

using KvTableCreateNS::KvCreateSpecCommands;
using KvTableCreateNS::KvCreateSpecDoc;

std::vector<std::string> drain(KvCreateSpecCommands* commands) {
  std::vector<std::string> out;
  KvbString command;
  while (commands->next(command)) out.push_back(command.str());
  commands->release();
  return out;
}

class CreateSpecTest : public ::testing::Test {
 protected:
  void SetUp() override { doc_ = getTableCreationSpec(); }
  void TearDown() override { doc_->release(); }
  bool load(const std::string& text) {
    std::string path = dir_.file("spec.xml");
    std::ofstream(path) << text;
    return doc_->loadFile(path.c_str());
  }

  TempDir dir_;
  KvCreateSpecDoc* doc_ = nullptr;
};

TEST_F(CreateSpecTest, LooksUpMatchingEntriesInFileOrder) {
  ASSERT_TRUE(load(R"(<velmorandocument class="KvCreateSpec">
    <database type="postgresql">
      <table name="*"><tablecommand>GRANT SELECT ON %TABLE% TO r</tablecommand></table>
      <table name="FRQDST*" schema="stats">
        <tablecommand>ANALYZE %TABLE%</tablecommand>
        <indexcommand>ALTER INDEX %SCHEMA%.%INDEX% SET (fillfactor = 100)</indexcommand>
      </table>
    </database>
    <database type="SQLite">
      <table name="FOLDER"><tablecommand>VACUUM</tablecommand></table>
    </database>
  </velmorandocument>)"))
      << doc_->getErrorMessage().str();

  EXPECT_EQ(drain(doc_->getTableCommands("PostgreSQL", "stats", "FRQDST12",
                                         "stats.kvFRQDST12")),
            (std::vector<std::string>{"GRANT SELECT ON stats.kvFRQDST12 TO r",
                                      "ANALYZE stats.kvFRQDST12"}));
  EXPECT_EQ(drain(doc_->getIndexCommands("PostgreSQL", "stats", "FRQDST12",
                                         "stats.kvFRQDST12", "ix7")),
            (std::vector<std::string>{
                "ALTER INDEX stats.ix7 SET (fillfactor = 100)"}));
  EXPECT_EQ(drain(doc_->getTableCommands("PostgreSQL", "", "FRQDST12", "x")),
            (std::vector<std::string>{"GRANT SELECT ON x TO r"}))
      << "schema must match";
  EXPECT_TRUE(drain(doc_->getTableCommands("SQLite", "", "FLDR", "FLDR")).empty());
  EXPECT_TRUE(drain(doc_->getIndexCommands("Other", "", "FOLDER", "F", "i")).empty());
}

TEST_F(CreateSpecTest, RefusesMalformedFilesWhole) {
  for (const char* text :
       {"<velmorandocument class=\"Other\"/>",
        "<velmorandocument "
        "class=\"KvCreateSpec\"><database/></velmorandocument>",
        "<velmorandocument class=\"KvCreateSpec\"><database type=\"x\"><table "
        "name=\"T\"><drop/></table></database></velmorandocument>",
        "<velmorandocument class=\"KvCreateSpec\"><database type=\"x\">",
        "<velmorandocument class=\"KvCreateSpec\"><database type=\"x\"><view "
        "name=\"T\"/></database></velmorandocument>",
        "<velmorandocument class=\"KvCreateSpec\"><database type=\"x\"><table/>"
        "</database></velmorandocument>"}) {
    EXPECT_FALSE(load(text)) << text;
    EXPECT_NE(doc_->getErrorMessage().find("spec.xml"), KvbString::npos);
    EXPECT_TRUE(drain(doc_->getTableCommands("x", "", "T", "T")).empty());
  }
  EXPECT_FALSE(doc_->loadFile(dir_.file("missing.xml").c_str()));
}

}  // namespace
