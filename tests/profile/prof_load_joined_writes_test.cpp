// Writes that other data-access objects make on a loading thread join the
// load's transaction. When that transaction is rolled back (an add that
// fails, the load's object released on another thread), those writes go
// with it, and no call answers as if they were stored: the thread's next
// call says that they were rolled back, the call after it runs as usual.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "access/common_rdaimpl.h"
#include "profile/prof_fixture.h"

namespace {

using Profile = ProfileRDAImpl;

const char kLoss[] =
    "The load's transaction was rolled back, and with it the writes that "
    "other calls of this thread made while the load was open";

// One kind of load: its begin (one row per batch, so that a bad row fails
// its own add), an add of a row with a text, and the table whose text
// column a refusing trigger watches on SQLite (null: the field's own
// table, which the load makes; there the add fails once the table is
// dropped in the load's transaction, itself a write that joins it).
struct Kind {
  const char* name;
  std::function<bool(Profile*, int)> begin;
  std::function<bool(Profile*, int, const KvbString&)> add;
  const char* code;
  const char* column;
};

const Kind kKinds[] = {
    {"frequency",
     [](Profile* p, int f) { return p->beginFrequencyLoad(f, true, 1); },
     [](Profile* p, int f, const KvbString& v) {
       return p->addFrequencyRow(f, v, "m", 1);
     },
     "FRQDST", "FR_VAL"},
    {"field frequency",
     [](Profile* p, int f) { return p->beginFrequencyLoad(f, false, 1); },
     [](Profile* p, int f, const KvbString& v) {
       return p->addFrequencyRow(f, v, "m", 1);
     },
     "FRQDST", nullptr},
    {"pattern", [](Profile* p, int) { return p->beginPatternLoad(1); },
     [](Profile* p, int f, const KvbString& v) {
       return p->addPatternRow(f, v, 1);
     },
     "PATDST", "PA_VALUE"},
    {"match-code", [](Profile* p, int) { return p->beginMatchCodeLoad(1); },
     [](Profile* p, int f, const KvbString& v) {
       return p->addMatchCodeRow(f, "v", v, 1, 3);
     },
     "MCDIST", "MC_VALUE"},
    {"rule-log", [](Profile* p, int) { return p->beginRuleLogLoad(); },
     [](Profile* p, int f, const KvbString& v) {
       return p->addRuleLogRow(f, 1, 1, 0, 1, v);
     },
     "PBRLOG", "LOG_DATA"},
};

// The other object's write, and whether it is stored.
struct Write {
  const char* name;
  std::function<bool(CommonRDAImpl*, const std::string&)> write;
  const char* code;
  const char* column;
};

const Write kWrites[] = {
    {"setKeyValue",
     [](CommonRDAImpl* c, const std::string& key) {
       return c->setKeyValue(key.c_str(), "x");
     },
     "KEYVAL", "V_KEY"},
    {"addRule",
     [](CommonRDAImpl* c, const std::string& name) {
       return c->addRule(name.c_str(), "t", "e", "g", "", "u", "", 0, "", "") >
              0;
     },
     "RULE", "RU_DESC"},
};

enum Way { kFailedAdd, kReleasedElsewhere };

class LoadJoinedWritesTest : public ProfileRdaTest {
 protected:
  void SetUp() override {
    ProfileRdaTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    common_ = new CommonRDAImpl(rda_);
    // SQLite stores any text; a trigger refuses the value "boom" there.
    if (!isPostgres())
      for (const Kind& kind : kKinds)
        if (kind.column)
          exec("CREATE TRIGGER IF NOT EXISTS refuse_" + std::string(kind.code) +
               " BEFORE INSERT ON " + table(kind.code) + " WHEN NEW." +
               kind.column +
               "='boom' BEGIN SELECT RAISE(ABORT, 'refused'); END");
  }
  void TearDown() override {
    if (common_) common_->release();
    ProfileRdaTest::TearDown();
  }
  // Whether an add of the kind can fail with nothing else written in the
  // load's transaction.
  bool failsAlone(const Kind& kind) const {
    return isPostgres() || kind.column;
  }
  // An add that the database refuses.
  bool failingAdd(const Kind& kind, Profile* loader, int field) {
    if (isPostgres())
      return kind.add(loader, field, KvbString(std::string("a\0b", 3)));
    if (!kind.column)
      exec("DROP TABLE " + table((kind.code + std::to_string(field)).c_str()));
    return kind.add(loader, field, "boom");
  }
  bool storedAs(const Write& write, const std::string& value) {
    return count(write.code, std::string(write.column) + "=?",
                 {KvbString(value.c_str())}) == 1;
  }

