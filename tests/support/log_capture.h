// LogCapture: installs a kvlogging sink for the life of a test and keeps
// every record it receives.
#ifndef TESTS_SUPPORT_LOG_CAPTURE_H_
#define TESTS_SUPPORT_LOG_CAPTURE_H_

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "kvlogging/kvlogging.h"

struct CapturedLog {
  std::string logger;
  int level;
  std::string file;
  int line;
  std::string text;
};

class LogCapture {
 public:
  LogCapture() {
    kvlogSetSink([this](const KvLogRecord& r) {
      std::lock_guard<std::mutex> guard(mutex_);
      records_.push_back({r.logger, r.level, r.file, r.line, r.text});
    });
  }
  ~LogCapture() { kvlogSetSink(nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<CapturedLog> records() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return records_;
  }
  // The texts of the records of `logger`, in order.
  std::vector<std::string> texts(const std::string& logger) const {
    std::vector<std::string> out;
    for (const CapturedLog& r : records())
      if (r.logger == logger) out.push_back(r.text);
    return out;
  }
  // True when some record of `level` (any level when 0) contains `text`.
  bool contains(const std::string& text, int level = 0) const {
    for (const CapturedLog& r : records())
      if ((level == 0 || r.level == level) &&
          r.text.find(text) != std::string::npos)
        return true;
    return false;
  }
  // The texts of the records of level 4 and above that `call` logs; with
  // `withLevels` each text follows its level and a blank ("5 <text>").
  std::vector<std::string> failuresDuring(const std::function<void()>& call,
                                          bool withLevels = false) const {
    const size_t before = records().size();
    call();
    const std::vector<CapturedLog> all = records();
    std::vector<std::string> texts;
    for (size_t i = before; i < all.size(); ++i)
      if (all[i].level >= 4)
        texts.push_back(withLevels
                            ? std::to_string(all[i].level) + " " + all[i].text
                            : all[i].text);
    return texts;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<CapturedLog> records_;
};

// The records of level 4 and above that `call` logs, as "file: text".
inline std::vector<std::string> loggedFailures(
    const std::function<void()>& call) {
  LogCapture log;
  call();
  std::vector<std::string> lines;
  for (const CapturedLog& record : log.records())
    if (record.level >= 4) lines.push_back(record.file + ": " + record.text);
  return lines;
}

#endif  // TESTS_SUPPORT_LOG_CAPTURE_H_
