// Names and UUIDs that no two objects share hold across connections and
// processes, on every back end: of two connections that add or rename to
// one name (or one UUID) at the same moment, the second waits for the first
// and is refused with the usual text, and one row holds the value. The
// interleaving is forced: the first writes inside a host transaction and
// commits only once the second is seen waiting (on a server, in its table
// of locks). A wait that passes the busy timeout is refused with a text
// that says whose turn it waited for and how long. On a server, every
// spelling of a prefix that reaches one set of tables takes the same turns.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "access/common_rdaimpl.h"
#include "access/meta_rdaimpl.h"
#include "monitor/monitor_rdaimpl.h"
#include "profile/prof_rdaimpl.h"
#include "support/child_processes.h"
#include "support/connection_stores.h"
#include "support/connection_waits.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {


// The id that an add gives through its last argument; -1 when it fails.
template <class Add>
int idOf(const Add& add) {
  int id = -1;
  return add(&id) ? id : -1;
}

// The rule, execution, job and alert that the writes of addOnceWrites name.
constexpr int kParent = 900;

// `text` in upper case.
std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(c));
  return text;
}

// Tables that a case makes in the schema "public" under a table prefix of
// its own, which the server finds by its search path; dropped at the end.
struct PublicTables {
  explicit PublicTables(std::string bare) : prefix(std::move(bare)) {}
  ~PublicTables() {
    runOnPostgres(
        "DO $$DECLARE t text; BEGIN FOR t IN SELECT tablename FROM pg_tables "
        "WHERE schemaname = 'public' AND left(tablename, " +
        std::to_string(prefix.size()) + ") = '" + prefix +
        "' LOOP EXECUTE 'DROP TABLE public.' || quote_ident(t); END LOOP; "
        "END$$");
  }
  PublicTables(const PublicTables&) = delete;
  PublicTables& operator=(const PublicTables&) = delete;
  const std::string prefix;  // lower case
};

