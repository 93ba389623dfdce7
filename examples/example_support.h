// What the examples share: ending the program with the engine's error text,
// a holder that ends an engine object through its release(), a fresh
// repository in a SQLite file to work in, and the rows of a cursor as text.
#ifndef EXAMPLES_EXAMPLE_SUPPORT_H_
#define EXAMPLES_EXAMPLE_SUPPORT_H_

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

// Creates a new repository in the SQLite file `path` (replacing the file)
// and opens it, accepting only a current repository.
inline Owned<Repository> createFileRepository(RepositoryAdmin* admin,
                                              const std::string& path) {
  std::remove(path.c_str());
  check(admin->createFileRepository(path.c_str()),
        "cannot create the repository", admin);
  return take(admin->openFileRepository(path.c_str(), true),
              "cannot open the repository", admin);
}

// A new object from one of the repository's factories, for example
// make(repository, &Repository::createCommonDataAccess); ends the program
// when it cannot be made.
template <typename T>
Owned<T> make(Repository* repository, T* (Repository::*factory)()) {
  return take((repository->*factory)(), "the repository made no object",
              repository);
}

// The engine and a new repository file, "<name>.db", where <name> is the
// program's first argument or else `name`. The repository is released
// before the administration object, and objects that `make` hands out,
// held after the workspace, before both.
struct Workspace {
  Workspace(int argc, char** argv, const char* name)
      : admin(startEngine()),
        repository(createFileRepository(
            admin.get(), std::string(argc > 1 ? argv[1] : name) + ".db")) {}

  // make() on this workspace's repository.
  template <typename T>
  Owned<T> make(T* (Repository::*factory)()) {
    return example::make(repository.get(), factory);
  }

  Owned<RepositoryAdmin> admin;
  Owned<Repository> repository;
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
