// The first rows of a new repository: profile and monitor lookup data, the
// INFO version rows, and for the XML table sets their custom statements
// (with table-name and macro markers expanded) and their seed rows.
#include <cstring>
#include <functional>

#include "access/base_rdaimpl.h"
#include "admin/repositoryimpl.h"
#include "kvlogging/kvlogging.h"
#include "reposadmin/repository_status_callback.h"
#include "schema/log_printf.h"
#include "schema/repos_tables_xml.h"
#include "schema/sql_names.h"

namespace {

const char kSourceFile[] = "repos_initial_data";
const char kLoggerName[] = "KV.Repos.ReposAdmin.RepositoryImpl";

// INFO types that are not table sets; their rows are written elsewhere.
const char* const kReservedInfoTypes[] = {kInfoNcoa, kInfoUnified, kInfoProfile,
                                          kInfoMonitor};

// A table whose rows are constants of the program: `cells` holds `width`
// texts per row, row after row, and ends with a null.
struct ConstantTable {
  const char* tableCode;
  const char* columns;
  const char* markers;
  int width;
  const char* const* cells;
};

// Event types: code, description, default flag.
const char* const kEventTypeCells[] = {
    "LOGREPOS",
    "Log error to repository",
    "Y",
    "LOGFILE",
    "Log error to text file",
    "N",
    "EMAIL",
    "Send email message",
    "N",
    "TABLEWRITE",
    "Write a row to a table",
    "N",
    "EXEC",
    "Execute a program",
    "N",
    "FLOWJOB",
    "Launch a data flow job on a Management server",
    "N",
    "FLOWSVC",
    "Call a realtime service",
    "N",
    "FLOWCONF",
    "Set a data flow key/value",
    "N",
    "FLOWSMITH",
    "Run a local job",
    "N",
    "PROFILE",
    "Run a local profile",
    "N",
    "RAISEEVENT",
    "Raise an event on the process job (if hosted)",
    "N",
    nullptr};

// The values that issue properties may take: property name, value.
const char* const kIssuePropertyCells[] = {
    "STATUS",         "UNRESOLVED",     "STATUS", "ASSIGNED", "STATUS",
    "RESOLVED",       "REASON",         "AGING",  "REASON",   "INTEGRATION",
    "REASON",         "ORGANIZATIONAL", "REASON", "PROCESS",  "REASON",
    "TRANSFORMATION", "REASON",         "USAGE",  "REASON",   "USER ERROR",
    nullptr};

const ConstantTable kEventTypes = {"EVENT", "EV_CODE, EV_DESC, EV_ISDEF",
                                   "?, ?, ?", 3, kEventTypeCells};
const ConstantTable kIssueProperties = {"EXPRTP", "PR_NAME, PR_VALUE", "?, ?",
                                        2, kIssuePropertyCells};

KvLogger* logger() { return kvlogGetLogger(kLoggerName); }

void logError(int line, const KvbString& text) {
  logPrintf(logger(), kLogError, kSourceFile, line, "%S", text);
}

// Replaces each word enclosed in a pair of `marker`s for which
// `replace(word, &text)` answers true; other words stay as written,
// markers included. Scanning goes on after each replacement, so an
// inserted text is never expanded again. A marker without a closing
// partner leaves the rest of the text as it is.
template <typename Replace>
KvbString expandMarkers(const KvbString& text, const char* marker,
                        Replace replace) {
  const size_t width = std::strlen(marker);
  KvbString out("");
  size_t from = 0;
  for (;;) {
    const size_t open = text.find(marker, from);
    if (open == KvbString::npos) break;
    const size_t close = text.find(marker, open + width);
    if (close == KvbString::npos) break;
    KvbString replacement;
    if (replace(text.substr(open + width, close - open - width), &replacement))
      out.append(text.substr(from, open - from)).append(replacement);
    else
      out.append(text.substr(from, close + width - from));
    from = close + width;
  }
  return out.append(text.substr(from));
}

// A statement's text with its markers expanded: "$$CODE$$" becomes the
// quoted physical name of a table, "##CODE##" the unquoted one, "&&NAME&&"
// the name itself and "%%MACRO%%" the macro's value. Only names of letters,
// digits and underscores are taken, so that a marker-like pair inside
// other SQL (an operator or a quoted body, say) never turns into a name.
KvbString expandStatementText(ReposDataAccess* rda, const KvbString& sql,
                              const std::map<KvbString, KvbString>& macros) {
  auto tableName = [rda](bool quote) {
    return [rda, quote](const KvbString& word, KvbString* name) {
      if (!isPlainName(word)) return false;
      *name = rda->getTableName(word.asCstr(), quote, -1);
      return true;
    };
  };
  auto plainName = [](const KvbString& word, KvbString* name) {
    *name = word;
    return isPlainName(word);
  };
  auto macro = [&macros](const KvbString& word, KvbString* value) {
    auto found = macros.find(word);
    if (found == macros.end()) return false;
    *value = found->second;
    return true;
  };
  KvbString text = expandMarkers(sql, "$$", tableName(true));
  text = expandMarkers(text, "##", tableName(false));
  text = expandMarkers(text, "&&", plainName);
  return expandMarkers(text, "%%", macro);
}

// Runs `step` at a savepoint of its own when its failure is `ignored`: the
// failure then undoes only the step, and the transaction around it goes on
// (a server's transaction ends at its first failed statement otherwise).
// True when the work goes on: the step succeeded or its failure is ignored.
bool stepAtSavepoint(ReposDataAccess* rda, bool ignored,
                     const std::function<bool()>& step) {
  if (!ignored) return step();
  runTransaction(rda, logger(), step);
  return true;
}

// Inserts the seed rows of one table set, table after table. Failures are
// logged; unless the set ignores them they end the rows of the whole set.
class SeedRowWriter {
 public:
  SeedRowWriter(ReposDataAccess* rda, RepositoryStatusCallback* status,
                bool ignoreErrors)
      : rda_(rda), status_(status), ignoreErrors_(ignoreErrors) {}
  ~SeedRowWriter() { releaseStatement(); }
  SeedRowWriter(const SeedRowWriter&) = delete;
  SeedRowWriter& operator=(const SeedRowWriter&) = delete;

