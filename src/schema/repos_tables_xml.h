// The reader of the XML table-set folder: tables, seed rows, macros and the
// statements run around creating, upgrading and removing a set. The file
// grammar is written down in docs/table-sets.md.
#ifndef SCHEMA_REPOS_TABLES_XML_H_
#define SCHEMA_REPOS_TABLES_XML_H_

#include <map>
#include <vector>

#include "kvbase/kvbase.h"

class KvDomNode;

// One column of a table-set table.
struct ReposXmlColumnDef {
  KvbString name;
  int type = kvbTypeString;  // kvbTypeInt, kvbTypeReal or kvbTypeString
  bool primaryKey = false;
  int indexNumber = 0;  // 0: not indexed on its own
  int length = 0;
  KvbString description;
  bool isNullable = true;
  bool useMaxLength = false;
};

// One seed row: its values by column name, converted to the columns' types,
// and optionally the column that receives the next id of the table's
// counter.
struct ReposTableRow {
  std::map<KvbString, KvbDatavar> values;
  KvbString keyColumn;
};

struct ReposTableDef {
  KvbString name;
  KvbString description;
  bool deleteExisting = false;
  std::vector<ReposXmlColumnDef> columns;
  std::map<int, ReposTableRow> rows;  // by row number
};

struct ReposStatementParam {
  KvbString name;
  int type = kvbTypeString;
  int length = 0;
  KvbDatavar value;
};

// A statement of a set; `sql` has the set's "%%name%%" macros expanded.
struct ReposStatement {
  KvbString sql;
  std::vector<ReposStatementParam> params;
};

struct ReposTableSet {
  KvbString name;
  int version = 0;
  KvbString indexPrefix;
  std::vector<ReposTableDef> tableDefs;
  std::vector<ReposStatement> preCreate, preUpdate, preDelete;
  std::vector<ReposStatement> postCreate, postUpdate, postDelete;
  std::map<KvbString, KvbString> macros;  // ordered by name
  bool ignoreCustomErrors = false;
  bool insertDataFirst = false;
};

class ReposTableSetReader {
 public:
  ReposTableSetReader() = default;
  ReposTableSetReader(const ReposTableSetReader&) = delete;
  ReposTableSetReader& operator=(const ReposTableSetReader&) = delete;

  // Remembers the folder; false, with the reason as the error text, when
  // it cannot be listed.
  bool openTableSetDirectory(const KvbString& folder);

  // Reads every "*.xml" file of the opened folder, in name order, replacing
  // what an earlier load read. A set whose name an earlier file already
  // defined replaces that set. False at the first file that cannot be read
  // or breaks the grammar; the error text names the file and the fault.
  // *count (when given) receives the number of sets; a reader whose folder
  // was never opened reads nothing and answers true with 0.
  bool loadTableSetDirectory(int* count);

  // Reads one file and adds its sets, as loadTableSetDirectory does for
  // each file.
  bool loadTableSetFile(const KvbString& path);

  // Set `index` (no copy); false for an index out of range.
  bool tableSetAt(int index, ReposTableSet** out);
  int tableSetCount() const { return static_cast<int>(sets_.size()); }

  const KvbString& getErrorMessage() const { return error_; }

  static void destroy(ReposTableSetReader* reader) { delete reader; }

 private:
  bool fail(const KvbString& text);

  KvbString folder_;
  std::vector<ReposTableSet> sets_;
  KvbString error_{""};
};

#endif  // SCHEMA_REPOS_TABLES_XML_H_
