// Export and import of a task's content.
#include "impexp/repmetataskimpl.h"

#include <vector>

#include "access/base_rdaimpl.h"
#include "impexp/repimpexpmgr.h"
#include "impexp/repmetaruleimpl.h"
#include "impexp/repmonitormgr.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "schema/log_printf.h"

namespace {
const char kSourceFile[] = "repmetataskimpl";
}  // namespace

TaskMetadata::TaskMetadata(RepositoryImportExportManagerImpl* owner,
                           int objectId, const KvbString& uuid)
    : MetadataObject(owner, objectId, uuid),
      monitor_(repository_ ? quietly(repository_->createMonitorDataAccess())
                           : nullptr) {}

TaskMetadata::TaskMetadata(RepositoryImportExportManagerImpl* owner,
                           MetadataRecord* record)
    : MetadataObject(owner, record),
      monitor_(repository_ ? quietly(repository_->createMonitorDataAccess())
                           : nullptr) {}

TaskMetadata::~TaskMetadata() {
  if (monitor_) monitor_->release();
}

bool TaskMetadata::exportTask(MetadataRecord* record, KvbString& errorText) {
  if (!made(monitor_, "Task", errorText) || !made(common_, "Task", errorText))
    return false;
  const int found =
      readFirstRow(monitor_->getTask(objectId_), record, errorText);
  if (found < 0) return false;
  if (found == 0) {
    event(0,
          kvbStringFormat("Unable to find task object with id=%d", objectId_));
    errorText = "A task was not found to export.";
    return false;
  }
  return exportRuleMembers(record, errorText) &&
         exportRuleEvents(record, errorText);
}

bool TaskMetadata::exportRuleMembers(MetadataRecord* record,
                                     KvbString& errorText) {
  bool result = true;
  return eachRow(
             monitor_->listTaskRuleMembers(objectId_),
             [&](ReposDataAccessCursor* row) {
               const KvbString ruleId = row->getString(1);
               if (MetadataRecord* item = context()->includedRecord(
                       "JobRuleMember", "RU_ID", ruleId)) {
                 setRowValues(item, row, true);
                 record->addChildRecord("JobRuleMembers", item);
               }
               result = includeRule(row->getInt(1), errorText) &&
                        (row->isNull(2) ||
                         include(kDimensionType, row->getInt(2), errorText)) &&
                        (row->isNull(3) ||
                         include(kThresholdType, row->getInt(3), errorText));
               return result;
             },
             errorText) &&
         result;
}

bool TaskMetadata::exportRuleEvents(MetadataRecord* record,
                                    KvbString& errorText) {
  bool result = true;
  return eachRow(
             monitor_->listRuleEvents(objectId_),
             [&](ReposDataAccessCursor* row) {
               MetadataRecord* item =
                   context()->createRecord("RuleEvent", kvbGetUUID());
               setRowValues(item, row, true);
               record->addChildRecord("RuleEvents", item);
               MetadataRecord* rule = includeRule(row->getInt(1), errorText);
               result = rule && item->addChildRecord("Rule", rule);
               return result;
             },
             errorText) &&
         result;
}

MetadataRecord* TaskMetadata::includeRule(int ruleId, KvbString& errorText) {
  MetadataRecord* rule =
      context()->includedRecord("Rule", "RU_ID", KvbString::fromInt(ruleId));
  KvbString done;
  // A rule that several members and events use is written once: a second
  // writing would add its custom metrics and mappings twice.
  if (!rule || rule->getValue("RU_ID", done)) return rule;
  RuleMetadata metadata(owner_, ruleId, "");
  if (metadata.exportRuleContent(rule, errorText) != 1) return nullptr;
  rule->setUUID(value(rule, "RU_UUID"));
  event(2, kvbStringFormat("Including rule \"%S\" with task",
                           value(rule, "RU_DESC")));
  return rule;
}

bool TaskMetadata::include(const MonitorObjectType& type, int id,
                           KvbString& errorText) {
  MetadataRecord* item = context()->includedRecord(type.typeName, type.idColumn,
                                                   KvbString::fromInt(id));
  KvbString done;
  if (!item || item->getValue(type.idColumn, done)) return true;
  auto* manager = new MonitorObjectManagerImpl(owner_, type);
  const bool result = manager->exportContent(monitor_, id, item, errorText);
  manager->release();
  item->setUUID(value(item, "UUID"));
  event(2, kvbStringFormat("Including %s \"%S\" with task", type.word,
                           value(item, type.nameColumn)));
  return result;
}

