// Numbers through the export and import of a host that sets a comma locale
// (de_DE.UTF-8) for its process or thread: every value a store keeps comes
// back bit for bit between a SQLite file and each back end, in both
// directions and whichever side sets the locale; a number that cannot be
// read refuses its object; the script mode writes numbers in the C form;
// a NaN is refused where SQLite would store NULL for it.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "impexp/repimpexpmgr.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "support/admin_targets.h"
#include "support/host_locale.h"
#include "support/impexp_side.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// The seven bands' starts and ends: a comma locale's decimal, values of 16
// and 17 digits, the largest, infinite and subnormal values.
const double kStarts[7] = {1.5,  1.0 / 3,   DBL_MAX,           1e-310,
                           kInf, 0.1 + 0.2, 9007199254740992.0};
const double kEnds[7] = {-1.5,
                         -DBL_MAX,
                         -kInf,
                         46000.123456789,
                         2.25,
                         1e300,
                         std::numeric_limits<double>::denorm_min()};
const double kWeight = 2.0 / 3;

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A repository with its managers, released at the end.
struct Side : ImpExpSide {
  // The starts and ends of the threshold of `uuid`, then its task
  // member's weight.
  std::vector<double> numbers(const std::string& uuid) {
    std::vector<double> out;
    ReposDataAccessCursor* found = monitor->findThreshold(-1, "", uuid.c_str());
    EXPECT_NE(found, nullptr);
    if (!found) return out;
    EXPECT_EQ(found->next(), 1);
    for (const char* field : {"START_", "END_"})
      for (int band = 0; band < 7; ++band)
        out.push_back(
            found->getValue(found->getColumnIndex(field + std::to_string(band)))
                .asDouble());
    const int threshold = found->getInt(found->getColumnIndex("THR_ID"));
    found->release();
    ReposDataAccess* rda = repos->getDataAccess();
    ReposDataAccessCursor* member = rda->paramSelect(
        "SELECT WGHT FROM " + rda->getTableName("JBRUME", true, -1).str() +
            " WHERE THR_ID = " + std::to_string(threshold),
        0);
    EXPECT_NE(member, nullptr);
    if (member && member->next() == 1)
      out.push_back(member->getValue(0).asDouble());
    if (member) member->release();
    return out;
  }
};

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

  RepositoryImpl* fileRepository(const char* name) {
    const std::string file = dir_.file(name);
    EXPECT_TRUE(admin_->createFileRepository(file.c_str())) << error();
    return static_cast<RepositoryImpl*>(
        admin_->openFileRepository(file.c_str(), false));
  }

  // A task whose member holds a threshold of kStarts and kEnds with the
  // weight kWeight, in the source; answers the task's id.
  int makeTask(const std::string& tag) {
    CommonRepositoryDataAccess* common = from_.repos->createCommonDataAccess();
    const int rule = common->addRule(("R" + tag).c_str(), "T", "x", "", "",
                                     "me", ("u-r" + tag).c_str(), 0, "", "");
    common->release();
    const KvbString names[7] = {"a", "b", "c", "d", "e", "f", "g"};
    const int colors[7] = {1, 2, 3, 4, 5, 6, 2147483647};
    int threshold = -1, task = -1;
    EXPECT_TRUE(from_.monitor->addThreshold(("T" + tag).c_str(), "", "me",
                                            ("u-t" + tag).c_str(), 0, 7, names,
                                            kStarts, kEnds, colors, &threshold))
        << from_.monitor->getErrorMessage().str();
    EXPECT_TRUE(from_.monitor->addTask(
        ("K" + tag).c_str(), ("u-k" + tag).c_str(), "me", 0, "", "", &task));
    EXPECT_TRUE(
        from_.monitor->addTaskRuleMember(task, rule, -1, threshold, kWeight))
        << from_.monitor->getErrorMessage().str();
    return task;
  }

  static void expectKept(const std::vector<double>& numbers) {
    ASSERT_EQ(numbers.size(), 15u);
    for (int band = 0; band < 7; ++band) {
      EXPECT_TRUE(sameBits(numbers[band], kStarts[band]))
          << "START_" << band << ": " << numbers[band];
      EXPECT_TRUE(sameBits(numbers[7 + band], kEnds[band]))
          << "END_" << band << ": " << numbers[7 + band];
    }
    EXPECT_TRUE(sameBits(numbers[14], kWeight)) << numbers[14];
  }

  Side from_, to_;
  AdminDatabase target_;
};

