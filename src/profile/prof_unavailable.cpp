// The profile operations that this build does not contain: distribution
// loads and reads, notes, alert and chart reads, redundant-data analysis,
// custom-metric and business-rule outputs, field groups, and the updates
// and deletions of jobs and results. Each answers its failure value with a
// text that says so.
#include "profile/prof_rdaimpl.h"

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
