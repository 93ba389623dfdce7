// One statement of a call that cannot be prepared, each statement in turn,
// while every other works: a read whose answer decides what the call
// writes never passes for "none". The call answers failure with that
// statement's reason and leaves what it would change as it was, or it
// does the very work it does when nothing fails, its events included.
// Through a connection string, on SQLite and PostgreSQL, where the driver
// layer's seam fails one statement alone.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "reposadmin/common_data_access.h"
#include "reposadmin/explorer_data_access.h"
#include "reposadmin/import_export_manager.h"
#include "reposadmin/monitor_data_access.h"
#include "support/admin_targets.h"
#include "support/driver_fault.h"
#include "support/event_recorder.h"
#include "support/log_capture.h"

namespace {

class OneFailedStatementTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (isFile()) GTEST_SKIP() << "a file opened directly has no driver";
    repository_ = createAndOpen(database_);
    ASSERT_NE(repository_, nullptr);
    db_ = repository_->getDataAccess();  // for the fixture's exec and table
    common_ = repository_->createCommonDataAccess();
    monitor_ = repository_->createMonitorDataAccess();
    explorer_ = repository_->createExplorerDataAccess();
    impexp_ = repository_->createImportExportManager();
  }
  void TearDown() override {
    if (common_) common_->release();
    if (monitor_) monitor_->release();
    if (explorer_) explorer_->release();
    delete impexp_;
    if (repository_) repository_->release();
    AdminTargetTest::TearDown();
  }

  // What a case does: `reset` puts back what its call changes, `call`
  // answers whether it did its work (its reason in *why otherwise), and
  // `state` reads what the call changes.
  struct Case {
    std::function<void()> reset;
    std::function<bool(std::string* why)> call;
    std::function<std::string()> state;
  };

  // Runs the case with nothing failing, then with each statement of the
  // call failing in turn until the call makes no more.
  void sweep(const Case& c) {
    const auto run = [&](int failAt, std::string* why) {
      EventRecorder recorder([](const RepositoryEvent& e) {
        return e.objectType.str() + ":" + std::to_string(e.changeType) + ":" +
               e.objectUUID.str();
      });
      bool done;
      {
        DriverFault fault(DacFault::kPrepare, failAt);
        done = c.call(why);
        fired_ = DriverFault::fired();
      }
      std::string events;
      for (const std::string& e : recorder.events) events += " " + e;
      return std::make_pair(done, c.state() + " events:" + events);
    };
    c.reset();
    std::string why;
    const auto whole = run(0, &why);
    ASSERT_TRUE(whole.first) << why;
    int failures = 0;
    for (int n = 1;; ++n) {
      SCOPED_TRACE("statement " + std::to_string(n) + " fails");
      c.reset();
      const std::string before = c.state() + " events:";
      const auto got = run(n, &why);
      if (!fired_) break;
      if (got.first) {
        EXPECT_EQ(got.second, whole.second);
      } else {
        ++failures;
        EXPECT_NE(why.find(kDriverFaultText), std::string::npos) << why;
        EXPECT_EQ(got.second, before);
      }
    }
    EXPECT_GT(failures, 0);
  }

  // The rows of `sql` on the repository's connection, each as its
  // columns joined by "|", rows by ";".
  std::string rows(const std::string& sql) {
    ReposDataAccessCursor* cursor = db_->paramSelect(sql, 0);
    EXPECT_NE(cursor, nullptr) << sql << ": " << db_->getErrorMessage().str();
    std::string text;
    for (const std::string& row : cursorRows(cursor)) text += row + ";";
    return text;
  }
  // An export of the object, or a test failure.
  std::string exported(int id, const char* type, const char* uuid) {
    KvbString out, error;
    EXPECT_TRUE(impexp_->exportObject(id, type, uuid, out, error, nullptr))
        << error.str();
    return out.str();
  }
  // Imports `text`; false with the reason in *why.
  bool imported(const std::string& text, std::string* why) {
    KvbString error;
    if (impexp_->importObject(text.c_str(), 0, error)) return true;
    *why = error.str();
    return false;
  }

  AdminDatabase database_;
  RepositoryImpl* repository_ = nullptr;
  CommonRepositoryDataAccess* common_ = nullptr;
  MonitorRepositoryDataAccess* monitor_ = nullptr;
  ExplorerRepositoryDataAccess* explorer_ = nullptr;
  RepositoryImportExportManager* impexp_ = nullptr;
  bool fired_ = false;
  LogCapture log_;  // keeps the expected failures off the console
};

// The update's event names the exploration by the UUID that it reads
// first.
TEST_P(OneFailedStatementTest, AnExplorationUpdateReadsItsUuidOrFails) {
  exec("INSERT INTO " + table("MPRJ") +
       " (PRJ_ID, PRJ_NM, PRJ_UUID) VALUES (1, 'P', 'p-1')");
  sweep({[&] { exec("UPDATE " + table("MPRJ") + " SET PRJ_NM='P'"); },
         [&](std::string* why) {
           if (explorer_->updateProject(1, "Q", "c")) return true;
           *why = explorer_->getErrorMessage().str();
           return false;
         },
         [&] { return rows("SELECT PRJ_NM FROM " + table("MPRJ")); }});
}

