// TaskMetadata: a task in a "Task" record: its MJOB row, its rule members
// and rule events, with the rules, dimensions and thresholds they use as
// included records; written on export and applied on import, where the
// dependent objects are reused or created and each member's dimension is
// mapped onto every dashboard.
#ifndef IMPEXP_REPMETATASKIMPL_H_
#define IMPEXP_REPMETATASKIMPL_H_

#include "impexp/repmetacommonimpl.h"

class MonitorRepositoryDataAccess;
struct MonitorObjectType;

class TaskMetadata : public MetadataObject {
 public:
  TaskMetadata(RepositoryImportExportManagerImpl* owner, int objectId,
               const KvbString& uuid);
  TaskMetadata(RepositoryImportExportManagerImpl* owner,
               MetadataRecord* record);
  ~TaskMetadata() override;

  // Fills `record` with the task; one that does not exist is a failure.
  bool exportTask(MetadataRecord* record, KvbString& errorText);
  // Replaces the members and events of the task of TARGETID with those of
  // the record; new rules, dimensions and thresholds go into `folderId`.
  bool importTask(int folderId, KvbString& errorText);

 private:
  bool exportRuleMembers(MetadataRecord* record, KvbString& errorText);
  bool exportRuleEvents(MetadataRecord* record, KvbString& errorText);
  // The included record of rule `ruleId`, filled once per export; null on
  // failure.
  MetadataRecord* includeRule(int ruleId, KvbString& errorText);
  bool include(const MonitorObjectType& type, int id, KvbString& errorText);
  bool importRuleMembers(KvbString& errorText);
  bool importRuleEvents(KvbString& errorText);
  // The id of the dimension or threshold an included record stands for,
  // reused or created.
  bool importMonitorObject(const MonitorObjectType& type, MetadataRecord* item,
                           int& id, KvbString& errorText);
  bool createDashboardMappings(int dimId, int thrId, KvbString& errorText);

  MonitorRepositoryDataAccess* monitor_;
  int folderId_ = 0;
};

#endif  // IMPEXP_REPMETATASKIMPL_H_
