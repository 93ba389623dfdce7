// Tests of the repository registry, the event manager and the name rules.
#include "kvreposres/kvreposres.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

TEST(RepositoryConfigurationTest, RegistryLookups) {
  RepositoryConfigurationManager* mgr = getRepositoryConfigurationManager();
  ASSERT_NE(mgr, nullptr);
  ASSERT_TRUE(
      mgr->registerRepository("Local", 0, "/data/local.db", KvbString()));
  ASSERT_TRUE(mgr->registerRepository("Shared", 1, "DSN=pg;", "dq."));
  EXPECT_FALSE(mgr->registerRepository("", 0, "/x.db", ""));
  EXPECT_FALSE(mgr->registerRepository("X", 2, "/x.db", ""));
  EXPECT_FALSE(mgr->registerRepository("X", 0, "", ""));
  EXPECT_EQ(mgr->findRepository("X"), nullptr);
  EXPECT_EQ(mgr->findRepository("local"), nullptr);  // names are exact

  RepositoryConfigurationEntry* entry = mgr->findRepository("Local");
  ASSERT_NE(entry, nullptr);
  KvbString connection, prefix;
  entry->getTablePrefix(prefix);
  EXPECT_TRUE(!prefix.isNull() && prefix.isEmpty());
  // The caller's entry is a copy: later changes to the registry leave it.
  ASSERT_TRUE(mgr->registerRepository("Local", 1, "DSN=other;", ""));
  EXPECT_TRUE(mgr->unregisterRepository("Local"));
  EXPECT_EQ(entry->getType(), 0);
  entry->getConnection(connection);
  EXPECT_EQ(connection, KvbString("/data/local.db"));
  entry->release();
  EXPECT_EQ(mgr->findRepository("Local"), nullptr);

  entry = mgr->findRepository("Shared");
  ASSERT_NE(entry, nullptr);
  entry->getTablePrefix(prefix);
  EXPECT_EQ(entry->getType(), 1);
  EXPECT_EQ(prefix, KvbString("dq."));
  entry->release();
  mgr->clear();
  EXPECT_EQ(mgr->findRepository("Shared"), nullptr);
}

struct Recorder : RepositoryEventListener {
  void onRepositoryEvent(const RepositoryEvent& event) override {
    operations.push_back(event.operation);
    if (repost && event.operation == "objectChanged")
      mgr->postObjectEvent("R", 2, "Task", 1, "k");
    if (toRemove) mgr->removeListener(toRemove);
    if (throws) throw std::runtime_error("listener failed");
  }
  RepositoryEventManager* mgr = nullptr;
  bool repost = false;
  RepositoryEventListener* toRemove = nullptr;
  bool throws = false;
  std::vector<std::string> operations;
};

class RepositoryEventTest : public testing::Test {
 protected:
  void SetUp() override { mgr_->clearEvents(); }
  void TearDown() override { setRepositoryEventManagerEnabled(true); }
  RepositoryEventManager* mgr_ = getRepositoryEventManager();
};

TEST_F(RepositoryEventTest, RecordsEveryOperationAndCanBeSwitchedOff) {
  ASSERT_NE(mgr_, nullptr);
  EXPECT_TRUE(mgr_->postObjectChange("R", 1, "Rule", 9, "u-9"));
  EXPECT_TRUE(mgr_->postRenameEvent("R", "ProfileJob", 10, "", "old", "new"));
  EXPECT_TRUE(mgr_->postUriEvent("R", "repos:///a?type=Task", 1, "obj:Task:3"));
  std::vector<RepositoryEvent> events = mgr_->getEvents();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].operation, "postObjectChange");
  EXPECT_EQ(events[0].objectType, KvbString("Rule"));
  EXPECT_EQ(events[0].objectUUID, KvbString("u-9"));
  EXPECT_EQ(events[1].changeType, -1);
  EXPECT_EQ(events[1].newName, KvbString("new"));
  EXPECT_EQ(events[2].identity, KvbString("obj:Task:3"));
  EXPECT_EQ(events[2].objectId, -1);

  setRepositoryEventManagerEnabled(false);
  EXPECT_EQ(getRepositoryEventManager(), nullptr);
  setRepositoryEventManagerEnabled(true);
  EXPECT_EQ(getRepositoryEventManager(), mgr_);
  EXPECT_STREQ(getRepositoryEventChangeTypeString(kChangeAdded), "ADDED");
  EXPECT_STREQ(getRepositoryEventChangeTypeString(kChangeUpdated), "UPDATED");
  EXPECT_STREQ(getRepositoryEventChangeTypeString(kChangeDeleted), "DELETED");
  EXPECT_STREQ(getRepositoryEventChangeTypeString(7), "UNKNOWN");
}

// A URI event names its object by URI only; its objectType is the type that
// the URI's query names, decoded, so that a listener that filters on the
// type sees deletions too.
TEST_F(RepositoryEventTest, UriEventsCarryTheTypeTheirUriNames) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"repos:///A/Nightly?type=Task", "Task"},
      {"repos://srv/Nightly?type=ProfileJob", "ProfileJob"},
      {"repos:///a%3Fb?type=Profile%20Job", "Profile Job"},
      // Escapes in hexadecimal letters, of either case.
      {"repos:///a?type=A%2fB", "A/B"},
      {"repos:///a?type=A%2FB", "A/B"},
      {"repos:///a?type=%4A", "J"},
      {"repos:///a?type=%4a", "J"},
      {"repos:///a?x=1&type=Rule&y=2", "Rule"},
      {"repos:///a?subtype=Rule", ""},
      {"repos:///a", ""},
      {"uri", ""}};
  for (const auto& c : cases)
    EXPECT_TRUE(mgr_->postUriEvent("R", c.first, kChangeDeleted, ""));
  std::vector<RepositoryEvent> events = mgr_->getEvents();
  ASSERT_EQ(events.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(events[i].objectType.str(), cases[i].second) << cases[i].first;
}

