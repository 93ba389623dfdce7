// The check of names that the engine writes into SQL text: table codes,
// column and index names from table sets and table dumps, prefixes.
#ifndef SCHEMA_SQL_NAMES_H_
#define SCHEMA_SQL_NAMES_H_

#include "kvbase/kvbase.h"

// Letters, digits and underscores, not starting with a digit; such a name
// can never break out of the SQL it is written into.
bool isPlainName(const KvbString& name);

#endif  // SCHEMA_SQL_NAMES_H_
