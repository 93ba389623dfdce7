// The rows that a write names, held against their deletion: the check that
// an object exists holds the object's row until the write's transaction
// ends, a delete takes the object's row before the rows that name it, and
// an insert that names objects checks them in its own statement.
#include <string>

#include "access/base_rdaimpl.h"
#include "rda/rda_impl.h"
#include "schema/log_printf.h"

namespace {

// The clause of `kind` on `rda`, empty where the back end needs none.
KvbString holdClause(ReposDataAccess* rda, RDA_BaseImpl::RowHold kind) {
  // Every connection of the engine is an RDA_BaseImpl.
  const char* clause = static_cast<RDA_BaseImpl*>(rda)->rowHoldClause(kind);
  return clause ? KvbString(clause) : KvbString("");
}

}  // namespace

KvbString BaseRDAImpl::heldRowsClause() {
  return ready() ? holdClause(rda_, RDA_BaseImpl::RowHold::kShare)
                 : KvbString("");
}

bool BaseRDAImpl::objectExists(const ObjectRow& row, const char* file,
                               int line) {
  if (!ready()) return false;
  const int found =
      lookup("SELECT 1 FROM " + table(row.code) + " WHERE " + row.idColumn +
                 "=?" + heldRowsClause(),
             {row.id}, nullptr);
  return found == 1 ||
         (found == 0 && fail(missingObject(row.kind, row.id), file, line));
}

bool BaseRDAImpl::objectsExist(const std::vector<ObjectRow>& rows) {
  for (const ObjectRow& row : rows)
    if (!objectExists(row)) return false;
  return true;
}

bool BaseRDAImpl::takeRow(const ObjectRow& row) {
  if (!ready()) return false;
  const KvbString clause = holdClause(rda_, RDA_BaseImpl::RowHold::kTake);
  // Where the begin serializes writers, the delete has nothing to take.
  if (clause.isEmpty()) return true;
  return lookup("SELECT 1 FROM " + table(row.code) + " WHERE " +
                    row.idColumn + "=?" + clause,
                {row.id}, nullptr) >= 0;
}

bool BaseRDAImpl::insertNaming(IfPresent policy, const Refusal& refusal,
                               const char* code, const SqlFields& keys,
                               const SqlFields& columns,
                               const std::vector<ObjectRow>& parents,
                               const char* file, int line) {
  if (!ready()) return false;
  // INSERT INTO T (c...) SELECT ?... FROM P0 A0, P1 A1 WHERE A0.k=? AND
  // A1.k=? AND NOT EXISTS (SELECT 1 FROM T WHERE <keys>) <hold>: the
  // values take the types of their columns, as a VALUES list's do.
  KvbString names, markers;
  for (const SqlField& column : columns) {
    names.append(names.isEmpty() ? "" : ", ").append(column.name);
    markers.append(markers.isEmpty() ? "?" : ", ?");
  }
  KvbString from;
  for (size_t i = 0; i < parents.size(); ++i)
    from.append(i ? ", " : " FROM ")
        .append(table(parents[i].code))
        .append(kvbStringFormat(" A%d", static_cast<int>(i)));
  SqlStatement statement("INSERT INTO " + table(code) + " (" + names +
                         ") SELECT " + markers + from);
  statement.on(code);
  for (const SqlField& column : columns) statement.bind(column);
  for (size_t i = 0; i < parents.size(); ++i) {
    const std::string term = "A" + std::to_string(i) + "." +
                             parents[i].idColumn + "=?";
    statement.where(term.c_str(), parents[i].id);
  }
  if (!keys.empty()) {
    SqlStatement present("SELECT 1 FROM " + table(code));
    present.whereEvery(keys);
    statement.append(statement.anyWhere() ? " AND NOT EXISTS (" : " WHERE NOT EXISTS (");
    statement.append(present.sql() + ")", true);
    for (const QueryParam& param : present.params()) statement.bind(param);
  }
  if (!parents.empty()) statement.append(heldRowsClause());
  return addInOneStep([&] {
    // The turn before the statement, whose look-up of the keys must see
    // the row of a writer that went first.
    if (!keys.empty() && !writesSerialized(code)) return false;
    int rows = 0;
    if (!run(statement, &rows)) return false;
    if (rows > 0) return true;
    // Nothing was inserted: a missing object, else a row that matches.
    if (!objectsExist(parents)) return false;
    if (keys.empty())  // the objects were held: nothing else refuses
      return fail(kvbStringFormat("No row was added to %s", code));
    if (policy == IfPresent::kRefuse) return refuse(refusal, file, line);
    if (policy == IfPresent::kWarn)
      logPrintf(logger_, kLogWarning, file, line, "%S", refusal.record);
    return true;
  });
}
