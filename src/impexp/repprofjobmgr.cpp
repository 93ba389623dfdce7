// Delete, export and import of profile jobs.
#include "impexp/repprofjobmgr.h"

#include "access/base_rdaimpl.h"
#include "impexp/repimpexpmgr.h"
#include "impexp/repmetaprofjobimpl.h"
#include "reposadmin/profile_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "schema/log_printf.h"

namespace {
const char kSourceFile[] = "repprofjobmgr";
}  // namespace

bool ProfileJobManagerImpl::deleteObject(int objectId, const KvbString& uuid,
                                         KvbString& errorText) {
  ScopedAccess<ProfileRepositoryDataAccess> profile(
      newAccess(&Repository::createProfileDataAccess));
  if (!profile.get()) return failNoAccess(errorText, "ProfileJob", objectId);
  return deleted(profile->deleteProfileJob(objectId), profile.get(),
                 "ProfileJob", objectId, uuid, errorText);
}

bool ProfileJobManagerImpl::exportObject(int objectId, const KvbString& uuid,
                                         KvbString& output,
                                         KvbString& errorText) {
  ScopedAccess<ProfileRepositoryDataAccess> profile(
      newAccess(&Repository::createProfileDataAccess));
  if (!profile.get()) return failNoAccess(errorText, "ProfileJob", objectId);
  return exportRecord(
      "ProfileJob", uuid,
      "Unable to create export metadata object for profile job.",
      [&](MetadataRecord* record) {
        ProfileJobMetadata job(owner_, objectId, uuid, profile.get());
        return job.exportJob(record, errorText);
      },
      output, errorText);
}

bool ProfileJobManagerImpl::importNewObject(MetadataRecord* record,
                                            int folderId,
                                            const KvbString& itemName,
                                            KvbString& errorText) {
  ScopedAccess<ProfileRepositoryDataAccess> profile(
      newAccess(&Repository::createProfileDataAccess));
  if (!profile.get()) return failNoAccess(errorText, "ProfileJob", 0);
  const KvbString name = renamed(
      "Changing profile job Name from original \"%S\" to new \"%S\" on "
      "import.",
      value(record, "SU_NAME"), itemName);
  if (!turnTaken("JSETUP", errorText)) return false;
  // A job imported to a path keeps the record's UUID where it is free;
  // otherwise a new job always gets a UUID of its own.
  if (!itemName.isEmpty() &&
      !uuidForPath(
          "ProfileJob", record, "SU_UUID",
          [&](const KvbString& held) {
            return profile->getProfileJob(-1, "", held);
          },
          "SU_ID", profile.get(), errorText))
    return false;
  KvbString uuid = record->getUUID();
  if (itemName.isEmpty() || uuid.isEmpty()) {
    uuid = kvbGetUUID();
    logPrintf(owner_->logger(), kLogProgress, kSourceFile, __LINE__,
              "Changing profile job UUID from original \"%s\" to new \"%s\" "
              "on import.",
              value(record, "SU_UUID").str().c_str(), uuid.str().c_str());
  }
  context()->setProperty(record, "TARGETUUID", uuid);
  const double now = KvbDate::currentDate().asDouble();
  double created = 0;
  if (!record->getRealValue("SU_CRDAT", created)) created = now;
  const int newId = profile->addProfileJob(
      name, value(record, "SU_DESC"), uuid, created, now,
      value(record, "SU_CRUSR"), getOSUserName(), folderId);
  if (newId == -1) return failWith(errorText, profile->getErrorMessage());
  announceCreated(record, newId, "Created profile job import object");
  ProfileJobMetadata job(owner_, record, newId, profile.get());
  return job.importJob(folderId, errorText);
}

bool ProfileJobManagerImpl::importOverObject(
    MetadataRecord* record, int targetId, const KvbString& targetUuid,
    int folderId, const KvbString& targetName, KvbString& errorText) {
  ScopedAccess<ProfileRepositoryDataAccess> profile(
      newAccess(&Repository::createProfileDataAccess));
  if (!profile.get()) return failNoAccess(errorText, "ProfileJob", targetId);
  if (targetId <= 0) return true;
  const KvbString name =
      chooseName("ProfileJob", value(record, "SU_NAME"), targetName);
  const KvbString recordUuid = value(record, "SU_UUID");
  // The update writes no UUID: the job keeps its own, the choice is logged.
  KvbString uuid;
  if (!chooseUuid(
          "ProfileJob", recordUuid, targetUuid, targetId,
          [&] { return profile->getProfileJob(-1, "", recordUuid); }, "SU_ID",
          profile.get(), uuid, errorText))
    return false;
  if (!profile->updateProfileJob(targetId, name, value(record, "SU_DESC"),
                                 KvbDate::currentDate(), getOSUserName(),
                                 folderId))
    return failWith(errorText, kvbStringFormat("Error updating '%s' \"%S\": %S",
                                               "ProfileJob", name,
                                               profile->getErrorMessage()));
  ProfileJobMetadata job(owner_, record, targetId, profile.get());
  return job.importJob(folderId, errorText);
}
