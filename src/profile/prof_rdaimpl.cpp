// The shared shapes of the profile data-access operations: keyed adds,
// find-or-add, the metric columns of a field row and filtered deletions.
#include "profile/prof_rdaimpl.h"

bool ProfileRDAImpl::addKeyed(const char* code, const char* idColumn,
                              const SqlFields& columns, int* key) {
  const int id = findOrAdd(code, idColumn, {}, columns);
  if (id < 0) return false;
  if (key) *key = id;
  return true;
}

int ProfileRDAImpl::findOrAdd(const char* code, const char* idColumn,
                              const SqlFields& keys, const SqlFields& columns) {
  return addNumbered(code, code, idColumn, columns, keys);
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
  SqlStatement remove("DELETE FROM " + table(code));
  for (const auto& term : terms)
    remove.where(term.first, term.second,
                 remove.anyWhere() ? Given::kNotMinusOne : Given::kAlways);
  return run(remove);
}
