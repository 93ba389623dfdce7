// The engine's promises across connections hold whatever default isolation
// the database sets for its sessions: each case runs on a database of its
// own, made for it, whose default is read committed, repeatable read or
// serializable (ALTER DATABASE ... SET default_transaction_isolation), as
// the instantiation's name says, or whose sessions the connection string
// makes serializable. The interleavings are forced as in
// unique_across_connections_test.cpp: the first connection writes inside a
// host transaction and commits once the second is seen waiting in the
// server's table of locks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "access/common_rdaimpl.h"
#include "access/meta_rdaimpl.h"
#include "monitor/monitor_rdaimpl.h"
#include "support/connection_stores.h"
#include "support/connection_waits.h"
#include "support/log_capture.h"

namespace {

// A host transaction begun through `common` holds the others' writes too.
using Writer = Stores;

// A kind of object: its add (the new id, -1 on failure), its rename and
// its delete (null: none).
struct Kind {
  const char* name;
  const char* table;
  const char* nameColumn;
  bool unique;  // no two objects of the kind share a name
  std::function<int(Writer&, const KvbString&)> add;
  std::function<bool(Writer&, int, const KvbString&)> rename;
  std::function<bool(Writer&, int)> remove;
};

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> all = {
      {"rule", "RULE", "RU_DESC", true,
       [](Writer& w, const KvbString& name) {
         return w.common->addRule(name, "t", "e", "g", "m", "u", "", 0, "", "");
       },
       [](Writer& w, int id, const KvbString& name) {
         return w.common->updateRule(id, name, "t", "e", "g", "m", "u", 1, 1,
                                     "u", "", 0, "", "");
       },
       [](Writer& w, int id) { return w.common->deleteRule(id); }},
      {"report group", "RPTGRP", "GRP_NAME", true,
       [](Writer& w, const KvbString& name) {
         int id = -1;
         return w.monitor->addReportGroup(name, "", 1, 1, 1, KvbDate(), "u", "",
                                          0, &id)
                    ? id
                    : -1;
       },
       [](Writer& w, int id, const KvbString& name) {
         return w.monitor->updateReportGroup(id, name, KvbString(), -1, -1, -1,
                                             KvbDate(), "u", -1);
       },
       [](Writer& w, int id) { return w.monitor->deleteReportGroup(id); }},
      {"folder", "FOLDER", "FLDR_NAM", true,
       [](Writer& w, const KvbString& name) {
         int id = -1;
         return w.meta->addFolder(0, name, id) ? id : -1;
       },
       [](Writer& w, int id, const KvbString& name) {
         return w.meta->renameFolder(id, name);
       },
       nullptr},
      // Each write of a source is one statement outside a transaction.
      {"source", "EXSRC", "ES_NAME", false,
       [](Writer& w, const KvbString& name) {
         int id = -1;
         return w.monitor->addSource(name, "", "u", 0, &id) ? id : -1;
       },
       [](Writer& w, int id, const KvbString& name) {
         return w.monitor->updateSource(id, name, "u", 0);
       },
       [](Writer& w, int id) { return w.monitor->deleteSource(id); }},
  };
  return all;
}

// The default isolations, by the name of the instantiation: set for the
// case's database, or by the connection string for its sessions.
struct Level {
  const char* instantiation;
  const char* setting;
  bool byConnectionString;
};
const Level kLevels[] = {
    {"ReadCommitted", "read committed", false},
    {"RepeatableRead", "repeatable read", false},
    {"Serializable", "serializable", false},
    {"SerializableByConnectionString", "serializable", true}};

// What the second connection's call answered.
struct Answer {
  bool done = false;
  std::string text;
};

