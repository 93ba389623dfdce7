// Tests of the table-set reader: a full set read back, macros and markers,
// a later set replacing an earlier one, malformed files, and the table set
// that ships with the engine.
#include "schema/repos_tables_xml.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "kvfileio/kvfileio.h"
#include "kvxmldom/kvxmldom.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string document(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n"
         "<velmorandocument class=\"ReposTableCreateSpec\">\n" +
         body + "</velmorandocument>\n";
}

class TableSetReaderTest : public ::testing::Test {
 protected:
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir_.path() / name) << text;
  }
  // Reads the folder; the reader's error text on failure.
  std::string load(int* count = nullptr) {
    EXPECT_TRUE(reader_.openTableSetDirectory(dir_.path().c_str()));
    return reader_.loadTableSetDirectory(count)
               ? ""
               : reader_.getErrorMessage().str();
  }
  ReposTableSet* set(int index) {
    ReposTableSet* out = nullptr;
    EXPECT_TRUE(reader_.tableSetAt(index, &out));
    return out;
  }

  TempDir dir_;
  ReposTableSetReader reader_;
};

TEST_F(TableSetReaderTest, ReadsTablesRowsMacrosAndStatements) {
  write("set.xml", document(R"(
  <tableset name="DEMO" version="3" indexprefix="DM" ignorecustomerrors="true"
            insertdatafirst="true">
    <macro name="OWNER" value="admin"/>
    <macro name="A_FIRST" value="1"/>
    <table name="DMITEM" deleteexisting="true" description="Items">
      <column name="ID" type="integer" primarykey="true" description="Key"/>
      <column name="NAME" type="text" length="40" nullable="false" index="2"
              description="Name"/>
      <column name="NOTES" type="text" usemaxlength="true" description="Notes"/>
      <column name="WEIGHT" type="real" description="Weight"/>
      <row number="2" keycolumn="ID">
        <value column="NAME">second &amp; last</value>
        <value column="WEIGHT">2.5</value>
      </row>
      <row number="1"><value column="NAME">first</value>
        <value column="NOTES" null="true"/></row>
    </table>
    <postcreate>
      <statement>
        <sql>UPDATE $$DMITEM$$ SET NAME = ? WHERE NAME = '%%OWNER%%' AND ##X## = &amp;&amp;Y&amp;&amp; AND %%UNKNOWN%% = 1</sql>
        <param name="n" type="text" length="40">it's</param>
        <param name="w" type="integer" null="true"/>
      </statement>
    </postcreate>
  </tableset>)"));
  int count = -1;
  ASSERT_EQ(load(&count), "");
  ASSERT_EQ(count, 1);
  ReposTableSet* s = set(0);
  EXPECT_EQ(s->name.str(), "DEMO");
  EXPECT_EQ(s->version, 3);
  EXPECT_EQ(s->indexPrefix.str(), "DM");
  EXPECT_TRUE(s->ignoreCustomErrors);
  EXPECT_TRUE(s->insertDataFirst);
  ASSERT_EQ(s->macros.size(), 2u);
  EXPECT_EQ(s->macros.begin()->first.str(), "A_FIRST") << "macros by name";

  ASSERT_EQ(s->tableDefs.size(), 1u);
  const ReposTableDef& t = s->tableDefs[0];
  EXPECT_EQ(t.name.str(), "DMITEM");
  EXPECT_TRUE(t.deleteExisting);
  ASSERT_EQ(t.columns.size(), 4u);
  EXPECT_TRUE(t.columns[0].primaryKey);
  EXPECT_FALSE(t.columns[0].isNullable) << "a key is never nullable";
  EXPECT_EQ(t.columns[1].length, 40);
  EXPECT_EQ(t.columns[1].indexNumber, 2);
  EXPECT_FALSE(t.columns[1].isNullable);
  EXPECT_TRUE(t.columns[2].useMaxLength);
  EXPECT_EQ(t.columns[3].type, kvbTypeReal);

  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.rows.begin()->first, 1) << "rows by number";
  const ReposTableRow& second = t.rows.at(2);
  EXPECT_EQ(second.keyColumn.str(), "ID");
  EXPECT_EQ(second.values.at("NAME"), KvbDatavar("second & last"));
  EXPECT_EQ(second.values.at("WEIGHT"), KvbDatavar(2.5));
  EXPECT_TRUE(t.rows.at(1).values.at("NOTES").isNull());

  ASSERT_EQ(s->postCreate.size(), 1u);
  const ReposStatement& st = s->postCreate[0];
  EXPECT_EQ(st.sql.str(),
            "UPDATE $$DMITEM$$ SET NAME = ? WHERE NAME = 'admin' AND ##X## = "
            "&&Y&& AND %%UNKNOWN%% = 1")
      << "macros expanded, run-time markers and unknown macros kept";
  ASSERT_EQ(st.params.size(), 2u);
  EXPECT_EQ(st.params[0].value, KvbDatavar("it's"));
  EXPECT_EQ(st.params[0].length, 40);
  EXPECT_TRUE(st.params[1].value.isNull());
  EXPECT_EQ(st.params[1].value.getType(), kvbTypeInt);
  EXPECT_TRUE(s->preCreate.empty());
}

