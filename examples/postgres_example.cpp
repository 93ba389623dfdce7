// Example: a repository in a PostgreSQL database, reached through ODBC.
// Reads the ODBC connection string from KV_TEST_PG_CONNECTION, as the
// tests do, creates a repository under a table prefix of its own (see
// WorkRepository in example_support.h), opens it, prints what it is,
// stores and reads back a rule, and drops its tables again. Without the
// variable it says what to set and ends with status 2.
#include <cstdio>
#include <string>

#include "example_support.h"
#include "reposadmin/common_data_access.h"

using namespace example;

// The status when no server is named: nothing was tried, which differs
// from a failure (1).
constexpr int kNoServer = 2;

int main() {
  if (!serverConnection()) {
    std::fprintf(
        stderr,
        "KV_TEST_PG_CONNECTION is not set: set it to the ODBC connection "
        "string of a PostgreSQL database, such as\n"
        "  Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=5432;"
        "Database=kvtest;Uid=postgres;Pwd=;\n"
        "For a throwaway server, run scripts/start-test-postgres.sh as root: "
        "its second line is that string.\n");
    return kNoServer;
  }
  // A repository on that server, under the table prefix
  // "postgres_example_<process id>_"; its tables are dropped when it ends,
  // after the objects made from it.
  Owned<RepositoryAdmin> admin = startEngine();
  WorkRepository work(admin.get(), "postgres_example", "postgres_example");
  Repository* repository = work.get();
  int connectionKind = -1, kind = -1, version = -1;
  repository->getVersionInfo(&connectionKind, &kind, &version, nullptr);
  std::printf("connection kind %d (1: a connection string), repository "
              "kind %d, version %d.%d\n",
              connectionKind, kind, version, repository->getMinorVersion());

  auto common = make(repository, &Repository::createCommonDataAccess);
  const int rule = common->addRule("Order total", "", "TOTAL >= 0", "", "",
                                   "example", "rule-total", 0, "", "");
  check(rule > 0, "cannot add the rule", common.get());
  expectEqual(rowsOf(common->findRule(rule, "", ""), common.get(),
                     {"RU_DESC", "RU_EXPR"}),
              "Order total|TOTAL >= 0\n", "the rule read back");
  std::printf("rule %d stored and read back\n", rule);
  return 0;
}