// A kind of object with a name or UUID that no two of its objects share,
// and the calls that write it; a null column or call: the kind has no such
// key, or no such way to write it.
struct Kind {
  const char* name;
  const char* table;
  const char* nameColumn;
  const char* uuidColumn;
  // Adds an object named `name` with UUID `uuid` (empty: none); its id.
  std::function<int(Stores&, const KvbString& name, const KvbString& uuid)> add;
  // Renames object `id`.
  std::function<bool(Stores&, int id, const KvbString& name)> rename;
  // Gives object `id`, named `name`, the UUID `uuid`.
  std::function<bool(Stores&, int id, const KvbString& name,
                     const KvbString& uuid)>
      giveUuid;
};

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> all = {
      {"rule", "RULE", "RU_DESC", "RU_UUID",
       [](Stores& s, const KvbString& name, const KvbString& uuid) {
         return s.common->addRule(name, "t", "e", "g", "m", "u", uuid, 0, "",
                                  "");
       },
       [](Stores& s, int id, const KvbString& name) {
         return s.common->updateRule(id, name, "t", "e", "g", "m", "u", 1, 1,
                                     "u", "", 0, "", "");
       },
       [](Stores& s, int id, const KvbString& name, const KvbString& uuid) {
         return s.common->updateRule(id, name, "t", "e", "g", "m", "u", 1, 1,
                                     "u", uuid, 0, "", "");
       }},
      {"custom metric", "CUSTM", "CM_DESC", nullptr,
       [](Stores& s, const KvbString& name, const KvbString&) {
         return s.common->addCustomMetric(name, "", "e", "");
       },
       [](Stores& s, int id, const KvbString& name) {
         return s.common->updateCustomMetric(id, name, "", "e", "", "");
       },
       nullptr},
      {"report group", "RPTGRP", "GRP_NAME", "UUID",
       [](Stores& s, const KvbString& name, const KvbString& uuid) {
         return idOf([&](int* id) {
           return s.monitor->addReportGroup(name, "", 1, 1, 1, KvbDate(), "u",
                                            uuid, 0, id);
         });
       },
       [](Stores& s, int id, const KvbString& name) {
         return s.monitor->updateReportGroup(id, name, KvbString(), -1, -1, -1,
                                             KvbDate(), "u", -1);
       },
       nullptr},
      {"dimension", "DIMENS", "DIM_NAME", "UUID",
       [](Stores& s, const KvbString& name, const KvbString& uuid) {
         return idOf([&](int* id) {
           return s.monitor->addDimension(name, "", "u", uuid, 0, id);
         });
       },
       [](Stores& s, int id, const KvbString& name) {
         return s.monitor->updateDimension(id, name, KvbString(), "u", -1);
       },
       nullptr},
      {"threshold", "THRHLD", "THR_NAME", "UUID",
       [](Stores& s, const KvbString& name, const KvbString& uuid) {
         return idOf([&](int* id) {
           return s.monitor->addThreshold(name, "", "u", uuid, 0, 0, nullptr,
                                          nullptr, nullptr, nullptr, id);
         });
       },
       [](Stores& s, int id, const KvbString& name) {
         return s.monitor->updateThreshold(id, name, KvbString(), "u", -1, 0,
                                           nullptr, nullptr, nullptr, nullptr);
       },
       nullptr},
      {"profile job", "JSETUP", "SU_NAME", "SU_UUID",
       [](Stores& s, const KvbString& name, const KvbString& uuid) {
         return s.profile->addProfileJob(name, "", uuid, 1, 1, "u", "u", 0);
       },
       [](Stores& s, int id, const KvbString& name) {
         return s.profile->updateProfileJob(id, name, "", KvbDate(1), "u", 0);
       },
       nullptr},
      // A task's code is its UUID; task names need not be unique.
      {"task", "MJOB", nullptr, "JB_CODE",
       [](Stores& s, const KvbString& name, const KvbString& code) {
         return idOf([&](int* id) {
           return s.monitor->addTask(name, code, "u", 0, "", "", id);
         });
       },
       nullptr,
       [](Stores& s, int id, const KvbString& name, const KvbString& code) {
         return s.monitor->updateTask(id, name, code, "u", KvbDate(1), "u",
                                      KvbDate(1), 0, "", "");
       }},
      {"source", "EXSRC", nullptr, "ES_UUID",
       [](Stores& s, const KvbString& name, const KvbString& uuid) {
         return idOf([&](int* id) {
           return s.monitor->addSource(name, uuid, "u", 0, id);
         });
       },
       nullptr, nullptr},
      {"folder", "FOLDER", "FLDR_NAM", nullptr,
       [](Stores& s, const KvbString& name, const KvbString&) {
         return idOf([&](int* id) { return s.meta->addFolder(0, name, *id); });
       },
       [](Stores& s, int id, const KvbString& name) {
         return s.meta->renameFolder(id, name);
       },
       nullptr},
  };
  return all;
}

// The ways two writers come to one value: each adds an object with it, or
// each changes an object of its own (made first) to it.
enum class Way { kAddName, kAddUuid, kRename, kGiveUuid };

