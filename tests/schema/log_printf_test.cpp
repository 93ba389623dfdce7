// Tests of logPrintf, the engine's one logging helper.
#include "schema/log_printf.h"

#include <gtest/gtest.h>

#include "support/log_capture.h"

namespace {

TEST(LogPrintf, FormatsAndHandsRecordToLogger) {
  LogCapture capture;
  KvLogger* logger = kvlogGetLogger("KV.Repos.ReposAdmin.Tables");
  KvbString table("FOLDER");
  int n = logPrintf(logger, kLogWarning, "repos_tables", 42,
                    "Table %S: column %s is too long (%d)", table, "FLDR_NAMEX", 10);
  std::vector<CapturedLog> records = capture.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].logger, "KV.Repos.ReposAdmin.Tables");
  EXPECT_EQ(records[0].level, kLogWarning);
  EXPECT_EQ(records[0].file, "repos_tables");
  EXPECT_EQ(records[0].line, 42);
  EXPECT_EQ(records[0].text, "Table FOLDER: column FLDR_NAMEX is too long (10)");
  EXPECT_EQ(n, static_cast<int>(records[0].text.size()));
}

TEST(LogPrintf, ForeignTextPassedAsArgumentIsNotReadAsFormat) {
  LogCapture capture;
  KvbString dbError("near \"%s\": syntax error 100%");
  logPrintf(kvlogGetLogger("KV.Repos.ReposAdmin.BaseRDA"), kLogError, "f", 1,
            "%S", dbError);
  ASSERT_EQ(capture.records().size(), 1u);
  EXPECT_EQ(capture.records()[0].text, dbError.str());
}

// Every record names its source the same way, however the caller gave it.
TEST(LogPrintf, SourceLocationHasOneForm) {
  LogCapture capture;
  KvLogger* logger = kvlogGetLogger("KV.Repos.ReposAdmin.BaseRDA");
  for (const char* file :
       {"/build/src/rda/rda_impl.cpp", "rda/rda_impl.cpp", "rda_impl"})
    logPrintf(logger, kLogError, file, 7, "x");
  ASSERT_EQ(capture.records().size(), 3u);
  for (const CapturedLog& record : capture.records())
    EXPECT_EQ(record.file, "rda_impl");
}

TEST(LogPrintf, NullLoggerLogsNothing) {
  LogCapture capture;
  EXPECT_EQ(logPrintf(nullptr, kLogError, "f", 1, "x"), 0);
  EXPECT_TRUE(capture.records().empty());
}

}  // namespace
