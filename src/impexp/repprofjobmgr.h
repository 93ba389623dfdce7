// ProfileJobManagerImpl: the object manager of profile jobs ("ProfileJob").
// A job imported as new gets a fresh UUID; one imported over an existing
// job keeps that job's UUID and has its definition rows replaced.
#ifndef IMPEXP_REPPROFJOBMGR_H_
#define IMPEXP_REPPROFJOBMGR_H_

#include "impexp/repobjectmgr.h"

class ProfileJobManagerImpl : public RepositoryObjectManagerImpl {
 public:
  using RepositoryObjectManagerImpl::RepositoryObjectManagerImpl;
  KV_OBJECT_MANAGER_OPERATIONS
};

#endif  // IMPEXP_REPPROFJOBMGR_H_
