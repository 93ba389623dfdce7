// The import/export manager: dispatch by type name, object paths, the
// import log and the one transaction around each import.
#include "impexp/repimpexpmgr.h"

#include <memory>

#include "access/base_rdaimpl.h"
#include "access/object_types.h"
#include "impexp/repactionevent.h"
#include "impexp/repcollmgr.h"
#include "impexp/repcustmmgr.h"
#include "impexp/repexplmgr.h"
#include "impexp/repmonitormgr.h"
#include "impexp/repobjectmgr.h"
#include "impexp/repprofjobmgr.h"
#include "impexp/reprulemgr.h"
#include "impexp/reptaskmgr.h"
#include "kvsync/kvnocancellation.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_folder_manager.h"
#include "schema/log_printf.h"
#include "services/scan_rows.h"

namespace {
const char kSourceFile[] = "repimpexpmgr";
}  // namespace

// The refusal of an import or update that is given no text to read.
static const char kNothingToImport[] =
    "There is no object to import: the input text is empty";
// What a failed import was doing, for its failure's record: reading its
// text, or importing `record`.
static const char kReadingImport[] = "Error reading the object to import";
static KvbString importing(MetadataRecord* record) {
  return kvbStringFormat("Error importing %S object", record->getTypeName());
}

RepositoryImportExportManagerImpl::RepositoryImportExportManagerImpl(
    Repository* repository)
    : repository_(repository),
      context_(createRepositoryMetadataSerializationContext()),
      logger_(kvlogGetLogger("KV.Repos.ReposAdmin.ImportExport")) {
  managers_["Task"] = new TaskManagerImpl(this);
  managers_["Rule"] = new RuleManagerImpl(this);
  managers_["CustomMetric"] = new CustomMetricManagerImpl(this);
  managers_["DataExploration"] = new DataExplorationManagerImpl(this);
  managers_["Collection"] = new CollectionManagerImpl(this);
  managers_["ProfileJob"] = new ProfileJobManagerImpl(this);
  managers_["Source"] = new MonitorObjectManagerImpl(this, kSourceType);
  managers_["Threshold"] = new MonitorObjectManagerImpl(this, kThresholdType);
  managers_["Dimension"] = new MonitorObjectManagerImpl(this, kDimensionType);
}

RepositoryImportExportManagerImpl::~RepositoryImportExportManagerImpl() {
  for (auto& entry : managers_) entry.second->release();
  if (context_) context_->release();
}

RepositoryObjectManagerImpl* RepositoryImportExportManagerImpl::managerOf(
    const KvbString& typeName) const {
  auto found = managers_.find(typeName.str());
  return found == managers_.end() ? nullptr : found->second;
}

bool RepositoryImportExportManagerImpl::fail(KvbString& errorText,
                                             const KvbString& text,
                                             bool logged) {
  if (!logged) logPrintf(logger_, kLogError, kSourceFile, __LINE__, "%S", text);
  if (context_) context_->logEvent(0, text);
  errorText = text;
  return false;
}

bool RepositoryImportExportManagerImpl::begin(const KvbString& doing,
                                              KvbString& errorText) {
  if (!repository_)
    return fail(errorText, doing + ": the manager has no repository");
  if (!context_)
    return fail(errorText,
                doing + ": the manager has no serialization context");
  context_->reset();
  unfoundPath_ = "";
  return true;
}

bool RepositoryImportExportManagerImpl::serializeObject(MetadataRecord* record,
                                                        KvbString& output,
                                                        KvbString& errorText) {
  logPrintf(logger_, kLogTrace, kSourceFile, __LINE__,
            "Serialization started...");
  const bool result =
      context_->serialize(record, output, errorText, serializationOption_);
  logPrintf(logger_, kLogTrace, kSourceFile, __LINE__,
            "Serialization complete...");
  return result;
}

