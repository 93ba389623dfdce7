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
  void finish() {
    delete manager;
    if (repository) repository->release();
  }
};

class CancelledCallsTest : public AdminTargetTest {
 protected:
  void TearDown() override {
    if (listed_) listed_->release();
    AdminTargetTest::TearDown();
  }

  // No descriptor of the database's file or of `files` is open, and the
  // database can be dropped and its repository created again at once.
  void expectNothingHeld(const AdminDatabase& db,
                         const std::vector<std::string>& files) {
    for (const std::string& file : files) EXPECT_EQ(openFiles(file), 0) << file;
    if (!db.file.empty()) {
      EXPECT_EQ(openFiles(db.file), 0);
    }
    EXPECT_TRUE(admin_->deleteRepositoryTables(db.connection.c_str(),
                                               db.prefix.c_str()))
        << error();
    EXPECT_TRUE(admin_->createRepository(db.connection.c_str(),
                                         db.prefix.c_str()))
        << error();
  }

  RepositoryAdmin* listed_ = nullptr;  // with a list file
};

TEST_P(CancelledCallsTest, ACancelledCallAnswersAndLeavesNothingHeld) {
  CancellingCallback callback;
  admin_->setStatusCallback(&callback);
  listed_ = createRepositoryAdmin(0, dir_.file("repos.list").c_str());
  ASSERT_NE(listed_, nullptr) << getRepositoryAdminError();
  const std::string script = dir_.file("create.sql");
  Import import;
  AdminDatabase db;
  const auto created = [&] { return create(db); };
  const auto nothing = [] { return true; };
  const struct {
    const char* name;
    bool reports;  // the call reports to the host's callback
    std::function<bool()> prepare;
    std::function<bool()> call;
    std::vector<std::string> files;  // besides the database's own
  } calls[] = {
      {"create", true, nothing, created, {}},
      {"drop", true, created,
       [&] {
         return admin_->deleteRepositoryTables(db.connection.c_str(),
                                               db.prefix.c_str());
       },
       {}},
      {"create through a DDL file", true, nothing,
       [&] {
         return admin_->createRepositoryWithDDLFile(
             db.connection.c_str(), db.prefix.c_str(), script.c_str());
       },
       {script}},
      {"importObject", false,
       [&] { return create(db) && import.prepare(open(db), true); },
       [&] {
         KvbString error;
         return import.manager->importObject(import.text, 0, error);
       },
       {}},
      {"updateObject", true,
       [&] { return create(db) && import.prepare(open(db), false); },
       [&] {
         KvbString error;
         return import.manager->updateObject(import.id, "Task", "",
                                             import.text, 0, error, &callback);
       },
       {}},
      {"addRepository", false, created,
       [&] {
         return listed_->addRepository(
             (isFile() ? db.file : db.connection).c_str(), db.prefix.c_str(),
             "cancelled", isFile());
       },
       {dir_.file("repos.list"), dir_.file("repos.list.lock")}},
  };
  for (const auto& call : calls)
    for (const bool inCallback : {false, true}) {
      if (inCallback && !call.reports) continue;
      SCOPED_TRACE(std::string(call.name) +
                   (inCallback ? ", cancelled as it reports"
                               : ", cancelled before the call"));
      db = newDatabase();
      import = Import();
      ASSERT_TRUE(call.prepare()) << error();
      callback.armed = inCallback;
      CallingThread cancelled([&] {
        if (!inCallback) pthread_cancel(pthread_self());
        return call.call();
      });
      EXPECT_TRUE(cancelled.cancelledAfterItsCall());
      EXPECT_TRUE(cancelled.answer()) << error();
      import.finish();
      if (call.name == std::string("addRepository")) {
        EXPECT_TRUE(listed_->removeRepository("cancelled"))
            << listed_->getErrorMessage().str();
      }
      expectNothingHeld(db, call.files);
    }
  admin_->setStatusCallback(nullptr);
}

INSTANTIATE_ADMIN_TARGETS(CancelledCallsTest);

}  // namespace
