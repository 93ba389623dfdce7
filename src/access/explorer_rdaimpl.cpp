// The data-access object of data explorations.
#include "access/explorer_rdaimpl.h"

#include "kvreposres/kvreposres.h"

namespace {
const char kTypeName[] = "DataExploration";
}  // namespace

ReposDataAccessCursor* ExplorerRDAImpl::listProjectTables(int prjId) {
  if (!ready()) return nullptr;
  return query(
      "SELECT a.PRJ_ID, b.TBL_NM, b.TBL_SCH, c.CON_CNSTR, b.TBL_CAT "
      "FROM " +
          table("MPJTBL") + " a LEFT OUTER JOIN " + table("MTABLE") +
          " b ON a.TBL_ID=b.TBL_ID LEFT OUTER JOIN " + table("MDBCON") +
          " c ON b.DB_ID=c.DB_ID WHERE a.PRJ_ID=?",
      {prjId});
}

bool ExplorerRDAImpl::deleteProject(int prjId) {
  if (!ready()) return false;
  KvbString uuid;
  int found = -1;
  // The tables whose rows belong to the exploration through their PRJ_ID,
  // those that point at others first and its own row last. Rows left
  // behind by an earlier, incomplete removal go as well, so the deletes
  // run even when the exploration's own row is gone.
  const bool deleted = transaction([&] {
    found = projectUuid(prjId, uuid);
    return found >= 0 &&
           deleteRows({"MDEFVL", "MIDDEF", "MPJTBL", "MPRJ"}, "PRJ_ID", prjId);
  });
  if (deleted && found == 1) postChange(kChangeDeleted, kTypeName, prjId, uuid);
  return deleted;
}

ReposDataAccessCursor* ExplorerRDAImpl::getProject(int prjId) {
  if (!ready()) return nullptr;
  return query(selectAll("MPRJ") + " WHERE PRJ_ID=?", {prjId});
}

bool ExplorerRDAImpl::updateProject(int prjId, const KvbString& name,
                                    const KvbString& comment) {
  if (!ready()) return false;
  // The event names the exploration by its UUID. It is read first, in the
  // update's own transaction: a read that fails stores nothing and posts
  // nothing, rather than announcing the change with an empty UUID.
  KvbString uuid("");
  const bool updated = transaction([&] {
    if (projectUuid(prjId, uuid) < 0) return false;
    int rows = 0;
    if (!update("MPRJ", {{"PRJ_NM", name}, {"PRJ_COMM", comment}},
                {"PRJ_ID", prjId}, &rows))
      return false;
    // Without the row nothing was stored: answering true would let an
    // import report a change that did not happen.
    if (rows == 0) return fail(missingObject("data exploration", prjId));
    return true;
  });
  if (updated) postChange(kChangeUpdated, kTypeName, prjId, uuid);
  return updated;
}

int ExplorerRDAImpl::projectUuid(int prjId, KvbString& uuid) {
  return firstRow("SELECT PRJ_UUID FROM " + table("MPRJ") + " WHERE PRJ_ID=?",
                  {prjId},
                  [&](ReposDataAccessCursor& row) { uuid = row.getString(0); });
}
