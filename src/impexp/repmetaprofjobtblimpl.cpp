// The business rules and custom metrics of a profile job's tables: their
// JTBLRU/JTBLMA and JTBLME/JCMDMA rows, with the rules and custom metrics
// they use carried along and, on import, reused or created.
#include "impexp/repimpexpmgr.h"
#include "impexp/repmetacustmimpl.h"
#include "impexp/repmetaprofjobimpl.h"
#include "impexp/repmetaruleimpl.h"
#include "reposadmin/profile_data_access.h"
#include "reposadmin/repos_data_access.h"

namespace {
int intValue(MetadataRecord* item, const char* key, int otherwise) {
  int out = otherwise;
  return item->getIntValue(key, out) ? out : otherwise;
}
}  // namespace

bool ProfileJobMetadata::exportTableRules(MetadataRecord* table, int tblId,
                                          KvbString& errorText) {
  static const Section rules = {
      "TableRules",
      "TableRule",
      "SEQ_ID",
      true,
      "BR_NAME",
      "Included table rule \"%S\".",
      "No Profile Job table business rules found to export."};
  static const Section fields = {"TableRuleFields",
                                 "TableRuleField",
                                 nullptr,
                                 true,
                                 nullptr,
                                 nullptr,
                                 "No Profile Job tables found to export."};
  return exportSection(
      table, rules, profile_->listJobTableRules(tblId),
      [&](MetadataRecord* tableRule, int sequenceId) {
        const KvbString name = value(tableRule, "BR_NAME");
        MetadataRecord* rule =
            context()->includedRecord("Rule", "RU_DESC", name);
        if (!rule) return true;
        KvbString done, reason;
        // A rule that several tables use is written once. One that is gone
        // travels by its name alone; one that cannot be read fails the
        // export.
        if (!rule->getValue("RU_ID", done)) {
          rule->setValue("RU_DESC", name);
          RuleMetadata metadata(owner_, -1, "");
          if (metadata.exportRuleContent(rule, reason) < 0) {
            errorText = reason;
            return false;
          }
          rule->setUUID(value(rule, "RU_UUID"));
        }
        event(2, kvbStringFormat("Included dependent rule \"%S\".", name));
        tableRule->addChildRecord("Rules", rule);
        return exportSection(
            tableRule, fields,
            profile_->listJobRuleFieldMappings(
                tblId, intValue(rule, "RU_ID", -1), sequenceId),
            [&](MetadataRecord* field, int) {
              event(3, kvbStringFormat("Including field from Rule/Table "
                                       "mapping \"%S\" to \"%S\".",
                                       value(field, "BR_FLD"),
                                       value(field, "FLD_NAME")));
              return true;
            },
            errorText);
      },
      errorText);
}

bool ProfileJobMetadata::exportTableMetrics(MetadataRecord* table, int tblId,
                                            KvbString& errorText) {
  static const Section metrics = {
      "TableMetrics",
      "TableMetric",
      nullptr,
      false,
      "CM_NAME",
      "Table metric name=%S",
      "No Profile Job table metrics found to export."};
  static const Section maps = {"TableMetricFieldMaps",
                               "TableMetricFieldMap",
                               nullptr,
                               false,
                               nullptr,
                               nullptr,
                               "No Profile Job table metrics found to export."};
  return exportSection(
      table, metrics, profile_->listJobTableMetrics(tblId),
      [&](MetadataRecord* item, int) {
        const int cmId = intValue(item, "CM_ID", -1);
        if (cmId < 0) return true;
        MetadataRecord* metric = context()->includedRecord(
            "CustomMetric", "CM_ID", KvbString::fromInt(cmId));
        KvbString done;
        if (!metric) return true;
        // A custom metric that several tables use is written once.
        if (!metric->getValue("CM_ID", done)) {
          CustomMetricMetadata metadata(owner_, cmId, "");
          if (!metadata.exportCustomMetric(metric, errorText)) return false;
        }
        item->addChildRecord("CustomMetrics", metric);
        return exportSection(
            item, maps, profile_->listJobCustomMetricMappings(objectId_, tblId),
            [&](MetadataRecord* map, int) {
              event(3, kvbStringFormat("Table metric \"%S\" mapping field=%S",
                                       value(map, "CM_NAME"),
                                       value(map, "CM_FLD")));
              return true;
            },
            errorText,
            [&](ReposDataAccessCursor* row) {
              return intColumn(row, "CM_ID") == cmId;
            });
      },
      errorText);
}

bool ProfileJobMetadata::importTableRules(MetadataRecord* table, int tblId,
                                          KvbString& errorText) {
  return importSection(
      table, "TableRules",
      "No Profile Job table business rules found to import.",
      [&](MetadataRecord* item, int) {
        int ruleId = -1;
        KvbString name = value(item, "BR_NAME");
        bool ok = importSection(
            item, "Rules", nullptr, [&](MetadataRecord* rule, int) {
              return importDependentRule(rule, folderId_, "profile", ruleId,
                                         &name, errorText);
            });
        if (ruleId <= 0)
          return failWith(errorText,
                          kvbStringFormat("Error finding business rule for "
                                          "table to insert into profile "
                                          "job: %S",
                                          value(item, "BR_NAME")));
        const int sequenceId = profile_->addJobTableRule(
            objectId_, tblId, ruleId, name, intValue(item, "LOG_FLAG", 0),
            intValue(item, "LOG_TH", 0), value(item, "BR_UID"));
        if (sequenceId == -1)
          return failProfile(errorText,
                             "Error inserting table rule into profile job: %S");
        event(2, kvbStringFormat(
                     "Successful import of table rule=\"%S\" for profile "
                     "table.",
                     name));
        context()->setIntProperty(item, "TARGETID", sequenceId);
        return ok && importTableRuleFields(item, tblId, ruleId, sequenceId,
                                           errorText);
      });
}

