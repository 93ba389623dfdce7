// Creating a repository: in a database that holds none under its table
// prefix, in a SQLite file, or as a DDL script that a database
// administrator runs by hand. The opened
// repository and its connection do the work; this file checks the target,
// drives the steps and writes the script.
#include <string>

#include "admin/repositoryadminimpl.h"
#include "admin/repositoryimpl.h"
#include "kvfileio/kvfileio.h"
#include "kvlogging/kvlogging.h"
#include "kvsync/kvnocancellation.h"
#include "kvuchar/kvuchar.h"
#include "rda/rda_factory.h"
#include "rda/rda_impl.h"
#include "schema/log_printf.h"
#include "schema/repos_tables.h"
#include "schema/repos_tables_xml.h"

namespace {
const char kSourceFile[] = "repos_create";

// The factory kind of createReposDataAccess that opens an existing SQLite
// file.
constexpr int kExistingSqliteFile = 2;

// The first table that a creation would make and that already exists in
// the repository's database, in `found`; null when there is none. False,
// with the reason on the connection, when the catalogue cannot be read.
bool firstExistingTable(RepositoryImpl* repository, KvbString& found) {
  auto* rda = static_cast<RDA_BaseImpl*>(repository->getDataAccess());
  // A SQLite database without any table holds none of them: one look at
  // its catalogue instead of one per table.
  int tables = -1;
  if (RepositoryImpl::onSqlite(rda) && rda->getSchemaName().isEmpty() &&
      rda->paramSingleton(
          "SELECT COUNT(*) FROM sqlite_master WHERE type='table'", &tables,
          0) &&
      tables == 0)
    return true;
  bool read = true;
  auto check = [&](const KvbString& table) {
    std::list<TableColumnInfo> columns;
    if (!read || !found.isNull()) return;
    read = rda->findTableColumns(table, columns);
    if (read && !columns.empty()) found = table;
  };
  forEachTableCode(reposCoreColumnDefs, check);
  forEachTableCode(reposNcoaColumnDefs, check);
  for (int i = 0; i < repository->getTableSetCount(); ++i)
    if (const ReposTableSet* set = repository->getTableSet(i))
      for (const ReposTableDef& table : set->tableDefs) check(table.name);
  return read;
}

bool startsWithLetter(const KvbString& text) {
  int isAlpha = 0;
  np_uchar_isalpha(text.asCstr(), &isAlpha);
  return isAlpha != 0;
}

// A configured line prefix or suffix with its line-break marks expanded;
// empty when it is not set.
KvbString lineMark(const KvbConfigOptions& options, const char* key) {
  KvbString value("");
  if (options.get(key, value) && !value.isEmpty())
    expandLineBreakMarks(value.asCstr(), static_cast<int>(value.length()) + 1,
                         &value);
  return value;
}
}  // namespace

// ---------------------------------------------------------------------------
// The script

void expandLineBreakMarks(const char* text, int size, KvbString* out) {
  if (!out) return;
  if (!text || size < 2) {
    out->setNull();
    return;
  }
  const std::string source(text, static_cast<size_t>(size - 1));
  KvbString expanded("");
  for (size_t i = 0; i < source.size(); ++i) {
    if (source[i] == '^' && i + 1 < source.size() && source[i + 1] == 'p') {
      expanded.append('\n');
      ++i;
    } else {
      expanded.append(source[i]);
    }
  }
  *out = expanded;
}

bool DDLCB::open(const KvbString& path, KvbString* errorText) {
  const int result = file_.open(path);
  if (result != NP_FIO_OK) {
    if (errorText)
      *errorText = kvbStringFormat("%s: %S", np_fio_errdesc(result), path);
    return false;
  }
  const KvbConfigOptions* options = kvbGetConfigOptions("");
  if (!options) return true;
  linePrefix_ = lineMark(*options, "BASE/REPOS_DDL_LINE_PREFIX");
  // Without a configured suffix each statement ends with ";", so that the
  // script runs as it stands in a database's command-line tool.
  KvbString configured;
  lineSuffix_ = options->get("BASE/REPOS_DDL_LINE_SUFFIX", configured)
                    ? lineMark(*options, "BASE/REPOS_DDL_LINE_SUFFIX")
                    : KvbString(";");
  return true;
}

bool DDLCB::writeStatement(const KvbString& statement) {
  const KvbString* parts[] = {&linePrefix_, &statement, &lineSuffix_};
  for (const KvbString* part : parts)
    if (part->length() != 0 && file_.puts(part->asCstr()) != NP_FIO_OK)
      return false;
  return file_.puts("\n") == NP_FIO_OK;
}