// The id repair reads each table's columns to know which keys it has: a
// table whose columns cannot be read is no table without its key, whose
// counter would stay below the ids in use.
TEST_P(OneFailedStatementTest, AnIdRepairReadsEveryKeyOrFails) {
  for (const char* name : {"R1", "R2", "R3"})
    ASSERT_GT(common_->addRule(name, "T", "x", "", "", "me", "", 0, "", ""), 0)
        << common_->getErrorMessage().str();
  sweep({[&] {
           exec("UPDATE " + table("UCURID") +
                " SET NI_VAL=0 WHERE NI_KEY='RULE'");
         },
         [&](std::string* why) {
           if (repository_->raiseIdCounters()) return true;
           *why = repository_->getErrorMessage().str();
           return false;
         },
         [&] {
           return rows("SELECT NI_VAL FROM " + table("UCURID") +
                       " WHERE NI_KEY='RULE'");
         }});
}

// An import finds the object that a record stands for by the record's UUID
// before its name: a look-up by UUID that fails is no object without that
// UUID, to be found by name instead. The target holds "M" under the
// record's UUID and "N", the record's name, under another.
TEST_P(OneFailedStatementTest, AnImportLooksUpTheRecordsUuidOrFails) {
  struct Kind {
    const char* type;
    const char* table;
    std::function<int(const char* name)> make;
  };
  const std::vector<Kind> kinds = {
      {"Rule", "RULE",
       [&](const char* name) {
         return common_->addRule(name, "T", "x", "", "", "me", "", 0, "", "");
       }},
      {"CustomMetric", "CUSTM", [&](const char* name) {
         return common_->addCustomMetric(name, "", "x", "");
       }}};
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.type);
    const std::string t = table(kind.table);
    const std::string prefix = kind.table == std::string("RULE") ? "RU" : "CM";
    const std::string id = prefix + "_ID", name = prefix + "_DESC",
                      uuid = prefix + "_UUID";
    const int m = kind.make("N"), n = kind.make("N2");
    ASSERT_GT(m, 0);
    ASSERT_GT(n, 0);
    exec("UPDATE " + t + " SET " + uuid + "='u-m' WHERE " + id + "=?", {m});
    const std::string record = exported(m, kind.type, "u-m");
    ASSERT_FALSE(record.empty());
    const auto reset = [&] {
      exec("DELETE FROM " + t + " WHERE " + id + " NOT IN (?, ?)", {m, n});
      exec("UPDATE " + t + " SET " + name + "='M', " + uuid + "='u-m' WHERE " +
               id + "=?",
           {m});
      exec("UPDATE " + t + " SET " + name + "='N', " + uuid + "='u-n' WHERE " +
               id + "=?",
           {n});
    };
    sweep({reset, [&](std::string* why) { return imported(record, why); },
           [&] {
             return rows("SELECT " + id + ", " + name + ", " + uuid +
                         " FROM " + t + " ORDER BY " + id);
           }});
    exec("DELETE FROM " + t);
  }
}

// A task's record holds its rules; each is found by its UUID first, the
// same way.
TEST_P(OneFailedStatementTest, ATaskImportLooksUpItsRulesUuidOrFails) {
  const int m = common_->addRule("N", "T", "x", "", "", "me", "u-m", 0, "", "");
  ASSERT_GT(m, 0) << common_->getErrorMessage().str();
  int task = -1;
  ASSERT_TRUE(monitor_->addTask("T", "u-t", "me", 0, "", "", &task))
      << monitor_->getErrorMessage().str();
  ASSERT_TRUE(monitor_->addTaskRule(task, m))
      << monitor_->getErrorMessage().str();
  const std::string record = exported(task, "Task", "u-t");
  ASSERT_FALSE(record.empty());
  exec("UPDATE " + table("RULE") + " SET RU_DESC='M' WHERE RU_ID=?", {m});
  ASSERT_GT(common_->addRule("N", "T", "x", "", "", "me", "u-n", 0, "", ""), 0);
  const auto reset = [&] {
    exec("DELETE FROM " + table("JBRUME"));
    exec("DELETE FROM " + table("MJOB"));
    exec("DELETE FROM " + table("RULE") + " WHERE RU_DESC NOT IN ('M', 'N')");
  };
  sweep({reset, [&](std::string* why) { return imported(record, why); },
         [&] {
           return rows("SELECT j.JB_CODE, r.RU_DESC FROM " + table("MJOB") +
                       " j JOIN " + table("JBRUME") + " m ON m.JB_ID=j.JB_ID" +
                       " JOIN " + table("RULE") + " r ON r.RU_ID=m.RU_ID") +
                  rows("SELECT COUNT(*) FROM " + table("RULE"));
         }});
}

INSTANTIATE_ADMIN_TARGETS(OneFailedStatementTest);

}  // namespace
