// StopOnce: a status callback that answers false once, to the first step
// that begins with a given text, and true to every other step, as a host
// whose user asked once to stop would. It keeps that step and counts the
// steps reported after it.
#ifndef TESTS_SUPPORT_STOP_ONCE_H_
#define TESTS_SUPPORT_STOP_ONCE_H_

#include <string>
#include <utility>

#include "reposadmin/repository_status_callback.h"

class StopOnce : public RepositoryStatusCallback {
 public:
  explicit StopOnce(std::string prefix) : prefix_(std::move(prefix)) {}

  bool reportStatus(const KvbString& text) override {
    if (!stoppedAt.empty()) {
      ++stepsAfter;
      return true;
    }
    if (text.str().rfind(prefix_, 0) != 0) return true;
    stoppedAt = text.str();
    return false;
  }
  void reportMessage(const KvbString&) override {}

  std::string stoppedAt;  // empty until the stop
  int stepsAfter = 0;

 private:
  std::string prefix_;
};

#endif  // TESTS_SUPPORT_STOP_ONCE_H_
