// Table dumps and per-id table exports on every back end.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "kvfileio/kvfileio.h"
#include "services/owned.h"
#include "support/admin_targets.h"
#include "support/host_locale.h"
#include "support/log_capture.h"
#include "support/repos_impl_targets.h"

namespace {

class TableXmlTest : public ReposImplTest {
 protected:
  void SetUp() override {
    ReposImplTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    repos_ = open();
    ASSERT_NE(repos_, nullptr);
    TableCreateOptions core;
    core.createTables = true;
    ASSERT_TRUE(db_->createTables(core));
  }

  // A histogram table HSM<id> with an integer, a text and a real column and
  // its two indexes.
  void makeHistogram(int id, const std::vector<std::string>& values) {
    const std::string name = "HSM" + std::to_string(id);
    std::list<TableColumnInfo> columns(3);
    auto column = columns.begin();
    column->name = "FIELDIDX";
    column->type = kvbTypeInt;
    (++column)->name = "GRPFLD1";
    column->size = 40;
    (++column)->name = "VAL";
    column->type = kvbTypeReal;
    ASSERT_TRUE(db_->createTable(name.c_str(), columns));
    for (const std::string& row : values)
      exec("INSERT INTO " + db_->getTableName("HSM", true, id).str() +
           " VALUES (" + row + ")");
    ASSERT_TRUE(db_->createHSMTable(id, 1));
  }

  // Rows, columns and indexes of a table, as one text.
  std::string content(const char* name) {
    std::list<TableColumnInfo> found;
    db_->getTableColumns(name, found);
    std::string out;
    for (const TableColumnInfo& c : found)
      out += c.name.str() + ":" + std::to_string(c.type) + ":" +
             std::to_string(c.size) + " ";
    for (const std::string& row : sortedRows(cursorRows(db_->paramSelect(
             "SELECT * FROM " + db_->getTableName(name, true, -1), 0))))
      out += row + ";";
    for (const std::string& row : sortedRows(
             cursorRows(db_->listIndexes(db_->getTableName(name, false, -1)))))
      out += row + ";";
    return out;
  }

  std::vector<std::string> files(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      names.push_back(entry.path().filename().string());
    return sortedRows(names);
  }

  std::string dumpName(const char* table) {
    return db_->getTableName(table, false, -1).str() + ".xml";
  }

