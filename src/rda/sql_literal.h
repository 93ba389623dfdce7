// Writing bound values into SQL text as literals, for the statements that a
// DDL callback receives instead of the database.
#ifndef RDA_SQL_LITERAL_H_
#define RDA_SQL_LITERAL_H_

#include <vector>

#include "kvbase/kvbase.h"

// NULL, a number in the C form whatever the host's locale (reals and dates
// with round-trip precision), or a text in single quotes with each quote
// doubled. A real that is no finite number has no literal that every
// database reads as that number: it gives the null string.
KvbString sqlLiteral(const KvbDatavar& value);

// `sql` with each "?" marker outside quoted texts and quoted names replaced
// by the literal of the next value. False, with the reason in `error`, when
// the markers and the values differ in number or a value has no literal.
bool bindLiterals(const KvbString& sql, const std::vector<KvbDatavar>& values,
                  KvbString& out, KvbString& error);

#endif  // RDA_SQL_LITERAL_H_
