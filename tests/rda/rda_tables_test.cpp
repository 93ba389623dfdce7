// Creating, checking and dropping tables and indexes on every back end: the
// built-in core tables, definition arrays of table sets, tables given as
// column lists, hostile names, statements diverted to a DDL callback, the
// primary-index dialect text and the bulk loader.
#include <gtest/gtest.h>

#include <cctype>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "rda/rda_dac.h"
#include "rda/rda_impl.h"
#include "reposadmin/repository_status_callback.h"
#include "schema/repos_tables.h"
#include "support/broken_schema.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

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

// Records status texts or statements; refuses from number `stopAt` on.
struct Recorder : RepositoryStatusCallback, ReposDDLCallback {
  bool reportStatus(const KvbString& text) override { return keep(text); }
  void reportMessage(const KvbString&) override {}
  bool writeStatement(const KvbString& text) override { return keep(text); }
  bool keep(const KvbString& text) {
    texts.push_back(text.str());
    return stopAt == 0 || texts.size() < stopAt;
  }
  std::vector<std::string> texts;
  size_t stopAt = 0;
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
  std::string error() { return rda_->getErrorMessage().str(); }
  std::vector<std::string> columnsOf(const std::string& code) {
    std::list<TableColumnInfo> list;
    rda_->getTableColumns(code.c_str(), list);
    std::vector<std::string> out;
    for (const TableColumnInfo& c : list)
      out.push_back(column(c.name.str(), c.type, c.size));
    return out;
  }
  IndexMap indexesOf(const std::string& code) {
    IndexMap out;
    ReposDataAccessCursor* c =
        rda_->listIndexes(rda_->getTableName(code.c_str(), false, -1));
    if (!c) ADD_FAILURE() << code << ": " << error();
    while (c && c->next() == 1)
      out[upper(c->getString(0).str())].push_back(upper(c->getString(1).str()));
    if (c) c->release();
    return out;
  }
  void expectTables(const std::vector<TableShape>& want) {
    for (const TableShape& t : want) {
      EXPECT_EQ(columnsOf(t.code), t.columns) << t.code;
      EXPECT_EQ(indexesOf(t.code), t.indexes) << t.code;
    }
  }
  // The tables of a definition array as they should have been made, text
  // columns with their declared sizes.
  std::vector<TableShape> tablesOf(const ReposColumnDef* defs,
                                   const char* indexPrefix = "") {
    const int maxText = rda_->getMaxTextLength();
    auto indexName = [&](int n) {
      return upper(rda_->getIndexName(n, indexPrefix).str());
    };
    std::vector<TableShape> out;
    for (const ReposColumnDef* p = defs; !isEndRecord(*p); ++p) {
      TableShape t;
      t.code = p->tableCode;
      for (; !isEndRecord(*p); ++p) {
        for (int m = 0; (p->flags & kColMetrics) && m < kFieldMetricCount;
             ++m) {
          const int size = fieldMetricDefs[m].size;
          t.columns.push_back(column("MET_" + std::to_string(m), kvbTypeString,
                                     size ? size : maxText));
        }
        if (p->flags & kColMetrics) continue;
        const int size = (p->flags & kColMaxText) ? maxText : p->length;
        t.columns.push_back(column(p->columnName, p->type,
                                   p->type == kvbTypeString ? size : 0));
        if (p->flags & kColIndexed)
          t.indexes[indexName(p->indexNumber)] = {p->columnName};
      }
      for (const ReposCompositeIndex* ix = reposCompositeIndexes; ix->tableCode;
           ++ix)
        for (int i = 0; t.code == ix->tableCode && ix->columns[i]; ++i)
          t.indexes[indexName(ix->indexNumber)].push_back(ix->columns[i]);
      out.push_back(t);
    }
    return out;
  }
  // The statements that `run` hands to a DDL callback (run must succeed).
  template <typename Run>
  std::vector<std::string> scriptOf(Run run) {
    Recorder script;
    rda_->setDDLCallback(&script);
    EXPECT_TRUE(run()) << error();
    rda_->setDDLCallback(nullptr);
    return script.texts;
  }
};

