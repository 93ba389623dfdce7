// Creating, checking and dropping tables and indexes on every back end: the
// built-in core tables, definition arrays of table sets, tables given as
// column lists, hostile names, statements diverted to a DDL callback, the
// primary-index dialect text and the bulk loader.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "rda/rda_dac.h"
#include "reposadmin/repository_status_callback.h"
#include "schema/repos_tables.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

namespace {

std::string upper(std::string text) {
  for (char& c : text)
    c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

// A column as "NAME:type(size)".
std::string column(const std::string& name, int type, int size) {
  return upper(name) + ":" + std::to_string(type) + "(" + std::to_string(size) +
         ")";
}

// Index name -> its columns in order, both in upper case.
typedef std::map<std::string, std::vector<std::string>> IndexMap;

struct TableShape {
  std::string code;
  std::vector<std::string> columns;
  IndexMap indexes;
};

std::vector<std::string> columnsOf(ReposDataAccess* rda,
                                   const std::string& code) {
  std::list<TableColumnInfo> list;
  rda->getTableColumns(code, list);
  std::vector<std::string> out;
  for (const TableColumnInfo& c : list)
    out.push_back(column(c.name.str(), c.type, c.size));
  return out;
}

IndexMap indexesOf(ReposDataAccess* rda, const std::string& code) {
  IndexMap out;
  ReposDataAccessCursor* c =
      rda->listIndexes(rda->getTableName(code.c_str(), false, -1));
  if (!c)
    ADD_FAILURE() << "listIndexes " << code << ": "
                  << rda->getErrorMessage().asCstr();
  while (c && c->next() == 1)
    out[upper(c->getString(0).str())].push_back(upper(c->getString(1).str()));
  if (c) c->release();
  return out;
}

// The tables of a definition array as `rda` should have made them; text
// sizes read back as 255 when `sizesAre255` (the SQLite back end).
std::vector<TableShape> expectedTables(ReposDataAccess* rda,
                                       const ReposColumnDef* defs,
                                       const KvbString& indexPrefix,
                                       bool builtIn, bool sizesAre255) {
  const int maxText = rda->getMaxTextLength();
  auto text = [&](int size) { return sizesAre255 ? 255 : size; };
  auto indexName = [&](int n) {
    return upper(rda->getIndexName(n, indexPrefix).str());
  };
  std::vector<TableShape> out;
  for (const ReposColumnDef* p = defs; !isEndRecord(*p); ++p) {
    TableShape t;
    t.code = p->tableCode;
    for (; !isEndRecord(*p); ++p) {
      if (p->flags & kColMetrics) {
        for (int m = 0; m < kFieldMetricCount; ++m)
          t.columns.push_back(
              column("MET_" + std::to_string(m), kvbTypeString,
                     text(fieldMetricDefs[m].size ? fieldMetricDefs[m].size
                                                  : maxText)));
        continue;
      }
      const int size = (p->flags & kColMaxText) ? maxText : p->length;
      t.columns.push_back(column(p->columnName, p->type,
                                 p->type == kvbTypeString ? text(size) : 0));
      if (p->flags & kColIndexed)
        t.indexes[indexName(p->indexNumber)] = {p->columnName};
    }
    for (const ReposCompositeIndex* ix = reposCompositeIndexes;
         builtIn && ix->tableCode; ++ix)
      if (t.code == ix->tableCode)
        for (int i = 0; ix->columns[i]; ++i)
          t.indexes[indexName(ix->indexNumber)].push_back(ix->columns[i]);
    out.push_back(t);
  }
  return out;
}

void expectTables(ReposDataAccess* rda, const std::vector<TableShape>& want) {
  for (const TableShape& t : want) {
    EXPECT_EQ(columnsOf(rda, t.code), t.columns) << "table " << t.code;
    EXPECT_EQ(indexesOf(rda, t.code), t.indexes) << "table " << t.code;
  }
}

// Records each status text; answers false from report number `stopAt` on.
struct RecordingStatus : RepositoryStatusCallback {
  bool reportStatus(const KvbString& text) override {
    reports.push_back(text.str());
    return stopAt == 0 || reports.size() < stopAt;
  }
  void reportMessage(const KvbString&) override {}
  std::vector<std::string> reports;
  size_t stopAt = 0;
};

// Keeps every statement; refuses from statement number `failAt` on.
struct ScriptRecorder : ReposDDLCallback {
  bool writeStatement(const KvbString& statement) override {
    statements.push_back(statement.str());
    return failAt == 0 || statements.size() < failAt;
  }
  std::vector<std::string> statements;
  size_t failAt = 0;
};

// clang-format off
const ReposColumnDef kTableSet[] = {
    {"TSMAIN", "TS_ID", kvbTypeInt, 0, kColPrimaryKey | kColNotNull, kPartCommon, 0, "Key"},
    {"TSMAIN", "TS_NAME", kvbTypeString, 40, kColIndexed, kPartCommon, 7, "Name"},
    {"TSMAIN", "TS_TEXT", kvbTypeString, 0, kColMaxText, kPartCommon, 0, "Text"},
    {nullptr, nullptr, 0, 0, 0, kPartCommon, 0, "Main table of the set"},
    {"TSLINE", "TL_ID", kvbTypeInt, 0, kColIndexed, kPartCommon, 8, "Line"},
    {"TSLINE", "TL_VAL", kvbTypeReal, 0, 0, kPartCommon, 0, "Value"},
    {nullptr, nullptr, 0, 0, 0, kPartCommon, 0, "Lines of the set"},
    {nullptr, nullptr, 0, 0, 0, kPartCommon, 0, nullptr},
};
// clang-format on

class RdaTablesTest : public RdaTargetTest {
 protected:
  // A second connection to the test's database that reports to `status`.
  ReposDataAccess* openWithStatus(RepositoryStatusCallback* status) {
    KvbString why;
    ReposDataAccess* rda = nullptr;
    if (GetParam() == RdaTarget::kSqliteFile)
      rda = createReposDataAccess(1, file_, prefix_, status, why);
    else if (GetParam() == RdaTarget::kSqliteConnection)
      rda = createReposDataAccess(
          0, "FILE=" + file_ + ";CREATE=TRUE;KVXTYPE=SQLITE", prefix_, status,
          why);
    else
      rda = createReposDataAccess(0, postgresConnectionString(), prefix_,
                                  status, why);
    EXPECT_NE(rda, nullptr) << why.asCstr();
    return rda;
  }
  bool sqliteBackEnd() const { return GetParam() == RdaTarget::kSqliteFile; }
  std::vector<TableShape> coreTables() {
    return expectedTables(rda_, reposCoreColumnDefs, "", true, sqliteBackEnd());
  }
  // The statements that `run` hands to a DDL callback (run must succeed).
  template <typename Run>
  std::vector<std::string> scriptOf(Run run) {
    ScriptRecorder script;
    rda_->setDDLCallback(&script);
    EXPECT_TRUE(run()) << error();
    rda_->setDDLCallback(nullptr);
    return script.statements;
  }
  std::string quoted(const char* code) {
    return rda_->getTableName(code, true, -1).str();
  }
  int count(const char* code) {
    int n = -1;
    rda_->paramSingleton("SELECT COUNT(*) FROM " + quoted(code), &n, 0);
    return n;
  }
  const char* error() {
    error_ = rda_->getErrorMessage().str();
    return error_.c_str();
  }

 private:
  std::string error_;
};

TEST_P(RdaTablesTest,
       CreatesEveryCoreTableWithItsColumnsIndexesAndAnnouncements) {
  const std::vector<TableShape> tables = coreTables();
  TableCreateOptions options;
  options.createTables = true;
  // A status callback that answers false stops the creation, which leaves
  // no table behind.
  RecordingStatus stopping;
  stopping.stopAt = 3;
  ReposDataAccess* rda = openWithStatus(&stopping);
  ASSERT_NE(rda, nullptr);
  EXPECT_FALSE(rda->createTables(options));
  EXPECT_FALSE(rda->getErrorMessage().isEmpty());
  rda->release();
  EXPECT_EQ(stopping.reports.size(), 3u);
  EXPECT_TRUE(columnsOf(rda_, tables[0].code).empty());
  EXPECT_TRUE(columnsOf(rda_, tables[1].code).empty());

  RecordingStatus status;
  rda = openWithStatus(&status);
  ASSERT_NE(rda, nullptr);
  const bool created = rda->createTables(options);
  const std::string reason = rda->getErrorMessage().str();
  rda->release();
  ASSERT_TRUE(created) << reason;
  std::vector<std::string> announced;
  for (const TableShape& t : tables) announced.push_back("Table " + t.code);
  EXPECT_EQ(status.reports, announced);
  expectTables(rda_, tables);
}

TEST_P(RdaTablesTest, DropAndCreateGivesEmptyTablesAndDropAloneRemovesThem) {
  ASSERT_TRUE(createCoreTables()) << error();
  KvbDatavar id(1), name("Top");
  ASSERT_TRUE(rda_->paramExec(
      "INSERT INTO " + quoted("FOLDER") + " (FLDR_ID, FLDR_NAM) VALUES (?, ?)",
      nullptr, 2, &id, &name))
      << error();
  TableCreateOptions options;
  options.dropTables = true;
  options.createTables = true;
  ASSERT_TRUE(rda_->createTables(options)) << error();
  EXPECT_EQ(count("FOLDER"), 0);
  expectTables(rda_, coreTables());

  options.createTables = false;
  ASSERT_TRUE(rda_->createTables(options)) << error();
  for (const TableShape& t : coreTables())
    EXPECT_TRUE(columnsOf(rda_, t.code).empty()) << t.code;
}

TEST_P(RdaTablesTest, CheckTablesRestoresMissingTablesColumnsAndIndexes) {
  ASSERT_TRUE(createCoreTables()) << error();
  // GCATS again without its last column (its GCNAME index goes with it), the
  // composite index of FOLDER dropped, and TRIG missing altogether.
  ASSERT_TRUE(rda_->dropTable(quoted("GCATS"))) << error();
  ASSERT_TRUE(rda_->createTable(
      "GCATS",
      {{"GC_ID", kvbTypeInt, 0, false}, {"GCNAME", kvbTypeString, 255, false}}))
      << error();
  const KvbString schema = rda_->getSchemaName();
  const std::string folderIndex = rda_->getIndexName(377, "").str();
  ASSERT_TRUE(rda_->paramExec(
      "DROP INDEX " + (schema.isEmpty() ? schema : schema + ".") + folderIndex,
      nullptr, 0))
      << error();
  ASSERT_TRUE(rda_->dropTable(rda_->getTableName("TRIG", false, -1)))
      << error();
  ASSERT_EQ(columnsOf(rda_, "GCATS").size(), 2u);
  ASSERT_TRUE(indexesOf(rda_, "GCATS").empty());
  ASSERT_EQ(indexesOf(rda_, "FOLDER").count(upper(folderIndex)), 0u);
  ASSERT_TRUE(columnsOf(rda_, "TRIG").empty());

  ASSERT_TRUE(rda_->checkTables(TableCreateOptions())) << error();
  expectTables(rda_, coreTables());
  // On a complete database the check has nothing to write.
  EXPECT_EQ(scriptOf([&] { return rda_->checkTables(TableCreateOptions()); }),
            std::vector<std::string>());
}

TEST_P(RdaTablesTest, DefinitionArrayNamesItsIndexesWithThePrefix) {
  TableCreateOptions options;
  options.createTables = true;
  options.columns = kTableSet;
  options.indexPrefix = "ts";
  ASSERT_TRUE(rda_->createTables(options)) << error();
  const std::vector<TableShape> tables =
      expectedTables(rda_, kTableSet, "ts", false, sqliteBackEnd());
  ASSERT_EQ(tables.size(), 2u);
  expectTables(rda_, tables);
  EXPECT_EQ(
      indexesOf(rda_, "TSMAIN").count(upper(rda_->getIndexName(7, "ts").str())),
      1u);
  EXPECT_TRUE(columnsOf(rda_, "GCATS").empty())
      << "only the array's tables are made";
  EXPECT_EQ(scriptOf([&] { return rda_->checkTables(options); }),
            std::vector<std::string>());
}

TEST_P(RdaTablesTest, ColumnListTablesAndTheirIndexes) {
  const int maxText = rda_->getMaxTextLength();
  ASSERT_TRUE(rda_->createTable("FRQDST5",
                                {{"FR_VALUE", kvbTypeString, maxText, true},
                                 {"FR_COUNT", kvbTypeInt, 0, false},
                                 {"FR_MCVAL", kvbTypeString, maxText, false}}))
      << error();
  std::vector<std::string> names;
  for (const std::string& c : columnsOf(rda_, "FRQDST5"))
    names.push_back(c.substr(0, c.find(':')));
  EXPECT_EQ(names,
            (std::vector<std::string>{"FR_VALUE", "FR_COUNT", "FR_MCVAL"}));
  ASSERT_TRUE(rda_->createFrequencyTable(5)) << error();
  KvbString prefix;
  rda_->getTablePrefix(true, &prefix, nullptr);
  EXPECT_EQ(
      indexesOf(rda_, "FRQDST5"),
      (IndexMap{{upper(prefix.str() + "fk_frqdist_fr_count5"), {"FR_COUNT"}},
                {upper(prefix.str() + "fk_frqdist_fr_val5"), {"FR_VALUE"}}}));

  ASSERT_TRUE(rda_->createTable("HSM3", {{"FIELDIDX", kvbTypeInt, 0, false},
                                         {"GRPFLD1", kvbTypeString, 40, false},
                                         {"GRPFLD2", kvbTypeString, 40, false},
                                         {"HS_CNT", kvbTypeInt, 0, false}}))
      << error();
  ASSERT_TRUE(rda_->createHSMTable(3, 2)) << error();
  ASSERT_TRUE(rda_->createIndex("HSM3", "HS_CNT", KvbString())) << error();
  EXPECT_EQ(indexesOf(rda_, "HSM3"),
            (IndexMap{{"HSM3_FIELDIDX_IDX", {"FIELDIDX"}},
                      {"HSM3_GRPFLD1_IDX", {"GRPFLD1"}},
                      {"HSM3_GRPFLD2_IDX", {"GRPFLD2"}},
                      {"HSM3_HS_CNT_IDX", {"HS_CNT"}}}));
  const KvbString hsm = rda_->getTableName("HSM3", false, -1);
  ASSERT_TRUE(rda_->dropTableIndexes(hsm)) << error();
  if (!sqliteBackEnd()) {  // the SQLite back end leaves them to DROP TABLE
    EXPECT_TRUE(indexesOf(rda_, "HSM3").empty());
  }
  ASSERT_TRUE(rda_->dropTable(hsm)) << error();
  EXPECT_TRUE(columnsOf(rda_, "HSM3").empty());
  EXPECT_FALSE(rda_->dropTable(hsm)) << "a missing table cannot be dropped";
  ASSERT_TRUE(rda_->dropTable(quoted("FRQDST5"))) << error();
  EXPECT_TRUE(columnsOf(rda_, "FRQDST5").empty());
}

TEST_P(RdaTablesTest, HostileNamesAreRefusedBeforeTheyReachSql) {
  ASSERT_TRUE(createCoreTables()) << error();
  const std::list<TableColumnInfo> good = {{"A", kvbTypeInt, 0, false}};
  for (const char* table : {"T; DROP TABLE GCATS", "T X", "T\"X", "T'X", ""})
    EXPECT_FALSE(rda_->createTable(table, good)) << table;
  for (const char* name : {"A B", "A\"B", "A'B", "A;B", "1A"})
    EXPECT_FALSE(rda_->createTable("TBAD", {{name, kvbTypeInt, 0, false}}))
        << name;
  EXPECT_TRUE(columnsOf(rda_, "TBAD").empty());
  EXPECT_FALSE(rda_->getErrorMessage().isEmpty());

  EXPECT_FALSE(rda_->dropTable("x; DROP TABLE " + quoted("GCATS")));
  EXPECT_FALSE(
      rda_->dropTable(quoted("FOLDER") + "; DROP TABLE " + quoted("GCATS")));
  EXPECT_FALSE(rda_->createIndex("GCATS", "GCDESC", "ix; DROP TABLE GCATS"));
  EXPECT_FALSE(rda_->createIndex("GCATS", "GCDESC bad", KvbString()));
  EXPECT_FALSE(rda_->createIndex("GCATS; x", "GCDESC", KvbString()));
  EXPECT_EQ(rda_->listIndexes("GCATS; DROP TABLE FOLDER"), nullptr);
  std::list<TableColumnInfo> found;
  EXPECT_EQ(rda_->getTableColumns("GCATS; x", found), 0);

  TableCreateOptions options;
  options.createTables = true;
  options.columns = kTableSet;
  options.indexPrefix = "p; DROP TABLE GCATS";
  EXPECT_FALSE(rda_->createTables(options));
  const ReposColumnDef badCode[] = {
      {"T X", "A", kvbTypeInt, 0, 0, kPartCommon, 0, "Column"},
      {nullptr, nullptr, 0, 0, 0, kPartCommon, 0, "Table"},
      {nullptr, nullptr, 0, 0, 0, kPartCommon, 0, nullptr}};
  options.indexPrefix = "";
  options.columns = badCode;
  EXPECT_FALSE(rda_->createTables(options));
  EXPECT_TRUE(columnsOf(rda_, "TSMAIN").empty());
  expectTables(rda_, coreTables());
}

TEST_P(RdaTablesTest, DdlScriptOfTheCoreTablesIsUsable) {
  TableCreateOptions options;
  options.createTables = true;
  const std::vector<std::string> script =
      scriptOf([&] { return rda_->createTables(options); });
  EXPECT_TRUE(columnsOf(rda_, "GCATS").empty())
      << "the script mode created a table";
  const std::vector<TableShape> tables = coreTables();
  size_t expectedIndexes = 0;
  for (const TableShape& t : tables) expectedIndexes += t.indexes.size();
  auto starting = [&](const char* head) {
    return static_cast<size_t>(std::count_if(
        script.begin(), script.end(),
        [&](const std::string& s) { return s.rfind(head, 0) == 0; }));
  };
  EXPECT_EQ(starting("CREATE TABLE "), tables.size());
  EXPECT_EQ(starting("CREATE INDEX "), expectedIndexes);
  ASSERT_EQ(script.size(), tables.size() + expectedIndexes);
  EXPECT_EQ(script[0].rfind("CREATE TABLE " + quoted("GCATS") + " (", 0), 0u);

  ScriptRecorder refusing;
  refusing.failAt = 2;
  rda_->setDDLCallback(&refusing);
  EXPECT_FALSE(rda_->createTables(options));
  EXPECT_FALSE(rda_->getErrorMessage().isEmpty());
  rda_->setDDLCallback(nullptr);

  // Run the script by hand: on SQLite with the bare library on a new file,
  // on PostgreSQL through the connection.
  if (isPostgres()) {
    for (const std::string& s : script)
      ASSERT_TRUE(rda_->paramExec(s, nullptr, 0)) << s << ": " << error();
    expectTables(rda_, tables);
    return;
  }
  TempDir dir;
  const std::string path = dir.file("script.db");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  for (const std::string& s : script) {
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, s.c_str(), nullptr, nullptr, &message),
              SQLITE_OK)
        << s << ": " << (message ? message : "");
    sqlite3_free(message);
  }
  sqlite3_close(db);
  KvbString openError;
  ReposDataAccess* made =
      createReposDataAccess(2, path, "", nullptr, openError);
  ASSERT_NE(made, nullptr) << openError.asCstr();
  expectTables(made, expectedTables(made, reposCoreColumnDefs, "", true, true));
  made->release();
}

