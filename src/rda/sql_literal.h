// Writing bound values into SQL text as literals, for the statements that a
// DDL callback receives instead of the database.
#ifndef RDA_SQL_LITERAL_H_
#define RDA_SQL_LITERAL_H_

#include <vector>

#include "kvbase/kvbase.h"

// NULL, a number (reals and dates with round-trip precision), or a text in
// single quotes with each quote doubled.
KvbString sqlLiteral(const KvbDatavar& value);

// `sql` with each "?" marker outside quoted texts and quoted names replaced
// by the literal of the next value. False when the markers and the values
// differ in number.
bool bindLiterals(const KvbString& sql, const std::vector<KvbDatavar>& values,
                  KvbString& out);

#endif  // RDA_SQL_LITERAL_H_