TEST_P(RdaTablesTest, CreatesChecksAndDropsTheCoreTables) {
  const std::vector<TableShape> tables = tablesOf(reposCoreColumnDefs);
  TableCreateOptions options;
  options.createTables = true;
  // A status callback answering false stops the creation and leaves no table.
  Recorder status;
  status.stopAt = 3;
  ReposDataAccess* rda = open(KvbString(), &status);
  ASSERT_NE(rda, nullptr);
  EXPECT_FALSE(rda->createTables(options));
  EXPECT_FALSE(rda->getErrorMessage().isEmpty());
  EXPECT_EQ(status.texts.size(), 3u);
  for (int i : {0, 1}) EXPECT_TRUE(columnsOf(tables[i].code).empty());

  status.texts.clear();
  status.stopAt = 0;
  const bool created = rda->createTables(options);
  const std::string reason = rda->getErrorMessage().str();
  rda->release();
  ASSERT_TRUE(created) << reason;
  std::vector<std::string> announced;
  for (const TableShape& t : tables) announced.push_back("Table " + t.code);
  EXPECT_EQ(status.texts, announced);
  expectTables(tables);

  // The check restores GCATS without its last column (and with it its GCNAME
  // index), the composite index of FOLDER and all of TRIG.
  ASSERT_TRUE(rda_->dropTable(table("GCATS"))) << error();
  ASSERT_TRUE(rda_->createTable(
      "GCATS",
      {{"GC_ID", kvbTypeInt, 0, false}, {"GCNAME", kvbTypeString, 255, false}}))
      << error();
  const KvbString schema = rda_->getSchemaName();
  ASSERT_TRUE(rda_->paramExec("DROP INDEX " +
                                  (schema.isEmpty() ? schema : schema + ".") +
                                  rda_->getIndexName(377, ""),
                              nullptr, 0))
      << error();
  ASSERT_TRUE(rda_->dropTable(table("TRIG"))) << error();
  ASSERT_TRUE(rda_->checkTables(TableCreateOptions())) << error();
  expectTables(tables);
  // On a complete database the check has nothing to write.
  EXPECT_EQ(scriptOf([&] { return rda_->checkTables(TableCreateOptions()); }),
            std::vector<std::string>());

  // Drop and create empties the tables; drop alone removes them.
  KvbDatavar id(1), name("Top");
  ASSERT_TRUE(rda_->paramExec(
      "INSERT INTO " + table("FOLDER") + " (FLDR_ID, FLDR_NAM) VALUES (?, ?)",
      nullptr, 2, &id, &name))
      << error();
  options.dropTables = true;
  ASSERT_TRUE(rda_->createTables(options)) << error();
  EXPECT_EQ(count("FOLDER"), 0);
  options.createTables = false;
  ASSERT_TRUE(rda_->createTables(options)) << error();
  for (const TableShape& t : tables)
    EXPECT_TRUE(columnsOf(t.code).empty()) << t.code;
}

// A catalogue that cannot be read (a SQLite file damaged while it is open,
// a server connection that ended) is a failure with its reason: a table is
// not taken for missing, so a drop of the defined tables fails instead of
// answering true with every table still there.
TEST_P(RdaTablesTest, ACatalogueThatCannotBeReadIsNoMissingTable) {
  LogCapture log;
  ASSERT_TRUE(createCoreTables()) << error();
  ReposDataAccess* broken = rda_;
  db_ = rda_ = nullptr;
  // A server session that ended is opened anew: the catalogue stays
  // unreadable only where the new one is refused, as for a role that may
  // no longer log in.
  const std::string role = uniqueTestName("kvn");
  if (isPostgres()) {
    broken->release();
    ASSERT_TRUE(runOnPostgres("CREATE ROLE " + role + " LOGIN"));
    std::string connection = location();
    const size_t uid = connection.find("Uid=");
    if (uid != std::string::npos)
      connection.erase(uid, connection.find(';', uid) - uid + 1);
    KvbString error;
    broken = createReposDataAccess(0, (connection + ";Uid=" + role + ";").c_str(),
                                   prefix_.c_str(), nullptr, error);
    ASSERT_NE(broken, nullptr) << error.str();
    ASSERT_TRUE(runOnPostgres("ALTER ROLE " + role + " NOLOGIN"));
    broken->paramExec("SELECT pg_terminate_backend(pg_backend_pid())", nullptr,
                      0);
  } else {
    ASSERT_TRUE(breakSqliteSchema(file_));
  }
  std::list<TableColumnInfo> columns;
  EXPECT_FALSE(
      static_cast<RDA_BaseImpl*>(broken)->findTableColumns("FOLDER", columns));
  const std::string reason = broken->getErrorMessage().str();
  EXPECT_NE(
      reason.find(isPostgres() ? "connection" : "malformed database schema"),
      std::string::npos)
      << reason;
  EXPECT_TRUE(columns.empty());
  // Nor is a list of its indexes, or of the per-id tables, an empty one.
  EXPECT_EQ(broken->listIndexes(broken->getTableName("FOLDER", false, -1)),
            nullptr);
  std::vector<RDA_IdTable> idTables;
  EXPECT_FALSE(static_cast<RDA_BaseImpl*>(broken)->findIdTables(idTables));
  // The public count answers -1 with the reason, also for a list that
  // held columns before, and appends nothing.
  columns.resize(1);
  EXPECT_EQ(broken->getTableColumns("FOLDER", columns), -1);
  EXPECT_EQ(columns.size(), 1u);
  EXPECT_NE(broken->getErrorMessage().str().find(
                isPostgres() ? "connection" : "malformed database schema"),
            std::string::npos)
      << broken->getErrorMessage().str();
  TableCreateOptions options;
  options.dropTables = true;
  EXPECT_FALSE(broken->createTables(options));
  EXPECT_FALSE(broken->getErrorMessage().isEmpty());
  broken->release();
  if (isPostgres()) runOnPostgres("DROP ROLE " + role);
  if (!isPostgres()) {
    ASSERT_TRUE(repairSqliteSchema(file_));
  }
  db_ = rda_ = open();
  ASSERT_NE(rda_, nullptr);
  EXPECT_FALSE(columnsOf("FOLDER").empty()) << "a table was dropped";
}

