// EventRecorder: keeps the repository events posted while it is installed,
// each written as a text by the test's own describe function.
#ifndef TESTS_SUPPORT_EVENT_RECORDER_H_
#define TESTS_SUPPORT_EVENT_RECORDER_H_

#include <functional>
#include <string>
#include <vector>

#include "kvreposres/kvreposres.h"

class EventRecorder : public RepositoryEventListener {
 public:
  explicit EventRecorder(
      std::function<std::string(const RepositoryEvent&)> describe)
      : describe_(std::move(describe)) {
    getRepositoryEventManager()->addListener(this);
  }
  ~EventRecorder() override {
    getRepositoryEventManager()->removeListener(this);
  }
  void onRepositoryEvent(const RepositoryEvent& event) override {
    events.push_back(describe_(event));
  }

  std::vector<std::string> events;

 private:
  std::function<std::string(const RepositoryEvent&)> describe_;
};

#endif  // TESTS_SUPPORT_EVENT_RECORDER_H_