TEST_F(TableSetReaderTest, LaterFileReplacesSetOfSameName) {
  const char* table =
      "<table name=\"T1\"><column name=\"A\" type=\"integer\"/></table>";
  write("a.xml",
        document(std::string("<tableset name=\"S\" version=\"1\">") + table +
                 "</tableset><tableset name=\"OTHER\" "
                 "version=\"1\">" +
                 table + "</tableset>"));
  write("b.xml", document(std::string("<tableset name=\"S\" version=\"2\">") +
                          table + "</tableset>"));
  write("ignored.txt", "not xml");
  int count = 0;
  ASSERT_EQ(load(&count), "");
  ASSERT_EQ(count, 2);
  EXPECT_EQ(set(0)->name.str(), "S");
  EXPECT_EQ(set(0)->version, 2);
  ReposTableSet* out = nullptr;
  EXPECT_FALSE(reader_.tableSetAt(2, &out));
  EXPECT_FALSE(reader_.tableSetAt(-1, &out));
  ASSERT_EQ(load(&count), "") << "a second load starts afresh";
  EXPECT_EQ(count, 2);
}

TEST_F(TableSetReaderTest, FolderStates) {
  ReposTableSetReader fresh;
  int count = -1;
  EXPECT_TRUE(fresh.loadTableSetDirectory(&count)) << "never opened: nothing";
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(fresh.openTableSetDirectory((dir_.path() / "missing").c_str()));
  EXPECT_NE(fresh.getErrorMessage().find("missing"), KvbString::npos);
  // A folder that goes away after it was opened cannot be listed.
  const fs::path gone = dir_.path() / "gone";
  fs::create_directories(gone);
  ASSERT_TRUE(fresh.openTableSetDirectory(gone.c_str()));
  fs::remove(gone);
  EXPECT_FALSE(fresh.loadTableSetDirectory(&count));
  EXPECT_EQ(fresh.getErrorMessage().str(),
            "Cannot list the table-set folder \"" + gone.string() + "\"");
}

struct Malformed {
  const char* body;  // inside <velmorandocument>, or a whole file when raw
  const char* expected;
  bool raw;
};