bool TaskMetadata::importTask(int folderId, KvbString& errorText) {
  if (!made(monitor_, "Task", errorText) || !made(common_, "Task", errorText))
    return false;
  folderId_ = folderId;
  if (!monitor_->clearTaskRules(objectId_))
    return failWith(errorText, "Error clearing existing task: " +
                                   monitor_->getErrorMessage().str());
  return importRuleMembers(errorText) && importRuleEvents(errorText);
}

bool TaskMetadata::importMonitorObject(const MonitorObjectType& type,
                                       MetadataRecord* item, int& id,
                                       KvbString& errorText) {
  if (context()->getIntProperty(item, "TARGETID", id)) return true;
  auto* manager = new MonitorObjectManagerImpl(owner_, type);
  const bool result =
      manager->importNewObject(item, folderId_, "", errorText) &&
      context()->getIntProperty(item, "TARGETID", id);
  manager->release();
  return result;
}

bool TaskMetadata::importRuleMembers(KvbString& errorText) {
  MetadataRecordIterator* items = record_->getChildRecords("JobRuleMembers");
  if (!items) {
    logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__,
              "No task rules found to import.");
    return true;
  }
  bool result = true;
  while (result && items->next()) {
    MetadataRecord* item = items->current();
    // A member without a dimension or threshold takes the default one.
    int ruleId = -1, dimId = 1, thrId = 1;
    const KvbString thr = value(item, "THR_ID"), dim = value(item, "DIM_ID");
    MetadataRecord* rule =
        context()->includedRecord("Rule", "RU_ID", value(item, "RU_ID"));
    if (!thr.isEmpty())
      result = importMonitorObject(
          kThresholdType, context()->includedRecord("Threshold", "THR_ID", thr),
          thrId, errorText);
    if (result && !dim.isEmpty())
      result = importMonitorObject(
          kDimensionType, context()->includedRecord("Dimension", "DIM_ID", dim),
          dimId, errorText);
    if (result && rule)
      result = importDependentRule(rule, folderId_, "task", ruleId, nullptr,
                                   errorText);
    if (!result || ruleId <= 0) continue;
    double weight = 1.0;
    item->getRealValue("WGHT", weight);
    if (!monitor_->addTaskRuleMember(objectId_, ruleId, dimId, thrId, weight))
      result = failWith(errorText, "Error adding rule to task: " +
                                       monitor_->getErrorMessage().str());
    else
      result = createDashboardMappings(dimId, thrId, errorText);
  }
  items->release();
  return result;
}

bool TaskMetadata::createDashboardMappings(int dimId, int thrId,
                                           KvbString& errorText) {
  std::vector<int> groups;
  if (!eachRow(
          monitor_->listReportGroups(-1, ""),
          [&](ReposDataAccessCursor* row) {
            groups.push_back(row->getInt(row->getColumnIndex("GRP_ID")));
            return true;
          },
          errorText))
    return false;
  for (int group : groups) {
    bool mapped = false;
    if (!eachRow(
            monitor_->listDimensionGroups(dimId, group),
            [&](ReposDataAccessCursor* row) {
              mapped = row->getInt(row->getColumnIndex("THR_ID")) == thrId;
              return !mapped;
            },
            errorText))
      return false;
    if (mapped) continue;
    logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__,
              "Creating dashboard mapping dimension=%d, threshold=%d, "
              "reportgroup=%d",
              dimId, thrId, group);
    if (!monitor_->addDimensionToGroup(group, dimId, thrId, 1.0))
      return failWith(errorText, "Unable to create threshold mapping: " +
                                     monitor_->getErrorMessage().str());
  }
  return true;
}

bool TaskMetadata::importRuleEvents(KvbString& errorText) {
  MetadataRecordIterator* items = record_->getChildRecords("RuleEvents");
  if (!items) {
    logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__,
              "No task rule-events found to import.");
    return true;
  }
  bool result = true;
  for (int seq = 0; result && items->next(); ++seq) {
    MetadataRecord* item = items->current();
    int ruleId = -1;
    MetadataRecordIterator* rules = item->getChildRecords("Rule");
    if (rules && rules->next())
      result = importDependentRule(rules->current(), folderId_, "task", ruleId,
                                   nullptr, errorText);
    if (rules) rules->release();
    if (result && ruleId != -1 &&
        !monitor_->addRuleEvent(objectId_, ruleId, seq, value(item, "EV_CODE"),
                                value(item, "EV_DATA")))
      result = failWith(errorText, "Error adding rule-event to task: " +
                                       monitor_->getErrorMessage().str());
  }
  items->release();
  return result;
}