// The statements kept from a creation of the core tables serve a later one
// on the same kind of connection only when it names its indexes the same
// way: each creation gets indexes with its own prefix, also when the one
// before it used another.
TEST_P(RdaTablesTest, EachCreationNamesItsIndexesWithItsOwnPrefix) {
  TableCreateOptions options;
  options.createTables = true;
  options.dropTables = true;
  for (const char* prefix : {"ia", "ib", "ia"}) {
    options.indexPrefix = prefix;
    ASSERT_TRUE(rda_->createTables(options)) << prefix << ": " << error();
    expectTables(tablesOf(reposCoreColumnDefs, prefix));
  }
}

TEST_P(RdaTablesTest, ColumnListTablesAndTheirIndexes) {
  const int maxText = rda_->getMaxTextLength();
  ASSERT_TRUE(rda_->createTable("FRQDST5",
                                {{"FR_VALUE", kvbTypeString, maxText, true},
                                 {"FR_COUNT", kvbTypeInt, 0, false},
                                 {"FR_MCVAL", kvbTypeString, maxText, false}}))
      << error();
  ASSERT_TRUE(rda_->createFrequencyTable(5)) << error();
  KvbString prefix;
  rda_->getTablePrefix(true, &prefix, nullptr);
  const std::string p = upper(prefix.str());
  EXPECT_EQ(indexesOf("FRQDST5"),
            (IndexMap{{p + "FK_FRQDIST_FR_COUNT5", {"FR_COUNT"}},
                      {p + "FK_FRQDIST_FR_VAL5", {"FR_VALUE"}}}));

  ASSERT_TRUE(rda_->createTable("HSM3", {{"FIELDIDX", kvbTypeInt, 0, false},
                                         {"GRPFLD1", kvbTypeString, 40, false},
                                         {"GRPFLD2", kvbTypeString, 40, false},
                                         {"HS_CNT", kvbTypeInt, 0, false}}))
      << error();
  ASSERT_TRUE(rda_->createHSMTable(3, 2)) << error();
  ASSERT_TRUE(rda_->createIndex("HSM3", "HS_CNT", KvbString())) << error();
  IndexMap hsmIndexes;
  for (const char* c : {"FIELDIDX", "GRPFLD1", "GRPFLD2", "HS_CNT"})
    hsmIndexes[p + "HSM3_" + std::string(c) + "_IDX"] = {c};
  EXPECT_EQ(indexesOf("HSM3"), hsmIndexes);
  // A drop finds the per-id tables in the catalogue, in the order of codes.
  std::vector<RDA_IdTable> idTables;
  ASSERT_TRUE(static_cast<RDA_BaseImpl*>(rda_)->findIdTables(idTables))
      << error();
  std::vector<std::string> found;
  for (const RDA_IdTable& table : idTables)
    found.push_back(table.code + std::to_string(table.id));
  EXPECT_EQ(found, (std::vector<std::string>{"FRQDST5", "HSM3"}));
  const KvbString hsm = rda_->getTableName("HSM3", false, -1);
  ASSERT_TRUE(rda_->dropTableIndexes(hsm)) << error();
  // The SQLite back end leaves them to DROP TABLE.
  EXPECT_EQ(indexesOf("HSM3").empty(), !isFile());
  ASSERT_TRUE(rda_->dropTable(hsm)) << error();
  EXPECT_TRUE(columnsOf("HSM3").empty());
  EXPECT_FALSE(rda_->dropTable(hsm)) << "a missing table cannot be dropped";
}

