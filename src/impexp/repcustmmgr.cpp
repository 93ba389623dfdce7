// Delete, export and import of custom metrics.
#include "impexp/repcustmmgr.h"

#include "impexp/repimpexpmgr.h"
#include "impexp/repmetacustmimpl.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"

bool CustomMetricManagerImpl::deleteObject(int objectId, const KvbString& uuid,
                                           KvbString& errorText) {
  ScopedAccess<CommonRepositoryDataAccess> common(
      newAccess(&Repository::createCommonDataAccess));
  if (!common.get()) return failNoAccess(errorText, "CustomMetric", objectId);
  return deleted(common->deleteCustomMetric(objectId), common.get(),
                 "CustomMetric", objectId, uuid, errorText);
}

bool CustomMetricManagerImpl::exportObject(int objectId, const KvbString& uuid,
                                           KvbString& output,
                                           KvbString& errorText) {
  return exportRecord(
      "CustomMetric", uuid,
      "Unable to create export metadata object for custom metric.",
      [&](MetadataRecord* record) {
        CustomMetricMetadata metric(owner_, objectId, uuid);
        return metric.exportCustomMetric(record, errorText);
      },
      output, errorText);
}

bool CustomMetricManagerImpl::importNewObject(MetadataRecord* record,
                                              int /*folderId*/,
                                              const KvbString& itemName,
                                              KvbString& errorText) {
  ScopedAccess<CommonRepositoryDataAccess> common(
      newAccess(&Repository::createCommonDataAccess));
  if (!common.get()) return failNoAccess(errorText, "CustomMetric", 0);
  if (!turnTaken("CUSTM", errorText)) return false;
  KvbString name = value(record, "CM_DESC"), storedUuid;
  int existingId = -1;
  // To a path: a new custom metric under the path's name, keeping the
  // record's UUID where it is free. Else one found stands for the record.
  const bool toPath = !itemName.isEmpty();
  int found = 0;
  if (toPath) {
    if (!uuidForPath(
            "CustomMetric", record, "CM_UUID",
            [&](const KvbString& held) {
              return common->findCustomMetric(-1, "", held);
            },
            "CM_ID", common.get(), errorText))
      return false;
  } else {
    const KvbString uuid = record->getUUID();
    found = lastId(common->findCustomMetric(-1, nameToLookUp(name, uuid), uuid),
                   "CM_ID", "CM_UUID", common.get(), errorText, existingId,
                   &storedUuid);
  }
  if (found < 0) return false;
  if (found == 1) {
    context()->setIntProperty(record, "TARGETID", existingId);
    record->setUUID(storedUuid);
    return true;
  }
  name = renamed(
      "Changing custom metric Name from original \"%S\" to new \"%S\" "
      "on import.",
      name, itemName);
  const int newId = common->addCustomMetric(name, value(record, "CM_PREXP"),
                                            value(record, "CM_EXP"),
                                            value(record, "CM_POSTXP"));
  if (newId <= 0) return failWith(errorText, common->getErrorMessage());
  // The add draws a UUID of its own, which the chosen one replaces.
  if (toPath && !record->getUUID().isEmpty() &&
      !common->updateCustomMetric(newId, name, value(record, "CM_PREXP"),
                                  value(record, "CM_EXP"),
                                  value(record, "CM_POSTXP"), record->getUUID()))
    return failWith(errorText, common->getErrorMessage());
  announceCreated(record, newId, "Created custom metric import object");
  CustomMetricMetadata metric(owner_, record);
  return metric.importCustomMetric(errorText);
}

bool CustomMetricManagerImpl::importOverObject(
    MetadataRecord* record, int targetId, const KvbString& targetUuid,
    int /*folderId*/, const KvbString& targetName, KvbString& errorText) {
  ScopedAccess<CommonRepositoryDataAccess> common(
      newAccess(&Repository::createCommonDataAccess));
  if (!common.get()) return failNoAccess(errorText, "CustomMetric", targetId);
  if (targetId <= 0) return true;
  const KvbString name =
      chooseName("CustomMetric", value(record, "CM_DESC"), targetName);
  KvbString uuid;
  if (!chooseUuid(
          "CustomMetric", record->getUUID(), targetUuid, targetId,
          [&] { return common->findCustomMetric(-1, "", record->getUUID()); },
          "CM_ID", common.get(), uuid, errorText))
    return false;
  if (!common->updateCustomMetric(targetId, name, value(record, "CM_PREXP"),
                                  value(record, "CM_EXP"),
                                  value(record, "CM_POSTXP"), uuid)) {
    return failUpdate(errorText, "custom metric", common->getErrorMessage());
  }
  CustomMetricMetadata metric(owner_, record);
  return metric.importCustomMetric(errorText);
}
