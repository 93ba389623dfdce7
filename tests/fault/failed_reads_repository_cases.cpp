// Failed-read cases of the repository itself, its connection and its
// folder manager's lock check.
#include "fault/failed_reads.h"
#include "reposadmin/repos_data_access.h"
#include "admin/repositoryimpl.h"

std::vector<ReadCase> repositoryReadCases() {
  auto lockRule = [](ReadStores& s) {
    s.meta()->lockObject(1, "Rule", "ann", "u-1");
  };
  return {
      {"RepositoryUuid", nullptr,
       [](ReadStores& s) {
         return answer(s.repository()->getRepositoryUUID().isEmpty(),
                       s.repository());
       }},
      {"KeyValue",
       [](ReadStores& s) { s.repository()->setKeyValue("k", "v"); },
       [](ReadStores& s) {
         KvbString value;
         return answer(!s.repository()->getKeyValue("k", &value),
                       s.repository());
       }},
      {"DeleteKey",
       [](ReadStores& s) { s.repository()->setKeyValue("k", "v"); },
       [](ReadStores& s) {
         return answer(!s.repository()->deleteKey("k"), s.repository());
       }},
      {"NextId",
       [](ReadStores& s) {
         int id = 0;
         s.repository()->getNextID("RULE", &id, nullptr);
       },
       [](ReadStores& s) {
         int id = 0;
         return answer(!s.repository()->getNextID("RULE", &id, nullptr),
                       s.repository());
       }},
      {"ConnectionUuid", nullptr,
       [](ReadStores& s) {
         ReposDataAccess* rda =
             static_cast<RepositoryImpl*>(s.repository())->getDataAccess();
         return answer(rda->getRepositoryUUID().isEmpty(), rda);
       }},
      // One record: the manager's, with the store's reason.
      {"FolderManagerObjectLock", lockRule,
       [](ReadStores& s) {
         RepositoryFolderManager* folders = s.folders();
         return answer(!folders->isObjectLocked(1, "Rule"), folders);
       },
       1},
      {"MetadataObjectLock", lockRule,
       [](ReadStores& s) {
         return answer(!s.meta()->isObjectLocked(1, "Rule"), s.meta());
       }},
  };
}
