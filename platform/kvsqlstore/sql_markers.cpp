// The column that a "?" marker of a statement stands for, so that a value
// that the database cannot keep is refused with the name of its column.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "kvsqlstore/kvsqlstore.h"

namespace {

bool nameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '"' ||
         c == '`' || c == '[' || c == ']' || c == '.';
}

// The name that ends just before `end` in `sql`, without its quotes and
// without the table or alias before its point.
std::string nameBefore(const std::string& sql, size_t end) {
  size_t start = end;
  while (start > 0 && nameChar(sql[start - 1])) --start;
  std::string name = sql.substr(start, end - start);
  const size_t point = name.rfind('.');
  if (point != std::string::npos) name.erase(0, point + 1);
  std::string bare;
  for (char c : name)
    if (c != '"' && c != '`' && c != '[' && c != ']') bare += c;
  return bare;
}

bool startsWithWord(const std::string& sql, size_t at, const char* word) {
  for (size_t i = 0; word[i]; ++i)
    if (at + i >= sql.size() ||
        std::toupper(static_cast<unsigned char>(sql[at + i])) != word[i])
      return false;
  return true;
}

// The items of the parenthesised list that opens at `open`, split at its
// top-level commas: the name at the end of each.
std::vector<std::string> listNames(const std::string& sql, size_t open) {
  std::vector<std::string> names;
  int depth = 0;
  for (size_t at = open; at < sql.size(); ++at) {
    const char c = sql[at];
    if (c == '(') ++depth;
    if ((c == ',' && depth == 1) || (c == ')' && depth == 1)) {
      size_t end = at;
      while (end > open &&
             std::isspace(static_cast<unsigned char>(sql[end - 1])))
        --end;
      names.push_back(nameBefore(sql, end));
      if (c == ')') break;
    }
    if (c == ')') --depth;
  }
  return names;
}

}  // namespace

KvbString sqlMarkerColumn(const char* text, int index) {
  const std::string sql(text ? text : "");
  const KvbString none = kvbStringFormat("parameter %d", index + 1);
  size_t marker = std::string::npos;
  size_t columns = std::string::npos;  // "(" of an INSERT's column list
  size_t values = std::string::npos;   // "(" after its VALUES
  int seen = 0;
  char quote = 0;
  for (size_t at = 0; at < sql.size() && marker == std::string::npos; ++at) {
    const char c = sql[at];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == '(' && columns == std::string::npos &&
               startsWithWord(sql, 0, "INSERT")) {
      columns = at;
    } else if (startsWithWord(sql, at, "VALUES") &&
               values == std::string::npos) {
      values = sql.find('(', at);
    } else if (c == '?' && seen++ == index) {
      marker = at;
    }
  }
  if (marker == std::string::npos) return none;
  // "NAME = ?", "NAME=?" and the like: the name before the comparison.
  size_t end = marker;
  while (end > 0 && std::isspace(static_cast<unsigned char>(sql[end - 1])))
    --end;
  if (end > 0 &&
      (sql[end - 1] == '=' || sql[end - 1] == '<' || sql[end - 1] == '>')) {
    while (end > 0 && std::strchr("=<>! \t\n", sql[end - 1])) --end;
    const std::string name = nameBefore(sql, end);
    return name.empty() ? none : KvbString(name);
  }
  // A marker in an INSERT's VALUES list: the column at its place.
  if (columns == std::string::npos || values == std::string::npos ||
      marker < values)
    return none;
  const std::vector<std::string> names = listNames(sql, columns);
  int place = 0, depth = 0;
  for (size_t at = values; at < marker; ++at) {
    if (sql[at] == '(') ++depth;
    if (sql[at] == ')') --depth;
    if (sql[at] == ',' && depth == 1) ++place;
  }
  if (place >= static_cast<int>(names.size()) || names[place].empty())
    return none;
  return KvbString(names[place]);
}

KvbString sqliteNanRefusal(const char* sql, int index) {
  return "NaN cannot be stored in " + sqlMarkerColumn(sql, index) +
         ": SQLite keeps no NaN (it would store NULL)";
}
