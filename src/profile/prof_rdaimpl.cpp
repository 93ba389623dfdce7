// The shared shapes of the profile data-access operations: keyed adds,
// find-or-add, the metric columns of a field row, filtered deletions and
// optional terms of a statement.
#include "profile/prof_rdaimpl.h"

#include <utility>

bool ProfileRDAImpl::addKeyed(const char* code, const char* columns,
                              std::vector<KvbDatavar> values, int* key) {
  const int id = findOrAdd(code, nullptr, {}, columns, std::move(values));
  if (id < 0) return false;
  if (key) *key = id;
  return true;
}

int ProfileRDAImpl::findOrAdd(const char* code, const char* condition,
                              const std::vector<KvbDatavar>& keys,
                              const char* columns,
                              std::vector<KvbDatavar> values) {
  return addNumbered(KvbString(), code, code, condition, keys, columns,
                     std::move(values));
}

bool ProfileRDAImpl::metricColumns(int metricCount, const char* alias,
                                   KvbString& columns) {
  // A count above the columns would name columns that FLD does not have.
  if (metricCount > kMetricColumns)
    return fail(kvbStringFormat("A field has %d metric columns, not %d",
                                kMetricColumns, metricCount));
  for (int i = 0; i < metricCount; ++i)
    columns.append(kvbStringFormat(", %sMET_%d", alias, i));
  return true;
}

bool ProfileRDAImpl::deleteWhere(
    const char* code,
    std::initializer_list<std::pair<const char*, int>> terms) {
  if (!ready()) return false;
  KvbString sql = "DELETE FROM " + table(code);
  std::vector<KvbDatavar> values;
  SqlFilter filter(sql, values);
  bool first = true;
  for (const auto& term : terms) {
    if (first || term.second != -1) filter.add(term.first, term.second);
    first = false;
  }
  return run(sql, values);
}

void ProfileRDAImpl::andTerm(KvbString& sql, std::vector<KvbDatavar>& values,
                             const char* term, const KvbDatavar& value) {
  sql.append(" AND ").append(term);
  values.push_back(value);
}
