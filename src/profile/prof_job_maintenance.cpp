// Maintaining profile jobs: their existence tests, the update that
// announces a change or a rename, the removal of a job's definition rows,
// the deletion of a whole job with its reports and their runs, the link of
// a report to a job, and the removal of a text-file layout.
#include "kvbase/kvbase.h"
#include "kvreposres/kvreposres.h"
#include "profile/prof_rdaimpl.h"

namespace {
const char kJobType[] = "ProfileJob";
const char kJobKind[] = "profile job";
}  // namespace

bool ProfileRDAImpl::deleteTextFileInfo(const KvbString& tableName) {
  return ready() && transaction([&] {
           return run("DELETE FROM " + table("TFFINF") + " WHERE TBL_NM=?",
                      {tableName}) &&
                  run("DELETE FROM " + table("TFINF") + " WHERE TBL_NM=?",
                      {tableName});
         });
}

bool ProfileRDAImpl::hasJobFieldRdaMap(int jobId, const KvbString& dsn,
                                       const KvbString& catalog,
                                       const KvbString& schema,
                                       const KvbString& table,
                                       const KvbString& field) {
  return exists("JFRDA",
                "SU_ID=? AND FLD_DSN=? AND FLD_CAT=? AND FLD_SCH=? AND "
                "FLD_TBL=? AND FLD_NAME=?",
                {jobId, dsn, catalog, schema, table, field}) == 1;
}

bool ProfileRDAImpl::hasProfileJob(const KvbString& name, int folderId) {
  return exists("JSETUP", "SU_NAME=? AND FLDR_ID=?", {name, folderId}) == 1;
}

bool ProfileRDAImpl::deleteProfileJobDetails(int jobId) {
  // The job's row first: a write under the job holds it, so the rows
  // written under the job before go with the rest, and a write after
  // finds the parts it names gone.
  return transaction([&] {
    return takeRow({"JSETUP", "SU_ID", jobId, kJobKind}) &&
           deleteRows({"JFRDA", "JRCFGS", "JFLD", "JTBLMA", "JTBLRU", "JLNKFL",
                       "JFLDME", "JTABLE", "JDSN", "JGMET", "JKEYVL", "JCMDMA",
                       "JTBLME", "JCHPRP", "JCHART", "JALPRP", "JALERT",
                       "JFLDPR"},
                      "SU_ID", jobId);
  });
}

bool ProfileRDAImpl::deleteProfileJob(int jobId) {
  if (!ready()) return false;
  // The path names the job in the announcement of its deletion.
  KvbString uuid;
  const KvbString path = deletionPath(jobId, kJobType, uuid);
  // The job's resource identity, named while the job still exists; empty
  // when no resource manager gives one.
  KvbString identity("");
  if (KvResourceManager* resources = createKvResourceManager()) {
    resources->getObjectIdentity("", kJobType, kvbStringFormat("%d", jobId),
                                 uuid, identity);
    resources->release();
  }
  // Every report of the job goes, with its runs and their results.
  std::vector<int> reports;
  if (!transaction([&] {
        if (!deleteProfileJobDetails(jobId) ||
            !run("DELETE FROM " + table("JSETUP") + " WHERE SU_ID=?",
                 {jobId}) ||
            !readIds(query("SELECT RPT_ID FROM " + table("REPORT") +
                               " WHERE SU_ID=?",
                           {jobId}),
                     reports))
          return false;
        for (int report : reports)
          if (!deleteRuns(-1, -1, report, true)) return false;
        return true;
      }))
    return false;
  postDeletion(path, kJobType, identity);
  return true;
}

bool ProfileRDAImpl::updateReportProfileJob(int jobId, int reportId) {
  return setReportProfileJob(jobId, reportId);
}

bool ProfileRDAImpl::updateProfileJob(int jobId, const KvbString& name,
                                      const KvbString& description,
                                      KvbDate editedDate,
                                      const KvbString& editedUser,
                                      int folderId) {
  if (!ready()) return false;
  // A job updated inside the caller's transaction is announced by the
  // caller, once the transaction is committed.
  const bool announce = !rda_->inTransaction();
  KvbString oldName;
  int found = -1;
  bool folderFound = false;
  // Read in the update's transaction: the old name for the event; a job
  // that is not there writes nothing, and a folder that does not exist is
  // refused, found job or not.
  const auto jobFound = [&] {
    found = firstRow(
        "SELECT SU_NAME FROM " + table("JSETUP") + " WHERE SU_ID=?", {jobId},
        [&](ReposDataAccessCursor& row) { oldName = row.getString(0); });
    if (found == 0) folderFound = folderExists(folderId);
    return found == 1;
  };
  const bool written = updateObject({"JSETUP", "SU_ID", jobId, nullptr},
                                    {{"SU_NAME", name},
                                     {"SU_DESC", description},
                                     {"SU_EDDAT", editedDate.asDouble()},
                                     {"SU_EDUSR", editedUser},
                                     {"FLDR_ID", folderId}},
                                    {jobName(name, folderId, jobId)}, {},
                                    folderId, jobFound) == 1;
  if (!written && !(found == 0 && folderFound)) return false;
  // A job that does not exist is no failure, as the interface says: nothing
  // is written, announced or logged, and the text names the missing job
  // rather than an earlier, unrelated failure.
  if (!wasFound(found, [&] { return missingObject(kJobKind, jobId); }))
    return true;
  if (!announce) return true;
  const bool renamed = !oldName.isNull() && oldName.str() != name.str();
  post([=](RepositoryEventManager& events, const KvbString& repository) {
    if (renamed)
      events.postRenameEvent(repository, kJobType, jobId, KvbString(""),
                             oldName, name);
    else
      events.postObjectEvent(repository, kChangeUpdated, kJobType, jobId,
                             KvbString(""));
  });
  return true;
}
