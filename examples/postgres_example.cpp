// Example: a repository in a PostgreSQL database, reached through ODBC.
// Reads the ODBC connection string from KV_TEST_PG_CONNECTION, as the
// tests do, creates a repository under a table prefix of its own, opens it,
// stores and reads back a rule, and drops its tables again. Without the
// variable it says what to set and ends with status 2.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "example_support.h"
#include "reposadmin/common_data_access.h"

using namespace example;

// The status when no server is named: nothing was tried, which differs
// from a failure (1).
constexpr int kNoServer = 2;

int main() {
  const char* connection = std::getenv("KV_TEST_PG_CONNECTION");
  if (!connection || !*connection) {
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
  // Several repositories can share one database, each under its own
  // table prefix: letters, digits and underscores, optionally after a
  // schema name and a point ("schema.prefix").
  const std::string prefix = "kvexample" + std::to_string(getpid()) + "_";

  Owned<RepositoryAdmin> admin = startEngine();
  check(admin->createRepository(connection, prefix.c_str()),
        "cannot create the repository", admin.get());
  {
    Owned<Repository> repository =
        take(admin->openRepositoryConnection(connection, prefix.c_str(), true,
                                             nullptr),
             "cannot open the repository", admin.get());
    int connectionKind = -1, kind = -1, version = -1;
    repository->getVersionInfo(&connectionKind, &kind, &version, nullptr);
    std::printf("connection kind %d (1: a connection string), repository "
                "kind %d, version %d.%d\n",
                connectionKind, kind, version, repository->getMinorVersion());

    auto common = make(repository.get(), &Repository::createCommonDataAccess);
    const int rule = common->addRule("Order total", "", "TOTAL >= 0", "", "",
                                     "example", "rule-total", 0, "", "");
    check(rule > 0, "cannot add the rule", common.get());
    expectEqual(rowsOf(common->findRule(rule, "", ""), common.get(),
                       {"RU_DESC", "RU_EXPR"}),
                "Order total|TOTAL >= 0\n", "the rule read back");
    std::printf("rule %d stored and read back\n", rule);
  }  // the data access and the repository are released here, in that order

  check(admin->deleteRepositoryTables(connection, prefix.c_str()),
        "cannot drop the repository's tables", admin.get());
  return 0;
}
