// Runs the sweep's tables (tests/sweep/write_sweep.h) on every back end,
// once more with a cancellation pending on the calling thread, once more
// with a DDL callback taking the statements (the script mode), and checks
// that every write method that a public header declares has its row.
#include "sweep/write_sweep.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>

#include "admin/repositoryimpl.h"
#include "support/admin_targets.h"
#include "support/calling_thread.h"
#include "support/log_capture.h"
#include "support/open_files.h"
#include "support/repos_content.h"

namespace {

const char* inputName(Input input) {
  static const char* const names[] = {
      "missing id", "in use",         "empty name", "NUL byte",
      "too long",   "missing parent", "still used"};
  return names[static_cast<int>(input)];
}

std::string keyOf(const Cell& cell) {
  return cell.method + " " + cell.argument + " " + inputName(cell.input);
}

// The repository of one back end with its objects, made at the first test
// of the back end and dropped after the last.
struct SharedRepository {
  Sweep sweep;
  RepositoryAdmin* admin = nullptr;
  std::string file;    // SQLite
  std::string schema;  // PostgreSQL
  std::string countQuery;
  std::vector<std::string> tables;
  std::set<std::string> setUp;  // the tables whose setup ran
  ~SharedRepository() {
    for (ReposDataAccessObject* o :
         std::initializer_list<ReposDataAccessObject*>{
             sweep.common, sweep.monitor, sweep.meta, sweep.explorer,
             sweep.profile, sweep.ncoa, sweep.refdata})
      if (o) o->release();
    if (sweep.folders) sweep.folders->release();
    if (sweep.impact) sweep.impact->release();
    delete sweep.impexp;
    delete sweep.events;
    if (sweep.repository) sweep.repository->release();
    if (sweep.listed) sweep.listed->release();
    if (!sweep.listFile.empty()) std::remove(sweep.listFile.c_str());
    if (admin) admin->release();
    if (!schema.empty()) runOnPostgres("DROP SCHEMA " + schema + " CASCADE");
    if (!file.empty()) removeSqliteFile(file);
  }
};

std::map<RdaTarget, std::unique_ptr<SharedRepository>>& shared() {
  static std::map<RdaTarget, std::unique_ptr<SharedRepository>> repositories;
  return repositories;
}

// The repositories of the script mode's sweep, which runs each cell in
// the script mode and then as the plain sweep does, so that each call in
// the script mode meets what the plain sweep's call meets.
std::map<RdaTarget, std::unique_ptr<SharedRepository>>& scripted() {
  static std::map<RdaTarget, std::unique_ptr<SharedRepository>> repositories;
  return repositories;
}

class WriteSweepTest : public BackEndTest {
 protected:
  static void TearDownTestSuite() {
    shared().clear();
    scripted().clear();
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
  }

  void SetUp() override {
    SKIP_WITHOUT_POSTGRES(isPostgres());
    std::unique_ptr<SharedRepository>& made = shared()[GetParam()];
    if (!made) made = make();
    repo_ = made.get();
    ASSERT_NE(repo_->sweep.events, nullptr) << "no repository to sweep";
  }

