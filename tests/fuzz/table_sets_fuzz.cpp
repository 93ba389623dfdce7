// Fuzz target: the reader of table-set files. Every set it accepts is
// walked whole; a refusal must say why.
#include "fuzz/fuzz_input.h"
#include "schema/repos_tables_xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReposTableSetReader reader;
  const std::string path = inputFile("tableset.xml", data, size);
  if (!reader.loadTableSetFile(path.c_str())) {
    require(!reader.getErrorMessage().isEmpty(), "a refusal has a reason");
    return 0;
  }
  for (int i = 0; i < reader.tableSetCount(); ++i) {
    ReposTableSet* set = nullptr;
    require(reader.tableSetAt(i, &set) && set, "every set can be reached");
    for (const ReposTableDef& table : set->tableDefs)
      for (const auto& row : table.rows)
        for (const auto& value : row.second.values) value.second.asString();
  }
  return 0;
}
