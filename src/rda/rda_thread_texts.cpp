// Per-thread failure texts of a connection.
#include "rda/rda_thread_texts.h"

#include <algorithm>

#include "schema/log_printf.h"

RDA_ThreadTexts::Entry* RDA_ThreadTexts::own() {
  const std::shared_ptr<RDA_ThreadToken>& self = rdaCurrentThreadToken();
  for (Entry& entry : entries_)
    if (entry.thread == self) return &entry;
  return nullptr;
}

void RDA_ThreadTexts::set(const KvbString& text, bool logged) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (Entry* entry = own()) {
    entry->text = text;
    entry->logged = logged;
    return;
  }
  entries_.erase(
      std::remove_if(entries_.begin(), entries_.end(),
                     [](const Entry& entry) { return entry.thread->ended(); }),
      entries_.end());
  entries_.push_back({rdaCurrentThreadToken(), text, logged});
}

void RDA_ThreadTexts::logUnlogged(KvLogger* logger, const char* file,
                                  int line) {
  KvbString text;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    Entry* entry = own();
    if (!entry || entry->logged) return;
    entry->logged = true;
    text = entry->text;
  }
  logPrintf(logger, kLogError, file, line, "%S", text);
}

void RDA_ThreadTexts::markLogged() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (Entry* entry = own()) entry->logged = true;
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
