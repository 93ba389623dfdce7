// logPrintf: formats a log record and hands it to its logger.
#include "schema/log_printf.h"

namespace log_detail {

int logFormatted(KvLogger* logger, int level, const char* file, int line,
                 const char* format, ...) {
  va_list args;
  va_start(args, format);
  KvbString text = kvbStringFormatV(format, args);
  va_end(args);
  logger->log(level, file, line, text.asCstr());
  return static_cast<int>(text.length());
}

}  // namespace log_detail