// A listener may post in turn and remove listeners; one removed during a
// notification is not called for it.
TEST_F(RepositoryEventTest, ForwardsToListenersInOrder) {
  Recorder first, second;
  first.mgr = mgr_;
  first.repost = true;
  first.toRemove = &second;
  mgr_->addListener(&first);
  mgr_->addListener(&first);
  mgr_->addListener(&second);
  mgr_->postUriEvent("R", "uri", 1, "id");
  mgr_->addListener(&second);
  first.toRemove = nullptr;
  mgr_->objectChanged("R", 0, "ProfileJob", 1, "u");
  mgr_->removeListener(&first);
  mgr_->removeListener(&second);
  mgr_->postUriEvent("R", "uri", 1, "id");
  EXPECT_EQ(first.operations,
            std::vector<std::string>(
                {"postUriEvent", "objectChanged", "postObjectEvent"}));
  EXPECT_EQ(second.operations,
            std::vector<std::string>({"postObjectEvent", "objectChanged"}));
  EXPECT_EQ(mgr_->getEvents().size(), 4u);
}

// A listener that fails fails neither the post nor the listeners after it.
TEST_F(RepositoryEventTest, AFailingListenerStopsNothing) {
  Recorder failing, after;
  failing.throws = true;
  mgr_->addListener(&failing);
  mgr_->addListener(&after);
  EXPECT_TRUE(mgr_->postObjectChange("R", kChangeDeleted, "Rule", 9, "u-9"));
  mgr_->removeListener(&failing);
  mgr_->removeListener(&after);
  EXPECT_EQ(failing.operations, std::vector<std::string>{"postObjectChange"});
  EXPECT_EQ(after.operations, std::vector<std::string>{"postObjectChange"});
}

TEST_F(RepositoryEventTest, RemovalWaitsForNotificationInFlight) {
  struct Slow : RepositoryEventListener {
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
    void onRepositoryEvent(const RepositoryEvent&) override {
      inside = true;
      std::this_thread::sleep_for(std::chrono::microseconds(50));
      ++calls;
      inside = false;
    }
  } slow;
  mgr_->addListener(&slow);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([this] {
      for (int i = 0; i < 50; ++i)
        mgr_->postObjectEvent("R", 0, "Task", i, "k");
    });
  while (slow.calls < 10) std::this_thread::yield();
  mgr_->removeListener(&slow);
  EXPECT_FALSE(slow.inside.load());
  int after = slow.calls;
  for (auto& t : threads) t.join();
  EXPECT_EQ(slow.calls.load(), after);
  EXPECT_EQ(mgr_->getEvents().size(), 200u);
}

// The record keeps the latest notifications only; listeners see them all.
TEST_F(RepositoryEventTest, RecordKeepsTheLatestNotifications) {
  struct Counter : RepositoryEventListener {
    size_t calls = 0;
    void onRepositoryEvent(const RepositoryEvent&) override { ++calls; }
  } counter;
  mgr_->addListener(&counter);
  const int posted = static_cast<int>(kRepositoryEventsKept) + 5;
  for (int i = 0; i < posted; ++i) mgr_->objectChanged("R", 0, "Rule", i, "u");
  mgr_->removeListener(&counter);
  EXPECT_EQ(counter.calls, static_cast<size_t>(posted));
  const std::vector<RepositoryEvent> kept = mgr_->getEvents();
  ASSERT_EQ(kept.size(), kRepositoryEventsKept);
  EXPECT_EQ(kept.front().objectId, 5);
  EXPECT_EQ(kept.back().objectId, posted - 1);
}

TEST(ObjectNameTest, InvalidCharactersAreReplaced) {
  EXPECT_FALSE(isInvalidCharInName("Rule 1 (copy) \xc3\xa9"));
  EXPECT_FALSE(isInvalidCharInName(KvbString()));
  for (const char* bad : {"a/b", "a\\b", "tab\there", "del\x7f"})
    EXPECT_TRUE(isInvalidCharInName(bad)) << bad;

  KvbString out;
  ASSERT_TRUE(getNormalizedNameValue(KvbString("A/B\\C\nD\0E", 9), out));
  EXPECT_EQ(out, KvbString("A_B_C_D_E"));
  // Multi-byte characters survive intact.
  ASSERT_TRUE(
      getNormalizedNameValue("Gr\xc3\xb6\xc3\x9f"
                             "e/\xe2\x82\xac",
                             out));
  EXPECT_EQ(out, KvbString("Gr\xc3\xb6\xc3\x9f"
                           "e_\xe2\x82\xac"));
  EXPECT_FALSE(isInvalidCharInName(out));

  out = "kept";
  EXPECT_FALSE(getNormalizedNameValue(KvbString(), out));
  EXPECT_FALSE(getNormalizedNameValue("", out));
  EXPECT_EQ(out, KvbString("kept"));
}

}  // namespace
