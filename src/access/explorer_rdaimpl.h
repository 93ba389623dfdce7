// ExplorerRDAImpl: the data-access object of data explorations, built on
// the shared base of the data-access objects.
#ifndef ACCESS_EXPLORER_RDAIMPL_H_
#define ACCESS_EXPLORER_RDAIMPL_H_

#include "access/base_rdaimpl.h"
#include "reposadmin/explorer_data_access.h"

class ExplorerRDAImpl : public RDA_Object<ExplorerRepositoryDataAccess> {
 public:
  // `rda` is borrowed and may be null, in which case every operation fails.
  explicit ExplorerRDAImpl(ReposDataAccess* rda) : RDA_Object(rda) {}

  ReposDataAccessCursor* listProjectTables(int prjId) override;
  bool deleteProject(int prjId) override;
  ReposDataAccessCursor* getProject(int prjId) override;
  bool updateProject(int prjId, const KvbString& name,
                     const KvbString& comment) override;

 private:
  // Reads the PRJ_UUID of exploration `prjId` into `uuid`: 1 found, 0
  // missing, -1 failed (as firstRow).
  int projectUuid(int prjId, KvbString& uuid);
};

#endif  // ACCESS_EXPLORER_RDAIMPL_H_
