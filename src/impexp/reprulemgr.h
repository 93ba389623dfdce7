// RuleManagerImpl: the object manager of rules ("Rule").
#ifndef IMPEXP_REPRULEMGR_H_
#define IMPEXP_REPRULEMGR_H_

#include "impexp/repobjectmgr.h"

class RuleManagerImpl : public RepositoryObjectManagerImpl {
 public:
  using RepositoryObjectManagerImpl::RepositoryObjectManagerImpl;
  KV_OBJECT_MANAGER_OPERATIONS
};

#endif  // IMPEXP_REPRULEMGR_H_
