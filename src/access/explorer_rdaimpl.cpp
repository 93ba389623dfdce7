// The data-access object of data explorations.
#include "access/explorer_rdaimpl.h"


namespace {

const char kTypeName[] = "DataExploration";

// The tables whose rows belong to one exploration through their PRJ_ID,
// those that point at others first and the exploration's own row last.
const char* const kProjectTables[] = {"MDEFVL", "MIDDEF", "MPJTBL", "MPRJ"};

}  // namespace

ReposDataAccessCursor* ExplorerRDAImpl::listProjectTables(int prjId) {
  if (!ready()) return nullptr;
  return query(kvbStringFormat(
                   "SELECT a.PRJ_ID, b.TBL_NM, b.TBL_SCH, c.CON_CNSTR, "
                   "b.TBL_CAT FROM %S a LEFT OUTER JOIN %S b ON "
                   "a.TBL_ID=b.TBL_ID LEFT OUTER JOIN %S c ON b.DB_ID=c.DB_ID "
                   "WHERE a.PRJ_ID=?",
                   table("MPJTBL"), table("MTABLE"), table("MDBCON")),
               {KvbDatavar(prjId)});
}

bool ExplorerRDAImpl::deleteProject(int prjId) {
  if (!ready()) return false;
  KvbString uuid;
  bool existed = false;
  const bool deleted = transaction([&] {
    const Lookup found = projectUuid(prjId, uuid);
    if (found == Lookup::kFailed) return false;
    existed = found == Lookup::kFound;
    // Rows left behind by an earlier, incomplete removal go as well, so the
    // deletes run even when the exploration's own row is gone.
    for (const char* code : kProjectTables)
      if (!run("DELETE FROM " + table(code) + " WHERE PRJ_ID=?",
               {KvbDatavar(prjId)}))
        return false;
    return true;
  });
  if (deleted && existed) postChange(1, kTypeName, prjId, uuid);
  return deleted;
}

ReposDataAccessCursor* ExplorerRDAImpl::getProject(int prjId) {
  if (!ready()) return nullptr;
  return query(
      kvbStringFormat("SELECT %S FROM %S WHERE PRJ_ID=?",
                      rda_->getColumnList("MPRJ", nullptr), table("MPRJ")),
      {KvbDatavar(prjId)});
}

bool ExplorerRDAImpl::updateProject(int prjId, const KvbString& name,
                                    const KvbString& comment) {
  if (!ready()) return false;
  int rows = 0;
  if (!run("UPDATE " + table("MPRJ") +
               " SET PRJ_NM=?, PRJ_COMM=? WHERE PRJ_ID=?",
           {KvbDatavar(name), KvbDatavar(comment), KvbDatavar(prjId)}, &rows))
    return false;
  // Without the row nothing was stored: answering true would let an import
  // report a change that did not happen.
  if (rows == 0)
    return fail(
        kvbStringFormat("Unable to find data exploration with id=%d", prjId));
  // The event names the exploration by its UUID; the update itself has
  // succeeded, so a failed read only leaves the UUID empty.
  KvbString uuid("");
  projectUuid(prjId, uuid);
  postChange(2, kTypeName, prjId, uuid);
  return true;
}

ExplorerRDAImpl::Lookup ExplorerRDAImpl::projectUuid(int prjId,
                                                     KvbString& uuid) {
  ReposDataAccessCursor* cursor =
      query("SELECT PRJ_UUID FROM " + table("MPRJ") + " WHERE PRJ_ID=?",
            {KvbDatavar(prjId)}, 1);
  if (!cursor) return Lookup::kFailed;
  const bool found = cursor->next() == 1;
  if (found) uuid = cursor->getString(0);
  cursor->release();
  return found ? Lookup::kFound : Lookup::kMissing;
}

