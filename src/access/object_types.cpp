// The object-type registry.
#include "access/object_types.h"

#include <cstring>

namespace {

// The global names of the types, set when the library is loaded.
const ReposObjectType kTypes[] = {
    {"DataExploration", "MPRJ", "PRJ_ID", "PRJ_UUID", "FLDR_ID", "PRJ_NM",
     "PRJ_COMM", "PRJ_DATE", "PCUSER", "PMDATE", "PMUSER"},
    {"ProfileJob", "JSETUP", "SU_ID", "SU_UUID", "FLDR_ID", "SU_NAME",
     "SU_DESC", "SU_CRDAT", "SU_CRUSR", "SU_EDDAT", "SU_EDUSR"},
    {"Rule", "RULE", "RU_ID", "RU_UUID", "FLDR_ID", "RU_DESC", "RU_COMM",
     "RU_CRDAT", "RU_CRUSR", "RU_EDDAT", "RU_USER"},
    {"Task", "MJOB", "JB_ID", "JB_CODE", "FLDR_ID", "JB_DESC", "JB_COMM",
     "JB_CRDAT", "JB_CRUSR", "JB_EDDAT", "JB_EDUSR"},
    {"Source", "EXSRC", "ES_ID", "ES_UUID", "FLDR_ID", "ES_NAME", "ES_DESC",
     "ES_CRDAT", "ES_CRUSR", "ES_EDDAT", "ES_EDUSR"},
    {"Dimension", "DIMENS", "DIM_ID", "UUID", "FLDR_ID", "DIM_NAME",
     "DIM_DESC", "CRDAT", "CRUSR", "EDDAT", "EDUSR"},
    {"Dashboard", "RPTGRP", "GRP_ID", "UUID", "FLDR_ID", "GRP_NAME",
     "GRP_DESC", "CRDAT", "CRUSR", "EDDAT", "EDUSR"},
    {"Threshold", "THRHLD", "THR_ID", "UUID", "FLDR_ID", "THR_NAME",
     "THR_DESC", "CRDAT", "CRUSR", "EDDAT", "EDUSR"},
};

}  // namespace

const char* ReposObjectType::column(const KvbString& key) const {
  const struct {
    const char* key;
    const char* column;
  } columns[] = {{"Id", id},
                 {"UUID", uuid},
                 {"FolderId", folderId},
                 {"Name", objectName},
                 {"Desc", description},
                 {"CreatedDate", createdDate},
                 {"CreatedUser", createdUser},
                 {"ModifiedDate", modifiedDate},
                 {"ModifiedUser", modifiedUser}};
  for (const auto& c : columns)
    if (key == c.key) return c.column;
  return nullptr;
}

const ReposObjectType* reposObjectTypes(int* count) {
  if (count) *count = static_cast<int>(sizeof kTypes / sizeof kTypes[0]);
  return kTypes;
}

const ReposObjectType* findObjectType(const KvbString& name) {
  for (const ReposObjectType& type : kTypes)
    if (name == type.name) return &type;
  return nullptr;
}
