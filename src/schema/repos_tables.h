// The built-in table definitions of a repository: the core, NCOA and NCOA
// extension column-definition arrays, cursors over them, their validation,
// the field-metric definitions and the composite indexes.
#ifndef SCHEMA_REPOS_TABLES_H_
#define SCHEMA_REPOS_TABLES_H_

#include "kvbase/kvbase.h"

// The repository schema version that these definitions describe.
constexpr int kReposSchemaVersion = 7;

// Flags of a column definition.
enum ReposColumnFlag {
  kColMaxText = 0x1,      // text sized to the connection's longest inline text
  kColMetrics = 0x2,      // placeholder for the 24 text columns MET_0..MET_23
  kColIndexed = 0x4,      // indexed on its own; indexNumber names the index
  kColPrimaryKey = 0x10,  // member of the table's primary key
  kColNotNull = 0x20,     // declared NOT NULL
  kColUnique = 0x40,      // with kColIndexed: the index is unique
};

// The product part a table belongs to. The mover of old file-based profile
// repositories skips monitor tables.
enum ReposTablePart {
  kPartCommon = 0,
  kPartProfile = 1,
  kPartMonitor = 2,
};

// One column of one built-in table. A definition array holds, table by
// table, the table's column records in column order followed by one end
// record; a second end record ends the array.
// - An end record has a null tableCode and a null columnName; its
//   description is the description of the table it ends (null in the
//   record that ends the array).
// - The metric placeholder of FLD has a tableCode, a null columnName and the
//   flag kColMetrics; it stands for MET_0..MET_23 (see fieldMetricDefs).
struct ReposColumnDef {
  const char* tableCode;
  const char* columnName;
  int type;         // kvbTypeInt, kvbTypeReal or kvbTypeString
  int length;       // text length; 0 for none
  int flags;        // ReposColumnFlag bits
  int part;         // ReposTablePart
  int indexNumber;  // with kColIndexed; unique across all definitions
  const char* description;
};

// The definition arrays, each ended by two end records.
extern const ReposColumnDef reposCoreColumnDefs[];
extern const ReposColumnDef reposNcoaColumnDefs[];
extern const ReposColumnDef reposNcoaExtColumnDefs[];

// Cursors over the arrays. Each thread has its own position, so that
// repositories created or copied on several host threads do not disturb one
// another. A reset rewinds the calling thread's cursor; each next gives the
// following record, end records included, and null after the record that
// ends the array (also when called again).
void resetColumnDefCursor();
const ReposColumnDef* nextColumnDef();
// The NCOA cursor walks the NCOA array (extension false) or the NCOA
// extension array (true). Each array keeps its own position, and a reset
// rewinds both, so the arrays can be walked one after the other.
void resetNcoaColumnDefCursor();
const ReposColumnDef* nextNcoaColumnDef(bool extension);

// Record `index` of the NCOA array, or of the extension array; null when the
// index lies outside the array.
const ReposColumnDef* ncoaColumnDefAt(int index, bool extension);

// True for the record that ends a table (and for the one ending the array).
inline bool isEndRecord(const ReposColumnDef& def) {
  return def.tableCode == nullptr;
}

// Calls `visit` with the code of each table of a built-in definition array.
template <typename Visit>
void forEachTableCode(const ReposColumnDef* defs, Visit visit) {
  for (const ReposColumnDef* p = defs; !isEndRecord(*p); ++p) {
    visit(p->tableCode);
    while (!isEndRecord(*p)) ++p;
  }
}

// Longest table code, and longest column name that the definitions use.
constexpr size_t kMaxTableCodeLength = 6;
constexpr size_t kMaxColumnNameLength = 10;

// Checks the core, NCOA and NCOA extension arrays and the composite indexes:
// table codes and column names (length and characters), a table defined
// twice, duplicate columns, index flags and unique index numbers, text
// lengths, types, not-null primary keys and descriptions. Logs each fault at
// level 4 on "KV.Repos.ReposAdmin.Tables" and answers true when there is
// none.
bool validateTableDefinitions();

// The same checks over caller-given arrays, each ended by two end records
// (null entries in `sets` end the list). Used by validateTableDefinitions.
struct ReposCompositeIndex;
bool validateColumnDefSets(const ReposColumnDef* const* sets,
                           const ReposCompositeIndex* composites);

// One standard field metric: FLD column MET_n holds metric n.
struct FieldMetricDef {
  int size;  // text length of the column; 0 = the longest inline text
  const char* displayName;
  const char* description;
  const char* code;
};
constexpr int kFieldMetricCount = 24;
extern const FieldMetricDef fieldMetricDefs[kFieldMetricCount];

// An index over several columns of one built-in table, created with the
// table. The list ends with a record whose tableCode is null.
struct ReposCompositeIndex {
  const char* tableCode;
  int indexNumber;         // unique together with the column index numbers
  const char* columns[5];  // column names, ended by null
  const char* description;
};
extern const ReposCompositeIndex reposCompositeIndexes[];

// The definition records of `tableCode`: a pointer to its first column
// record in the core array, else in the NCOA array (never the extension);
// null when neither defines it.
const ReposColumnDef* findTableColumnDefs(const char* tableCode);

#endif  // SCHEMA_REPOS_TABLES_H_
