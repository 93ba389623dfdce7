// The structure of a repository beyond its built-in tables: creating,
// upgrading and dropping the tables of the XML table sets together with
// their statements and seed rows, and writing the INFO version rows.
#include <exception>
#include <vector>

#include "admin/repositoryimpl.h"
#include "rda/rda_impl.h"
#include "reposadmin/repository_status_callback.h"
#include "schema/repos_tables.h"
#include "schema/repos_tables_xml.h"

namespace {

const char kSourceFile[] = "repos_structure";
const char kCatalogue[] = "Repository Library";

// What one pass over the table sets does.
struct SetPass {
  bool drop;
  bool create;
  bool update;

  bool createOnly() const { return create && !update; }
  bool dropOnly() const { return drop && !create; }
  // Rows go in when tables are created, never when they are only dropped
  // or upgraded.
  bool insertsRows() const { return !update && !dropOnly(); }
  // A set that is only dropped ends after its statements: its version is
  // neither recorded nor written.
  bool endsAfterStatements() const { return dropOnly() && !update; }
};

// The definition array of the tables of a set, in the form that the
// connection's table creation takes: for each table one record per column
// and an end record that describes the table, then a second end record.
// The records point into `set`, which must outlive the array.
std::vector<ReposColumnDef> columnDefsOf(const ReposTableSet& set) {
  std::vector<ReposColumnDef> defs;
  for (const ReposTableDef& table : set.tableDefs) {
    for (const ReposXmlColumnDef& column : table.columns) {
      int flags = column.primaryKey ? kColPrimaryKey | kColNotNull : 0;
      if (column.indexNumber > 0) flags |= kColIndexed;
      if (!column.isNullable) flags |= kColNotNull;
      if (column.useMaxLength) flags |= kColMaxText;
      defs.push_back({table.name.asCstr(), column.name.asCstr(), column.type,
                      column.length, flags, kPartCommon,
                      column.indexNumber > 0 ? column.indexNumber : 0,
                      column.description.asCstr()});
    }
    defs.push_back({nullptr, nullptr, 0, 0, 0, kPartCommon, 0,
                    table.description.asCstr()});
  }
  defs.push_back({nullptr, nullptr, 0, 0, 0, kPartCommon, 0, nullptr});
  return defs;
}

// Creates, drops or upgrades the tables of a set in one pass of the
// connection, which stops at the first table that fails.
bool applySetTables(ReposDataAccess* rda, const ReposTableSet& set,
                    const SetPass& pass) {
  if (set.tableDefs.empty()) return true;
  const std::vector<ReposColumnDef> columns = columnDefsOf(set);
  TableCreateOptions options;
  options.dropTables = pass.drop && !pass.update;
  options.createTables = pass.create && !pass.update;
  options.columns = columns.data();
  options.extraSwitch1 = true;
  options.indexPrefix = set.indexPrefix;
  options.extraSwitch2 = true;
  return pass.update ? rda->checkTables(options) : rda->createTables(options);
}

bool runStatements(RepositoryImpl& repos, const ReposTableSet& set,
                   const std::vector<ReposStatement>& statements) {
  for (const ReposStatement& statement : statements)
    if (!repos.runTableSetStatement(statement, set)) return false;
  return true;
}

// The statement lists of a pass, in order: those for creating, for
// dropping and for upgrading, each when the pass does that.
bool runStatementLists(RepositoryImpl& repos, const ReposTableSet& set,
                       const SetPass& pass,
                       const std::vector<ReposStatement>& forCreate,
                       const std::vector<ReposStatement>& forDrop,
                       const std::vector<ReposStatement>& forUpdate) {
  return (!pass.createOnly() || runStatements(repos, set, forCreate)) &&
         (!pass.dropOnly() || runStatements(repos, set, forDrop)) &&
         (!pass.update || runStatements(repos, set, forUpdate));
}

// One table set: the statements before its tables, the tables, then its
// rows and the statements after the tables in the order the set asks for.
bool applyTableSet(RepositoryImpl& repos, const ReposTableSet& set,
                   const SetPass& pass) {
  if (!runStatementLists(repos, set, pass, set.preCreate, set.preDelete,
                         set.preUpdate) ||
      !applySetTables(repos.getDataAccess(), set, pass))
    return false;
  auto rows = [&] { return !pass.insertsRows() || repos.insertTableRows(set); };
  auto after = [&] {
    return runStatementLists(repos, set, pass, set.postCreate, set.postDelete,
                             set.postUpdate);
  };
  if (!set.insertDataFirst) return after() && rows();
  // A set whose rows come first has nothing to do after its tables are
  // dropped: its post-delete statements belong with rows that are gone.
  if (pass.endsAfterStatements()) return true;
  return rows() && after();
}

}  // namespace

// ---------------------------------------------------------------------------
// Table sets

