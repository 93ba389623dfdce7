// Moving an old file-based profile repository into a new repository file of
// the current schema: the readers of the old tables, chosen by table code
// and old version, and the move itself, which also splits the old frequency
// distributions into one table per field.
#include "admin/movesqlitedata.h"

#include <algorithm>
#include <cstring>

#include "admin/repositoryimpl.h"
#include "rda/rda_impl.h"
#include "schema/repos_tables.h"

namespace {

const char kSourceFile[] = "movesqlitedata";
const char kCatalogue[] = "Repository Library";

// Tables that the new repository fills itself.
const char* const kNotCopied[] = {"INFO", "UCURID", "FOLDER", "FRQDST"};

// The query of a table from an old version on: the entry with the highest
// `since` not above the old version applies. A null text selects the
// table's current columns from a table of the same name; an empty one
// makes the row up. A table listed here that has no entry for the old
// version is not copied; a table not listed is read by its current columns.
struct OldSelect {
  const char* tableCode;
  double since;
  const char* sql;
};

const OldSelect kOldSelects[] = {
    {"REPORT", 0, ""},
    {"JOB", 0, ""},
    {"JOB", 1.4, "select job_id, 1 as rpt_id, job_date, job_desc from job"},
    {"DSN", 0,
     "select dsn_id, 1 as job_id, dsn_name, dsn_conn, 'N' as dsn_tf from dsn"},
    {"DSN", 1.4,
     "select dsn_id, job_id, dsn_name, dsn_conn, 'N' as dsn_tf from dsn"},
    {"DSN", 1.6,
     "select dsn_id, job_id, dsn_name, dsn_conn, dsn_textfile as dsn_tf from "
     "dsn"},
    {"JOBCFG", 0, "select 1 as job_id, v_key, v_value from key_values"},
    {"JOBCFG", 1.4, nullptr},
    {"TBL", 0,
     "select dsn_id, tbl_id, tbl_schema, tbl_name, tbl_filter, "
     "tbl_filter_expr, '' as tbl_fsql, tbl_tot_rows, tbl_tot_filtered, 1 as "
     "tbl_sint from tbl"},
    {"TBL", 1.1,
     "select dsn_id, tbl_id, tbl_schema, tbl_name, tbl_filter, "
     "tbl_filter_expr, '' as tbl_fsql, tbl_tot_rows, tbl_tot_filtered, "
     "tbl_sample_int from tbl"},
    {"TBL", 1.8,
     "select dsn_id, tbl_id, tbl_schema, tbl_name, tbl_filter, "
     "tbl_filter_expr, tbl_filter_sql, tbl_tot_rows, tbl_tot_filtered, "
     "tbl_sample_int from tbl"},
    {"FLD", 0,
     "select dsn_id, tbl_id, fld_id, fld_type, fld_name, met_0, met_1, met_2, "
     "met_3,met_4, met_5, met_6, met_7, met_8, met_9, met_10, met_11, met_12, "
     "met_13, met_14, met_15,met_16, met_17, met_18, met_19, met_20, met_21, "
     "met_22, 0 as met_23 from fld"},
    {"FLD", 1.4,
     "select dsn_id, tbl_id, fld_id, fld_type, fld_name, met_0, met_1, met_2, "
     "met_3,met_4, met_5, met_6, met_7, met_8, met_9, met_10, met_11, met_12, "
     "met_13, met_14, met_15,met_16, met_17, met_18, met_19, met_20, met_21, "
     "met_22, met_23 from fld"},
    {"PATDST", 0, "select fld_id, pa_value, pa_count from patdist"},
    {"PTILE", 0, "select fld_id, pt_interval as pt_intvl, pt_value from ptile"},
    {"OUTLR", 0,
     "select fld_id, ou_type, ou_ordinal as ou_ordnl, ou_value from outlier"},
    {"PKFK", 1.1, "select fld_id, pf_fld_id, pf_percent from pkfk"},
    {"MCDIST", 1.1, nullptr},
    {"FLDPRP", 1.1,
     "select dsn_id, tbl_id, fld_id, pr_name, pr_value from fld_prop"},
    {"EXELOG", 1.2,
     "select el_id, dsn_id, tbl_id, el_task, el_status, el_seconds, "
     "el_message from exec_log"},
    {"TBLNOT", 1.4,
     "select tn_id, tbl_id, tn_type, tn_note, tn_user, tn_date, 0 as ncat_id "
     "from tbl_notes"},
    {"TBLNOT", 1.8,
     "select tn_id, tbl_id, tn_type, tn_note, tn_user, tn_date, ncat_id from "
     "tbl_notes"},
    {"FLDNOT", 1.4,
     "select fn_id, fld_id, fn_note, fn_user, fn_date, 0 as ncat_id from "
     "fld_notes"},
    {"FLDNOT", 1.8,
     "select fn_id, fld_id, fn_note, fn_user, fn_date, ncat_id from "
     "fld_notes"},
    {"ALERT", 1.5,
     "select al_id, job_id, al_dsn, al_schema, al_tbl, al_fld, al_filt, "
     "al_desc, al_rule, al_error, 'N' as al_textfile from alert"},
    {"ALERT", 1.6,
     "select al_id, job_id, al_dsn, al_schema, al_tbl, al_fld, al_filt, "
     "al_desc, al_rule, al_error, al_textfile from alert"},
    {"ALPROP", 1.5, nullptr},
    {"CHART", 1.5,
     "select ch_id, ch_dsn, ch_schema, ch_tbl, ch_fld, ch_filt, ch_desc, 'N' "
     "as ch_textfile from chart"},
    {"CHART", 1.6,
     "select ch_id, ch_dsn, ch_schema, ch_tbl, ch_fld, ch_filt, ch_desc, "
     "ch_textfile from chart"},
    {"CHPROP", 1.5, nullptr},
    {"TFINF", 1.6,
     "select tbl_name, tf_filename, tf_delimiter, tf_textqual, tf_skiprows, "
     "tf_recwidth, 0 as tf_maxrows, 'N' as tf_truncate from tf_info"},
    {"TFINF", 1.7,
     "select tbl_name, tf_filename, tf_delimiter, tf_textqual, tf_skiprows, "
     "tf_recwidth, tf_maxrows, tf_truncate from tf_info"},
    {"TFFINF", 1.6,
     "select tbl_name, tff_fieldname, tff_type, tff_length, tff_startpos, "
     "tff_ordinal from tff_info"},
    {"NOTCAT", 1.8, "select ncat_id, ncat_desc from note_cat"},
    {"REDUN2", 1.1,
     "select fld_id, r_fld_id, r_left, r_common as r_cmnlft, r_right, 0 as "
     "r_cmnrgt from redun"},
    {"REDUN2", 2.0,
     "select fld_id, r_fld_id, r_left, r_cmn_left, r_right, r_cmn_right from "
     "redun2"},
};

// The version from which each per-field frequency table is a table of its
// own in the old file.
constexpr double kOwnFrequencyTables = 1.9;
// The version below which a table row without a name has its filter texts
// the other way round.
constexpr double kFilterTextsSwapped = 1.8;

// The target columns of TBL whose texts older versions swapped.
constexpr int kTableNameColumn = 3;
constexpr int kFilterExpressionColumn = 5;
constexpr int kFilterSqlColumn = 6;

}  // namespace

