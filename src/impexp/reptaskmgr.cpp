// Delete, export and import of monitoring tasks.
#include "impexp/reptaskmgr.h"

#include "access/base_rdaimpl.h"
#include "impexp/repimpexpmgr.h"
#include "impexp/repmetataskimpl.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"

bool TaskManagerImpl::deleteObject(int objectId, const KvbString& uuid,
                                   KvbString& errorText) {
  ScopedAccess<MonitorRepositoryDataAccess> monitor(
      newAccess(&Repository::createMonitorDataAccess));
  if (!monitor.get()) return failNoAccess(errorText, "Task", objectId);
  return deleted(monitor->deleteTask(objectId), monitor.get(), "Task", objectId,
                 uuid, errorText);
}

bool TaskManagerImpl::exportObject(int objectId, const KvbString& uuid,
                                   KvbString& output, KvbString& errorText) {
  return exportRecord(
      "Task", uuid, "Unable to create export metadata object for task.",
      [&](MetadataRecord* record) {
        TaskMetadata task(owner_, objectId, uuid);
        return task.exportTask(record, errorText);
      },
      output, errorText);
}

bool TaskManagerImpl::importNewObject(MetadataRecord* record, int folderId,
                                      const KvbString& itemName,
                                      KvbString& errorText) {
  ScopedAccess<MonitorRepositoryDataAccess> monitor(
      newAccess(&Repository::createMonitorDataAccess));
  if (!monitor.get()) return failNoAccess(errorText, "Task", 0);
  if (!turnTaken("MJOB", errorText)) return false;
  KvbString name = value(record, "JB_DESC");
  const KvbString uuid = record->getUUID();
  // To a path: a new task there, under a code of its own where the
  // record's is taken. Else a task found by the code (or, without one, the
  // name) stands for the record: nothing is written; without either there
  // is nothing to look up.
  if (!itemName.isEmpty()) {
    if (!uuidForPath(
            "Task", record, "JB_CODE",
            [&](const KvbString& held) {
              return monitor->findTask(-1, "", held);
            },
            "JB_ID", monitor.get(), errorText))
      return false;
  } else if (!name.isEmpty() || !uuid.isEmpty()) {
    int existingId = -1;
    const int found =
        lastId(monitor->findTask(-1, nameToLookUp(name, uuid), uuid), "JB_ID",
               "JB_CODE", monitor.get(), errorText, existingId);
    if (found != 0) return found == 1 && folderExists(folderId, errorText);
  }
  name = renamed(
      "Changing task Name from original \"%S\" to new \"%S\" on "
      "import.",
      name, itemName);
  int newId = -1;
  if (!monitor->addTask(name, record->getUUID(), value(record, "JB_CRUSR"),
                        folderId,
                        value(record, "JB_COMM"), value(record, "JB_DISP"),
                        &newId))
    return failWith(errorText, monitor->getErrorMessage());
  announceCreated(record, newId, "Created task import object");
  TaskMetadata task(owner_, record);
  return task.importTask(folderId, errorText);
}

bool TaskManagerImpl::importOverObject(MetadataRecord* record, int targetId,
                                       const KvbString& targetUuid,
                                       int folderId,
                                       const KvbString& targetName,
                                       KvbString& errorText) {
  ScopedAccess<MonitorRepositoryDataAccess> monitor(
      newAccess(&Repository::createMonitorDataAccess));
  if (!monitor.get()) return failNoAccess(errorText, "Task", targetId);
  if (targetId <= 0) return true;
  const KvbString name =
      chooseName("Task", value(record, "JB_DESC"), targetName);
  KvbString uuid;
  if (!chooseUuid(
          "Task", record->getUUID(), targetUuid, targetId,
          [&] { return monitor->findTask(-1, "", record->getUUID()); }, "JB_ID",
          monitor.get(), uuid, errorText))
    return false;
  double created = 0;
  if (!record->getRealValue("JB_CRDAT", created))
    created = KvbDate::currentDate().asDouble();
  if (!monitor->updateTask(targetId, name, uuid, value(record, "JB_CRUSR"),
                           KvbDate(created), getOSUserName(),
                           KvbDate::currentDate(), folderId,
                           value(record, "JB_COMM"), value(record, "JB_DISP")))
    return failWith(errorText, monitor->getErrorMessage());
  TaskMetadata task(owner_, record);
  return task.importTask(folderId, errorText);
}
