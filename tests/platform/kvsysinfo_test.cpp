// Tests of kvsysinfo's user name.
#include "kvsysinfo/kvsysinfo.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

TEST(SysInfoTest, UserNameIsTheEffectiveUsersAndFitsOrOverflows) {
  char buffer[256];
  ASSERT_EQ(np_osinf_user(buffer, sizeof buffer), NP_OSINF_OK);
  const struct passwd* entry = ::getpwuid(::geteuid());
  if (entry) {
    EXPECT_STREQ(buffer, entry->pw_name);
  }
  const std::string name = buffer;
  if (name.empty()) GTEST_SKIP() << "no user name on this system";

  char exact[256];
  EXPECT_EQ(np_osinf_user(exact, name.size() + 1), NP_OSINF_OK);
  EXPECT_EQ(name, exact);
  EXPECT_EQ(np_osinf_user(exact, name.size()), NP_OSINF_EOVERFLOW);
  EXPECT_STREQ(exact, "");
  EXPECT_EQ(np_osinf_user(nullptr, 10), NP_OSINF_EARG);
  EXPECT_EQ(np_osinf_user(exact, 0), NP_OSINF_EARG);
}

}  // namespace