struct Case {
  const Kind* kind;
  Way way;
  std::string what() const {
    static const char* const kWays[] = {"same name added", "same UUID added",
                                        "two renames to one name",
                                        "two updates to one UUID"};
    return std::string(kind->name) + ", " + kWays[static_cast<int>(way)];
  }
  // The column that must hold the value once.
  const char* column() const {
    return way == Way::kAddName || way == Way::kRename ? kind->nameColumn
                                                       : kind->uuidColumn;
  }
  // Whether the kind has this way.
  bool exists() const {
    switch (way) {
      case Way::kAddName:
        return kind->nameColumn;
      case Way::kAddUuid:
        return kind->uuidColumn;
      case Way::kRename:
        return static_cast<bool>(kind->rename);
      default:
        return static_cast<bool>(kind->giveUuid);
    }
  }
  // The object of writer `who` that a change changes, named and keyed by a
  // value of its own; -1 on failure.
  int make(Stores& s, const std::string& value, int who) const {
    const KvbString own = (value + "-" + std::to_string(who)).c_str();
    return kind->add(s, own, own);
  }
  // Writer `who` writes `value`, to object `id` when the way changes one.
  bool write(Stores& s, const std::string& value, int who, int id) const {
    const KvbString own = (value + "-" + std::to_string(who)).c_str();
    switch (way) {
      case Way::kAddName:
        return kind->add(s, value.c_str(), "") > 0;
      case Way::kAddUuid:
        return kind->add(s, own, value.c_str()) > 0;
      case Way::kRename:
        return kind->rename(s, id, value.c_str());
      default:
        return kind->giveUuid(s, id, own, value.c_str());
    }
  }
  bool changes() const { return way == Way::kRename || way == Way::kGiveUuid; }
};

std::vector<Case> cases() {
  std::vector<Case> all;
  for (const Kind& kind : kinds())
    for (Way way : {Way::kAddName, Way::kAddUuid, Way::kRename, Way::kGiveUuid})
      if (Case{&kind, way}.exists()) all.push_back({&kind, way});
  return all;
}

// What the second writer's call gave.
struct Answer {
  bool written = false;
  std::string text;
};

// Writes that add a row unless one is there, and otherwise change it or
// leave it: the second writer finds the first's row, and both succeed.
struct AddOnce {
  const char* what;
  const char* table;
  const char* where;  // the rows that must be one, by the value bound
  std::function<bool(Stores&, const KvbString& value)> write;
};

