// TaskManagerImpl: the object manager of monitoring tasks ("Task").
#ifndef IMPEXP_REPTASKMGR_H_
#define IMPEXP_REPTASKMGR_H_

#include "impexp/repobjectmgr.h"

class TaskManagerImpl : public RepositoryObjectManagerImpl {
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

#endif  // IMPEXP_REPTASKMGR_H_
