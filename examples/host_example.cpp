// Example host program: creates a repository in a SQLite file through the
// administration object, opens it, prints what it is, and writes the schema
// report and a DDL script beside it.
#include <cstdio>
#include <string>

#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"

namespace {

// Counts the tables of the repository's SQLite file.
int countTables(Repository* repository) {
  KvbString error;
  ReposDataAccessCursor* cursor = repository->paramSelect(
      "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'", &error, 0);
  if (!cursor) return -1;
  int tables = cursor->next() == 1 ? cursor->getInt(0) : -1;
  cursor->release();
  return tables;
}

int fail(const char* what, const KvbString& why) {
  fprintf(stderr, "%s: %s\n", what, why.asCstr());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string base = argc > 1 ? argv[1] : "example_repository";
  const std::string file = base + ".db";
  const std::string report = base + "_schema.txt";
  const std::string script = base + "_create.sql";

  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  if (!admin) return fail("cannot start the engine", getRepositoryAdminError());
  std::remove(file.c_str());
  if (!admin->createFileRepository(file.c_str())) {
    KvbString why = admin->getErrorMessage();
    admin->release();
    return fail("cannot create the repository", why);
  }
  Repository* repository = admin->openFileRepository(file.c_str(), true);
  if (!repository) {
    KvbString why = admin->getErrorMessage();
    admin->release();
    return fail("cannot open the repository", why);
  }

  int connectionKind = 0, kind = 0, version = 0, secondVersion = 0;
  repository->getVersionInfo(&connectionKind, &kind, &version, &secondVersion);
  printf("repository file:   %s\n", file.c_str());
  printf("kind:              %d (3 is a unified repository)\n", kind);
  printf("version:           %d.%d\n", version, repository->getMinorVersion());
  printf("UUID:              %s\n", repository->getRepositoryUUID().asCstr());
  printf("tables:            %d\n", countTables(repository));
  repository->release();

  const int reportResult =
      writeRepositorySchemaInfo(report.c_str(), false, true, false);
  printf("schema report:     %s%s\n", report.c_str(),
         reportResult == 0 ? "" : " (could not be written)");

  // A script of the same repository, for a database administrator to run
  // on an empty database; the file's database itself is not changed.
  const KvbString connection =
      ("FILE=" + base + "_script_target.db;CREATE=TRUE;KVXTYPE=SQLITE").c_str();
  const bool scripted =
      admin->createRepositoryWithDDLFile(connection, "", script.c_str());
  printf("DDL script:        %s%s\n", script.c_str(),
         scripted ? "" : " (could not be written)");
  std::remove((base + "_script_target.db").c_str());
  admin->release();
  return scripted && reportResult == 0 ? 0 : 1;
}