class UniqueAcrossConnectionsTest : public WaitingTargetTest {
 protected:
  // A connection whose waits end after `timeoutMs` (0: the default).
  ReposDataAccess* openWaiting(int timeoutMs) {
    if (timeoutMs > 0)
      kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT",
                                   std::to_string(timeoutMs).c_str());
    ReposDataAccess* rda = open();
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    return rda;
  }
  // The second writer's `write` on a thread of its own, while the first
  // holds its host transaction, begun through `first`; the first commits
  // as `letGo` says, or rolls back when the second neither waits nor ends
  // within 20 s.
  Answer whileFirstHolds(Stores& first, Stores& second, LetGo letGo,
                         const std::function<bool()>& write) {
    ConnectionWaits waits(rda_, second.rda, isPostgres());
    Answer answer;
    const bool inTime = attemptWhileHeld<Answer>(
        waits, letGo,
        [&](bool commit) { first.common->endTransaction(commit); },
        [&] {
          Answer got;
          got.written = write();
          got.text = second.why();
          return got;
        },
        &answer);
    if (!inTime) answer.text = "still waiting after 20 s; " + answer.text;
    return answer;
  }
  // Runs `body` with the stores of two connections, the second's waits
  // ending after `timeoutMs` (0: the default).
  void twoWriters(
      int timeoutMs,
      const std::function<void(Stores& first, Stores& second)>& body) {
    ReposDataAccess* a = open();
    ReposDataAccess* b = openWaiting(timeoutMs);
    if (a && b) {
      Stores first(a);
      Stores second(b);
      body(first, second);
    } else {
      ADD_FAILURE() << "a connection could not be opened";
    }
    if (a) a->release();
    if (b) b->release();
  }
  // The rows of table `code` whose `column` holds `value`.
  int holding(const char* code, const char* column, const std::string& value) {
    return count(code, std::string(column) + "=?", {value.c_str()});
  }
  // Runs `body` with the helpers (exec, count) on the repository that
  // `connection` reaches.
  template <class Body>
  auto on(ReposDataAccess* connection, const Body& body) {
    ReposDataAccess* const own = db_;
    db_ = connection;
    struct Back {
      ReposDataAccess*& db;
      ReposDataAccess* own;
      ~Back() { db = own; }
    } back{db_, own};
    return body();
  }
  // Writer `first` writes `value` in a transaction of its own, and the
  // second writes it meanwhile: the second waits, is refused with the text
  // that the same write gets once the first is stored, and one row holds
  // the value.
  void secondIsRefused(Stores& first, Stores& second, const Case& c,
                       const std::string& value) {
    const int firstId = c.changes() ? c.make(first, value, 0) : 0;
    const int secondId = c.changes() ? c.make(second, value, 1) : 0;
    ASSERT_TRUE(firstId >= 0 && secondId >= 0) << first.why();
    ASSERT_TRUE(first.common->beginTransaction(0, 0));
    const bool wrote = c.write(first, value, 0, firstId);
    if (!wrote) first.common->endTransaction(false);
    ASSERT_TRUE(wrote) << first.why();
    const Answer got = whileFirstHolds(first, second, LetGo::kOnceItWaits, [&] {
      return c.write(second, value, 1, secondId);
    });
    EXPECT_FALSE(got.written) << "stored twice";
    EXPECT_EQ(on(first.rda,
                 [&] { return holding(c.kind->table, c.column(), value); }),
              1);
    EXPECT_FALSE(c.write(second, value, 1, secondId));
    EXPECT_EQ(got.text, second.why());
  }
  // The same for a write that adds a row unless one is there: the second
  // finds the first's row, both succeed, and one row holds the value.
  void secondFindsTheRow(Stores& first, Stores& second, const AddOnce& w,
                         const std::string& text) {
    const KvbString value = text.c_str();
    ASSERT_TRUE(first.common->beginTransaction(0, 0));
    const bool wrote = w.write(first, value);
    if (!wrote) first.common->endTransaction(false);
    ASSERT_TRUE(wrote) << first.why();
    const Answer got = whileFirstHolds(first, second, LetGo::kOnceItWaits,
                                       [&] { return w.write(second, value); });
    EXPECT_TRUE(got.written) << got.text;
    EXPECT_EQ(on(first.rda, [&] { return count(w.table, w.where, {value}); }),
              1);
  }
  // The rows that the writes of addOnceWrites name (rule, execution, job
  // and alert kParent), past the ids that adds hand out.
  void storeParents() {
    const std::string id = std::to_string(kParent);
    exec("INSERT INTO " + table("RULE") + " (RU_ID) VALUES (" + id + ")");
    exec("INSERT INTO " + table("EXEC") + " (EX_ID) VALUES (" + id + ")");
    exec("INSERT INTO " + table("JSETUP") + " (SU_ID) VALUES (" + id + ")");
    exec("INSERT INTO " + table("JALERT") + " (AL_ID, SU_ID) VALUES (" + id +
         ", " + id + ")");
  }
  LogCapture log_;  // keeps the expected refusals off the console
};

TEST_P(UniqueAcrossConnectionsTest, TheSecondWriterWaitsAndIsRefused) {
  twoWriters(0, [&](Stores& first, Stores& second) {
    int round = 0;
    for (const Case& c : cases()) {
      SCOPED_TRACE(c.what());
      secondIsRefused(first, second, c, "X" + std::to_string(++round));
    }
  });
}

const std::vector<AddOnce>& addOnceWrites() {
  static const std::vector<AddOnce> all = {
      {"object lock", "OBJLCK", "OBJ_TYPE=?",
       [](Stores& s, const KvbString& type) {
         return s.meta->lockObject(7, type, "u", "uuid");
       }},
      {"field of a rule", "MFLD", "FI_NAME=?",
       [](Stores& s, const KvbString& field) {
         return s.common->addRuleField(kParent, field, "d");
       }},
      {"link of a rule to a field", "RUFIME", "FI_NAME=?",
       [](Stores& s, const KvbString& field) {
         return s.common->addRuleField(kParent, field, "d");
       }},
      {"key value", "KEYVAL", "V_KEY=?",
       [](Stores& s, const KvbString& key) {
         return s.common->setKeyValue(key, "v");
       }},
      {"job alert property", "JALPRP", "AP_NAME=?",
       [](Stores& s, const KvbString& name) {
         return s.profile->setJobAlertProperty(kParent, kParent, name, "v");
       }},
      {"execution property", "EXPROP", "PR_NAME=?",
       [](Stores& s, const KvbString& name) {
         return s.monitor->setExecutionProperty(kParent, kParent, name, "v",
                                                true);
       }},
  };
  return all;
}

