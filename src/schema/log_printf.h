// logPrintf: the engine's one logging helper. It formats a printf-style text
// ("%S" takes a KvbString) and hands it, with the level and the source
// position, to a named logger of kvlogging.
#ifndef SCHEMA_LOG_PRINTF_H_
#define SCHEMA_LOG_PRINTF_H_

#include "kvbase/kvbase.h"
#include "kvlogging/kvlogging.h"

// Levels of log records.
enum LogLevel {
  kLogProgress = 1,  // steps of create and upgrade, lock tracing
  kLogTrace = 2,     // SQL texts, skipped work
  kLogInfo = 3,
  kLogWarning = 4,
  kLogError = 5,
};

namespace log_detail {
int logFormatted(KvLogger* logger, int level, const char* file, int line,
                 const char* format, ...);
}

// Logs one record. Returns the length of the text handed to the logger, or 0
// when there is no logger or the level is not enabled (then nothing is
// formatted). Texts taken from elsewhere (a database's error text) must be
// passed as an argument of "%s" or "%S", never as the format.
template <typename... Args>
int logPrintf(KvLogger* logger, int level, const char* file, int line,
              const char* format, const Args&... args) {
  if (!logger || !logger->isEnabled(level)) return 0;
  return log_detail::logFormatted(logger, level, file, line, format,
                                  kvb_detail::formatArg(args)...);
}

#endif  // SCHEMA_LOG_PRINTF_H_