// A host's locale for one side of a trip: none (C), its process's or its
// thread's comma locale.
enum class Host { kC, kProcess, kThread };

std::unique_ptr<HostLocale> hostLocale(Host host) {
  if (host == Host::kC) return nullptr;
  return std::make_unique<HostLocale>(
      host == Host::kProcess ? LocaleScope::kProcess : LocaleScope::kThread);
}

TEST_P(NumberLocaleTest, EveryNumberSurvivesExportAndImportInEveryLocale) {
  const struct {
    const char* name;
    Host exporter, importer;
  } trips[] = {{"comma export, C import", Host::kProcess, Host::kC},
               {"C export, comma import", Host::kC, Host::kProcess},
               {"thread's comma export, C import", Host::kThread, Host::kC}};
  int row = 0;
  for (const auto& trip : trips) {
    SCOPED_TRACE(trip.name);
    const std::string tag = std::to_string(row++);
    const int task = makeTask(tag);
    KvbString text, there, error;
    {
      const auto host = hostLocale(trip.exporter);
      ASSERT_TRUE(from_.manager->exportObject(
          task, "Task", ("u-k" + tag).c_str(), text, error, nullptr))
          << error.str();
    }
    EXPECT_NE(text.find("<value key=\"START_0\">1.5</value>"), KvbString::npos)
        << text.str();
    {
      const auto host = hostLocale(trip.importer);
      ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
    }
    expectKept(to_.numbers("u-t" + tag));
    // And back from the target into a SQLite file, each side in its locale.
    {
      const auto host = hostLocale(trip.exporter);
      ASSERT_TRUE(to_.manager->exportObjectByPath(("K" + tag).c_str(), "Task",
                                                  there, error))
          << error.str();
    }
    Side back;
    back.open(fileRepository(("back" + tag + ".db").c_str()));
    {
      const auto host = hostLocale(trip.importer);
      ASSERT_TRUE(back.manager->importObject(there, 0, error)) << error.str();
    }
    expectKept(back.numbers("u-t" + tag));
  }
}

// A number that is there but cannot be read refuses the object with a text
// that names the text and its key, and nothing of the object is stored.
// Each import reads what it stores: a new task takes the time of its
// import as its date, and an import over the task reuses the threshold
// that its UUID finds. An empty or absent number keeps its default
// (ThresholdBandsStopAtTheFirstEmptyOne of the import tests).
TEST_P(NumberLocaleTest, ANumberThatCannotBeReadRefusesItsObject) {
  KvbString task, error;
  const int source = makeTask("w");
  ASSERT_TRUE(from_.manager->exportObject(source, "Task", "u-kw", task, error,
                                          nullptr));
  const struct {
    const char *key, *text;
    bool readNew, readOver;
  } cases[] = {{"START_0", "abc", true, false},
               {"END_0", "1e999", true, false},
               {"COLOR_0", "99999999999", true, false},
               {"START_1", "1,5", true, false},
               {"WGHT", "1,5", true, true},
               {"JB_CRDAT", "yesterday", false, true}};
  const int tasks = to_.count("MJOB"), thresholds = to_.count("THRHLD"),
            rules = to_.count("RULE"), members = from_.count("JBRUME");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    std::string bad = task.str();
    const std::string open = std::string("<value key=\"") + c.key + "\">";
    const size_t at = bad.find(open);
    ASSERT_NE(at, std::string::npos);
    const size_t from = at + open.size();
    bad.replace(from, bad.find('<', from) - from, c.text);
    const std::string named =
        std::string("The value \"") + c.text + "\" of " + c.key + " in the ";
    KvbString over;
    EXPECT_NE(from_.manager->updateObject(source, "Task", "u-kw", bad, 0, over,
                                          nullptr),
              c.readOver);
    if (c.readOver) {
      EXPECT_NE(over.find(named.c_str()), KvbString::npos) << over.str();
    }
    EXPECT_EQ(from_.count("JBRUME"), members);
    if (!c.readNew) continue;  // the last case
    EXPECT_FALSE(to_.manager->importObject(bad, 0, error));
    EXPECT_NE(error.find(named.c_str()), KvbString::npos) << error.str();
    EXPECT_NE(error.find("cannot be read as a number"), KvbString::npos);
    EXPECT_EQ(to_.count("MJOB"), tasks);
    EXPECT_EQ(to_.count("THRHLD"), thresholds);
    EXPECT_EQ(to_.count("RULE"), rules);
  }
}

