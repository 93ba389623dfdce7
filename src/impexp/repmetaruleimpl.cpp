// Export and import of a rule's content.
#include "impexp/repmetaruleimpl.h"

#include "impexp/repimpexpmgr.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "schema/log_printf.h"

namespace {
const char kSourceFile[] = "repmetaruleimpl";
}  // namespace

int RuleMetadata::exportRuleContent(MetadataRecord* record,
                                    KvbString& errorText) {
  if (!made(common_, "Rule", errorText)) return -1;
  const KvbString name = value(record, "RU_DESC");
  const KvbString uuid = record->getUUID();
  // Without an id, a UUID or a name there is nothing to look up (findRule
  // answers null without a reason of its own): the rule is not found.
  const bool keyed = objectId_ > 0 || !uuid.isEmpty() || !name.isEmpty();
  const int found = keyed
                        ? readFirstRow(common_->findRule(objectId_, name, uuid),
                                       record, errorText)
                        : 0;
  if (found < 0) return -1;
  if (found == 0) {
    const KvbString text = kvbStringFormat(
        "Unable to export rule, object not found with name=\"%S\" id=%d", name,
        objectId_);
    logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__, "%S", text);
    failWith(errorText, text);
    return 0;
  }
  value(record, "RU_ID").toInt(objectId_);
  return exportRuleFields(record, errorText) &&
                 exportRuleCustomMetrics(record, errorText)
             ? 1
             : -1;
}

bool RuleMetadata::exportRuleFields(MetadataRecord* record,
                                    KvbString& errorText) {
  return eachRow(
      common_->listRuleFields(objectId_),
      [&](ReposDataAccessCursor* row) {
        const KvbString name = row->getString(0);
        MetadataRecord* child =
            context()->includedRecord("Field", "FI_NAME", name);
        if (!child) return true;
        setRowValues(child, row, true);
        record->addChildRecord("Fields", child);
        event(3, kvbStringFormat(
                     "Including field in rule export, field name=%S", name));
        return true;
      },
      errorText);
}

bool RuleMetadata::exportRuleCustomMetrics(MetadataRecord* record,
                                           KvbString& errorText) {
  bool result = true;
  return eachRow(
             common_->listRuleCustomMetrics(objectId_),
             [&](ReposDataAccessCursor* row) {
               const int cmId = row->getInt(0);
               // One record per rule and custom metric: the field mappings
               // and the position belong to this rule, not to the custom
               // metric that other rules may share.
               MetadataRecord* child =
                   context()->createRecord("CustomMetric", kvbGetUUID());
               setRowValues(child, row, true);
               record->addChildRecord("CustomMetrics", child);
               event(3, kvbStringFormat(
                            "Including custom metric in rule export, name=%S",
                            value(child, "CM_DESC")));
               result = exportCustomMetricFields(child, cmId, errorText) &&
                        exportCustomMetricFieldMappings(child, cmId, errorText);
               return result;
             },
             errorText) &&
         result;
}

bool RuleMetadata::exportCustomMetricFieldMappings(MetadataRecord* cmRecord,
                                                   int cmId,
                                                   KvbString& errorText) {
  return eachRow(
      common_->listCustomMetricFieldMap(objectId_, cmId),
      [&](ReposDataAccessCursor* row) {
        MetadataRecord* child =
            context()->createRecord("CustomMetricFieldMap", kvbGetUUID());
        setRowValues(child, row, true);
        cmRecord->addChildRecord("CustomMetricFieldMappings", child);
        return true;
      },
      errorText);
}

bool RuleMetadata::importRuleContent(KvbString& errorText) {
  if (!made(common_, "Rule", errorText)) return false;
  if (!common_->deleteRuleLinks(objectId_))
    return failData(errorText, "Error clearing existing rule: ");
  return importRuleFields(errorText) && importRuleCustomMetrics(errorText);
}

bool RuleMetadata::importRuleFields(KvbString& errorText) {
  MetadataRecordIterator* children = record_->getChildRecords("Fields");
  if (!children) {
    logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__,
              "No rule fields found to import.");
    return true;
  }
  bool result = true;
  while (result && children->next()) {
    MetadataRecord* child = children->current();
    const KvbString name = value(child, "FI_NAME");
    // addRuleField adds a field the repository lacks, with this description.
    if (!common_->addRuleField(objectId_, name, value(child, "FI_DESC")))
      result = failData(errorText, "Error adding field mapping to rule: ");
  }
  children->release();
  return result;
}

bool RuleMetadata::importRuleCustomMetrics(KvbString& errorText) {
  MetadataRecordIterator* children = record_->getChildRecords("CustomMetrics");
  if (!children) return true;
  bool result = true;
  int seq = 1;
  while (result && children->next()) {
    MetadataRecord* child = children->current();
    int cmId = -1;
    if (!importEmbeddedCustomMetric(child, cmId, errorText)) {
      result = false;
      break;
    }
    child->getIntValue("RM_SEQ", seq);
    if (!common_->addRuleCustomMetric(objectId_, cmId, seq)) {
      result = failData(errorText, "Error mapping custom metric to Rule: ");
    } else {
      event(2, kvbStringFormat("Adding custom metric \"%S\" to Rule.",
                               value(child, "CM_DESC")));
      result = importCustomMetricFieldMappings(child, cmId, errorText);
    }
    ++seq;
  }
  children->release();
  return result;
}

bool RuleMetadata::importCustomMetricFieldMappings(MetadataRecord* cmRecord,
                                                   int cmId,
                                                   KvbString& errorText) {
  MetadataRecordIterator* children =
      cmRecord->getChildRecords("CustomMetricFieldMappings");
  if (!children) {
    logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__,
              "No custom metric field mappings found to import.");
    return true;
  }
  bool result = true;
  while (result && children->next()) {
    MetadataRecord* child = children->current();
    int seq = 0;
    child->getIntValue("RM_SEQ", seq);
    const KvbString field = value(child, "FI_NAME");
    const KvbString cmField = value(child, "CM_FLDNM");
    const KvbString cmType = value(child, "CM_TYPE");
    bool exists = false;
    result = eachRow(
        common_->listCustomMetricFieldMap(objectId_, cmId),
        [&](ReposDataAccessCursor* row) {
          exists = row->getInt(row->getColumnIndex("RM_SEQ")) == seq &&
                   row->getString(row->getColumnIndex("FI_NAME"))
                       .equals(field, true) &&
                   row->getString(row->getColumnIndex("CM_FLDNM"))
                       .equals(cmField, true) &&
                   row->getString(row->getColumnIndex("CM_TYPE"))
                       .equals(cmType, true);
          return !exists;
        },
        errorText);
    if (!result) break;
    if (exists) {
      event(3, kvbStringFormat("Using existing custom metric \"%S\" to field "
                               "mapping \"%S\" for Rule import",
                               cmField, field));
    } else if (common_->addCustomMetricFieldMap(objectId_, cmId, seq, field,
                                                cmField, cmType)) {
      event(2, kvbStringFormat("Creating custom metric \"%S\" to field "
                               "mapping \"%S\" for Rule import.",
                               cmField, field));
    } else {
      result = failData(errorText,
                        "Error creating field mapping for custom metric: ");
    }
  }
  children->release();
  return result;
}
