// Tests of the named loggers, the sink switch and the default stderr output.
#include "kvlogging/kvlogging.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

class KvLoggingTest : public testing::Test {
 protected:
  void TearDown() override { kvlogSetSink(nullptr); }
  void capture() {
    kvlogSetSink([this](const KvLogRecord& r) {
      std::lock_guard<std::mutex> guard(mutex_);
      lines_.push_back(std::string(r.logger) + "|" + std::to_string(r.level) +
                       "|" + r.file + ":" + std::to_string(r.line) + "|" + r.text);
    });
  }
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

void logf(KvLogger* logger, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logger->logFormatted(level, "src.cpp", 7, format, args);
  va_end(args);
}

TEST_F(KvLoggingTest, SinkGetsEveryRecordFromEveryThread) {
  capture();
  std::vector<std::thread> threads;
  std::vector<KvLogger*> seen(8);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &seen] {
      seen[t] = kvlogGetLogger("T.Same");
      for (int i = 0; i < 250; ++i) logf(seen[t], 1 + i % 5, "t%d", t);
    });
  }
  for (auto& t : threads) t.join();
  for (KvLogger* logger : seen) EXPECT_EQ(logger, seen[0]);
  EXPECT_STREQ(seen[0]->getName(), "T.Same");
  EXPECT_EQ(lines_.size(), 2000u);

  lines_.clear();
  std::string longText(10000, 'x');
  logf(kvlogGetLogger("T.Long"), 1, "%s|%d", longText.c_str(), 42);
  kvlogGetLogger(nullptr)->log(2, nullptr, 3, nullptr);
  ASSERT_EQ(lines_.size(), 2u);
  EXPECT_EQ(lines_[0], "T.Long|1|src.cpp:7|" + longText + "|42");
  EXPECT_EQ(lines_[1], "|2|:3|");
}

// A sink that throws does not break the logging caller, nor the records
// after it; a format that cannot be written is logged as it stands.
TEST_F(KvLoggingTest, FailingSinksAndFormatsAreSurvived) {
  int calls = 0;
  kvlogSetSink([&calls](const KvLogRecord& r) {
    ++calls;
    if (std::string(r.text) == "throw") throw std::runtime_error("sink");
  });
  KvLogger* logger = kvlogGetLogger("T.Fail");
  logger->log(1, "f", 1, "throw");
  logger->log(1, "f", 2, "after");
  EXPECT_EQ(calls, 2);

  capture();
  const wchar_t surrogate[] = {0xD800, 0};  // no multibyte form in any locale
  logf(logger, 1, "%ls!", surrogate);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0], "T.Fail|1|src.cpp:7|%ls!");
}

// After kvlogSetSink returns, the previous sink must not be running on any
// thread, or whatever it captured could be used after it is destroyed.
TEST_F(KvLoggingTest, SwappedOutSinkIsNoLongerRunning) {
  std::atomic<bool> stop{false};
  std::thread writer([&stop] {
    while (!stop) kvlogGetLogger("T.Swap")->log(2, "f", 1, "x");
  });
  for (int round = 0; round < 20; ++round) {
    std::atomic<int> inside{0}, calls{0};
    kvlogSetSink([&inside, &calls](const KvLogRecord&) {
      ++inside;
      ++calls;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      --inside;
    });
    while (calls == 0) std::this_thread::yield();
    kvlogSetSink(nullptr);
    EXPECT_EQ(inside.load(), 0);
    int after = calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(calls.load(), after);
  }
  stop = true;
  writer.join();
}

TEST_F(KvLoggingTest, DefaultWritesOnlyWarningsAndErrorsToStderr) {
  KvLogger* logger = kvlogGetLogger("T.Default");
  EXPECT_FALSE(logger->isEnabled(3));
  testing::internal::CaptureStderr();
  for (int level = 1; level <= 3; ++level) logger->log(level, "x.cpp", 1, "low");
  logger->log(4, "x.cpp", 4, "careful");
  logf(logger, 5, "failed %d", 9);
  capture();  // a sink replaces the default output
  logger->log(5, "x.cpp", 5, "to sink");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING T.Default x.cpp:4: careful\n"
            "ERROR T.Default src.cpp:7: failed 9\n");
  EXPECT_EQ(lines_.size(), 1u);
}

}  // namespace