class IsolationLevelsTest : public WaitingTargetTest {
 protected:
  // Makes the case's database with the instantiation's default isolation
  // and points the test's connection string at it, for the fixture's
  // schema and every connection of the case.
  void SetUp() override {
    main_ = postgresConnectionString();
    if (!main_.empty()) {
      const std::string suite = ::testing::UnitTest::GetInstance()
                                    ->current_test_info()
                                    ->test_suite_name();
      for (const Level& l : kLevels)
        if (suite.rfind(std::string(l.instantiation) + "/", 0) == 0)
          level_ = &l;
      ASSERT_NE(level_, nullptr) << suite;
      if (level_->byConnectionString) {
        setenv("KV_TEST_PG_CONNECTION",
               (main_ + (main_.back() == ';' ? "" : ";") +
                "ConnSettings=SET default_transaction_isolation TO " +
                level_->setting + ";")
                   .c_str(),
               1);
        WaitingTargetTest::SetUp();
        return;
      }
      std::smatch found;
      const std::regex database("(^|;)Database=([^;]*)", std::regex::icase);
      ASSERT_TRUE(std::regex_search(main_, found, database)) << main_;
      database_ = uniqueTestName((found[2].str() + "_iso").c_str());
      ASSERT_TRUE(runOnPostgres("CREATE DATABASE " + database_ + " TEMPLATE template0"));
      ASSERT_TRUE(runOnPostgres("ALTER DATABASE " + database_ +
                                " SET default_transaction_isolation = '" +
                                level_->setting + "'"));
      setenv("KV_TEST_PG_CONNECTION",
             std::regex_replace(main_, database, "$1Database=" + database_)
                 .c_str(),
             1);
    }
    WaitingTargetTest::SetUp();
  }
  void TearDown() override {
    WaitingTargetTest::TearDown();
    if (!main_.empty()) setenv("KV_TEST_PG_CONNECTION", main_.c_str(), 1);
    if (!database_.empty())
      runOnPostgres("DROP DATABASE " + database_ + " WITH (FORCE)");
  }

  // Runs `body` with the writers of two connections.
  void twoWriters(const std::function<void(Writer& first, Writer& second)>&
                      body) {
    ReposDataAccess* a = open();
    ReposDataAccess* b = open();
    if (a && b) {
      Writer first(a);
      Writer second(b);
      body(first, second);
    } else {
      ADD_FAILURE() << "a connection could not be opened";
    }
    if (a) a->release();
    if (b) b->release();
  }
  // `write` of the second writer on a thread of its own while the first
  // holds the host transaction in which it ran `hold` (which must succeed);
  // the first commits once the second waits.
  Answer whileFirstHolds(Writer& first, Writer& second,
                         const std::function<bool()>& hold,
                         const std::function<bool()>& write) {
    Answer answer;
    if (!first.common->beginTransaction(0, 0)) {
      ADD_FAILURE() << first.why();
      return answer;
    }
    if (!hold()) {
      ADD_FAILURE() << first.why();
      first.common->endTransaction(false);
      return answer;
    }
    ConnectionWaits waits(rda_, second.rda, true);
    const bool inTime = attemptWhileHeld<Answer>(
        waits, LetGo::kOnceItWaits,
        [&](bool commit) {
          EXPECT_TRUE(first.common->endTransaction(commit)) << first.why();
        },
        [&] { return Answer{write(), second.why()}; }, &answer);
    EXPECT_TRUE(inTime) << "the second writer never waited";
    return answer;
  }
  int named(const Kind& kind, const std::string& name) {
    return count(kind.table, std::string(kind.nameColumn) + "=?",
                 {name.c_str()});
  }

  const Level* level_ = nullptr;
  std::string main_;      // the connection string of the server's database
  std::string database_;  // the case's database
  LogCapture log_;        // keeps the expected refusals off the console
};

// Adds of distinct names each draw an id while another add holds the
// counter; an add of a name that another connection has just stored is
// refused with the text that it gets once that name is stored.
TEST_P(IsolationLevelsTest, AddsTakeTurnsAndDrawDistinctIds) {
  twoWriters([&](Writer& first, Writer& second) {
    for (const Kind& kind : kinds()) {
      if (!kind.unique) continue;
      SCOPED_TRACE(kind.name);
      const Answer distinct = whileFirstHolds(
          first, second, [&] { return kind.add(first, "A") > 0; },
          [&] { return kind.add(second, "B") > 0; });
      EXPECT_TRUE(distinct.done) << distinct.text;
      EXPECT_EQ(named(kind, "B"), 1);
      const Answer same = whileFirstHolds(
          first, second, [&] { return kind.add(first, "S") > 0; },
          [&] { return kind.add(second, "S") > 0; });
      EXPECT_FALSE(same.done) << "stored twice";
      EXPECT_EQ(named(kind, "S"), 1);
      EXPECT_LT(kind.add(second, "S"), 0);
      EXPECT_EQ(same.text, second.why());
    }
  });
}