// Script mode on a database without the repository's tables: the values go
// into the text, and the id counters are kept by the connection.
TEST_P(RdaTablesTest, DdlScriptTakesValuesAsLiteralsAndCountsIdsItself) {
  ScriptRecorder script;
  ASSERT_TRUE(rda_->setDDLCallback(&script));
  EXPECT_TRUE(rda_->beginTransaction(false, nullptr));
  EXPECT_FALSE(rda_->inTransaction())
      << "transactions are not counted in a script";
  EXPECT_TRUE(rda_->endTransaction(true));
  EXPECT_TRUE(rda_->endTransaction(false));

  const std::string insert =
      "INSERT INTO " + quoted("KEYVAL") + " (V_KEY, V_VALUE) VALUES ";
  KvbDatavar key("note"), value("it's"), id;
  EXPECT_TRUE(rda_->paramExec(insert + "(?, ?)", nullptr, 2, &key, &value))
      << error();
  for (int i = 1; i <= 3; ++i) {
    EXPECT_TRUE(rda_->getNextID("FOLDER", id)) << error();
    EXPECT_EQ(id.asInt(), i);
  }
  ASSERT_EQ(script.statements.size(), 4u);
  EXPECT_EQ(script.statements[0], insert + "('note', 'it''s')");
  const std::string ucurid = quoted("UCURID");
  EXPECT_EQ(script.statements[1].rfind("INSERT INTO " + ucurid, 0), 0u)
      << script.statements[1];
  EXPECT_NE(script.statements[1].find("'FOLDER', 1)"), std::string::npos)
      << script.statements[1];
  EXPECT_EQ(script.statements[2].rfind("UPDATE " + ucurid, 0), 0u)
      << script.statements[2];
  EXPECT_NE(script.statements[3].find("= 3"), std::string::npos)
      << script.statements[3];

  ScriptRecorder refusing;
  refusing.failAt = 1;
  rda_->setDDLCallback(&refusing);
  EXPECT_FALSE(rda_->paramExec(insert + "(?, ?)", nullptr, 2, &key, &value));
  EXPECT_FALSE(rda_->getNextID("GCATS", id));
  rda_->setDDLCallback(nullptr);

  // The written statements run as they are on the real tables.
  ASSERT_TRUE(createCoreTables()) << error();
  for (const std::string& s : script.statements)
    ASSERT_TRUE(rda_->paramExec(s, nullptr, 0)) << s << ": " << error();
  EXPECT_EQ(
      rows(rda_->paramSelect("SELECT V_VALUE FROM " + quoted("KEYVAL"), 0)),
      std::vector<std::string>{"it's"});
  ASSERT_TRUE(rda_->getNextID("FOLDER", id)) << error();
  EXPECT_EQ(id.asInt(), 4);
}

