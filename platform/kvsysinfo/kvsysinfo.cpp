// kvsysinfo: the user name through getpwuid_r, with the USER variable as the
// fallback for a user id that has no entry. The look-up reads the user
// database (a cancellation point), which engine calls reach outside any
// connection lock, so cancellation is held off while it runs.
#include "kvsysinfo/kvsysinfo.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kvsync/kvnocancellation.h"

namespace {

// The user database's name for `uid`, or "" when there is no entry or the
// lookup fails.
std::string passwordName(uid_t uid) {
  KvNoCancellation noCancellation;
  long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> scratch(hint > 0 ? static_cast<size_t>(hint) : 1024);
  for (;;) {
    struct passwd entry;
    struct passwd* found = nullptr;
    const int rc =
        ::getpwuid_r(uid, &entry, scratch.data(), scratch.size(), &found);
    if (rc == ERANGE && scratch.size() < (1u << 20)) {
      scratch.resize(scratch.size() * 2);
      continue;
    }
    if (rc != 0 || !found || !found->pw_name) return std::string();
    return found->pw_name;
  }
}

}  // namespace

int np_osinf_user(char* buffer, size_t size) {
  if (!buffer || size == 0) return NP_OSINF_EARG;
  std::string name = passwordName(::geteuid());
  if (name.empty()) {
    const char* user = std::getenv("USER");
    if (user) name = user;
  }
  if (name.size() >= size) {
    buffer[0] = '\0';
    return NP_OSINF_EOVERFLOW;
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return NP_OSINF_OK;
}
