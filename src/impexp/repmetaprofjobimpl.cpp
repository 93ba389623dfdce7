// Export and import of a profile job's record tree.
#include "impexp/repmetaprofjobimpl.h"

#include "impexp/repimpexpmgr.h"
#include "reposadmin/profile_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "schema/log_printf.h"
#include "services/scan_rows.h"

namespace {
const char kSourceFile[] = "repmetaprofjobimpl";

int intValue(MetadataRecord* item, const char* key) {
  int out = 0;
  return item->getIntValue(key, out) ? out : 0;
}
}  // namespace

ProfileJobMetadata::ProfileJobMetadata(RepositoryImportExportManagerImpl* owner,
                                       int jobId, const KvbString& uuid,
                                       ProfileRepositoryDataAccess* profile)
    : MetadataObject(owner, jobId, uuid), profile_(profile) {}

ProfileJobMetadata::ProfileJobMetadata(RepositoryImportExportManagerImpl* owner,
                                       MetadataRecord* record, int jobId,
                                       ProfileRepositoryDataAccess* profile)
    : MetadataObject(owner, record), profile_(profile) {
  if (jobId > 0) objectId_ = jobId;
}

bool ProfileJobMetadata::exportSection(
    MetadataRecord* parent, const Section& section, ReposDataAccessCursor* rows,
    const Children& children, KvbString& errorText, const RowFilter& keep) {
  bool ok = true;
  const int found = scanRows(rows, [&](ReposDataAccessCursor* row) {
    if (keep && !keep(row)) return true;
    int id = -1;
    MetadataRecord* item = nullptr;
    if (section.keyColumn) {
      const int column = row->getColumnIndex(section.keyColumn);
      if (column >= 0) id = row->getInt(column);
      item = context()->includedRecord(section.itemType, section.keyColumn,
                                       KvbString::fromInt(id));
    } else {
      item = context()->createRecord(section.itemType, kvbGetUUID());
    }
    if (!item) return true;
    setRowValues(item, row, section.sorted);
    parent->addChildRecord(section.name, item);
    if (section.displayText)
      event(3, kvbStringFormat(section.displayText,
                               value(item, section.displayColumn)));
    if (children) ok = children(item, id);
    return ok;
  });
  if (found < 0) return failRead(errorText);
  if (found == 0 && section.noRowsText)
    logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__, "%s",
              section.noRowsText);
  return ok;
}

bool ProfileJobMetadata::importSection(
    MetadataRecord* parent, const char* section, const char* absentText,
    const std::function<bool(MetadataRecord*, int)>& each) {
  MetadataRecordIterator* items = parent->getChildRecords(section);
  if (!items) {
    if (absentText)
      logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__, "%s",
                absentText);
    return true;
  }
  bool ok = true;
  for (int position = 1; ok && items->next(); ++position) {
    MetadataRecord* item = items->current();
    if (item) ok = each(item, position);
  }
  items->release();
  return ok;
}

int ProfileJobMetadata::anyRow(ReposDataAccessCursor* rows,
                               const RowFilter& match, KvbString& errorText) {
  bool matched = false;
  const int read = scanRows(rows, [&](ReposDataAccessCursor* row) {
    matched = match(row);
    return !matched;
  });
  if (read < 0) {
    failRead(errorText);
    return -1;
  }
  return matched ? 1 : 0;
}

KvbString ProfileJobMetadata::column(ReposDataAccessCursor* row,
                                     const char* name) {
  const int at = row->getColumnIndex(name);
  return at >= 0 ? row->getString(at) : KvbString();
}

int ProfileJobMetadata::intColumn(ReposDataAccessCursor* row,
                                  const char* name) {
  const int at = row->getColumnIndex(name);
  return at >= 0 ? row->getInt(at) : -1;
}

int ProfileJobMetadata::findRow(ReposDataAccessCursor* rows,
                                const char* nameColumn, const KvbString& name,
                                const char* idColumn, int* id,
                                KvbString& errorText, bool exactCase) {
  return anyRow(
      rows,
      [&](ReposDataAccessCursor* row) {
        if (!column(row, nameColumn).equals(name, !exactCase)) return false;
        if (id) *id = idColumn ? intColumn(row, idColumn) : -1;
        return true;
      },
      errorText);
}

