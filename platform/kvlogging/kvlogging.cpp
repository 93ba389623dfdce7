// kvlogging: the logger registry, the sink switch and the default stderr
// output.
#include "kvlogging/kvlogging.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "kvbase/kvbase.h"
#include "kvsync/kvnocancellation.h"

namespace {

using Sink = std::function<void(const KvLogRecord&)>;

// The installed sink, shared with the threads that are calling it, so that
// a swap can wait for those calls to end. Never destroyed: threads may
// still log while the process exits.
struct SinkSlot {
  std::mutex mutex;
  std::shared_ptr<const Sink> sink;
};
SinkSlot& sinkSlot() {
  static SinkSlot* const slot = new SinkSlot;
  return *slot;
}
std::atomic<bool> g_hasSink{false};

// How many sink calls the current thread is inside of.
thread_local int t_sinkDepth = 0;

std::shared_ptr<const Sink> currentSink() {
  SinkSlot& slot = sinkSlot();
  std::lock_guard<std::mutex> guard(slot.mutex);
  return slot.sink;
}

void writeDefault(const char* logger, int level, const char* file, int line,
                  const char* text) {
  if (level < 4) return;
  std::string out = level == 4 ? "WARNING " : "ERROR ";
  out += logger;
  out += ' ';
  out += file;
  out += ':';
  out += std::to_string(line);
  out += ": ";
  out += text;
  out += '\n';
  // One write per record keeps lines of concurrent threads apart.
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

bool KvLogger::isEnabled(int level) const {
  return g_hasSink.load(std::memory_order_acquire) || level >= 4;
}

void KvLogger::log(int level, const char* file, int line, const char* text) {
  if (!isEnabled(level)) return;
  if (!file) file = "";
  if (!text) text = "";
  // A thread unwound by its cancellation inside the sink would end the
  // process at the handler below, which cannot let it pass.
  KvNoCancellation noCancellation;
  std::shared_ptr<const Sink> sink = currentSink();
  if (!sink) {
    // The sink was removed after isEnabled: fall back to the default.
    writeDefault(name_.c_str(), level, file, line, text);
    return;
  }
  KvLogRecord record{name_.c_str(), level, file, line, text};
  ++t_sinkDepth;
  try {
    (*sink)(record);
  } catch (...) {
    // A failing sink must not break the caller's operation.
  }
  --t_sinkDepth;
}

void KvLogger::logFormatted(int level, const char* file, int line,
                            const char* format, va_list args) {
  if (!isEnabled(level)) return;
  if (!format) format = "";
  std::string text;
  {
    // Numbers in a log text in the C form; the sink runs in the host's
    // own locale again.
    const KvbCLocaleScope cNumbers;
    va_list sizing;
    va_copy(sizing, args);
    const int needed = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (needed >= 0) {
      text.assign(static_cast<size_t>(needed) + 1, '\0');
      va_list writing;
      va_copy(writing, args);
      std::vsnprintf(&text[0], text.size(), format, writing);
      va_end(writing);
    } else {
      // An encoding error in the format; keep the format itself as the text.
      text = format;
    }
  }
  log(level, file, line, text.c_str());
}

KvLogger* kvlogGetLogger(const char* name) {
  // Never destroyed, so that loggers stay usable while the process exits.
  static std::mutex* const mutex = new std::mutex;
  static auto* const loggers = new std::map<std::string, KvLogger*>;
  std::string key = name ? name : "";
  std::lock_guard<std::mutex> guard(*mutex);
  KvLogger*& logger = (*loggers)[key];
  if (!logger) logger = new KvLogger(key.c_str());
  return logger;
}

void kvlogSetSink(std::function<void(const KvLogRecord&)> sink) {
  std::shared_ptr<const Sink> next;
  if (sink) next = std::make_shared<const Sink>(std::move(sink));
  std::shared_ptr<const Sink> previous;
  {
    SinkSlot& slot = sinkSlot();
    std::lock_guard<std::mutex> guard(slot.mutex);
    previous = std::exchange(slot.sink, next);
    g_hasSink.store(next != nullptr, std::memory_order_release);
  }
  // Wait until no other thread is still inside the previous sink. From
  // inside a sink this would wait for itself, so it is skipped there.
  if (previous && t_sinkDepth == 0) {
    while (previous.use_count() > 1) std::this_thread::yield();
  }
}
