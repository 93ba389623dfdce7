// The administration entry points of the library: createRepositoryAdmin and
// the text of its last failure.
#include <cstring>
#include <exception>
#include <mutex>

#include "admin/repositoryadminimpl.h"
#include "reposadmin/kvreposadmin.h"

namespace {
// The text of the last failure of createRepositoryAdmin in this process, at
// most 255 bytes and always NUL-terminated.
char g_adminError[256];
std::mutex g_adminErrorLock;

// Replaces the text, cut on a character boundary to fit.
void setAdminError(const char* text) {
  KvbString cut(text);
  cut.truncateUtf8(sizeof g_adminError - 1);
  std::memset(g_adminError, 0, sizeof g_adminError);
  std::memcpy(g_adminError, cut.asCstr(), cut.length());
}

RepositoryAdmin* newRepositoryAdmin(int flags, const char* listFile) {
  if (!listFile && !(flags & 1)) {
    setAdminError("No repository config file specified");
    return nullptr;
  }
  std::memset(g_adminError, 0, sizeof g_adminError);
  auto* admin =
      new RepositoryAdminImpl(flags, KvbString(listFile ? listFile : ""));
  const KvbString error = admin->getErrorMessage();
  if (error.isEmpty()) return admin;
  setAdminError(error.asCstr());
  admin->release();
  return nullptr;
}
}  // namespace

extern "C" {

KVREPOS_EXPORT RepositoryAdmin* createRepositoryAdmin(int flags,
                                                      const char* listFile) {
  std::lock_guard<std::mutex> guard(g_adminErrorLock);
  try {
    return newRepositoryAdmin(flags, listFile);
  } catch (const std::exception& e) {
    setAdminError(e.what());
    return nullptr;
  }
}

KVREPOS_EXPORT const char* getRepositoryAdminError() { return g_adminError; }
}
