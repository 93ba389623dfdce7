// Example: the reference-data store. Creates a repository with a domain (a
// named table of reference values), a first version of it holding three
// items (its rows), and reads the rows of that version back.
#include <algorithm>
#include <cstdio>
#include <string>

#include "example_support.h"
#include "reposadmin/refdata_data_access.h"

using namespace example;

int main(int argc, char** argv) {
  Workspace work(argc, argv, "refdata_example");
  auto refdata = work.make(&Repository::createRefDataDataAccess);
  RefDataRepositoryDataAccess* store = refdata.get();

  // In an add, an empty text, an id below 0 and a null date are not
  // written. A domain's type is a code of two characters at most (the
  // column holds no more): "LS" for a list of codes.
  int domain = -1, version = -1;
  check(store->addDomain("Countries", "ISO country codes", "LS", "Y", "Y", "",
                         -1, "N", -1, -1, KvbDate(), "", &domain),
        "cannot add the domain", store);
  check(store->addDomainVersion(domain, 1, "2026", "Y", "Y", "", -1, "N", -1,
                                KvbDate(), &version),
        "cannot add the domain version", store);

  // Each row is an item (key and value) and its version in the domain's
  // version: level 1, no parent.
  const struct {
    const char* key;
    const char* value;
  } rows[] = {{"DE", "Germany"}, {"FR", "France"}, {"NL", "Netherlands"}};
  for (const auto& row : rows) {
    int item = -1;
    check(store->addItem(row.key, row.value, "Y", "Y", "", -1, &item),
          "cannot add an item", store);
    check(store->addItemVersion(version, item, 1, "", -1, nullptr),
          "cannot add the item to the version", store);
    expectEqual(rowsOf(store->getDomainVersionItems(item, version), store,
                       {"ITEMKEY", "ITEMVAL"}),
                std::string(row.key) + "|" + row.value + "\n",
                "an item of the version");
  }

  // Every row of the version.
  const std::string all = rowsOf(store->getDomainVersionItems(-1, version),
                                 store, {"ITEMKEY", "ITEMVAL"});
  std::printf("domain %d, version %d:\n%s", domain, version, all.c_str());
  if (std::count(all.begin(), all.end(), '\n') != 3)
    fail("the version's rows", all.c_str());
  return 0;
}
