// Macros in lineage identities and names: a configuration option name
// between two "%%" markers, as in "%%SRC_DIR%%/in.txt", replaced by the
// value of that option of the default configuration group.
#ifndef SERVICES_LINEAGE_MACROS_H_
#define SERVICES_LINEAGE_MACROS_H_

#include "kvbase/kvbase.h"

// The most macros that one text may expand to: an option whose value
// names itself again would otherwise be expanded for ever.
constexpr int kMaxMacroExpansions = 64;

// True when the text holds "%%" and a further "%%" after it.
bool hasMacro(const KvbString& text);
// Replaces the first macro of `text` into `result`; an option that is not
// set is replaced by nothing and sets `unresolved`. False when the text
// holds no macro.
bool expandNextMacro(const KvbString& text, KvbString& result,
                     bool& unresolved);
// Replaces every macro, the macros that values bring in included. False
// when the text holds none, an option is not set, or the expansions pass
// kMaxMacroExpansions.
bool expandMacros(const KvbString& text, KvbString& result);
// The expanded text when every macro of it expands, else the text itself.
void resolveMacros(const KvbString& text, KvbString& result);

#endif  // SERVICES_LINEAGE_MACROS_H_
