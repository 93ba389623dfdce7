// ProfileJobMetadata: a profile job as a "ProfileJob" record tree: the job's
// JSETUP row, its data sources with their tables and fields (and the
// fields' metrics, properties and links, the tables' business rules and
// custom metrics with the rules and custom metrics themselves), its charts and
// alerts with their properties, its key/value settings and global metrics, and
// its redundant-data configurations with the fields mapped to them. Import
// clears the target job's definition rows and writes the record's sections
// under the target's ids.
#ifndef IMPEXP_REPMETAPROFJOBIMPL_H_
#define IMPEXP_REPMETAPROFJOBIMPL_H_

#include <functional>

#include "impexp/repmetacommonimpl.h"

class ProfileRepositoryDataAccess;

class ProfileJobMetadata : public MetadataObject {
 public:
  // Export of job `jobId`, read through `profile` (not owned).
  ProfileJobMetadata(RepositoryImportExportManagerImpl* owner, int jobId,
                     const KvbString& uuid,
                     ProfileRepositoryDataAccess* profile);
  // Import of `record` into job `jobId` (the record's TARGETID when not
  // above 0), written through `profile` (not owned).
  ProfileJobMetadata(RepositoryImportExportManagerImpl* owner,
                     MetadataRecord* record, int jobId,
                     ProfileRepositoryDataAccess* profile);

  // Fills `job` with the job's row and sections; a job that cannot be read
  // is a failure.
  bool exportJob(MetadataRecord* job, KvbString& errorText);
  // Replaces the target job's definition rows by the record's sections.
  bool importJob(int folderId, KvbString& errorText);

 private:
  // The shape of an exported section: its name and item type, the key
  // column of keyed items (null for items with a fresh UUID), whether the
  // values go in ascending column order, the column shown in the event,
  // the event text and the log line when the section has no rows.
  struct Section {
    const char* name;
    const char* itemType;
    const char* keyColumn;
    bool sorted;
    const char* displayColumn;
    const char* displayText;
    const char* noRowsText;
  };
  // The child sections of an exported item with the row's key (-1 for
  // fresh items).
  using Children = std::function<bool(MetadataRecord*, int)>;
  using RowFilter = std::function<bool(ReposDataAccessCursor*)>;
  // Rows that `keep` refuses are left out. Rows that cannot be read (a null
  // cursor among them) fail the export, with the reason in errorText: a
  // section left out would pass for an empty one.
  bool exportSection(MetadataRecord* parent, const Section& section,
                     ReposDataAccessCursor* rows, const Children& children,
                     KvbString& errorText, const RowFilter& keep = nullptr);
  // Runs `each` on the items of `section` of `parent` (with the 1-based
  // position in the section) until one answers false.
  bool importSection(MetadataRecord* parent, const char* section,
                     const char* absentText,
                     const std::function<bool(MetadataRecord*, int)>& each);
  // Found, missing or failed: 1 when `rows` (released here) hold a row that
  // `match` accepts, 0 when not, -1 when they cannot be read (the reason
  // then in errorText).
  int anyRow(ReposDataAccessCursor* rows, const RowFilter& match,
             KvbString& errorText);
  // The text of column `name` of the current row; empty when none.
  static KvbString column(ReposDataAccessCursor* row, const char* name);
  // Its integer; -1 when there is no such column.
  static int intColumn(ReposDataAccessCursor* row, const char* name);
  // anyRow for a row whose `nameColumn` equals `name` (without regard to
  // case unless `exactCase`); its `idColumn` goes to `id`.
  int findRow(ReposDataAccessCursor* rows, const char* nameColumn,
              const KvbString& name, const char* idColumn, int* id,
              KvbString& errorText, bool exactCase = false);
  // An event at level 3 with `format` and the item's values of `keys`.
  void inserted(const char* format, MetadataRecord* item, const char* key,
                const char* secondKey = nullptr);
  // `format` with the profile data access's error text, as a failure.
  bool failProfile(KvbString& errorText, const char* format);

  bool exportDsns(MetadataRecord* job, KvbString& errorText);
  bool exportTables(MetadataRecord* dsn, int dsnId, KvbString& errorText);
  bool exportFields(MetadataRecord* table, int dsnId, int tblId,
                    KvbString& errorText);
  bool exportCharts(MetadataRecord* job, KvbString& errorText);
  bool exportTableRules(MetadataRecord* table, int tblId, KvbString& errorText);
  bool exportTableMetrics(MetadataRecord* table, int tblId,
                          KvbString& errorText);
  bool exportAlerts(MetadataRecord* job, KvbString& errorText);

  bool importDsns(KvbString& errorText);
  bool importTables(MetadataRecord* dsn, int dsnId, KvbString& errorText);
  bool importFields(MetadataRecord* table, int dsnId, int tblId,
                    KvbString& errorText);
  bool importFieldChildren(MetadataRecord* field, int dsnId, int tblId,
                           int fldId, KvbString& errorText);
  bool importCharts(KvbString& errorText);
  bool importTableRules(MetadataRecord* table, int tblId, KvbString& errorText);
  bool importTableRuleFields(MetadataRecord* tableRule, int tblId, int ruleId,
                             int sequenceId, KvbString& errorText);
  bool importTableMetrics(MetadataRecord* table, int tblId,
                          KvbString& errorText);
  bool importTableMetricFieldMaps(MetadataRecord* tableMetric, int tblId,
                                  int cmId, int sequenceId,
                                  KvbString& errorText);
  bool importAlerts(KvbString& errorText);
  bool importSettings(KvbString& errorText);
  // The redundant-data configurations, then the fields mapped to them.
  bool importRdaConfigs(KvbString& errorText);

  ProfileRepositoryDataAccess* profile_;
  int folderId_ = 0;
};

#endif  // IMPEXP_REPMETAPROFJOBIMPL_H_
