// Numbers through the export and import of hosts that set a comma locale
// (de_DE.UTF-8) for their process or thread: every value a store keeps
// comes back bit for bit from a SQLite file into each back end and back,
// whichever side sets the locale; a number that cannot be read refuses its
// object; the script mode writes numbers in the C form.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "support/admin_targets.h"
#include "support/host_locale.h"
#include "support/impexp_side.h"
#include "reposadmin/profile_data_access.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// A threshold's seven band starts, its seven ends and its member's weight:
// a comma locale's decimal, 16 and 17 digits, the largest, infinite and
// subnormal values.
const double kNumbers[15] = {1.5,
                             1.0 / 3,
                             DBL_MAX,
                             1e-310,
                             kInf,
                             0.1 + 0.2,
                             0x1p53,
                             -1.5,
                             -DBL_MAX,
                             -kInf,
                             12345.123456789,
                             2.25,
                             1e300,
                             std::numeric_limits<double>::denorm_min(),
                             2.0 / 3};

// No locale (C), the process's comma locale, the thread's.
std::unique_ptr<HostLocale> hostLocale(int host) {
  return host ? std::make_unique<HostLocale>(host == 2) : nullptr;
}

struct Side : ImpExpSide {
  // The band starts and ends of the threshold of `uuid`, then the weight
  // of the task member that holds it.
  std::vector<double> numbers(const std::string& uuid) {
    std::vector<double> out;
    ReposDataAccessCursor* found = monitor->findThreshold(-1, "", uuid.c_str());
    if (!found || found->next() != 1) return out;
    for (const char* field : {"START_", "END_"})
      for (int band = 0; band < 7; ++band)
        out.push_back(found->getDouble(
            found->getColumnIndex(field + std::to_string(band))));
    ReposDataAccess* rda = repos->getDataAccess();
    ReposDataAccessCursor* member = rda->paramSelect(
        "SELECT WGHT FROM " + rda->getTableName("JBRUME", true, -1).str() +
            " WHERE THR_ID = " +
            found->getString(found->getColumnIndex("THR_ID")).str(),
        0);
    found->release();
    if (member && member->next() == 1) out.push_back(member->getDouble(0));
    if (member) member->release();
    return out;
  }
  // The real of `column` in the first row of the table of `code` that
  // `where` selects; NaN when there is none.
  double real(const char* code, const char* column, const std::string& where) {
    ReposDataAccess* rda = repos->getDataAccess();
    ReposDataAccessCursor* row = rda->paramSelect(
        std::string("SELECT ") + column + " FROM " +
            rda->getTableName(code, true, -1).str() + " WHERE " + where,
        0);
    double out = std::numeric_limits<double>::quiet_NaN();
    if (row && row->next() == 1) out = row->getDouble(0);
    if (row) row->release();
    return out;
  }
};

// `text` with the value of its first `key` replaced by `value`.
std::string withValue(std::string text, const char* key, const char* value) {
  const size_t at =
      text.find(std::string("\"") + key + "\">") + std::strlen(key) + 3;
  return text.replace(at, text.find('<', at) - at, value);
}

class NumberLocaleTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    from_.open(fileRepository("source.db"));
    target_ = newDatabase();
    ASSERT_TRUE(create(target_)) << error();
    to_.open(open(target_));
  }

  RepositoryImpl* fileRepository(const std::string& name) {
    const std::string file = dir_.file(name);
    EXPECT_TRUE(admin_->createFileRepository(file.c_str())) << error();
    return static_cast<RepositoryImpl*>(
        admin_->openFileRepository(file.c_str(), false));
  }

  // The task "K<tag>" in the source, whose member holds the threshold
  // "u-t<tag>" of kNumbers (and the rule "u-r<tag>"); answers its export in
  // the locale `host`, with the ids of the task and the rule.
  std::string exportTask(const std::string& tag, int host = 0,
                         int* id = nullptr, int* ruleId = nullptr) {
    const int rule =
        from_.common->addRule(("R" + tag).c_str(), "T", "x", "", "", "me",
                              ("u-r" + tag).c_str(), 0, "", "");
    const KvbString names[7] = {"a", "b", "c", "d", "e", "f", "g"};
    const int colors[7] = {1, 2, 3, 4, 5, 6, 7};
    int threshold = -1, task = -1;
    EXPECT_TRUE(from_.monitor->addThreshold(
        ("T" + tag).c_str(), "", "me", ("u-t" + tag).c_str(), 0, 7, names,
        kNumbers, kNumbers + 7, colors, &threshold));
    EXPECT_TRUE(from_.monitor->addTask(
        ("K" + tag).c_str(), ("u-k" + tag).c_str(), "me", 0, "", "", &task));
    EXPECT_TRUE(from_.monitor->addTaskRuleMember(task, rule, -1, threshold,
                                                 kNumbers[14]));
    if (id) *id = task;
    if (ruleId) *ruleId = rule;
    const auto locale = hostLocale(host);
    KvbString text, error;
    EXPECT_TRUE(from_.manager->exportObject(task, "Task", ("u-k" + tag).c_str(),
                                            text, error, nullptr))
        << error.str();
    return text.str();
  }

  static void expectKept(const std::vector<double>& numbers) {
    ASSERT_EQ(numbers.size(), 15u);
    EXPECT_EQ(std::memcmp(numbers.data(), kNumbers, sizeof kNumbers), 0);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(numbers[i], kNumbers[i]) << i;
  }

  Side from_, to_;
  AdminDatabase target_;
};

TEST_P(NumberLocaleTest, EveryNumberSurvivesExportAndImportInEveryLocale) {
  // The locales of the exporting and the importing host.
  const int trips[][2] = {{1, 0}, {0, 1}, {2, 0}};
  for (const auto& trip : trips) {
    const std::string tag = std::to_string(trip[0]) + std::to_string(trip[1]);
    SCOPED_TRACE(tag);
    const std::string text = exportTask(tag, trip[0]);
    EXPECT_NE(text.find("<value key=\"START_0\">1.5</value>"),
              std::string::npos);
    KvbString there, error;
    {
      const auto locale = hostLocale(trip[1]);
      ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
    }
    expectKept(to_.numbers("u-t" + tag));
    // And back from the target into a new SQLite file.
    {
      const auto locale = hostLocale(trip[0]);
      ASSERT_TRUE(to_.manager->exportObjectByPath(("K" + tag).c_str(), "Task",
                                                  there, error));
    }
    Side back;
    back.open(fileRepository("back" + tag + ".db"));
    const auto locale = hostLocale(trip[1]);
    ASSERT_TRUE(back.manager->importObject(there, 0, error)) << error.str();
    expectKept(back.numbers("u-t" + tag));
  }
}

// A number that is there but cannot be read refuses the object, naming the
// text and its key, and nothing of it is stored. Each import reads what it
// stores: a new task takes the time of its import as its date, an import
// over the task keeps the threshold that its UUID finds.
TEST_P(NumberLocaleTest, ANumberThatCannotBeReadRefusesItsObject) {
  int source = -1;
  const std::string task = exportTask("w", 0, &source);
  const struct {
    const char *key, *text;
    bool readNew, readOver;
  } cases[] = {{"START_0", "abc", true, false},
               {"END_0", "1e999", true, false},
               {"COLOR_0", "99999999999", true, false},
               {"WGHT", "1,5", true, true},
               {"JB_CRDAT", "yesterday", false, true}};
  const int tasks = to_.count("MJOB"), thresholds = to_.count("THRHLD"),
            members = from_.count("JBRUME");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    const std::string bad = withValue(task, c.key, c.text);
    const std::string named =
        std::string("The value \"") + c.text + "\" of " + c.key + " in the ";
    KvbString error;
    EXPECT_NE(from_.manager->updateObject(source, "Task", "u-kw", bad, 0, error,
                                          nullptr),
              c.readOver);
    EXPECT_EQ(c.readOver, error.find(named.c_str()) != KvbString::npos)
        << error.str();
    EXPECT_EQ(from_.count("JBRUME"), members);
    if (!c.readNew) continue;
    EXPECT_FALSE(to_.manager->importObject(bad, 0, error));
    EXPECT_NE(error.find(named.c_str()), KvbString::npos) << error.str();
    EXPECT_EQ(to_.count("MJOB") + to_.count("THRHLD"), tasks + thresholds);
  }
  // A refusal stays with its own import: the next one reads the text.
  KvbString error;
  EXPECT_TRUE(to_.manager->importObject(task, 0, error)) << error.str();
  EXPECT_TRUE(from_.manager->updateObject(source, "Task", "u-kw", task, 0,
                                          error, nullptr))
      << error.str();
}