// The script mode writes numbers in the C form under the host's comma
// locale; a real that is no finite number has no literal and is refused.
TEST_P(NumberLocaleTest, TheScriptCarriesNumbersInTheCForm) {
  HostLocale host;
  ASSERT_TRUE(host.set());
  struct Script : ReposDDLCallback {
    bool writeStatement(const KvbString& text) override {
      texts.push_back(text.str());
      return true;
    }
    std::vector<std::string> texts;
  } script;
  ReposDataAccess* rda = to_.repos->getDataAccess();
  ASSERT_TRUE(rda->setDDLCallback(&script));
  const KvbString band = "b";
  const double start = 1.5, end = 2.25, infinite = kInf;
  const int color = 1;
  EXPECT_TRUE(to_.monitor->addThreshold("S", "", "me", "u-s", 0, 1, &band,
                                        &start, &end, &color, nullptr))
      << to_.monitor->getErrorMessage().str();
  EXPECT_FALSE(to_.monitor->addThreshold("I", "", "me", "u-i", 0, 1, &band,
                                         &start, &infinite, &color, nullptr));
  const std::string refusal = to_.monitor->getErrorMessage().str();
  ASSERT_TRUE(rda->setDDLCallback(nullptr));
  std::string insert;
  for (const std::string& text : script.texts)
    if (text.find("'u-s'") != std::string::npos) insert = text;
  EXPECT_NE(insert.find(", 1.5, 2.25, 1, "), std::string::npos) << insert;
  EXPECT_NE(refusal.find("The value inf is no finite number, which a "
                         "statement of the script cannot carry"),
            std::string::npos)
      << refusal;
}

// SQLite would store NULL for a NaN: a store refuses it there, naming the
// column, and stores nothing; PostgreSQL keeps it.
TEST_P(NumberLocaleTest, ANanIsRefusedWhereSqliteWouldLoseIt) {
  const KvbString band = "b";
  const double start = std::nan(""), end = 1;
  const int color = 1;
  const int before = to_.count("THRHLD");
  const bool added = to_.monitor->addThreshold(
      "N", "", "me", "u-n", 0, 1, &band, &start, &end, &color, nullptr);
  EXPECT_EQ(added, isPostgres());
  if (isPostgres()) {
    ReposDataAccessCursor* found = to_.monitor->findThreshold(-1, "", "u-n");
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(found->next(), 1);
    EXPECT_TRUE(std::isnan(found->getDouble(found->getColumnIndex("START_0"))));
    found->release();
    return;
  }
  EXPECT_NE(to_.monitor->getErrorMessage().find(
                "NaN cannot be stored in START_0: SQLite keeps no NaN"),
            KvbString::npos)
      << to_.monitor->getErrorMessage().str();
  EXPECT_EQ(to_.count("THRHLD"), before);
}

INSTANTIATE_ADMIN_TARGETS(NumberLocaleTest);

}  // namespace