  CommonRDAImpl* common_ = nullptr;
};

TEST_P(LoadJoinedWritesTest, ARolledBackLoadSaysWhatWentWithIt) {
  int field = 400;
  for (const Kind& kind : kKinds)
    for (const Way way : {kFailedAdd, kReleasedElsewhere})
      for (const Write& write : kWrites) {
        ++field;
        const std::string name =
            kind.name + std::string(" load, ") +
            (way == kFailedAdd ? "failed add, " : "released elsewhere, ") +
            write.name;
        SCOPED_TRACE(name);
        const std::string joined = "w" + std::to_string(field);
        Profile* loader = new Profile(rda_);
        ASSERT_TRUE(kind.begin(loader, field))
            << loader->getErrorMessage().asCstr();
        ASSERT_TRUE(kind.add(loader, field, "good"))
            << loader->getErrorMessage().asCstr();
        EXPECT_TRUE(write.write(common_, joined))
            << common_->getErrorMessage().asCstr();
        if (way == kFailedAdd) {
          EXPECT_FALSE(failingAdd(kind, loader, field));
          EXPECT_NE(loader->getErrorMessage().str().find(kLoss),
                    std::string::npos)
              << loader->getErrorMessage().asCstr();
          loader->release();
        } else {
          std::thread([loader] { loader->release(); }).join();
        }
        // The thread's next call says it; the one after it is stored.
        EXPECT_FALSE(write.write(common_, joined + "a"));
        EXPECT_NE(common_->getErrorMessage().str().find(kLoss),
                  std::string::npos)
            << common_->getErrorMessage().asCstr();
        EXPECT_TRUE(write.write(common_, joined + "b"))
            << common_->getErrorMessage().asCstr();
        EXPECT_FALSE(storedAs(write, joined));
        EXPECT_FALSE(storedAs(write, joined + "a"));
        EXPECT_TRUE(storedAs(write, joined + "b"));
        EXPECT_FALSE(db_->inTransaction());
      }
}

// A load that no other call's write joined loses nothing but its own
// rows: its failed add answers its own reason, and the thread's next call
// is stored.
TEST_P(LoadJoinedWritesTest, ALoadThatNothingJoinedFailsAlone) {
  int field = 500;
  for (const Kind& kind : kKinds) {
    if (!failsAlone(kind)) continue;
    SCOPED_TRACE(kind.name);
    ++field;
    const std::string key = "k" + std::to_string(field);
    ASSERT_TRUE(kind.begin(profile_, field))
        << profile_->getErrorMessage().asCstr();
    ASSERT_TRUE(kind.add(profile_, field, "good"));
    EXPECT_FALSE(failingAdd(kind, profile_, field));
    EXPECT_EQ(profile_->getErrorMessage().str().find(kLoss), std::string::npos)
        << profile_->getErrorMessage().asCstr();
    EXPECT_TRUE(common_->setKeyValue(key.c_str(), "x"))
        << common_->getErrorMessage().asCstr();
    EXPECT_TRUE(storedAs(kWrites[0], key));
  }
}

INSTANTIATE_RDA_TARGETS(LoadJoinedWritesTest);

}  // namespace
