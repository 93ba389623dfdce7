// Example: a repository in a PostgreSQL database, reached through ODBC.
// Reads the ODBC connection string from KV_EXAMPLE_PG_CONNECTION (it does
// nothing without it), creates a repository under a table prefix of its
// own, opens it, stores and reads back a rule, and drops its tables again.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "example_support.h"
#include "reposadmin/common_data_access.h"

using namespace example;

int main() {
  const char* connection = std::getenv("KV_EXAMPLE_PG_CONNECTION");
  if (!connection || !*connection) {
    std::printf("KV_EXAMPLE_PG_CONNECTION is not set: nothing to do\n");
    return 0;
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
