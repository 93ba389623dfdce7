// Table dumps: one table with its columns, rows and indexes in an XML
// document whose root is "kvTable". The reader checks a whole document,
// names included, before anything is done with it, so that a broken or
// hostile file never reaches the database half-way.
#ifndef ADMIN_TABLE_XML_H_
#define ADMIN_TABLE_XML_H_

#include <list>
#include <vector>

#include "kvxmldom/kvxmldom.h"
#include "reposadmin/repos_data_access.h"

// An index of a dumped table: its name and its (first) column.
struct TableDumpIndex {
  KvbString name;
  KvbString field;
};

// What a dump holds besides its rows, which stay in the document.
struct TableDump {
  KvbString tableName;                // letters, digits and underscores
  std::list<TableColumnInfo> fields;  // integer, real or text columns
  KvDomNode data;                     // the "data" element; may be null
  std::vector<TableDumpIndex> indexes;
};

// Reads a dump document and checks all of it: a "table_name" and the
// "fields" with names of letters, digits and underscores (63 characters at
// most, none twice) and the types integer, real or text; every "row" of
// "data" with one "value" per field that converts to the field's type;
// every "index" on a field of the table. False with *errorText telling
// what is wrong.
bool readTableDump(const KvDom& document, TableDump* dump,
                   KvbString* errorText);

// The values of one "row" element of a checked dump, converted to the
// types of its fields (a null where "is_null" is set). False with
// *errorText when the row does not fit the fields.
bool tableDumpRow(const TableDump& dump, const KvDomNode& row,
                  std::vector<KvbDatavar>* values, KvbString* errorText);

#endif  // ADMIN_TABLE_XML_H_
