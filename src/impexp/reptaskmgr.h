// TaskManagerImpl: the object manager of monitoring tasks ("Task").
#ifndef IMPEXP_REPTASKMGR_H_
#define IMPEXP_REPTASKMGR_H_

#include "impexp/repobjectmgr.h"

class TaskManagerImpl : public RepositoryObjectManagerImpl {
 public:
  using RepositoryObjectManagerImpl::RepositoryObjectManagerImpl;
  KV_OBJECT_MANAGER_OPERATIONS
};

#endif  // IMPEXP_REPTASKMGR_H_
