// Walking and validating the built-in table definitions, and the standard
// field metrics. The definition arrays themselves are in
// repos_table_defs.cpp.
#include "schema/repos_tables.h"

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "kvlogging/kvlogging.h"
#include "schema/log_printf.h"

namespace {

// Number of records of an array, up to and including its closing pair of
// end records.
size_t arrayLength(const ReposColumnDef* defs) {
  size_t i = 0;
  while (!(isEndRecord(defs[i]) && isEndRecord(defs[i + 1]))) ++i;
  return i + 2;
}

size_t coreLength() {
  static const size_t n = arrayLength(reposCoreColumnDefs);
  return n;
}
size_t ncoaLength(bool extension) {
  static const size_t base = arrayLength(reposNcoaColumnDefs);
  static const size_t ext = arrayLength(reposNcoaExtColumnDefs);
  return extension ? ext : base;
}

thread_local size_t coreCursor = 0;
// One position per NCOA array, so that walking one array never moves the
// other: a walk of the NCOA array and then of the extension sees both whole.
thread_local size_t ncoaCursor[2] = {0, 0};

}  // namespace

void resetColumnDefCursor() { coreCursor = 0; }

const ReposColumnDef* nextColumnDef() {
  if (coreCursor >= coreLength()) return nullptr;
  return &reposCoreColumnDefs[coreCursor++];
}

void resetNcoaColumnDefCursor() { ncoaCursor[0] = ncoaCursor[1] = 0; }

const ReposColumnDef* nextNcoaColumnDef(bool extension) {
  size_t& position = ncoaCursor[extension];
  if (position >= ncoaLength(extension)) return nullptr;
  return &(extension ? reposNcoaExtColumnDefs
                     : reposNcoaColumnDefs)[position++];
}

const ReposColumnDef* ncoaColumnDefAt(int index, bool extension) {
  if (index < 0 || static_cast<size_t>(index) >= ncoaLength(extension))
    return nullptr;
  return &(extension ? reposNcoaExtColumnDefs : reposNcoaColumnDefs)[index];
}

