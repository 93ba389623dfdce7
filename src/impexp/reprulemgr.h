// RuleManagerImpl: the object manager of rules ("Rule").
#ifndef IMPEXP_REPRULEMGR_H_
#define IMPEXP_REPRULEMGR_H_

#include "impexp/repobjectmgr.h"

class RuleManagerImpl : public RepositoryObjectManagerImpl {
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

#endif  // IMPEXP_REPRULEMGR_H_