bool DDLCB::close(bool complete, KvbString* errorText) {
  if (!complete) return true;  // the destructor removes the unfinished file
  const int result = file_.commit();
  if (result == NP_FIO_OK) return true;
  if (errorText)
    *errorText =
        kvbStringFormat("The DDL script could not be written completely: %s",
                        np_fio_errdesc(result));
  return false;
}

// ---------------------------------------------------------------------------
// Creating

bool RepositoryAdminImpl::createRepository(const KvbString& connection,
                                           const KvbString& tablePrefix) {
  KvNoCancellation noCancellation;
  return createRepositoryWithDDLFile(connection, tablePrefix, KvbString());
}

bool RepositoryAdminImpl::createFileRepository(const KvbString& path) {
  KvNoCancellation noCancellation;
  // Only a file that this creation brings into being may be removed when it
  // fails; one that existed before is left as it was. The file is reached
  // through the connection-string route, which makes it when it is missing.
  // An empty path is refused by initRepository.
  const bool isNew =
      !path.isEmpty() && np_fio_stat(path.asCstr()) == NP_FIO_ENOTFOUND;
  if (createIn(initRepository(kInitToCreate | kInitFileThroughConnection, 0,
                              path, "", ""),
               KvbString()))
    return true;
  if (isNew) removeEmptyFile(path);
  return answered(false);
}

bool RepositoryAdminImpl::failOnRepository(RepositoryImpl* repository) {
  fail(repository->getErrorMessage());
  logError(__LINE__);
  return false;
}

// A database that holds a repository is never created over: one that holds
// any table that the creation would make is refused, whatever its version
// rows say (a repository of any version has its INFO table). A catalogue
// that cannot be read refuses the creation too, since it cannot tell that
// no such table is there.
bool RepositoryAdminImpl::mayCreateIn(RepositoryImpl* repository) {
  KvbString existing;
  if (!firstExistingTable(repository, existing)) {
    fail("The tables of the database cannot be listed: " +
         repository->getDataAccess()->getErrorMessage());
    logError(__LINE__);
    return false;
  }
  return existing.isNull() || refuseHeld(repository, existing);
}

// The host learns which database and which table showed the repository,
// the database as failure texts show it: without its password.
bool RepositoryAdminImpl::refuseHeld(RepositoryImpl* repository,
                                     const KvbString& existing) {
  fail(message(__LINE__, 1304) +
       kvbStringFormat(" The table %S exists already in the %S.", existing,
                       repository->place()));
  logError(__LINE__);
  return false;
}

bool RepositoryAdminImpl::startScript(RepositoryImpl* repository,
                                      const KvbString& path, DDLCB* script) {
  KvbString openError;
  if (!script->open(path, &openError)) {
    fail(openError);
    logError(__LINE__);
    return false;
  }
  return repository->setDDLCallback(script) || failOnRepository(repository);
}

// A creation drops no table: the database was found free of the creation's
// tables, and a table that another creator makes meanwhile must make this
// creation fail rather than be dropped.
bool RepositoryAdminImpl::createBuiltInTables(RepositoryImpl* repository,
                                              bool ncoa) {
  TableCreateOptions options;
  options.useNcoaTables = ncoa;
  options.createTables = true;
  ReposDataAccess* rda = repository->getDataAccess();
  if (rda->createTables(options)) return true;
  // A stop is the creation's to report.
  if (repository->statusRelay().stopped()) return false;
  fail(rda->getErrorMessage());
  logError(__LINE__);
  return false;
}

