// The three procedures of the reference-data object: add, query by example
// and delete by example.
#include "refdata/refdata_rdaimpl.h"

bool RefDataRDAImpl::addRow(const char* code, Dated dated, RdFields values,
                            int* newId, const char* idColumn) {
  if (!ready()) return false;
  SqlFields row;
  for (const RdField& value : values) {
    SqlField column = value.inAdd();
    if (column.given) row.push_back(std::move(column));
  }
  if (dated == kDated)
    row.push_back(RdField("CRTDATE", KvbDate::currentDate()).inAdd());
  if (!idColumn) {
    // An insert without a column is a syntax error on every database:
    // refuse it here, with a reason that says what is wrong.
    if (row.empty())
      return fail(
          kvbStringFormat("No value given for a row of table %s", code));
    // A link is stored once: a link of the same ids, every one given, is
    // there already and answers true.
    SqlFields ids;
    for (const RdField& value : values) {
      SqlField column = value.inAdd();
      if (column.param.value.getType() != kvbTypeInt) continue;
      if (!column.given) return insert(code, row);
      ids.push_back(std::move(column));
    }
    if (ids.empty()) return insert(code, row);
    return insertUnless(IfPresent::kSucceed, Refusal(), code, ids, row);
  }
  const int id = addNumbered(code, code, idColumn, row);
  // Only an add that ended well hands out its id.
  if (id < 0) return false;
  if (newId) *newId = id;
  return true;
}

RefDataRDAImpl::Cursor RefDataRDAImpl::queryByExample(const char* code,
                                                      RdFields filters,
                                                      const char* order) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement(selectAll(code)).where(asFilters(filters)).append(order));
}

bool RefDataRDAImpl::deleteByExample(const char* code, RdFields filters) {
  return ready() && run(SqlStatement("DELETE FROM " + table(code))
                            .where(asFilters(filters)));
}
