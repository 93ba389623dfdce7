// A thread cancelled (pthread_cancel) during a call of the administration
// object, a repository or a manager is cancelled after the call: the call
// answers as it would have, and leaves no connection, session,
// transaction, lock or descriptor held, so that its database can be
// dropped and the repository created again at once. The cancellation is
// asked for before the call, or by the host's status callback while it
// reports, or by an import's action listener, which then reach a
// cancellation point as a host's output would.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>
#include <vector>

#include "reposadmin/import_export_manager.h"
#include "reposadmin/monitor_data_access.h"
#include "support/admin_targets.h"
#include "support/calling_thread.h"
#include "support/open_files.h"

namespace {

// A host's status callback and action listener: cancels its thread at the
// first report while armed; every report reaches a cancellation point.
class CancellingCallback : public RepositoryStatusCallback,
                           public RepositoryActionEvent {
 public:
  bool armed = false;
  bool reportStatus(const KvbString&) override {
    report();
    return true;
  }
  void reportMessage(const KvbString&) override { report(); }
  bool onActionEvent(int, const KvbString&, const KvbString&) override {
    report();
    return true;
  }
  void release() override {}

 private:
  void report() {
    if (armed) {
      armed = false;
      pthread_cancel(pthread_self());
    }
    pthread_testcancel();
  }
};

// A task exported from a repository, to be imported again over itself, or
// as new once it is deleted (`deleted`).
struct Import {
  Repository* repository = nullptr;
  RepositoryImportExportManager* manager = nullptr;
  KvbString text;
  int id = 0;
  bool prepare(Repository* opened, bool deleted) {
    repository = opened;
    if (!repository) return false;
    manager = repository->createImportExportManager();
    MonitorRepositoryDataAccess* m = repository->createMonitorDataAccess();
    KvbString error;
    const bool ok = manager && m->addTask("task", "task", "u", 0, "", "", &id) &&
                    manager->exportObject(id, "Task", "", text, error,
                                          nullptr) &&
                    (!deleted || m->deleteTask(id));
    m->release();
    return ok;
  }
  // Releases what prepare() made; again, nothing.
  void finish() {
    delete manager;
    if (repository) repository->release();
    manager = nullptr;
    repository = nullptr;
  }
};

class CancelledCallsTest : public AdminTargetTest {
 protected:
  // One call of the table: `prepare` runs on the test's thread, `call` on a
  // thread cancelled before it or as it reports (when `reports`), `finish`
  // on the test's thread after it; `files` may not stay open.
  struct Call {
    const char* name;
    bool reports;  // the call reports to the host's callback
    std::function<bool()> prepare;
    std::function<bool()> call;
    std::function<bool()> finish;
    std::vector<std::string> files;  // besides the database's own
  };

  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    admin_->setStatusCallback(&callback_);
  }
  void TearDown() override {
    import_.finish();
    if (upgraded_) upgraded_->release();
    if (listed_) listed_->release();
    AdminTargetTest::TearDown();
  }

  void run(const std::vector<Call>& calls) {
    for (const Call& call : calls)
      for (const bool asItReports : {false, true}) {
        if (asItReports && !call.reports) continue;
        SCOPED_TRACE(std::string(call.name) +
                     (asItReports ? ", cancelled as it reports"
                                  : ", cancelled before the call"));
        db_ = newDatabase();
        ASSERT_TRUE(call.prepare()) << error();
        callback_.armed = asItReports;
        CallingThread cancelled([&] {
          if (!asItReports) pthread_cancel(pthread_self());
          return call.call();
        });
        EXPECT_TRUE(cancelled.cancelledAfterItsCall());
        EXPECT_TRUE(cancelled.answer()) << error();
        EXPECT_TRUE(call.finish()) << error();
        expectNothingHeld(call.files);
      }
  }

  // No descriptor of the database's file or of `files` is open, and the
  // database can be dropped and its repository created again at once.
  void expectNothingHeld(const std::vector<std::string>& files) {
    for (const std::string& file : files) EXPECT_EQ(openFiles(file), 0) << file;
    if (!db_.file.empty()) {
      EXPECT_EQ(openFiles(db_.file), 0);
    }
    EXPECT_TRUE(admin_->deleteRepositoryTables(db_.connection.c_str(),
                                               db_.prefix.c_str()))
        << error();
    EXPECT_TRUE(admin_->createRepository(db_.connection.c_str(),
                                         db_.prefix.c_str()))
        << error();
  }

