// Tests of ConnCacheSingleton and ConnShareSingleton.
#include "kvsingletons/kvsingletons.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/dac_targets.h"

namespace {

class ConnSingletonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = freshSqliteFile("singleton");
    connection_ = "FILE=" + file_ + ";CREATE=TRUE;KVXTYPE=SQLITE";
  }
  void TearDown() override { removeSqliteFile(file_); }

  // True when `conn` still sees the temporary table that lives only as long
  // as the connection that created it.
  static bool seesTempTable(DacConnection* conn) {
    return conn->execute("SELECT * FROM temp.marker");
  }

  std::string file_;
  std::string connection_;
};

TEST_F(ConnSingletonTest, CacheOpensANewConnectionEachTime) {
  ConnCacheSingleton* cache = ConnCacheSingleton::getInstance();
  ASSERT_EQ(cache, ConnCacheSingleton::getInstance());
  KvbString error;
  DacConnection* a = cache->connect(connection_.c_str(), &error);
  DacConnection* b = cache->connect(connection_.c_str(), &error);
  ASSERT_NE(a, nullptr) << error.asCstr();
  ASSERT_NE(b, nullptr);
  ASSERT_TRUE(a->execute("CREATE TEMP TABLE marker (x INTEGER)"));
  EXPECT_FALSE(seesTempTable(b));
  a->release();
  b->release();

  EXPECT_EQ(cache->connect("FILE=/nonexistent/dir/x.db;KVXTYPE=SQLITE", &error),
            nullptr);
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(cache->getErrorMessage(), error);
}

TEST_F(ConnSingletonTest, ShareCountsHoldersAndClosesAfterTheLast) {
  ConnShareSingleton* share = ConnShareSingleton::getInstance();
  KvbString error;
  DacConnection* first = share->acquire("pool1", connection_.c_str(), &error);
  ASSERT_NE(first, nullptr) << error.asCstr();
  ASSERT_TRUE(first->execute("CREATE TEMP TABLE marker (x INTEGER)"));
  DacConnection* second = share->acquire("pool1", connection_.c_str(), &error);
  EXPECT_EQ(second, first);
  DacConnection* otherPool =
      share->acquire("pool2", connection_.c_str(), &error);
  ASSERT_NE(otherPool, nullptr);
  EXPECT_FALSE(seesTempTable(otherPool));

  EXPECT_TRUE(share->release(first));
  EXPECT_TRUE(seesTempTable(second));  // one holder is left
  EXPECT_TRUE(share->release(second));
  EXPECT_FALSE(share->release(second));
  EXPECT_FALSE(share->getErrorMessage().isEmpty());
  EXPECT_TRUE(share->release(otherPool));

  // The last release closed the connection, and its temporary table with
  // it: the pool opens a fresh one.
  DacConnection* fresh = share->acquire("pool1", connection_.c_str(), &error);
  ASSERT_NE(fresh, nullptr);
  EXPECT_FALSE(seesTempTable(fresh));
  EXPECT_TRUE(share->release(fresh));

  EXPECT_EQ(share->acquire("pool1", "KVXTYPE=SQLITE", &error), nullptr);
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(share->release(nullptr));
}

}  // namespace