TEST_P(RdaTablesTest, HostileNamesAreRefusedBeforeTheyReachSql) {
  ASSERT_TRUE(createCoreTables()) << error();
  for (const char* table : {"T; DROP TABLE GCATS", "T X", "T\"X", "T'X", ""})
    EXPECT_FALSE(rda_->createTable(table, {{"A", kvbTypeInt, 0, false}}))
        << table;
  for (const char* name : {"A B", "A\"B", "A'B", "A;B", "1A"})
    EXPECT_FALSE(rda_->createTable("TBAD", {{name, kvbTypeInt, 0, false}}))
        << name;
  EXPECT_FALSE(rda_->getErrorMessage().isEmpty());
  EXPECT_FALSE(rda_->dropTable("x; DROP TABLE " + table("GCATS")));
  EXPECT_FALSE(
      rda_->dropTable(table("FOLDER") + "; DROP TABLE " + table("GCATS")));
  EXPECT_FALSE(rda_->createIndex("GCATS", "GCDESC", "ix; DROP TABLE GCATS"));
  EXPECT_FALSE(rda_->createIndex("GCATS", "GCDESC bad", KvbString()));
  EXPECT_FALSE(rda_->createIndex("GCATS; x", "GCDESC", KvbString()));
  EXPECT_EQ(rda_->listIndexes("GCATS; DROP TABLE FOLDER"), nullptr);
  if (!isFile()) {  // the SQLite back end drops no index by itself
    EXPECT_FALSE(rda_->dropTableIndexes("GCATS; DROP TABLE FOLDER"));
    EXPECT_EQ(rda_->getErrorMessage().str(),
              "\"GCATS; DROP TABLE FOLDER\" is not a table name");
  }
  std::list<TableColumnInfo> found;
  EXPECT_EQ(rda_->getTableColumns("GCATS; x", found), -1);
  EXPECT_TRUE(found.empty());

  // A definition array with a hostile index prefix or table code.
  const ReposColumnDef badCode[] = {
      {"T X", "A", kvbTypeInt, 0, 0, kPartCommon, 0, "Column"},
      {nullptr, nullptr, 0, 0, 0, kPartCommon, 0, "Table"},
      {nullptr, nullptr, 0, 0, 0, kPartCommon, 0, nullptr}};
  TableCreateOptions options;
  options.createTables = true;
  for (auto [columns, prefix] :
       {std::pair{kTableSet, "p; DROP TABLE GCATS"}, {badCode, ""}}) {
    options.columns = columns;
    options.indexPrefix = prefix;
    EXPECT_FALSE(rda_->createTables(options)) << prefix;
  }
  EXPECT_TRUE(columnsOf("TBAD").empty() && columnsOf("TSMAIN").empty());
  expectTables(tablesOf(reposCoreColumnDefs));

  // The same array with a sound prefix makes only its tables, and then has
  // nothing left to check.
  options.columns = kTableSet;
  options.indexPrefix = "ts";
  ASSERT_TRUE(rda_->createTables(options)) << error();
  expectTables(tablesOf(kTableSet, "ts"));
  EXPECT_EQ(scriptOf([&] { return rda_->checkTables(options); }),
            std::vector<std::string>());
}

