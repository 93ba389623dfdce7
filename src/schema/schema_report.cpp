// The plain-text report of the built-in repository schema, behind the export
// writeRepositorySchemaInfo.
#include "schema/schema_report.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kvfileio/kvfileio.h"
#include "kvsync/kvnocancellation.h"
#include "reposadmin/kvreposadmin.h"
#include "schema/staged_file.h"

namespace {

// One table of a definition array: its first column record and its end
// record.
struct TableRef {
  const ReposColumnDef* first;
  const ReposColumnDef* end;
};

std::vector<TableRef> tablesOf(const ReposColumnDef* defs) {
  std::vector<TableRef> tables;
  for (const ReposColumnDef* p = defs; !isEndRecord(*p);) {
    const ReposColumnDef* first = p;
    while (!isEndRecord(*p)) ++p;
    tables.push_back({first, p});
    ++p;
  }
  return tables;
}

KvbString typeText(int type, int length, int flags) {
  if (type == kvbTypeInt) return "INTEGER";
  if (type == kvbTypeReal) return "REAL";
  if (flags & kColMaxText || length == 0) return "TEXT(MAX)";
  return kvbStringFormat("TEXT(%d)", length);
}

KvbString marks(const ReposColumnDef& def) {
  KvbString out("");
  auto add = [&out](const KvbString& mark) {
    if (!out.isEmpty()) out.append(", ");
    out.append(mark);
  };
  if (def.flags & kColPrimaryKey) add("PRIMARY KEY");
  if (def.flags & kColNotNull && !(def.flags & kColPrimaryKey)) add("NOT NULL");
  if (def.flags & kColIndexed)
    add(kvbStringFormat("%sINDEX %d", def.flags & kColUnique ? "UNIQUE " : "",
                        def.indexNumber));
  return out;
}

class Report {
 public:
  Report(const ReposCompositeIndex* composites, bool withDescriptions)
      : composites_(composites), withDescriptions_(withDescriptions) {}

  void line(const KvbString& text) { text_.append(text).append('\n'); }

  void column(const char* name, const KvbString& type, const KvbString& mark,
              const char* description) {
    KvbString row = kvbStringFormat("%-10s %-10S %-22S", name, type, mark);
    if (withDescriptions_ && description) row.append(description);
    line(KvbString("  ") + row.trim());
  }

  void table(const TableRef& t) {
    KvbString head = kvbStringFormat("TABLE %s", t.first->tableCode);
    if (withDescriptions_ && t.end->description)
      head.append(" - ").append(t.end->description);
    line(head);
    for (const ReposColumnDef* c = t.first; c != t.end; ++c) {
      if (c->flags & kColMetrics) {
        for (int m = 0; m < kFieldMetricCount; ++m)
          column(kvbStringFormat("MET_%d", m).asCstr(),
                 typeText(kvbTypeString, fieldMetricDefs[m].size, 0), "",
                 fieldMetricDefs[m].displayName);
      } else {
        column(c->columnName, typeText(c->type, c->length, c->flags), marks(*c),
               c->description);
      }
    }
    for (const ReposCompositeIndex* ix = composites_; ix && ix->tableCode;
         ++ix) {
      if (KvbString(ix->tableCode) != t.first->tableCode) continue;
      KvbString cols("");
      for (int i = 0; ix->columns[i]; ++i)
        cols.append(i ? ", " : "").append(ix->columns[i]);
      KvbString row = kvbStringFormat("  INDEX %d (%S)", ix->indexNumber, cols);
      if (withDescriptions_) row.append(" - ").append(ix->description);
      line(row);
    }
    line("");
  }

  void section(const char* title, std::vector<TableRef> tables, bool sorted) {
    if (title) {
      line(title);
      line(KvbString(std::string(strlen(title), '=')));
      line("");
    }
    if (sorted)
      std::stable_sort(tables.begin(), tables.end(),
                       [](const TableRef& a, const TableRef& b) {
                         return strcmp(a.first->tableCode, b.first->tableCode) <
                                0;
                       });
    for (const TableRef& t : tables) table(t);
  }

  const KvbString& text() const { return text_; }

 private:
  const ReposCompositeIndex* composites_;
  bool withDescriptions_;
  KvbString text_{""};
};

}  // namespace

KvbString formatSchemaReport(const SchemaReportSets& sets, bool sortByName,
                             bool withDescriptions, bool singleList) {
  Report report(sets.composites, withDescriptions);
  report.line(kvbStringFormat("VELMORAN REPOSITORY SCHEMA - VERSION %d",
                              kReposSchemaVersion));
  report.line("");
  std::vector<TableRef> core = tablesOf(sets.core);
  std::vector<TableRef> ncoa = tablesOf(sets.ncoa);
  if (singleList) {
    core.insert(core.end(), ncoa.begin(), ncoa.end());
    report.section(nullptr, core, sortByName);
  } else {
    report.section("CORE TABLES", core, sortByName);
    report.section("NCOA TABLES", ncoa, sortByName);
    report.section("NCOA EXECUTION STATISTICS (STORED AS NCOAED ROWS)",
                   tablesOf(sets.ncoaExtension), false);
  }
  return report.text();
}

int writeRepositorySchemaInfo(const char* path, bool sortByName,
                              bool withDescriptions, bool singleList) {
  KvNoCancellation noCancellation;
  const SchemaReportSets builtIn = {reposCoreColumnDefs, reposNcoaColumnDefs,
                                    reposNcoaExtColumnDefs,
                                    reposCompositeIndexes};
  KvbString text =
      formatSchemaReport(builtIn, sortByName, withDescriptions, singleList);
  if (!path) return NP_FIO_EARG;
  StagedFile file;
  int code = file.open(path);
  if (code == NP_FIO_OK) code = file.puts(text.asCstr());
  return code == NP_FIO_OK ? file.commit() : code;
}
