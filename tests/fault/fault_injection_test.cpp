// A disk that fails or fills up at any write of a repository creation or a
// key/value write: the operation answers false with a reason, the file
// afterwards opens as a complete repository or is refused with a reason,
// and a repository that was there keeps its contents.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <tuple>

#include "fault/fault_vfs.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository_admin.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

namespace {

// What an operation answered and the reason it gave.
struct Outcome {
  bool ok;
  std::string error;
};

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kvbGetConfigOptions("")->set("BASE/WORKDESK", "true");
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 KV_SOURCE_DIR "/etc/reposcreate");
  }
  void TearDown() override {
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
  }

  // Runs `operation` with its k-th write failing with `error`, for k =
  // first, first + step, ... until it runs without the fault firing, which
  // must succeed. Each fault must give false with a reason; `after` then
  // checks the database.
  void failEachWrite(int error, int first, int step,
                     const std::function<Outcome(int k)>& operation,
                     const std::function<void(int k)>& after) {
    Outcome outcome;
    int write = first;
    vfs_.failEachWrite(
        error, first, step,
        [&] {
          outcome = operation(write);
          return outcome.ok;
        },
        [&](int k, bool fired, bool) {
          write = k + step;
          if (!fired) {
            EXPECT_TRUE(outcome.ok)
                << "no fault at write " << k << ": " << outcome.error;
            return false;
          }
          SCOPED_TRACE("write " + std::to_string(k) + " failed");
          EXPECT_FALSE(outcome.ok);
          EXPECT_NE(outcome.error, "");
          after(k);
          return !HasFailure();
        });
  }

  // An administration object of its own, so that each reason is new.
  static Outcome withAdmin(
      const std::function<Outcome(RepositoryAdmin&)>& work) {
    RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
    const Outcome outcome = work(*admin);
    admin->release();
    return outcome;
  }

  // The tables and indexes of a SQLite file, with their SQL.
  static std::vector<std::string> schemaOf(const std::string& file) {
    RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
    Repository* repository = admin->openFileRepository(file.c_str(), true);
    std::vector<std::string> schema;
    if (repository)
      schema = cursorRows(repository->paramSelect(
          "SELECT type, name, sql FROM sqlite_master ORDER BY name", nullptr,
          0));
    if (repository) repository->release();
    admin->release();
    return schema;
  }

  FaultVfs vfs_;
  TempDir dir_;
  LogCapture log_;  // keeps the expected failures off the console
};

const char* errorName(int error) {
  return error == SQLITE_FULL ? "DiskFull" : "WriteError";
}

// A creation writes a few hundred times; the writes are shared out among
// several cases that run side by side.
constexpr int kCreationShares = 4;

class CreationFaultTest
    : public FaultInjectionTest,
      public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(CreationFaultTest, LeavesACompleteRepositoryOrNone) {
  const int error = std::get<0>(GetParam());
  const int share = std::get<1>(GetParam());
  const std::string reference = dir_.file("reference.db");
  ASSERT_TRUE(withAdmin([&](RepositoryAdmin& admin) {
                return Outcome{admin.createFileRepository(reference.c_str()),
                               admin.getErrorMessage().str()};
              }).ok);
  const std::vector<std::string> complete = schemaOf(reference);
  ASSERT_FALSE(complete.empty());
  auto file = [&](int k) { return dir_.file(std::to_string(k) + ".db"); };
  failEachWrite(
      error, 1 + share, kCreationShares,
      [&](int k) {
        return withAdmin([&](RepositoryAdmin& admin) {
          return Outcome{admin.createFileRepository(file(k).c_str()),
                         admin.getErrorMessage().str()};
        });
      },
      [&](int k) {
        const Outcome opened = withAdmin([&](RepositoryAdmin& admin) {
          Repository* repository =
              admin.openFileRepository(file(k).c_str(), true);
          if (repository) repository->release();
          return Outcome{repository != nullptr, admin.getErrorMessage().str()};
        });
        if (opened.ok)
          EXPECT_EQ(schemaOf(file(k)), complete) << "a half-made repository";
        else
          EXPECT_NE(opened.error, "") << "refused without a reason";
        std::remove(file(k).c_str());
      });
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CreationFaultTest,
    ::testing::Combine(::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                       ::testing::Range(0, kCreationShares)),
    [](const ::testing::TestParamInfo<std::tuple<int, int>>& param) {
      return std::string(errorName(std::get<0>(param.param))) + "_" +
             std::to_string(std::get<1>(param.param));
    });

class KeyValueFaultTest : public FaultInjectionTest,
                          public ::testing::WithParamInterface<int> {};

TEST_P(KeyValueFaultTest, KeepsTheStoreWhole) {
  const std::string file = dir_.file("repository.db");
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  ASSERT_TRUE(admin->createFileRepository(file.c_str()))
      << admin->getErrorMessage().str();
  Repository* setup = admin->openFileRepository(file.c_str(), true);
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(setup->setKeyValue("old", "before"));
  setup->release();

  // Replaces the value of a key, and adds a new key; after each fault the
  // repository opens with the store as it was.
  for (const char* key : {"old", "new"}) {
    SCOPED_TRACE(key);
    failEachWrite(
        GetParam(), 1, 1,
        [&](int) {
          Repository* repository =
              admin->openFileRepository(file.c_str(), true);
          if (!repository) return Outcome{false, "cannot open"};
          const bool ok = repository->setKeyValue(key, "after");
          const Outcome outcome{ok, repository->getErrorMessage().str()};
          repository->release();
          return outcome;
        },
        [&](int) {
          Repository* repository =
              admin->openFileRepository(file.c_str(), true);
          ASSERT_NE(repository, nullptr) << admin->getErrorMessage().str();
          EXPECT_EQ(cursorRows(repository->getKeyValues()),
                    (std::vector<std::string>{"old|before"}));
          repository->release();
        });
    Repository* repository = admin->openFileRepository(file.c_str(), true);
    ASSERT_NE(repository, nullptr);
    ASSERT_TRUE(repository->setKeyValue("old", "before"));
    ASSERT_TRUE(repository->deleteKey("new") || std::string(key) == "old");
    repository->release();
  }
  admin->release();
}

INSTANTIATE_TEST_SUITE_P(Errors, KeyValueFaultTest,
                         ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const ::testing::TestParamInfo<int>& param) {
                           return std::string(errorName(param.param));
                         });

}  // namespace
