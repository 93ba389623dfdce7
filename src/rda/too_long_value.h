// A text value that a database server refused as longer than its column
// (SQLSTATE 22001), named by what it is rather than by the statement that
// wrote it: the writers know the columns they write and the lengths those
// declare, and look for the value that passes its length, measured in
// characters as the server measures a varchar(n).
#ifndef RDA_TOO_LONG_VALUE_H_
#define RDA_TOO_LONG_VALUE_H_

#include <cstddef>
#include <vector>

#include "kvbase/kvbase.h"

class RDA_BatchWriter;

// True when `reason`, the text of a statement that failed, is a server's
// refusal of a value longer than its column.
bool refusedAsTooLong(const KvbString& reason);

// True when `reason` is the refusal of one value that its writer can name
// by its column: refusedAsTooLong, or a bind's refusal of a text that holds
// a NUL byte where the database stores none (dacNulByteRefusal).
bool refusedValue(const KvbString& reason);

// The text that names `value`, written to `column` of `table` (declared
// `declared` characters long, 0 when unknown), as the cause of `reason`, a
// refusedValue: tooLongText for a text past its length, or "The value of
// column <column> of table <table> holds a NUL byte, which <database>
// cannot store" for a text that holds one. Null when the value is not the
// cause.
KvbString refusedValueText(const KvbString& reason, const KvbString& table,
                           const KvbString& column, const KvbDatavar& value,
                           int declared);

// The number of characters (UTF-8) of `value` when it is a text longer than
// `declared` characters; 0 for any other value, and for a `declared` of 0
// (no length known).
size_t charactersPast(const KvbDatavar& value, int declared);

// "The value of column <column> of table <table> is <characters>
// characters long; the column holds at most <declared>", with " in the row
// with <rowKey>" after the table when `rowKey` is not empty. Every such
// text, and every text of refusedValueText, begins with kTooLongValueLead.
extern const char kTooLongValueLead[];
KvbString tooLongText(const KvbString& table, const KvbString& column,
                      const KvbString& rowKey, size_t characters, int declared);

// The tooLongText of the first value of the batch that `writer` failed to
// write, row by row and column by column as the server meets them, that
// passes the length its column declares: `names` and `lengths` give each
// column's name and length (0: none known), `keys` the columns of a row's
// key, which name the row ("ID 7", "A 1, B \"x\""). Null when none does.
KvbString tooLongInBatch(const RDA_BatchWriter& writer, const KvbString& table,
                         const std::vector<KvbString>& names,
                         const std::vector<int>& lengths,
                         const std::vector<size_t>& keys);

#endif  // RDA_TOO_LONG_VALUE_H_