TEST_P(UniqueAcrossConnectionsTest, TheSecondWriterFindsTheFirstsRow) {
  storeParents();
  const std::vector<AddOnce>& writes = addOnceWrites();
  twoWriters(0, [&](Stores& first, Stores& second) {
    // The rule that the fields are linked to.
    ASSERT_EQ(first.common->addRule("R", "t", "", "", "", "u", "", 0, "", ""),
              1)
        << first.why();
    int round = 0;
    for (const AddOnce& w : writes) {
      SCOPED_TRACE(w.what);
      secondFindsTheRow(first, second, w, "V" + std::to_string(++round));
    }
  });
}

// On a server, two connections whose table prefixes are spelled apart but
// reach one set of tables (unquoted names fold to lower case; a schema
// left out is found by the search path) take one turn for each table: each
// write of the tables above stores its value once.
TEST_P(UniqueAcrossConnectionsTest, SpellingsOfOnePrefixTakeOneTurn) {
  if (!isPostgres()) GTEST_SKIP() << "SQLite has no prefixes to spell apart";
  const PublicTables bare(uniqueTestName("pu"));
  ReposDataAccess* maker = open(bare.prefix.c_str());
  ASSERT_NE(maker, nullptr);
  TableCreateOptions options;
  options.createTables = true;
  const bool made = maker->createTables(options);
  if (made) on(maker, [&] { storeParents(); });
  maker->release();
  ASSERT_TRUE(made);
  storeParents();
  struct Spelling {
    const char* what;
    std::string first, second;
  };
  const std::vector<Spelling> spellings = {
      {"ab and AB", bare.prefix, upper(bare.prefix)},
      {"Ab and ab", upper(bare.prefix.substr(0, 1)) + bare.prefix.substr(1),
       bare.prefix},
      {"public.ab and ab", "public." + bare.prefix, bare.prefix},
      {"s1.ab and S1.AB", prefix_, upper(prefix_)},
  };
  const std::vector<Case> refused = {{&kinds()[0], Way::kAddName},
                                     {&kinds()[1], Way::kRename},
                                     {&kinds().back(), Way::kAddName}};
  int round = 0;
  for (const Spelling& spelling : spellings) {
    SCOPED_TRACE(spelling.what);
    ReposDataAccess* a = open(spelling.first.c_str());
    ReposDataAccess* b = open(spelling.second.c_str());
    if (a && b) {
      Stores first(a);
      Stores second(b);
      for (const Case& c : refused) {
        SCOPED_TRACE(c.what());
        secondIsRefused(first, second, c, "S" + std::to_string(++round));
      }
      for (const AddOnce& w : addOnceWrites()) {
        SCOPED_TRACE(w.what);
        secondFindsTheRow(first, second, w, "S" + std::to_string(++round));
      }
    }
    if (a) a->release();
    if (b) b->release();
  }
}

