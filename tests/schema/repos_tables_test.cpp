// Tests of the built-in table definitions: they validate, each validation
// rule trips on a broken copy, the cursors walk every table without overrun
// (also on several threads), and every listing's column order is the one
// its readers rely on.
#include "schema/repos_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/log_capture.h"

namespace {

constexpr ReposColumnDef kEnd = {nullptr, nullptr, 0, 0, 0, 0, 0, nullptr};

ReposColumnDef tableEnd(const char* description) {
  return {nullptr, nullptr, 0, 0, 0, kPartCommon, 0, description};
}

TEST(TableDefinitions, ShippedArraysValidateClean) {
  LogCapture capture;
  EXPECT_TRUE(validateTableDefinitions());
  for (const CapturedLog& r : capture.records()) ADD_FAILURE() << r.text;
}

struct BrokenCase {
  const char* fault;  // expected in the warning
  std::vector<ReposColumnDef> defs;
};

TEST(TableDefinitions, EachCheckTripsOnABrokenCopy) {
  const ReposColumnDef id = {
      "T", "ID", kvbTypeInt, 0, kColPrimaryKey | kColNotNull, 0, 0, "Key"};
  auto col = [](const char* table, const char* name, int type, int length,
                int flags, int index, const char* description) {
    return ReposColumnDef{table, name, type,  length,
                          flags, 0,    index, description};
  };
  const BrokenCase cases[] = {
      {"Table code \"TOOLONG\"",
       {col("TOOLONG", "A", kvbTypeInt, 0, 0, 0, "x"), tableEnd("t")}},
      {"column name \"ABCDEFGHIJK\"",
       {col("T", "ABCDEFGHIJK", kvbTypeInt, 0, 0, 0, "x"), tableEnd("t")}},
      {"column name \"a\"",
       {col("T", "a", kvbTypeInt, 0, 0, 0, "x"), tableEnd("t")}},
      {"Table T is defined twice", {id, tableEnd("t"), id, tableEnd("t")}},
      {"column ID is defined twice", {id, id, tableEnd("t")}},
      {"has no index number",
       {col("T", "A", kvbTypeInt, 0, kColIndexed, 0, "x"), tableEnd("t")}},
      {"has an index number but is not indexed",
       {col("T", "A", kvbTypeInt, 0, 0, 7, "x"), tableEnd("t")}},
      {"Index number 9 of table U is already used by table T",
       {col("T", "A", kvbTypeInt, 0, kColIndexed, 9, "x"), tableEnd("t"),
        col("U", "B", kvbTypeInt, 0, kColIndexed, 9, "x"), tableEnd("u")}},
      {"text column A has no length",
       {col("T", "A", kvbTypeString, 0, 0, 0, "x"), tableEnd("t")}},
      {"has a length but is not text",
       {col("T", "A", kvbTypeReal, 8, 0, 0, "x"), tableEnd("t")}},
      {"unknown type 9", {col("T", "A", 9, 0, 0, 0, "x"), tableEnd("t")}},
      {"primary-key column A may be null",
       {col("T", "A", kvbTypeInt, 0, kColPrimaryKey, 0, "x"), tableEnd("t")}},
      {"column A has no description",
       {col("T", "A", kvbTypeInt, 0, 0, 0, ""), tableEnd("t")}},
      {"Table T has no description", {id, tableEnd(nullptr)}},
      {"Table T is not ended before table U",
       {id, col("U", "A", kvbTypeInt, 0, 0, 0, "x"), tableEnd("u")}},
  };
  for (const BrokenCase& c : cases) {
    std::vector<ReposColumnDef> defs = c.defs;
    defs.push_back(kEnd);
    const ReposColumnDef* const sets[] = {defs.data(), nullptr};
    LogCapture capture;
    EXPECT_FALSE(validateColumnDefSets(sets, nullptr)) << c.fault;
    EXPECT_TRUE(capture.contains(c.fault, 4)) << c.fault;
  }
  std::vector<ReposColumnDef> good = {id, tableEnd("t"), kEnd};
  const ReposColumnDef* const sets[] = {good.data(), nullptr};
  EXPECT_TRUE(validateColumnDefSets(sets, nullptr));
  const ReposCompositeIndex badComposite[] = {
      {"NOPE", 77, {"A", "B", nullptr}, "x"}, {nullptr, 0, {nullptr}, nullptr}};
  LogCapture capture;
  EXPECT_FALSE(validateColumnDefSets(sets, badComposite));
  EXPECT_TRUE(capture.contains("unknown table NOPE"));
}

// Walks the calling thread's core cursor; the number of tables, and the
// number of calls until the cursor gave null.
std::pair<int, int> walkCore() {
  resetColumnDefCursor();
  int tables = 0, calls = 0;
  const ReposColumnDef* previous = nullptr;
  while (const ReposColumnDef* def = nextColumnDef()) {
    ++calls;
    if (isEndRecord(*def) && previous && !isEndRecord(*previous)) ++tables;
    previous = def;
  }
  return {tables, calls};
}

TEST(TableDefinitions, CursorsStopAtTheEndOnEveryThread) {
  std::pair<int, int> alone = walkCore();
  EXPECT_GT(alone.first, 80);
  EXPECT_EQ(nextColumnDef(), nullptr) << "still null after the end";

  std::vector<std::pair<int, int>> seen(4);
  std::vector<std::thread> threads;
  for (auto& result : seen)
    threads.emplace_back([&result] {
      for (int i = 0; i < 20; ++i) result = walkCore();
    });
  for (std::thread& t : threads) t.join();
  for (const auto& result : seen) EXPECT_EQ(result, alone);

  resetNcoaColumnDefCursor();
  int ncoaRecords = 0;
  while (nextNcoaColumnDef(false)) ++ncoaRecords;
  // The extension keeps a position of its own: walked right after the NCOA
  // array, it starts at its first record.
  const ReposColumnDef* first = nextNcoaColumnDef(true);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first->columnName, "PAFNCOA");
  EXPECT_EQ(ncoaColumnDefAt(ncoaRecords, false), nullptr);
  EXPECT_NE(ncoaColumnDefAt(ncoaRecords - 1, false), nullptr);
  EXPECT_EQ(ncoaColumnDefAt(-1, false), nullptr);
  EXPECT_STREQ(ncoaColumnDefAt(0, false)->tableCode, "NCOALO");
}