  // Makes the back end's repository and opens every interface on it.
  std::unique_ptr<SharedRepository> make() {
    auto repo = std::make_unique<SharedRepository>();
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 KV_SOURCE_DIR "/etc/reposcreate");
    repo->admin = createRepositoryAdmin(1, nullptr);
    std::string connection, prefix;
    if (isPostgres()) {
      repo->schema = uniqueTestName("kvsweep");
      if (!runOnPostgres("CREATE SCHEMA " + repo->schema)) return repo;
      connection = postgresConnectionString();
      prefix = repo->schema + ".kv";
    } else {
      repo->file = freshSqliteFile("sweep");
      connection = "FILE=" + repo->file + ";CREATE=TRUE;KVXTYPE=SQLITE";
    }
    Sweep& s = repo->sweep;
    s.postgres = isPostgres();
    s.admin = repo->admin;
    s.file = repo->file;
    s.connection = connection;
    s.prefix = prefix;
    s.listFile = testTmpDir() + "/" + uniqueTestName("sweep") + ".list";
    s.listed = createRepositoryAdmin(0, s.listFile.c_str());
    const bool created =
        isFile()
            ? repo->admin->createFileRepository(repo->file.c_str())
            : repo->admin->createRepository(connection.c_str(), prefix.c_str());
    EXPECT_TRUE(created) << repo->admin->getErrorMessage().str();
    s.repository =
        isFile() ? repo->admin->openFileRepository(repo->file.c_str(), false)
                 : repo->admin->openRepositoryConnection(
                       connection.c_str(), prefix.c_str(), false, nullptr);
    if (!s.repository) {
      ADD_FAILURE() << repo->admin->getErrorMessage().str();
      return repo;
    }
    s.common = s.repository->createCommonDataAccess();
    s.monitor = s.repository->createMonitorDataAccess();
    s.meta = s.repository->createMetadataDataAccess();
    s.explorer = s.repository->createExplorerDataAccess();
    s.profile = s.repository->createProfileDataAccess();
    s.ncoa = s.repository->createNCOADataAccess();
    s.refdata = s.repository->createRefDataDataAccess();
    s.folders = s.repository->createFolderManager();
    s.impact = s.repository->createImpactAnalysis();
    s.impexp = s.repository->createImportExportManager();
    s.events = s.repository->createEventQueueManager();
    auto* impl = static_cast<RepositoryImpl*>(s.repository);
    s.rda = impl->getDataAccess();
    std::string query;
    for (const std::string& code : tableCodes(impl)) {
      repo->tables.push_back(code);
      query += (query.empty() ? "SELECT " : ", ") +
               std::string("(SELECT COUNT(*) FROM ") +
               tableName(impl, code.c_str()) + ")";
    }
    repo->countQuery = query;
    return repo;
  }

  // The row count of every table of the repository, "<code> <count>".
  std::vector<std::string> rowCounts() {
    std::vector<std::string> counts;
    ReposDataAccessCursor* cursor =
        static_cast<RepositoryImpl*>(repo_->sweep.repository)
            ->getDataAccess()
            ->paramSelect(repo_->countQuery.c_str(), 0);
    if (cursor && cursor->next() == 1)
      for (size_t t = 0; t < repo_->tables.size(); ++t)
        counts.push_back(repo_->tables[t] + " " +
                         std::to_string(cursor->getInt(static_cast<int>(t))));
    if (cursor) cursor->release();
    EXPECT_FALSE(counts.empty()) << "the row counts could not be read";
    return counts;
  }

  // Runs the setup of `table` once per back end, then its cells.
  std::vector<Cell> prepare(const Table& table) {
    if (repo_->setUp.insert(table.name).second) {
      std::string error;
      EXPECT_TRUE(table.setup(repo_->sweep, &error)) << error;
    }
    std::vector<Cell> cells;
    for (Cell& cell : table.cells())
      if (repo_->sweep.postgres ||
          (cell.input != Input::kNul && cell.input != Input::kTooLong))
        cells.push_back(std::move(cell));
    return cells;
  }