  RepositoryImpl* repos_ = nullptr;
  TempDir dumps_;
  LogCapture log_;
};

const std::vector<std::string> kRows = {
    "1, 'a<b>&\"c''', 0.1", "2, NULL, NULL", "NULL, '  two\r\nlines ', 1e-300",
    "2147483647, '', -123456789.12345678", "-5, 'x\x01y', 2.5e17"};

// Under a host's comma locale, a dump writes every real in the C form and
// the load reads it back bit for bit: infinities, subnormals, 17 digits.
TEST_P(TableXmlTest, DumpAndLoadKeepEveryRealUnderACommaLocale) {
  HostLocale host;
  makeHistogram(4, {});
  const double reals[] = {1.5, 1.0 / 3, DBL_MAX,
                          -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::denorm_min()};
  const std::string table = db_->getTableName("HSM", true, 4).str();
  Owned<ReposDataAccessStatement> insert(
      db_->createStatement("INSERT INTO " + table + " VALUES (?, 'g', ?)"));
  for (int id = 0; id < 5; ++id)
    ASSERT_TRUE(insert->setParameter(0, id) &&
                insert->setParameter(1, reals[id]) && insert->execute());
  ASSERT_TRUE(
      repos_->exportTableToXml("HSM4", dumps_.path().string().c_str(), true));
  std::ifstream dump(dumps_.file(dumpName("HSM4")));
  std::stringstream text;
  text << dump.rdbuf();
  EXPECT_NE(text.str().find(">1.5<"), std::string::npos) << text.str();
  ASSERT_TRUE(repos_->importTable(dumps_.file(dumpName("HSM4")).c_str()))
      << repos_->getErrorMessage().asCstr();
  Owned<ReposDataAccessCursor> rows(
      db_->paramSelect("SELECT VAL FROM " + table + " ORDER BY FIELDIDX", 0));
  for (double real : reals) {
    ASSERT_EQ(rows->next(), 1);
    const double back = rows->getDouble(0);
    EXPECT_EQ(std::memcmp(&back, &real, sizeof real), 0) << back;
  }
}

TEST_P(TableXmlTest, DumpAndLoadGiveBackRowsNullsRealsAndIndexes) {
  makeHistogram(3, kRows);
  const std::string before = content("HSM3");
  ASSERT_TRUE(
      repos_->exportTableToXml("HSM3", dumps_.path().string().c_str(), true))
      << repos_->getErrorMessage().asCstr();
  EXPECT_TRUE(columns(repos_, "HSM3").empty());
  ASSERT_TRUE(repos_->importTable(dumps_.file(dumpName("HSM3")).c_str()))
      << repos_->getErrorMessage().asCstr();
  EXPECT_EQ(content("HSM3"), before);

  // A table that does not exist writes nothing.
  EXPECT_TRUE(
      repos_->exportTableToXml("HSM9", dumps_.path().string().c_str(), true));
  EXPECT_EQ(files(dumps_), std::vector<std::string>{dumpName("HSM3")});
  // A dump that cannot be written keeps its table.
  EXPECT_FALSE(
      repos_->exportTableToXml("HSM3", dumps_.file("none/x").c_str(), true));
  EXPECT_FALSE(repos_->exportTableToXml(
      "HSM3", dumps_.file(std::string(5000, 'd')).c_str(), true));
  EXPECT_NE(repos_->getErrorMessage().find(np_fio_errdesc(NP_FIO_EOVERFLOW)),
            KvbString::npos)
      << repos_->getErrorMessage().asCstr();
  EXPECT_EQ(content("HSM3"), before);
}

// The dump names its repository by a connection text without a password.
TEST_P(TableXmlTest, DumpsLeaveTheConnectionsPasswordOut) {
  if (isFile()) GTEST_SKIP() << "a file is opened without a connection text";
  std::string connection = location();
  const size_t pwd = connection.find("Pwd=");
  if (pwd != std::string::npos)
    connection.replace(pwd, 4, "PASSWORD=");
  else
    connection += ";PASSWORD=secret";
  Owned<RepositoryImpl> repos(new RepositoryImpl());
  KvbString error;
  ASSERT_TRUE(repos->init(0, nullptr, 1, connection.c_str(), prefix_.c_str(),
                          "", nullptr, &error))
      << error.asCstr();
  makeHistogram(3, kRows);
  ASSERT_TRUE(
      repos->exportTableToXml("HSM3", dumps_.path().string().c_str(), false));
  std::stringstream dump;
  dump << std::ifstream(dumps_.file(dumpName("HSM3"))).rdbuf();
  EXPECT_NE(dump.str().find("<repos_name>"), std::string::npos);
  EXPECT_EQ(dump.str().find("PASSWORD"), std::string::npos);
}

TEST_P(TableXmlTest, DumpAndLoadKeepATextColumnsDeclaredLength) {
  exec("CREATE TABLE " + db_->getTableName("FRQDST", true, 7).str() +
       " (FR_VAL VARCHAR(77), FR_COUNT INTEGER)");
  exec("INSERT INTO " + db_->getTableName("FRQDST", true, 7).str() +
       " VALUES ('" + std::string(77, 'v') + "', 1)");
  const std::string before = content("FRQDST7");
  EXPECT_EQ(before.substr(0, before.find(' ')), "FR_VAL:4:77");
  ASSERT_TRUE(
      repos_->exportTableToXml("FRQDST7", dumps_.path().string().c_str(), true))
      << repos_->getErrorMessage().asCstr();
  std::stringstream text;
  text << std::ifstream(dumps_.file(dumpName("FRQDST7"))).rdbuf();
  EXPECT_NE(text.str().find("name=\"FR_VAL\" type=\"text\" len=\"77\""),
            std::string::npos)
      << text.str();
  ASSERT_TRUE(repos_->importTable(dumps_.file(dumpName("FRQDST7")).c_str()))
      << repos_->getErrorMessage().asCstr();
  EXPECT_EQ(content("FRQDST7"), before);
}

TEST_P(TableXmlTest, BrokenOrHostileFilesLeaveTheTableAlone) {
  makeHistogram(3, kRows);
  makeHistogram(4, {});
  ASSERT_TRUE(
      repos_->exportTableToXml("HSM3", dumps_.path().string().c_str(), false));
  std::stringstream text;
  text << std::ifstream(dumps_.file(dumpName("HSM3"))).rdbuf();
  const std::string good = text.str();
  const std::string before = content("HSM3");
  std::string otherIndex =
      cursorRows(db_->listIndexes(db_->getTableName("HSM4", false, -1)))[0];
  otherIndex = otherIndex.substr(0, otherIndex.find('|'));
  const std::vector<std::pair<std::string, std::string>> changes = {
      {"</kvTable>", ""},                              // not well formed
      {"<fields>", "<fields><column/>"},               // an unknown element
      {"<fields>", "<fieldz>"},                        // no fields
      {">HSM3<", ">INFO<"},                            // the repository's own
      {">HSM3<", ">HSM3 (x INTEGER); DROP TABLE y<"},  // not a name
      {"name=\"VAL\"", "name=\"V AL\""},               // not a column name
      {">1</value>", ">one</value>"},                  // not an integer
      {"</row>", "<value is_null=\"0\">9</value></row>"},  // a value too many
      {"field=\"FIELDIDX\"", "field=\"NOPE\""},  // an index on no column
      {"type=\"integer\"", "type=\"blob\""},     // an unknown type
      {"len=\"40\"", "len=\"-1\""},              // a negative length
      {"is_null=\"0\"", "is_null=\"no\""},       // not a null flag
  };
  for (const auto& change : changes) {
    std::string broken = good;
    const size_t at = broken.find(change.first);
    ASSERT_NE(at, std::string::npos) << change.first;
    broken.replace(at, change.first.size(), change.second);
    std::ofstream(dumps_.file("broken.xml")) << broken;
    EXPECT_FALSE(repos_->importTable(dumps_.file("broken.xml").c_str()))
        << change.second;
    EXPECT_FALSE(repos_->getErrorMessage().isEmpty());
    EXPECT_EQ(content("HSM3"), before) << change.second;
  }
  // A column given twice (in another case) is refused by the reader, with
  // its own reason rather than the database's.
  std::string twice = good;
  twice.replace(twice.find("name=\"VAL\""), 10, "name=\"fieldidx\"");
  std::ofstream(dumps_.file("twice.xml")) << twice;
  EXPECT_FALSE(repos_->importTable(dumps_.file("twice.xml").c_str()));
  EXPECT_NE(repos_->getErrorMessage().find("fieldidx is given twice"),
            KvbString::npos)
      << repos_->getErrorMessage().asCstr();
  // An index name that the database refuses undoes the whole load.
  std::string clash = good;
  const size_t name = clash.find("name=\"", clash.find("<index "));
  clash.replace(name + 6, clash.find('"', name + 6) - name - 6, otherIndex);
  std::ofstream(dumps_.file("clash.xml")) << clash;
  EXPECT_FALSE(repos_->importTable(dumps_.file("clash.xml").c_str()));
  EXPECT_EQ(content("HSM3"), before);
  // A table whose name another repository of the schema spells as its own
  // is refused: an INFO table under the prefix and "X" shows one there,
  // whose ALERT table is this prefix's XALERT.
  std::list<TableColumnInfo> one(1);
  one.front().name = "ID";
  one.front().type = kvbTypeInt;
  ASSERT_TRUE(db_->createTable("XINFO", one));
  ASSERT_TRUE(db_->createTable("XALERT", one));
  std::string other = good;
  other.replace(other.find(">HSM3<"), 6, ">XALERT<");
  std::ofstream(dumps_.file("other.xml")) << other;
  EXPECT_FALSE(repos_->importTable(dumps_.file("other.xml").c_str()));
  auto lowered = [](std::string words) {
    for (char& c : words) c = static_cast<char>(std::tolower(c));
    return words;
  };
  const std::string physical = db_->getTableName("XALERT", false, -1).str();
  const std::string bare = physical.substr(physical.rfind('.') + 1);
  EXPECT_EQ(lowered(repos_->getErrorMessage().str()),
            lowered("The table file names the table " + bare +
                    ", which is also a table of the repository under the "
                    "table prefix \"" +
                    bare.substr(0, bare.size() - 5) +
                    "\"; a table file cannot replace it"));
  EXPECT_EQ(content("XALERT"), "ID:" + std::to_string(kvbTypeInt) + ":0 ");
}

// A name that another repository of the schema spells as one of its tables
// (a code, or a per-id table's code and id as the engine writes the id) is
// that repository's: a table file naming it is refused, and an export with
// drop writes its file but leaves the table. A name that only looks like a
// per-id table (a leading zero, no digits) is this repository's own.
TEST_P(TableXmlTest, TablesThatAnotherRepositorySpellsStayItsOwn) {
  struct Case {
    const char* neighbour;  // INFO under this prefix plus `neighbour`
    const char* table;
    bool claimed;
  };
  const std::vector<Case> cases = {
      {"X", "XALERT", true},   {"Y", "YHSM2", true},  {"Y", "YHCM0", true},
      {"Y", "YFRQDST10", true}, {"Y", "YHSM02", false}, {"Y", "YHCMX", false},
  };
  std::list<TableColumnInfo> one(1);
  one.front().name = "ID";
  one.front().type = kvbTypeInt;
  auto lowered = [](std::string words) {
    for (char& c : words) c = static_cast<char>(std::tolower(c));
    return words;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    const std::string info = c.neighbour + std::string("INFO");
    if (columns(repos_, info.c_str()).empty()) {
      ASSERT_TRUE(db_->createTable(info.c_str(), one));
    }
    ASSERT_TRUE(db_->createTable(c.table, one));
    const std::string physical = db_->getTableName(c.table, true, -1).str();
    exec("INSERT INTO " + physical + " VALUES (7)");
    const std::string kept = content(c.table);
    // The file names the table and holds other rows.
    ASSERT_TRUE(repos_->exportTableToXml(c.table,
                                         dumps_.path().string().c_str(), false))
        << repos_->getErrorMessage().asCstr();
    exec("DELETE FROM " + physical);
    exec("INSERT INTO " + physical + " VALUES (5)");
    const std::string file = dumps_.file(dumpName(c.table));
    EXPECT_EQ(repos_->importTable(file.c_str()), !c.claimed);
    if (c.claimed) {
      std::string bare = db_->getTableName(c.table, false, -1).str();
      bare = bare.substr(bare.rfind('.') + 1);
      const std::string claimant = bare.substr(
          0, bare.size() - strlen(c.table) + strlen(c.neighbour));
      EXPECT_EQ(lowered(repos_->getErrorMessage().str()),
                lowered("The table file names the table " + bare +
                        ", which is also a table of the repository under the "
                        "table prefix \"" +
                        claimant + "\"; a table file cannot replace it"));
      EXPECT_NE(content(c.table), kept);
    } else {
      EXPECT_EQ(content(c.table), kept);
    }
    ASSERT_TRUE(repos_->exportTableToXml(c.table,
                                         dumps_.path().string().c_str(), true))
        << repos_->getErrorMessage().asCstr();
    EXPECT_EQ(columns(repos_, c.table).empty(), !c.claimed);
  }
}

TEST_P(TableXmlTest, ExportsTakeTheirIdsAndRefuseBadRanges) {
  exec("INSERT INTO " + table("JOB") +
       " (JOB_ID, JOB_DATE) VALUES (1, 45000.25), (2, 45010.5)");
  exec("INSERT INTO " + table("DSN") +
       " (DSN_ID, JOB_ID) VALUES (1, 1), (2, 2)");
  exec("INSERT INTO " + table("TBL") +
       " (DSN_ID, TBL_ID) VALUES (1, 1), (2, 2)");
  exec("INSERT INTO " + table("FLD") +
       " (DSN_ID, TBL_ID, FLD_ID) VALUES (1, 1, 1), (1, 1, 2), (2, 2, 3), "
       "(2, 2, 5)");
  for (int id : {1, 2, 3, 5})
    exec("CREATE TABLE " + db_->getTableName("FRQDST", true, id).str() +
         " (FR_VALUE VARCHAR(300), FR_COUNT INTEGER)");
  const std::string folder = dumps_.path().string();
  auto dumped = [&](std::vector<const char*> tables) {
    std::vector<std::string> names;
    for (const char* t : tables) names.push_back(dumpName(t));
    return names;
  };

  EXPECT_FALSE(repos_->exportFrqdstTables(-1, 3, folder.c_str(), false));
  EXPECT_NE(repos_->getErrorMessage().str().find("negative"),
            std::string::npos);
  EXPECT_FALSE(repos_->exportFrqdstTables(3, 1, folder.c_str(), false));
  EXPECT_NE(repos_->getErrorMessage().str().find("reversed"),
            std::string::npos);
  EXPECT_TRUE(repos_->exportFrqdstTables(2, 2, folder.c_str(), false));
  EXPECT_TRUE(repos_->exportFrqdstTables(1, 3, folder.c_str(), false));
  EXPECT_EQ(files(dumps_), dumped({"FRQDST1", "FRQDST2"}));
  // The range ends at the largest field id.
  EXPECT_TRUE(repos_->exportFrqdstTables(0, INT_MAX, folder.c_str(), false));
  EXPECT_EQ(files(dumps_),
            dumped({"FRQDST1", "FRQDST2", "FRQDST3", "FRQDST5"}));

  TempDir byDate;
  EXPECT_TRUE(repos_->exportFrqdstTablesByJobDate(
      KvbDate(45010.5), KvbDate(45020.0), byDate.path().string().c_str(),
      true));
  EXPECT_EQ(files(byDate), dumped({"FRQDST3", "FRQDST5"}));
  EXPECT_TRUE(columns(repos_, "FRQDST3").empty());
  EXPECT_FALSE(columns(repos_, "FRQDST1").empty());

  exec("INSERT INTO " + table("EXEC") +
       " (EX_ID, EX_DATE) VALUES (1, 45000.0)");
  exec("INSERT INTO " + table("HGMETA") + " (HGM_ID, EX_ID) VALUES (1, 1)");
  makeHistogram(1, {"1, 'g', 2.0"});
  TempDir histograms;
  EXPECT_TRUE(repos_->exportHsmTablesByExecDate(
      KvbDate(44999.0), KvbDate(45000.0), histograms.path().string().c_str(),
      false));
  EXPECT_TRUE(
      repos_->exportHcmTables(0, 2, histograms.path().string().c_str(), false));
  EXPECT_EQ(files(histograms), dumped({"HSM1"}));

  // The count tables of the same run go by its date, the histograms by id;
  // a dump that cannot be written stops the range.
  exec("CREATE TABLE " + db_->getTableName("HCM", true, 1).str() +
       " (GRPFLD1 VARCHAR(40), CNT INTEGER)");
  TempDir counts, byId;
  EXPECT_TRUE(
      repos_->exportHcmTablesByExecDate(KvbDate(44999.0), KvbDate(45000.0),
                                        counts.path().string().c_str(), false));
  EXPECT_EQ(files(counts), dumped({"HCM1"}));
  EXPECT_FALSE(
      repos_->exportHsmTables(0, 2, byId.file("none/x").c_str(), true));
  EXPECT_FALSE(columns(repos_, "HSM1").empty());
  EXPECT_TRUE(
      repos_->exportHsmTables(0, 2, byId.path().string().c_str(), true));
  EXPECT_EQ(files(byId), dumped({"HSM1"}));
  EXPECT_TRUE(columns(repos_, "HSM1").empty());
}

INSTANTIATE_REPOS_TARGETS(TableXmlTest);

}  // namespace
