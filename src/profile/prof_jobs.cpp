// Profile job definitions and text-file layout reads: not built yet; each
// operation answers its failure value with a text that says so.
#include "profile/prof_rdaimpl.h"

int ProfileRDAImpl::addProfileJob(const KvbString&, const KvbString&,
                                  const KvbString&, double, double,
                                  const KvbString&, const KvbString&, int) {
  unavailable();
  return -1;
}
bool ProfileRDAImpl::addJobKeyValue(int, const KvbString&, const KvbString&) {
  return unavailable();
}
int ProfileRDAImpl::addJobRdaConfig(int, const KvbString&, const KvbString&,
                                    const KvbString&, const KvbString&,
                                    const KvbString&) {
  unavailable();
  return -1;
}
int ProfileRDAImpl::addJobDsn(int, const KvbString&, const KvbString&,
                              const KvbString&) {
  unavailable();
  return -1;
}
int ProfileRDAImpl::addJobTable(int, int, const KvbString&, const KvbString&,
                                const KvbString&, const KvbString&,
                                const KvbString&, const KvbString&, int,
                                const KvbString&, const KvbString&,
                                const KvbString&, int, int, int,
                                const KvbString&, int, int, const KvbString&) {
  unavailable();
  return -1;
}
int ProfileRDAImpl::addJobField(int, int, int, const KvbString&,
                                const KvbString&, int) {
  unavailable();
  return -1;
}
bool ProfileRDAImpl::addJobFieldRdaMap(int, int, const KvbString&,
                                       const KvbString&, const KvbString&,
                                       const KvbString&, const KvbString&,
                                       const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::addJobFieldMetric(int, int, int, int, const KvbString&,
                                       const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::addJobFieldProperty(int, int, int, int, const KvbString&,
                                         const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::addJobLinkedField(int, int, const KvbString&,
                                       const KvbString&, const KvbString&,
                                       const KvbString&, const KvbString&,
                                       const KvbString&, const KvbString&) {
  return unavailable();
}
int ProfileRDAImpl::addJobTableMetric(int, int, int, const KvbString&,
                                      const KvbString&) {
  unavailable();
  return -1;
}
bool ProfileRDAImpl::addJobCustomMetricMapping(
    int, int, int, int, const KvbString&, const KvbString&, const KvbString&,
    const KvbString&, const KvbString&) {
  return unavailable();
}
int ProfileRDAImpl::addJobTableRule(int, int, int, const KvbString&, int, int,
                                    const KvbString&) {
  unavailable();
  return -1;
}
bool ProfileRDAImpl::addJobRuleFieldMapping(int, int, int, int,
                                            const KvbString&, const KvbString&,
                                            const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::addJobGlobalMetric(int, const KvbString&,
                                        const KvbString&) {
  return unavailable();
}
int ProfileRDAImpl::addJobAlert(int, const KvbString&, const KvbString&,
                                const KvbString&, const KvbString&,
                                const KvbString&, const KvbString&,
                                const KvbString&, const KvbString&,
                                const KvbString&, const KvbString&,
                                const KvbString&) {
  unavailable();
  return -1;
}
bool ProfileRDAImpl::setJobAlertProperty(int, int, const KvbString&,
                                         const KvbString&) {
  return unavailable();
}
int ProfileRDAImpl::addJobChart(int, const KvbString&, const KvbString&,
                                const KvbString&, const KvbString&,
                                const KvbString&, const KvbString&,
                                const KvbString&, const KvbString&) {
  unavailable();
  return -1;
}
bool ProfileRDAImpl::addJobChartProperty(int, int, const KvbString&, int,
                                         const KvbString&) {
  return unavailable();
}
bool ProfileRDAImpl::addJobCustomMetricFieldMapping(
    int, int, int, int, const KvbString&, const KvbString&, const KvbString&,
    const KvbString&, const KvbString&) {
  return unavailable();
}
ReposDataAccessCursor* ProfileRDAImpl::listTextFileInfos() {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listTextFileFields(const KvbString&) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listProfileJobs() {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::getProfileJobById(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::getProfileJob(int, const KvbString&,
                                                     const KvbString&) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobKeyValues(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobDsns(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobTables(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobFields(int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobFieldMetrics(int, int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::findJobCustomMetricMappings(
    int, int, const KvbString&) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobCustomMetricMappings(int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listCustomMetricInputs(
    const KvbString&) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobFieldProperties(int, int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobLinkedFields(int,
                                                           const KvbString&) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobTableMetrics(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobTableRules(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobRuleFieldMappings(int, int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobRdaConfigs(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::findJobRdaConfig(int, const KvbString&,
                                                        const KvbString&,
                                                        const KvbString&,
                                                        const KvbString&) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobFieldRdaMaps(int, int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobGlobalMetrics(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobAlerts(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobAlertProperties(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobCharts(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobChartProperties(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobRules(int) {
  return unavailableCursor();
}
ReposDataAccessCursor* ProfileRDAImpl::listJobSources(int) {
  return unavailableCursor();
}
bool ProfileRDAImpl::findJobDsnId(int, const KvbString&, int*) {
  return unavailable();
}
bool ProfileRDAImpl::findJobTableId(int, int, const KvbString&,
                                    const KvbString&, const KvbString&,
                                    const KvbString&, const KvbString&,
                                    const KvbString&, const KvbString&, int*) {
  return unavailable();
}