TEST_P(UniqueAcrossConnectionsTest, AWaitPastTheBusyTimeoutIsRefusedWhole) {
  twoWriters(300, [&](Stores& first, Stores& second) {
    int round = 0;
    // Each kind's add, by its name or else its UUID: every look-up that
    // takes a table's turn refuses the write whose turn did not come.
    for (const Kind& kind : kinds()) {
      const Case add{&kind, kind.nameColumn ? Way::kAddName : Way::kAddUuid};
      SCOPED_TRACE(add.what());
      const std::string value = "W" + std::to_string(++round);
      ASSERT_TRUE(first.common->beginTransaction(0, 0));
      ASSERT_TRUE(add.write(first, value, 0, 0)) << first.why();
      std::vector<std::string> records;
      const Answer got =
          whileFirstHolds(first, second, LetGo::kOnceItEnds, [&] {
            bool added = false;
            records = log_.failuresDuring(
                [&] { added = add.write(second, value, 1, 0); }, true);
            return added;
          });
      EXPECT_FALSE(got.written);
      EXPECT_NE(got.text.find("(SQLITE/BUSY_TIMEOUT)"), std::string::npos)
          << got.text;
      if (isPostgres()) {
        // A SQLite connection waits at its begin, which says so already.
        const std::string lead = "The table " + table(kind.table) +
                                 " is being written by another connection; "
                                 "this write waited ";
        ASSERT_EQ(got.text.find(lead), 0u) << got.text;
        // The wait timed is the one that the server bounds by the timeout,
        // and its reason follows from its SQLSTATE on.
        EXPECT_GE(std::atoi(got.text.c_str() + lead.size()), 300) << got.text;
        EXPECT_NE(got.text.find(" ms for its turn (SQLITE/BUSY_TIMEOUT): "
                                "[55P03] "),
                  std::string::npos)
            << got.text;
        EXPECT_EQ(records, std::vector<std::string>{"5 " + got.text});
      }
      // Nothing of the refused add stays.
      EXPECT_EQ(holding(kind.table, add.column(), value), 1);
    }
    // In a host transaction of the second writer's own, the driver may take
    // the add's savepoint with the whole transaction when the wait fails:
    // the refusal still names the wait, not the savepoint's loss.
    if (isPostgres()) {
      const Kind& rule = kinds().front();
      ASSERT_TRUE(first.common->beginTransaction(0, 0));
      ASSERT_GT(rule.add(first, "H", ""), 0) << first.why();
      std::string text;
      whileFirstHolds(first, second, LetGo::kOnceItEnds, [&] {
        second.common->beginTransaction(0, 0);
        const bool added = rule.add(second, "H", "") > 0;
        text = second.why();
        second.common->endTransaction(false);
        return added;
      });
      EXPECT_NE(text.find(" is being written by another connection; this "
                          "write waited "),
                std::string::npos)
          << text;
    }
    // The refused connection goes on.
    EXPECT_GT(kinds().front().add(second, "S", ""), 0) << second.why();
  });
}

