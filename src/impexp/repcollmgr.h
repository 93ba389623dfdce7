// CollectionManagerImpl: the object manager of collections ("Collection"),
// the global categories of the common data. Collections have no folder and
// no stored UUID: they are matched by name.
#ifndef IMPEXP_REPCOLLMGR_H_
#define IMPEXP_REPCOLLMGR_H_

#include "impexp/repobjectmgr.h"

class CollectionManagerImpl : public RepositoryObjectManagerImpl {
 public:
  using RepositoryObjectManagerImpl::RepositoryObjectManagerImpl;
  KV_OBJECT_MANAGER_OPERATIONS
};

#endif  // IMPEXP_REPCOLLMGR_H_
