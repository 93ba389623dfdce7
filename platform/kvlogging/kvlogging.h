// kvlogging: named loggers for the engine. Every record goes either to a
// sink that the host (or a test) installs, or, by default, warnings and
// errors go to stderr and everything else is dropped. The default output
// runs only while no sink is installed; a host that wants no output at all
// installs a sink that drops every record:
//   kvlogSetSink([](const KvLogRecord&) {});
//
// The engine logs each failure once, at level 5, in the operation that
// finds it; an operation that passes a failure on records it as its error
// text without logging it again (a manager that works through a
// data-access object logs the object's failures itself, as one record
// "<what it was doing>: <reason>"). A record's `file` is the engine source
// file's name without folder and extension ("rda_impl").
#ifndef KVLOGGING_KVLOGGING_H_
#define KVLOGGING_KVLOGGING_H_

#include <cstdarg>
#include <functional>
#include <string>

// One log record as a sink receives it. The pointers are valid only during
// the sink call; `file` and `text` are never null ("" stands in for a null
// argument).
struct KvLogRecord {
  const char* logger;
  // 1 progress, 2 trace, 3 info, 4 warning, 5 error.
  int level;
  const char* file;
  int line;
  const char* text;
};

// A named logger. Loggers live as long as the process; they are obtained
// through kvlogGetLogger and never deleted by their users. All operations
// are thread-safe.
class KvLogger {
 public:
  KvLogger(const KvLogger&) = delete;
  KvLogger& operator=(const KvLogger&) = delete;

  // The name given to kvlogGetLogger.
  const char* getName() const { return name_.c_str(); }

  // True when a record of `level` would reach anyone: always while a sink
  // is installed, otherwise only for warnings and errors (level >= 4).
  bool isEnabled(int level) const;

  // Emits one record when isEnabled(level). A null file or text is taken
  // as "".
  void log(int level, const char* file, int line, const char* text);

  // Formats `format` with printf rules (no length limit) and emits the
  // result as by log(). Nothing is formatted when the level is disabled.
  // `args` is not consumed: the caller may still va_end it as usual.
  void logFormatted(int level, const char* file, int line, const char* format,
                    va_list args);

 private:
  friend KvLogger* kvlogGetLogger(const char* name);
  explicit KvLogger(const char* name) : name_(name) {}
  ~KvLogger() = default;
  std::string name_;
};

// The logger called `name` (null is taken as ""). The same name gives the
// same object for the life of the process; the result is never null.
// Thread-safe.
KvLogger* kvlogGetLogger(const char* name);

// Installs `sink` as the receiver of every record of every logger and
// every level. An empty function restores the default output (levels 4
// and 5 to stderr as one line "<LEVEL> <logger> <file>:<line>: <text>").
// Thread-safe: other threads may log meanwhile. When the call returns, the
// previous sink is no longer being called by any thread, so whatever it
// captured may be destroyed (except when the call is made from inside a
// sink, which cannot wait for itself).
void kvlogSetSink(std::function<void(const KvLogRecord&)> sink);

#endif  // KVLOGGING_KVLOGGING_H_
