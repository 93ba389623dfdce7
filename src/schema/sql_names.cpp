// Checking names before they reach SQL text.
#include "schema/sql_names.h"

#include <cctype>

bool isPlainName(const KvbString& name) {
  if (name.isEmpty() || isdigit(static_cast<unsigned char>(name.str()[0])))
    return false;
  for (unsigned char c : name.str())
    if (!isalnum(c) && c != '_') return false;
  return true;
}
