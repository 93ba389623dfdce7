// The import log: one line per action event.
#include "impexp/repactionevent.h"

bool RepositoryActionEventStringImpl::onActionEvent(int level,
                                                    const KvbString& source,
                                                    const KvbString& message) {
  static const char* const kWords[] = {
      "Error: ", "Warn: ", "Info: ", "Debug: ", "Trace: "};
  const char* word = level >= 0 && level <= 4 ? kWords[level] : "Unknown: ";
  if (!text_.isEmpty()) text_.append("\n");
  // An event that names no source gets no empty brackets.
  if (!source.isEmpty()) text_.append(kvbStringFormat("(%S) ", source));
  text_.append(kvbStringFormat("%s%S", word, message));
  return true;
}