// Two transactions that each hold a turn that the other waits for: the
// server refuses one wait, and that transaction is rolled back, in every
// driver mode, with a text that says so; the other goes on.
TEST_P(UniqueAcrossConnectionsTest, ADeadlockRollsBackOneTransaction) {
  if (!isPostgres()) GTEST_SKIP() << "a SQLite begin serializes writers";
  const Kind& rule = kinds()[0];
  const Kind& metric = kinds()[1];
  // What one side's last add answered, then a later add in the same
  // transaction and its commit, each on the side's own thread.
  struct Side {
    Answer add, later, end;
  };
  const auto finish = [&](Stores& s, bool added, Side& side) {
    side.add = {added, s.why()};
    if (!added) side.later = {metric.add(s, "D5", "") > 0, s.why()};
    side.end = {s.common->endTransaction(true), s.why()};
  };
  twoWriters(0, [&](Stores& first, Stores& second) {
    ASSERT_TRUE(first.common->beginTransaction(0, 0));
    ASSERT_GT(rule.add(first, "D1", ""), 0) << first.why();
    ConnectionWaits waits(rda_, second.rda, true);
    Side sides[2];
    const std::vector<std::string> records = log_.failuresDuring(
        [&] {
          attemptWhileHeld<Side>(
              waits, LetGo::kOnceItWaits,
              // Once the second waits for the first's turn of RULE, the
              // first waits for the second's turn of CUSTM.
              [&](bool) {
                finish(first, metric.add(first, "D3", "") > 0, sides[0]);
              },
              [&] {
                Side side;
                second.common->beginTransaction(0, 0);
                finish(second,
                       metric.add(second, "D2", "") > 0 &&
                           rule.add(second, "D4", "") > 0,
                       side);
                return side;
              },
              &sides[1]);
        },
        true);
    ASSERT_NE(sides[0].add.written, sides[1].add.written)
        << sides[0].add.text << "\n"
        << sides[1].add.text;
    const int victim = sides[0].add.written ? 1 : 0;
    const Side& lost = sides[victim];
    const std::string& text = lost.add.text;
    EXPECT_EQ(
        text.find("The table " + table(victim ? rule.table : metric.table) +
                  " is being written by another connection whose "
                  "transaction waits for this one's; this transaction "
                  "was rolled back to end the deadlock: [40P01] "),
        0u)
        << text;
    // The rest of the rolled-back transaction is refused with the same
    // text, and so is its commit; each refused add logs it once. The other
    // transaction commits its writes.
    EXPECT_FALSE(lost.later.written);
    EXPECT_EQ(lost.later.text, text);
    EXPECT_FALSE(lost.end.written);
    EXPECT_EQ(lost.end.text, text);
    EXPECT_EQ(records, std::vector<std::string>(2, "5 " + text));
    EXPECT_TRUE(sides[1 - victim].end.written) << sides[1 - victim].end.text;
    EXPECT_EQ(count("RULE", "RU_DESC IN ('D1', 'D4')"), 1);
    EXPECT_EQ(count("CUSTM", "CM_DESC IN ('D2', 'D3', 'D5')"), 1);
  });
}

// A failure of the turn's statement other than a wait (here the table is
// gone) keeps its own reason: it is no refusal for another connection.
TEST_P(UniqueAcrossConnectionsTest, AMissingTableIsNoBusyTable) {
  exec("DROP TABLE " + table("RULE"));
  Stores stores(rda_);
  std::vector<std::string> records;
  records = log_.failuresDuring(
      [&] { EXPECT_LT(kinds().front().add(stores, "M", ""), 0); }, true);
  const std::string text = stores.why();
  EXPECT_EQ(text.find("being written"), std::string::npos) << text;
  EXPECT_EQ(text.find("advisory"), std::string::npos) << text;
  EXPECT_EQ(records, std::vector<std::string>{"5 " + text});
}

// Processes that add the same names at once: each name is added once, also
// where the processes spell the table prefix differently (on a server,
// which folds unquoted names, one spelling in upper case).
TEST_P(UniqueAcrossConnectionsTest, ProcessesAddingOneNameStoreItOnce) {
  constexpr int kNames = 20;
  struct Spread {
    const char* what;
    std::vector<std::string> prefixes;  // one per process
  };
  std::vector<Spread> spreads = {
      {"one spelling", {prefix_, prefix_, prefix_, prefix_}}};
  if (isPostgres())
    spreads.push_back({"two spellings", {prefix_, upper(prefix_)}});
  int stored = 0;
  for (const Spread& spread : spreads) {
    SCOPED_TRACE(spread.what);
    const std::string lead = "P" + std::to_string(stored);
    const std::vector<int> added =
        runInChildren(static_cast<int>(spread.prefixes.size()), [&](int index) {
          ReposDataAccess* rda = open(spread.prefixes[index].c_str());
          if (!rda) return 255;
          int count = 0;
          {
            Stores stores(rda);
            for (int n = 0; n < kNames; ++n)
              if (kinds().front().add(
                      stores, (lead + "-" + std::to_string(n)).c_str(), "") > 0)
                ++count;
          }
          rda->release();
          return count;
        });
    int total = 0;
    for (int count : added) total += count;
    EXPECT_EQ(total, kNames) << "adds that succeeded, in all processes";
    stored += kNames;
    EXPECT_EQ(count("RULE"), stored);
  }
}

INSTANTIATE_RDA_TARGETS(UniqueAcrossConnectionsTest);

}  // namespace
