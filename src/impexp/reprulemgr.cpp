// Delete, export and import of rules.
#include "impexp/reprulemgr.h"

#include "access/base_rdaimpl.h"
#include "impexp/repimpexpmgr.h"
#include "impexp/repmetaruleimpl.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"

bool RuleManagerImpl::deleteObject(int objectId, const KvbString& uuid,
                                   KvbString& errorText) {
  ScopedAccess<CommonRepositoryDataAccess> common(
      newAccess(&Repository::createCommonDataAccess));
  if (!common.get()) return failNoAccess(errorText, "Rule", objectId);
  return deleted(common->deleteRule(objectId), common.get(), "Rule", objectId,
                 uuid, errorText);
}

bool RuleManagerImpl::exportObject(int objectId, const KvbString& uuid,
                                   KvbString& output, KvbString& errorText) {
  return exportRecord(
      "Rule", uuid, "Unable to create export metadata object for rule.",
      [&](MetadataRecord* record) {
        RuleMetadata rule(owner_, objectId, uuid);
        return rule.exportRuleContent(record, errorText) == 1;
      },
      output, errorText);
}

bool RuleManagerImpl::importNewObject(MetadataRecord* record, int folderId,
                                      const KvbString& itemName,
                                      KvbString& errorText) {
  ScopedAccess<CommonRepositoryDataAccess> common(
      newAccess(&Repository::createCommonDataAccess));
  if (!common.get()) return failNoAccess(errorText, "Rule", 0);
  if (!turnTaken("RULE", errorText)) return false;
  KvbString name = value(record, "RU_DESC"), storedUuid;
  const KvbString uuid = record->getUUID();
  int existingId = -1;
  // To a path: a new rule there, under a UUID of its own where the
  // record's is taken. Else a rule found by the UUID (or, without one, the
  // name) stands for the record; without either there is nothing to look
  // up.
  int found = 0;
  if (!itemName.isEmpty()) {
    if (!uuidForPath(
            "Rule", record, "RU_UUID",
            [&](const KvbString& held) { return common->findRule(-1, "", held); },
            "RU_ID", common.get(), errorText))
      return false;
  } else if (!name.isEmpty() || !uuid.isEmpty()) {
    found =
        lastId(common->findRule(-1, nameToLookUp(name, uuid), uuid), "RU_ID",
               "RU_UUID", common.get(), errorText, existingId, &storedUuid);
  }
  if (found < 0) return false;
  if (found == 1) {
    if (!folderExists(folderId, errorText)) return false;
    context()->setIntProperty(record, "TARGETID", existingId);
    record->setUUID(storedUuid);
    return true;
  }
  name = renamed(
      "Changing rule Name from original \"%S\" to new \"%S\" on "
      "import.",
      name, itemName);
  const int newId =
      common->addRule(name, value(record, "RU_TYPE"), value(record, "RU_EXPR"),
                      value(record, "RU_GROUP"), value(record, "RU_META"),
                      getOSUserName(), record->getUUID(), folderId,
                      value(record, "RU_COMM"), value(record, "RU_DISP"));
  if (newId <= 0) return failWith(errorText, common->getErrorMessage());
  announceCreated(record, newId, "Created rule import object");
  RuleMetadata rule(owner_, record);
  return rule.importRuleContent(errorText);
}

bool RuleManagerImpl::importOverObject(MetadataRecord* record, int targetId,
                                       const KvbString& targetUuid,
                                       int folderId,
                                       const KvbString& targetName,
                                       KvbString& errorText) {
  ScopedAccess<CommonRepositoryDataAccess> common(
      newAccess(&Repository::createCommonDataAccess));
  if (!common.get()) return failNoAccess(errorText, "Rule", targetId);
  if (targetId <= 0) return true;
  const KvbString name =
      chooseName("Rule", value(record, "RU_DESC"), targetName);
  KvbString uuid;
  if (!chooseUuid(
          "Rule", record->getUUID(), targetUuid, targetId,
          [&] { return common->findRule(-1, "", record->getUUID()); }, "RU_ID",
          common.get(), uuid, errorText))
    return false;
  double created = 0;
  if (!record->getRealValue("RU_CRDAT", created))
    created = KvbDate::currentDate().asDouble();
  const bool updated = common->updateRule(
      targetId, name, value(record, "RU_TYPE"), value(record, "RU_EXPR"),
      value(record, "RU_GROUP"), value(record, "RU_META"), getOSUserName(),
      created, KvbDate::currentDate().asDouble(), value(record, "RU_CRUSR"),
      uuid, folderId, value(record, "RU_COMM"), value(record, "RU_DISP"));
  // The update's reason stays: the content is not imported over a rule
  // whose row could not be written, as the import is undone anyway.
  if (!updated) {
    return failUpdate(errorText, "rule", common->getErrorMessage());
  }
  RuleMetadata rule(owner_, record);
  return rule.importRuleContent(errorText);
}