TEST_F(TableSetReaderTest, MalformedFilesFailWithFileAndFault) {
  const Malformed cases[] = {
      {"<velmorandocument class=\"ReposTableCreateSpec\"><tableset", "bad.xml",
       true},
      {"<velmorandocument class=\"Other\"/>", "class", true},
      {"<other/>", "root element", true},
      {"", "no tableset", false},
      {"<tableset version=\"1\"/>", "\"name\" is missing", false},
      {"<tableset name=\"S\"/>", "\"version\" is missing", false},
      {"<tableset name=\"S\" version=\"x\"/>", "whole number", false},
      {"<tableset name=\"S\" version=\"1\" colour=\"red\"/>",
       "unknown attribute \"colour\"", false},
      {"<tableset name=\"S;DROP\" version=\"1\"/>", "not a valid name", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"/></tableset>",
       "no columns", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A B\" type=\"integer\"/></table></tableset>",
       "not a valid name", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"blob\"/></table></tableset>",
       "type \"blob\"", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"text\"/></table></tableset>",
       "needs a length", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\">"
       "<column name=\"A\" type=\"integer\" primarykey=\"yes\"/></table>"
       "</tableset>",
       "\"true\" or \"false\"", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\"/><column name=\"A\" type=\"real\"/>"
       "</table></tableset>",
       "defined twice", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\"/><row number=\"1\"><value "
       "column=\"A\">ten</value></row></table></tableset>",
       "table \"T\": row 1: column \"A\": \"ten\" is not a valid integer",
       false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\"/><row number=\"1\"><value "
       "column=\"B\">1</value></row></table></tableset>",
       "no column \"B\"", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\"/><row number=\"1\"/><row number=\"1\"/>"
       "</table></tableset>",
       "used twice", false},
      {"<tableset name=\"S\" version=\"1\"><postcreate><statement><param "
       "type=\"integer\">1</param></statement></postcreate></tableset>",
       "one sql element", false},
      {"<tableset name=\"S\" version=\"1\"><postcreate/><postcreate/>"
       "</tableset>",
       "appears twice", false},
      {"<tableset name=\"S\" version=\"1\"><trigger/></tableset>",
       "unexpected element \"trigger\"", false},
      {"<velmorandocument class=\"ReposTableCreateSpec\"><trigger/>"
       "</velmorandocument>",
       "unexpected element \"trigger\"", true},
      {"<tableset name=\"S\" version=\"1\" indexprefix=\"i;x\"/>",
       "index prefix is not a valid name", false},
      {"<tableset name=\"S\" version=\"1\"><macro name=\"M\" value=\"1\"/>"
       "<macro name=\"M\" value=\"2\"/></tableset>",
       "macro \"M\" is defined twice", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\"/></table><table name=\"T\"><column "
       "name=\"A\" type=\"integer\"/></table></tableset>",
       "table \"T\" is defined twice", false},
      {"<tableset name=\"S\" version=\"1\"><postcreate><sql/></postcreate>"
       "</tableset>",
       "postcreate: unexpected element \"sql\"", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\" length=\"4\"/></table></tableset>",
       "only text columns take a length", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\"/><index/></table></tableset>",
       "table \"T\": unexpected element \"index\"", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\"/><row number=\"1\"/><column name=\"B\" "
       "type=\"integer\"/></table></tableset>",
       "columns must come before rows", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\"/><row number=\"1\"><cell/></row>"
       "</table></tableset>",
       "row 1: unexpected element \"cell\"", false},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\"/><row number=\"1\"><value "
       "column=\"A\">1</value><value column=\"A\">2</value></row></table>"
       "</tableset>",
       "column \"A\": the value is given twice", false},
  };
  for (const Malformed& c : cases) {
    fs::remove_all(dir_.path());
    fs::create_directories(dir_.path());
    write("bad.xml", c.raw ? std::string(c.body) : document(c.body));
    std::string error = load();
    EXPECT_NE(error, "") << c.body;
    EXPECT_EQ(error.rfind("bad.xml", 0), 0u) << error;
    EXPECT_NE(error.find(c.expected), std::string::npos)
        << "error: " << error << "\nexpected: " << c.expected;
  }
}

// Each fault names its element's whole place, whichever kind of element it
// is; a text that is no document is named as a load of the file names it.
TEST_F(TableSetReaderTest, FaultsNameTheirPlaceInFull) {
  const std::string table =
      "<tableset name=\"S\" version=\"1\"><table name=\"T\">"
      "<column name=\"A\" type=\"integer\"/>";
  const std::pair<std::string, std::string> cases[] = {
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" type=\"integer\" length=\"4\"/></table></tableset>",
       "tableset \"S\": table \"T\": column \"A\": only text columns take "
       "a length"},
      {"<tableset name=\"S\" version=\"1\"><table name=\"T\"><column "
       "name=\"A\" kind=\"x\"/></table></tableset>",
       "tableset \"S\": table \"T\": column \"A\": unknown attribute "
       "\"kind\""},
      {table + "<row number=\"1\" colour=\"red\"/></table></tableset>",
       "tableset \"S\": table \"T\": row: unknown attribute \"colour\""},
      {table + "<row number=\"1\"><value column=\"A\" null=\"no\"/></row>"
               "</table></tableset>",
       "tableset \"S\": table \"T\": row 1: value: attribute \"null\" must "
       "be \"true\" or \"false\""},
      {"<tableset name=\"S\" version=\"1\"><macro name=\"M\"/></tableset>",
       "tableset \"S\": macro \"M\": attribute \"value\" is missing"},
      {"<tableset name=\"S\" version=\"1\"><postcreate><statement>"
       "<sql x=\"1\">SELECT 1</sql></statement></postcreate></tableset>",
       "tableset \"S\": postcreate: statement: sql: unknown attribute \"x\""},
      {"<tableset name=\"S\" version=\"1\"><postcreate mode=\"x\"/>"
       "</tableset>",
       "tableset \"S\": postcreate: unknown attribute \"mode\""},
  };
  for (const auto& c : cases) {
    write("bad.xml", document(c.first));
    EXPECT_EQ(load(), "bad.xml: " + c.second);
  }
  const std::string path = (dir_.path() / "bad.xml").string();
  write("bad.xml", "<velmorandocument><tableset");
  KvDom dom;
  ASSERT_FALSE(dom.loadFile(path.c_str()));
  EXPECT_EQ(load(), "bad.xml: " + dom.getErrorMessage().str());
}