void ProfileJobMetadata::inserted(const char* format, MetadataRecord* item,
                                  const char* key, const char* secondKey) {
  event(3, secondKey ? kvbStringFormat(format, value(item, key),
                                       value(item, secondKey))
                     : kvbStringFormat(format, value(item, key)));
}

bool ProfileJobMetadata::failProfile(KvbString& errorText, const char* format) {
  return failWith(errorText,
                  kvbStringFormat(format, profile_->getErrorMessage()));
}

// --- Export ---------------------------------------------------------------

bool ProfileJobMetadata::exportJob(MetadataRecord* job, KvbString& errorText) {
  const int found =
      readFirstRow(profile_->getProfileJobById(objectId_), job, errorText);
  if (found < 0) return false;
  if (found == 0) {
    // An export of a job that is not there must not report success.
    event(0, kvbStringFormat("Unable to find profile job object with id=%d",
                             objectId_));
    errorText = "A profile job was not found to export.";
    return false;
  }
  static const Section keyValues = {
      "KeyValues",
      "KeyValue",
      nullptr,
      false,
      "SU_KEY",
      "Key/value UUID=%S",
      "No Profile Job key/values found to export."};
  static const Section globalMetrics = {
      "GlobalMetrics",
      "GlobalMetric",
      nullptr,
      false,
      "MET_NAME",
      "Global Metric name=%S",
      "No Profile Job global metrics found to export."};
  static const Section fieldCfgs = {
      "FieldCfgs",
      "FieldCfg",
      nullptr,
      true,
      nullptr,
      nullptr,
      "No Profile Job Field Cfgs found to export."};
  static const Section rdaCfgs = {"RDACfgs",
                                  "RDACfg",
                                  "CFG_ID",
                                  true,
                                  "CFG_NAME",
                                  "RDA CFG name=%S",
                                  "No Profile Job RDA Cfgs found to export."};
  return exportCharts(job, errorText) && exportAlerts(job, errorText) &&
         exportDsns(job, errorText) &&
         exportSection(
             job, fieldCfgs, profile_->listJobFieldRdaMaps(objectId_, -1),
             [&](MetadataRecord* item, int) {
               event(3,
                     kvbStringFormat("RDA field config=%S", item->getUUID()));
               return true;
             },
             errorText) &&
         exportSection(job, globalMetrics,
                       profile_->listJobGlobalMetrics(objectId_), nullptr,
                       errorText) &&
         exportSection(job, keyValues, profile_->listJobKeyValues(objectId_),
                       nullptr, errorText) &&
         exportSection(job, rdaCfgs, profile_->listJobRdaConfigs(objectId_),
                       nullptr, errorText);
}

bool ProfileJobMetadata::exportDsns(MetadataRecord* job, KvbString& errorText) {
  static const Section dsns = {"DSNs",
                               "DSN",
                               "DSN_ID",
                               true,
                               "DSN_NAME",
                               "Data source name=%S",
                               "No Profile Job DSNs found to export."};
  return exportSection(
      job, dsns, profile_->listJobDsns(objectId_),
      [&](MetadataRecord* dsn, int dsnId) {
        return exportTables(dsn, dsnId, errorText);
      },
      errorText);
}

bool ProfileJobMetadata::exportTables(MetadataRecord* dsn, int dsnId,
                                      KvbString& errorText) {
  static const Section tables = {"Tables",
                                 "Table",
                                 "TBL_ID",
                                 false,
                                 "TBL_NAME",
                                 "Table name=%S",
                                 "No Profile Job tables found to export."};
  return exportSection(
      dsn, tables, profile_->listJobTables(dsnId),
      [&](MetadataRecord* table, int tblId) {
        return exportTableMetrics(table, tblId, errorText) &&
               exportFields(table, dsnId, tblId, errorText) &&
               exportTableRules(table, tblId, errorText);
      },
      errorText);
}

