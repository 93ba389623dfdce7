// Redundant-data analysis: the configurations that group fields of a run
// for comparison under a match definition (RDACFG), the fields of each
// (FLDRDA) and the result of each compared pair (RDARES); their reads,
// changes and deletions.
#include "kvbase/kvbase.h"
#include "profile/prof_rdaimpl.h"

ReposDataAccessCursor* ProfileRDAImpl::configsWhere(
    const char* condition, const std::vector<KvbDatavar>& values) {
  if (!ready()) return nullptr;
  return query("SELECT " + rda_->getColumnList("RDACFG", "a") +
                   ", b.MC_DEF, b.MC_SENS, b.MC_LOC FROM " + table("RDACFG") +
                   " a LEFT OUTER JOIN " + table("MATCH") +
                   " b ON a.MC_ID=b.MC_ID WHERE " + condition,
               values);
}

ReposDataAccessCursor* ProfileRDAImpl::listRunRdaConfigs(int runId) {
  return configsWhere("a.JOB_ID=?", {runId});
}

ReposDataAccessCursor* ProfileRDAImpl::getRdaConfig(int configId) {
  return configsWhere("a.RDACFGID=?", {configId});
}

ReposDataAccessCursor* ProfileRDAImpl::findRdaConfig(const KvbString& name,
                                                     int runId) {
  return configsWhere("a.RDACFGNM=? AND a.JOB_ID=?", {name, runId});
}

ReposDataAccessCursor* ProfileRDAImpl::listFieldRdaConfigs(int fieldId) {
  if (!ready()) return nullptr;
  return query("SELECT DISTINCT " + rda_->getColumnList("RDACFG", "a") +
                   " FROM " + table("RDACFG") + " a, " + table("FLDRDA") +
                   " b WHERE a.RDACFGID=b.RDACFGID AND b.FLD_ID=?",
               {fieldId});
}

ReposDataAccessCursor* ProfileRDAImpl::listRdaConfigFields(int configId) {
  return rowsWhere("FLDRDA", "RDACFGID=?", {configId});
}

ReposDataAccessCursor* ProfileRDAImpl::findRdaConfigFields(
    int matchDefinitionId, int fieldId) {
  if (!ready()) return nullptr;
  // FLDRDA names its configuration, whose row names the match definition.
  const KvbString byDefinition = "RDACFGID IN (SELECT RDACFGID FROM " +
                                 table("RDACFG") + " WHERE MC_ID=?)";
  return query(
      SqlStatement(selectAll("FLDRDA"))
          .where(byDefinition.asCstr(), matchDefinitionId, Given::kNotMinusOne)
          .where("FLD_ID=?", fieldId, Given::kNotMinusOne));
}

ReposDataAccessCursor* ProfileRDAImpl::listRdaResults(int configId, int fieldA,
                                                      int fieldB,
                                                      bool swapSides) {
  if (!ready()) return nullptr;
  // Swapped, every left/right pair of columns trades places, so that the
  // row reads from the right field's side.
  KvbString sql =
      "SELECT " +
      (swapSides ? KvbString("FLD_IDR, FLD_IDL, RGTCNT, LFTCNT, RGTSUM, "
                             "LFTSUM, DMATCH, DRSUM, DLSUM, JOB_ID, RDACFGID")
                 : rda_->getColumnList("RDARES", "")) +
      " FROM " + table("RDARES") + " WHERE RDACFGID=?";
  std::vector<KvbDatavar> values{configId};
  if (fieldA != -1 && fieldB != -1) {  // the pair in either orientation
    sql.append(" AND ((FLD_IDL=? AND FLD_IDR=?) OR (FLD_IDL=? AND FLD_IDR=?))");
    values.insert(values.end(), {fieldA, fieldB, fieldB, fieldA});
  }
  return query(sql, values);
}

bool ProfileRDAImpl::addRdaConfigField(int runId, int fieldId, int configId) {
  // A field is in a configuration once, whatever run adds it again.
  return insertUnless(
      IfPresent::kSucceed, KvbString(), "FLDRDA",
      {{"FLD_ID", fieldId}, {"RDACFGID", configId}},
      {{"FLD_ID", fieldId}, {"RDACFGID", configId}, {"JOB_ID", runId}});
}

bool ProfileRDAImpl::matchDefinitionKnown(int matchDefinitionId) {
  // -1 names no match definition; any other key must name one.
  return matchDefinitionId == -1 ||
         objectExists({"MATCH", "MC_ID", matchDefinitionId, "match definition"});
}

bool ProfileRDAImpl::hasRdaConfigField(int configId, int fieldId) {
  return exists("FLDRDA", "RDACFGID=? AND FLD_ID=?", {configId, fieldId}) == 1;
}

bool ProfileRDAImpl::updateRdaConfig(int configId, const KvbString& name,
                                     const KvbString& description,
                                     int matchDefinitionId) {
  // A configuration that does not exist is no failure, as the interface
  // says; a match definition that names nothing is refused, as by the add.
  return ready() && transaction([&] {
           return matchDefinitionKnown(matchDefinitionId) &&
                  update("RDACFG",
                         {{"RDACFGNM", name},
                          {"RDACFGDS", description},
                          {"MC_ID", matchDefinitionId}},
                         {"RDACFGID", configId});
         });
}

bool ProfileRDAImpl::updateRedundantDataConfig(int configId,
                                               const KvbString& name,
                                               const KvbString& description,
                                               int matchDefinitionId) {
  return updateRdaConfig(configId, name, description, matchDefinitionId);
}

bool ProfileRDAImpl::deleteRdaConfig(int configId) {
  return ready() && run("DELETE FROM " + table("RDACFG") + " WHERE RDACFGID=?",
                        {configId});
}

bool ProfileRDAImpl::deleteRedundantDataConfig(int configId) {
  return deleteRdaConfig(configId);
}

bool ProfileRDAImpl::deleteRdaConfigFields(int configId) {
  return deleteRedundantDataFields(configId, -1);
}

bool ProfileRDAImpl::deleteRdaConfigField(int configId, int fieldId) {
  return deleteRedundantDataFields(configId, fieldId);
}

bool ProfileRDAImpl::deleteRedundantDataFields(int configId, int fieldId) {
  return deleteWhere("FLDRDA",
                     {{"RDACFGID=?", configId}, {"FLD_ID=?", fieldId}});
}

bool ProfileRDAImpl::deleteRdaResultPair(int leftFieldId, int rightFieldId) {
  return ready() && run("DELETE FROM " + table("RDARES") +
                            " WHERE FLD_IDL=? AND FLD_IDR=?",
                        {leftFieldId, rightFieldId});
}

bool ProfileRDAImpl::deleteRedundantDataResults(int configId, int leftFieldId,
                                                int rightFieldId) {
  return deleteWhere("RDARES", {{"RDACFGID=?", configId},
                                {"FLD_IDL=?", leftFieldId},
                                {"FLD_IDR=?", rightFieldId}});
}
