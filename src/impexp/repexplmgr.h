// DataExplorationManagerImpl: the object manager of data explorations
// ("DataExploration"). They are imported only over an existing one, whose
// name and comment the record replaces.
#ifndef IMPEXP_REPEXPLMGR_H_
#define IMPEXP_REPEXPLMGR_H_

#include "impexp/repobjectmgr.h"

class DataExplorationManagerImpl : public RepositoryObjectManagerImpl {
 public:
  using RepositoryObjectManagerImpl::RepositoryObjectManagerImpl;
  KV_OBJECT_MANAGER_OPERATIONS
};

#endif  // IMPEXP_REPEXPLMGR_H_