// ---------------------------------------------------------------------------
// Readers

TableRead::TableRead(const KvbString& select, Rows rows, bool swapFilterTexts)
    : select_(select), rows_(rows), swapFilterTexts_(swapFilterTexts) {}

TableRead::~TableRead() {
  if (result_) result_->close();
}

bool TableRead::init(SqliteDatabase* source, SqliteStatement* target,
                     int targetColumns, RepositoryStatusCallback* status) {
  target_ = target;
  targetColumns_ = targetColumns;
  if (rows_ != Rows::kCopied) return true;
  status->reportMessage(select_);
  result_ = source->openResult(select_);
  if (result_) return true;
  status->reportMessage(source->getErrorMessage());
  return false;
}

bool TableRead::copyNextRow(bool* failed) {
  if (rows_ != Rows::kCopied) {
    if (rowsMade_++ > 0) return false;
  } else {
    const int fetched = result_->next();
    if (fetched != 1) {
      *failed = fetched == 2;
      if (*failed) reason_ = result_->getErrorMessage();
      return false;
    }
  }
  bool ok = true;
  for (int i = 0; ok && i < targetColumns_; ++i) ok = target_->setNull(i);
  if (ok) ok = copyRow() && target_->execute();
  if (!ok) {
    *failed = true;
    reason_ = target_->getErrorMessage();
  }
  return ok;
}

