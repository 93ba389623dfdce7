// The profile operations that this build does not contain: distribution
// loads and reads, notes, alert and chart reads, redundant-data analysis,
// custom-metric and business-rule outputs, field groups, and the updates
// and deletions of jobs and results. Each answers its failure value with a
// text that says so.
#include "profile/prof_rdaimpl.h"

bool ProfileRDAImpl::addRdaConfigField(int, int, int) { return unavailable(); }
ReposDataAccessCursor* ProfileRDAImpl::getFieldMetric(int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listFieldGroups(int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listGroupFields(int, int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listGroupFieldsWithCounts(int, int,
                                                                 int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listValuesOnlyInFirst(int, int, bool) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listTableNotes(int, char, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listFieldNotes(int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listFrequencyDistribution(int, bool,
                                                                 bool, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listCommonValues(int, int, bool, bool,
                                                        int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listDistributionDifference(int, int,
                                                                  bool, bool,
                                                                  int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listPatternDistribution(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listRunAlerts(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listAlertProperties(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listCategoryCharts(const KvbString&, int,
                                                          int, int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listTableCharts(
    const KvbString&, int, int, int, const KvbString&, const KvbString&,
    const KvbString&, const KvbString&, const KvbString&, char) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listChartData(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listRunRdaConfigs(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::findRdaConfig(const KvbString&, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::getRdaConfig(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listFieldRdaConfigs(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listRdaConfigFields(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::findRdaConfigFields(int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listRdaResults(int, int, int, bool) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listCustomMetricOutputs(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listCustomMetricHistory(
    int, const KvbString&) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::findCustomMetricOutputs(
    int, const KvbString&, const KvbString&, const KvbString&, const KvbString&,
    const KvbString&) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listBusinessRuleOutputs(int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listBusinessRuleLog(int, int, bool) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listBusinessRuleHistory(
    int, const KvbString&) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::findBusinessRuleOutputs(
    int, const KvbString&, const KvbString&, const KvbString&, const KvbString&,
    const KvbString&) {
  return unavailableCursor();
}
bool ProfileRDAImpl::deleteRdaConfig(int) { return unavailable(); }
bool ProfileRDAImpl::updateRdaConfig(int, const KvbString&, const KvbString&,
                                     int) {
  return unavailable();
}
bool ProfileRDAImpl::deleteRdaConfigField(int, int) { return unavailable(); }
bool ProfileRDAImpl::deleteRdaConfigFields(int) { return unavailable(); }
bool ProfileRDAImpl::hasRdaConfigField(int, int) { return unavailable(); }
bool ProfileRDAImpl::deleteRdaResultPair(int, int) { return unavailable(); }
bool ProfileRDAImpl::countValuesOnlyInSecond(int, int, int*, int*) {
  return unavailable();
}
bool ProfileRDAImpl::compareFrequencyCounts(int, int, int*, int*, int*, int*,
                                            int*) {
  return unavailable();
}
bool ProfileRDAImpl::deleteTextFileInfo(const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::hasJobFieldRdaMap(int, const KvbString&, const KvbString&,
                                       const KvbString&, const KvbString&,
                                       const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::deleteProfileJobDetails(int) { return unavailable(); }
bool ProfileRDAImpl::deleteProfileJob(int) { return unavailable(); }
bool ProfileRDAImpl::updateReportProfileJob(int, int) { return unavailable(); }
bool ProfileRDAImpl::updateProfileJob(int, const KvbString&, const KvbString&,
                                      KvbDate, const KvbString&, int) {
  return unavailable();
}
bool ProfileRDAImpl::hasProfileJob(const KvbString&, int) {
  return unavailable();
}
bool ProfileRDAImpl::deleteReportRuns(int, int, int, bool) {
  return unavailable();
}
bool ProfileRDAImpl::deleteTableNote(int) { return unavailable(); }
bool ProfileRDAImpl::updateReport(int, int, const KvbString&, const KvbString&,
                                  int) {
  return unavailable();
}
bool ProfileRDAImpl::setTableRowCounts(int, int, int) { return unavailable(); }
bool ProfileRDAImpl::setFieldMetric(int, int, const KvbDatavar&) {
  return unavailable();
}
bool ProfileRDAImpl::deleteFieldNote(int) { return unavailable(); }
bool ProfileRDAImpl::deleteFieldProperty(int, const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::deleteFieldGroup(int, int) { return unavailable(); }
bool ProfileRDAImpl::deletePkFkResult(int, int) { return unavailable(); }
bool ProfileRDAImpl::renameChart(int, const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::updateCategoryChart(int, const KvbString&, int) {
  return unavailable();
}
bool ProfileRDAImpl::updateChartTable(int, const KvbString&, const KvbString&,
                                      const KvbString&, const KvbString&,
                                      const KvbString&, const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::deleteRunCharts(int) { return unavailable(); }
bool ProfileRDAImpl::deleteChart(int) { return unavailable(); }
bool ProfileRDAImpl::deleteChartData(int) { return unavailable(); }
bool ProfileRDAImpl::updateRedundantDataConfig(int, const KvbString&,
                                               const KvbString&, int) {
  return unavailable();
}
bool ProfileRDAImpl::deleteRedundantDataConfig(int) { return unavailable(); }
bool ProfileRDAImpl::deleteRedundantDataFields(int, int) {
  return unavailable();
}
bool ProfileRDAImpl::deleteMatchCodeDistribution(int) { return unavailable(); }
bool ProfileRDAImpl::deleteRedundantDataResults(int, int, int) {
  return unavailable();
}
bool ProfileRDAImpl::getDistributionStatistics(int, int, bool, int, bool, int*,
                                               int*, int*, int*, int*, int*,
                                               int*) {
  return unavailable();
}
bool ProfileRDAImpl::countFrequencyRows(int, bool, int*) {
  return unavailable();
}
bool ProfileRDAImpl::sumFrequencyCounts(int, bool, int*) {
  return unavailable();
}
bool ProfileRDAImpl::countPatternRows(int, int*) { return unavailable(); }
bool ProfileRDAImpl::beginFrequencyLoad(int, bool, int) {
  return unavailable();
}
bool ProfileRDAImpl::beginPatternLoad(int) { return unavailable(); }
bool ProfileRDAImpl::beginMatchCodeLoad(int) { return unavailable(); }
bool ProfileRDAImpl::addFrequencyRow(int, const KvbString&, const KvbString&,
                                     int64_t) {
  return unavailable();
}
bool ProfileRDAImpl::addPatternRow(int, const KvbString&, int64_t) {
  return unavailable();
}
bool ProfileRDAImpl::addMatchCodeRow(int, const KvbString&, const KvbString&,
                                     int64_t, int) {
  return unavailable();
}
bool ProfileRDAImpl::endFrequencyLoad(int) { return unavailable(); }
bool ProfileRDAImpl::endPatternLoad(int) { return unavailable(); }
bool ProfileRDAImpl::endMatchCodeLoad(int) { return unavailable(); }
bool ProfileRDAImpl::beginRuleLogLoad() { return unavailable(); }
bool ProfileRDAImpl::addRuleLogRow(int, int, int, int, int, const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::endRuleLogLoad() { return unavailable(); }
