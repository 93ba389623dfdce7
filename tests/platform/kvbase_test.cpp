// Tests of kvbase.
#include "kvbase/kvbase.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "kvsqlstore/kvsqlstore.h"
#include "support/log_capture.h"

namespace {

TEST(KvbString, NullIsDistinctFromEmpty) {
  KvbString null;
  KvbString empty("");
  EXPECT_TRUE(null.isNull());
  EXPECT_FALSE(empty.isNull());
  EXPECT_TRUE(null.isEmpty() && empty.isEmpty());
  EXPECT_NE(null, empty);
  EXPECT_STREQ(null.asCstr(), "");
  EXPECT_TRUE(KvbString(static_cast<const char*>(nullptr)).isNull());
  EXPECT_TRUE(null.substr(0).isNull());
  null.append("");
  EXPECT_FALSE(null.isNull()) << "appending makes a null string non-null";
  // Assigning a null pointer gives a null string; a null one is copied as
  // null.
  KvbString text("x");
  EXPECT_TRUE(text.assign(nullptr).isNull());
  EXPECT_TRUE(KvbString("x").assign(nullptr, 3).isNull());
  EXPECT_TRUE(KvbString("x").assign(KvbString()).isNull());
  EXPECT_EQ(KvbString("x").assign(KvbString("yz")), KvbString("yz"));
  EXPECT_EQ(KvbString("x").append("yz!", 2), KvbString("xyz"));
  EXPECT_EQ(KvbString().append(nullptr, 0), KvbString(""));
}

TEST(KvbString, CompareSearchAndCase) {
  EXPECT_EQ(KvbString("Folder").compare("FOLDER", true), 0);
  EXPECT_NE(KvbString("Folder").compare("FOLDER", false), 0);
  EXPECT_LT(KvbString("abc").compare("abd", true), 0);
  EXPECT_LT(KvbString("ab").compare("ABC", true), 0);
  EXPECT_EQ(KvbString("a %% b %% c").find("%%"), 2u);
  EXPECT_EQ(KvbString("a %% b %% c").find("%%", 3), 7u);
  EXPECT_EQ(KvbString("abc").find("x"), KvbString::npos);
  KvbString s("  Mixed Case\r\n");
  EXPECT_EQ(s.trim().toLower(), KvbString("mixed case"));
  EXPECT_EQ(KvbString("x.y.z").replaceAll(".", "::"), KvbString("x::y::z"));
  EXPECT_TRUE(KvbString("Table.XML").endsWith(".xml", true));
}

TEST(KvbString, NumberConversionsReportErrors) {
  int i = 7;
  EXPECT_TRUE(KvbString(" 42 ").toInt(i));
  EXPECT_EQ(i, 42);
  EXPECT_FALSE(KvbString("42x").toInt(i));
  EXPECT_FALSE(KvbString("").toInt(i));
  EXPECT_FALSE(KvbString().toInt(i));
  EXPECT_FALSE(KvbString("3000000000").toInt(i)) << "out of 32-bit range";
  EXPECT_EQ(i, 42) << "a failed conversion leaves the output alone";
  int64_t big = 0;
  EXPECT_TRUE(KvbString("9223372036854775807").toInt64(big));
  EXPECT_EQ(big, INT64_MAX);
  EXPECT_FALSE(KvbString("9223372036854775808").toInt64(big));
  double d = 0;
  EXPECT_TRUE(KvbString("-1.5e3").toDouble(d));
  EXPECT_EQ(d, -1500.0);
  EXPECT_FALSE(KvbString("1e999").toDouble(d)) << "out of range";
  bool b = true;
  EXPECT_TRUE(KvbString("No").toBool(b));
  EXPECT_FALSE(b);
  EXPECT_FALSE(KvbString("maybe").toBool(b));
}

// A NUL byte ends the text for the C library; the conversions read past it
// and find garbage, so "12<NUL>34" is no 12.
TEST(KvbString, NumberWithANulInsideIsNoNumber) {
  const KvbString withNul(std::string("12") + '\0' + "34");
  int i = 7;
  int64_t big = 7;
  double d = 7;
  EXPECT_FALSE(withNul.toInt(i));
  EXPECT_FALSE(withNul.toInt64(big));
  EXPECT_FALSE(withNul.toDouble(d));
  EXPECT_FALSE(KvbString(std::string("1.5") + '\0').toDouble(d));
  EXPECT_EQ(i + big + d, 21) << "a failed conversion leaves the output alone";
}

TEST(KvbString, TruncatesOnCharacterBoundary) {
  KvbString s("ab\xC3\xA9");  // "abé": é is two bytes
  EXPECT_EQ(KvbString(s).truncateUtf8(3), KvbString("ab"));
  EXPECT_EQ(KvbString(s).truncateUtf8(4), s);
  KvbString euro("\xE2\x82\xAC\xE2\x82\xAC");  // two three-byte characters
  EXPECT_EQ(KvbString(euro).truncateUtf8(5).length(), 3u);
}

TEST(KvbString, DoubleTextReadsBack) {
  for (double v : {0.1, 1.0 / 3.0, 20000.5, -1e-300, 46000.123456789}) {
    double back = 0;
    ASSERT_TRUE(KvbString::fromDouble(v).toDouble(back));
    EXPECT_EQ(back, v);
  }
  EXPECT_EQ(KvbString::fromDouble(2.5), KvbString("2.5"));
}

TEST(KvbStringFormat, TakesKvbStringForCapitalS) {
  KvbString table("\"FOLDER\"");
  KvbString null;
  EXPECT_EQ(kvbStringFormat("SELECT %s FROM %S WHERE ID=%d", "*", table, 5),
            KvbString("SELECT * FROM \"FOLDER\" WHERE ID=5"));
  EXPECT_EQ(kvbStringFormat("[%S]", null), KvbString("[]"));
  EXPECT_EQ(kvbStringFormat("100%% of %-4S|", KvbString("ab")),
            KvbString("100% of ab  |"));
  std::string longText(5000, 'x');
  EXPECT_EQ(kvbStringFormat("%s", longText.c_str()).length(), 5000u)
      << "no fixed-size buffer";
}

TEST(KvbType, NamesRoundTrip) {
  for (int t :
       {kvbTypeInt, kvbTypeReal, kvbTypeString, kvbTypeInt64, kvbTypeDate})
    EXPECT_EQ(kvbTypeFromString(kvbTypeToString(t)), t);
  EXPECT_EQ(kvbTypeFromString("TEXT"), kvbTypeString);
  EXPECT_EQ(kvbTypeFromString("blob"), kvbTypeUnknown);
  EXPECT_EQ(kvbTypeFromString(nullptr), kvbTypeUnknown);
  EXPECT_STREQ(kvbTypeToString(kvbTypeUnknown), "unknown");
  EXPECT_STREQ(kvbTypeToString(99), "unknown");
}

TEST(KvbDatavar, TypedValuesAndNulls) {
  KvbDatavar i(42), l(int64_t{1} << 40), r(2.5), t("text"), n;
  EXPECT_EQ(i.getType(), kvbTypeInt);
  EXPECT_EQ(l.getType(), kvbTypeInt64);
  EXPECT_EQ(r.getType(), kvbTypeReal);
  EXPECT_EQ(t.getType(), kvbTypeString);
  EXPECT_TRUE(n.isNull());
  KvbDatavar typedNull = KvbDatavar::nullOf(kvbTypeInt);
  EXPECT_TRUE(typedNull.isNull());
  EXPECT_EQ(typedNull.getType(), kvbTypeInt);
  EXPECT_TRUE(KvbDatavar(KvbString()).isNull());
  EXPECT_TRUE(KvbDatavar(KvbDate()).isNull());
  EXPECT_EQ(KvbDatavar(KvbDate()).getType(), kvbTypeDate);
  EXPECT_TRUE(typedNull.asString().isNull());
}

TEST(KvbDatavar, ConversionsSetErrorFlag) {
  bool error = false;
  EXPECT_EQ(KvbDatavar(" 17 ").asInt(&error), 17);
  EXPECT_FALSE(error);
  EXPECT_EQ(KvbDatavar("seventeen").asInt(&error), 0);
  EXPECT_TRUE(error);
  KvbDatavar::nullOf(kvbTypeInt).asInt(&error);
  EXPECT_TRUE(error) << "a null does not convert";
  KvbDatavar(int64_t{1} << 40).asInt(&error);
  EXPECT_TRUE(error) << "64-bit value out of int range";
  KvbDatavar(1e300).asInt64(&error);
  EXPECT_TRUE(error) << "real out of integer range";
  EXPECT_EQ(KvbDatavar(int64_t{1} << 40).asInt64(&error), int64_t{1} << 40);
  EXPECT_FALSE(error);

  EXPECT_FALSE(KvbDatavar("false").asBool(&error));
  EXPECT_FALSE(error);
  EXPECT_TRUE(KvbDatavar("YES").asBool(&error));
  EXPECT_FALSE(error);
  EXPECT_FALSE(KvbDatavar("perhaps").asBool(&error));
  EXPECT_TRUE(error);
  EXPECT_TRUE(KvbDatavar(3).asBool(&error));
  EXPECT_FALSE(error);

  EXPECT_EQ(KvbDatavar(12).asString(), KvbString("12"));
  EXPECT_EQ(KvbDatavar(0.1).asString(), KvbString("0.1"));
}

TEST(KvbDatavar, ConvertToInPlace) {
  KvbDatavar v("123");
  ASSERT_TRUE(v.convertTo(kvbTypeInt));
  EXPECT_EQ(v, KvbDatavar(123));
  ASSERT_TRUE(v.convertTo(kvbTypeString));
  EXPECT_EQ(v, KvbDatavar("123"));
  KvbDatavar bad("12abc");
  EXPECT_FALSE(bad.convertTo(kvbTypeReal));
  EXPECT_EQ(bad, KvbDatavar("12abc")) << "failed conversion leaves the value";
  KvbDatavar n = KvbDatavar::nullOf(kvbTypeString);
  ASSERT_TRUE(n.convertTo(kvbTypeDate));
  EXPECT_TRUE(n.isNull());
  EXPECT_EQ(n.getType(), kvbTypeDate);

  KvbDatavar big("1099511627776");  // 2^40
  ASSERT_TRUE(big.convertTo(kvbTypeInt64));
  EXPECT_EQ(big, KvbDatavar(int64_t{1} << 40));
  KvbDatavar day("20000.5");
  ASSERT_TRUE(day.convertTo(kvbTypeDate));
  EXPECT_EQ(day, KvbDatavar(KvbDate(20000.5)));
  KvbDatavar notDay("noon");
  EXPECT_FALSE(notDay.convertTo(kvbTypeDate));
  EXPECT_EQ(notDay, KvbDatavar("noon"));
  EXPECT_FALSE(day.convertTo(kvbTypeUnknown));
  EXPECT_EQ(day.getType(), kvbTypeDate);
}

// A value reused from row to row takes each new kind whole: a number
// after a text leaves no text behind.
TEST(KvbDatavar, SettersInPlaceReplaceTheWholeValue) {
  KvbDatavar v;
  v.setText("twenty characters..", 19);
  v.setInt(5);
  EXPECT_STREQ(v.textData(), "");
  EXPECT_EQ(v, KvbDatavar(5));
  v.setText("abc", 3);
  EXPECT_EQ(v, KvbDatavar("abc"));
  v.setNull(kvbTypeReal);
  EXPECT_EQ(v, KvbDatavar::nullOf(kvbTypeReal));
  EXPECT_STREQ(v.textData(), "");
}

TEST(KvbDate, EncodingAndRoundTrip) {
  EXPECT_EQ(KvbDate::fromCivil(1970, 1, 1).asDouble(), 0.0);
  EXPECT_EQ(KvbDate::fromCivil(2000, 3, 1).asDouble(), 11017.0);
  EXPECT_DOUBLE_EQ(KvbDate::fromCivil(1970, 1, 2, 12).asDouble(), 1.5);
  KvbDate now = KvbDate::currentDate();
  EXPECT_FALSE(now.isNull());
  EXPECT_GT(now.asDouble(), KvbDate::fromCivil(2020, 1, 1).asDouble());
  // Stored as a real and read back through its text, a date is unchanged.
  KvbDatavar stored(now);
  double back = 0;
  ASSERT_TRUE(stored.asString().toDouble(back));
  EXPECT_EQ(back, now.asDouble());
  EXPECT_TRUE(KvbDate().isNull());
  EXPECT_TRUE(KvbReal().isNull());
  EXPECT_EQ(KvbReal(1.25).asDouble(), 1.25);
}

TEST(KvbMessage, CatalogueAndUnknownIds) {
  KvbString known =
      kvb_get_message(__FILE__, __LINE__, "Repository Library", 1161);
  EXPECT_FALSE(known.isEmpty());
  EXPECT_EQ(known.find("message 1161"), KvbString::npos);
  KvbString unknown =
      kvb_get_message(__FILE__, __LINE__, "No Such Catalogue", 77);
  EXPECT_NE(unknown.find("No Such Catalogue"), KvbString::npos);
  EXPECT_NE(unknown.find("77"), KvbString::npos);
}

TEST(KvbConfig, GroupsAreSeparateStores) {
  KvbConfigOptions* def = kvbGetConfigOptions("");
  KvbConfigOptions* repo = kvbGetConfigOptions("REPOSITORY");
  ASSERT_NE(def, nullptr);
  ASSERT_NE(repo, nullptr);
  EXPECT_EQ(def, kvbGetConfigOptions(nullptr));
  repo->set("POOL_ID", "pool-1");
  KvbString value;
  EXPECT_TRUE(repo->get("POOL_ID", value));
  EXPECT_EQ(value, KvbString("pool-1"));
  EXPECT_FALSE(def->get("POOL_ID", value));
  repo->set("POOL_ID", "");
  EXPECT_TRUE(repo->get("POOL_ID", value)) << "an empty value is still set";
  repo->remove("POOL_ID");
  EXPECT_FALSE(repo->get("POOL_ID", value));
}

TEST(KvbConfig, GroupAndSlashFormsNameTheSameOption) {
  KvbConfigOptions* def = kvbGetConfigOptions("");
  KvbConfigOptions* group = kvbGetConfigOptions("KVBTEST");
  KvbString value;
  group->set("A", "1");
  EXPECT_TRUE(def->get("KVBTEST/A", value));
  EXPECT_EQ(value.str(), "1");
  def->set("KVBTEST/B", "2");
  EXPECT_TRUE(group->get("B", value));
  EXPECT_EQ(value.str(), "2");
  def->remove("KVBTEST/A");
  EXPECT_FALSE(group->get("A", value));
  group->remove("B");
  EXPECT_FALSE(def->get("KVBTEST/B", value));

  // A group's clear leaves other groups, also one whose name it begins.
  group->set("C", "3");
  def->set("KVBTESTX/D", "4");
  group->clear();
  EXPECT_FALSE(def->get("KVBTEST/C", value));
  EXPECT_TRUE(kvbGetConfigOptions("KVBTESTX")->get("D", value));
  def->remove("KVBTESTX/D");
}

TEST(KvbConfig, BooleanOptionWarnsAboutTextThatIsNotABoolean) {
  LogCapture log;
  KvbConfigOptions* def = kvbGetConfigOptions("");
  KvbConfigOptions* group = kvbGetConfigOptions("KVBTEST");
  EXPECT_TRUE(def->getBool("KVBTEST/FLAG", true));
  EXPECT_FALSE(group->getBool("FLAG", false));
  def->set("KVBTEST/FLAG", "");
  EXPECT_TRUE(group->getBool("FLAG", true)) << "an empty value is unset";
  EXPECT_TRUE(log.records().empty()) << "neither is a fault";

  def->set("KVBTEST/FLAG", " Off ");
  EXPECT_FALSE(group->getBool("FLAG", true));
  group->set("FLAG", "ture");
  EXPECT_TRUE(def->getBool("KVBTEST/FLAG", true));
  EXPECT_FALSE(group->getBool("FLAG", false));
  def->remove("KVBTEST/FLAG");
  const std::vector<CapturedLog> records = log.records();
  ASSERT_EQ(records.size(), 1u) << "a value is warned about once, in either "
                                   "form of its name";
  for (const CapturedLog& r : records) {
    EXPECT_EQ(r.level, 4);
    EXPECT_EQ(r.logger, "KV.Base.Config");
    EXPECT_NE(r.text.find("\"KVBTEST/FLAG\""), std::string::npos) << r.text;
    EXPECT_NE(r.text.find("\"ture\""), std::string::npos) << r.text;
  }
}

TEST(KvbConfig, CountOptionWarnsOnceAboutEachValueThatIsNotACount) {
  LogCapture log;
  KvbConfigOptions* def = kvbGetConfigOptions("");
  KvbConfigOptions* group = kvbGetConfigOptions("KVBTEST");
  EXPECT_EQ(group->getCount("WAIT", 7), 7);
  group->set("WAIT", " ");
  EXPECT_EQ(group->getCount("WAIT", 7), 7) << "a blank value is unset";
  group->set("WAIT", " 250 ");
  EXPECT_EQ(def->getCount("KVBTEST/WAIT", 7), 250);
  group->set("WAIT", "0");
  EXPECT_EQ(group->getCount("WAIT", 7), 0);
  EXPECT_TRUE(log.records().empty()) << "none is a fault";

  std::vector<std::string> expected;
  for (const char* bad : {"soon", "-3", "2147483648", "12ms"}) {
    group->set("WAIT", bad);
    for (int read = 0; read < 3; ++read)  // as at each connection open
      EXPECT_EQ(def->getCount("KVBTEST/WAIT", 7), 7) << bad;
    group->set("WAIT", bad);  // the same value once more
    EXPECT_EQ(group->getCount("WAIT", 7), 7) << bad;
    expected.push_back(
        std::string("The configuration option \"KVBTEST/WAIT\" has the "
                    "value \"") +
        bad + "\", which is not a whole number from 0 to 2147483647; 7 is used");
  }
  group->remove("WAIT");
  EXPECT_EQ(log.texts("KV.Base.Config"), expected);
}

TEST(KvbConfig, FileLinesTheEngineCannotUseAreEachWarnedAbout) {
  const kvb_detail::ConfigFile file = kvb_detail::parseConfigText(
      "[REPOS]\n"
      "TABLE_LIST_PTH = /srv/sets\n"  // 2: misspelled
      "[MYHOST]\n"
      "TABLE_LIST_PTH=/srv/host\n"  // 4: a host's own key
      "broken line\n"
      "[]\n"
      "= orphan\n"
      "SQLITE/BUSY_TIMOUT=10\n"       // 8: misspelled, in the slash form
      "BASE/WORKDESK=true\n"          // 9: older, left alone
      "BASE/REPOS_FREQ_CACHE_MX=5\n"  // 10: misspelled
      "BASE/HOST_OPTION=1\n"          // 11: not the engine's
      "[REPOSITORY]\n"
      "POOL_ID=p\n"
      "POOL=p\n"
      "[BASE\n" +
          std::string(100, 'x') + "\n",
      "/etc/kv.cfg");
  const std::string at = "The configuration file \"/etc/kv.cfg\", line ";
  const std::string unknown =
      "\", which is not an option of the engine; it has no effect";
  const std::string neither =
      ", which is neither \"[GROUP]\" nor \"KEY=VALUE\"; it is ignored";
  EXPECT_EQ(file.warnings,
            (std::vector<std::string>{
                at + "2, sets \"REPOS/TABLE_LIST_PTH" + unknown,
                at + "5, holds \"broken line\"" + neither,
                at + "7, holds \"= orphan\"" + neither,
                at + "8, sets \"SQLITE/BUSY_TIMOUT" + unknown,
                at + "10, sets \"BASE/REPOS_FREQ_CACHE_MX" + unknown,
                at + "14, sets \"REPOSITORY/POOL" + unknown,
                at + "15, holds \"[BASE\"" + neither,
                at + "16, holds \"" + std::string(80, 'x') + "...\"" +
                    neither}));
  // A key the engine does not read is still an option that a host may read.
  std::string options;
  for (const kvb_detail::ConfigLine& line : file.lines)
    options += std::to_string(line.line) + " " + line.key.str() + "=" +
               line.value.str() + ";";
  EXPECT_EQ(options,
            "2 REPOS/TABLE_LIST_PTH=/srv/sets;4 MYHOST/TABLE_LIST_PTH=/srv/host;"
            "8 SQLITE/BUSY_TIMOUT=10;9 BASE/WORKDESK=true;"
            "10 BASE/REPOS_FREQ_CACHE_MX=5;11 BASE/HOST_OPTION=1;"
            "13 REPOSITORY/POOL_ID=p;14 REPOSITORY/POOL=p;");
}

// The engine's own options match in any case, in code and in a file; a
// near miss in any case is still warned about, and a host's own names keep
// their exact case.
TEST(KvbConfig, EngineOptionNamesMatchWithoutRegardToCase) {
  KvbConfigOptions* def = kvbGetConfigOptions("");
  KvbConfigOptions* sqlite = kvbGetConfigOptions("sqlite");
  sqlite->set("busy_timeout", "100");
  EXPECT_EQ(def->getCount("SQLITE/BUSY_TIMEOUT", 5000), 100);
  EXPECT_EQ(kvbGetConfigOptions("SQLITE")->getCount("Busy_Timeout", 5000), 100);
  sqlite->clear();
  KvbString value;
  EXPECT_FALSE(def->get("SQLITE/BUSY_TIMEOUT", value));
  kvbGetConfigOptions("KVBTEST")->set("a", "1");
  EXPECT_FALSE(def->get("KVBTEST/A", value)) << "a host's names keep case";
  def->remove("KVBTEST/a");

  const kvb_detail::ConfigFile file = kvb_detail::parseConfigText(
      "[sqlite]\nbusy_timeout=100\nbusy_timout=1\n"
      "[Base]\nrepos_freq_cache_max=5\nworkdesk=true\n",
      "/etc/kv.cfg");
  std::string options;
  for (const kvb_detail::ConfigLine& line : file.lines)
    options += line.key.str() + ";";
  EXPECT_EQ(options,
            "SQLITE/BUSY_TIMEOUT;sqlite/busy_timout;"
            "BASE/REPOS_FREQ_CACHE_MAX;Base/workdesk;");
  EXPECT_EQ(file.warnings,
            std::vector<std::string>{
                "The configuration file \"/etc/kv.cfg\", line 3, sets "
                "\"sqlite/busy_timout\", which is not an option of the "
                "engine; it has no effect"});
}

// A long value or key is quoted as a bad line is: its first 80 bytes, cut
// on a character boundary, then "...". A NUL byte, which would end the
// record, is shown.
TEST(KvbConfig, WarningsCutAndShowWhatTheyQuote) {
  LogCapture log;
  KvbConfigOptions* group = kvbGetConfigOptions("KVBTEST");
  std::string euros;  // 26 three-byte characters fill 78 of the 80 bytes
  for (int i = 0; i < 300; ++i) euros += "\xE2\x82\xAC";
  group->set("WAIT", euros);
  EXPECT_EQ(group->getCount("WAIT", 7), 7);
  group->set("WAIT", std::string("12") + '\0' + "34");
  EXPECT_EQ(group->getCount("WAIT", 7), 7);
  const std::string huge(1000, 'k');
  group->set(huge.c_str(), "x");
  EXPECT_FALSE(group->getBool(huge.c_str(), false));
  group->clear();
  const std::string notCount =
      ", which is not a whole number from 0 to 2147483647; 7 is used";
  EXPECT_EQ(log.texts("KV.Base.Config"),
            (std::vector<std::string>{
                "The configuration option \"KVBTEST/WAIT\" has the value \"" +
                    euros.substr(0, 78) + "...\"" + notCount,
                "The configuration option \"KVBTEST/WAIT\" has the value "
                "\"12<NUL>34\"" + notCount,
                "The configuration option \"KVBTEST/" + huge.substr(0, 72) +
                    "...\" has the value \"x\", which is not a boolean; false "
                    "is used"}));

  const kvb_detail::ConfigFile file =
      kvb_detail::parseConfigText("SQLITE/" + huge + "=1\n", "/etc/kv.cfg");
  EXPECT_EQ(file.warnings,
            std::vector<std::string>{
                "The configuration file \"/etc/kv.cfg\", line 1, sets "
                "\"SQLITE/" +
                huge.substr(0, 73) +
                "...\", which is not an option of the engine; it has no "
                "effect"});
}

// The store reads KV_CONFIG_FILE once, at its first use in a process, so the
// check runs this test binary again in a fresh process, where the test below
// does the reading.
TEST(KvbConfig, ChildReadsFileNamedByEnvironment) {
  const char* path = getenv("KV_CONFIG_FILE");
  if (!path || !getenv("KV_CONFIG_CHILD"))
    GTEST_SKIP() << "run by the next test";
  KvbString a, b, c;
  EXPECT_TRUE(kvbGetConfigOptions("")->get("BASE/WORKDESK", a));
  EXPECT_EQ(a, KvbString("true"));
  EXPECT_TRUE(kvbGetConfigOptions("REPOSITORY")->get("POOL_ID", b));
  EXPECT_EQ(b, KvbString("shared"));
  EXPECT_FALSE(kvbGetConfigOptions("")->get("POOL_ID", c));
  // Each option reads in both forms, whichever form the file wrote.
  EXPECT_TRUE(kvbGetConfigOptions("BASE")->get("WORKDESK", a));
  EXPECT_EQ(a, KvbString("true"));
  EXPECT_TRUE(kvbGetConfigOptions("")->get("REPOSITORY/POOL_ID", b));
  EXPECT_EQ(b, KvbString("shared"));
  EXPECT_TRUE(kvbGetConfigOptions("")->get("REPOS/TABLE_LIST_PATH", c));
  EXPECT_EQ(c, KvbString("/srv/sets"));
}

// Runs the test `name` of this binary in a fresh process whose
// KV_CONFIG_FILE is `path`; true when it passed.
static bool passesInChild(const char* name, const std::string& path) {
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    setenv("KV_CONFIG_FILE", path.c_str(), 1);
    setenv("KV_CONFIG_CHILD", "1", 1);
    const std::string filter = std::string("--gtest_filter=KvbConfig.") + name;
    execl("/proc/self/exe", "kvplatform_tests", filter.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The path of the test file `name`, which now holds `text`.
static std::string configFile(const char* name, const std::string& text) {
  const char* base = getenv("KV_TEST_TMPDIR");
  mkdir(base ? base : "/tmp", 0755);
  const std::string path = std::string(base ? base : "/tmp") + "/" + name;
  std::ofstream(path) << text;
  return path;
}

TEST(KvbConfig, LoadsFileNamedByEnvironmentAtFirstUse) {
  if (getenv("KV_CONFIG_CHILD")) GTEST_SKIP();
  const std::string path =
      configFile("kvbase_config.cfg",
                 "# comment\nBASE/WORKDESK = true\n"
                 "[REPOSITORY]\nPOOL_ID=shared\nbroken line\n"
                 "[ REPOS ]\nTABLE_LIST_PATH = /srv/sets\n");
  EXPECT_TRUE(passesInChild("ChildReadsFileNamedByEnvironment", path));
}

TEST(KvbConfig, ChildWarnsOnceOfEachFaultOfItsFile) {
  const char* path = getenv("KV_CONFIG_FILE");
  if (!path || !getenv("KV_CONFIG_CHILD"))
    GTEST_SKIP() << "run by the next test but one";
  LogCapture log;
  for (int open = 0; open < 3; ++open)
    EXPECT_EQ(kvbGetConfigOptions("SQLITE")->getCount("BUSY_TIMEOUT", 5000),
              5000);
  KvbString value;
  EXPECT_TRUE(kvbGetConfigOptions("MYHOST")->get("TABLE_LIST_PTH", value));
  const std::string at =
      std::string("The configuration file \"") + path + "\", line ";
  EXPECT_EQ(log.texts("KV.Base.Config"),
            (std::vector<std::string>{
                at + "2, sets \"REPOS/TABLE_LIST_PTH\", which is not an "
                     "option of the engine; it has no effect",
                at + "5, holds \"broken line\", which is neither "
                     "\"[GROUP]\" nor \"KEY=VALUE\"; it is ignored",
                at + "7, sets \"SQLITE/BUSY_TIMEOUT\" to \"soon\", which is "
                     "not a whole number from 0 to 2147483647; 5000 is used"}));
}

TEST(KvbConfig, ChildSaysNothingOfACleanFile) {
  if (!getenv("KV_CONFIG_FILE") || !getenv("KV_CONFIG_CHILD"))
    GTEST_SKIP() << "run by the next test";
  LogCapture log;
  EXPECT_EQ(kvbGetConfigOptions("SQLITE")->getCount("BUSY_TIMEOUT", 5000),
            10000);
  EXPECT_EQ(kvbGetConfigOptions("")->getCount("BASE/REPOS_FREQ_CACHE_MAX", 0),
            100);
  EXPECT_FALSE(kvbGetConfigOptions("REPOS")->getBool("FORCE_FILE_BASED", true));
  EXPECT_EQ(log.texts("KV.Base.Config"), std::vector<std::string>{});
}

TEST(KvbConfig, FileFaultsAreWarnedAboutAndACleanFileIsNot) {
  if (getenv("KV_CONFIG_CHILD")) GTEST_SKIP();
  EXPECT_TRUE(passesInChild(
      "ChildWarnsOnceOfEachFaultOfItsFile",
      configFile("kvbase_faulty.cfg",
                 "[REPOS]\nTABLE_LIST_PTH=/srv/sets\n"
                 "[MYHOST]\nTABLE_LIST_PTH=/srv/host\nbroken line\n"
                 "[SQLITE]\nBUSY_TIMEOUT=soon\n")));
  EXPECT_TRUE(passesInChild(
      "ChildSaysNothingOfACleanFile",
      configFile("kvbase_clean.cfg",
                 "# every option of the engine, and a host's\n\n"
                 "[REPOS]\r\nTABLE_LIST_PATH=/srv/sets\r\n"
                 "FORCE_FILE_BASED=false\nCREATE_SPEC_PATH=/srv/spec.txt\n"
                 "[SQLITE]\nBUSY_TIMEOUT=10000\n"
                 "[BASE]\nREPOS_DDL_LINE_PREFIX=--\nREPOS_DDL_LINE_SUFFIX=;\n"
                 "REPOS_FREQ_CACHE_MAX=100\nWORKDESK=true\n"
                 "[REPOSITORY]\nPOOL_ID=shared\n"
                 "[]\nKVEXEC_HOME=/opt/kv\nSRC_DIR=/srv\n  # indented\n"
                 "[MYHOST]\nANY=thing at all\n")));
}

TEST(KvbConfig, ChildCutsAndShowsTheValuesItQuotes) {
  const char* path = getenv("KV_CONFIG_FILE");
  if (!path || !getenv("KV_CONFIG_CHILD"))
    GTEST_SKIP() << "run by the next test";
  LogCapture log;
  EXPECT_EQ(kvbGetConfigOptions("SQLITE")->getCount("BUSY_TIMEOUT", 5000),
            5000);
  EXPECT_EQ(kvbGetConfigOptions("KVBTEST")->getCount("WAIT", 7), 7);
  const std::string at =
      std::string("The configuration file \"") + path + "\", line ";
  const std::string notCount =
      "\", which is not a whole number from 0 to 2147483647; ";
  EXPECT_EQ(log.texts("KV.Base.Config"),
            (std::vector<std::string>{
                at + "2, sets \"SQLITE/BUSY_TIMEOUT\" to \"" +
                    std::string(80, 'x') + "..." + notCount + "5000 is used",
                at + "4, sets \"KVBTEST/WAIT\" to \"12<NUL>34" + notCount +
                    "7 is used"}));
}

// A value read from the file is quoted in its warning as one set in code
// is: cut to its first 80 bytes, and with a NUL byte shown.
TEST(KvbConfig, FileValuesAreQuotedCutAndWithTheirNulBytesShown) {
  if (getenv("KV_CONFIG_CHILD")) GTEST_SKIP();
  EXPECT_TRUE(passesInChild(
      "ChildCutsAndShowsTheValuesItQuotes",
      configFile("kvbase_quoted.cfg",
                 "[SQLITE]\nBUSY_TIMEOUT=" + std::string(200, 'x') +
                     "\n[KVBTEST]\nWAIT=12" + std::string(1, '\0') + "34\n")));
}

TEST(KvbConfig, ChildReadsTheBusyTimeoutSilently) {
  if (!getenv("KV_CONFIG_FILE") || !getenv("KV_CONFIG_CHILD"))
    GTEST_SKIP() << "run by the next test";
  LogCapture log;
  EXPECT_EQ(sqliteBusyTimeoutMs(), 3456);
  EXPECT_EQ(log.texts("KV.Base.Config"), std::vector<std::string>{});
}

// Editors may begin a UTF-8 file with a byte-order mark; the first line,
// an option or a group, is read as written after it.
TEST(KvbConfig, FileWithAByteOrderMarkOrOtherCaseSetsTheEnginesOptions) {
  if (getenv("KV_CONFIG_CHILD")) GTEST_SKIP();
  for (const char* text :
       {"\xEF\xBB\xBFSQLITE/BUSY_TIMEOUT=3456\n",
        "\xEF\xBB\xBF[SQLITE]\nBUSY_TIMEOUT=3456\n",
        "[Sqlite]\nbusy_timeout=3456\n"})
    EXPECT_TRUE(passesInChild("ChildReadsTheBusyTimeoutSilently",
                              configFile("kvbase_bom.cfg", text)))
        << text;
}

TEST(KvbConfig, ChildWarnsOnceOfAFileItCannotRead) {
  const char* path = getenv("KV_CONFIG_FILE");
  if (!path || !getenv("KV_CONFIG_CHILD"))
    GTEST_SKIP() << "run by the next test";
  std::vector<std::string> warnings;
  kvlogSetSink([&](const KvLogRecord& record) {
    if (record.level == 4) warnings.push_back(record.text);
  });
  KvbString value;
  EXPECT_FALSE(kvbGetConfigOptions("")->get("BASE/WORKDESK", value));
  EXPECT_FALSE(kvbGetConfigOptions("BASE")->get("WORKDESK", value));
  kvlogSetSink({});
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(std::string("\"") + path + "\""),
            std::string::npos)
      << warnings[0];
}

TEST(KvbConfig, FileNamedByEnvironmentThatCannotBeReadIsAWarning) {
  if (getenv("KV_CONFIG_CHILD")) GTEST_SKIP();
  EXPECT_TRUE(passesInChild("ChildWarnsOnceOfAFileItCannotRead",
                            "/nonexistent/kv-config.cfg"));
}

TEST(KvbHelpers, UuidsAreWellFormedAndDistinct) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    KvbString id = kvbGetUUID();
    ASSERT_EQ(id.length(), 36u);
    EXPECT_EQ(id.str()[8], '-');
    seen.insert(id.str());
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(KvbHelpers, PathsJoinAndSplit) {
  EXPECT_EQ(kvbConcatPath("etc", "reposcreate"), KvbString("etc/reposcreate"));
  EXPECT_EQ(kvbConcatPath("etc/", "/x"), KvbString("etc/x"));
  EXPECT_EQ(kvbConcatPath("", "x"), KvbString("x"));
  KvbString folder, name;
  kvbParsePath("/data/jobs/run.sas", &folder, &name);
  EXPECT_EQ(folder, KvbString("/data/jobs"));
  EXPECT_EQ(name, KvbString("run.sas"));
  kvbParsePath("plain", &folder, &name);
  EXPECT_TRUE(folder.isNull());
  EXPECT_EQ(name, KvbString("plain"));
  kvbParsePath("/top/", &folder, &name);
  EXPECT_TRUE(name.isNull());
}

TEST(KvbHelpers, DirectoryListsMatchingFilesInOrder) {
  const char* base = getenv("KV_TEST_TMPDIR");
  std::string dir = std::string(base ? base : "/tmp") + "/kvbase_dir_test";
  mkdir((base ? base : "/tmp"), 0755);
  mkdir(dir.c_str(), 0755);
  for (const char* f : {"b.xml", "a.xml", "c.txt"})
    std::ofstream(dir + "/" + f) << "x";
  mkdir((dir + "/sub.xml").c_str(), 0755);
  KvbDirectory* listing = kvbDirectoryOpen(dir.c_str(), "*.xml");
  ASSERT_NE(listing, nullptr);
  std::string names;
  KvbString name;
  while (listing->next(name)) names += name.str() + ";";
  listing->release();
  EXPECT_EQ(names, "a.xml;b.xml;");
  EXPECT_EQ(kvbDirectoryOpen((dir + "/missing").c_str(), "*"), nullptr);
}

TEST(KvbHelpers, ReposUriEncodesComponents) {
  KvReposURI* uri = getReposURIFromComponents("", "Jobs/My job", "ProfileJob");
  ASSERT_NE(uri, nullptr);
  EXPECT_EQ(uri->getText(),
            KvbString("repos:///Jobs/My%20job?type=ProfileJob"));
  uri->release();
  EXPECT_EQ(getReposURIFromComponents("", "", "Task"), nullptr);
}

}  // namespace