// In script mode statements go to a callback instead of the database, with
// the values as literals, no transactions counted and the id counters kept
// by the connection.
TEST_P(RdaTablesTest, DdlScriptWritesStatementsInsteadOfRunningThem) {
  TableCreateOptions options;
  options.createTables = true;
  // One statement for each table and each index of the core tables.
  size_t statements = 0;
  for (const TableShape& t : tablesOf(reposCoreColumnDefs))
    statements += 1 + t.indexes.size();
  EXPECT_EQ(scriptOf([&] { return rda_->createTables(options); }).size(),
            statements);

  Recorder script;
  ASSERT_TRUE(rda_->setDDLCallback(&script));
  EXPECT_TRUE(rda_->beginTransaction(false, nullptr));
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_TRUE(rda_->endTransaction(true));
  EXPECT_TRUE(rda_->endTransaction(false));
  const std::string insert =
      "INSERT INTO " + table("KEYVAL") + " (V_KEY, V_VALUE) VALUES ";
  KvbDatavar key("note"), value("it's"), id;
  EXPECT_TRUE(rda_->paramExec(insert + "(?, ?)", nullptr, 2, &key, &value))
      << error();
  for (int i = 1; i <= 3; ++i) {
    EXPECT_TRUE(rda_->getNextID("FOLDER", id)) << error();
    EXPECT_EQ(id.asInt(), i);
  }
  // The first id inserts the counter row, the later ones update it.
  const std::vector<std::string>& s = script.texts;
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0], insert + "('note', 'it''s')");
  EXPECT_EQ(s[1].rfind("INSERT INTO " + table("UCURID"), 0), 0u) << s[1];
  EXPECT_NE(s[1].find("'FOLDER', 1)"), std::string::npos) << s[1];
  EXPECT_EQ(s[2].rfind("UPDATE " + table("UCURID"), 0), 0u) << s[2];
  EXPECT_NE(s[3].find("= 3"), std::string::npos) << s[3];
  // A statement prepared for the script runs into it and reads nothing.
  const char* scriptOnly =
      "A statement made for a DDL script runs only into the script";
  ReposDataAccessStatement* prepared = rda_->createStatement(insert + "(?, ?)");
  ASSERT_NE(prepared, nullptr);
  EXPECT_TRUE(prepared->setParameter(0, key) &&
              prepared->setParameter(1, value) && prepared->execute());
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[4], s[0]);
  EXPECT_EQ(prepared->select(), nullptr);
  EXPECT_EQ(prepared->getErrorMessage().str(), scriptOnly);
  // With more values than markers it cannot be written.
  ReposDataAccessStatement* surplus = rda_->createStatement(insert + "(?, ?)");
  EXPECT_TRUE(surplus->setParameter(2, value));
  EXPECT_FALSE(surplus->execute());
  EXPECT_EQ(
      surplus->getErrorMessage().str(),
      "The statement's values do not match its markers: " + insert + "(?, ?)");
  surplus->release();
  EXPECT_EQ(s.size(), 5u);

  // A refusing callback fails the work, also midway through the tables.
  script.stopAt = s.size() + 2;
  EXPECT_FALSE(rda_->createTables(options));
  EXPECT_FALSE(rda_->getErrorMessage().isEmpty());
  EXPECT_FALSE(rda_->paramExec(insert + "(?, ?)", nullptr, 2, &key, &value));
  EXPECT_FALSE(rda_->getNextID("GCATS", id));
  rda_->setDDLCallback(nullptr);
  // Once the script has ended, it does not run on the database either.
  EXPECT_FALSE(prepared->setParameter(0, key));
  EXPECT_FALSE(prepared->execute());
  EXPECT_EQ(prepared->getErrorMessage().str(), scriptOnly);
  prepared->release();
}

TEST(RdaTablesDialectTest, PrimaryIndexKindDeclaresKeyedTextsAndItsIndex) {
  // Only the primary-index kind marks keyed texts; a keyed text is as long
  // as an unkeyed one (size 0 or beyond the limit is the longest there too).
  const DacDbKind pi = DAC_DB_PRIMARY_INDEX;
  EXPECT_EQ(RDA_DAC::columnTypeFor(pi, kvbTypeString, 40, true).str(),
            "VARCHAR(40) CASESPECIFIC");
  for (int size : {0, 64000})
    EXPECT_EQ(RDA_DAC::columnTypeFor(pi, kvbTypeString, size, true).str(),
              RDA_DAC::columnTypeFor(pi, kvbTypeString, size, false).str() +
                  " CASESPECIFIC")
        << size;
  EXPECT_EQ(RDA_DAC::columnTypeFor(pi, kvbTypeInt, 0, true).str(),
            RDA_DAC::columnTypeFor(pi, kvbTypeInt, 0, false).str());
  EXPECT_EQ(RDA_DAC::tableTailFor(pi, {"A", "B"}).str(),
            ") PRIMARY INDEX (A, B)");
  EXPECT_EQ(RDA_DAC::tableTailFor(pi, {}).str(), ")");
  for (DacDbKind other : {DAC_DB_SQLITE, DAC_DB_POSTGRESQL}) {
    EXPECT_EQ(RDA_DAC::columnTypeFor(other, kvbTypeString, 40, true).str(),
              "VARCHAR(40)");
    EXPECT_EQ(RDA_DAC::tableTailFor(other, {"A"}).str(), ")");
  }
}

