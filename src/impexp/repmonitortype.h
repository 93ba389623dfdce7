// MonitorObjectType: what differs between the three flat monitoring object
// types that travel as export records of their own (sources, dimensions,
// thresholds): their names, key columns and data-access calls.
#ifndef IMPEXP_REPMONITORTYPE_H_
#define IMPEXP_REPMONITORTYPE_H_

#include "kvbase/kvbase.h"

class MetadataRecord;
class MonitorRepositoryDataAccess;
class ReposDataAccessCursor;

struct MonitorObjectType {
  const char* typeName;    // "Source"
  const char* word;        // "source", in messages
  const char* idColumn;    // ES_ID
  const char* nameColumn;  // ES_NAME
  const char* uuidColumn;  // ES_UUID
  // Look-up by id when above 0, else by UUID when given, else by name.
  ReposDataAccessCursor* (*find)(MonitorRepositoryDataAccess*, int id,
                                 const KvbString& name, const KvbString& uuid);
  // Adds the object of `record` under `name`; its id goes to *newId.
  bool (*add)(MonitorRepositoryDataAccess*, MetadataRecord* record,
              const KvbString& name, const KvbString& user, int folderId,
              int* newId);
  // Writes the record over object `id` under `name`.
  bool (*update)(MonitorRepositoryDataAccess*, MetadataRecord* record, int id,
                 const KvbString& name, const KvbString& user, int folderId);
  bool (*remove)(MonitorRepositoryDataAccess*, int id);
  // Sources match by UUID only when the record has one, and take the
  // stored UUID; dimensions and thresholds fall back to the name.
  bool matchByNameToo;
};

extern const MonitorObjectType kSourceType;
extern const MonitorObjectType kDimensionType;
extern const MonitorObjectType kThresholdType;

#endif  // IMPEXP_REPMONITORTYPE_H_