  // What of the cell's answer, its records and the row counts before and
  // after it differs from its expectation; empty when nothing does.
  // Only records of level 5 count: a driver that gives up the transaction
  // at a failed statement adds a warning.
  static std::string verdict(const Cell& cell, const Answer& answer,
                             const std::vector<std::string>& logs,
                             const std::vector<std::string>& before,
                             const std::vector<std::string>& after) {
    std::string wrong;
    std::vector<std::string> records;
    for (const std::string& record : logs)
      if (record.rfind("5 ", 0) == 0) records.push_back(record);
    const bool logged = !records.empty();
    if (cell.expect.kind == Expect::kNoFailure ||
        cell.expect.kind == Expect::kStored) {
      if (!answer.ok) wrong += "answered false: " + answer.text + "; ";
      if (logged) wrong += "logged " + records[0] + "; ";
    } else {
      if (answer.ok) wrong += "answered true; ";
      // An import's header lets it add its own log to the text after
      // "\nImport Log:\n"; the record holds the text before it.
      static const std::set<std::string> withLog = {
          "RepositoryImportExportManager::importObject",
          "RepositoryImportExportManager::importObjectToPath",
          "RepositoryImportExportManager::updateObject"};
      const std::string recorded =
          withLog.count(cell.method)
              ? answer.text.substr(0, answer.text.find("\nImport Log:\n"))
              : answer.text;
      const std::vector<std::string> want =
          cell.expect.kind == Expect::kUnlogged
              ? std::vector<std::string>{}
              : std::vector<std::string>{"5 " + recorded};
      if (records != want) {
        wrong += "logged " + std::to_string(records.size()) + " records";
        for (const std::string& record : records) wrong += " [" + record + "]";
        wrong += " for the text [" + answer.text + "]; ";
      }
      if (answer.ok || answer.text.find(cell.expect.text) == std::string::npos)
        wrong += "text \"" + answer.text + "\" does not name \"" +
                 cell.expect.text + "\"; ";
    }
    for (size_t t = 0; cell.expect.kind != Expect::kStored &&
                       t < before.size() && t < after.size();
         ++t)
      if (before[t] != after[t])
        wrong += "changed " + before[t] + " to " + after[t] + "; ";
    return wrong;
  }

  // Every cell of `table` on the calling thread: its answer, its records,
  // and no row stored or removed.
  void sweep(const Table& table) {
    for (const Cell& cell : prepare(table)) {
      const std::vector<std::string> before = rowCounts();
      Answer answer{false, ""};
      const std::vector<std::string> records =
          log_.failuresDuring([&] { answer = cell.call(repo_->sweep); }, true);
      EXPECT_EQ(verdict(cell, answer, records, before, rowCounts()), "")
          << keyOf(cell);
    }
  }

  // The first cell of each method of `table` on a thread with a
  // cancellation pending: the call answers as on the calling thread, the
  // thread is cancelled right after it, and no lock or descriptor stays
  // held.
  void sweepCancelled(const Table& table) {
    std::set<std::string> methods;
    const int files = repo_->file.empty() ? 0 : openFiles(repo_->file);
    for (const Cell& cell : prepare(table)) {
      if (!methods.insert(cell.method).second) continue;
      Answer answer{false, ""};
      std::vector<std::string> records;
      CallingThread thread([&] {
        pthread_cancel(pthread_self());
        records = log_.failuresDuring([&] { answer = cell.call(repo_->sweep); },
                                      true);
        return true;
      });
      EXPECT_TRUE(thread.cancelledAfterItsCall()) << keyOf(cell);
      // The lock is free: the counts are read on this thread.
      const std::vector<std::string> after = rowCounts();
      EXPECT_EQ(verdict(cell, answer, records, after, after), "")
          << keyOf(cell) << ", cancelled";
      if (!repo_->file.empty()) {
        EXPECT_EQ(openFiles(repo_->file), files) << keyOf(cell);
      }
    }
  }

