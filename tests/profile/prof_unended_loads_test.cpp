// Loads that do not reach their end keep nothing, on every back end: each
// kind of load, given rows enough that the bulk loader has written a batch,
// is released (on the test's thread or on its own), replaced by a second
// begin, failed by an add, or left by its thread, which ends or is
// cancelled between rows. None of its rows, nor a field table it made,
// stays; the next load of its kind stores just its own rows; a failed add
// gives one log record.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <future>
#include <string>
#include <vector>

#include "profile/prof_fixture.h"

namespace {

// Runs `body` on a thread of its own, which then ends; with `cancel` it is
// cancelled once `body` is done, at its next cancellation point. The
// thread's own frame holds nothing when it is cancelled, so that the
// sanitizers find its stack as it was.
class OwnThread {
 public:
  OwnThread(std::function<void()> body, bool cancel) : body_(std::move(body)) {
    EXPECT_EQ(pthread_create(&thread_, nullptr, &OwnThread::run, this), 0);
    done_.get_future().wait();
    if (cancel) pthread_cancel(thread_);
    go_.set_value();
    void* result = nullptr;
    pthread_join(thread_, &result);
    EXPECT_EQ(result == PTHREAD_CANCELED, cancel);
  }

 private:
  static void* run(void* self) {
    static_cast<OwnThread*>(self)->runBody();
    pthread_testcancel();
    return nullptr;
  }
  void runBody() {
    body_();
    done_.set_value();
    go_.get_future().wait();
  }
  std::function<void()> body_;
  std::promise<void> done_, go_;
  pthread_t thread_;
};

using Profile = ProfileRDAImpl;

// One kind of load, for a field: begin (batches of 5), add row i, end.
struct Kind {
  const char* name;
  std::function<bool(Profile*, int)> begin;
  std::function<bool(Profile*, int, int)> add;
  std::function<bool(Profile*, int)> end;
  const char* code;    // its table
  const char* column;  // its column of the field; null: the field's own
                       // table, the code and the field id
  std::string tableOf(int field) const {
    return code + (column ? "" : std::to_string(field));
  }
};

const Kind kKinds[] = {
    {"frequency",
     [](Profile* p, int f) { return p->beginFrequencyLoad(f, true, 5); },
     [](Profile* p, int f, int i) {
       return p->addFrequencyRow(f, "v" + KvbString::fromInt(i), "m", 1);
     },
     [](Profile* p, int f) { return p->endFrequencyLoad(f); }, "FRQDST",
     "FLD_ID"},
    {"field frequency",
     [](Profile* p, int f) { return p->beginFrequencyLoad(f, false, 5); },
     [](Profile* p, int f, int i) {
       return p->addFrequencyRow(f, "v" + KvbString::fromInt(i), "m", 1);
     },
     [](Profile* p, int f) { return p->endFrequencyLoad(f); }, "FRQDST",
     nullptr},
    {"pattern", [](Profile* p, int) { return p->beginPatternLoad(5); },
     [](Profile* p, int f, int i) {
       return p->addPatternRow(f, "A" + KvbString::fromInt(i), 1);
     },
     [](Profile* p, int) { return p->endPatternLoad(0); }, "PATDST", "FLD_ID"},
    {"match-code", [](Profile* p, int) { return p->beginMatchCodeLoad(5); },
     [](Profile* p, int f, int i) {
       return p->addMatchCodeRow(f, "v", "M" + KvbString::fromInt(i), 1, 3);
     },
     [](Profile* p, int) { return p->endMatchCodeLoad(0); }, "MCDIST",
     "FLD_ID"},
    {"rule-log", [](Profile* p, int) { return p->beginRuleLogLoad(); },
     [](Profile* p, int f, int i) {
       return p->addRuleLogRow(f, 1, 1, 0, i, "x");
     },
     [](Profile* p, int) { return p->endRuleLogLoad(); }, "PBRLOG", "TBL_ID"},
};

enum Way {
  kReleased,
  kReleasedOnItsThread,
  kReplaced,
  kFailedAdd,
  kThreadEnds,
  kCancelled
};
const char* const kWays[] = {"released",
                             "released on its own thread",
                             "replaced by a second begin",
                             "failed by an add",
                             "left by its thread, which ends",
                             "left by its thread, which is cancelled"};

class UnendedLoadTest : public ProfileRdaTest {
 protected:
  // The field's rows in the load's table; -1 when the table is not there.
  int rowsOf(const Kind& kind, int field) {
    const std::string code = kind.tableOf(field);
    std::list<TableColumnInfo> columns;
    if (db_->getTableColumns(code.c_str(), columns) == 0) return -1;
    if (!kind.column) return count(code.c_str());
    return count(kind.code, std::string(kind.column) + "=?", {field});
  }
  // Begins a load and adds 7 rows; on PostgreSQL 5 are written.
  void beginAndAdd(const Kind& kind, int field) {
    ASSERT_TRUE(kind.begin(profile_, field))
        << profile_->getErrorMessage().asCstr();
    for (int i = 0; i < 7; ++i)
      ASSERT_TRUE(kind.add(profile_, field, i))
          << profile_->getErrorMessage().asCstr();
  }
};

TEST_P(UnendedLoadTest, ALoadThatDoesNotReachItsEndKeepsNothing) {
  int field = 100;
  for (const Kind& kind : kKinds)
    for (int way = kReleased; way <= kCancelled; ++way) {
      // A second rule-log begin nests in the first, by design.
      if (way == kReplaced && kind.code == std::string("PBRLOG")) continue;
      SCOPED_TRACE(std::string(kind.name) + " load " + kWays[way]);
      ++field;
      switch (way) {
        case kReleased:
        case kReleasedOnItsThread: {
          auto release = [&] {
            beginAndAdd(kind, field);
            profile_->release();
          };
          if (way == kReleased)
            release();
          else
            OwnThread(release, false);
          profile_ = new ProfileRDAImpl(rda_);
          break;
        }
        case kReplaced:
          beginAndAdd(kind, field);
          break;
        case kFailedAdd: {
          beginAndAdd(kind, field);
          exec("DROP TABLE " + table(kind.tableOf(field).c_str()));
          std::vector<std::string> records;
          bool added = true;
          for (int i = 7; added && i < 20; ++i)
            records = log_.failuresDuring(
                [&] { added = kind.add(profile_, field, i); });
          EXPECT_FALSE(added);
          EXPECT_EQ(records.size(), 1u) << ::testing::PrintToString(records);
          break;
        }
        default:
          OwnThread([&] { beginAndAdd(kind, field); }, way == kCancelled);
          // The load went with its thread; no row goes in without it.
          EXPECT_FALSE(kind.add(profile_, field, 50));
      }
      if (way != kReplaced) {
        EXPECT_EQ(rowsOf(kind, field), kind.column ? 0 : -1);
        EXPECT_FALSE(db_->inTransaction());
      }
      // The next load of the kind stores its own rows only.
      ASSERT_TRUE(kind.begin(profile_, field))
          << profile_->getErrorMessage().asCstr();
      EXPECT_TRUE(kind.add(profile_, field, 99));
      EXPECT_TRUE(kind.end(profile_, field))
          << profile_->getErrorMessage().asCstr();
      EXPECT_EQ(rowsOf(kind, field), 1);
      EXPECT_FALSE(db_->inTransaction());
    }
}

INSTANTIATE_RDA_TARGETS(UnendedLoadTest);

}  // namespace