TEST(RdaTablesDialectTest,
     PrimaryIndexKindDeclaresKeyedTextsAndItsPrimaryIndex) {
  const DacDbKind pi = DAC_DB_PRIMARY_INDEX;
  EXPECT_EQ(RDA_DAC::columnTypeFor(pi, kvbTypeString, 40, true).str(),
            "VARCHAR(40) CASESPECIFIC");
  EXPECT_EQ(RDA_DAC::columnTypeFor(pi, kvbTypeString, 40, false).str(),
            "VARCHAR(40)");
  EXPECT_EQ(RDA_DAC::columnTypeFor(pi, kvbTypeInt, 0, true).str(),
            RDA_DAC::columnTypeFor(pi, kvbTypeInt, 0, false).str());
  // A keyed text has the length of an unkeyed one: a size of 0 or beyond
  // the dialect's limit is the longest text there too.
  for (int size : {0, 64000})
    EXPECT_EQ(RDA_DAC::columnTypeFor(pi, kvbTypeString, size, true).str(),
              RDA_DAC::columnTypeFor(pi, kvbTypeString, size, false).str() +
                  " CASESPECIFIC")
        << size;
  EXPECT_EQ(RDA_DAC::tableTailFor(pi, {"A", "B"}).str(),
            ") PRIMARY INDEX (A, B)");
  EXPECT_EQ(RDA_DAC::tableTailFor(pi, {}).str(), ")");
  for (DacDbKind other : {DAC_DB_SQLITE, DAC_DB_POSTGRESQL}) {
    EXPECT_EQ(RDA_DAC::columnTypeFor(other, kvbTypeString, 40, true).str(),
              "VARCHAR(40)");
    EXPECT_EQ(RDA_DAC::tableTailFor(other, {"A"}).str(), ")");
  }
}

