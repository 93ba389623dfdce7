// MetadataObject: the frame of the per-type metadata objects that fill a
// record on export and read it on import. It holds the owner, the
// repository, the common data access, the object's id and UUID and, on
// import, the record; the custom-metric steps that rules and custom
// metrics share, and the dependent-rule step of tasks and profile jobs.
#ifndef IMPEXP_REPMETACOMMONIMPL_H_
#define IMPEXP_REPMETACOMMONIMPL_H_

#include <functional>

#include "impexp/repobjectmgr.h"
#include "kvbase/kvbase.h"

class CommonRepositoryDataAccess;
class MetadataRecord;
class MetadataSerializationContext;
class ReposDataAccessCursor;
class Repository;
class RepositoryImportExportManagerImpl;

class MetadataObject {
 public:
  // Export: the object `objectId` with `uuid`.
  MetadataObject(RepositoryImportExportManagerImpl* owner, int objectId,
                 const KvbString& uuid);
  // Import: the object that the record's TARGETID and TARGETUUID name.
  MetadataObject(RepositoryImportExportManagerImpl* owner,
                 MetadataRecord* record);
  virtual ~MetadataObject();
  MetadataObject(const MetadataObject&) = delete;
  MetadataObject& operator=(const MetadataObject&) = delete;

  // Adds the "Fields" section of custom metric `cmId` to `record`.
  bool exportCustomMetricFields(MetadataRecord* record, int cmId,
                                KvbString& errorText);
  // Adds to custom metric `cmId` the fields of the record's "Fields"
  // section that it lacks (name and type, without regard to case).
  bool importCustomMetricFields(MetadataRecord* record, int cmId,
                                KvbString& errorText);
  // Finds (by the record's TARGETID, then by name) or creates the custom
  // metric that an embedded record describes; its id goes to cmId.
  bool importEmbeddedCustomMetric(MetadataRecord* record, int& cmId,
                                  KvbString& errorText);
  // Finds (by the item's TARGETID, then UUID, then name) or creates, in
  // `folderId`, the rule that an embedded "Rule" item describes; its id
  // goes to ruleId and, when asked, the name it has in the repository to
  // ruleName. `holder` names the importing type in error texts.
  bool importDependentRule(MetadataRecord* item, int folderId,
                           const char* holder, int& ruleId, KvbString* ruleName,
                           KvbString& errorText);

 protected:
  MetadataSerializationContext* context() const;
  void event(int level, const KvbString& text);
  // Sends `text` as an error event, puts it into errorText, answers false.
  bool failWith(KvbString& errorText, const KvbString& text);
  // True when the data access `access` that the object's steps work through
  // was made; else noDataAccess's text for this object of `typeName`
  // through failWith.
  template <class Access>
  bool made(const Access* access, const char* typeName, KvbString& errorText) {
    return access || failWith(errorText, noDataAccess(typeName, objectId_));
  }
  // The same with the data access's error text after `prefix`.
  bool failData(KvbString& errorText, const char* prefix);
  // failData for rows that cannot be read.
  bool failRead(KvbString& errorText);
  // Reads every row of `rows` through `each` (which may stop the walk by
  // answering false) and releases the cursor. False for a null cursor or a
  // read error, with the data access's text in errorText.
  bool eachRow(ReposDataAccessCursor* rows,
               const std::function<bool(ReposDataAccessCursor*)>& each,
               KvbString& errorText);
  // Writes the first row of `rows` (released here) into `record` in
  // column order: 1 when there was one, 0 when not, -1 on failure (with
  // errorText).
  int readFirstRow(ReposDataAccessCursor* rows, MetadataRecord* record,
                   KvbString& errorText);
  // Sets every column of the current row as a value of `record`; in
  // ascending order of column name when `sorted`.
  static void setRowValues(MetadataRecord* record, ReposDataAccessCursor* row,
                           bool sorted);
  static KvbString value(MetadataRecord* record, const char* key);

  RepositoryImportExportManagerImpl* owner_;
  Repository* repository_;
  CommonRepositoryDataAccess* common_;
  int objectId_ = 0;
  KvbString uuid_;
  MetadataRecord* record_ = nullptr;
};

#endif  // IMPEXP_REPMETACOMMONIMPL_H_