  bool write(const ReposTableDef& table) {
    const KvbString name = rda_->getTableName(table.name.asCstr(), true, -1);
    if (table.deleteExisting &&
        !stepAtSavepoint(rda_, ignoreErrors_, [&] { return deleteRows(name); }))
      return false;
    // A failure that the set ignores skips the table's rows.
    bool prepared = false;
    if (!stepAtSavepoint(rda_, ignoreErrors_,
                         [&] { return prepared = prepare(table, name); }))
      return false;
    if (!prepared) return true;
    for (const auto& numbered : table.rows)
      if (!stepAtSavepoint(rda_, ignoreErrors_,
                           [&] { return writeRow(table, numbered.second); }))
        return false;
    releaseStatement();
    return true;
  }

 private:
  // Logs a failure; answers false.
  static bool failed(int line, const KvbString& text) {
    logError(line, text);
    return false;
  }

  void report(const KvbString& sql) {
    if (status_) status_->reportMessage(sql);
  }

  void releaseStatement() {
    if (statement_) statement_->release();
    statement_ = nullptr;
  }

  bool deleteRows(const KvbString& name) {
    const KvbString sql = "DELETE FROM " + name;
    report(sql);
    return rda_->paramExec(sql, nullptr, 0) ||
           failed(__LINE__, rda_->getErrorMessage());
  }

  // One row, with a new id in its key column when it has one; without its
  // id the row is left out.
  bool writeRow(const ReposTableDef& table, const ReposTableRow& row) {
    KvbDatavar id;
    if (!row.keyColumn.isEmpty() && !rda_->getNextID(table.name, id))
      return failed(__LINE__, rda_->getErrorMessage());
    if (!bindRow(table, row, id))
      return failed(__LINE__, statement_->getErrorMessage());
    return statement_->execute() ||
           failed(__LINE__, statement_->getErrorMessage());
  }

  // The insert of every column of the table, prepared once for its rows.
  bool prepare(const ReposTableDef& table, const KvbString& name) {
    const KvbString quote = rda_->getIdentifierQuote();
    KvbString columns(""), markers("");
    for (const ReposXmlColumnDef& column : table.columns) {
      if (!columns.isEmpty()) {
        columns.append(",");
        markers.append(",");
      }
      columns.append(quote).append(column.name).append(quote);
      markers.append("?");
    }
    const KvbString sql = kvbStringFormat("INSERT INTO %S (%S) VALUES (%S)",
                                          name, columns, markers);
    report(sql);
    statement_ = rda_->createStatement(sql);
    if (!statement_) return failed(__LINE__, rda_->getErrorMessage());
    const int maxText = rda_->getMaxTextLength();
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const ReposXmlColumnDef& column = table.columns[i];
      statement_->setParameterInfo(
          static_cast<int>(i), column.type,
          column.useMaxLength ? maxText : column.length);
    }
    return true;
  }

  // Binds the row's values in column order; a column without a value gets
  // a null, the key column the new id.
  bool bindRow(const ReposTableDef& table, const ReposTableRow& row,
               const KvbDatavar& id) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const ReposXmlColumnDef& column = table.columns[i];
      auto given = row.values.find(column.name);
      const KvbDatavar value = column.name == row.keyColumn ? id
                               : given != row.values.end()
                                   ? given->second
                                   : KvbDatavar::nullOf(column.type);
      if (!statement_->setParameter(static_cast<int>(i), value)) return false;
    }
    return true;
  }

  ReposDataAccess* rda_;
  RepositoryStatusCallback* status_;
  bool ignoreErrors_;
  ReposDataAccessStatement* statement_ = nullptr;
};

}  // namespace

