// Expansion of "%%NAME%%" macros from the configuration options, bounded so
// that an option that names itself cannot loop.
#include "services/lineage_macros.h"

namespace {
const char kMarker[] = "%%";
}  // namespace

bool hasMacro(const KvbString& text) {
  const size_t first = text.find(kMarker);
  return first != KvbString::npos &&
         text.find(kMarker, first + 2) != KvbString::npos;
}

bool expandNextMacro(const KvbString& text, KvbString& result,
                     bool& unresolved) {
  const size_t first = text.find(kMarker);
  if (first == KvbString::npos) return false;
  const size_t second = text.find(kMarker, first + 2);
  if (second == KvbString::npos) return false;
  const KvbString name = text.substr(first + 2, second - first - 2);
  KvbString value;
  const bool set = kvbGetConfigOptions("")->get(name.asCstr(), value);
  if (!set) unresolved = true;
  result = text.substr(0, first);
  if (set) result.append(value);
  result.append(text.substr(second + 2));
  return true;
}

bool expandMacros(const KvbString& text, KvbString& result) {
  if (!hasMacro(text)) return false;
  KvbString current = text;
  for (int i = 0; i < kMaxMacroExpansions; ++i) {
    KvbString next;
    bool unresolved = false;
    if (!expandNextMacro(current, next, unresolved) || unresolved) return false;
    if (!hasMacro(next)) {
      result = next;
      return true;
    }
    current = next;
  }
  return false;
}

void resolveMacros(const KvbString& text, KvbString& result) {
  KvbString expanded;
  result = hasMacro(text) && expandMacros(text, expanded) ? expanded : text;
}