// The lookup is quiet: an object that is not there fails the call that
// names it, which says so, and a path that cannot be read is reported by
// the caller; only the types kept in folders have a path to look for
// (custom metrics and collections have none).
bool RepositoryImportExportManagerImpl::setObjectPath(int objectId,
                                                      const KvbString& typeName,
                                                      const KvbString& uuid,
                                                      KvbString* errorText) {
  KvbString path(""), stored, reason;
  unfoundPath_ = "";
  bool read = true;
  if (findObjectType(typeName)) {
    // A repository that is not this engine's gives no connection, and the
    // path is then not found.
    BaseRDAImpl paths(repositoryConnection(repository_.get()));
    paths.setQuiet(true);
    const int found =
        paths.objectPath(objectId, typeName, path, stored, reason);
    read = found != BaseRDAImpl::kPathUnread;
    if (found != 1)
      unfoundPath_ =
          kvbStringFormat("%S (id=%d): %S",
                          kvb_get_message(kSourceFile, __LINE__,
                                          "Repository Library", 1591, typeName),
                          objectId, reason);
  }
  if (path.isEmpty())
    path =
        kvbStringFormat("[UNKNOWN %S Id=%d UUID=%S]", typeName, objectId, uuid);
  context_->setObjectPath(path, typeName);
  if (!read && errorText) *errorText = reason;
  return read;
}

RepositoryFolderManager* RepositoryImportExportManagerImpl::folderManager(
    const KvbString& objectPath, KvbString& errorText) {
  RepositoryFolderManager* folders = repository_->createFolderManager();
  if (!folders)
    fail(errorText,
         "The repository gives no folder manager for the path " + objectPath);
  return folders;
}

bool RepositoryImportExportManagerImpl::resolveObjectPath(
    const KvbString& objectPath, const KvbString& typeName, int& folderId,
    int& objectId, KvbString& itemName, KvbString& uuid, KvbString& errorText) {
  objectId = folderId = -1;
  ScopedAccess<RepositoryFolderManager> folders(
      folderManager(objectPath, errorText));
  return folders.get() &&
         folders->resolveObjectPath(objectPath, typeName, folderId, objectId,
                                    itemName, uuid, errorText);
}

// 1 when folder `folderId` holds an object of `typeName` named `name` (both
// without regard to case), 0 when not, -1 when its rows cannot be read and
// -2 when the folder manager cannot list them (it logged why).
static int folderHolds(RepositoryFolderManager* folders, int folderId,
                       const KvbString& typeName, const KvbString& name) {
  ReposDataAccessCursor* rows = folders->getFolderItems(folderId);
  if (!rows) return -2;
  int found = 0, status = 0;
  while (!found && (status = rows->next()) == 1)
    found = rows->getString(0).trim().equals(typeName, true) &&
            rows->getString(3).equals(name, true);
  if (!found && status == 2) found = -1;
  rows->release();
  return found;
}

bool RepositoryImportExportManagerImpl::reported(bool done,
                                                 const KvbString& doing,
                                                 KvbString& errorText) {
  if (done) {
    if (!unfoundPath_.isEmpty())
      logPrintf(logger_, kLogError, kSourceFile, __LINE__, "%S", unfoundPath_);
    unfoundPath_ = "";
    return true;
  }
  // The host's text is the one record: what was being done, then why.
  errorText = errorText.isEmpty() ? doing : doing + ": " + errorText;
  logPrintf(logger_, kLogError, kSourceFile, __LINE__, "%S", errorText);
  return false;
}

bool RepositoryImportExportManagerImpl::inTransaction(
    const KvbString& doing, KvbString& errorText,
    const std::function<bool()>& work, const bool* logged) {
  CommonRepositoryDataAccess* common =
      quietly(repository_->createCommonDataAccess());
  if (!common)
    return fail(errorText, doing + ": the repository gives no data access");
  bool result = common->beginTransaction(1, 0);
  if (!result) {
    errorText = common->getErrorMessage();
    common->endTransaction(false);  // a failed begin leaves its level raised
  } else {
    result = work();
    // A number of the import that could not be read refuses the object,
    // whatever the work made of it, and nothing of it stays.
    const KvbString unreadable = context_->getUnreadableValue();
    if (!unreadable.isEmpty()) {
      errorText = unreadable;
      result = false;
    }
    // A failed commit leaves the reason of the connection.
    if (!common->endTransaction(result) && result) {
      errorText = common->getErrorMessage();
      result = false;
    }
  }
  common->release();
  if (!result && logged && *logged) return false;
  return reported(result, doing, errorText);
}