// ---------------------------------------------------------------------------
// Initial data

bool RepositoryImpl::installInitialData(bool tablesMade) {
  if (!connected(nullptr)) return false;
  logPrintf(logger_, kLogProgress, kSourceFile, __LINE__,
            "Initial insert of profile metadata into repository.");
  if (!installInitialProfileData()) return false;
  logPrintf(logger_, kLogProgress, kSourceFile, __LINE__,
            "Initial insert of monitor metadata into repository.");
  if (!installInitialMonitorData(tablesMade)) return false;

  const KvbString info = dataAccess_->getTableName("INFO", true, -1);
  const KvbString versionInsert =
      kvbStringFormat("INSERT INTO %S (I_TYPE, I_VERS) VALUES (?, ?)", info);
  auto versionRow = [&](const KvbString& type, int version) {
    return execute(versionInsert, {type, version});
  };
  auto isReserved = [](const KvbString& type) {
    for (const char* reserved : kReservedInfoTypes)
      if (type.equals(reserved, true)) return true;
    return false;
  };
  // A repository without these rows would not open as one, so every row
  // must be written.
  auto writeInfoRows = [&] {
    logPrintf(logger_, kLogProgress, kSourceFile, __LINE__,
              "Creating of data for info table.");
    if (!insertUnifiedInfoRow()) return false;
    logPrintf(logger_, kLogProgress, kSourceFile, __LINE__,
              "Setting NCOA version.");
    if (!versionRow(kInfoNcoa, kCurrentNcoaVersion)) return false;
    for (const auto& entry : infoVersions_) {
      if (isReserved(entry.first)) continue;
      logPrintf(logger_, kLogProgress, kSourceFile, __LINE__,
                "Setting %s version.", entry.first);
      if (!versionRow(entry.first, entry.second)) return false;
    }
    return true;
  };
  return inTransaction(writeInfoRows);
}

bool RepositoryImpl::installInitialMonitorData(bool tablesMade) {
  if (!connected(nullptr)) return false;
  if (!reportStep("Installing initial Monitor data")) return false;
  // Empties a table and fills it with its constant rows through one
  // prepared insert.
  auto replaceRows = [this](const ConstantTable& table) {
    const KvbString name = dataAccess_->getTableName(table.tableCode, true, -1);
    if (!execute("DELETE FROM " + name)) return false;
    const KvbString sql = kvbStringFormat("INSERT INTO %S (%s) VALUES (%s)",
                                          name, table.columns, table.markers);
    reportMessage(sql);
    ReposDataAccessStatement* insert = dataAccess_->createStatement(sql);
    if (!insert) return failOnConnection();
    bool ok = true;
    for (const char* const* row = table.cells; ok && *row; row += table.width) {
      for (int i = 0; ok && i < table.width; ++i)
        ok = insert->setParameter(i, KvbDatavar(row[i]));
      ok = ok && insert->execute();
    }
    const KvbString error = insert->getErrorMessage();
    insert->release();
    return ok || fail(error);
  };
  // The two tables are emptied and refilled together, so that a failure
  // never leaves them empty.
  if (!inTransaction([&] {
        return replaceRows(kEventTypes) && replaceRows(kIssueProperties);
      }))
    return false;
  // Both steps set the error text when they fail.
  return repairIdCounters(!tablesMade) && ensureDashboardDefaults();
}

// ---------------------------------------------------------------------------
// Table-set statements and rows

bool RepositoryImpl::runTableSetStatement(const ReposStatement& statement,
                                          const ReposTableSet& set) {
  if (!connected(nullptr)) return false;
  const KvbString sql =
      expandStatementText(dataAccess_, statement.sql, set.macros);
  reportMessage(sql);
  return stepAtSavepoint(dataAccess_, set.ignoreCustomErrors, [&] {
    ReposDataAccessStatement* prepared = dataAccess_->createStatement(sql);
    if (!prepared) {
      logError(__LINE__, dataAccess_->getErrorMessage());
      return false;
    }
    bool ok = true;
    for (size_t i = 0; ok && i < statement.params.size(); ++i) {
      const ReposStatementParam& param = statement.params[i];
      prepared->setParameterInfo(static_cast<int>(i), param.type,
                                 param.length);
      ok = prepared->setParameter(static_cast<int>(i), param.value);
    }
    ok = ok && prepared->execute();
    if (!ok) logError(__LINE__, prepared->getErrorMessage());
    prepared->release();
    return ok;
  });
}

bool RepositoryImpl::insertTableRows(const ReposTableSet& set) {
  if (!connected(nullptr)) return false;
  auto writeRows = [&] {
    SeedRowWriter writer(dataAccess_, status_, set.ignoreCustomErrors);
    for (const ReposTableDef& table : set.tableDefs)
      if (!table.rows.empty() && !writer.write(table)) return false;
    return true;
  };
  // Rows whose failures the set ignores go in at savepoints of their own,
  // so that a failed one undoes only itself.
  return inTransaction(writeRows);
}