bool TableRead::copyRow() {
  const KvbDatavar now(KvbDate::currentDate().asDouble());
  auto setText = [this](int index, const char* text) {
    return target_->setText(index, text, strlen(text));
  };
  switch (rows_) {
    case Rows::kMadeUpReport:
      return target_->setInt(0, 1) && target_->setInt(1, 0) &&
             setText(2, "Default") && target_->setReal(3, now.asDouble()) &&
             target_->setReal(4, now.asDouble()) && setText(5, "UPGRADE");
    case Rows::kMadeUpJob:
      return target_->setInt(0, 1) && target_->setInt(1, 1) &&
             target_->setReal(2, now.asDouble()) && setText(3, "Default");
    case Rows::kCopied:
      break;
  }
  // The old queries may give fewer columns than the table has; the rest
  // stay null.
  const int columns = std::min(result_->getColumnCount(), targetColumns_);
  bool ok = true;
  for (int i = 0; ok && i < columns; ++i) ok = copyColumn(i, i);
  if (ok && swapFilterTexts_ && columns > kFilterSqlColumn &&
      result_->getText(kTableNameColumn).isEmpty())
    ok = copyColumn(kFilterExpressionColumn, kFilterSqlColumn) &&
         copyColumn(kFilterSqlColumn, kFilterExpressionColumn);
  return ok;
}

bool TableRead::copyColumn(int targetIndex, int sourceIndex) {
  if (result_->isNull(sourceIndex)) return target_->setNull(targetIndex);
  switch (result_->getColumnType(sourceIndex)) {
    case kSqliteInteger:
      return target_->setInt64(targetIndex, result_->getInt64(sourceIndex));
    case kSqliteReal:
      return target_->setReal(targetIndex, result_->getReal(sourceIndex));
    default: {
      const KvbString text = result_->getText(sourceIndex);
      return target_->setText(targetIndex, text.asCstr(), text.length());
    }
  }
}

std::unique_ptr<TableRead> createTableReader(
    const KvbString& tableCode, double version,
    const std::vector<KvbString>& columns) {
  for (const char* code : kNotCopied)
    if (tableCode.equals(code, true)) return nullptr;
  const OldSelect* chosen = nullptr;
  bool listed = false;
  for (const OldSelect& entry : kOldSelects) {
    if (!tableCode.equals(entry.tableCode, true)) continue;
    listed = true;
    if (entry.since <= version && (!chosen || entry.since > chosen->since))
      chosen = &entry;
  }
  if (listed && !chosen) return nullptr;
  KvbString select("");
  if (chosen && chosen->sql) {
    select = chosen->sql;
  } else {
    for (const KvbString& column : columns)
      select.append(select.isEmpty() ? "SELECT " : ",").append(column);
    select.append(" FROM ").append(tableCode);
  }
  TableRead::Rows rows = TableRead::Rows::kCopied;
  if (chosen && chosen->sql && !*chosen->sql)
    rows = tableCode.equals("REPORT", true) ? TableRead::Rows::kMadeUpReport
                                            : TableRead::Rows::kMadeUpJob;
  return std::make_unique<TableRead>(
      select, rows,
      tableCode.equals("TBL", true) && version < kFilterTextsSwapped);
}

std::unique_ptr<TableRead> createFrequencyReader(const KvbString& oldName,
                                                 int fieldId, double version) {
  const KvbString select =
      version >= kOwnFrequencyTables
          ? kvbStringFormat("select fr_value, fr_count from %S", oldName)
          : kvbStringFormat(
                "select fr_value, fr_count from frqdist where fld_id = %d",
                fieldId);
  return std::make_unique<TableRead>(select, TableRead::Rows::kCopied, false);
}

