// The metadata-object frame and the custom-metric steps of rules and custom
// metrics.
#include "impexp/repmetacommonimpl.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "access/base_rdaimpl.h"
#include "impexp/repimpexpmgr.h"
#include "impexp/repmetaruleimpl.h"
#include "impexp/repobjectmgr.h"
#include "kvreposres/kvreposres.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/repository.h"
#include "schema/log_printf.h"
#include "services/scan_rows.h"

namespace {
const char kSourceFile[] = "repmetacommonimpl";
}  // namespace

MetadataObject::MetadataObject(RepositoryImportExportManagerImpl* owner,
                               int objectId, const KvbString& uuid)
    : owner_(owner),
      repository_(owner->repository()),
      common_(repository_ ? quietly(repository_->createCommonDataAccess())
                          : nullptr),
      objectId_(objectId),
      uuid_(uuid) {}

MetadataObject::MetadataObject(RepositoryImportExportManagerImpl* owner,
                               MetadataRecord* record)
    : MetadataObject(owner, 0, KvbString()) {
  record_ = record;
  context()->getProperty(record, "TARGETUUID", uuid_);
  context()->getIntProperty(record, "TARGETID", objectId_);
}

MetadataObject::~MetadataObject() {
  if (common_) common_->release();
}

MetadataSerializationContext* MetadataObject::context() const {
  return owner_->context();
}

void MetadataObject::event(int level, const KvbString& text) {
  context()->logEvent(level, text);
}

bool MetadataObject::failWith(KvbString& errorText, const KvbString& text) {
  event(0, text);
  errorText = text;
  return false;
}

bool MetadataObject::failData(KvbString& errorText, const char* prefix) {
  return failWith(errorText, KvbString(prefix) + common_->getErrorMessage());
}

bool MetadataObject::eachRow(
    ReposDataAccessCursor* rows,
    const std::function<bool(ReposDataAccessCursor*)>& each,
    KvbString& errorText) {
  return scanRows(rows, each) >= 0 || failRead(errorText);
}

bool MetadataObject::failRead(KvbString& errorText) {
  return failData(errorText, "Unable to read the repository: ");
}

int MetadataObject::readFirstRow(ReposDataAccessCursor* rows,
                                 MetadataRecord* record, KvbString& errorText) {
  const int found = scanRows(rows, [&](ReposDataAccessCursor* row) {
    setRowValues(record, row, false);
    return false;
  });
  if (found < 0) failRead(errorText);
  return found;
}

void MetadataObject::setRowValues(MetadataRecord* record,
                                  ReposDataAccessCursor* row, bool sorted) {
  std::vector<std::pair<std::string, KvbString>> columns;
  for (int i = 0; i < row->getNumCols(); ++i)
    columns.emplace_back(row->getColName(i).str(), row->getString(i));
  if (sorted) std::sort(columns.begin(), columns.end());
  for (auto& column : columns)
    record->setValue(KvbString(column.first), column.second);
}

KvbString MetadataObject::value(MetadataRecord* record, const char* key) {
  KvbString out;
  record->getValue(key, out);
  return out;
}

bool MetadataObject::exportCustomMetricFields(MetadataRecord* record, int cmId,
                                              KvbString& errorText) {
  return eachRow(
      common_->listCustomMetricFields(cmId),
      [&](ReposDataAccessCursor* row) {
        MetadataRecord* child =
            context()->createRecord("CustomMetricField", kvbGetUUID());
        setRowValues(child, row, true);
        record->addChildRecord("Fields", child);
        event(3, kvbStringFormat(
                     "Including custom metric field in export, name=%S",
                     value(child, "CM_FLDNM")));
        return true;
      },
      errorText);
}

namespace {
// The key of a custom-metric field: name and type, without regard to case.
std::string fieldKey(const KvbString& name, const KvbString& type) {
  KvbString key = type.isNull() ? name : name + "_" + type.str();
  return key.toLower().str();
}
}  // namespace

bool MetadataObject::importCustomMetricFields(MetadataRecord* record, int cmId,
                                              KvbString& errorText) {
  MetadataRecordIterator* children = record->getChildRecords("Fields");
  if (!children) {
    logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__,
              "No custom metric fields found to import.");
    return true;
  }
  std::set<std::string> known;
  bool result = eachRow(
      common_->listCustomMetricFields(cmId),
      [&](ReposDataAccessCursor* row) {
        known.insert(fieldKey(row->getString(0), row->getString(1)));
        return true;
      },
      errorText);
  while (result && children->next()) {
    MetadataRecord* child = children->current();
    const KvbString name = value(child, "CM_FLDNM");
    const KvbString type = value(child, "CM_TYPE");
    if (!known.insert(fieldKey(name, type)).second) continue;
    event(2, kvbStringFormat("Creating custom metric field \"%S\", type=%S "
                             "for custom metric import.",
                             name, type));
    if (!common_->addCustomMetricField(cmId, name, type))
      result = failData(errorText, "Error creating field for custom metric: ");
  }
  children->release();
  return result;
}

