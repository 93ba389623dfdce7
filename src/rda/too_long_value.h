// A text value that a database server refused as longer than its column
// (SQLSTATE 22001), named by what it is rather than by the statement that
// wrote it: the writers know the columns they write and the lengths those
// declare, and look for the value that passes its length, measured in
// characters as the server measures a varchar(n).
#ifndef RDA_TOO_LONG_VALUE_H_
#define RDA_TOO_LONG_VALUE_H_

#include <cstddef>

#include "kvbase/kvbase.h"

// True when `reason`, the text of a statement that failed, is a server's
// refusal of a value longer than its column.
bool refusedAsTooLong(const KvbString& reason);

// The number of characters (UTF-8) of `value` when it is a text longer than
// `declared` characters; 0 for any other value, and for a `declared` of 0
// (no length known).
size_t charactersPast(const KvbDatavar& value, int declared);

// "The value of column <column> of table <table> is <characters>
// characters long; the column holds at most <declared>", with " in the row
// with <rowKey>" after the table when `rowKey` is not empty. Every such
// text begins with kTooLongValueLead.
extern const char kTooLongValueLead[];
KvbString tooLongText(const KvbString& table, const KvbString& column,
                      const KvbString& rowKey, size_t characters, int declared);

#endif  // RDA_TOO_LONG_VALUE_H_