bool ProfileJobMetadata::exportFields(MetadataRecord* table, int dsnId,
                                      int tblId, KvbString& errorText) {
  static const Section fields = {
      "Fields",
      "Field",
      "FLD_ID",
      true,
      "FLD_NAME",
      "Table field name=%S",
      "No Profile Job table fields found to export."};
  static const Section metrics = {
      "FieldMetrics",
      "FieldMetric",
      nullptr,
      false,
      "MET_NAME",
      "Table field metric name=%S",
      "No Profile Job field metrics found to export."};
  static const Section properties = {
      "FieldProperties",
      "FieldProperty",
      nullptr,
      false,
      "PRP_NAME",
      "Field property name=%S",
      "No Profile Job field properties found to export."};
  static const Section links = {
      "FieldLinks", "FieldLink", nullptr,
      true,         "LNK_NAME",  "Table field key analysis name=%S",
      nullptr};
  return exportSection(
      table, fields, profile_->listJobFields(dsnId, tblId),
      [&](MetadataRecord* field, int fldId) {
        return exportSection(field, metrics,
                             profile_->listJobFieldMetrics(dsnId, tblId, fldId),
                             nullptr, errorText) &&
               exportSection(
                   field, properties,
                   profile_->listJobFieldProperties(dsnId, tblId, fldId),
                   nullptr, errorText) &&
               exportSection(field, links,
                             profile_->listJobLinkedFields(fldId, ""), nullptr,
                             errorText);
      },
      errorText);
}

bool ProfileJobMetadata::exportCharts(MetadataRecord* job,
                                      KvbString& errorText) {
  static const Section charts = {"JobCharts",
                                 "Chart",
                                 "CH_ID",
                                 true,
                                 "CH_DESC",
                                 "Chart desc=%S",
                                 "No Profile Job Charts found to export."};
  static const Section properties = {
      "ChartProperties", "ChartProperty", nullptr, true,
      nullptr,           nullptr,         nullptr};
  return exportSection(
      job, charts, profile_->listJobCharts(objectId_),
      [&](MetadataRecord* chart, int chartId) {
        return chartId < 0 ||
               exportSection(chart, properties,
                             profile_->listJobChartProperties(chartId), nullptr,
                             errorText);
      },
      errorText);
}

bool ProfileJobMetadata::exportAlerts(MetadataRecord* job,
                                      KvbString& errorText) {
  static const Section alerts = {"Alerts",
                                 "Alert",
                                 "AL_ID",
                                 true,
                                 "AL_DESC",
                                 "Alert configuration desc=%S",
                                 "No Profile Job Alerts found to export."};
  static const Section properties = {"AlertProperties",
                                     "AlertProperty",
                                     nullptr,
                                     true,
                                     "AP_NAME",
                                     "Alert property name=%S",
                                     "No Profile Job Alerts found to export."};
  return exportSection(
      job, alerts, profile_->listJobAlerts(objectId_),
      [&](MetadataRecord* alert, int alertId) {
        return exportSection(alert, properties,
                             profile_->listJobAlertProperties(alertId), nullptr,
                             errorText);
      },
      errorText);
}

// --- Import ---------------------------------------------------------------

bool ProfileJobMetadata::importJob(int folderId, KvbString& errorText) {
  folderId_ = folderId;
  if (!record_) return true;
  if (!profile_->deleteProfileJobDetails(objectId_))
    return failProfile(errorText,
                       "Error clearing existing profile job for import: %S");
  return importCharts(errorText) && importAlerts(errorText) &&
         importDsns(errorText) && importSettings(errorText) &&
         importRdaConfigs(errorText);
}

bool ProfileJobMetadata::importDsns(KvbString& errorText) {
  return importSection(
      record_, "DSNs", "No Profile Job DSNs found to import.",
      [&](MetadataRecord* dsn, int) {
        const KvbString name = value(dsn, "DSN_NAME");
        // The job's first data source of exactly this name.
        int dsnId = -1;
        const int found = findRow(profile_->listJobDsns(objectId_), "DSN_NAME",
                                  name, "DSN_ID", &dsnId, errorText, true);
        if (found < 0) return false;
        if (found == 1 && dsnId != -1) {
          event(3,
                kvbStringFormat(
                    "Use existing DSN for profile import, DSN=\"%S\".", name));
        } else {
          dsnId = profile_->addJobDsn(objectId_, name, value(dsn, "DSN_CONN"),
                                      value(dsn, "DSN_TEXT"));
          if (dsnId == -1)
            return failProfile(errorText,
                               "Error inserting DSN into profile job: %S");
          event(3, kvbStringFormat("Successful import of DSN=\"%S\".", name));
        }
        context()->setIntProperty(dsn, "TARGETID", dsnId);
        return importTables(dsn, dsnId, errorText);
      });
}