bool MetadataObject::importEmbeddedCustomMetric(MetadataRecord* record,
                                                int& cmId,
                                                KvbString& errorText) {
  if (!record) return true;
  if (!made(common_, "CustomMetric", errorText)) return false;
  cmId = -1;
  context()->getIntProperty(record, "TARGETID", cmId);
  if (cmId >= 0) return true;
  const KvbString name = value(record, "CM_DESC");
  // Every custom metric has a name; an empty one would match any of them.
  if (name.isEmpty())
    return failWith(errorText, "An embedded custom metric has no name");
  KvbString reason;
  if (!importTurnTaken(repository_, "CUSTM", reason))
    return failWith(errorText, reason);
  if (!eachRow(
          common_->listCustomMetrics(name),
          [&](ReposDataAccessCursor* row) {
            cmId = row->getInt(0);
            return false;
          },
          errorText))
    return false;
  if (cmId == -1) {
    event(2,
          kvbStringFormat("Creating custom metric \"%S\" for import.", name));
    cmId = common_->addCustomMetric(name, value(record, "CM_PREXP"),
                                    value(record, "CM_EXP"),
                                    value(record, "CM_POSTXP"));
    if (cmId <= 0) {
      cmId = -1;
      return failData(errorText, "Error creating custom metric for import: ");
    }
  } else {
    event(2, kvbStringFormat("Using existing custom metric \"%S\" for import.",
                             name));
  }
  const bool result = importCustomMetricFields(record, cmId, errorText);
  context()->setIntProperty(record, "TARGETID", cmId);
  return result;
}

bool MetadataObject::importDependentRule(MetadataRecord* item, int folderId,
                                         const char* holder, int& ruleId,
                                         KvbString* ruleName,
                                         KvbString& errorText) {
  ruleId = -1;
  const KvbString failure =
      kvbStringFormat("Error inserting rule for %s: ", holder);
  if (!item)
    return failWith(errorText,
                    failure + "Attempt to persist non-existent rule.");
  KvbString name = value(item, "RU_DESC");
  if (ruleName) *ruleName = name;
  if (context()->getIntProperty(item, "TARGETID", ruleId)) return true;
  if (!common_) return failWith(errorText, failure + "no data access");
  const KvbString uuid = value(item, "RU_UUID");
  KvbString reason;
  if (!importTurnTaken(repository_, "RULE", reason))
    return failWith(errorText, failure + reason);
  for (const KvbString& key : {uuid, KvbString("")}) {
    // By the UUID first, then by the name. The UUID lookup is given no
    // name: one that fails must fail the import, not be answered by name.
    // Without a name or a UUID there is nothing to look up.
    const int found =
        name.isEmpty() && key.isEmpty()
            ? 0
            : scanRows(common_->findRule(-1, nameToLookUp(name, key), key),
                       [&](ReposDataAccessCursor* row) {
                         ruleId = row->getInt(row->getColumnIndex("RU_ID"));
                         if (ruleName)
                           *ruleName =
                               row->getString(row->getColumnIndex("RU_DESC"));
                         return false;
                       });
    if (found < 0) return failData(errorText, failure.str().c_str());
    if (found == 1) {
      logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__,
                "Rule %S with UUID=%S already exists.", name, uuid);
      context()->setIntProperty(item, "TARGETID", ruleId);
      return true;
    }
    if (name.isEmpty()) break;
  }
  if (name.isEmpty()) name = uuid;
  KvbString normalized;
  if (isInvalidCharInName(name) && getNormalizedNameValue(name, normalized)) {
    event(2, kvbStringFormat(
                 "Changing target dependent rule name from \"%S\" to \"%S\".",
                 name, normalized));
    name = normalized;
  }
  event(1, kvbStringFormat("Creating dependent rule \"%S\".", name));
  ruleId = common_->addRule(
      name, value(item, "RU_TYPE"), value(item, "RU_EXPR"),
      value(item, "RU_GROUP"), value(item, "RU_META"), getOSUserName(), uuid,
      folderId, value(item, "RU_COMM"), value(item, "RU_DISP"));
  if (ruleId <= 0) {
    ruleId = -1;
    return failData(errorText, failure.str().c_str());
  }
  if (ruleName) *ruleName = name;
  context()->setIntProperty(item, "TARGETID", ruleId);
  context()->setProperty(item, "TARGETUUID", uuid);
  RuleMetadata rule(owner_, item);
  return rule.importRuleContent(errorText);
}
