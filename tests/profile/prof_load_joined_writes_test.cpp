// Writes that other data-access objects make on a loading thread join the
// load's transaction, and so do the connection's own table statements (a
// table or an index made, a table dropped). When that transaction is rolled
// back (an add that fails, the load's object released on another thread),
// those writes go with it, and no call answers as if they were stored: the
// thread's next call says that they were rolled back, the call after it
// runs as usual.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <list>
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

// What a write on the loading thread goes through: another data-access
// object, or the connection itself.
struct Objects {
  CommonRDAImpl* common;
  ReposDataAccess* rda;
};

bool tableExists(ReposDataAccess* rda, const std::string& name) {
  std::list<TableColumnInfo> columns;
  return rda->getTableColumns(name.c_str(), columns) > 0;
}

bool makeTable(ReposDataAccess* rda, const std::string& name) {
  TableColumnInfo column;
  column.name = "C";
  column.type = kvbTypeInt;
  return rda->createTable(name.c_str(), {column});
}

bool tableGone(ReposDataAccess* rda, const std::string& name) {
  return !tableExists(rda, name);
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(c));
  return text;
}

// The table that the index writes index.
const char kIndexed[] = "KEYVAL";

// Whether an index of that name is on it; the server lists names in upper
// case, SQLite as they were made.
bool indexExists(ReposDataAccess* rda, const std::string& name) {
  bool found = false;
  for (const std::string& row :
       cursorRows(rda->listIndexes(rda->getTableName(kIndexed, false, -1))))
    found = found || upper(row).rfind(upper(name) + "|", 0) == 0;
  return found;
}

// The write on the loading thread, named by a key. A row write is stored
// when one row of its table has the key in its column; a table statement
// says itself whether it is (`stored`), and may need a table made before
// the load begins (`before`).
struct Write {
  const char* name;
  std::function<bool(const Objects&, const std::string&)> write;
  const char* code;
  const char* column;
  std::function<bool(ReposDataAccess*, const std::string&)> stored;
  std::function<bool(ReposDataAccess*, const std::string&)> before;
};

const Write kWrites[] = {
    {"setKeyValue",
     [](const Objects& o, const std::string& key) {
       return o.common->setKeyValue(key.c_str(), "x");
     },
     "KEYVAL", "V_KEY", nullptr, nullptr},
    {"addRule",
     [](const Objects& o, const std::string& name) {
       return o.common->addRule(name.c_str(), "t", "e", "g", "", "u", "", 0, "",
                                "") > 0;
     },
     "RULE", "RU_DESC", nullptr, nullptr},
    {"createTable",
     [](const Objects& o, const std::string& name) {
       return makeTable(o.rda, name);
     },
     nullptr, nullptr, tableExists, nullptr},
    {"createIndex",
     [](const Objects& o, const std::string& name) {
       return o.rda->createIndex(kIndexed, "V_KEY", name.c_str());
     },
     nullptr, nullptr, indexExists, nullptr},
    {"dropTable",
     [](const Objects& o, const std::string& name) {
       return o.rda->dropTable(o.rda->getTableName(name.c_str(), true, -1));
     },
     nullptr, nullptr, tableGone, makeTable},
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
    if (write.stored) return write.stored(rda_, value);
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
        const Objects objects{common_, rda_};
        if (write.before) {
          for (const char* suffix : {"", "a", "b"}) {
            ASSERT_TRUE(write.before(rda_, joined + suffix))
                << rda_->getErrorMessage().asCstr();
          }
        }
        Profile* loader = new Profile(rda_);
        ASSERT_TRUE(kind.begin(loader, field))
            << loader->getErrorMessage().asCstr();
        ASSERT_TRUE(kind.add(loader, field, "good"))
            << loader->getErrorMessage().asCstr();
        EXPECT_TRUE(write.write(objects, joined))
            << rda_->getErrorMessage().asCstr();
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
        EXPECT_FALSE(write.write(objects, joined + "a"));
        EXPECT_NE(rda_->getErrorMessage().str().find(kLoss), std::string::npos)
            << rda_->getErrorMessage().asCstr();
        EXPECT_TRUE(write.write(objects, joined + "b"))
            << rda_->getErrorMessage().asCstr();
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
