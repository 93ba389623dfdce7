// The catalogue queries of a SQLite database, which both the native SQLite
// back end and the ODBC back end (through the SQLite driver) ask: each
// takes one bound text and gives two texts a row.
#ifndef RDA_SQLITE_CATALOGUE_H_
#define RDA_SQLITE_CATALOGUE_H_

// A table's columns, by the table's name: column name, column type.
inline constexpr char kSqliteColumnsSql[] =
    "SELECT name, type FROM pragma_table_info(?)";
// A table's indexes, keys excluded, by the table's name: index name, column
// name, in the index's column order.
inline constexpr char kSqliteIndexesSql[] =
    "SELECT il.name, ii.name FROM pragma_index_list(?) il, "
    "pragma_index_info(il.name) ii WHERE il.origin = 'c' "
    "ORDER BY il.name, ii.seqno";
// The tables and views whose names are LIKE a pattern whose escape is "!"
// (RDA_BaseImpl::kLikeEscape): name, kind. SQLite's LIKE ignores the case
// of ASCII letters, as its names do.
inline constexpr char kSqliteTablesLikeSql[] =
    "SELECT name, type FROM sqlite_master WHERE type IN ('table', 'view') "
    "AND name LIKE ? ESCAPE '!'";

#endif  // RDA_SQLITE_CATALOGUE_H_