// Two renames to one name: the second waits for the first's turn, then
// finds the name taken.
TEST_P(IsolationLevelsTest, RenamesToOneNameStoreItOnce) {
  twoWriters([&](Writer& first, Writer& second) {
    for (const Kind& kind : kinds()) {
      if (!kind.unique) continue;
      SCOPED_TRACE(kind.name);
      const int mine = kind.add(first, "R1");
      const int theirs = kind.add(second, "R2");
      ASSERT_TRUE(mine > 0 && theirs > 0) << first.why() << second.why();
      const Answer got = whileFirstHolds(
          first, second, [&] { return kind.rename(first, mine, "M"); },
          [&] { return kind.rename(second, theirs, "M"); });
      EXPECT_FALSE(got.done) << "stored twice";
      EXPECT_EQ(named(kind, "M"), 1);
      EXPECT_FALSE(kind.rename(second, theirs, "M"));
      EXPECT_EQ(got.text, second.why());
    }
  });
}

// A delete that waits for an update of its object deletes it; an update
// that waits for the delete of its object is refused because the object
// does not exist. Every refusal names its object.
TEST_P(IsolationLevelsTest, DeletesAndUpdatesOfOneObjectBothAnswer) {
  twoWriters([&](Writer& first, Writer& second) {
    for (const Kind& kind : kinds()) {
      if (!kind.remove) continue;
      SCOPED_TRACE(kind.name);
      // Report group 1 is the default dashboard, which is never deleted.
      ASSERT_GT(kind.add(first, "D0"), 0) << first.why();
      const int updated = kind.add(first, "D1");
      ASSERT_GT(updated, 0) << first.why();
      const Answer deleted = whileFirstHolds(
          first, second, [&] { return kind.rename(first, updated, "D2"); },
          [&] { return kind.remove(second, updated); });
      EXPECT_TRUE(deleted.done) << deleted.text;
      EXPECT_EQ(named(kind, "D2"), 0);
      const int removed = kind.add(first, "D3");
      ASSERT_GT(removed, 0) << first.why();
      const Answer renamed = whileFirstHolds(
          first, second, [&] { return kind.remove(first, removed); },
          [&] { return kind.rename(second, removed, "D4"); });
      EXPECT_FALSE(renamed.done);
      EXPECT_NE(renamed.text.find(std::to_string(removed) + " does not exist"),
                std::string::npos)
          << renamed.text;
      EXPECT_EQ(named(kind, "D4"), 0);
    }
  });
}

// A write that names an object and a delete of that object, each waiting
// for the other: the delete that comes second removes the row that names
// its object; the write that comes second is refused as naming a missing
// object.
TEST_P(IsolationLevelsTest, AReferenceAndADeleteOfItsObjectNeverBothHold) {
  const Kind& rule = kinds().front();
  const auto refer = [](Writer& w, int id) {
    return w.common->addRuleField(id, "F", "d");
  };
  twoWriters([&](Writer& first, Writer& second) {
    const int named = rule.add(first, "F1");
    ASSERT_GT(named, 0) << first.why();
    const Answer deleted = whileFirstHolds(
        first, second, [&] { return refer(first, named); },
        [&] { return rule.remove(second, named); });
    EXPECT_TRUE(deleted.done) << deleted.text;
    EXPECT_EQ(count("RUFIME", "RU_ID=?", {named}), 0);
    const int gone = rule.add(first, "F2");
    ASSERT_GT(gone, 0) << first.why();
    const Answer referred = whileFirstHolds(
        first, second, [&] { return rule.remove(first, gone); },
        [&] { return refer(second, gone); });
    EXPECT_FALSE(referred.done);
    EXPECT_NE(referred.text.find("Rule " + std::to_string(gone) +
                                 " does not exist"),
              std::string::npos)
        << referred.text;
    EXPECT_EQ(count("RUFIME", "RU_ID=?", {gone}), 0);
  });
}

// A statement that a host runs outside a transaction waits for another
// connection's update of its row and then changes the row as it is.
TEST_P(IsolationLevelsTest, AHostStatementOutsideATransactionWaitsAndRuns) {
  const Kind& rule = kinds().front();
  twoWriters([&](Writer& first, Writer& second) {
    const int id = rule.add(first, "O1");
    ASSERT_GT(id, 0) << first.why();
    const KvbString update =
        "UPDATE " + KvbString(table("RULE")) + " SET RU_TYPE = ? WHERE RU_ID = ?";
    const KvbDatavar key(id), held("held"), host("host");
    int rows = 0;
    const Answer got = whileFirstHolds(
        first, second,
        [&] { return first.rda->paramExec(update, nullptr, 2, &held, &key); },
        [&] { return second.rda->paramExec(update, &rows, 2, &host, &key); });
    EXPECT_TRUE(got.done) << got.text;
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(count("RULE", "RU_TYPE='host'"), 1);
  });
}

