// DataExplorationManagerImpl: the object manager of data explorations
// ("DataExploration"). They are imported only over an existing one, whose
// name and comment the record replaces.
#ifndef IMPEXP_REPEXPLMGR_H_
#define IMPEXP_REPEXPLMGR_H_

#include "impexp/repobjectmgr.h"

class DataExplorationManagerImpl : public RepositoryObjectManagerImpl {
 public:
  using RepositoryObjectManagerImpl::RepositoryObjectManagerImpl;
  bool deleteObject(int objectId, const KvbString& uuid,
                    KvbString& errorText) override;
  bool exportObject(int objectId, const KvbString& uuid, KvbString& output,
                    KvbString& errorText) override;
  // Always false: "NOT IMPLEMENTED."
  bool importNewObject(MetadataRecord* record, int folderId,
                       const KvbString& itemName,
                       KvbString& errorText) override;
  bool importOverObject(MetadataRecord* record, int targetId,
                        const KvbString& targetUuid, int folderId,
                        const KvbString& targetName,
                        KvbString& errorText) override;
};

#endif  // IMPEXP_REPEXPLMGR_H_
