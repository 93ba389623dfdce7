// The import log: one line per action event.
#include "impexp/repactionevent.h"

bool RepositoryActionEventStringImpl::onActionEvent(int level,
                                                    const KvbString& source,
                                                    const KvbString& message) {
  static const char* const kWords[] = {
      "Error: ", "Warn: ", "Info: ", "Debug: ", "Trace: "};
  const char* word = level >= 0 && level <= 4 ? kWords[level] : "Unknown: ";
  if (!text_.isEmpty()) text_.append("\n");
  text_.append(kvbStringFormat("(%S) %s%S", source, word, message));
  return true;
}
