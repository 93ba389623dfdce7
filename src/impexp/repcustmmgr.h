// CustomMetricManagerImpl: the object manager of custom metrics
// ("CustomMetric"). Custom metrics have no folder.
#ifndef IMPEXP_REPCUSTMMGR_H_
#define IMPEXP_REPCUSTMMGR_H_

#include "impexp/repobjectmgr.h"

class CustomMetricManagerImpl : public RepositoryObjectManagerImpl {
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

#endif  // IMPEXP_REPCUSTMMGR_H_
