// Export and import of a collection's content.
#include "impexp/repmetacollimpl.h"

#include "impexp/repimpexpmgr.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/repos_data_access.h"

bool CollectionMetadata::exportCollection(MetadataRecord* record,
                                          KvbString& errorText) {
  if (!made(common_, "Collection", errorText)) return false;
  if (record->getUUID().isEmpty()) record->setUUID(kvbGetUUID());
  const int found =
      readFirstRow(common_->getGlobalCategory(objectId_), record, errorText);
  if (found < 0) return false;
  if (found == 0) {
    event(0, kvbStringFormat("Unable to find collection object with id=%d",
                             objectId_));
    errorText = "A collection was not found to export.";
    return false;
  }
  event(3, kvbStringFormat("Global category (Collection) name=%S",
                           value(record, "GCNAME")));
  return eachRow(
             common_->listGlobalCategoryDefinitions(objectId_),
             [&](ReposDataAccessCursor* row) {
               MetadataRecord* child = context()->includedRecord(
                   "GlobalCategoryDefinition", "DEF_ID",
                   row->getString(row->getColumnIndex("DEF_ID")));
               if (!child) return true;
               setRowValues(child, row, true);
               record->addChildRecord("CategoryDefitions", child);
               return true;
             },
             errorText) &&
         eachRow(
             common_->listGlobalCategoryFields(objectId_, "", "", "", ""),
             [&](ReposDataAccessCursor* row) {
               MetadataRecord* child =
                   context()->createRecord("GlobalCategoryField", kvbGetUUID());
               setRowValues(child, row, true);
               record->addChildRecord("CategoryFields", child);
               return true;
             },
             errorText);
}

bool CollectionMetadata::importCollection(KvbString& errorText) {
  if (!made(common_, "Collection", errorText)) return false;
  return importDefinitions(errorText) && importFields(errorText);
}

namespace {
int intValue(MetadataRecord* record, const char* key) {
  int out = 0;
  record->getIntValue(key, out);
  return out;
}
}  // namespace

bool CollectionMetadata::importDefinitions(KvbString& errorText) {
  MetadataRecordIterator* children =
      record_->getChildRecords("CategoryDefitions");
  if (!children) return true;
  bool result = true;
  while (children->next()) {
    MetadataRecord* child = children->current();
    event(2, kvbStringFormat(
                 "Creating global category (Collection) definition \"%S\".",
                 value(child, "QM_NM")));
    if (common_->addGlobalCategoryDefinition(
            objectId_, value(child, "DEF_LOC"), intValue(child, "QM_ID"),
            value(child, "QM_NM"), intValue(child, "TKN_ID"),
            value(child, "TKN_NM"), value(child, "TKN_DESC")) == -1)
      result =
          failData(errorText, "Unable to create global category definition: ");
  }
  children->release();
  return result;
}

bool CollectionMetadata::importFields(KvbString& errorText) {
  MetadataRecordIterator* children = record_->getChildRecords("CategoryFields");
  if (!children) return true;
  bool result = true;
  while (children->next()) {
    MetadataRecord* child = children->current();
    bool include = false;
    child->getBoolValue("MAP_INC", include);
    event(2,
          kvbStringFormat("Creating global category (Collection) field\"%S\".",
                          value(child, "MAP_FLD")));
    if (!common_->addGlobalCategoryField(
            objectId_, value(child, "MAP_DSN"), value(child, "MAP_CAT"),
            value(child, "MAP_SCH"), value(child, "MAP_TBL"),
            value(child, "MAP_FLD"), include, value(child, "FLD_TYPE"),
            intValue(child, "FLD_LEN"), intValue(child, "FLD_POS")))
      result = failData(errorText, "Unable to create global category field: ");
  }
  children->release();
  return result;
}
