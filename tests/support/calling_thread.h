// CallingThread: a thread that makes one call and then reaches a
// cancellation point, recording how far it got, for tests of a thread
// cancelled (pthread_cancel) during an engine call.
#ifndef TESTS_SUPPORT_CALLING_THREAD_H_
#define TESTS_SUPPORT_CALLING_THREAD_H_

#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <future>

class CallingThread {
 public:
  explicit CallingThread(std::function<bool()> call) : call_(std::move(call)) {
    EXPECT_EQ(pthread_create(&thread_, nullptr, &CallingThread::run, this), 0);
  }
  CallingThread(const CallingThread&) = delete;
  CallingThread& operator=(const CallingThread&) = delete;
  void cancel() { pthread_cancel(thread_); }
  // Joins it: true when it was cancelled, and only after its call answered.
  bool cancelledAfterItsCall() {
    void* result = nullptr;
    pthread_join(thread_, &result);
    return result == PTHREAD_CANCELED && returned_ && !pastCancellationPoint_;
  }
  bool answer() const { return answer_; }
  // Waits until its call has answered.
  void waitForAnswer() { answered_.get_future().wait(); }

 private:
  static void* run(void* arg) {
    auto* self = static_cast<CallingThread*>(arg);
    self->answer_ = self->call_();
    self->returned_ = true;
    self->answered_.set_value();
    pthread_testcancel();
    self->pastCancellationPoint_ = true;
    return nullptr;
  }
  std::function<bool()> call_;
  std::promise<void> answered_;
  pthread_t thread_;
  bool answer_ = false;
  bool returned_ = false;
  bool pastCancellationPoint_ = false;
};

#endif  // TESTS_SUPPORT_CALLING_THREAD_H_