bool RepositoryImportExportManagerImpl::exportObject(
    int objectId, const KvbString& typeName, const KvbString& uuid,
    KvbString& output, KvbString& errorText, RepositoryActionEvent* listener) {
  KvNoCancellation noCancellation;
  const KvbString doing = kvbStringFormat(
      "Error exporting %S object with id=%d", typeName, objectId);
  if (!begin(doing, errorText)) return false;
  if (listener) context_->setActionListener(listener);
  if (!setObjectPath(objectId, typeName, uuid, &errorText))
    return reported(false, doing, errorText);
  context_->logEvent(2, "Starting serialization of Database object.");
  if (typeName.isEmpty())
    return fail(errorText,
                "Type not specified to export object.  You must specify a "
                "type for export.");
  RepositoryObjectManagerImpl* manager = managerOf(typeName);
  if (!manager)
    return fail(
        errorText,
        kvbStringFormat("The object type \"%S\" is not a known type to export.",
                        typeName));
  return reported(manager->exportObject(objectId, uuid, output, errorText),
                  doing, errorText);
}

bool RepositoryImportExportManagerImpl::exportObjectByPath(
    const KvbString& objectPath, const KvbString& typeName, KvbString& output,
    KvbString& errorText) {
  KvNoCancellation noCancellation;
  logPrintf(logger_, kLogTrace, kSourceFile, __LINE__,
            "Export object by path started...");
  int folderId = -1, objectId = -1;
  KvbString itemName, uuid;
  const bool result =
      begin(kvbStringFormat("Error exporting %S object at path %S", typeName,
                            objectPath),
            errorText) &&
      resolveObjectPath(objectPath, typeName, folderId, objectId, itemName,
                        uuid, errorText) &&
      exportObject(objectId, typeName, uuid, output, errorText, nullptr);
  logPrintf(logger_, kLogTrace, kSourceFile, __LINE__,
            "Export object by path completed...");
  return result;
}

bool RepositoryImportExportManagerImpl::importObjectToPath(
    const KvbString& objectPath, const KvbString& input, KvbString& errorText) {
  KvNoCancellation noCancellation;
  if (!begin("Error importing the object at path " + objectPath, errorText))
    return false;
  MetadataRecord* record = context_->deserialize(input, errorText);
  if (!record) return reported(false, kReadingImport, errorText);
  ScopedAccess<RepositoryFolderManager> folders(
      folderManager(objectPath, errorText));
  KvbString folderPath, itemName("");
  int folderId = -1;
  if (!folders.get()) return false;
  if (!folders->splitPath(objectPath, folderPath, itemName) ||
      itemName.isEmpty())
    return fail(errorText,
                kvbStringFormat("Unable to determine folder path and item "
                                "name from given export path: %S",
                                objectPath));
  // Where the folder manager failed, its own reason (the folder store's
  // "Unable to find folder/object by path: \"<folder path>\"", or the
  // database's) is the answer, as it logged it.
  const auto failedInFolders = [&] {
    return fail(errorText, folders->getErrorMessage(), true);
  };
  if (!folders->getFolderId(folderPath, folderId)) return failedInFolders();
  // False, logged, when the folder holds an object at the path or cannot
  // be listed.
  const auto pathFree = [&] {
    const int exists =
        folderHolds(folders.get(), folderId, record->getTypeName(), itemName);
    if (exists == -2) return failedInFolders();
    return exists == 0 ||
           fail(errorText,
                exists > 0
                    ? kvbStringFormat("An object already exists at the path: %S",
                                      objectPath)
                    : kvbStringFormat("Unable to read the folder of path: %S",
                                      objectPath));
  };
  if (!pathFree()) return false;
  RepositoryObjectManagerImpl* manager = managerOf(record->getTypeName());
  if (!manager)
    return fail(
        errorText,
        kvbStringFormat("The object type \"%S\" is not a known type to import.",
                        record->getTypeName()));
  // The path is looked at again in the import's transaction, after the
  // turn of the type's table, so that of two imports to one path at the
  // same moment the second finds the first's object there.
  const ReposObjectType* filed = findObjectType(record->getTypeName());
  bool logged = false;
  return inTransaction(
      importing(record), errorText,
      [&] {
        if (filed &&
            !importTurnTaken(repository_.get(), filed->table, errorText))
          return false;
        logged = !pathFree();
        return !logged &&
               manager->importNewObject(record, folderId, itemName, errorText);
      },
      &logged);
}

