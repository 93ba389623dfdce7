// Fuzz target: the reader of the repository list file, through the
// administration object that a host uses. A refusal must say why.
#include "fuzz/fuzz_input.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository_admin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RepositoryAdmin* admin =
      createRepositoryAdmin(0, inputFile("repos.list", data, size).c_str());
  require(admin != nullptr, "an administration object is made");
  if (admin->listRepositories(false, false)) {
    KvbString name, connection, prefix, type, version;
    bool isDefault = false, isFile = false;
    while (admin->getNextRepository(&name, &isDefault, &connection, &prefix,
                                    &type, &version, &isFile)) {
    }
  } else {
    require(!admin->getErrorMessage().isEmpty(), "a refusal has a reason");
  }
  admin->release();
  return 0;
}