bool ProfileJobMetadata::importTables(MetadataRecord* dsn, int dsnId,
                                      KvbString& errorText) {
  return importSection(
      dsn, "Tables", "No Profile Job DSN tables found to import.",
      [&](MetadataRecord* t, int) {
        const int tblId = profile_->addJobTable(
            objectId_, dsnId, value(t, "TBL_CAT"), value(t, "TBL_SCH"),
            value(t, "TBL_NAME"), value(t, "FLTR"), value(t, "FLTR_E"),
            value(t, "FLTR_S"), intValue(t, "SAMP_INT"), value(t, "FNAME"),
            value(t, "DELIM"), value(t, "TXT_QUAL"), intValue(t, "SKIP_ROW"),
            intValue(t, "REC_WDTH"), intValue(t, "MAX_ROW"), value(t, "TRUNC"),
            intValue(t, "EOL"), intValue(t, "ENC"), value(t, "USE_BOM"));
        if (tblId == -1)
          return failProfile(errorText,
                             "Error inserting table into profile job: %S");
        context()->setIntProperty(t, "TARGETID", tblId);
        inserted("Successful import of Table=\"%S\" for profile.", t,
                 "TBL_NAME");
        return importFields(t, dsnId, tblId, errorText) &&
               importTableRules(t, tblId, errorText) &&
               importTableMetrics(t, tblId, errorText);
      });
}

bool ProfileJobMetadata::importFields(MetadataRecord* table, int dsnId,
                                      int tblId, KvbString& errorText) {
  return importSection(
      table, "Fields", "No Profile Job table fields were found to import.",
      [&](MetadataRecord* f, int) {
        const KvbString name = value(f, "FLD_NAME");
        int fldId = -1;
        const int found =
            findRow(profile_->listJobFields(dsnId, tblId), "FLD_NAME", name,
                    "FLD_ID", &fldId, errorText);
        if (found < 0) return false;
        if (found == 1 && fldId != -1) {
          inserted("Using existing table field for profile job, name=%S", f,
                   "FLD_NAME");
        } else {
          fldId = profile_->addJobField(objectId_, dsnId, tblId, name,
                                        value(f, "MET_OVRD"),
                                        intValue(f, "ORD_POS"));
          if (fldId == -1)
            return failProfile(
                errorText, "Error inserting job field into profile job: %S");
          inserted("Inserted table field into profile job, name=%S", f,
                   "FLD_NAME");
        }
        context()->setIntProperty(f, "TARGETID", fldId);
        return importFieldChildren(f, dsnId, tblId, fldId, errorText);
      });
}

bool ProfileJobMetadata::importFieldChildren(MetadataRecord* field, int dsnId,
                                             int tblId, int fldId,
                                             KvbString& errorText) {
  const bool metrics = importSection(
      field, "FieldMetrics", "No Profile Job field metrics found to import.",
      [&](MetadataRecord* m, int) {
        const int found = findRow(
            profile_->listJobFieldMetrics(dsnId, tblId, fldId), "MET_NAME",
            value(m, "MET_NAME"), nullptr, nullptr, errorText);
        if (found < 0) return false;
        if (found == 1) {
          inserted(
              "Using existing profile field metric name=\"%S\", "
              "value=\"%S\".",
              m, "MET_NAME", "MET_VAL");
          return true;
        }
        if (!profile_->addJobFieldMetric(objectId_, dsnId, tblId, fldId,
                                         value(m, "MET_NAME"),
                                         value(m, "MET_VAL")))
          return failProfile(
              errorText,
              "Error inserting job field metrics into profile job: %S");
        inserted("Inserted profile field metric name=\"%S\", value=\"%S\".", m,
                 "MET_NAME", "MET_VAL");
        return true;
      });
  const bool properties =
      metrics &&
      importSection(
          field, "FieldProperties",
          "No Profile Job field properties found to import.",
          [&](MetadataRecord* p, int) {
            const int found = findRow(
                profile_->listJobFieldProperties(dsnId, tblId, fldId),
                "PRP_NAME", value(p, "PRP_NAME"), nullptr, nullptr, errorText);
            if (found < 0) return false;
            if (found == 1) {
              inserted(
                  "Using existing field property name=\"%S\", "
                  "value=\"%S\".",
                  p, "PRP_NAME", "PRP_VAL");
              return true;
            }
            if (!profile_->addJobFieldProperty(objectId_, dsnId, tblId, fldId,
                                               value(p, "PRP_NAME"),
                                               value(p, "PRP_VAL")))
              return failProfile(errorText,
                                 "Error inserting job field properties into "
                                 "profile job: %S");
            inserted("Inserted field property name=\"%S\", value=\"%S\".", p,
                     "PRP_NAME", "PRP_VAL");
            return true;
          });
  return properties &&
         importSection(
             field, "FieldLinks", nullptr, [&](MetadataRecord* l, int) {
               if (!profile_->addJobLinkedField(
                       objectId_, fldId, value(l, "LNK_DSN"),
                       value(l, "LNK_CAT"), value(l, "LNK_SCH"),
                       value(l, "LNK_TBL"), value(l, "LNK_NAME"),
                       value(l, "LNK_TYPE"), value(l, "LNK_TEXT")))
                 return failProfile(errorText,
                                    "Error inserting job field links "
                                    "into profile job: %S");
               inserted("Inserted field link name=\"%S\".", l, "LNK_NAME");
               return true;
             });
}