bool ProfileJobMetadata::importTableRuleFields(MetadataRecord* tableRule,
                                               int tblId, int ruleId,
                                               int sequenceId,
                                               KvbString& errorText) {
  return importSection(
      tableRule, "TableRuleFields",
      "No Profile Job rule field mappings found to import.",
      [&](MetadataRecord* f, int) {
        const KvbString ruleField = value(f, "BR_FLD");
        const KvbString field = value(f, "FLD_NAME");
        const int jobId = objectId_;
        const int found = anyRow(
            profile_->listJobRuleFieldMappings(tblId, ruleId, sequenceId),
            [&](ReposDataAccessCursor* row) {
              return intColumn(row, "SU_ID") == jobId &&
                     column(row, "BR_FLD").equals(ruleField, true) &&
                     column(row, "FLD_NAME").equals(field, true);
            },
            errorText);
        if (found < 0) return false;
        if (found == 1) {
          inserted(
              "Using existing rule field mapping=\"%S\", br "
              "field==\"%S\".",
              f, "FLD_NAME", "BR_FLD");
          return true;
        }
        if (!profile_->addJobRuleFieldMapping(objectId_, sequenceId, tblId,
                                              ruleId, value(f, "BR_NAME"),
                                              field, ruleField))
          return failProfile(
              errorText,
              "Error inserting rule field mapping into profile job: %S");
        inserted("Inserted rule field mapping=\"%S\", br field=\"%S\".", f,
                 "FLD_NAME", "BR_FLD");
        return true;
      });
}

bool ProfileJobMetadata::importTableMetrics(MetadataRecord* table, int tblId,
                                            KvbString& errorText) {
  return importSection(
      table, "TableMetrics",
      "No Profile Job table metrics were found to import.",
      [&](MetadataRecord* item, int) {
        int cmId = -1;
        const KvbString key = value(item, "CM_ID");
        MetadataRecord* metric =
            key.isEmpty()
                ? nullptr
                : context()->includedRecord("CustomMetric", "CM_ID", key);
        if (metric && !importEmbeddedCustomMetric(metric, cmId, errorText))
          return false;
        const KvbString name = value(item, "CM_NAME");
        const KvbString uid = value(item, "CM_UID");
        if (cmId == -1)
          return failWith(errorText,
                          kvbStringFormat("Error adding table metrics to "
                                          "profile job, unable to find "
                                          "custom metric name=%S",
                                          name));
        // A table metric that is there already takes the field maps under
        // its own sequence id.
        int sequenceId = -1;
        const int found = anyRow(
            profile_->listJobTableMetrics(tblId),
            [&](ReposDataAccessCursor* row) {
              if (intColumn(row, "CM_ID") != cmId ||
                  !column(row, "CM_UID").equals(uid, true))
                return false;
              sequenceId = intColumn(row, "SEQ_ID");
              return true;
            },
            errorText);
        if (found < 0) return false;
        if (found == 1) {
          inserted("Using existing profile table metric name=\"%S\".", item,
                   "CM_NAME");
        } else {
          sequenceId =
              profile_->addJobTableMetric(objectId_, tblId, cmId, name, uid);
          if (sequenceId == -1)
            return failProfile(errorText,
                               "Error adding table metrics to profile job: %S");
          context()->setIntProperty(item, "TARGETID", sequenceId);
          inserted("Inserted profile table metric name=\"%S\".", item,
                   "CM_NAME");
        }
        return importTableMetricFieldMaps(item, tblId, cmId, sequenceId,
                                          errorText);
      });
}

bool ProfileJobMetadata::importTableMetricFieldMaps(MetadataRecord* tableMetric,
                                                    int tblId, int cmId,
                                                    int sequenceId,
                                                    KvbString& errorText) {
  return importSection(
      tableMetric, "TableMetricFieldMaps",
      "No Profile Job table custom metric fields were found to import.",
      [&](MetadataRecord* m, int) {
        const KvbString input = value(m, "CM_IN");
        const KvbString output = value(m, "CM_OUT");
        auto sameOrEmpty = [](const KvbString& stored, const KvbString& mine) {
          return stored.isEmpty() || stored.equals(mine, true);
        };
        const int found = anyRow(
            profile_->listJobCustomMetricMappings(objectId_, tblId),
            [&](ReposDataAccessCursor* row) {
              return column(row, "CM_NAME").equals(value(m, "CM_NAME"), true) &&
                     column(row, "CM_TYPE").equals(value(m, "CM_TYPE"), true) &&
                     column(row, "CM_FLD").equals(value(m, "CM_FLD"), true) &&
                     sameOrEmpty(column(row, "CM_IN"), input) &&
                     sameOrEmpty(column(row, "CM_OUT"), output);
            },
            errorText);
        if (found < 0) return false;
        if (found == 1) {
          inserted(
              "Using existing table custom metric field map for profile "
              "job: name=%S",
              m, "CM_NAME");
          return true;
        }
        if (!profile_->addJobCustomMetricFieldMapping(
                objectId_, tblId, cmId, sequenceId, value(m, "CM_NAME"), input,
                output, value(m, "CM_FLD"), value(m, "CM_TYPE")))
          return failProfile(errorText,
                             "Error adding table custom metric field map to "
                             "profile job: %S");
        inserted("Insert profile table metric \"%S\" field \"%S\".", m,
                 "CM_NAME", "CM_FLD");
        return true;
      });
}
