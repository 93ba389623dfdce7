// Fuzz target: the reader of table dump files. A dump it accepts names its
// table and columns with plain names, and each of its rows gives one value
// of its column's type per column; a refusal must say why.
#include "admin/table_xml.h"
#include "fuzz/fuzz_input.h"
#include "schema/sql_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  KvDom document;
  TableDump dump;
  KvbString problem;
  if (!document.loadXML(KvbString(reinterpret_cast<const char*>(data), size)))
    return 0;
  if (!readTableDump(document, &dump, &problem)) {
    require(!problem.isEmpty(), "a refusal has a reason");
    return 0;
  }
  require(isPlainName(dump.tableName) && !dump.fields.empty(),
          "an accepted dump names its table and has columns");
  for (const TableColumnInfo& field : dump.fields)
    require(isPlainName(field.name), "every column has a plain name");
  std::vector<KvbDatavar> values;
  for (KvDomNode row = dump.data.getFirstChild(); !row.isNull();
       row = row.getNextSibling()) {
    require(tableDumpRow(dump, row, &values, &problem),
            "every row of an accepted dump reads");
    require(values.size() == dump.fields.size(), "one value per column");
    auto field = dump.fields.begin();
    for (const KvbDatavar& value : values) {
      const int type = (field++)->type;
      require(value.isNull() || value.getType() == type ||
                  (type == kvbTypeInt && value.getType() == kvbTypeInt64),
              "every value has its column's type");
    }
  }
  return 0;
}
