// CollectionManagerImpl: the object manager of collections ("Collection"),
// the global categories of the common data. Collections have no folder and
// no stored UUID: they are matched by name.
#ifndef IMPEXP_REPCOLLMGR_H_
#define IMPEXP_REPCOLLMGR_H_

#include "impexp/repobjectmgr.h"

class CollectionManagerImpl : public RepositoryObjectManagerImpl {
 public:
  using RepositoryObjectManagerImpl::RepositoryObjectManagerImpl;
  bool deleteObject(int objectId, const KvbString& uuid,
                    KvbString& errorText) override;
  bool exportObject(int objectId, const KvbString& uuid, KvbString& output,
                    KvbString& errorText) override;
  bool importNewObject(MetadataRecord* record, int folderId,
                       const KvbString& itemName,
                       KvbString& errorText) override;
  bool importOverObject(MetadataRecord* record, int targetId,
                        const KvbString& targetUuid, int folderId,
                        const KvbString& targetName,
                        KvbString& errorText) override;
};

#endif  // IMPEXP_REPCOLLMGR_H_