// ---------------------------------------------------------------------------
// The move

namespace {

// The column names of each table of the current schema that the move
// fills: the core tables that are not monitoring tables, in order; the
// metric placeholder stands for MET_0 to MET_23.
typedef std::vector<std::pair<KvbString, std::vector<KvbString>>> Tables;
Tables profileTables() {
  Tables tables;
  for (const ReposColumnDef* def = reposCoreColumnDefs; !isEndRecord(*def);
       ++def) {
    const bool keep = def->part != kPartMonitor;
    if (keep) tables.push_back({def->tableCode, {}});
    for (; !isEndRecord(*def); ++def) {
      if (!keep) continue;
      if (def->flags & kColMetrics) {
        for (int m = 0; m < kFieldMetricCount; ++m)
          tables.back().second.push_back(kvbStringFormat("MET_%d", m));
      } else {
        tables.back().second.push_back(def->columnName);
      }
    }
  }
  return tables;
}

// The field id of an old per-field frequency table ("frqdist" and the
// digits of the id); -1 for any other name.
int frequencyTableField(const KvbString& name) {
  const KvbString digits = name.substr(7);
  int id = -1;
  const bool allDigits =
      !digits.isEmpty() &&
      std::all_of(digits.str().begin(), digits.str().end(),
                  [](char c) { return c >= '0' && c <= '9'; });
  return name.startsWith("frqdist", true) && allDigits && digits.toInt(id) ? id
                                                                           : -1;
}

// A failure's text followed by the database's reason, when it gave one.
KvbString withReason(const KvbString& text, const KvbString& reason) {
  return reason.isEmpty() ? text : text + " " + reason;
}

// Whether a query of the old file failed because the file's version lacks
// what it names, a table or a column, as SQLite words that; any other
// failure (a read of the file, a lock) leaves unknown what the file holds.
bool lacksWhatItReads(const KvbString& reason) {
  return reason.startsWith("no such table") ||
         reason.startsWith("no such column");
}

}  // namespace

// What became of the rows of one reader.
enum class Copied { kAll, kUnreadable, kBroken };

