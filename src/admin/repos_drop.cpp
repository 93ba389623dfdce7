// Dropping every table of a repository: the per-id distribution tables
// that the catalogue lists under the prefix, the built-in core and NCOA
// tables, the tables of the XML table sets (with their delete statements)
// and the tables that older versions left.
// Tables of other owners in the same database are left alone, also a table
// whose name another repository of the schema spells as one of its own
// (see RDA_Neighbours).
#include <vector>

#include "admin/repositoryadminimpl.h"
#include "admin/repositoryimpl.h"
#include "kvsync/kvnocancellation.h"
#include "rda/rda_impl.h"

bool RepositoryAdminImpl::deleteRepositoryTables(const KvbString& connection,
                                                 const KvbString& tablePrefix) {
  KvNoCancellation noCancellation;
  RepositoryImpl* repository =
      openConnectionImpl(connection, tablePrefix, false, "");
  if (!repository) return false;
  auto* rda = static_cast<RDA_BaseImpl*>(repository->getDataAccess());
  // Nothing is dropped from a database that the engine does not support, or
  // whose catalogue cannot be read: there a table would count as missing
  // and the deletion as done while every table stays, or a table of
  // another repository would not be known as such.
  std::list<TableColumnInfo> info;
  RDA_Neighbours neighbours;
  // Nor from one whose table sets cannot be read: their tables would stay.
  const bool listable =
      supportedDatabase(repository) &&
      (repository->tableSetsListed() || fail(repository->getErrorMessage())) &&
      ((rda->findTableColumns("INFO", info) &&
        rda->findNeighbours(neighbours)) ||
       fail("The tables of the database cannot be listed: " +
            rda->getErrorMessage()));
  if (!listable) {
    repository->release();
    return answered(false);
  }
  // Every group is dropped whatever became of the others; the answer is
  // false when any of them failed, with the first failure's text (the
  // later ones most often follow from it), logged once.
  bool ok = true;
  auto dropped = [&](bool done, auto* from) {
    if (!done && ok) ok = fail(from->getErrorMessage());
  };
  // Whether the table is there; a table that cannot be looked up fails the
  // drop.
  auto present = [&](const KvbString& name) {
    std::list<TableColumnInfo> columns;
    if (rda->findTableColumns(name, columns)) return !columns.empty();
    dropped(false, rda);
    return false;
  };
  // Only tables that exist are dropped: most repositories have none of
  // the older versions' tables.
  auto drop = [&](const char* code) {
    if (present(code)) dropped(rda->dropOwnTable(code, -1, &neighbours), rda);
  };

  // The per-id tables are found in the catalogue, not through the rows
  // that name their ids: a load makes the table of an id that no row names,
  // and such a table would fail the next creation's load of that id.
  std::vector<RDA_IdTable> idTables;
  dropped(rda->findIdTables(idTables), rda);
  for (const RDA_IdTable& table : idTables)
    dropped(rda->dropOwnTable(table.code, table.id, &neighbours), rda);
  TableCreateOptions options;
  options.dropTables = true;
  dropped(rda->createTables(options), rda);
  options.useNcoaTables = true;
  dropped(rda->createTables(options), rda);
  dropped(repository->createTables(true, false, false, false, nullptr),
          repository);
  for (const char* code : kRdaOlderTableCodes) drop(code);
  repository->release();
  return answered(ok);
}