// The lengths that name a value too long for its column: a text column's
// declared length, the longest text for one that declares none (a field
// metric's too) and for a declared length of 0; 0 for a number and for a
// column that is not there.
TEST_P(RdaTablesTest, ColumnsDeclareTheLengthsTheirTextsAreHeldTo) {
  auto* rda = static_cast<RDA_BaseImpl*>(rda_);
  const int longest = rda->getMaxTextLength();
  rda->declareTextLength("TSET", "T_CODE", 12);
  rda->declareTextLength("TSET", "T_NOTE", 0);
  const std::vector<std::pair<const char*, const char*>> columns = {
      {"RULE", "RU_TYPE"}, {"RULE", "RU_ID"},   {"CUSTM", "CM_DESC"},
      {"FLD", "MET_18"},   {"FLD", "MET_6"},    {"FLD", "MET_24"},
      {"RULE", "NOSUCH"},  {"TSET", "T_CODE"},  {"TSET", "T_NOTE"},
      {"TSET", "NOSUCH"}};
  std::vector<int> lengths;
  for (const auto& column : columns)
    lengths.push_back(rda->declaredTextLength(column.first, column.second));
  EXPECT_EQ(lengths, (std::vector<int>{32, 0, longest, 7, longest, 0, 0, 12,
                                       longest, 0}));
}