// Everything goes into the new file in one transaction: a move that fails
// leaves nothing of the old data there.
bool RepositoryImpl::moveSqliteData(const KvbString& oldPath,
                                    const KvbString& newPath) {
  SqliteDatabase* source = openSqliteDatabase(oldPath);
  if (!source) return fail(getSqliteErrorMessage());
  double version = 0;
  if (!source->querySingleReal(
          "SELECT i_version FROM info WHERE i_type='PROFILE_RESULTSET'",
          &version)) {
    const KvbString reason = source->getErrorMessage();
    source->close();
    return fail(withReason(
        kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1289), reason));
  }
  SqliteDatabase* target = openSqliteDatabase(newPath);
  if (!target) {
    const KvbString reason = getSqliteErrorMessage();
    source->close();
    return fail(reason);
  }
  // Runs a statement on the new file, handing its text on first.
  auto run = [&](const KvbString& sql) {
    reportMessage(sql);
    return target->exec(sql) || fail(target->getErrorMessage());
  };
  auto prepare = [&](const KvbString& sql) {
    reportMessage(sql);
    SqliteStatement* insert = target->prepare(sql);
    if (!insert) fail(target->getErrorMessage());
    return insert;
  };
  // Copies the rows of a reader into the new file, the failures told by
  // message `unreadable` or `broken` with `name`. A table that the old file
  // lacks is only reported: whether that fails the move is the caller's. A
  // query that fails otherwise is a failure, as a row that cannot be read.
  auto copyRows = [&](TableRead& reader, SqliteStatement* insert, int columns,
                      const KvbString& name, int unreadable, int broken) {
    if (!reader.init(source, insert, columns, status_)) {
      const KvbString text =
          kvb_get_message(kSourceFile, __LINE__, kCatalogue, unreadable, name);
      const KvbString reason = source->getErrorMessage();
      if (!lacksWhatItReads(reason)) {
        fail(withReason(text, reason));
        return Copied::kBroken;
      }
      reportMessage(text);
      return Copied::kUnreadable;
    }
    bool failed = false;
    int rows = 0;
    while (reader.copyNextRow(&failed)) ++rows;
    if (failed) {
      fail(withReason(
          kvb_get_message(kSourceFile, __LINE__, kCatalogue, broken, name),
          reader.reason()));
      return Copied::kBroken;
    }
    reportMessage(kvbStringFormat("%d rows inserted", rows));
    return Copied::kAll;
  };

  // A table that the old file lacks stays empty; a table or a row that
  // cannot be read or copied makes the move fail once every table was
  // tried.
  bool ok = run("BEGIN");
  bool rowsLost = false;
  const Tables tables = ok ? profileTables() : Tables();
  int step = 0;
  for (const auto& table : tables) {
    if (!reportStep(
            tableStep(table.first, ++step, static_cast<int>(tables.size())))) {
      ok = false;
      break;
    }
    KvbString columns(""), markers("");
    for (const KvbString& column : table.second) {
      columns.append(columns.isEmpty() ? "" : ", ").append(column);
      markers.append(markers.isEmpty() ? "?" : ", ?");
    }
    SqliteStatement* insert = prepare(kvbStringFormat(
        "INSERT INTO \"%S\" (%S) VALUES (%S)", table.first, columns, markers));
    if (!insert) {
      ok = false;
      break;
    }
    std::unique_ptr<TableRead> reader =
        createTableReader(table.first, version, table.second);
    if (reader &&
        copyRows(*reader, insert, static_cast<int>(table.second.size()),
                 table.first, 1290, 1291) == Copied::kBroken)
      rowsLost = true;
    insert->release();
  }

  // The old frequency distributions, one new table per field.
  SqliteResult* oldTables =
      !ok ? nullptr
      : version >= kOwnFrequencyTables
          ? source->openResult(
                "SELECT name FROM sqlite_master where type='table' and name "
                "like 'frqdist%' and name <> 'frqdist' and name <> 'FRQDIST'")
          : source->openResult(
                "SELECT 'frqdist' || fld_id from frqdist group by fld_id");
  // A file without the shared frequency table has no frequencies; one whose
  // tables cannot be listed may have them.
  if (ok && !oldTables) {
    const KvbString reason = source->getErrorMessage();
    if (lacksWhatItReads(reason))
      reportMessage("Couldn't get list of freq dist tables");
    else
      ok = fail(withReason(
          "The frequency tables of the old profile repository could not be "
          "listed.",
          reason));
  }
  int listed = 0;
  while (ok && oldTables && (listed = oldTables->next()) == 1) {
    const KvbString oldName = oldTables->getText(0);
    // Only names that end in a field id: the name reaches SQL text.
    const int fieldId = frequencyTableField(oldName);
    if (fieldId < 0) continue;
    const KvbString name = kvbStringFormat("FRQDST%d", fieldId);
    SqliteStatement* insert = nullptr;
    Copied copied = Copied::kUnreadable;
    ok = run(kvbStringFormat(
             "CREATE TABLE %S (fr_value TEXT, fr_count INTEGER, fr_mcval TEXT)",
             name)) &&
         (insert = prepare(kvbStringFormat(
              "INSERT INTO %S (fr_value, fr_count) VALUES (?,?)", name))) &&
         ((copied = copyRows(*createFrequencyReader(oldName, fieldId, version),
                             insert, 2, name, 1292, 1293)) == Copied::kAll ||
          (copied == Copied::kUnreadable &&
           fail(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1292,
                                name)))) &&
         run(kvbStringFormat("CREATE INDEX %S_fr_value on %S(fr_value)", name,
                             name)) &&
         run(kvbStringFormat("CREATE INDEX %S_fr_count on %S(fr_count)", name,
                             name));
    if (insert) insert->release();
  }
  if (ok && listed == 2) ok = fail(oldTables->getErrorMessage());
  if (oldTables) oldTables->close();
  source->close();
  // The last failure's text stays the error text.
  ok = ok && !rowsLost && run("COMMIT");
  if (!ok) target->exec("ROLLBACK");
  target->close();
  return ok;
}
