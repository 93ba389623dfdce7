// The UUID of an event whose read cannot take the connection's lock in
// time (another thread holds a transaction and reads the UUID itself) is
// the UUID last read, read under a lock of its own. Also run under
// ThreadSanitizer by scripts/harness.sh, which sees a read of it without
// that lock.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

#include "admin/repositoryimpl.h"
#include "rda/rda_impl.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository_admin.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

TEST(EventUuidLockTest, AnEventWhoseLockWaitGivesUpCarriesTheUuidLastRead) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "5");
  TempDir dir;
  const std::string path = dir.file("repository.db");
  LogCapture log;
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  ASSERT_TRUE(admin->createFileRepository(path.c_str()))
      << admin->getErrorMessage().str();
  Repository* repository = admin->openFileRepository(path.c_str(), false);
  ASSERT_NE(repository, nullptr);
  auto* rda = static_cast<RDA_BaseImpl*>(
      static_cast<RepositoryImpl*>(repository)->getDataAccess());
  const std::string uuid = repository->getRepositoryUUID().str();
  ASSERT_EQ(uuid.size(), 36u);

  std::promise<void> begun;
  std::atomic<bool> done{false};
  std::thread holder([&] {
    EXPECT_TRUE(rda->beginTransaction(false, nullptr));
    begun.set_value();
    // Reads, and keeps, the UUID while the other thread's reads give up.
    while (!done) EXPECT_EQ(rda->getRepositoryUUID().str(), uuid);
    rda->endTransaction(false);
  });
  begun.get_future().wait();
  for (int i = 0; i < 20; ++i) {
    KvbString reason;
    EXPECT_EQ(rda->eventRepositoryUUID(&reason).str(), uuid);
    EXPECT_TRUE(reason.isNull()) << reason.str();
  }
  done = true;
  holder.join();
  repository->release();
  admin->release();
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
}

}  // namespace
