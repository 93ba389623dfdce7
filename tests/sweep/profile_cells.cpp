// The sweep's cells of the profile interface: job definitions, reports,
// runs and their results, and the rows of loads. A job definition's writes
// refuse a parent that is not a row of the job; the writes of reports, runs
// and results check no parent keys, as its header says: such an add that
// names a missing parent stores its row.
#include "sweep/write_sweep.h"

namespace {

const int kNo = 99999;
// An id that no row has, also after the parent cells stored rows that name
// kNo.
const int kGone = 88888;

bool setup(Sweep& s, std::string* error) {
  ProfileRepositoryDataAccess* p = s.profile;
  s.id["job"] =
      p->addProfileJob("Sweep job", "", "job-uuid", 0, 0, "u", "u", 0);
  s.id["job2"] = p->addProfileJob("Sweep job 2", "", "", 0, 0, "u", "u", 0);
  // A job definition's rows, for the cells of texts that its writes check
  // after their parents.
  const int job = s.id["job"];
  s.id["jdsn"] = p->addJobDsn(job, "Sweep dsn", "c", "");
  s.id["jtable"] = p->addJobTable(job, s.id["jdsn"], "", "", "t", "", "", "", 0,
                                  "", "", "", 0, 0, 0, "N", 0, 0, "N");
  s.id["jfield"] =
      p->addJobField(job, s.id["jdsn"], s.id["jtable"], "f", "", 1);
  s.id["jconfig"] = p->addJobRdaConfig(job, "Sweep config", "", "d", "1", "en");
  s.id["jchart"] = p->addJobChart(job, "d", "", "", "t", "f", "", "", "");
  s.id["jrule"] = s.common->addRule("Sweep profile rule", "", "", "", "", "u",
                                    "", 0, "", "");
  // A rule that no table rule names yet: a table rule of an existing pair
  // answers the stored one and writes no text.
  s.id["jrule2"] = s.common->addRule("Sweep profile rule 2", "", "", "", "",
                                     "u", "", 0, "", "");
  s.id["jmetric"] =
      s.common->addCustomMetric("Sweep profile metric", "", "", "");
  s.id["jtrule"] =
      p->addJobTableRule(job, s.id["jtable"], s.id["jrule"], "r", 0, 0, "");
  s.id["jtmetric"] =
      p->addJobTableMetric(job, s.id["jtable"], s.id["jmetric"], "m", "");
  const bool ok =
      s.id["job"] > 0 && s.id["job2"] > 0 && s.id["jdsn"] > 0 &&
      s.id["jtable"] > 0 && s.id["jfield"] > 0 && s.id["jconfig"] > 0 &&
      s.id["jchart"] > 0 && s.id["jrule"] > 0 && s.id["jrule2"] > 0 &&
      s.id["jmetric"] > 0 && s.id["jtrule"] > 0 && s.id["jtmetric"] > 0 &&
      p->addReport(s.id["job"], 0, "Sweep report", 0, "u", &s.id["report"]) &&
      p->addChart(s.id["report"], -1, "Sweep chart", "T", &s.id["chart"]);
  if (!ok && p->getErrorMessage().isEmpty()) {
    *error = s.common->getErrorMessage().str();
    return false;
  }
  *error = p->getErrorMessage().str();
  return ok;
}

#define P(name) "ProfileRepositoryDataAccess::" name
// A job definition's write that names parents that do not exist: refused.
#define CHECKED(name, expr)                                                  \
  {                                                                          \
    P(name), Input::kMissingParent, "parent ids", SWEEP_CALL(profile, expr), \
        refused("99999 does not exist")                                      \
  }
// An add that names parents that do not exist: stored, as documented.
#define PARENT(name, expr)                                                   \
  {                                                                          \
    P(name), Input::kMissingParent, "parent ids", SWEEP_CALL(profile, expr), \
        stored()                                                             \
  }
// An add of a text with a NUL byte: named by its column and table.
#define NUL_TEXT(name, expr)                                 \
  {                                                          \
    P(name), Input::kNul, "text", SWEEP_CALL(profile, expr), \
        refused("The value of column ")                      \
  }
// A delete or update of a row that does not exist: no failure.
#define MISSING(name, expr) \
  { P(name), Input::kMissingId, "id", SWEEP_CALL(profile, expr), noFailure() }

std::vector<Cell> cells() {
  return {
      {P("addMatchDefinition"), Input::kMissingId, "sensitivity",
       SWEEP_CALL(profile, o->addMatchDefinition("d", "high", "en", nullptr)),
       refused("high")},
      NUL_TEXT("addMatchDefinition",
               o->addMatchDefinition(kNul, "1", "en", nullptr)),
      NUL_TEXT("addTextFileInfo", o->addTextFileInfo(kNul, "f", ",", "\"", 0, 0,
                                                     0, false, 0, 0, false)),
      NUL_TEXT("addTextFileField",
               o->addTextFileField("t", kNul, "C", 1, 1, 1)),
      {P("addProfileJob"), Input::kInUse, "name",
       SWEEP_CALL(profile,
                  o->addProfileJob("Sweep job", "", "", 0, 0, "u", "u", 0) > 0),
       refused("Cannot add the profile job \"Sweep job\": ")},
      {P("addProfileJob"), Input::kInUse, "uuid",
       SWEEP_CALL(profile, o->addProfileJob("New job", "", "job-uuid", 0, 0,
                                            "u", "u", 0) > 0),
       refused("with UUID \"job-uuid\"")},
      {P("addProfileJob"), Input::kMissingParent, "folderId",
       SWEEP_CALL(profile,
                  o->addProfileJob("New job", "", "", 0, 0, "u", "u", kNo) > 0),
       refused("Folder 99999 does not exist")},
      {P("addProfileJob"), Input::kEmptyName, "name",
       SWEEP_CALL(profile, o->addProfileJob("", "", "", 0, 0, "u", "u", 0) > 0),
       stored()},
      NUL_TEXT("addProfileJob",
               o->addProfileJob(kNul, "", "", 0, 0, "u", "u", 0) > 0),
      CHECKED("addJobKeyValue", o->addJobKeyValue(kNo, "k", "v")),
      NUL_TEXT("addJobKeyValue", o->addJobKeyValue(s.id.at("job"), "k", kNul)),
      CHECKED("addJobRdaConfig",
              o->addJobRdaConfig(kNo, "c", "", "d", "1", "en") > 0),
      NUL_TEXT("addJobRdaConfig", o->addJobRdaConfig(s.id.at("job"), kNul, "",
                                                     "d", "1", "en") > 0),
      CHECKED("addJobDsn", o->addJobDsn(kNo, "dsn", "c", "") > 0),
      NUL_TEXT("addJobDsn", o->addJobDsn(s.id.at("job"), kNul, "c", "") > 0),
      CHECKED("addJobTable",
              o->addJobTable(kNo, kNo, "", "", "t", "", "", "", 0, "", "", "",
                             0, 0, 0, "N", 0, 0, "N") > 0),
      {P("addJobTable"), Input::kNul, "tableName",
       SWEEP_CALL(profile, o->addJobTable(s.id.at("job"), s.id.at("jdsn"), "",
                                          "", kNul, "", "", "", 0, "", "", "",
                                          0, 0, 0, "N", 0, 0, "N") > 0),
       refused("The value of column TBL_NAME of table ")},
      CHECKED("addJobField", o->addJobField(kNo, kNo, kNo, "f", "", 1) > 0),
      NUL_TEXT("addJobField",
               o->addJobField(s.id.at("job"), s.id.at("jdsn"),
                              s.id.at("jtable"), kNul, "", 1) > 0),
      CHECKED("addJobFieldRdaMap",
              o->addJobFieldRdaMap(kNo, kNo, "d", "", "", "t", "f", "")),
      NUL_TEXT("addJobFieldRdaMap",
               o->addJobFieldRdaMap(s.id.at("job"), s.id.at("jconfig"), kNul,
                                    "", "", "t", "f", "")),
      CHECKED("addJobFieldMetric",
              o->addJobFieldMetric(kNo, kNo, kNo, kNo, "m", "v")),
      NUL_TEXT("addJobFieldMetric",
               o->addJobFieldMetric(s.id.at("job"), s.id.at("jdsn"),
                                    s.id.at("jtable"), s.id.at("jfield"), kNul,
                                    "v")),
      CHECKED("addJobFieldProperty",
              o->addJobFieldProperty(kNo, kNo, kNo, kNo, "p", "v")),
      NUL_TEXT("addJobFieldProperty",
               o->addJobFieldProperty(s.id.at("job"), s.id.at("jdsn"),
                                      s.id.at("jtable"), s.id.at("jfield"),
                                      kNul, "v")),
      CHECKED("addJobLinkedField",
              o->addJobLinkedField(kNo, kNo, "d", "", "", "t", "f", "C", "")),
      NUL_TEXT("addJobLinkedField",
               o->addJobLinkedField(s.id.at("job"), s.id.at("jfield"), kNul, "",
                                    "", "t", "f", "C", "")),
      CHECKED("addJobTableMetric",
              o->addJobTableMetric(kNo, kNo, kNo, "m", "") > 0),
      NUL_TEXT("addJobTableMetric",
               o->addJobTableMetric(s.id.at("job"), s.id.at("jtable"),
                                    s.id.at("jmetric"), kNul, "") > 0),
      CHECKED("addJobCustomMetricMapping",
              o->addJobCustomMetricMapping(kNo, 1, kNo, kNo, "m", "i", "o", "f",
                                           "I")),
      NUL_TEXT("addJobCustomMetricMapping",
               o->addJobCustomMetricMapping(
                   s.id.at("job"), s.id.at("jtmetric"), s.id.at("jtable"),
                   s.id.at("jmetric"), kNul, "i", "o", "f", "I")),
      CHECKED("addJobTableRule",
              o->addJobTableRule(kNo, kNo, kNo, "r", 0, 0, "") > 0),
      NUL_TEXT("addJobTableRule",
               o->addJobTableRule(s.id.at("job"), s.id.at("jtable"),
                                  s.id.at("jrule2"), kNul, 0, 0, "") > 0),
      CHECKED("addJobRuleFieldMapping",
              o->addJobRuleFieldMapping(kNo, 1, kNo, kNo, "r", "f", "rf")),
      NUL_TEXT("addJobRuleFieldMapping",
               o->addJobRuleFieldMapping(s.id.at("job"), s.id.at("jtrule"),
                                         s.id.at("jtable"), s.id.at("jrule"),
                                         kNul, "f", "rf")),
      CHECKED("addJobGlobalMetric", o->addJobGlobalMetric(kNo, "g", "v")),
      NUL_TEXT("addJobGlobalMetric",
               o->addJobGlobalMetric(s.id.at("job"), kNul, "v")),
      CHECKED("addJobAlert", o->addJobAlert(kNo, "d", "", "", "t", "f", "", "",
                                            "", "", "T", "") > 0),
      NUL_TEXT("addJobAlert", o->addJobAlert(s.id.at("job"), kNul, "", "", "t",
                                             "f", "", "", "", "", "T", "") > 0),
      {P("setJobAlertProperty"), Input::kMissingParent, "alertId",
       SWEEP_CALL(profile,
                  o->setJobAlertProperty(s.id.at("job"), kNo, "p", "v")),
       refused("99999 does not exist")},
      CHECKED("addJobChart",
              o->addJobChart(kNo, "d", "", "", "t", "f", "", "", "") > 0),
      NUL_TEXT("addJobChart", o->addJobChart(s.id.at("job"), kNul, "", "", "t",
                                             "f", "", "", "") > 0),
      CHECKED("addJobChartProperty",
              o->addJobChartProperty(kNo, kNo, "p", 1, "v")),
      NUL_TEXT("addJobChartProperty",
               o->addJobChartProperty(s.id.at("job"), s.id.at("jchart"), kNul,
                                      1, "v")),
      {P("setReportProfileJob"), Input::kMissingId, "reportId",
       SWEEP_CALL(profile, o->setReportProfileJob(s.id.at("job"), kNo)),
       noFailure()},
      CHECKED("addJobCustomMetricFieldMapping",
              o->addJobCustomMetricFieldMapping(kNo, kNo, kNo, 1, "m", "i", "o",
                                                "f", "I")),
      NUL_TEXT("addJobCustomMetricFieldMapping",
               o->addJobCustomMetricFieldMapping(
                   s.id.at("job"), s.id.at("jtable"), s.id.at("jmetric"),
                   s.id.at("jtmetric"), kNul, "i", "o", "f", "I")),
      PARENT("addReport", o->addReport(kNo, 0, "r", 0, "u", nullptr)),
      {P("addReport"), Input::kMissingParent, "folderId",
       SWEEP_CALL(profile, o->addReport(kNo, kNo, "r", 0, "u", nullptr)),
       refused("Folder 99999 does not exist")},
      NUL_TEXT("addReport", o->addReport(kNo, 0, kNul, 0, "u", nullptr)),
      PARENT("addReportRun", o->addReportRun("d", 0, kNo, nullptr)),
      NUL_TEXT("addReportRun", o->addReportRun(kNul, 0, kNo, nullptr)),
      PARENT("addExecutionLog", o->addExecutionLog(kNo, kNo, "t", "s", 1, "")),
      NUL_TEXT("addExecutionLog",
               o->addExecutionLog(kNo, kNo, "t", "s", 1, kNul)),
      PARENT("addRunConfigValue", o->addRunConfigValue(kNo, "k", "v")),
      NUL_TEXT("addRunConfigValue", o->addRunConfigValue(kNo, "k", kNul)),
      PARENT("addRunDsn", o->addRunDsn(kNo, "d", "c", "k", nullptr)),
      NUL_TEXT("addRunDsn", o->addRunDsn(kNo, kNul, "c", "k", nullptr)),
      PARENT("addRunTable",
             o->addRunTable(kNo, "", "", "t", "", "", "", 0, nullptr)),
      NUL_TEXT("addRunTable",
               o->addRunTable(kNo, "", "", kNul, "", "", "", 0, nullptr)),
      PARENT("addTableNote", o->addTableNote(kNo, 'N', "u", "n", -1, nullptr)),
      NUL_TEXT("addTableNote",
               o->addTableNote(kNo, 'N', "u", kNul, -1, nullptr)),
      PARENT("addRunField", o->addRunField(kNo, kNo, "f", "C", nullptr)),
      NUL_TEXT("addRunField", o->addRunField(kNo, kNo, kNul, "C", nullptr)),
      PARENT("addFieldNote", o->addFieldNote(kNo, "u", "n", -1, nullptr)),
      NUL_TEXT("addFieldNote", o->addFieldNote(kNo, "u", kNul, -1, nullptr)),
      PARENT("addPercentile", o->addPercentile(kNo, 0.5, 1.0)),
      PARENT("addOutlier", o->addOutlier(kNo, true, 1, "v")),
      NUL_TEXT("addOutlier", o->addOutlier(kNo, true, 1, kNul)),
      PARENT("addFieldProperty", o->addFieldProperty(kNo, kNo, kNo, "p", "v")),
      NUL_TEXT("addFieldProperty",
               o->addFieldProperty(kNo, kNo, kNo, kNul, "v")),
      PARENT("addFieldGroup", o->addFieldGroup(kNo, kNo)),
      PARENT("addPkFkResult", o->addPkFkResult(kNo, kNo - 1, 0.5)),
      PARENT("addAlert", o->addAlert(kNo, "d", "", "", "t", "f", "", "", "", "",
                                     "", "T", "", nullptr)),
      NUL_TEXT("addAlert", o->addAlert(kNo, kNul, "", "", "t", "f", "", "", "",
                                       "", "", "T", "", nullptr)),
      PARENT("addAlertProperty", o->addAlertProperty(kNo, "p", "v")),
      NUL_TEXT("addAlertProperty", o->addAlertProperty(kNo, kNul, "v")),
      PARENT("addChart", o->addChart(kNo, kNo, "c", "T", nullptr)),
      NUL_TEXT("addChart", o->addChart(kNo, kNo, kNul, "T", nullptr)),
      PARENT("addChartTable", o->addChartTable(kNo, "d", "", "", "t", "", "T")),
      NUL_TEXT("addChartTable",
               o->addChartTable(kNo, kNul, "", "", "t", "", "T")),
      PARENT("addChartCategory", o->addChartCategory(kNo, kNo)),
      PARENT("addChartData", o->addChartData(kNo, "p", 1, "v")),
      NUL_TEXT("addChartData", o->addChartData(kNo, kNul, 1, "v")),
      PARENT("addRdaConfig", o->addRdaConfig(kNo, "c", "", -1, nullptr)),
      NUL_TEXT("addRdaConfig", o->addRdaConfig(kNo, kNul, "", -1, nullptr)),
      PARENT("addRdaConfigField", o->addRdaConfigField(kNo, kNo, kNo)),
      PARENT("addRdaResult",
             o->addRdaResult(kNo, kNo, kNo, kNo, 1, 1, 1, 1, 1, 1, 1)),
      PARENT("addCustomMetricOutput",
             o->addCustomMetricOutput(kNo, kNo, 1, "o", "n", "v", "", 1)),
      NUL_TEXT("addCustomMetricOutput",
               o->addCustomMetricOutput(kNo, kNo, 1, kNul, "n", "v", "", 1)),
      PARENT("addBusinessRuleOutput",
             o->addBusinessRuleOutput(kNo, kNo, 1, 1, "", "f", 1)),
      NUL_TEXT("addBusinessRuleOutput",
               o->addBusinessRuleOutput(kNo, kNo, 1, 1, "", kNul, 1)),
      MISSING("deleteRdaConfig", o->deleteRdaConfig(kGone)),
      MISSING("updateRdaConfig", o->updateRdaConfig(kGone, "c", "", -1)),
      MISSING("deleteRdaConfigField", o->deleteRdaConfigField(kGone, kGone)),
      MISSING("deleteRdaConfigFields", o->deleteRdaConfigFields(kGone)),
      MISSING("deleteRdaResultPair", o->deleteRdaResultPair(kGone, kGone)),
      MISSING("deleteTextFileInfo", o->deleteTextFileInfo("no table")),
      MISSING("deleteProfileJobDetails", o->deleteProfileJobDetails(kGone)),
      MISSING("deleteProfileJob", o->deleteProfileJob(kGone)),
      MISSING("updateReportProfileJob",
              o->updateReportProfileJob(kGone, kGone)),
      MISSING("updateProfileJob",
              o->updateProfileJob(kGone, "j", "", KvbDate(), "u", 0)),
      {P("updateProfileJob"), Input::kInUse, "name",
       SWEEP_CALL(profile, o->updateProfileJob(s.id.at("job2"), "Sweep job", "",
                                               KvbDate(), "u", 0)),
       refused("\"Sweep job\"")},
      {P("updateProfileJob"), Input::kMissingParent, "folderId",
       SWEEP_CALL(profile, o->updateProfileJob(s.id.at("job2"), "Sweep job 2",
                                               "", KvbDate(), "u", kNo)),
       refused("Folder 99999 does not exist")},
      NUL_TEXT("updateProfileJob", o->updateProfileJob(s.id.at("job2"), kNul,
                                                       "", KvbDate(), "u", 0)),
      MISSING("deleteReportRuns",
              o->deleteReportRuns(kGone, kGone, kGone, false)),
      MISSING("deleteTableNote", o->deleteTableNote(kGone)),
      MISSING("updateReport", o->updateReport(kGone, -1, "r", "u", -1)),
      {P("updateReport"), Input::kMissingParent, "folderId",
       SWEEP_CALL(profile,
                  o->updateReport(s.id.at("report"), kNo, "", "u", -1)),
       refused("Folder 99999 does not exist")},
      MISSING("setTableRowCounts", o->setTableRowCounts(kGone, 1, 1)),
      MISSING("setFieldMetric", o->setFieldMetric(kGone, 1, KvbDatavar(1))),
      {P("setFieldMetric"), Input::kMissingId, "metricNumber",
       SWEEP_CALL(profile, o->setFieldMetric(kNo, 24, KvbDatavar(1))),
       refused("24")},
      MISSING("deleteFieldNote", o->deleteFieldNote(kGone)),
      MISSING("deleteFieldProperty", o->deleteFieldProperty(kGone, "p")),
      MISSING("deleteFieldGroup", o->deleteFieldGroup(kGone, kGone)),
      MISSING("deletePkFkResult", o->deletePkFkResult(kGone, kGone)),
      MISSING("renameChart", o->renameChart(kGone, "c")),
      NUL_TEXT("renameChart", o->renameChart(s.id.at("chart"), kNul)),
      MISSING("updateCategoryChart", o->updateCategoryChart(kGone, "c", kGone)),
      MISSING("updateChartTable",
              o->updateChartTable(kGone, "d", "", "", "t", "", "T")),
      MISSING("deleteRunCharts", o->deleteRunCharts(kGone)),
      MISSING("deleteChart", o->deleteChart(kGone)),
      MISSING("deleteChartData", o->deleteChartData(kGone)),
      MISSING("updateRedundantDataConfig",
              o->updateRedundantDataConfig(kGone, "c", "", -1)),
      MISSING("deleteRedundantDataConfig", o->deleteRedundantDataConfig(kGone)),
      MISSING("deleteRedundantDataFields",
              o->deleteRedundantDataFields(kGone, kGone)),
      MISSING("deleteMatchCodeDistribution",
              o->deleteMatchCodeDistribution(kGone)),
      MISSING("deleteRedundantDataResults",
              o->deleteRedundantDataResults(kGone, kGone, kGone)),
      {P("addFrequencyRow"), Input::kMissingId, "load",
       SWEEP_CALL(profile, o->addFrequencyRow(kNo, "v", "", 1)),
       refused("load")},
      {P("addPatternRow"), Input::kMissingId, "load",
       SWEEP_CALL(profile, o->addPatternRow(kNo, "p", 1)), refused("load")},
      {P("addMatchCodeRow"), Input::kMissingId, "load",
       SWEEP_CALL(profile, o->addMatchCodeRow(kNo, "v", "m", 1, 1)),
       refused("load")},
      {P("addRuleLogRow"), Input::kMissingId, "load",
       SWEEP_CALL(profile, o->addRuleLogRow(kNo, kNo, 1, 1, 1, "d")),
       refused("load")},
  };
}

}  // namespace

Table profileTable() { return {"profile", setup, cells}; }
