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
  EXPECT_FALSE(KvbString("nan").toDouble(d));
  bool b = true;
  EXPECT_TRUE(KvbString("No").toBool(b));
  EXPECT_FALSE(b);
  EXPECT_FALSE(KvbString("maybe").toBool(b));
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
  ASSERT_EQ(records.size(), 2u);
  for (const CapturedLog& r : records) {
    EXPECT_EQ(r.level, 4);
    EXPECT_EQ(r.logger, "KV.Base.Config");
    EXPECT_NE(r.text.find("\"KVBTEST/FLAG\""), std::string::npos) << r.text;
    EXPECT_NE(r.text.find("\"ture\""), std::string::npos) << r.text;
  }
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

TEST(KvbConfig, LoadsFileNamedByEnvironmentAtFirstUse) {
  if (getenv("KV_CONFIG_CHILD")) GTEST_SKIP();
  const char* base = getenv("KV_TEST_TMPDIR");
  std::string path = std::string(base ? base : "/tmp") + "/kvbase_config.cfg";
  mkdir(base ? base : "/tmp", 0755);
  std::ofstream(path) << "# comment\nBASE/WORKDESK = true\n"
                         "[REPOSITORY]\nPOOL_ID=shared\nbroken line\n"
                         "[ REPOS ]\nTABLE_LIST_PATH = /srv/sets\n";
  EXPECT_TRUE(passesInChild("ChildReadsFileNamedByEnvironment", path));
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
