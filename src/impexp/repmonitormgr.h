// MonitorObjectManagerImpl: the object manager of one flat monitoring type
// (sources, dimensions, thresholds): a record holds the object's row and
// nothing below it.
#ifndef IMPEXP_REPMONITORMGR_H_
#define IMPEXP_REPMONITORMGR_H_

#include "impexp/repmonitortype.h"
#include "impexp/repobjectmgr.h"

class MonitorRepositoryDataAccess;

class MonitorObjectManagerImpl : public RepositoryObjectManagerImpl {
 public:
  MonitorObjectManagerImpl(RepositoryImportExportManagerImpl* owner,
                           const MonitorObjectType& type)
      : RepositoryObjectManagerImpl(owner), type_(type) {}
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

  // Fills `record` with object `objectId` (else the one of the record's
  // UUID, else its name). One that does not exist is a failure.
  bool exportContent(MonitorRepositoryDataAccess* monitor, int objectId,
                     MetadataRecord* record, KvbString& errorText);

 private:
  MonitorRepositoryDataAccess* newMonitorAccess() const;
  // The existing object that `record` stands for, or -1.
  int existing(MonitorRepositoryDataAccess* monitor, MetadataRecord* record);
  const MonitorObjectType& type_;
};

#endif  // IMPEXP_REPMONITORMGR_H_