  // Every cell of `table` while a DDL callback takes the statements of the
  // repository's connection: the call answers as without it, since the
  // reads that decide a write (a name in use, a row that must exist) read
  // the database; a refused call hands nothing to the script but the id
  // counters it raised, a call that stores hands its statements to it, and
  // nothing reaches the database.
  // A value that only the database's write refuses (a NUL byte, a text too
  // long) is no cell here: the script takes it as written. Each cell then
  // runs as in the plain sweep, on a repository of the script mode's own.
  void sweepScript(const Table& table) {
    std::unique_ptr<SharedRepository>& made = scripted()[GetParam()];
    if (!made) made = make();
    repo_ = made.get();
    ASSERT_NE(repo_->sweep.events, nullptr) << "no repository to sweep";
    struct Script : ReposDDLCallback {
      std::vector<std::string> statements;
      bool writeStatement(const KvbString& statement) override {
        statements.push_back(statement.str());
        return true;
      }
    };
    for (const Cell& cell : prepare(table)) {
      if (cell.input == Input::kNul || cell.input == Input::kTooLong) {
        log_.failuresDuring([&] { cell.call(repo_->sweep); }, true);
        continue;
      }
      const std::vector<std::string> before = rowCounts();
      Script script;
      ASSERT_TRUE(repo_->sweep.rda->setDDLCallback(&script));
      Answer answer{false, ""};
      const std::vector<std::string> records =
          log_.failuresDuring([&] { answer = cell.call(repo_->sweep); }, true);
      ASSERT_TRUE(repo_->sweep.rda->setDDLCallback(nullptr));
      Cell scripted = cell;
      if (scripted.expect.kind == Expect::kStored)
        scripted.expect.kind = Expect::kNoFailure;
      std::string wrong =
          verdict(scripted, answer, records, before, rowCounts());
      const bool refusal = cell.expect.kind == Expect::kRefused ||
                           cell.expect.kind == Expect::kUnlogged;
      // An id drawn before the refusal stays drawn, as the guide says.
      const std::string counter =
          repo_->sweep.rda->getTableName("UCURID", true, -1).str();
      for (const std::string& statement : script.statements)
        if (refusal && statement.find(counter) == std::string::npos) {
          wrong += "a refused call wrote [" + statement + "]; ";
          break;
        }
      if (cell.expect.kind == Expect::kStored && script.statements.empty())
        wrong += "a call that stores wrote nothing to the script; ";
      EXPECT_EQ(wrong, "") << keyOf(cell) << ", in the script mode";
      log_.failuresDuring([&] { cell.call(repo_->sweep); }, true);
    }
  }

  SharedRepository* repo_ = nullptr;
  LogCapture log_;
};

TEST_P(WriteSweepTest, CommonInterface) { sweep(commonTable()); }
TEST_P(WriteSweepTest, MonitorInterface) { sweep(monitorTable()); }
TEST_P(WriteSweepTest, MetadataInterface) { sweep(metadataTable()); }
TEST_P(WriteSweepTest, AdministrationAndRepository) { sweep(adminTable()); }
TEST_P(WriteSweepTest, NcoaInterface) { sweep(ncoaTable()); }
TEST_P(WriteSweepTest, RefDataInterface) { sweep(refdataTable()); }
TEST_P(WriteSweepTest, ProfileInterface) { sweep(profileTable()); }

TEST_P(WriteSweepTest, EachMethodAnswersAsBeforeInTheScriptMode) {
  for (const Table& table : sweepTables()) sweepScript(table);
}

TEST_P(WriteSweepTest, EachMethodAnswersWithACancellationPending) {
  for (const Table& table : sweepTables()) sweepCancelled(table);
}

INSTANTIATE_RDA_TARGETS(WriteSweepTest);

// Write methods of the public headers that the sweep does not call, each
// with the reason; a name that ends in "*" stands for every method whose
// name begins with what comes before it ("Class::*": every method of the
// class).
const std::map<std::string, const char*> kNotSwept = {
    {"ReposDataAccess::*",
     "the connection's primitives run the host's own SQL and DDL on tables "
     "it names; they have no kinds or subjects to refuse"},
    {"ReposDataAccessStatement::*", "a prepared statement of the host's SQL"},
    {"KvResource::*", "an in-memory resource, not stored"},
    {"KvResourceList::*", "an in-memory list, not stored"},
    {"KvResourcePropertyList::*", "an in-memory list, not stored"},
    {"KvStringList::*", "an in-memory list, not stored"},
    {"RepositoryStatusCallback::*", "the host's own callback"},
    {"ReposDataAccessObject::setDDLCallback", "sets the host's callback"},
    {"RepositoryAdmin::setStatusCallback", "sets the host's callback"},
    {"RepositoryImportExportManager::setSerializationOption",
     "an option of the manager, not stored"},
    {"KvImpactAnalysis::createResourceList", "a new list in memory"},
    {"Repository::create*", "factories of objects in memory"},
    {"Repository::writeLongText",
     "the connection's long-text primitive, as ReposDataAccess's"},
    {"ReposDDLCallback::*", "the host's own callback"},
    {"RepositoryImpactAnalysis::setResourceManager",
     "sets the host's resolver"},
    {"KvImpactAnalysis::removeAllResources",
     "empties the store, which is its purpose; it takes no argument"},
};

