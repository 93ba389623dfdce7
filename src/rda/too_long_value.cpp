// Recognising and naming a text value too long for its column.
#include "rda/too_long_value.h"

#include <cstring>

#include "kvdataaccess/kvdataaccess.h"
#include "rda/rda_batch_writer.h"

bool refusedAsTooLong(const KvbString& reason) {
  // The data-access library puts each driver record's SQLSTATE in
  // brackets; the statement before it has its values bound, not written in.
  return reason.find("[22001]") != KvbString::npos;
}

bool refusedValue(const KvbString& reason) {
  return refusedAsTooLong(reason) ||
         dacNulByteRefusal(reason) != KvbString::npos;
}

size_t charactersPast(const KvbDatavar& value, int declared) {
  if (declared <= 0 || value.isNull() || value.getType() != kvbTypeString ||
      value.textLength() <= static_cast<size_t>(declared))
    return 0;
  // Every byte but a UTF-8 continuation byte begins a character.
  size_t characters = 0;
  const char* text = value.textData();
  for (size_t i = 0; i < value.textLength(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++characters;
  return characters > static_cast<size_t>(declared) ? characters : 0;
}

const char kTooLongValueLead[] = "The value of column ";

KvbString tooLongText(const KvbString& table, const KvbString& column,
                      const KvbString& rowKey, size_t characters,
                      int declared) {
  const KvbString row =
      rowKey.isEmpty() ? KvbString("") : " in the row with " + rowKey;
  return kvbStringFormat(
      "%s%S of table %S%S is %d characters long; the column holds at most %d",
      kTooLongValueLead, column, table, row, static_cast<int>(characters),
      declared);
}

KvbString refusedValueText(const KvbString& reason, const KvbString& table,
                           const KvbString& column, const KvbDatavar& value,
                           int declared) {
  const size_t nul = dacNulByteRefusal(reason);
  if (nul != KvbString::npos) {
    const bool holdsNul =
        value.getType() == kvbTypeString && !value.isNull() &&
        std::memchr(value.textData(), 0, value.textLength()) != nullptr;
    if (!holdsNul) return KvbString();
    return kvbStringFormat("%s%S of table %S", kTooLongValueLead, column,
                           table) +
           reason.substr(nul);
  }
  if (!refusedAsTooLong(reason)) return KvbString();
  const size_t characters = charactersPast(value, declared);
  return characters ? tooLongText(table, column, "", characters, declared)
                    : KvbString();
}

namespace {

KvbString rowKey(const std::vector<KvbString>& names,
                 const std::vector<size_t>& keys, const KvbDatavar* row) {
  KvbString key("");
  for (size_t c : keys) {
    const KvbDatavar& value = row[c];
    const KvbString shown = value.getType() == kvbTypeString
                                ? "\"" + value.asString() + "\""
                                : value.asString();
    key.append(key.isEmpty() ? "" : ", ")
        .append(names[c])
        .append(' ')
        .append(shown);
  }
  return key;
}

}  // namespace

KvbString tooLongInBatch(const RDA_BatchWriter& writer, const KvbString& table,
                         const std::vector<KvbString>& names,
                         const std::vector<int>& lengths,
                         const std::vector<size_t>& keys) {
  size_t rows = 0;
  const KvbDatavar* row = writer.lastBatch(&rows);
  for (size_t r = 0; r < rows; ++r, row += lengths.size())
    for (size_t c = 0; c < lengths.size(); ++c)
      if (const size_t characters = charactersPast(row[c], lengths[c]))
        return tooLongText(table, names[c], rowKey(names, keys, row),
                           characters, lengths[c]);
  return KvbString();
}