// The built-in core and NCOA tables, the table sets and the initial data,
// in one transaction: a creation that fails leaves the database as it was,
// and the database syncs its file once. A failure of the built-in tables
// does not stop the later steps, but the creation then answers false; a
// step that the host's status callback stops ends the creation there. A
// table-set folder that could not be listed fails the creation before any
// change, rather than leaving a repository without the sets' tables.
//
// With `checkEmpty` the transaction first takes the write lock (on SQLite)
// and then checks that the database holds no repository, so that of several
// creators of one database exactly one finds it empty. On a server, where
// the begin takes no lock, a creator that overlaps another fails on the
// first table that the other made, since no creation drops tables; once
// its transaction is rolled back it looks again, and a table of the
// creation that is there now is another creator's: it is refused as a
// creator that came later would be.
bool RepositoryAdminImpl::createStructure(RepositoryImpl* repository,
                                          bool checkEmpty) {
  if (!repository->tableSetFolderFound()) return failOnRepository(repository);
  logPrintf(logger_, kLogProgress, kSourceFile, __LINE__,
            "Validating table metadata descriptions");
  // The definitions are constants: they are checked once per process.
  static const bool definitionsValid = validateTableDefinitions();
  if (!definitionsValid)
    logPrintf(logger_, kLogError, kSourceFile, __LINE__,
              "Table Metadata did not validate.");
  ReposDataAccess* rda = repository->getDataAccess();
  bool busy = false;
  if (!rda->beginTransaction(true, &busy)) {
    fail(rda->getErrorMessage());
    if (!busy) rda->endTransaction(false);  // a busy begin left no level
    logError(__LINE__);
    return false;
  }
  if (checkEmpty && !mayCreateIn(repository)) {
    rda->endTransaction(false);
    return false;
  }
  StatusRelay& relay = repository->statusRelay();
  StatusRelay::Watch watch(relay);
  CountedSteps steps(*repository, true);
  bool builtIn = createBuiltInTables(repository, false);
  if (!relay.stopped())
    builtIn = createBuiltInTables(repository, true) && builtIn;
  // Any failure from here on ends the creation, whose transaction is then
  // rolled back whole.
  const bool wholeBefore = repository->failWhole(true);
  const bool rest =
      !relay.stopped() &&
      repository->createTables(false, true, false, false, nullptr) &&
      repository->installInitialData(builtIn);
  repository->failWhole(wholeBefore);
  if (relay.stopped()) {
    // failStopped logged the stop, or left it to the operation around the
    // creation.
    repository->failStopped("creation");
    texts_.set(repository->getErrorMessage(), true);
  } else if (!rest) {
    failOnRepository(repository);
  }
  if (!rda->endTransaction(builtIn && rest) && builtIn && rest)
    return fail(rda->getErrorMessage());
  KvbString existing;
  if (!(builtIn && rest) && checkEmpty && !relay.stopped() &&
      firstExistingTable(repository, existing) && !existing.isNull())
    return refuseHeld(repository, existing);
  return builtIn && rest;
}

// Removes the SQLite file at `path` when it holds nothing at all. It runs
// under the file's write lock: no other creator is then half-way through
// writing it, and one that takes the lock after the removal fails on the
// vanished file instead of writing into it.
void RepositoryAdminImpl::removeEmptyFile(const KvbString& path) {
  KvbString openError;
  ReposDataAccess* rda =
      createReposDataAccess(kExistingSqliteFile, path, "", nullptr, openError);
  if (!rda) return;
  bool busy = false;
  int objects = -1;
  if (rda->beginTransaction(true, &busy) &&
      rda->paramSingleton("SELECT COUNT(*) FROM sqlite_master", &objects, 0) &&
      objects == 0 && np_fio_unlink(path.asCstr()) == NP_FIO_OK)
    logPrintf(logger_, kLogInfo, kSourceFile, __LINE__,
              "Removed the file %S of the failed creation", path);
  if (!busy) rda->endTransaction(false);
  rda->release();
}

bool RepositoryAdminImpl::createRepositoryWithDDLFile(
    const KvbString& connection, const KvbString& tablePrefix,
    const KvbString& ddlFile) {
  KvNoCancellation noCancellation;
  if (!tablePrefix.isEmpty() && !startsWithLetter(tablePrefix)) {
    failMessage(__LINE__, 1303);
    logError(__LINE__);
    return false;
  }
  return answered(createIn(
      initRepository(kInitToCreate, 1, connection, tablePrefix, ""), ddlFile));
}

bool RepositoryAdminImpl::createIn(RepositoryImpl* repository,
                                   const KvbString& ddlFile) {
  if (!repository) return false;
  DDLCB script;
  // Neither the tables nor a script are made for a database that the
  // engine does not support.
  if (!supportedDatabase(repository)) {
    repository->release();
    logError(__LINE__);
    return false;
  }
  // The creation works on the table sets read as it opened the repository.
  repository->keepTableSets(true);
  const bool withScript = !ddlFile.isNull();
  bool ok = !withScript || startScript(repository, ddlFile, &script);
  if (ok) ok = createStructure(repository, !withScript);
  if (withScript) repository->setDDLCallback(nullptr);
  repository->release();
  // The script counts only when all of it reached the file; a creation
  // that failed leaves none.
  KvbString closeError;
  if (withScript && !script.close(ok, &closeError) && ok) ok = fail(closeError);
  return ok;
}
