// Corrections to a run's stored results: a report's name, owner, folder or
// job, a table's row counts, one metric of a field, single property, group
// and key-analysis rows of a field; and the notes of tables and fields,
// listed with their category and deleted one by one.
#include <cstdio>
#include <string>

#include "kvbase/kvbase.h"
#include "profile/prof_rdaimpl.h"

bool ProfileRDAImpl::updateReport(int reportId, int folderId,
                                  const KvbString& name, const KvbString& user,
                                  int jobId) {
  if (!ready()) return false;
  // Every update stamps the report's modification date; an empty name or
  // user leaves the stored one.
  SqlStatement update = updateOf("REPORT");
  update.set({"RPT_MODT", KvbDate::currentDate().asDouble()})
      .set({"FLDR_ID", folderId, Given::kNotMinusOne})
      .set({"RPT_NAME", name, Given::kNotEmpty})
      .set({"RPT_USER", user, Given::kNotEmpty})
      .set({"SU_ID", jobId, Given::kNotMinusOne})
      .where("RPT_ID=?", reportId);
  return runFiled(folderId != -1 ? folderId : 0, update);
}

bool ProfileRDAImpl::setTableRowCounts(int tableId, int rowCount,
                                       int filteredCount) {
  return ready() &&
         update("TBL", {{"TBL_TROW", rowCount}, {"TBL_TFLT", filteredCount}},
                {"TBL_ID", tableId});
}

bool ProfileRDAImpl::setFieldMetric(int fieldId, int metricNumber,
                                    const KvbDatavar& value) {
  if (!ready()) return false;
  if (metricNumber < 0 || metricNumber >= kMetricColumns)
    return fail(kvbStringFormat("A field has no metric %d", metricNumber));
  // Written for each field of a run: one kept statement per metric column.
  char column[16];
  snprintf(column, sizeof column, "MET_%d", metricNumber);
  return update("FLD", {{column, value}}, {"FLD_ID", fieldId});
}

bool ProfileRDAImpl::deleteFieldProperty(int fieldId, const KvbString& name) {
  return ready() &&
         run("DELETE FROM " + table("FLDPRP") + " WHERE FLD_ID=? AND PR_NAME=?",
             {fieldId, name});
}

bool ProfileRDAImpl::deleteFieldGroup(int fieldId, int categoryId) {
  return deleteWhere("FLDGCM",
                     {{"FLD_ID=?", fieldId}, {"GC_ID=?", categoryId}});
}

bool ProfileRDAImpl::deletePkFkResult(int fieldId, int otherFieldId) {
  return ready() &&
         run("DELETE FROM " + table("PKFK") + " WHERE FLD_ID=? AND PF_FLDID=?",
             {fieldId, otherFieldId});
}

// ---------------------------------------------------------------------------
// Notes

ReposDataAccessCursor* ProfileRDAImpl::notes(
    const char* code, const char* key,
    const std::vector<std::pair<const char*, KvbDatavar>>& terms, int order) {
  if (!ready()) return nullptr;
  KvbString sql = kvbStringFormat(
      "SELECT A.%s_ID, A.%s_NOTE, A.%s_USER, A.%s_DATE, B.NCAT_DSC, B.NCAT_ID "
      "FROM %S A, %S B WHERE A.NCAT_ID=B.NCAT_ID",
      key, key, key, key, table(code), table("NOTCAT"));
  SqlStatement select(sql, true);
  for (const auto& term : terms) select.where(term.first, term.second);
  return query(select.append(
      kvbStringFormat(" ORDER BY A.%s_ID%s", key, order == 1 ? " DESC" : "")));
}

ReposDataAccessCursor* ProfileRDAImpl::listTableNotes(int tableId,
                                                      char noteType,
                                                      int order) {
  std::vector<std::pair<const char*, KvbDatavar>> terms;
  if (tableId != -1) terms.push_back({"A.TBL_ID=?", tableId});
  if (noteType != 0)  // bound: the caller's character never enters SQL
    terms.push_back({"A.TN_TYPE=?", KvbString(std::string(1, noteType))});
  return notes("TBLNOT", "TN", terms, order);
}

ReposDataAccessCursor* ProfileRDAImpl::listFieldNotes(int fieldId, int order) {
  std::vector<std::pair<const char*, KvbDatavar>> terms;
  if (fieldId != -1) terms.push_back({"A.FLD_ID=?", fieldId});
  return notes("FLDNOT", "FN", terms, order);
}

bool ProfileRDAImpl::deleteTableNote(int noteId) {
  return ready() &&
         run("DELETE FROM " + table("TBLNOT") + " WHERE TN_ID=?", {noteId});
}

bool ProfileRDAImpl::deleteFieldNote(int noteId) {
  return ready() &&
         run("DELETE FROM " + table("FLDNOT") + " WHERE FN_ID=?", {noteId});
}
