// Tests of the plain-text schema report: its switches on a small definition
// set, and the export writing the built-in schema to a file.
#include "schema/schema_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "kvfileio/kvfileio.h"
#include "reposadmin/kvreposadmin.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace {

const ReposColumnDef kCore[] = {
    {"ZETA", "Z_ID", kvbTypeInt, 0, kColPrimaryKey | kColNotNull, 0, 0,
     "Key of zeta"},
    {"ZETA", "Z_NAME", kvbTypeString, 40, kColIndexed, 0, 3, "Name of zeta"},
    {nullptr, nullptr, 0, 0, 0, 0, 0, "Zeta rows"},
    {"ALPHA", "A_NOTE", kvbTypeString, 0, kColMaxText, 0, 0, "Free note"},
    {"ALPHA", nullptr, kvbTypeString, 0, kColMetrics, 0, 0, "Metrics"},
    {nullptr, nullptr, 0, 0, 0, 0, 0, "Alpha rows"},
    {nullptr, nullptr, 0, 0, 0, 0, 0, nullptr},
};
const ReposColumnDef kNcoa[] = {
    {"MID", "M_VAL", kvbTypeReal, 0, 0, 0, 0, "A value"},
    {nullptr, nullptr, 0, 0, 0, 0, 0, "Middle rows"},
    {nullptr, nullptr, 0, 0, 0, 0, 0, nullptr},
};
const ReposColumnDef kExtension[] = {
    {"MID", "STAT_1", kvbTypeInt, 0, 0, 0, 0, "A statistic"},
    {nullptr, nullptr, 0, 0, 0, 0, 0, "Statistics"},
    {nullptr, nullptr, 0, 0, 0, 0, 0, nullptr},
};
const ReposCompositeIndex kComposites[] = {
    {"ZETA", 4, {"Z_NAME", "Z_ID", nullptr}, "Names with keys"},
    {nullptr, 0, {nullptr}, nullptr},
};
const SchemaReportSets kSets = {kCore, kNcoa, kExtension, kComposites};

size_t position(const std::string& text, const std::string& what) {
  size_t at = text.find(what);
  EXPECT_NE(at, std::string::npos) << "missing: " << what << "\n" << text;
  return at;
}

TEST(SchemaReport, SwitchesChooseOrderDescriptionsAndGrouping) {
  std::string plain = formatSchemaReport(kSets, false, false, false).str();
  EXPECT_EQ(plain.rfind("VELMORAN REPOSITORY SCHEMA - VERSION 7\n", 0), 0u);
  EXPECT_LT(position(plain, "TABLE ZETA"), position(plain, "TABLE ALPHA"));
  EXPECT_LT(position(plain, "CORE TABLES"), position(plain, "NCOA TABLES"));
  position(plain, "NCOA EXECUTION STATISTICS");
  position(plain, "  Z_ID       INTEGER    PRIMARY KEY");
  position(plain, "  Z_NAME     TEXT(40)   INDEX 3");
  position(plain, "  A_NOTE     TEXT(MAX)");
  position(plain, "  MET_0      TEXT(20)");
  position(plain, "  MET_23     TEXT(32)");
  position(plain, "  INDEX 4 (Z_NAME, Z_ID)");
  EXPECT_EQ(plain.find("Key of zeta"), std::string::npos);

  std::string sorted = formatSchemaReport(kSets, true, true, false).str();
  EXPECT_LT(position(sorted, "TABLE ALPHA - Alpha rows"),
            position(sorted, "TABLE ZETA - Zeta rows"));
  EXPECT_LT(position(sorted, "Z_ID"), position(sorted, "Z_NAME"))
      << "columns keep their order";
  position(sorted, "Key of zeta");
  position(sorted, "Standard Deviation");
  position(sorted, "INDEX 4 (Z_NAME, Z_ID) - Names with keys");

  std::string single = formatSchemaReport(kSets, true, false, true).str();
  EXPECT_EQ(single.find("CORE TABLES"), std::string::npos);
  EXPECT_EQ(single.find("STAT_1"), std::string::npos);
  EXPECT_LT(position(single, "TABLE MID"), position(single, "TABLE ZETA"));
}

TEST(SchemaReport, ExportWritesBuiltInSchemaOrReportsOpenError) {
  TempDir dir;
  std::string path = dir.file("schema.txt");
  ASSERT_EQ(writeRepositorySchemaInfo(path.c_str(), true, true, false), 0);
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  EXPECT_EQ(text.str().rfind("VELMORAN REPOSITORY SCHEMA - VERSION 7", 0), 0u);
  position(text.str(), "TABLE FOLDER");
  position(text.str(), "TABLE NCOAPA");
  EXPECT_EQ(writeRepositorySchemaInfo(dir.file("no/such/dir/x.txt").c_str(),
                                      false, false, false),
            NP_FIO_ENOTFOUND);
}

// A report that cannot be written whole (here the file may not grow beyond
// 1000 bytes) fails and leaves the older report as it was, and no other
// file.
TEST(SchemaReport, WriteThatFailsPartWayLeavesTheOlderReport) {
  TempDir dir;
  const std::string path = dir.file("schema.txt");
  std::ofstream(path) << "older report";
  EXPECT_EQ(runWithFileSizeLimit(1000,
                                 [&] {
                                   return writeRepositorySchemaInfo(
                                       path.c_str(), true, true, false);
                                 }),
            NP_FIO_ENOSPACE);
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  EXPECT_EQ(text.str(), "older report");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
