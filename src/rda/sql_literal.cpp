// SQL literals and statements with their values written in.
#include "rda/sql_literal.h"

#include <cmath>

KvbString sqlLiteral(const KvbDatavar& value) {
  if (value.isNull()) return "NULL";
  switch (value.getType()) {
    case kvbTypeInt:
    case kvbTypeInt64:
    case kvbTypeReal:
    case kvbTypeDate:
      return std::isfinite(value.asDouble()) ? value.asString() : KvbString();
    default: {
      KvbString text("'");
      text.append(KvbString(value.textData(), value.textLength())
                      .replaceAll("'", "''"));
      return text.append('\'');
    }
  }
}

static bool mismatch(const KvbString& sql, KvbString& error) {
  error = "The statement's values do not match its markers: " + sql;
  return false;
}

bool bindLiterals(const KvbString& sql, const std::vector<KvbDatavar>& values,
                  KvbString& out, KvbString& error) {
  out = "";
  size_t next = 0;
  char quote = 0;  // the quote of the text or name being read, if any
  for (char c : sql.str()) {
    if (quote) {
      if (c == quote) quote = 0;  // a doubled quote reopens at once
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '?') {
      if (next >= values.size()) return mismatch(sql, error);
      const KvbString literal = sqlLiteral(values[next]);
      if (literal.isNull()) {
        error = "The value " + values[next].asString() +
                " is no finite number, which a statement of the script "
                "cannot carry: " + sql;
        return false;
      }
      out.append(literal);
      ++next;
      continue;
    }
    out.append(c);
  }
  return next == values.size() || mismatch(sql, error);
}
