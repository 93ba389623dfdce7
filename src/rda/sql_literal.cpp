// SQL literals and statements with their values written in.
#include "rda/sql_literal.h"

KvbString sqlLiteral(const KvbDatavar& value) {
  if (value.isNull()) return "NULL";
  switch (value.getType()) {
    case kvbTypeInt:
    case kvbTypeInt64:
    case kvbTypeReal:
    case kvbTypeDate:
      return value.asString();
    default: {
      KvbString text("'");
      text.append(KvbString(value.textData(), value.textLength())
                      .replaceAll("'", "''"));
      return text.append('\'');
    }
  }
}

bool bindLiterals(const KvbString& sql, const std::vector<KvbDatavar>& values,
                  KvbString& out) {
  out = "";
  size_t next = 0;
  char quote = 0;  // the quote of the text or name being read, if any
  for (char c : sql.str()) {
    if (quote) {
      if (c == quote) quote = 0;  // a doubled quote reopens at once
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '?') {
      if (next >= values.size()) return false;
      out.append(sqlLiteral(values[next++]));
      continue;
    }
    out.append(c);
  }
  return next == values.size();
}
