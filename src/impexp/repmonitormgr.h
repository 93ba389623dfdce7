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
  KV_OBJECT_MANAGER_OPERATIONS

  // Fills `record` with object `objectId` (else the one of the record's
  // UUID, else its name). One that does not exist is a failure.
  bool exportContent(MonitorRepositoryDataAccess* monitor, int objectId,
                     MetadataRecord* record, KvbString& errorText);

 private:
  // Found, missing or failed (1, 0, -1, the reason then in errorText): the
  // existing object that `record` stands for, its id in `id`.
  int existing(MonitorRepositoryDataAccess* monitor, MetadataRecord* record,
               int& id, KvbString& errorText);
  const MonitorObjectType& type_;
};

#endif  // IMPEXP_REPMONITORMGR_H_
