// logPrintf: formats a log record and hands it to its logger.
#include "schema/log_printf.h"

namespace log_detail {

// The one form of a record's source location: the file's name without
// folder and extension ("rda_impl"), whether the caller gave __FILE__, a
// full build path or the short name.
static KvbString sourceName(const char* path) {
  KvbString name;
  kvbParsePath(path ? path : "", nullptr, &name);
  const size_t dot = name.rfind('.');
  return dot == KvbString::npos ? name : name.substr(0, dot);
}

int logFormatted(KvLogger* logger, int level, const char* file, int line,
                 const char* format, ...) {
  va_list args;
  va_start(args, format);
  KvbString text = kvbStringFormatV(format, args);
  va_end(args);
  logger->log(level, sourceName(file).asCstr(), line, text.asCstr());
  return static_cast<int>(text.length());
}

}  // namespace log_detail