const ReposColumnDef* findTableColumnDefs(const char* tableCode) {
  if (!tableCode) return nullptr;
  for (const ReposColumnDef* defs :
       {reposCoreColumnDefs, reposNcoaColumnDefs}) {
    for (size_t i = 0, n = arrayLength(defs); i < n; ++i)
      if (defs[i].tableCode && strcmp(defs[i].tableCode, tableCode) == 0)
        return &defs[i];
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Validation

namespace {

// Upper-case letters, digits and underscores, starting with a letter.
bool isIdentifier(const char* name, size_t maxLength) {
  size_t n = name ? strlen(name) : 0;
  if (n == 0 || n > maxLength || !isupper(static_cast<unsigned char>(name[0])))
    return false;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (!isupper(c) && !isdigit(c) && c != '_') return false;
  }
  return true;
}

bool hasText(const char* text) { return text && *text; }

class Validator {
 public:
  Validator() : logger_(kvlogGetLogger("KV.Repos.ReposAdmin.Tables")) {}

  void checkSet(const ReposColumnDef* defs) {
    std::set<std::string> columns;
    const char* table = nullptr;
    for (size_t i = 0;; ++i) {
      const ReposColumnDef& def = defs[i];
      if (isEndRecord(def)) {
        if (!table) break;  // second end record: end of the array
        if (!hasText(def.description))
          fault("Table %s has no description", table);
        table = nullptr;
        columns.clear();
        continue;
      }
      if (!table) {
        table = def.tableCode;
        if (!isIdentifier(table, kMaxTableCodeLength))
          fault(
              "Table code \"%s\" is not 1 to %d upper-case letters, digits "
              "or underscores",
              table, static_cast<int>(kMaxTableCodeLength));
        if (!tables_.insert(table).second)
          fault("Table %s is defined twice", table);
      } else if (strcmp(table, def.tableCode) != 0) {
        fault("Table %s is not ended before table %s", table, def.tableCode);
        table = def.tableCode;
      }
      checkColumn(def, columns);
    }
  }

  void checkComposites(const ReposCompositeIndex* list) {
    for (; list && list->tableCode; ++list) {
      if (!tables_.count(list->tableCode))
        fault("Composite index %d names unknown table %s", list->indexNumber,
              list->tableCode);
      checkIndexNumber(list->tableCode, list->indexNumber);
      if (!list->columns[0] || !list->columns[1])
        fault("Composite index %d of %s has fewer than two columns",
              list->indexNumber, list->tableCode);
      if (!hasText(list->description))
        fault("Composite index %d of %s has no description", list->indexNumber,
              list->tableCode);
    }
  }

  bool ok() const { return faults_ == 0; }

 private:
  void checkColumn(const ReposColumnDef& def, std::set<std::string>& columns) {
    const char* table = def.tableCode;
    const bool placeholder = (def.flags & kColMetrics) != 0;
    const char* name = placeholder ? "MET_0..MET_23" : def.columnName;
    if (!placeholder && !isIdentifier(def.columnName, kMaxColumnNameLength))
      fault(
          "Table %s: column name \"%s\" is not 1 to %d upper-case letters, "
          "digits or underscores",
          table, name ? name : "(null)",
          static_cast<int>(kMaxColumnNameLength));
    if (placeholder && def.columnName)
      fault("Table %s: the metric placeholder has a column name", table);
    if (!columns.insert(name ? name : "").second)
      fault("Table %s: column %s is defined twice", table, name);
    if (def.type != kvbTypeInt && def.type != kvbTypeReal &&
        def.type != kvbTypeString)
      fault("Table %s: column %s has unknown type %d", table, name, def.type);
    const bool sized = def.length > 0 || (def.flags & kColMaxText);
    if (def.type == kvbTypeString && !sized && !placeholder)
      fault("Table %s: text column %s has no length", table, name);
    if (def.type != kvbTypeString && sized)
      fault("Table %s: column %s has a length but is not text", table, name);
    if (def.length < 0)
      fault("Table %s: column %s has a negative length", table, name);
    if ((def.flags & kColPrimaryKey) && !(def.flags & kColNotNull))
      fault("Table %s: primary-key column %s may be null", table, name);
    if ((def.flags & kColIndexed) != 0 && def.indexNumber <= 0)
      fault("Table %s: indexed column %s has no index number", table, name);
    if ((def.flags & kColUnique) && !(def.flags & kColIndexed))
      fault("Table %s: column %s is unique but not indexed", table, name);
    if ((def.flags & kColIndexed) == 0 && def.indexNumber != 0)
      fault("Table %s: column %s has an index number but is not indexed", table,
            name);
    if (def.indexNumber > 0) checkIndexNumber(table, def.indexNumber);
    if (!hasText(def.description))
      fault("Table %s: column %s has no description", table, name);
  }

  void checkIndexNumber(const char* table, int number) {
    auto seen = indexNumbers_.emplace(number, table);
    if (!seen.second)
      fault("Index number %d of table %s is already used by table %s", number,
            table, seen.first->second.c_str());
  }

  template <typename... Args>
  void fault(const char* format, const Args&... args) {
    ++faults_;
    logPrintf(logger_, kLogWarning, "repos_tables", __LINE__, format, args...);
  }

  KvLogger* logger_;
  std::set<std::string> tables_;
  std::map<int, std::string> indexNumbers_;
  int faults_ = 0;
};

}  // namespace

bool validateColumnDefSets(const ReposColumnDef* const* sets,
                           const ReposCompositeIndex* composites) {
  Validator validator;
  for (; *sets; ++sets) validator.checkSet(*sets);
  validator.checkComposites(composites);
  return validator.ok();
}

bool validateTableDefinitions() {
  // The extension array describes statistics of NCOAEX that are stored as
  // rows, so it is checked on its own: its table code repeats NCOAEX.
  const ReposColumnDef* const main[] = {reposCoreColumnDefs,
                                        reposNcoaColumnDefs, nullptr};
  const ReposColumnDef* const extension[] = {reposNcoaExtColumnDefs, nullptr};
  bool mainOk = validateColumnDefSets(main, reposCompositeIndexes);
  bool extensionOk = validateColumnDefSets(extension, nullptr);
  return mainOk && extensionOk;
}

// ---------------------------------------------------------------------------
// Standard field metrics

const FieldMetricDef fieldMetricDefs[kFieldMetricCount] = {
    {20, "Count", "Total record count", "COUNT"},
    {20, "Unique Count", "Count of unique values", "UNIQUECOUNT"},
    {20, "Null Count", "Count of null values", "NULLCOUNT"},
    {20, "Non-null Count", "Count of non-null values", "NONNULLCOUNT"},
    {20, "Blank Count", "Count of blank values, nulls excluded", "BLANKCOUNT"},
    {20, "Pattern Count", "Count of unique patterns", "PATCOUNT"},
    {0, "Minimum Value", "Minimum data value", "MINVAL"},
    {0, "Maximum Value", "Maximum data value", "MAXVAL"},
    {20, "Minimum Length", "Minimum data length", "MINLENGTH"},
    {20, "Maximum Length", "Maximum data length", "MAXLENGTH"},
    {32, "Mean", "Mean of the values", "MEAN"},
    {32, "Median", "Median of the values", "MEDIAN"},
    {0, "Mode", "Mode of the values", "MODE"},
    {32, "Standard Deviation", "Standard deviation of the values", "STDEV"},
    {32, "Standard Error", "Standard error of the values", "STDERR"},
    {30, "Data Type", "Defined data type of the field", "TYPE"},
    {20, "Data Length", "Defined data length of the field", "LENGTH"},
    {20, "Ordinal Position", "Position of the field in the table", "ORDINAL"},
    {7, "Primary Key Candidate", "Whether the field can serve as a primary key",
     "PKCAND"},
    {7, "Nullable", "Whether the field can hold nulls", "NULLABLE"},
    {20, "Decimal Places", "Precision of the values", "PRECISION"},
    {30, "Actual Type", "Calculated data type of the field", "ACTTYPE"},
    {32, "Uniqueness", "Percentage of unique values", "UNIQUEPCT"},
    {32, "Percent Null", "Percentage of null values", "NULLPCT"},
};