// An import keeps the creation date that it reads, under a comma locale:
// a new profile job's, and a rule's or a task's imported over it; over an
// object, an empty date gives the time of the import.
TEST_P(NumberLocaleTest, AnImportKeepsTheCreationDateItReads) {
  int task = -1, rule = -1;
  exportTask("d", 0, &task, &rule);
  ProfileRepositoryDataAccess* profile = from_.repos->createProfileDataAccess();
  const int job = profile->addProfileJob("P", "", "u-p", 1, 1, "me", "me", 0);
  profile->release();
  const struct {
    const char *type, *uuid, *key, *code;
    int id;
    bool over;
  } cases[] = {{"ProfileJob", "u-p", "SU_CRDAT", "JSETUP", job, false},
               {"Rule", "u-rd", "RU_CRDAT", "RULE", rule, true},
               {"Task", "u-kd", "JB_CRDAT", "MJOB", task, true}};
  HostLocale host;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    KvbString text, error;
    ASSERT_TRUE(from_.manager->exportObject(c.id, c.type, c.uuid, text, error,
                                            nullptr))
        << error.str();
    const std::string dated =
        withValue(text.str(), c.key, "12345.123456789");
    Side& into = c.over ? from_ : to_;
    ASSERT_TRUE(c.over ? from_.manager->updateObject(c.id, c.type, c.uuid,
                                                     dated, 0, error, nullptr)
                       : to_.manager->importObject(dated, 0, error))
        << error.str();
    const std::string where =
        c.over ? std::string(c.key).substr(0, 3) + "ID = " +
                     std::to_string(c.id)
               : "1 = 1";
    EXPECT_EQ(into.real(c.code, c.key, where), 12345.123456789);
    // An empty date is none: an import over the object takes its own time.
    if (!c.over) continue;
    ASSERT_TRUE(from_.manager->updateObject(c.id, c.type, c.uuid,
                                            withValue(text.str(), c.key, ""),
                                            0, error, nullptr))
        << error.str();
    EXPECT_GT(from_.real(c.code, c.key, where),
              KvbDate::currentDate().asDouble() - 1);
  }
}

// The script mode's statements carry numbers in the C form under a comma
// locale; a real that is no finite number has no literal and is refused.
TEST_P(NumberLocaleTest, TheScriptCarriesNumbersInTheCForm) {
  HostLocale host;
  struct Script : ReposDDLCallback {
    bool writeStatement(const KvbString& text) override {
      all += text.str() + "\n";
      return true;
    }
    std::string all;
  } script;
  ReposDataAccess* rda = to_.repos->getDataAccess();
  ASSERT_TRUE(rda->setDDLCallback(&script));
  const KvbString band = "b";
  const double numbers[3] = {1.5, 2.25, kInf};
  const int color = 1;
  EXPECT_TRUE(to_.monitor->addThreshold("S", "", "me", "u-s", 0, 1, &band,
                                        numbers, numbers + 1, &color, nullptr));
  EXPECT_FALSE(to_.monitor->addThreshold("I", "", "me", "u-i", 0, 1, &band,
                                         numbers, numbers + 2, &color,
                                         nullptr));
  const KvbString refusal = to_.monitor->getErrorMessage();
  ASSERT_TRUE(rda->setDDLCallback(nullptr));
  EXPECT_NE(script.all.find("'b', 1.5, 2.25, 1, "), std::string::npos)
      << script.all;
  EXPECT_NE(refusal.find("The value inf is no finite number, which a "
                         "statement of the script cannot carry"),
            KvbString::npos)
      << refusal.str();
}

INSTANTIATE_ADMIN_TARGETS(NumberLocaleTest);

}  // namespace