bool ProfileJobMetadata::importCharts(KvbString& errorText) {
  return importSection(
      record_, "JobCharts", "No Profile Job Charts found to import.",
      [&](MetadataRecord* c, int) {
        const KvbString description = value(c, "CH_DESC");
        int chartId = -1;
        const int found =
            description.isEmpty()
                ? 0
                : findRow(profile_->listJobCharts(objectId_), "CH_DESC",
                          description, "CH_ID", &chartId, errorText);
        if (found < 0) return false;
        if (found == 1) {
          event(2, kvbStringFormat("Found existing chart %S", description));
        } else {
          chartId = profile_->addJobChart(
              objectId_, value(c, "CH_DSN"), value(c, "CH_CAT"),
              value(c, "CH_SCH"), value(c, "CH_TBL"), value(c, "CH_FLD"),
              value(c, "CH_FLTR"), description, value(c, "CH_TEXT"));
          if (chartId == -1)
            return failProfile(errorText,
                               "Error inserting chart into profile job: %S");
          context()->setIntProperty(c, "TARGETID", chartId);
          inserted("Inserted profile chart name=\"%S\".", c, "CH_DESC");
        }
        return chartId == -1 ||
               importSection(
                   c, "ChartProperties", nullptr,
                   [&](MetadataRecord* p, int sequence) {
                     if (!profile_->addJobChartProperty(
                             objectId_, chartId, value(p, "CP_NAME"), sequence,
                             value(p, "CP_VAL")))
                       return failProfile(errorText,
                                          "Error inserting chart property into "
                                          "profile job: %S");
                     inserted("Inserted profile chart property name=\"%S\".", p,
                              "CP_NAME");
                     return true;
                   });
      });
}

bool ProfileJobMetadata::importAlerts(KvbString& errorText) {
  return importSection(
      record_, "Alerts", "No Profile Job Alerts found to import.",
      [&](MetadataRecord* a, int) {
        const int alertId = profile_->addJobAlert(
            objectId_, value(a, "AL_DSN"), value(a, "AL_CAT"),
            value(a, "AL_SCH"), value(a, "AL_TBL"), value(a, "AL_FLD"),
            value(a, "AL_FLTR"), value(a, "AL_DESC"), value(a, "AL_RULE"),
            value(a, "AL_TEXT"), value(a, "AL_TYPE"), value(a, "AL_UID"));
        if (alertId == -1)
          return failProfile(errorText,
                             "Error inserting alert into profile job: %S");
        context()->setIntProperty(a, "TARGETID", alertId);
        inserted("Inserted profile alert name=\"%S\".", a, "AL_DESC");
        return importSection(
            a, "AlertProperties", "No Profile Job Alerts found to import.",
            [&](MetadataRecord* p, int) {
              if (!profile_->setJobAlertProperty(objectId_, alertId,
                                                 value(p, "AP_NAME"),
                                                 value(p, "AP_VAL")))
                return failProfile(errorText,
                                   "Error inserting alert property into "
                                   "profile job: %S");
              inserted("Inserted profile alert property name=\"%S\".", p,
                       "AP_NAME");
              return true;
            });
      });
}