// A file is read anew at each load: new bytes give new sets, also at the
// same size, and the sets handed out are the reader's own.
TEST_F(TableSetReaderTest, EachLoadReadsTheFileAsItIsNow) {
  auto text = [](const char* name, int version) {
    return document("<tableset name=\"" + std::string(name) + "\" version=\"" +
                    std::to_string(version) +
                    "\"><table name=\"T1\"><column name=\"A\" "
                    "type=\"integer\"/></table></tableset>");
  };
  write("a.xml", text("S", 1));
  ASSERT_EQ(load(), "");
  EXPECT_EQ(set(0)->version, 1);
  set(0)->version = 7;
  set(0)->tableDefs.clear();
  ASSERT_EQ(load(), "");
  EXPECT_EQ(set(0)->version, 1);
  EXPECT_EQ(set(0)->tableDefs.size(), 1u);
  write("a.xml", text("S", 2));
  ASSERT_EQ(load(), "");
  EXPECT_EQ(set(0)->version, 2);
  write("a.xml", text("R", 2));
  ReposTableSetReader second;
  ASSERT_TRUE(second.openTableSetDirectory(dir_.path().c_str()));
  ASSERT_TRUE(second.loadTableSetDirectory(nullptr));
  ReposTableSet* read = nullptr;
  ASSERT_TRUE(second.tableSetAt(0, &read));
  EXPECT_EQ(read->name.str(), "R");
}

// An unusable file fails the whole folder, which fails opening and creating
// a repository, also when a good file follows it. A FIFO is not waited on
// and a device is not read without end.
TEST_F(TableSetReaderTest, AnUnusableFileBeforeAGoodOneFailsTheLoad) {
  write("z_good.xml", document("<tableset name=\"S\" version=\"1\"><table "
                               "name=\"T\"><column name=\"A\" "
                               "type=\"integer\"/></table></tableset>"));
  const std::string bad = (dir_.path() / "a_bad.xml").string();
  write("a_bad.xml", document("<tableset name=\"B\" version=\"1\"><table "
                              "name=\"T\"/></tableset>"));
  EXPECT_EQ(load(),
            "a_bad.xml: tableset \"B\": table \"T\": the table "
            "has no columns");
  const std::string notRegular = "a_bad.xml: Cannot read XML file '" + bad +
                                 "': " + np_fio_errdesc(NP_FIO_ENOTREG);
  fs::remove(bad);
  ASSERT_EQ(mkfifo(bad.c_str(), 0600), 0);
  EXPECT_EQ(load(), notRegular);
  fs::remove(bad);
  ASSERT_EQ(symlink("/dev/zero", bad.c_str()), 0);
  EXPECT_EQ(load(), notRegular);
  fs::remove(bad);
  EXPECT_EQ(load(), "");
}

TEST(ShippedTableSets, ReadCleanly) {
  ReposTableSetReader reader;
  ASSERT_TRUE(reader.openTableSetDirectory(KV_SOURCE_DIR "/etc/reposcreate"))
      << reader.getErrorMessage().str();
  int count = 0;
  ASSERT_TRUE(reader.loadTableSetDirectory(&count))
      << reader.getErrorMessage().str();
  ASSERT_GE(count, 1);
  ReposTableSet* refdata = nullptr;
  for (int i = 0; i < count; ++i) {
    ReposTableSet* s = nullptr;
    ASSERT_TRUE(reader.tableSetAt(i, &s));
    if (s->name == "REFDATA") refdata = s;
  }
  ASSERT_NE(refdata, nullptr);
  EXPECT_EQ(refdata->tableDefs.size(), 34u);
  for (const ReposTableDef& t : refdata->tableDefs) {
    EXPECT_LE(t.name.length(), 6u) << t.name.str();
    EXPECT_FALSE(t.description.isEmpty()) << t.name.str();
    for (const ReposXmlColumnDef& c : t.columns)
      EXPECT_FALSE(c.description.isEmpty())
          << t.name.str() << "." << c.name.str();
  }
}

}  // namespace