// A host transaction sees what other connections committed before each of
// its calls: a name stored meanwhile is refused. A host transaction that
// the host made stricter itself and that the server cannot serialize with
// another is rolled back whole, and every call until its end says so.
TEST_P(IsolationLevelsTest, AHostTransactionSeesCommitsAndIsToldOfItsLoss) {
  const Kind& rule = kinds().front();
  twoWriters([&](Writer& first, Writer& second) {
    const int renamed = rule.add(first, "H0");
    ASSERT_GT(renamed, 0) << first.why();
    // The host's first write takes the turn of another table than RULE.
    const Kind& folder = kinds()[2];
    ASSERT_TRUE(second.common->beginTransaction(0, 0));
    ASSERT_GT(folder.add(second, "H1"), 0) << second.why();
    ASSERT_TRUE(rule.rename(first, renamed, "H2")) << first.why();
    EXPECT_LT(rule.add(second, "H2"), 0) << "stored twice";
    EXPECT_TRUE(second.common->endTransaction(true)) << second.why();
    EXPECT_EQ(named(rule, "H2"), 1);

    // A statement outside a transaction runs at the default; a host
    // transaction at read committed, whatever the default. Behind a pooler
    // a default that the connection string sets for its session
    // (ConnSettings) is in force only in the server session where the
    // driver set it, which the next statement need not reach.
    const KvbString isolation =
        "SELECT current_setting('transaction_isolation')";
    if (!level_->byConnectionString || !postgresThroughPooler()) {
      EXPECT_EQ(cursorRows(second.rda->paramSelect(isolation, 0)),
                std::vector<std::string>{level_->setting});
    }
    ASSERT_TRUE(second.common->beginTransaction(0, 0));
    EXPECT_EQ(cursorRows(second.rda->paramSelect(isolation, 0)),
              std::vector<std::string>{"read committed"});
    EXPECT_TRUE(second.common->endTransaction(true)) << second.why();
    // The host makes its transaction stricter as its first statement,
    // which only a default of read committed on a direct connection leaves
    // to it: behind a pooler every transaction sets its own isolation and
    // lock timeout first.
    if (std::string(level_->setting) != "read committed" ||
        postgresThroughPooler())
      return;
    const int id = rule.add(first, "H3");
    ASSERT_GT(id, 0) << first.why();
    ASSERT_TRUE(second.common->beginTransaction(0, 0));
    ASSERT_TRUE(second.rda->paramExec(
        "SET TRANSACTION ISOLATION LEVEL REPEATABLE READ", nullptr, 0))
        << second.why();
    EXPECT_EQ(cursorRows(second.rda->paramSelect(
                  "SELECT COUNT(*) FROM " + KvbString(table("RULE")), 0))
                  .size(),
              1u);
    ASSERT_TRUE(rule.rename(first, id, "H4")) << first.why();
    EXPECT_FALSE(rule.rename(second, id, "H5"));
    const std::string text = second.why();
    EXPECT_EQ(text.find("The transaction was rolled back whole: the server "
                        "could not serialize it with another connection's "
                        "transaction, which changed what it read or wrote: "
                        "[40001] "),
              0u)
        << text;
    EXPECT_LT(rule.add(second, "H6"), 0);
    EXPECT_EQ(second.why(), text);
    EXPECT_FALSE(second.common->endTransaction(true));
    EXPECT_EQ(second.why(), text);
    EXPECT_EQ(named(rule, "H4"), 1);
    EXPECT_EQ(named(rule, "H6"), 0);
    // The connection goes on.
    EXPECT_TRUE(rule.rename(second, id, "H7")) << second.why();
  });
}

// Only a server has isolation levels to set.
#define INSTANTIATE_AT_LEVEL(level)                                        \
  INSTANTIATE_TEST_SUITE_P(level, IsolationLevelsTest,                     \
                           ::testing::Values(RdaTarget::kPostgres),       \
                           rdaTargetName)
INSTANTIATE_AT_LEVEL(ReadCommitted);
INSTANTIATE_AT_LEVEL(RepeatableRead);
INSTANTIATE_AT_LEVEL(Serializable);
INSTANTIATE_AT_LEVEL(SerializableByConnectionString);

}  // namespace