  bool created() { return create(db_); }
  static bool nothing() { return true; }
  // The repository of the round, with a task exported, to be imported.
  bool exported(bool deleted) {
    return create(db_) && import_.prepare(open(db_), deleted);
  }
  bool imported() {
    import_.finish();
    return true;
  }

  // The repository of the round, opened with its version rows changed by
  // `sql` (its INFO table in place of %S) so that an upgrade has work.
  bool outdated(const char* sql) {
    if (!create(db_) || !(upgraded_ = open(db_))) return false;
    ReposDataAccess* rda = upgraded_->getDataAccess();
    if (!rda->paramExec(kvbStringFormat(sql, rda->getTableName("INFO", true, -1)),
                        nullptr, 0))
      return false;
    upgraded_->readVersionInfo();
    return true;
  }
  // The upgraded repository is current by `isCurrent`, and is released.
  bool current(bool (RepositoryImpl::*isCurrent)()) {
    const bool answer = (upgraded_->*isCurrent)();
    upgraded_->release();
    upgraded_ = nullptr;
    return answer;
  }

  CancellingCallback callback_;
  AdminDatabase db_;
  RepositoryImpl* upgraded_ = nullptr;
  Import import_;
  RepositoryAdmin* listed_ = nullptr;  // with a list file
};

TEST_P(CancelledCallsTest, ACancelledCreationOrDropAnswersAndLeavesNothing) {
  const std::string script = dir_.file("create.sql");
  run({
      {"create", true, nothing, [&] { return created(); }, nothing, {}},
      {"drop", true, [&] { return created(); },
       [&] {
         return admin_->deleteRepositoryTables(db_.connection.c_str(),
                                               db_.prefix.c_str());
       },
       nothing, {}},
      {"create through a DDL file", true, nothing,
       [&] {
         return admin_->createRepositoryWithDDLFile(
             db_.connection.c_str(), db_.prefix.c_str(), script.c_str());
       },
       nothing, {script}},
  });
}

TEST_P(CancelledCallsTest, ACancelledImportOrListChangeAnswersAndHoldsNothing) {
  listed_ = createRepositoryAdmin(0, dir_.file("repos.list").c_str());
  ASSERT_NE(listed_, nullptr) << getRepositoryAdminError();
  run({
      {"importObject", false, [&] { return exported(true); },
       [&] {
         KvbString error;
         return import_.manager->importObject(import_.text, 0, error);
       },
       [&] { return imported(); }, {}},
      {"updateObject", true, [&] { return exported(false); },
       [&] {
         KvbString error;
         return import_.manager->updateObject(import_.id, "Task", "",
                                              import_.text, 0, error,
                                              &callback_);
       },
       [&] { return imported(); }, {}},
      {"addRepository", false, [&] { return created(); },
       [&] {
         return listed_->addRepository(
             (isFile() ? db_.file : db_.connection).c_str(),
             db_.prefix.c_str(), "cancelled", isFile());
       },
       [&] { return listed_->removeRepository("cancelled"); },
       {dir_.file("repos.list"), dir_.file("repos.list.lock")}},
  });
}

TEST_P(CancelledCallsTest, ACancelledUpgradeAnswersAndHoldsNothing) {
  run({
      {"upgradeRepository", false,
       [&] {
         return outdated(
             "UPDATE %S SET I_MVER = 2 WHERE I_TYPE = 'KVREPOSITORY'");
       },
       [&] { return upgraded_->upgradeRepository(); },
       [&] { return current(&RepositoryImpl::isMinorVersionCurrent); }, {}},
      {"upgradeNCOA", false,
       [&] { return outdated("DELETE FROM %S WHERE I_TYPE = 'NCOA'"); },
       [&] { return upgraded_->upgradeNCOA(); },
       [&] { return current(&RepositoryImpl::isNCOAVersionCurrent); }, {}},
  });
}

INSTANTIATE_ADMIN_TARGETS(CancelledCallsTest);

}  // namespace
