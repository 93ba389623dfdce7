// A thread's identity as the connection locks know it: a number never
// given to another thread, a token whose end is seen once the thread has
// ended, and tokens of ended threads that are let go as other threads
// start, so that a host starting short threads for ever keeps few of them.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "rda/rda_thread.h"

namespace {

TEST(RdaThread, EndedThreadsAreSeenAndTheirTokensLetGo) {
  const uint64_t mine = rdaCurrentThread();
  EXPECT_EQ(rdaCurrentThread(), mine);
  EXPECT_FALSE(rdaCurrentThreadToken()->ended());

  uint64_t first = 0;
  std::weak_ptr<RDA_ThreadToken> token;
  std::thread([&] {
    first = rdaCurrentThread();
    token = rdaCurrentThreadToken();
  }).join();
  EXPECT_GT(first, mine);
  ASSERT_FALSE(token.expired());
  EXPECT_TRUE(token.lock()->ended());

  // The list of tokens is looked through once it has doubled since the
  // last look: a bound of the living threads, which are few here.
  int starts = 0;
  uint64_t last = first;
  for (; starts < 1000 && !token.expired(); ++starts) {
    uint64_t number = 0;
    std::thread([&] { number = rdaCurrentThread(); }).join();
    EXPECT_GT(number, last);
    last = number;
  }
  EXPECT_TRUE(token.expired()) << "still kept after " << starts << " starts";
}

}  // namespace
