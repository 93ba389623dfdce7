// The alerts of a run with their properties, and the charts of a report:
// listed with optional filters, renamed, re-pointed and deleted with their
// data and details.
#include <string>

#include "kvbase/kvbase.h"
#include "profile/prof_rdaimpl.h"

ReposDataAccessCursor* ProfileRDAImpl::listRunAlerts(int runId) {
  if (!ready()) return nullptr;
  return query(
      "SELECT AL_ID, AL_DSN, AL_CAT, AL_SCHMA, AL_TBL, AL_FLD, AL_FILT, "
      "AL_DESC, AL_RULE, AL_ERROR, AL_TF, AL_TYPE, AL_SRC_UID FROM " +
          table("ALERT") + " WHERE JOB_ID=? ORDER BY AL_ID",
      {runId});
}

ReposDataAccessCursor* ProfileRDAImpl::listAlertProperties(int alertId) {
  if (!ready()) return nullptr;
  return query("SELECT AP_NAME, AP_VALUE FROM " + table("ALPROP") +
                   " WHERE AL_ID=? ORDER BY AP_NAME",
               {alertId});
}

ReposDataAccessCursor* ProfileRDAImpl::listChartData(int chartId) {
  if (!ready()) return nullptr;
  return query("SELECT CD_PARAM, CD_SEQ, CD_VALUE FROM " + table("CHTDAT") +
                   " WHERE CH_ID=? ORDER BY CD_PARAM, CD_SEQ",
               {chartId});
}

ReposDataAccessCursor* ProfileRDAImpl::listCategoryCharts(const KvbString& name,
                                                          int chartId,
                                                          int reportId,
                                                          int runId,
                                                          int categoryId) {
  if (!ready()) return nullptr;
  KvbString sql =
      "SELECT A.CH_ID, A.RPT_ID, A.CH_NAME, A.CH_EDIT, B.DOM_ID, C.GCNAME "
      "FROM " +
      table("CHT") + " A, " + table("CHTCAT") + " B, " + table("GCATS") +
      " C WHERE A.CH_ID=B.CH_ID AND B.DOM_ID=C.GC_ID AND A.CH_TYPE='C'";
  SqlStatement select(sql, true);
  select.where("A.RPT_ID=?", reportId, Given::kNotMinusOne)
      .where("A.JOB_ID=?", runId, Given::kNotMinusOne)
      .where("A.CH_ID=?", chartId, Given::kNotMinusOne)
      .where("A.CH_NAME=?", name, Given::kNotEmpty)
      .where("C.GC_ID=?", categoryId, Given::kNotMinusOne);
  return query(select.append(" ORDER BY A.CH_ID"));
}

ReposDataAccessCursor* ProfileRDAImpl::listTableCharts(
    const KvbString& name, int chartId, int reportId, int runId,
    const KvbString& dsn, const KvbString& catalog, const KvbString& schema,
    const KvbString& tableName, const KvbString& filter, char type) {
  if (!ready()) return nullptr;
  KvbString sql =
      "SELECT A.CH_ID, A.RPT_ID, A.CH_NAME, A.CH_EDIT, B.CT_DSN, B.CT_CAT, "
      "B.CT_SCHMA, B.CT_TBL, B.CT_FILT, B.CT_TYPE FROM " +
      table("CHT") + " A INNER JOIN " + table("CHTTAB") +
      " B ON A.CH_ID=B.CH_ID WHERE A.CH_TYPE='T'";
  SqlStatement select(sql, true);
  select.where("A.RPT_ID=?", reportId, Given::kNotMinusOne)
      .where("A.JOB_ID=?", runId, Given::kNotMinusOne)
      .where("A.CH_ID=?", chartId, Given::kNotMinusOne)
      .where({{"A.CH_NAME", name, Given::kNotEmpty},
              {"B.CT_DSN", dsn, Given::kNotEmpty},
              {"B.CT_CAT", catalog, Given::kNotEmpty},
              {"B.CT_SCHMA", schema, Given::kNotEmpty},
              {"B.CT_TBL", tableName, Given::kNotEmpty},
              {"B.CT_FILT", filter, Given::kNotEmpty}});
  if (type != 0) select.where("B.CT_TYPE=?", KvbString(std::string(1, type)));
  return query(select.append(" ORDER BY A.CH_ID"));
}

bool ProfileRDAImpl::renameChart(int chartId, const KvbString& name) {
  // A renamed chart counts as edited in the repository.
  return ready() && update("CHT", {{"CH_NAME", name}, {"CH_EDIT", "Y"}},
                           {"CH_ID", chartId});
}

bool ProfileRDAImpl::updateCategoryChart(int chartId, const KvbString& name,
                                         int categoryId) {
  return ready() && transaction([&] {
           return run("UPDATE " + table("CHTCAT") +
                          " SET DOM_ID=? WHERE CH_ID=?",
                      {categoryId, chartId}) &&
                  renameChart(chartId, name);
         });
}

bool ProfileRDAImpl::updateChartTable(int chartId, const KvbString& dsn,
                                      const KvbString& catalog,
                                      const KvbString& schema,
                                      const KvbString& tableName,
                                      const KvbString& filter,
                                      const KvbString& type) {
  return ready() && update("CHTTAB",
                           {{"CT_DSN", dsn},
                            {"CT_CAT", catalog},
                            {"CT_SCHMA", schema},
                            {"CT_TBL", tableName},
                            {"CT_FILT", filter},
                            {"CT_TYPE", type}},
                           {"CH_ID", chartId});
}

bool ProfileRDAImpl::deleteChartData(int chartId) {
  return ready() &&
         run("DELETE FROM " + table("CHTDAT") + " WHERE CH_ID=?", {chartId});
}

bool ProfileRDAImpl::deleteChart(int chartId) {
  return ready() &&
         deleteRows({"CHT", "CHTDAT", "CHTTAB", "CHTCAT"}, "CH_ID", chartId);
}

bool ProfileRDAImpl::deleteRunCharts(int runId) {
  // The charts made of the run, found and deleted in one transaction.
  std::vector<int> charts;
  return ready() && transaction([&] {
           if (!readIds(query("SELECT CH_ID FROM " + table("CHT") +
                                  " WHERE JOB_ID=?",
                              {runId}),
                        charts))
             return false;
           for (int chart : charts)
             if (!deleteChart(chart)) return false;
           return true;
         });
}