TEST_P(RdaTablesTest, BulkLoadWritesBatchesAndDropsOnlyBufferedRows) {
  const std::list<TableColumnInfo> columns = {
      {"B_ID", kvbTypeInt, 0, false}, {"B_TXT", kvbTypeString, 40, false}};
  ASSERT_TRUE(rda_->createTable("BLK", columns)) << error();
  const KvbString table = rda_->getTableName("BLK", false, -1);
  if (!isPostgres()) {
    EXPECT_FALSE(rda_->isBulkLoadSupported());
    EXPECT_FALSE(rda_->bulkLoadInit(10, table, &columns));
    return;
  }
  ASSERT_TRUE(rda_->isBulkLoadSupported());
  LogCapture log;
  const std::list<TableColumnInfo> none;
  EXPECT_FALSE(rda_->bulkLoadInit(1000, table, nullptr));
  EXPECT_FALSE(rda_->bulkLoadInit(1000, table, &none));
  EXPECT_TRUE(log.contains("Invalid bulk load column list", 5));
  KvbDatavar id(1), text("x");
  EXPECT_FALSE(rda_->bulkLoadAddRow(2, &id, &text));
  EXPECT_TRUE(log.contains("Bulk load not initialized", 5));

  ASSERT_TRUE(rda_->bulkLoadInit(1000, table, &columns)) << error();
  EXPECT_FALSE(rda_->bulkLoadAddRow(1, &id));
  EXPECT_TRUE(
      log.contains("Num of insert values doesn't match column count", 5));
  for (int i = 0; i < 2500; ++i) {
    KvbDatavar rowId(i),
        rowText(i == 7 ? KvbString("it's") : KvbString::fromInt(i));
    ASSERT_TRUE(rda_->bulkLoadAddRow(2, &rowId, &rowText))
        << i << ": " << error();
  }
  ASSERT_TRUE(rda_->bulkLoadEnd(true)) << error();
  EXPECT_EQ(count("BLK"), 2500);
  KvbDatavar seven(7);
  EXPECT_EQ(
      rows(rda_->paramSelect(
          "SELECT B_TXT FROM " + quoted("BLK") + " WHERE B_ID = ?", 1, &seven)),
      std::vector<std::string>{"it's"});

  // 1500 rows in batches of 1000: the first batch stays, the rest goes with
  // the loader.
  ASSERT_TRUE(rda_->bulkLoadInit(1000, table, &columns)) << error();
  for (int i = 0; i < 1500; ++i) {
    KvbDatavar rowId(10000 + i);
    ASSERT_TRUE(rda_->bulkLoadAddRow(2, &rowId, &text)) << i << ": " << error();
  }
  EXPECT_TRUE(rda_->bulkLoadEnd(false)) << error();
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(count("BLK"), 3500);
  EXPECT_FALSE(rda_->bulkLoadEnd(true)) << "the loader is gone";

  // Rows the database refuses: the last flush fails and ends the load.
  if (rda_->bulkLoadInit(1000, rda_->getTableName("NOSUCH", false, -1),
                         &columns)) {
    EXPECT_TRUE(rda_->bulkLoadAddRow(2, &id, &text));
    EXPECT_FALSE(rda_->bulkLoadEnd(true));
  }
  EXPECT_FALSE(rda_->getErrorMessage().isEmpty());
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_FALSE(rda_->bulkLoadEnd(true));
  EXPECT_EQ(count("BLK"), 3500);
}

INSTANTIATE_RDA_TARGETS(RdaTablesTest);

}  // namespace