bool RepositoryImportExportManagerImpl::deleteObjectByPath(
    const KvbString& objectPath, const KvbString& typeName,
    KvbString& errorText) {
  KvNoCancellation noCancellation;
  int folderId = -1, objectId = -1;
  KvbString itemName, uuid;
  if (!begin(kvbStringFormat("Error deleting %S object at path %S", typeName,
                             objectPath),
             errorText) ||
      !resolveObjectPath(objectPath, typeName, folderId, objectId, itemName,
                         uuid, errorText))
    return false;
  RepositoryObjectManagerImpl* manager = managerOf(typeName);
  if (!manager)
    return fail(
        errorText,
        kvbStringFormat("The object type \"%S\" is not a known type to delete.",
                        typeName));
  return reported(manager->deleteObject(objectId, uuid, errorText),
                  kvbStringFormat("Error deleting %S object with id=%d",
                                  typeName, objectId),
                  errorText);
}

bool RepositoryImportExportManagerImpl::setSerializationOption(bool pretty) {
  serializationOption_ = pretty;
  return pretty;
}

bool RepositoryImportExportManagerImpl::importObject(const KvbString& input,
                                                     int folderId,
                                                     KvbString& errorText) {
  KvNoCancellation noCancellation;
  if (!begin(
          kvbStringFormat("Error importing an object into folder %d", folderId),
          errorText))
    return false;
  if (input.isEmpty()) return fail(errorText, kNothingToImport);
  std::unique_ptr<RepositoryActionEventStringImpl> log(
      new RepositoryActionEventStringImpl());
  context_->setActionListener(log.get());
  bool result = false;
  MetadataRecord* record = context_->deserialize(input, errorText);
  if (!record) {
    reported(false, kReadingImport, errorText);
  } else {
    RepositoryObjectManagerImpl* manager = managerOf(record->getTypeName());
    if (manager)
      result = inTransaction(importing(record), errorText, [&] {
        return manager->importNewObject(record, folderId, "", errorText);
      });
    else
      fail(errorText,
           kvbStringFormat(
               "The object type \"%S\" is not a known type to import.",
               record->getTypeName()));
  }
  // The log goes with every failure that logged anything; the listener
  // never outlives the call.
  if (!result && !log->getText().isEmpty())
    errorText.append("\nImport Log:\n").append(log->getText());
  context_->reset();
  return result;
}

bool RepositoryImportExportManagerImpl::updateObject(
    int objectId, const KvbString& typeName, const KvbString& uuid,
    const KvbString& input, int folderId, KvbString& errorText,
    RepositoryActionEvent* listener) {
  KvNoCancellation noCancellation;
  const KvbString doing = kvbStringFormat(
      "Error updating %S object with id=%d on import", typeName, objectId);
  if (!begin(doing, errorText)) return false;
  context_->setActionListener(listener);
  if (input.isEmpty()) return fail(errorText, kNothingToImport);
  if (!setObjectPath(objectId, typeName, uuid, &errorText))
    return reported(false, doing, errorText);
  context_->logEvent(2, "Starting de-serialization of Database object.");
  MetadataRecord* record = context_->deserialize(input, errorText);
  if (!record) {
    context_->reset();
    return reported(false, kReadingImport, errorText);
  }
  if (!record->getTypeName().equals(typeName, true))
    return fail(errorText,
                kvbStringFormat("The object type \"%S\" appears to differ "
                                "from imported object type \"%S\".",
                                typeName, record->getTypeName()));
  ScopedAccess<MetadataRepositoryDataAccess> meta(
      quietly(repository_->createMetadataDataAccess()));
  if (!meta.get()) return fail(errorText, noDataAccess(typeName, objectId));
  // A target that cannot be read is reported as such, not as missing.
  ObjectItem target;
  KvbString reason;
  const int found =
      readObjectItem(meta.get(), objectId, typeName, target, reason);
  if (found < 0)
    return fail(errorText, reason.isEmpty() ? meta->getErrorMessage() : reason);
  // An empty UUID names nothing, so the text leaves it out.
  if (found == 0)
    return fail(errorText,
                kvbStringFormat("The %S object with id=%d%S does not exist "
                                "and cannot be updated.",
                                typeName, objectId,
                                uuid.isEmpty()
                                    ? KvbString("")
                                    : kvbStringFormat(" and uuid=%S", uuid)));
  context_->setIntProperty(record, "TARGETID", objectId);
  context_->setProperty(record, "TARGETUUID", uuid);
  RepositoryObjectManagerImpl* manager = managerOf(record->getTypeName());
  if (!manager)
    return fail(errorText, kvbStringFormat("The object type \"%S\" is not a "
                                           "known type to update on import.",
                                           typeName));
  return inTransaction(doing, errorText, [&] {
    return manager->importOverObject(record, objectId, target.uuid, folderId,
                                     target.name, errorText);
  });
}
