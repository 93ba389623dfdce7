// What older repositories kept elsewhere: the id counters of the profile
// (CURID) and monitoring (MCURID) tables, keyed by number, carried into the
// named counters of UCURID; and the values of columns that older versions
// named at length, copied into the current short names.
#include "access/base_rdaimpl.h"
#include "admin/repositoryimpl.h"

namespace {

// An old counter number and the UCURID key it became; a null name ends a
// list.
struct CounterName {
  int oldKey;
  const char* name;
};

const CounterName kProfileCounters[] = {
    {1, "JOB"},     {2, "DSN"},     {3, "TBL"},   {4, "FLD"}, {5, "EXELOG"},
    {6, "TBLNOT"},  {7, "FLDNOT"},  {8, "ALERT"}, {9, "CHT"}, {10, "NOTCAT"},
    {11, "REPORT"}, {12, "FOLDER"}, {0, nullptr},
};

const CounterName kMonitorCounters[] = {
    {1, "RULE"},   {2, "RULSET"}, {3, "MFLD"},    {4, "FLDSET"},
    {5, "MJOB"},   {6, "EXEC"},   {7, "EVENT"},   {8, "CUSTM"},
    {9, "HGMETA"}, {10, "EXSRC"}, {11, "BIGSTR"}, {0, nullptr},
};

// A column of an older version and the column that holds its values now.
struct RenamedColumn {
  const char* tableCode;
  const char* current;
  const char* old;
};

const RenamedColumn kRenamedColumns[] = {
    {"NOTCAT", "NCAT_DSC", "NCAT_DESC"},
    {"REDUN2", "R_CMNLFT", "R_CMN_LEFT"},
    {"REDUN2", "R_CMNRGT", "R_CMN_RIGHT"},
    {"FOLDER", "FLDR_PAR", "FLDR_PARENT_ID"},
    {"FOLDER", "FLDR_NAM", "FLDR_NAME"},
    {"REPORT", "RPT_CRDT", "RPT_CREATED_DATE"},
    {"REPORT", "RPT_MODT", "RPT_MODIFIED_DATE"},
};

}  // namespace

bool RepositoryImpl::mergeIdCounters(bool profile) {
  if (!connected(nullptr)) return false;
  const char* oldTable = profile ? "CURID" : "MCURID";
  // A repository that never had the old table has no counters to carry; one
  // whose catalogue cannot be read may have them.
  std::list<TableColumnInfo> columns;
  if (dataAccess_->getTableColumns(oldTable, columns) < 0)
    return failOnConnection();
  if (columns.empty()) return true;
  const KvbString select =
      "SELECT NI_VAL FROM " + physical(oldTable) + " WHERE NI_KEY = ?";
  // The first row of a number counts; a number without a row has nothing
  // to carry.
  for (const CounterName* counter = profile ? kProfileCounters
                                            : kMonitorCounters;
       counter->name; ++counter) {
    reportMessage(select);
    int value = 0;
    const int found =
        firstRow(dataAccess_, select, {counter->oldKey},
                 [&](ReposDataAccessCursor& row) { value = row.getInt(0); });
    if (found < 0) return failOnConnection();
    if (found == 1 && !raiseCounter(counter->name, value)) return false;
  }
  return true;
}

bool RepositoryImpl::copyOldColumnValues() {
  if (!connected(nullptr)) return false;
  if (connectionKind_ != 1) return true;
  for (const RenamedColumn& column : kRenamedColumns) {
    // Only where the old column is still there: a statement that fails
    // would end the upgrade's transaction on some databases.
    bool has = false;
    if (!hasColumn(column.tableCode, column.old, &has)) return false;
    if (!has) continue;
    if (!execute(kvbStringFormat("UPDATE %S SET %s = %s",
                                 physical(column.tableCode), column.current,
                                 column.old)))
      return false;
  }
  return true;
}