// The connection learns the sets' table codes too: a drop under another
// prefix must know them as this repository's tables.
void RepositoryImpl::declareTableSetLengths() {
  // Every connection of the engine is an RDA_BaseImpl.
  auto* connection = static_cast<RDA_BaseImpl*>(dataAccess_);
  for (int index = 0; index < getTableSetCount(); ++index)
    for (const ReposTableDef& table : getTableSet(index)->tableDefs) {
      connection->declareTableCode(table.name);
      for (const ReposXmlColumnDef& column : table.columns)
        if (column.type == kvbTypeString)
          connection->declareTextLength(
              table.name, column.name, column.useMaxLength ? 0 : column.length);
    }
}

bool RepositoryImpl::createTables(bool drop, bool create, bool update,
                                  bool countOnly, int* count, int* tableCount) {
  if (!connected(nullptr)) return false;
  if (!tableSetReader_) return fail(noConnectionText());
  // The folder is read anew, for sets added since the repository was
  // opened, unless the sets in hand are kept for the work in progress.
  int setCount = tableSetReader_->tableSetCount();
  if (!keepTableSets_ && !tableSetReader_->loadTableSetDirectory(&setCount))
    return fail(tableSetReader_->getErrorMessage());

  const SetPass pass{drop, create, update};
  int needed = 0;
  if (tableCount) *tableCount = 0;
  for (int index = 0; index < setCount; ++index) {
    ReposTableSet* set = nullptr;
    if (!tableSetReader_->tableSetAt(index, &set))
      return fail(tableSetReader_->getErrorMessage());
    if (!set)
      return fail(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1161));
    if ((create || update) && recordedVersion(set->name) >= set->version)
      continue;
    if (countOnly) {
      ++needed;
      if (tableCount) *tableCount += static_cast<int>(set->tableDefs.size());
      continue;
    }

    bool ok;
    try {
      ok = applyTableSet(*this, *set, pass);
    } catch (const std::exception&) {
      return fail(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 530));
    }
    if (!ok) return failOnConnection();
    if (pass.endsAfterStatements()) continue;

    infoVersions_[set->name] = set->version;
    if (update && !create && !drop) {
      // The upgrade records each set's version as soon as the set is done.
      if (!writeVersionRow(set->name, set->version)) return false;
    }
  }
  if (count) *count = needed;
  return true;
}

CountedSteps::CountedSteps(RepositoryImpl& repository, bool create)
    : repository_(repository),
      connection_(static_cast<RDA_BaseImpl*>(repository.getDataAccess())) {
  if (!connection_) return;
  int sets = 0, setTables = 0;
  // The pass works on the sets counted here, so that the steps it reports
  // match its work.
  counted_ =
      repository.createTables(false, create, !create, true, &sets, &setTables);
  if (counted_) keptBefore_ = repository.keepTableSets(true);
  TableCreateOptions ncoa;
  ncoa.useNcoaTables = true;
  connection_->countSteps(RDA_BaseImpl::tableCount(TableCreateOptions()) +
                          (create ? RDA_BaseImpl::tableCount(ncoa) : 0) +
                          setTables);
}

CountedSteps::~CountedSteps() {
  if (counted_) repository_.keepTableSets(keptBefore_);
  if (connection_) connection_->countSteps(0);
}

// ---------------------------------------------------------------------------
// Version rows

bool RepositoryImpl::writeVersionInfo(bool ncoaOnly) {
  if (!connected(nullptr)) return false;
  if (!reportStep("Updating version info")) return false;
  const KvbString info = dataAccess_->getTableName("INFO", true, -1);

  // The unified row carries the minor version and the repository's UUID
  // as well. A repository that never had one (an older profile or monitor
  // repository, or one with only an NCOA row) gets both here: without them
  // it would not open as current and would have no identity.
  auto writeUnifiedRow = [&] {
    switch (hasInfoRow(kInfoUnified)) {
      case 0:
        return insertUnifiedInfoRow();
      case 1:
        return execute(
            "UPDATE " + info + " SET I_VERS=?, I_MVER=? WHERE I_TYPE=?",
            {kCurrentVersion, kCurrentMinorVersion, kInfoUnified});
      default:
        return false;
    }
  };
  auto deleteRows = [&](const char* type) {
    return execute("DELETE FROM " + info + " WHERE I_TYPE=?", {type});
  };
  auto writeRows = [&] {
    if (repositoryKind_ == kKindUnified && ncoaOnly)
      return writeVersionRow(kInfoNcoa, kCurrentNcoaVersion);
    return writeUnifiedRow() &&
           (repositoryKind_ == kKindUnified ||
            writeVersionRow(kInfoNcoa, kCurrentNcoaVersion)) &&
           deleteRows(kInfoProfile) && deleteRows(kInfoMonitor);
  };

  // All rows change together or not at all.
  if (!inTransaction(writeRows)) return false;
  if (repositoryKind_ == kKindUnified && ncoaOnly)
    ncoaVersion_ = kCurrentNcoaVersion;
  return true;
}
