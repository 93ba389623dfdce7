// The repository event queue on every back end: events since a time, not
// from the reader's own source, and their removal by id or time.
#include <gtest/gtest.h>

#include <memory>

#include "kvreposres/kvreposres.h"
#include "reposadmin/repository_event_queue_manager.h"
#include "services/services_targets.h"

namespace {

class EventQueueTest : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    queue_.reset(repos_->createEventQueueManager());
    ASSERT_NE(queue_, nullptr);
  }
  void TearDown() override {
    queue_.reset();
    ServicesTest::TearDown();
  }
  // Adds an event and stores it as posted at `time`; answers its id.
  int add(const char* subject, const char* source, double time) {
    int id = -1;
    KvbString error;
    EXPECT_TRUE(
        queue_->addEvent(subject, kChangeUpdated, "x", source, id, error))
        << error.asCstr();
    exec("UPDATE " + table("REVENT") + " SET EVT_TIME=? WHERE EVT_ID=?",
         {time, id});
    return id;
  }
  // "subject action source" of the events since `time` not from `source`.
  std::vector<std::string> since(double time, const char* source) {
    KvbString error;
    std::vector<std::string> out;
    for (const std::string& row :
         cursorRows(queue_->getEventsSince(0, time, source, error))) {
      const size_t a = row.find('|') + 1, b = row.find('|', a);
      out.push_back(row.substr(a, b - a));
    }
    return out;
  }
  std::unique_ptr<RepositoryEventQueueManager> queue_;
};

TEST_P(EventQueueTest, ReadersGetTheEventsSinceATimeThatOthersPosted) {
  add("first", "A", 100.0);
  add("second", "B", 200.0);
  add("third", "A", 200.0);
  EXPECT_EQ(since(100.0, "A"), std::vector<std::string>{"second"});
  EXPECT_EQ(since(100.0, "B"), (std::vector<std::string>{"first", "third"}));
  EXPECT_EQ(since(200.0, "C"), (std::vector<std::string>{"second", "third"}))
      << "at the time counts, ties by id";
  EXPECT_EQ(rows(repos_, "SELECT DISTINCT EVT_ACTN FROM %s", "REVENT"),
            std::vector<std::string>{"UPDATED"});
}

TEST_P(EventQueueTest, EventsAreRemovedBelowAnIdOrBeforeATime) {
  add("first", "A", 100.0);
  add("second", "A", 300.0);
  const int third = add("third", "A", 200.0);
  KvbString error;
  EXPECT_FALSE(queue_->removeEvents(0, 0.0, error));
  EXPECT_EQ(error.str(),
            "Remove repository events cannot remove events when neither date "
            "or id are specified.");
  ASSERT_TRUE(queue_->removeEvents(0, 200.0, error));
  EXPECT_EQ(since(0, "B"), (std::vector<std::string>{"third", "second"}));
  ASSERT_TRUE(queue_->removeEvents(third, 0.0, error));
  EXPECT_EQ(since(0, "B"), std::vector<std::string>{"third"});
}

TEST_P(EventQueueTest, AQueueThatCannotBeReachedSaysWhy) {
  exec("DROP TABLE " + table("REVENT"));
  int id = -1;
  KvbString error;
  EXPECT_FALSE(queue_->addEvent("first", kChangeUpdated, "x", "A", id, error));
  EXPECT_FALSE(error.isEmpty());
  error = "";
  EXPECT_EQ(queue_->getEventsSince(0, 0.0, "B", error), nullptr);
  EXPECT_FALSE(error.isEmpty());
  error = "";
  EXPECT_FALSE(queue_->removeEvents(0, 100.0, error));
  EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_SERVICES_TARGETS(EventQueueTest);

}  // namespace
