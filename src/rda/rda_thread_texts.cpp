// Per-thread failure texts of a connection.
#include "rda/rda_thread_texts.h"

#include <algorithm>

void RDA_ThreadTexts::set(const KvbString& text) {
  const std::shared_ptr<RDA_ThreadToken>& self = rdaCurrentThreadToken();
  std::lock_guard<std::mutex> guard(mutex_);
  for (Entry& entry : entries_) {
    if (entry.thread == self) {
      entry.text = text;
      return;
    }
  }
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [](const Entry& entry) {
                                  return entry.thread->ended();
                                }),
                 entries_.end());
  entries_.push_back({self, text});
}

bool RDA_ThreadTexts::last(KvbString& text) const {
  const std::shared_ptr<RDA_ThreadToken>& self = rdaCurrentThreadToken();
  std::lock_guard<std::mutex> guard(mutex_);
  for (const Entry& entry : entries_) {
    if (entry.thread == self) {
      text = entry.text;
      return true;
    }
  }
  return false;
}

void RDA_ThreadTexts::forget() {
  const std::shared_ptr<RDA_ThreadToken>& self = rdaCurrentThreadToken();
  std::lock_guard<std::mutex> guard(mutex_);
  entries_.erase(
      std::remove_if(entries_.begin(), entries_.end(),
                     [&](const Entry& entry) { return entry.thread == self; }),
      entries_.end());
}
