// What the examples share: ending the program with the engine's error text,
// a holder that ends an engine object through its release(), a fresh
// repository to work in (on the PostgreSQL server that KV_TEST_PG_CONNECTION
// names, else in a SQLite file), and the rows of a cursor as text.
#ifndef EXAMPLES_EXAMPLE_SUPPORT_H_
#define EXAMPLES_EXAMPLE_SUPPORT_H_

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>

#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"

namespace example {

// Prints what failed and the engine's reason, and ends the program with 1.
[[noreturn]] inline void fail(const char* what, const KvbString& why) {
  std::fprintf(stderr, "%s: %s\n", what, why.asCstr());
  std::exit(1);
}

// Ends the program when `ok` is false; `source` is the object whose
// getErrorMessage() holds the reason.
template <typename Source>
void check(bool ok, const char* what, Source* source) {
  if (!ok) fail(what, source->getErrorMessage());
}

// An engine object ended through its release() when the holder goes out of
// scope. Holders end in the reverse order of their declaration, so objects
// that a repository hands out, declared after it, are released before it.
template <typename T>
struct Releaser {
  void operator()(T* object) const { object->release(); }
};
template <typename T>
using Owned = std::unique_ptr<T, Releaser<T>>;

// Takes an object that `maker` handed out; ends the program when it is
// null, with the reason that `source` gives.
template <typename T, typename Source>
Owned<T> take(T* object, const char* what, Source* source) {
  check(object != nullptr, what, source);
  return Owned<T>(object);
}

// The administration object, without a repository list file (flag bit 0).
inline Owned<RepositoryAdmin> startEngine() {
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  if (!admin) fail("cannot start the engine", getRepositoryAdminError());
  return Owned<RepositoryAdmin>(admin);
}

// A new object from one of the repository's factories, for example
// make(repository, &Repository::createCommonDataAccess); ends the program
// when it cannot be made.
template <typename T>
Owned<T> make(Repository* repository, T* (Repository::*factory)()) {
  return take((repository->*factory)(), "the repository made no object",
              repository);
}

// The ODBC connection string of the PostgreSQL database that
// KV_TEST_PG_CONNECTION names (as the tests use it), or null when the
// variable is unset or empty: then the examples work in SQLite files.
inline const char* serverConnection() {
  const char* connection = std::getenv("KV_TEST_PG_CONNECTION");
  return connection && *connection ? connection : nullptr;
}

// A new repository that an example works in, opened accepting only a
// current repository; it says on stdout where it is. With a server (see
// serverConnection) it is made there under the table prefix
// "<name>_<process id>_" (several repositories can share one database, each
// under a prefix of its own: letters, digits and underscores) and its tables
// are dropped when it ends. Otherwise it is the SQLite file "<file>.db",
// replaced when it exists and kept afterwards. `name` must be a valid
// prefix; `file` may be a path.
class WorkRepository {
 public:
  WorkRepository(RepositoryAdmin* admin, const std::string& file,
                 const std::string& name)
      : admin_(admin),
        connection_(serverConnection() ? serverConnection() : ""),
        prefix_(name + "_" + std::to_string(getpid()) + "_"),
        repository_(connection_.empty() ? createInFile(file + ".db")
                                        : createOnServer()) {}
  WorkRepository(const WorkRepository&) = delete;
  WorkRepository& operator=(const WorkRepository&) = delete;

  // Releases the repository, then drops its tables on the server; ends
  // the program when they cannot be dropped.
  ~WorkRepository() {
    repository_.reset();
    if (!connection_.empty())
      check(admin_->deleteRepositoryTables(connection_.c_str(),
                                           prefix_.c_str()),
            "cannot drop the repository's tables", admin_);
  }

  Repository* get() const { return repository_.get(); }

 private:
  Owned<Repository> createInFile(const std::string& path) {
    std::remove(path.c_str());
    check(admin_->createFileRepository(path.c_str()),
          "cannot create the repository", admin_);
    std::printf("repository file %s\n", path.c_str());
    return take(admin_->openFileRepository(path.c_str(), true),
                "cannot open the repository", admin_);
  }

  Owned<Repository> createOnServer() {
    check(admin_->createRepository(connection_.c_str(), prefix_.c_str()),
          "cannot create the repository", admin_);
    std::printf("repository under the table prefix %s in the PostgreSQL "
                "database of KV_TEST_PG_CONNECTION (dropped at the end)\n",
                prefix_.c_str());
    return take(admin_->openRepositoryConnection(
                    connection_.c_str(), prefix_.c_str(), true, nullptr),
                "cannot open the repository", admin_);
  }

  RepositoryAdmin* admin_;
  std::string connection_;
  std::string prefix_;
  Owned<Repository> repository_;
};

// The engine and a new repository (see WorkRepository): on the server under
// a prefix made from `name`, else in the SQLite file named by the program's
// first argument (without ".db"), or "<name>.db" without one. The
// repository is released before the administration object, and objects
// that `make` hands out, held after the workspace, before both.
struct Workspace {
  Workspace(int argc, char** argv, const char* name)
      : admin(startEngine()),
        repository(admin.get(), argc > 1 ? argv[1] : name, name) {}

  // make() on this workspace's repository.
  template <typename T>
  Owned<T> make(T* (Repository::*factory)()) {
    return example::make(repository.get(), factory);
  }

  Owned<RepositoryAdmin> admin;
  WorkRepository repository;
};

// The values of the named columns of each row of a cursor, as "a|b|c"
// lines, and the cursor released; ends the program when the cursor is null
// or a row cannot be read.
template <typename Source>
std::string rowsOf(ReposDataAccessCursor* cursor, Source* source,
                   std::initializer_list<const char*> columns) {
  Owned<ReposDataAccessCursor> rows =
      take(cursor, "cannot read the rows", source);
  std::string text;
  int step = 0;
  while ((step = rows->next()) == 1) {
    const char* separator = "";
    for (const char* column : columns) {
      text += separator;
      text += rows->getString(rows->getColumnIndex(column)).asCstr();
      separator = "|";
    }
    text += "\n";
  }
  check(step == 0, "cannot read the rows", source);
  return text;
}

// Ends the program when `actual` differs from `expected`.
inline void expectEqual(const std::string& actual, const std::string& expected,
                        const char* what) {
  if (actual != expected)
    fail(what, ("expected \"" + expected + "\", read \"" + actual + "\"").c_str());
}

}  // namespace example

#endif  // EXAMPLES_EXAMPLE_SUPPORT_H_
