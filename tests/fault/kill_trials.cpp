// Kill trials of the operations that must leave a repository whole: the
// repository copy (SQLite into SQLite, and into PostgreSQL when
// KV_TEST_PG_CONNECTION is set) and the cascade delete of a report's runs
// with their per-field frequency tables. Each trial prepares a fresh target,
// forks a child that runs the operation, kills the child with SIGKILL after
// a random delay within the operation's typical duration (measured on a
// reference child) or a little beyond, and reopens the target: its content
// must equal the content before the operation or after a completed one, and
// no per-field frequency table may be left without its field row. Any other
// state is reported and makes the program exit with 1.
//
// Not a ctest case: the reliability harness runs it. KV_KILL_TRIALS sets
// the trials per operation (default 20), KV_KILL_SEED the seed of the
// delays (printed, so that a run can be repeated).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "profile/prof_rdaimpl.h"
#include "reposadmin/kvreposadmin.h"
#include "support/repos_content.h"
#include "support/temp_dir.h"

namespace {

using Rows = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

// A repository's database: a SQLite file, or a PostgreSQL schema that the
// table prefix names.
struct Database {
  std::string file;
  std::string connection;
  std::string prefix;
  std::string schema;
};

// An open repository, released with its last owner.
using Opened = std::shared_ptr<RepositoryImpl>;

Opened openRepository(RepositoryAdmin* admin, const Database& db) {
  Repository* repository =
      db.file.empty()
          ? admin->openRepositoryConnection(db.connection.c_str(),
                                            db.prefix.c_str(), true, nullptr)
          : admin->openFileRepository(db.file.c_str(), true);
  return Opened(static_cast<RepositoryImpl*>(repository),
                [](RepositoryImpl* r) {
                  if (r) r->release();
                });
}

// Stops the program with a setup failure: the trials could not be run.
[[noreturn]] void abandon(const std::string& why) {
  std::cerr << "kill trials: " << why << "\n";
  std::exit(2);
}

void require(const std::string& error) {
  if (!error.empty()) abandon(error);
}

// The content that the trials compare: every table but INFO (which no
// operation writes and which holds each repository's own identity), the
// per-id tables up to `maxId`, and a line for each per-field frequency
// table whose field row is missing.
Rows content(RepositoryImpl* repos, int maxId) {
  bool ok = true;
  Rows rows = repositoryRows(repos, tableCodes(repos, {"INFO"}), maxId, &ok);
  if (!ok) rows.push_back("(a table could not be read)");
  for (int id = 0; id <= maxId; ++id) {
    int fields = 0;
    if (idTableExists(repos->getDataAccess(), "FRQDST", id) &&
        firstRow(repos->getDataAccess(),
                 "SELECT COUNT(*) FROM " + tableName(repos, "FLD") +
                     " WHERE FLD_ID=?",
                 {id},
                 [&](ReposDataAccessCursor& row) { fields = row.getInt(0); }) ==
            1 &&
        fields == 0)
      rows.push_back("FRQDST" + std::to_string(id) + " without its FLD row");
  }
  return rows;
}

// What a trial checks of its target.
struct State {
  Rows info;
  Rows rows;
};

State stateOf(RepositoryAdmin* admin, const Database& db, int maxId) {
  Opened repos = openRepository(admin, db);
  if (!repos)
    abandon("cannot open the target: " + admin->getErrorMessage().str());
  return {tableRows(repos.get(), tableName(repos.get(), "INFO")),
          content(repos.get(), maxId)};
}

// One operation under trial.
struct Operation {
  std::string name;
  // Makes the target of trial `n` (0 is the reference run) as every trial
  // finds it.
  std::function<Database(int n)> prepare;
  // Opens what the operation needs through `admin` and answers the
  // operation itself, which answers whether it succeeded.
  std::function<std::function<bool()>(RepositoryAdmin*, const Database&)> start;
  // Removes a target.
  std::function<void(const Database&)> discard;
  int maxId;  // the per-id tables 0 to maxId are compared
};

// The lines of a content by table: a line's table is its text up to the
// first ':' (the whole line when it has none).
std::map<std::string, Rows> byTable(const Rows& rows) {
  std::map<std::string, Rows> tables;
  for (const std::string& line : rows)
    tables[line.substr(0, line.find(':'))].push_back(line);
  return tables;
}

// What a mixed state is made of: the tables that the operation changes,
// each as it was before, as the completed operation leaves it, or neither.
std::string explainMixed(const Rows& rows, const Rows& before,
                         const Rows& after) {
  std::map<std::string, Rows> found = byTable(rows), was = byTable(before),
                              will = byTable(after);
  std::set<std::string> tables;
  for (const auto* side : {&found, &was, &will})
    for (const auto& table : *side) tables.insert(table.first);
  std::map<std::string, std::string> kinds;
  for (const std::string& table : tables) {
    const Rows &f = found[table], &b = was[table], &a = will[table];
    if (f != b || f != a)
      kinds[f == b   ? "as before"
            : f == a ? "as after"
                     : "neither"] += " " + table + ",";
  }
  std::string out;
  for (const auto& kind : kinds)
    out += "\n    " + kind.first + ":" + kind.second.substr(0, 300);
  return out;
}

// How a child ended: its wait status, and how long its operation ran when
// it was not killed.
struct Ending {
  int status;
  Clock::duration took;
};

// Forks a child that runs `operation` on `target` and leaves with 0 when
// it succeeded. The child tells the parent through a pipe when the
// operation begins and when it ends; given a delay, the parent kills the
// child that much after the begin.
Ending runChild(const Operation& operation, const Database& target,
                std::optional<std::chrono::microseconds> killAfter) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) abandon("no pipe");
  const pid_t pid = ::fork();
  if (pid < 0) abandon("cannot fork");
  if (pid == 0) {
    ::close(pipeEnds[0]);
    RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
    std::function<bool()> run =
        admin ? operation.start(admin, target) : nullptr;
    if (!run || ::write(pipeEnds[1], "b", 1) != 1) ::_exit(3);
    const bool ok = run();
    ::_exit(::write(pipeEnds[1], "e", 1) == 1 && ok ? 0 : 1);
  }
  ::close(pipeEnds[1]);
  char byte;
  const bool begun = ::read(pipeEnds[0], &byte, 1) == 1;
  const Clock::time_point begin = Clock::now();
  if (begun && killAfter) {
    std::this_thread::sleep_for(*killAfter);
    ::kill(pid, SIGKILL);
  } else if (begun && ::read(pipeEnds[0], &byte, 1) != 1) {
    abandon(operation.name + ": the child ended before its operation did");
  }
  const Clock::duration took = Clock::now() - begin;
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!begun)
    abandon(operation.name + ": the child could not open its repositories");
  return {status, took};
}

