// Deleting the runs of a report with everything they wrote, in one
// transaction: a walk down the tables of a run's results, each step
// deleting the rows whose key is among the ids that earlier steps
// gathered. The per-field frequency tables of the runs are dropped in the
// same transaction, which undoes the drops when it rolls back: whatever
// stops a deletion, no frequency table outlives its field row and no field
// row loses its table.
#include <algorithm>
#include <list>
#include <map>
#include <string>

#include "kvbase/kvbase.h"
#include "profile/prof_rdaimpl.h"
#include "rda/rda_impl.h"

namespace {
// One step of the walk: the rows of `code` whose column `selectedBy` holds
// one of the ids gathered for that column go; before they go, their
// column `yields` (when not null) adds its ids for the later steps.
struct CascadeStep {
  const char* code;
  const char* yields;
  const char* selectedBy;
};

// The walk starts from the runs' JOB_ID values and, when the report goes
// too, from its RPT_ID. A run's charts go with the run; the charts of the
// report as a whole go with the report.
const CascadeStep kRunCascade[] = {
    {"JOB", nullptr, "JOB_ID"},    {"JOBCFG", nullptr, "JOB_ID"},
    {"RDACFG", nullptr, "JOB_ID"}, {"FLDRDA", nullptr, "JOB_ID"},
    {"RDARES", nullptr, "JOB_ID"}, {"ALERT", "AL_ID", "JOB_ID"},
    {"ALPROP", nullptr, "AL_ID"},  {"DSN", "DSN_ID", "JOB_ID"},
    {"TBL", "TBL_ID", "DSN_ID"},   {"TBLNOT", nullptr, "TBL_ID"},
    {"EXELOG", nullptr, "TBL_ID"}, {"PBROUT", nullptr, "TBL_ID"},
    {"PBRLOG", nullptr, "TBL_ID"}, {"PCMOUT", nullptr, "TBL_ID"},
    {"FLD", "FLD_ID", "TBL_ID"},   {"FLDPRP", nullptr, "FLD_ID"},
    {"PATDST", nullptr, "FLD_ID"}, {"PTILE", nullptr, "FLD_ID"},
    {"FLDNOT", nullptr, "FLD_ID"}, {"MCDIST", nullptr, "FLD_ID"},
    {"PKFK", nullptr, "FLD_ID"},   {"OUTLR", nullptr, "FLD_ID"},
    {"REDUN2", nullptr, "FLD_ID"}, {"FLDRDA", nullptr, "FLD_ID"},
    {"FRQDST", nullptr, "FLD_ID"}, {"FLDGCM", nullptr, "FLD_ID"},
    {"CHT", "CH_ID", "JOB_ID"},    {"CHT", "CH_ID", "RPT_ID"},
    {"CHTDAT", nullptr, "CH_ID"},  {"CHTTAB", nullptr, "CH_ID"},
    {"CHTCAT", nullptr, "CH_ID"},  {"REPORT", nullptr, "RPT_ID"}};

// Ids per statement: every database accepts this many markers, and a
// run of any size is deleted in statements of bounded length.
const size_t kIdsPerStatement = 500;

// " WHERE <column> IN (?, ..., ?)" for n ids.
KvbString inList(const char* column, size_t n) {
  std::string text = std::string(" WHERE ") + column + " IN (";
  for (size_t i = 0; i < n; ++i) text += i ? ", ?" : "?";
  return KvbString(text + ")");
}
}  // namespace

bool ProfileRDAImpl::deleteRunResults(int reportId, bool wholeReport,
                                      const std::vector<int>& runs) {
  std::map<std::string, std::vector<int>> ids;
  ids["JOB_ID"] = runs;
  if (wholeReport) ids["RPT_ID"] = {reportId};
  return transaction([&] {
    for (const CascadeStep& step : kRunCascade) {
      const std::vector<int>& keys = ids[step.selectedBy];
      // A table without rows needs none of the statements that would
      // delete its rows part by part (most of a run's result tables are
      // empty, and each statement costs its list of ids).
      if (keys.size() > kIdsPerStatement) {
        const int held =
            lookup("SELECT 1 FROM " + table(step.code), {}, nullptr);
        if (held < 0) return false;
        if (held == 0) continue;
      }
      for (size_t from = 0; from < keys.size(); from += kIdsPerStatement) {
        const size_t n = std::min(kIdsPerStatement, keys.size() - from);
        const std::vector<KvbDatavar> values(keys.begin() + from,
                                             keys.begin() + from + n);
        const KvbString where = inList(step.selectedBy, n);
        // A yield that cannot be read would leave its children behind.
        if (step.yields &&
            !readIds(query("SELECT " + KvbString(step.yields) + " FROM " +
                               table(step.code) + where,
                           values),
                     ids[step.yields]))
          return false;
        if (!run("DELETE FROM " + table(step.code) + where, values))
          return false;
      }
    }
    return true;
  });
}

bool ProfileRDAImpl::readIds(ReposDataAccessCursor* cursor,
                             std::vector<int>& ids) {
  if (!cursor) return false;
  while (cursor->next() == 1) ids.push_back(cursor->getInt(0));
  cursor->release();
  return true;
}

bool ProfileRDAImpl::deleteReportRuns(int fromRunId, int toRunId, int reportId,
                                      bool deleteReport) {
  if (!ready()) return false;
  if (reportId == -1) return failQuietly("No report was given");
  return transaction(
      [&] { return deleteRuns(fromRunId, toRunId, reportId, deleteReport); });
}

bool ProfileRDAImpl::deleteRuns(int fromRunId, int toRunId, int reportId,
                                bool deleteReport) {
  SqlStatement select("SELECT JOB_ID FROM " + table("JOB"));
  select.where("RPT_ID=?", reportId)
      .where("JOB_ID>=?", fromRunId, Given::kNotMinusOne)
      .where("JOB_ID<=?", toRunId, Given::kNotMinusOne);
  std::vector<int> runs, fieldTables;
  if (!readIds(query(select), runs)) return false;
  for (int run : runs) {
    // A run that wrote into the shared FRQDST says so; the rows of a run
    // that did not are in one table per field.
    int shared = -1;
    if (lookup("SELECT JC_VALUE FROM " + table("JOBCFG") +
                   " WHERE JOB_ID=? AND JC_KEY=?",
               {run, "SAME_FREQ_TABLE"}, &shared) < 0)
      return false;
    if (shared <= 0 &&
        !readIds(query("SELECT b.FLD_ID FROM " + table("DSN") + " a, " +
                           table("FLD") +
                           " b WHERE a.DSN_ID=b.DSN_ID AND a.JOB_ID=?",
                       {run}),
                 fieldTables))
      return false;
  }
  return dropFieldFrequencyTables(fieldTables) &&
         deleteRunResults(reportId, deleteReport, runs);
}

bool ProfileRDAImpl::dropFieldFrequencyTables(
    const std::vector<int>& fieldIds) {
  for (int fieldId : fieldIds) {
    // A field whose frequencies were never loaded, or whose table was
    // exported and dropped, has no table to drop; one whose table cannot
    // be looked up fails the deletion, which would leave the table behind.
    auto* rda = static_cast<RDA_BaseImpl*>(rda_);
    std::list<TableColumnInfo> columns;
    if (!rda->findTableColumns(kvbStringFormat("FRQDST%d", fieldId), columns) ||
        (!columns.empty() && !rda->dropOwnTable("FRQDST", fieldId))) {
      logError(rda_->getErrorMessage());
      return false;
    }
  }
  return true;
}