TEST(TableDefinitions, NcoaExtensionKeepsItsNamedStatistics) {
  // Execution column keys 0..3 are NCOAEX's own columns; the extension's
  // record i holds key i + 4.
  const struct {
    int key;
    const char* name;
    int type;
  } named[] = {{4, "PAFNCOA", kvbTypeString},    {5, "PROCCAT", kvbTypeString},
               {6, "ADDNOTE", kvbTypeString},    {7, "PREPROC", kvbTypeInt},
               {243, "MASRECTY", kvbTypeString}, {244, "PROCS", kvbTypeInt}};
  for (const auto& n : named) {
    const ReposColumnDef* def = ncoaColumnDefAt(n.key - 4, true);
    ASSERT_NE(def, nullptr) << n.name;
    EXPECT_STREQ(def->columnName, n.name);
    EXPECT_EQ(def->type, n.type) << n.name;
  }
  int columns = 0;
  for (int i = 0; ncoaColumnDefAt(i, true); ++i)
    if (!isEndRecord(*ncoaColumnDefAt(i, true))) ++columns;
  EXPECT_EQ(columns, 241);
}

TEST(TableDefinitions, CompositeIndexesNameDefinedColumns) {
  for (const ReposCompositeIndex* ix = reposCompositeIndexes; ix->tableCode;
       ++ix) {
    const ReposColumnDef* first = findTableColumnDefs(ix->tableCode);
    ASSERT_NE(first, nullptr) << ix->tableCode;
    for (int i = 0; ix->columns[i]; ++i) {
      bool found = false;
      for (const ReposColumnDef* c = first; !isEndRecord(*c); ++c)
        found |= c->columnName && strcmp(c->columnName, ix->columns[i]) == 0;
      EXPECT_TRUE(found) << ix->tableCode << "." << ix->columns[i];
    }
  }
}

TEST(TableDefinitions, FindsCoreBeforeNcoaAndNeverTheExtension) {
  EXPECT_STREQ(findTableColumnDefs("NCOAEX")->columnName, "RUN_ID");
  EXPECT_EQ(findTableColumnDefs("RDDOMS"), nullptr);
  EXPECT_EQ(findTableColumnDefs(nullptr), nullptr);
}

// The full column orders that listings return, as their readers rely on
// them (position by position). "@METRICS" stands for the metric
// placeholder.
const char* const kListingOrders[] = {
#include "schema/column_orders.inc"
};

TEST(TableDefinitions, ColumnOrdersMatchTheListings) {
  for (const char* line : kListingOrders) {
    std::string text(line);
    std::string code = text.substr(0, text.find(' '));
    std::string expected = text.substr(code.size() + 1);
    const ReposColumnDef* def = findTableColumnDefs(code.c_str());
    ASSERT_NE(def, nullptr) << code;
    std::string actual;
    for (; !isEndRecord(*def); ++def) {
      if (!actual.empty()) actual += ",";
      actual += (def->flags & kColMetrics) ? "@METRICS" : def->columnName;
    }
    EXPECT_EQ(actual, expected) << code;
  }
}

}  // namespace
