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
#include <list>
#include <string>
#include <thread>
#include <vector>

#include "profile/prof_fixture.h"
#include "support/lock_seam.h"

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
  void beginAndAdd(const Kind& kind, int field) { beginAndAdd(profile_, kind, field); }
  void beginAndAdd(Profile* profile, const Kind& kind, int field) {
    ASSERT_TRUE(kind.begin(profile, field))
        << profile->getErrorMessage().asCstr();
    for (int i = 0; i < 7; ++i)
      ASSERT_TRUE(kind.add(profile, field, i))
          << profile->getErrorMessage().asCstr();
  }
  // Stores the key `key` through the connection: the calling thread's next
  // call, in whatever transaction it holds. "stored", or the refusal.
  std::string store(const std::string& key) {
    const KvbDatavar k(KvbString(key.c_str())), v(KvbString("x"));
    return db_->paramExec(
               "INSERT INTO " + table("KEYVAL") + " (V_KEY, V_VALUE) VALUES (?, ?)",
               nullptr, 2, &k, &v)
               ? "stored"
               : db_->getErrorMessage().str();
  }
  // Whether the key is stored, as the connection sees it.
  bool stored(const std::string& key) {
    return count("KEYVAL", "V_KEY=?", {KvbString(key.c_str())}) == 1;
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
          // The drop joined the load's transaction and went with it: the
          // thread's next call says so.
          EXPECT_EQ(
              store("lost").find("The load's transaction was rolled back"),
              0u);
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

// Ways in which a load's owner is gone before its end, while the load's
// thread may go on: its object is released on another thread, its thread
// ends or is cancelled, or its transaction is ended by another object's
// end and its thread then holds a transaction of the host's.
enum GoneWay { kReleasedElsewhere, kOwnerEnds, kOwnerCancelled, kEndedByHost };
const char* const kGoneWays[] = {
    "whose object is released on another thread", "whose thread ends",
    "whose thread is cancelled", "whose transaction another end ended"};

// A load whose owner is gone holds nothing: the release returns while the
// loading thread holds the connection (it never queued for it), and that
// thread's next call answers false with the loss, its call after that runs
// outside any transaction; no row of the load stays, nor goes into a later
// transaction of its thread; its object's later rows and end write
// nothing; and a load that another object begins next gets the
// connection's bulk loader and stores just its own rows.
TEST_P(UnendedLoadTest, ALoadWhoseOwnerIsGoneHoldsNothingForTheNextBegin) {
  const std::string lost =
      "The transaction was rolled back: the data-access object that began it "
      "was released";
  int field = 200;
  for (const Kind& kind : kKinds)
    for (int way = kReleasedElsewhere; way <= kEndedByHost; ++way) {
      SCOPED_TRACE(std::string(kind.name) + " load " + kGoneWays[way]);
      ++field;
      const std::string key = "k" + std::to_string(field);
      Profile* owner = new Profile(rda_);
      switch (way) {
        case kReleasedElsewhere: {
          LockSeam seam;
          std::promise<void> loaded, released;
          Rows answers;
          std::thread loading([&] {
            beginAndAdd(owner, kind, field);
            loaded.set_value();
            released.get_future().wait();
            answers = {store(key + "a"), store(key + "b")};
          });
          loaded.get_future().wait();
          owner->release();
          owner = nullptr;
          EXPECT_EQ(seam.count(RDA_LockSeam::kQueueing), 0)
              << "the release waited for the loading thread";
          released.set_value();
          loading.join();
          EXPECT_EQ(answers, (Rows{lost, "stored"}));
          EXPECT_FALSE(stored(key + "a"));
          EXPECT_TRUE(stored(key + "b"));
          break;
        }
        case kOwnerEnds:
        case kOwnerCancelled:
          OwnThread([&] { beginAndAdd(owner, kind, field); },
                    way == kOwnerCancelled);
          break;
        case kEndedByHost:
          beginAndAdd(owner, kind, field);
          ASSERT_TRUE(db_->endTransaction(false));
          ASSERT_TRUE(db_->beginTransaction(false, nullptr));
          EXPECT_FALSE(kind.add(owner, field, 50));
          EXPECT_EQ(store(key), "stored");
          EXPECT_TRUE(db_->endTransaction(true));
          EXPECT_TRUE(stored(key));
          break;
      }
      // The next load, of another object, before the owner is used again.
      ASSERT_TRUE(kind.begin(profile_, field))
          << profile_->getErrorMessage().asCstr();
      EXPECT_TRUE(kind.add(profile_, field, 99));
      EXPECT_TRUE(kind.end(profile_, field))
          << profile_->getErrorMessage().asCstr();
      if (owner) {
        EXPECT_FALSE(kind.add(owner, field, 51));
        EXPECT_FALSE(kind.end(owner, field));
        owner->release();
      }
      EXPECT_EQ(rowsOf(kind, field), 1);
      EXPECT_FALSE(db_->inTransaction());
    }
}

// The bulk loader goes with a transaction rolled back for an owner that is
// gone (a thread that ended or was cancelled, the object that began the
// transaction released on another thread): later rows and ends of that
// load, also outside any transaction, write nothing.
TEST_P(UnendedLoadTest, TheBulkLoaderGoesWithAGoneOwnersTransaction) {
  if (!db_->isBulkLoadSupported()) GTEST_SKIP() << "no bulk loader here";
  std::list<TableColumnInfo> columns(3);
  const char* names[] = {"FLD_ID", "PA_VALUE", "PA_COUNT"};
  int i = 0;
  for (TableColumnInfo& column : columns) {
    column.name = names[i];
    column.type = i == 1 ? kvbTypeString : kvbTypeInt;
    column.size = i == 1 ? 255 : 0;
    ++i;
  }
  int field = 300;
  const auto load = [&](int rows) {
    bool ok = true;
    for (int r = 0; r < rows; ++r) {
      const KvbDatavar f(field), v(KvbString::fromInt(r)), c(1);
      ok = db_->bulkLoadAddRow(3, &f, &v, &c) && ok;
    }
    return ok;
  };
  const auto begin = [&] {
    return db_->bulkLoadInit(5, db_->getTableName("PATDST", false, -1),
                             &columns) &&
           load(7);
  };
  for (int way : {kReleasedElsewhere, kOwnerEnds, kOwnerCancelled}) {
    SCOPED_TRACE(std::string("a bulk load ") + kGoneWays[way]);
    ++field;
    if (way == kReleasedElsewhere) {
      Profile* beginner = new Profile(rda_);
      std::promise<void> loaded, released;
      bool ended = true;
      std::thread loading([&] {
        EXPECT_TRUE(beginner->beginTransaction(0, 0));
        EXPECT_TRUE(begin());
        loaded.set_value();
        released.get_future().wait();
        // The host's two ends close the lost transaction; the load's rows
        // after it have no transaction to go into.
        ended = db_->endTransaction(false) || db_->endTransaction(false);
        EXPECT_FALSE(load(3));
        EXPECT_FALSE(db_->bulkLoadEnd(true));
      });
      loaded.get_future().wait();
      beginner->release();
      released.set_value();
      loading.join();
      EXPECT_FALSE(ended);
    } else {
      OwnThread([&] { EXPECT_TRUE(begin()); }, way == kOwnerCancelled);
      EXPECT_FALSE(load(3));
      EXPECT_FALSE(db_->bulkLoadEnd(true));
    }
    EXPECT_EQ(count("PATDST", "FLD_ID=?", {field}), 0);
    EXPECT_FALSE(db_->inTransaction());
  }
}

INSTANTIATE_RDA_TARGETS(UnendedLoadTest);

}  // namespace