TEST_P(RdaTablesTest, BulkLoadWritesBatchesAndDropsOnlyBufferedRows) {
  const std::list<TableColumnInfo> columns = {
      {"B_ID", kvbTypeInt, 0, false}, {"B_TXT", kvbTypeString, 40, false}};
  ASSERT_TRUE(rda_->createTable("BLK", columns)) << error();
  const KvbString physical = rda_->getTableName("BLK", false, -1);
  EXPECT_EQ(rda_->isBulkLoadSupported(), isPostgres());
  EXPECT_EQ(rda_->bulkLoadInit(10, physical, &columns), isPostgres());
  if (!isPostgres()) return;
  // Refusals, each with its logged reason.
  LogCapture log;
  KvbDatavar id(1), text("x");
  EXPECT_FALSE(rda_->bulkLoadAddRow(1, &id));
  EXPECT_TRUE(
      log.contains("Num of insert values doesn't match column count", 5));
  EXPECT_TRUE(rda_->bulkLoadEnd(false));
  const std::list<TableColumnInfo> none;
  EXPECT_FALSE(rda_->bulkLoadInit(1000, physical, nullptr));
  EXPECT_FALSE(rda_->bulkLoadInit(1000, physical, &none));
  EXPECT_TRUE(log.contains("Invalid bulk load column list", 5));
  EXPECT_FALSE(rda_->bulkLoadAddRow(2, &id, &text));
  EXPECT_TRUE(log.contains("Bulk load not initialized", 5));

  // Rows from `from` on in batches of 1000; a quote is kept as it is.
  auto load = [&](int from, int n) {
    ASSERT_TRUE(rda_->bulkLoadInit(1000, physical, &columns)) << error();
    for (int i = from; i < from + n; ++i) {
      KvbDatavar rowId(i), rowText(i == 7 ? "it's" : KvbString::fromInt(i));
      ASSERT_TRUE(rda_->bulkLoadAddRow(2, &rowId, &rowText)) << i << error();
    }
  };
  load(0, 2500);
  ASSERT_TRUE(rda_->bulkLoadEnd(true)) << error();
  EXPECT_EQ(count("BLK"), 2500);
  EXPECT_EQ(rows(rda_->paramSelect(
                "SELECT B_TXT FROM " + table("BLK") + " WHERE B_ID = 7", 0)),
            std::vector<std::string>{"it's"});
  // Ending without commit drops only the rows not yet written in a batch.
  load(10000, 1500);
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

// A bulk load that is abandoned, by a second bulkLoadInit or by a batch the
// database refuses, takes back the batches it had already written.
TEST_P(RdaTablesTest, AbandonedBulkLoadKeepsNoneOfItsRows) {
  if (!isPostgres()) GTEST_SKIP() << "only the server back end bulk loads";
  const std::list<TableColumnInfo> columns = {
      {"B_ID", kvbTypeInt, 0, false}, {"B_TXT", kvbTypeString, 40, false}};
  ASSERT_TRUE(rda_->createTable("BLK", columns)) << error();
  const KvbString table = rda_->getTableName("BLK", false, -1);
  // Starts a load of `info` in batches of 10 and adds `n` rows of `text`;
  // false when an add fails.
  auto loadOf = [&](const std::list<TableColumnInfo>& info, int n,
                    const std::string& text) {
    if (!rda_->bulkLoadInit(10, table, &info)) return false;
    for (int i = 0; i < n; ++i) {
      KvbDatavar id(i), value(text.c_str());
      if (!rda_->bulkLoadAddRow(2, &id, &value)) return false;
    }
    return true;
  };
  auto load = [&](int n, const std::string& text) {
    return loadOf(columns, n, text);
  };
  LogCapture log;
  ASSERT_TRUE(load(25, "first")) << error();  // two batches written
  ASSERT_TRUE(load(3, "second")) << error();
  ASSERT_TRUE(rda_->bulkLoadEnd(true)) << error();
  EXPECT_EQ(rows(rda_->paramSelect("SELECT DISTINCT B_TXT FROM " + table, 0)),
            std::vector<std::string>{"second"});
  EXPECT_EQ(count("BLK"), 3);

  // A batch refused for a text longer than its column, when it is full or
  // at the end, names the first such value by its column and row (keyed
  // here by B_ID for the load alone), logged once.
  std::list<TableColumnInfo> keyed = columns;
  keyed.front().isKey = true;
  const KvbDatavar fits("fits"), tooLong(std::string(50, 'x').c_str());
  const auto named = [&](int id) {
    return "The value of column B_TXT of table " + std::string(table.asCstr()) +
           " in the row with B_ID " + std::to_string(id) +
           " is 50 characters long; the column holds at most 40";
  };
  KvbDatavar id(103);
  const std::vector<std::string> failures = log.failuresDuring([&] {
    ASSERT_TRUE(loadOf(keyed, 10, "written")) << error();
    for (int i = 0; i < 10; ++i) {
      KvbDatavar rowId(100 + i), text(i < 2 ? fits : tooLong);
      if (!rda_->bulkLoadAddRow(2, &rowId, &text)) break;
    }
    EXPECT_EQ(error(), named(102));
    ASSERT_TRUE(loadOf(keyed, 3, "written")) << error();
    EXPECT_TRUE(rda_->bulkLoadAddRow(2, &id, &tooLong));
    EXPECT_FALSE(rda_->bulkLoadEnd(true));
    EXPECT_EQ(error(), named(103));
  });
  EXPECT_EQ(failures, (std::vector<std::string>{named(102), named(103)}));
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(count("BLK"), 3);
  // A load told no length, or a longer one than the column's, names no
  // value: the full batch keeps the server's reason.
  for (int size : {0, 100}) {
    std::list<TableColumnInfo> told = columns;
    told.back().size = size;
    ASSERT_TRUE(loadOf(told, 19, "written")) << error();
    EXPECT_FALSE(rda_->bulkLoadAddRow(2, &id, &tooLong));
    EXPECT_NE(error().find("[22001]"), std::string::npos) << size << error();
  }
  EXPECT_EQ(count("BLK"), 3);

  // So does a batch with a text that holds a NUL byte, which the server's
  // texts cannot hold: it is refused, not stored cut short.
  ASSERT_TRUE(load(10, "written")) << error();
  KvbDatavar withNul(KvbString(std::string("cut\0here", 8)));
  EXPECT_TRUE(rda_->bulkLoadAddRow(2, &id, &withNul));
  EXPECT_FALSE(rda_->bulkLoadEnd(true));
  EXPECT_NE(error().find("holds a NUL byte"), std::string::npos) << error();
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(count("BLK"), 3);
}

INSTANTIATE_RDA_TARGETS(RdaTablesTest);

}  // namespace
