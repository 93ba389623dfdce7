// Fuzz target: the reader of the table-creation specification, and the
// lookups with placeholders that run on what it accepted.
#include "fuzz/fuzz_input.h"
#include "schema/tablecreateconfig.h"

using KvTableCreateNS::KvCreateSpecCommands;
using KvTableCreateNS::KvCreateSpecDocImpl;

namespace {
void drain(KvCreateSpecCommands* commands) {
  require(commands != nullptr, "a lookup gives a cursor");
  KvbString command;
  while (commands->next(command)) {
  }
  commands->release();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto* doc = new KvCreateSpecDocImpl;
  if (doc->loadFile(inputFile("createspec.xml", data, size).c_str())) {
    for (const char* type : {"PostgreSQL", "SQLite"}) {
      drain(
          doc->getTableCommands(type, "stats", "FRQDST12", "stats.kvFRQDST12"));
      drain(doc->getIndexCommands(type, "", "KEYVAL", "KEYVAL", "idx367"));
    }
  } else {
    require(!doc->getErrorMessage().isEmpty(), "a refusal has a reason");
  }
  doc->release();
  return 0;
}