// Runs the trials of one operation; answers the number of mixed states.
int runTrials(RepositoryAdmin* admin, const Operation& operation, int trials,
              std::mt19937& random) {
  // The reference run, in a child that is not killed: the content before
  // and after, and how long the operation takes.
  const Database reference = operation.prepare(0);
  const State before = stateOf(admin, reference, operation.maxId);
  const Ending completed = runChild(operation, reference, std::nullopt);
  if (!WIFEXITED(completed.status) || WEXITSTATUS(completed.status) != 0)
    abandon(operation.name + " failed in the reference run");
  const State after = stateOf(admin, reference, operation.maxId);
  operation.discard(reference);
  if (after.rows == before.rows) abandon(operation.name + " changed nothing");
  const auto typical =
      std::chrono::duration_cast<std::chrono::microseconds>(completed.took);
  // A little beyond the typical duration too, so that some kills come
  // during the commit or after the end.
  std::uniform_int_distribution<long> delays(0, typical.count() * 9 / 8);

  int untouched = 0, done = 0, mixed = 0;
  for (int n = 1; n <= trials; ++n) {
    const Database target = operation.prepare(n);
    const State start = stateOf(admin, target, operation.maxId);
    const std::chrono::microseconds delay(delays(random));
    const int status = runChild(operation, target, delay).status;
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
      abandon(operation.name + ": the operation failed on its own in trial " +
              std::to_string(n));
    const State found = stateOf(admin, target, operation.maxId);
    if (found.info == start.info && found.rows == start.rows) {
      ++untouched;
    } else if (found.info == start.info && found.rows == after.rows) {
      ++done;
    } else {
      ++mixed;
      std::cerr << operation.name << ": trial " << n << " killed after "
                << delay.count() / 1000 << " ms left a mixed state:"
                << explainMixed(found.rows, start.rows, after.rows)
                << (found.info == start.info ? "" : "\n    INFO changed")
                << "\n";
    }
    operation.discard(target);
  }
  std::cout << operation.name << ": " << trials << " kills in an operation of "
            << typical.count() / 1000 << " ms: " << untouched
            << " left the target as before, " << done
            << " after the completed operation, " << mixed << " mixed\n";
  return mixed;
}

