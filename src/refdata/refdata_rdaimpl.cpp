// The three procedures of the reference-data object: add, query by example
// and delete by example, and the running of the statements they build.
#include "refdata/refdata_rdaimpl.h"

bool RefDataRDAImpl::addRow(const char* code, Dated dated, RdFields values,
                            int* newId, const char* idColumn) {
  if (!ready()) return false;
  std::vector<RdField> row;
  if (idColumn) row.emplace_back(idColumn, 0);  // drawn in the transaction
  for (const RdField& value : values)
    if (value.givenInAdd()) row.push_back(value);
  if (dated == kDated) row.emplace_back("CRTDATE", KvbDate::currentDate());
  // An insert without a column is a syntax error on every database: refuse
  // it here, with a reason that says what is wrong.
  if (row.empty())
    return fail(kvbStringFormat("No value given for a row of table %s", code));
  int id = 0;
  const bool added = addInOneStep([&] {
    if (idColumn) {
      if (!nextId(code, id)) return false;
      row.front() = RdField(idColumn, id);
    }
    KvbString columns, markers;
    for (const RdField& value : row) {
      columns.append(columns.isEmpty() ? "" : ", ").append(value.column());
      markers.append(markers.isEmpty() ? "?" : ",?");
    }
    RdStatement insert("INSERT INTO " + table(code) + " (" + columns +
                       ") VALUES (" + markers + ")");
    for (const RdField& value : row) insert.bind(value);
    return execute(insert);
  });
  // Only an add that ended well hands out its id.
  if (added && idColumn && newId) *newId = id;
  return added;
}

RefDataRDAImpl::Cursor RefDataRDAImpl::queryByExample(const char* code,
                                                      RdFields filters,
                                                      const char* order) {
  if (!ready()) return nullptr;
  return selectRows(RdStatement(selectAll(code)).where(filters).append(order));
}

bool RefDataRDAImpl::deleteByExample(const char* code, RdFields filters) {
  return ready() &&
         execute(RdStatement("DELETE FROM " + table(code)).where(filters));
}

ReposDataAccessStatement* RefDataRDAImpl::prepare(
    const RdStatement& statement) {
  ReposDataAccessStatement* prepared = rda_->createStatement(statement.sql());
  if (!prepared) {
    logError(rda_->getErrorMessage());
    return nullptr;
  }
  const QueryParamList& params = statement.params();
  for (size_t i = 0; i < params.size(); ++i) {
    const int index = static_cast<int>(i);
    prepared->setParameterInfo(index, params[i].type, params[i].size);
    // A value left unbound would run as a null: an insert of a wrong row,
    // a filter that matches the wrong rows.
    if (!prepared->setParameter(index, params[i].value)) {
      logError(prepared->getErrorMessage());
      prepared->release();
      return nullptr;
    }
  }
  return prepared;
}

RefDataRDAImpl::Cursor RefDataRDAImpl::selectRows(
    const RdStatement& statement) {
  ReposDataAccessStatement* prepared = prepare(statement);
  if (!prepared) return nullptr;
  ReposDataAccessCursor* cursor = prepared->select();
  if (!cursor) logError(prepared->getErrorMessage());
  // The rows are copied while their statement still stands.
  ReposDataAccessCursor* copy = cursor ? cacheCursor(cursor, 0) : nullptr;
  prepared->release();
  return copy;
}

bool RefDataRDAImpl::execute(const RdStatement& statement) {
  ReposDataAccessStatement* prepared = prepare(statement);
  if (!prepared) return false;
  const bool ok = prepared->execute();
  if (!ok) logError(prepared->getErrorMessage());
  prepared->release();
  return ok;
}
