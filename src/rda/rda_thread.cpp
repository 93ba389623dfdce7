// Thread numbers and tokens: a robust mutex per thread that the kernel
// reports as its owner's death once the thread has ended.
#include "rda/rda_thread.h"

#include <cerrno>
#include <list>

#if defined(__SANITIZE_THREAD__)
#define RDA_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RDA_THREAD_SANITIZER 1
#endif
#endif
#ifdef RDA_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace {

#ifdef RDA_THREAD_SANITIZER
// A thread sanitizer cannot see the kernel mark the mutex of an ended
// thread, so it would take what the ended thread wrote and what the thread
// that found it ended reads as a race. Under it, a key destructor of the
// thread's first round tells it that the thread's work is done, and
// ended() that it was seen.
void tellSanitizerThreadDone(void* token) { __tsan_release(token); }
void tellSanitizerThreadEnds(RDA_ThreadToken* token) {
  static const pthread_key_t key = [] {
    pthread_key_t made;
    pthread_key_create(&made, &tellSanitizerThreadDone);
    return made;
  }();
  pthread_setspecific(key, token);
}
#endif

// Every token whose thread may still live. A thread's own pointer to its
// token is into this list, so the entry stays until the thread has ended;
// entries of ended threads go as new threads start, once the list has
// doubled since they last went, so that a start costs the same however
// many threads live. Never destroyed: threads may still start while the
// process exits.
struct Registry {
  std::mutex mutex;
  std::list<std::shared_ptr<RDA_ThreadToken>> tokens;
  size_t pruneAt = 0;  // the size at which the next start prunes the list
};
Registry& registry();

// A fork copies the registry unlocked (the forking thread holds its mutex
// across the fork). The child has only the forking thread: every token
// names a thread of the parent and leaves the list, and the forking thread
// gets a new identity at its next call.
void lockBeforeFork() { registry().mutex.lock(); }
void unlockInParent() { registry().mutex.unlock(); }
void startChild() {
  Registry& known = registry();
  known.tokens.clear();
  known.pruneAt = 0;
  rdaThreadNumber = 0;
  rdaThreadToken = nullptr;
#ifdef RDA_THREAD_SANITIZER
  tellSanitizerThreadEnds(nullptr);  // the thread's old token is gone
#endif
  known.mutex.unlock();
}

Registry& registry() {
  static Registry* const made = [] {
    Registry* const fresh = new Registry;
    pthread_atfork(&lockBeforeFork, &unlockInParent, &startChild);
    return fresh;
  }();
  return *made;
}

}  // namespace

RDA_ThreadToken::RDA_ThreadToken(uint64_t n) : number(n) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(&life_, &attributes);
  pthread_mutexattr_destroy(&attributes);
  pthread_mutex_lock(&life_);
#ifdef RDA_THREAD_SANITIZER
  // Nobody ever waits for this mutex (others only try it), so it orders no
  // lock; a thread sanitizer told that the thread holds it would take every
  // lock the thread takes later as ordered after it.
  __tsan_mutex_pre_unlock(&life_, 0);
  __tsan_mutex_post_unlock(&life_, 0);
  tellSanitizerThreadEnds(this);
#endif
}

// Only an ended thread's token is destroyed, and ended() has released its
// mutex by then: a held robust mutex is on its holder's robust list, which
// glibc and the kernel write through. A token dropped at a fork is on no
// list of the child.
RDA_ThreadToken::~RDA_ThreadToken() { pthread_mutex_destroy(&life_); }

bool RDA_ThreadToken::ended() const {
  if (ended_.load(std::memory_order_acquire)) return true;
  std::lock_guard<std::mutex> guard(check_);
  if (ended_.load(std::memory_order_relaxed)) return true;
  const int taken = pthread_mutex_trylock(&life_);
  if (taken == EBUSY) return false;  // its thread holds it: alive
  // EOWNERDEAD: the thread has ended, and this thread now holds the mutex.
  if (taken == EOWNERDEAD) pthread_mutex_consistent(&life_);
  if (taken == 0 || taken == EOWNERDEAD) pthread_mutex_unlock(&life_);
#ifdef RDA_THREAD_SANITIZER
  __tsan_acquire(const_cast<RDA_ThreadToken*>(this));
#endif
  ended_.store(true, std::memory_order_release);
  return true;
}

uint64_t rdaStartThread() {
  static std::atomic<uint64_t> next{0};
  const uint64_t number = ++next;
  auto token = std::make_shared<RDA_ThreadToken>(number);
  Registry& known = registry();
  std::lock_guard<std::mutex> guard(known.mutex);
  if (known.tokens.size() >= known.pruneAt) {
    known.tokens.remove_if(
        [](const std::shared_ptr<RDA_ThreadToken>& t) { return t->ended(); });
    known.pruneAt = 2 * known.tokens.size();
  }
  known.tokens.push_back(std::move(token));
  rdaThreadToken = &known.tokens.back();
  rdaThreadNumber = number;
  return number;
}