// ---- content ----

// Field rows 1 to `last` named `name`, each with a frequency table of its
// own of `rows` rows.
void addFields(RepositoryImpl* repos, int last, const std::string& name,
               int rows) {
  for (int id = 1; id <= last; ++id) {
    require(execute(repos,
                    "INSERT INTO " + tableName(repos, "FLD") +
                        " (DSN_ID, TBL_ID, FLD_ID, FLD_NAME) VALUES (1, 1, ?, "
                        "?)",
                    {id, KvbString(name)}));
    require(idTable(repos, "FRQDST", id, name, rows));
  }
}

// The source of the copies: per-field and histogram tables with rows, and
// rows in main tables, some with long texts.
void fillSource(RepositoryImpl* source) {
  KvbString marker;
  if (!source->writeLongText(std::string(40000, 'L').c_str(), &marker, 0))
    abandon(source->getErrorMessage().str());
  addFields(source, 6, "source", 40);
  for (int id = 1; id <= 2; ++id) {
    require(execute(source,
                    "INSERT INTO " + tableName(source, "HGMETA") +
                        " (HGM_ID, GRP1) VALUES (?, 'g')",
                    {id}));
    require(idTable(source, "HSM", id, "source", 20));
    require(idTable(source, "HCM", id, "source", 20));
  }
  for (int id = 1; id <= 60; ++id)
    require(execute(source,
                    "INSERT INTO " + tableName(source, "RULE") +
                        " (RU_ID, RU_EXPR) VALUES (?, ?)",
                    {id, id % 10 ? KvbString("expr") : marker}));
}

// A copy's target before the copy: fields 1 to 8 (so that the copy drops
// FRQDST7 and FRQDST8), a histogram table HSM3, and rules of its own.
void fillCopyTarget(RepositoryImpl* target) {
  addFields(target, 8, "target", 10);
  require(execute(target, "INSERT INTO " + tableName(target, "HGMETA") +
                              " (HGM_ID, GRP1) VALUES (3, 'g')"));
  require(idTable(target, "HSM", 3, "target", 10));
  for (int id = 100; id <= 120; ++id)
    require(execute(target,
                    "INSERT INTO " + tableName(target, "RULE") +
                        " (RU_ID, RU_EXPR) VALUES (?, 'target')",
                    {id}));
}

constexpr int kRuns = 6;
constexpr int kFieldsPerRun = 10;
// The largest field id of fillRuns' repository: the ids count from 1.
constexpr int kLastField = (kRuns + 1) * kFieldsPerRun;

// The report whose runs the cascade deletes: runs whose fields each have a
// frequency table of their own, beside a second report whose run stays.
void fillRuns(RepositoryImpl* target) {
  ProfileRDAImpl profile(target->getDataAccess());
  auto check = [&](bool ok) {
    if (!ok) abandon(profile.getErrorMessage().str());
  };
  for (int report = 1; report <= 2; ++report) {
    int reportId = 0;
    check(profile.addReport(1, 0, "report", 1.0, "u", &reportId));
    for (int r = 0; r < (report == 1 ? kRuns : 1); ++r) {
      int run = 0, dsn = 0, table = 0;
      check(profile.addReportRun("run", 2.0, reportId, &run) &&
            profile.addRunConfigValue(run, "SAME_FREQ_TABLE", "0") &&
            profile.addRunDsn(run, "d", "c", "N", &dsn) &&
            profile.addRunTable(dsn, "", "", "T", "", "", "", 0, &table));
      for (int f = 0; f < kFieldsPerRun; ++f) {
        int field = 0;
        check(profile.addRunField(dsn, table, "F", "S", &field) &&
              profile.beginFrequencyLoad(field, false, 0));
        for (int v = 0; v < 20; ++v)
          check(
              profile.addFrequencyRow(field, std::to_string(v).c_str(), "", v));
        check(profile.endFrequencyLoad(field));
        if (field > kLastField) abandon("a field id beyond kLastField");
      }
    }
  }
}

// ---- targets ----

// Targets on SQLite files: the first call makes a template repository
// with `fill`; each target is a copy of that file.
class FileTargets {
 public:
  FileTargets(const TempDir& dir, std::string name,
              std::function<void(RepositoryImpl*)> fill)
      : dir_(dir), name_(std::move(name)), fill_(std::move(fill)) {}

