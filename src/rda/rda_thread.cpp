// Thread numbers and tokens, ended by a POSIX thread-specific key.
#include "rda/rda_thread.h"

#include <pthread.h>

namespace {

// Runs after the thread's C++ thread_local destructors (and again, should
// a later key destructor start the thread afresh).
void endThread(void* value) {
  auto* token = static_cast<std::shared_ptr<RDA_ThreadToken>*>(value);
  (*token)->alive.store(false, std::memory_order_release);
  delete token;
  rdaThreadToken = nullptr;
  rdaThreadNumber = 0;
}

// Made once and never deleted: the library is linked not to be unloaded,
// so the destructor stays in place while any thread may still run it.
pthread_key_t threadKey() {
  static const pthread_key_t key = [] {
    pthread_key_t made;
    pthread_key_create(&made, &endThread);
    return made;
  }();
  return key;
}

}  // namespace

uint64_t rdaStartThread() {
  static std::atomic<uint64_t> next{0};
  const uint64_t number = ++next;
  auto* token = new std::shared_ptr<RDA_ThreadToken>(
      std::make_shared<RDA_ThreadToken>(number));
  pthread_setspecific(threadKey(), token);
  rdaThreadToken = token;
  rdaThreadNumber = number;
  return number;
}
