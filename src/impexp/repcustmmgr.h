// CustomMetricManagerImpl: the object manager of custom metrics
// ("CustomMetric"). Custom metrics have no folder.
#ifndef IMPEXP_REPCUSTMMGR_H_
#define IMPEXP_REPCUSTMMGR_H_

#include "impexp/repobjectmgr.h"

class CustomMetricManagerImpl : public RepositoryObjectManagerImpl {
 public:
  using RepositoryObjectManagerImpl::RepositoryObjectManagerImpl;
  KV_OBJECT_MANAGER_OPERATIONS
};

#endif  // IMPEXP_REPCUSTMMGR_H_