  Database make(RepositoryAdmin* admin, int n) {
    const std::string templ = dir_.file(name_ + ".template.db");
    if (!std::filesystem::exists(templ)) {
      if (!admin->createFileRepository(templ.c_str()))
        abandon(admin->getErrorMessage().str());
      Opened repos = openRepository(admin, Database{templ, "", "", ""});
      if (!repos) abandon(admin->getErrorMessage().str());
      fill_(repos.get());
    }
    Database db;
    db.file = dir_.file(name_ + std::to_string(n) + ".db");
    std::filesystem::copy_file(templ, db.file);
    return db;
  }
  static void discard(const Database& db) {
    std::filesystem::remove(db.file);
    std::filesystem::remove(db.file + "-journal");
  }

 private:
  const TempDir& dir_;
  std::string name_;
  std::function<void(RepositoryImpl*)> fill_;
};

// A new PostgreSQL schema with a repository filled by `fill`.
Database postgresTarget(RepositoryAdmin* admin,
                        const std::function<void(RepositoryImpl*)>& fill) {
  Database db;
  db.schema = uniqueTestName("kvkill");
  db.connection = postgresConnectionString();
  db.prefix = db.schema + ".kv";
  if (!runOnPostgres("CREATE SCHEMA " + db.schema) ||
      !admin->createRepository(db.connection.c_str(), db.prefix.c_str()))
    abandon("cannot create a PostgreSQL repository: " +
            admin->getErrorMessage().str());
  Opened repos = openRepository(admin, db);
  if (!repos) abandon(admin->getErrorMessage().str());
  fill(repos.get());
  return db;
}

int environmentNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

}  // namespace

int main() {
  kvbGetConfigOptions("")->set("BASE/WORKDESK", "true");
  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                               KV_SOURCE_DIR "/etc/reposcreate");
  const int trials = environmentNumber("KV_KILL_TRIALS", 20);
  const unsigned seed = static_cast<unsigned>(environmentNumber(
      "KV_KILL_SEED", static_cast<int>(std::random_device()())));
  std::cout << "kill trials: " << trials
            << " per operation, KV_KILL_SEED=" << seed << "\n";
  std::mt19937 random(seed);
  TempDir dir;
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  if (!admin) abandon(getRepositoryAdminError());

  Database source;
  source.file = dir.file("source.db");
  if (!admin->createFileRepository(source.file.c_str()))
    abandon(admin->getErrorMessage().str());
  fillSource(openRepository(admin, source).get());

  auto copyInto = [source](RepositoryAdmin* a,
                           const Database& target) -> std::function<bool()> {
    Opened from = openRepository(a, source), to = openRepository(a, target);
    if (!from || !to) return nullptr;
    return [a, from, to] { return a->copyRepository(from.get(), to.get()); };
  };
  FileTargets copyTargets(dir, "copy", fillCopyTarget);
  FileTargets runTargets(dir, "runs", fillRuns);
  std::vector<Operation> operations = {
      {"copy SQLite->SQLite", [&](int n) { return copyTargets.make(admin, n); },
       copyInto, FileTargets::discard, 8},
      {"cascade delete of runs",
       [&](int n) { return runTargets.make(admin, n); },
       [](RepositoryAdmin* a, const Database& target) -> std::function<bool()> {
         Opened repos = openRepository(a, target);
         if (!repos) return nullptr;
         auto profile =
             std::make_shared<ProfileRDAImpl>(repos->getDataAccess());
         return [repos, profile] {
           return profile->deleteReportRuns(-1, -1, 1, false);
         };
       },
       FileTargets::discard, kLastField}};
  if (!postgresConnectionString().empty())
    operations.push_back(
        {"copy SQLite->PostgreSQL",
         [&](int) { return postgresTarget(admin, fillCopyTarget); }, copyInto,
         [](const Database& db) {
           runOnPostgres("DROP SCHEMA " + db.schema + " CASCADE");
         },
         8});
  else
    std::cout << "KV_TEST_PG_CONNECTION is not set: no copy into PostgreSQL\n";

  int mixed = 0;
  for (const Operation& operation : operations)
    mixed += runTrials(admin, operation, trials, random);
  admin->release();
  if (mixed > 0) {
    std::cerr << "kill trials: " << mixed
              << " trials left a target neither as before nor as after\n";
    return 1;
  }
  return 0;
}