bool ProfileJobMetadata::importSettings(KvbString& errorText) {
  const bool metrics = importSection(
      record_, "GlobalMetrics",
      "No Profile Job global metrics found to import.",
      [&](MetadataRecord* m, int) {
        const int found =
            findRow(profile_->listJobGlobalMetrics(objectId_), "MET_NAME",
                    value(m, "MET_NAME"), nullptr, nullptr, errorText);
        if (found < 0) return false;
        if (found == 1) {
          inserted(
              "Existing profile global metric was found, name=\"%S\", "
              "value=\"%S\".",
              m, "MET_NAME", "MET_VAL");
          return true;
        }
        if (!profile_->addJobGlobalMetric(objectId_, value(m, "MET_NAME"),
                                          value(m, "MET_VAL")))
          return failProfile(
              errorText, "Error inserting global metric for profile job: %S");
        inserted("Inserted profile global metric, name=\"%S\", value=\"%S\".",
                 m, "MET_NAME", "MET_VAL");
        return true;
      });
  return metrics &&
         importSection(
             record_, "KeyValues", "No Profile Job Key/Values found to import.",
             [&](MetadataRecord* k, int) {
               const int found =
                   findRow(profile_->listJobKeyValues(objectId_), "SU_KEY",
                           value(k, "SU_KEY"), nullptr, nullptr, errorText);
               if (found < 0) return false;
               if (found == 1) {
                 inserted(
                     "Found existing profile key/value key=\"%S\", "
                     "value=\"%S\".",
                     k, "SU_KEY", "SU_VAL");
                 return true;
               }
               if (!profile_->addJobKeyValue(objectId_, value(k, "SU_KEY"),
                                             value(k, "SU_VAL")))
                 return failProfile(
                     errorText,
                     "Error inserting key/values for profile job: %S");
               inserted("Inserted profile key/value key=\"%S\", value=\"%S\".",
                        k, "SU_KEY", "SU_VAL");
               return true;
             });
}

bool ProfileJobMetadata::importRdaConfigs(KvbString& errorText) {
  const bool configs =
      importSection(record_, "RDACfgs", nullptr, [&](MetadataRecord* c, int) {
        const KvbString name = value(c, "CFG_NAME");
        int configId = -1;
        // Of several equal configurations, the last one read.
        const int found = scanRows(
            profile_->findJobRdaConfig(objectId_, name, value(c, "MC_DEF"),
                                       value(c, "MC_SENS"), value(c, "MC_LOC")),
            [&](ReposDataAccessCursor* row) {
              configId = intColumn(row, "CFG_ID");
              return true;
            });
        if (found < 0) return failRead(errorText);
        if (configId > 0) {
          inserted("Found existing profile RDA configuration, name=\"%S\".", c,
                   "CFG_NAME");
        } else {
          configId = profile_->addJobRdaConfig(
              objectId_, name, value(c, "CFG_DESC"), value(c, "MC_DEF"),
              value(c, "MC_SENS"), value(c, "MC_LOC"));
          if (configId <= 0)
            return failProfile(
                errorText,
                "Error inserting RDA configuration for profile job: %S");
          inserted("Inserted profile RDA configuration, name=\"%S\".", c,
                   "CFG_NAME");
        }
        context()->setIntProperty(c, "TARGETID", configId);
        return true;
      });
  // A field mapping names its configuration by the exported CFG_ID; one
  // whose configuration was not imported is skipped.
  return configs &&
         importSection(
             record_, "FieldCfgs", "No Profile Job field cfgs found to import.",
             [&](MetadataRecord* f, int) {
               const KvbString oldId = value(f, "CFG_ID");
               MetadataRecord* config =
                   oldId.isEmpty()
                       ? nullptr
                       : context()->includedRecord("RDACfg", "CFG_ID", oldId);
               int configId = -1;
               if (!config ||
                   !context()->getIntProperty(config, "TARGETID", configId) ||
                   configId < 0)
                 return true;
               if (!profile_->addJobFieldRdaMap(
                       objectId_, configId, value(f, "FLD_DSN"),
                       value(f, "FLD_CAT"), value(f, "FLD_SCH"),
                       value(f, "FLD_TBL"), value(f, "FLD_NAME"),
                       value(f, "DSN_TYPE")))
                 return failProfile(
                     errorText, "Error RDA field mapping for profile job: %S");
               inserted(
                   "Inserted/Updated profile RDA field mapping name=\"%S\".", f,
                   "FLD_NAME");
               return true;
             });
}