// The pure virtual methods that the public headers declare,
// "Class::method", and among them the writes: those whose names begin with
// a verb that changes something.
struct Declared {
  std::set<std::string> all;
  std::set<std::string> writes;
};
Declared declaredMethods() {
  const std::regex klass(R"(\bclass\s+(\w+)[^;{]*\{)");
  const std::regex method(
      R"(virtual[^;{}()]*?\b(\w+)\s*\([^;{}]*\)\s*(const\s*)?=\s*0\s*;)");
  const std::regex write(
      "(add|update|set|rename|delete|remove|import|move|create|copy|drop|"
      "clear|lock|unlock|upgrade|normalize|write|append|link|analyze)[A-Z].*");
  Declared declared;
  int headers = 0;
  for (const auto& entry : std::filesystem::directory_iterator(
           KV_SOURCE_DIR "/include/reposadmin")) {
    if (entry.path().extension() != ".h") continue;
    ++headers;
    std::ifstream in(entry.path());
    EXPECT_TRUE(in) << entry.path();
    std::string text, line;
    while (std::getline(in, line))
      text += line.substr(0, line.find("//")) + "\n";
    std::vector<std::pair<size_t, std::string>> classes;
    for (std::sregex_iterator c(text.begin(), text.end(), klass), end; c != end;
         ++c)
      classes.emplace_back(c->position(), (*c)[1]);
    for (std::sregex_iterator m(text.begin(), text.end(), method), end;
         m != end; ++m) {
      std::string owner;
      for (const auto& c : classes)
        if (c.first < static_cast<size_t>(m->position())) owner = c.second;
      const std::string name = (*m)[1];
      declared.all.insert(owner + "::" + name);
      if (std::regex_match(name, write))
        declared.writes.insert(owner + "::" + name);
    }
  }
  EXPECT_GT(headers, 15);
  return declared;
}

// A header that declares a write method without a row of the sweep (or a
// reason in kNotSwept) fails the suite; so does an exclusion of a method
// that no header declares any more.
TEST(WriteSweepCoverage, EveryWriteMethodOfThePublicHeadersHasARow) {
  std::set<std::string> swept;
  for (const Table& table : sweepTables())
    for (const Cell& cell : table.cells()) {
      swept.insert(cell.method);
    }
  const Declared declared = declaredMethods();
  EXPECT_GT(declared.writes.size(), 200u);
  std::vector<std::string> missing, stale;
  for (const std::string& name : declared.writes) {
    bool excluded = false;
    for (const auto& reason : kNotSwept) {
      const std::string& key = reason.first;
      excluded = excluded || key == name ||
                 (key.back() == '*' &&
                  name.compare(0, key.size() - 1, key, 0, key.size() - 1) == 0);
    }
    if (!swept.count(name) && !excluded) missing.push_back(name);
  }
  for (const std::string& name : swept)
    if (!declared.all.count(name)) stale.push_back(name);
  for (const auto& excluded : kNotSwept)
    if (excluded.first.back() != '*' && !declared.writes.count(excluded.first))
      stale.push_back(excluded.first);
  for (const std::string& name : missing)
    ADD_FAILURE() << name
                  << " writes, but the sweep has no row for it (nor a reason "
                     "in kNotSwept)";
  for (const std::string& name : stale)
    ADD_FAILURE() << name
                  << " is swept or excluded, but no public header "
                     "declares it as a write method";
}

}  // namespace
