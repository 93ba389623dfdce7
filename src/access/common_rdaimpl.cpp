// The common data-access object: rules, fields, custom metrics, global
// categories and the key/value store of a repository.
#include "access/common_rdaimpl.h"

#include <utility>

#include "kvreposres/kvreposres.h"
#include "schema/log_printf.h"

namespace {
const char kSourceFile[] = "common_rdaimpl";
// Messages of the "Monitor Admin" catalogue that refuse a duplicate.
const int kFieldExists = 924;
const int kCustomMetricExists = 1356;
const int kRuleExists = 1385;

KvbString refusal(int messageId) {
  return kvb_get_message(kSourceFile, __LINE__, "Monitor Admin", messageId);
}

// The refusal of what a write would have done, `refused` ("Cannot add the
// rule \"R\""), by message `messageId`, which names no object:
// "<refused>: <message>", the text and its record alike.
Refusal refusedBy(int messageId, const KvbString& refused) {
  return Refusal(refused + ": " + refusal(messageId));
}

KvbString noValueUnder(const KvbString& key) {
  return kvbStringFormat("No value is stored under the key \"%S\"", key);
}

}  // namespace

BaseRDAImpl::ObjectRow CommonRDAImpl::rule(int id) {
  return {"RULE", "RU_ID", id, "rule"};
}

BaseRDAImpl::ObjectRow CommonRDAImpl::customMetric(int id) {
  return {"CUSTM", "CM_ID", id, "custom metric"};
}

BaseRDAImpl::ObjectRow CommonRDAImpl::globalCategory(int id) {
  return {"GCATS", "GC_ID", id, "global category"};
}


// ---------------------------------------------------------------------------
// Rules

ReposDataAccessCursor* CommonRDAImpl::findRule(int ruleId,
                                               const KvbString& name,
                                               const KvbString& uuid) {
  return find({"RULE", "RU_ID", "RU_UUID", "RU_DESC", true, "rule"}, ruleId,
              name, uuid);
}

int CommonRDAImpl::addRule(const KvbString& name, const KvbString& type,
                           const KvbString& expression, const KvbString& group,
                           const KvbString& metadata, const KvbString& user,
                           const KvbString& uuid, int folderId,
                           const KvbString& comment, const KvbString& display) {
  const double now = KvbDate::currentDate().asDouble();
  const int id = addFiledUnique(
      folderId, "RULE", "RULE", "RU_ID",
      {{"RU_DESC", name},
       {"RU_TYPE", type},
       {"RU_EXPR", expression},
       {"RU_GROUP", group},
       {"RU_META", metadata},
       {"RU_CRDAT", now},
       {"RU_EDDAT", now},
       {"RU_USER", user},
       {"RU_UUID", uuid},
       {"FLDR_ID", folderId},
       {"RU_CRUSR", user},
       {"RU_COMM", comment},
       {"RU_DISP", display}},
      {newNameKey({"RU_DESC", name}, "rule", refusal(kRuleExists)),
       newUuidKey("RU_UUID", uuid, "rule", name)});
  if (id > 0) postChange(kChangeAdded, "Rule", id, uuid);
  return id;
}

bool CommonRDAImpl::updateRule(
    int ruleId, const KvbString& name, const KvbString& type,
    const KvbString& expression, const KvbString& group,
    const KvbString& metadata, const KvbString& user, double createdDate,
    double editedDate, const KvbString& createdUser, const KvbString& uuid,
    int folderId, const KvbString& comment, const KvbString& display) {
  return updateObject({"RULE", "RU_ID", ruleId, "rule"},
                      {{"RU_DESC", name},
                       {"RU_TYPE", type},
                       {"RU_EXPR", expression},
                       {"RU_GROUP", group},
                       {"RU_META", metadata},
                       {"RU_USER", user},
                       {"RU_CRDAT", createdDate},
                       {"RU_EDDAT", editedDate},
                       {"RU_CRUSR", createdUser},
                       {"RU_UUID", uuid},
                       {"FLDR_ID", folderId},
                       {"RU_COMM", comment},
                       {"RU_DISP", display}},
                      {nameKey({"RU_DESC", name}, "rule", ruleId,
                               refusal(kRuleExists)),
                       uuidKey("RU_UUID", uuid, "rule", ruleId)},
                      {}, folderId) == 1;
}

bool CommonRDAImpl::deleteRule(int ruleId) {
  // A task's member of the rule and its events go with the rule, as a
  // dimension's report-group links go with the dimension: left behind, they
  // would name a rule that no longer exists. So do the rule's execution
  // properties and trigger counts, which nothing reaches without the
  // rule's task member, and its links to global categories.
  return transaction([&] {
    return takeRow(rule(ruleId)) &&
           deleteRows({"CMFMAP", "RUFIME", "RUCMME", "JBRUME", "RULEVT",
                       "EXPROP", "TRIG", "GCRUL", "RULE"},
                      "RU_ID", ruleId);
  });
}

bool CommonRDAImpl::deleteRuleLinks(int ruleId) {
  return ready() && deleteRows({"CMFMAP", "RUFIME", "RUCMME"}, "RU_ID", ruleId);
}

ReposDataAccessCursor* CommonRDAImpl::listCustomMetricFieldMap(int ruleId,
                                                               int cmId) {
  if (!ready()) return nullptr;
  if (cmId < 0) {
    // The interface answers null here; the text says why.
    failQuietly(kvbStringFormat(
        "No custom metric was given for the field map of rule %d", ruleId));
    return nullptr;
  }
  return query(
      selectAll("CMFMAP") + " WHERE CM_ID=? AND RU_ID=? ORDER BY CM_FLDNM",
      {cmId, ruleId});
}

// ---------------------------------------------------------------------------
// Fields and rule links

ReposDataAccessCursor* CommonRDAImpl::listRuleCustomMetrics(int ruleId) {
  if (!ready()) return nullptr;
  return query(
      "SELECT A.CM_ID, A.CM_DESC, A.CM_PREXP, A.CM_EXP, A.CM_POSTXP, "
      "B.RM_SEQ FROM " +
          table("CUSTM") + " A INNER JOIN " + table("RUCMME") +
          " B ON A.CM_ID=B.CM_ID WHERE B.RU_ID=? ORDER BY A.CM_DESC",
      {ruleId});
}

ReposDataAccessCursor* CommonRDAImpl::listRuleFields(int ruleId) {
  if (!ready()) return nullptr;
  return query("SELECT A.FI_NAME, A.FI_DESC, B.RF_SEQ FROM " + table("MFLD") +
                   " A INNER JOIN " + table("RUFIME") +
                   " B ON A.FI_NAME=B.FI_NAME WHERE B.RU_ID=?",
               {ruleId});
}

ReposDataAccessCursor* CommonRDAImpl::listNamed(const char* code,
                                                const char* condition,
                                                const KvbString& name) {
  if (!ready()) return nullptr;
  return query(
      SqlStatement(selectAll(code)).where(condition, name, Given::kNotEmpty));
}

ReposDataAccessCursor* CommonRDAImpl::listFields(const KvbString& name) {
  return listNamed("MFLD", "FI_NAME=?", name);
}

bool CommonRDAImpl::addField(const KvbString& name,
                             const KvbString& description) {
  return insertUnless(
      IfPresent::kRefuse,
      refusedBy(kFieldExists,
                kvbStringFormat("Cannot add the field \"%S\"", name)),
      "MFLD", {{"FI_NAME", name}},
      {{"FI_NAME", name}, {"FI_DESC", description}});
}

bool CommonRDAImpl::addRuleField(int ruleId, const KvbString& name,
                                 const KvbString& description) {
  if (!ready()) return false;
  return transaction([&] {
    // The turns keep another connection from adding the field or the link
    // between the look-ups and the inserts. The look-ups name the tables,
    // so that a name the database refuses is named by its column.
    if (!objectExists(rule(ruleId)) || !writesSerialized("MFLD") ||
        !writesSerialized("RUFIME"))
      return false;
    const int field = lookup(SqlStatement("SELECT 1 FROM " + table("MFLD"))
                                 .on("MFLD")
                                 .whereEvery({{"FI_NAME", name}}),
                             nullptr);
    if (field < 0 ||
        (field == 0 &&
         !insert("MFLD", {{"FI_NAME", name}, {"FI_DESC", description}})))
      return false;
    const int link =
        lookup(SqlStatement("SELECT 1 FROM " + table("RUFIME"))
                   .on("RUFIME")
                   .whereEvery({{"RU_ID", ruleId}, {"FI_NAME", name}}),
               nullptr);
    if (link != 0) return link == 1;
    // MAX over no rows is null, which reads as 0.
    int last = 0;
    return lookup("SELECT MAX(RF_SEQ) FROM " + table("RUFIME"), {}, &last) ==
               1 &&
           insert("RUFIME",
                  {{"RU_ID", ruleId}, {"FI_NAME", name}, {"RF_SEQ", last + 1}});
  });
}

bool CommonRDAImpl::addRuleCustomMetric(int ruleId, int cmId, int seq) {
  return insertNaming(
      IfPresent::kRefuse,
      refusedBy(kCustomMetricExists,
                kvbStringFormat("Cannot link custom metric %d to rule %d again",
                                cmId, ruleId)),
      "RUCMME", {{"CM_ID", cmId}, {"RU_ID", ruleId}},
      {{"CM_ID", cmId}, {"RM_SEQ", seq}, {"RU_ID", ruleId}},
      {rule(ruleId), customMetric(cmId)});
}

bool CommonRDAImpl::addCustomMetricFieldMap(int ruleId, int cmId, int seq,
                                            const KvbString& fieldName,
                                            const KvbString& cmFieldName,
                                            const KvbString& cmType) {
  // Every column is the mapping's key: a second add of it asks for what is
  // stored, and is answered by it.
  const SqlFields row = {{"RU_ID", ruleId},        {"CM_ID", cmId},
                         {"RM_SEQ", seq},          {"FI_NAME", fieldName},
                         {"CM_FLDNM", cmFieldName}, {"CM_TYPE", cmType}};
  return insertNaming(IfPresent::kSucceed, Refusal(), "CMFMAP", row, row,
                      {rule(ruleId), customMetric(cmId)});
}

// ---------------------------------------------------------------------------
// Custom metrics

ReposDataAccessCursor* CommonRDAImpl::findCustomMetric(int cmId,
                                                       const KvbString& name,
                                                       const KvbString& uuid) {
  return find({"CUSTM", "CM_ID", "CM_UUID", "CM_DESC", false, "custom metric"},
              cmId, name, uuid);
}

ReposDataAccessCursor* CommonRDAImpl::listCustomMetrics(const KvbString& name) {
  return listNamed("CUSTM", "CM_DESC=?", name);
}

ReposDataAccessCursor* CommonRDAImpl::listCustomMetricFields(int cmId) {
  if (!ready()) return nullptr;
  return query("SELECT CM_FLDNM, CM_TYPE FROM " + table("CMFLD") +
                   " WHERE CM_ID=? ORDER BY CM_FLDNM",
               {cmId});
}

int CommonRDAImpl::addCustomMetric(const KvbString& name,
                                   const KvbString& preExpression,
                                   const KvbString& expression,
                                   const KvbString& postExpression) {
  return addNumbered(
      "CUSTM", "CUSTM", "CM_ID",
      {{"CM_DESC", name},
       {"CM_PREXP", preExpression},
       {"CM_EXP", expression},
       {"CM_POSTXP", postExpression},
       {"CM_UUID", kvbGetUUID()}},
      {{"CM_DESC", name}},
      refusedBy(kCustomMetricExists,
                kvbStringFormat("Cannot add the custom metric \"%S\"", name)));
}

bool CommonRDAImpl::addCustomMetricField(int cmId, const KvbString& name,
                                         const KvbString& type) {
  const SqlFields row = {
      {"CM_ID", cmId}, {"CM_FLDNM", name}, {"CM_TYPE", type}};
  return insertNaming(
      IfPresent::kRefuse,
      refusedBy(kCustomMetricExists,
                kvbStringFormat("Cannot add the field \"%S\" to custom "
                                "metric %d",
                                name, cmId)),
      "CMFLD", row, row, {customMetric(cmId)});
}

bool CommonRDAImpl::updateCustomMetric(int cmId, const KvbString& name,
                                       const KvbString& preExpression,
                                       const KvbString& expression,
                                       const KvbString& postExpression,
                                       const KvbString& uuid) {
  if (updateObject({"CUSTM", "CM_ID", cmId, "custom metric"},
                   {{"CM_DESC", name},
                    {"CM_PREXP", preExpression},
                    {"CM_EXP", expression},
                    {"CM_POSTXP", postExpression},
                    {"CM_UUID", uuid}},
                   {nameKey({"CM_DESC", name}, "custom metric", cmId,
                            refusal(kCustomMetricExists)),
                    uuidKey("CM_UUID", uuid, "custom metric", cmId)}) != 1)
    return false;
  postChange(kChangeUpdated, "CustomMetric", cmId, uuid);
  return true;
}

bool CommonRDAImpl::clearCustomMetric(int) {
  if (!ready()) return false;
  logPrintf(getLogger(), kLogTrace, kSourceFile, __LINE__,
            "clearCustomMetric has no implementation yet.  Unsure of what to "
            "clear here!");
  return true;
}

bool CommonRDAImpl::deleteCustomMetric(int cmId) {
  return ready() &&
         failQuietly(kvbStringFormat(
             "Custom metric %d was not deleted: custom metrics cannot be "
             "deleted",
             cmId));
}

// ---------------------------------------------------------------------------
// Global categories

// GCATS has no UUID column, so a global category is never looked up by
// UUID.
ReposDataAccessCursor* CommonRDAImpl::findGlobalCategory(
    int gcId, const KvbString& name, const KvbString& uuid) {
  return find({"GCATS", "GC_ID", nullptr, "GCNAME", true, "global category"},
              gcId, name, uuid);
}

ReposDataAccessCursor* CommonRDAImpl::getGlobalCategory(int gcId) {
  if (!ready()) return nullptr;
  return query(selectAll("GCATS") + " WHERE GC_ID=?", {gcId});
}

ReposDataAccessCursor* CommonRDAImpl::listGlobalCategoryDefinitions(int gcId) {
  if (!ready()) return nullptr;
  return query(selectAll("GCDEF") + " WHERE GC_ID=?", {gcId});
}

ReposDataAccessCursor* CommonRDAImpl::listGlobalCategoryFields(
    int gcId, const KvbString& dataSource, const KvbString& catalog,
    const KvbString& schema, const KvbString& tableName) {
  if (!ready()) return nullptr;
  return query(SqlStatement(selectAll("GCFLD"))
                   .where({{"GC_ID", gcId, Given::kNotMinusOne},
                           {"MAP_DSN", dataSource, Given::kNotEmpty},
                           {"MAP_CAT", catalog, Given::kNotEmpty},
                           {"MAP_SCH", schema, Given::kNotEmpty},
                           {"MAP_TBL", tableName, Given::kNotEmpty}}));
}

int CommonRDAImpl::addGlobalCategory(const KvbString& name,
                                     const KvbString& description) {
  return addNumbered("GCATS", "GCATS", "GC_ID",
                     {{"GCNAME", name}, {"GCDESC", description}},
                     {{"GCNAME", name}});
}

int CommonRDAImpl::addGlobalCategoryDefinition(
    int gcId, const KvbString& locale, int definitionId,
    const KvbString& definitionName, int tokenId, const KvbString& tokenName,
    const KvbString& tokenDescription) {
  // The definition and token ids name the matching engine's objects, which
  // the repository does not hold: only the category is looked for.
  return addNumberedAfter([&] { return objectExists(globalCategory(gcId)); },
                          "GCDEF", "GCDEF", "DEF_ID",
                          {{"GC_ID", gcId},
                           {"DEF_LOC", locale},
                           {"QM_ID", definitionId},
                           {"QM_NM", definitionName},
                           {"TKN_ID", tokenId},
                           {"TKN_NM", tokenName},
                           {"TKN_DESC", tokenDescription}},
                          {{"GC_ID", gcId},
                           {"DEF_LOC", locale},
                           {"QM_ID", definitionId},
                           {"TKN_ID", tokenId}},
                          Refusal());
}

bool CommonRDAImpl::addGlobalCategoryField(
    int gcId, const KvbString& dataSource, const KvbString& catalog,
    const KvbString& schema, const KvbString& tableName, const KvbString& field,
    bool include, const KvbString& fieldType, int fieldLength,
    int fieldPosition) {
  if (!ready()) return false;
  const SqlFields keys = {{"GC_ID", gcId},        {"MAP_DSN", dataSource},
                          {"MAP_CAT", catalog},   {"MAP_SCH", schema},
                          {"MAP_TBL", tableName}, {"MAP_FLD", field},
                          {"MAP_INC", include ? 1 : 0}};
  SqlFields row = keys;
  row.insert(row.end(), {{"FLD_TYPE", fieldType},
                         {"FLD_LEN", fieldLength},
                         {"FLD_POS", fieldPosition}});
  return insertNaming(IfPresent::kSucceed, Refusal(), "GCFLD", keys, row,
                      {globalCategory(gcId)});
}

bool CommonRDAImpl::updateGlobalCategory(int gcId, const KvbString& name,
                                         const KvbString& description) {
  // The add finds a category by its name, so no two may share one.
  return updateObject({"GCATS", "GC_ID", gcId, "global category"},
                      {{"GCNAME", name}, {"GCDESC", description}},
                      {nameKey({"GCNAME", name}, "global category", gcId,
                               "Another global category has this name.")}) ==
         1;
}

bool CommonRDAImpl::deleteGlobalCategory(int gcId) {
  return transaction([&] {
    return takeRow(globalCategory(gcId)) &&
           deleteRows({"GCDEF", "GCFLD", "GCRUL", "GCATS"}, "GC_ID", gcId);
  });
}

// ---------------------------------------------------------------------------
// Key/value store

// A writer that finds no row inserts one, so two writers of one new key must
// not both look before either inserts. Each writer first updates the row of
// the id counter "KEYVAL" (without raising it), which makes them take turns
// until the transaction ends: on SQLite it takes the write lock of the file,
// on a server the lock of that row. This holds also in repositories made
// before KEYVAL had a unique index. A write that had to make the counter row
// may lose that race to another writer, which then has committed the row:
// such a write is tried once more when it owns the transaction. Any other
// failure, a wait for another transaction's lock that ran out included, is
// not tried again, so a call waits for a lock at most once.
//
// A statement that fails names the key and the operation instead of the
// statement (the turns' counter row is no subject of the host's), with the
// driver's reason; other reasons are kept as they are. Logged once.
bool CommonRDAImpl::setKeyValue(const KvbString& key, const KvbString& value) {
  if (!ready()) return false;
  if (key.isNull()) return fail("A key/value pair cannot have a null key");
  bool written;
  {
    QuietSteps quiet;
    written = writeKeyValue(key, value);
  }
  if (written) return true;
  return fail(subjectFailure(
      kvbStringFormat("The value of the key \"%S\" could not be set", key),
      getErrorMessage()));
}

bool CommonRDAImpl::writeKeyValue(const KvbString& key,
                                  const KvbString& value) {
  const KvbDatavar turnKey("KEYVAL");
  bool retry = !rda_->inTransaction();
  for (;;) {
    bool counterRefused = false;
    const bool written = transaction([&] {
      int turns = 0;
      if (!run(
              "UPDATE " + table("UCURID") + " SET NI_VAL=NI_VAL WHERE NI_KEY=?",
              {turnKey}, &turns))
        return false;
      if (turns == 0 &&
          !insert("UCURID", {{"NI_KEY", turnKey}, {"NI_VAL", 0}})) {
        counterRefused = true;
        return false;
      }
      return upsert("KEYVAL", {{"V_VALUE", value}}, {{"V_KEY", key}});
    });
    if (written || !retry || !counterRefused) return written;
    // The race was lost only when the winner's counter row is there now.
    const KvbString reason = getErrorMessage();
    if (exists("UCURID", "NI_KEY=?", {turnKey}) != 1)
      return failQuietly(reason);
    retry = false;
  }
}

bool CommonRDAImpl::getKeyValue(const KvbString& key, KvbString* value) {
  if (!ready()) return false;
  return wasFound(
      firstRow("SELECT V_VALUE FROM " + table("KEYVAL") + " WHERE V_KEY=?",
               {key},
               [&](ReposDataAccessCursor& row) {
                 if (value) *value = row.getString(0);
               }),
      [&] { return noValueUnder(key); });
}

// A key that cannot be read is a failure with the database's reason, one
// without a value a failure with a reason of its own.
bool CommonRDAImpl::deleteKey(const KvbString& key) {
  if (!ready()) return false;
  return wasFound(
             lookup("SELECT V_KEY FROM " + table("KEYVAL") + " WHERE V_KEY=?",
                    {key}, nullptr),
             [&] { return noValueUnder(key); }) &&
         run("DELETE FROM " + table("KEYVAL") + " WHERE V_KEY=?", {key});
}

ReposDataAccessCursor* CommonRDAImpl::getKeys() {
  if (!ready()) return nullptr;
  return query("SELECT DISTINCT V_KEY FROM " + table("KEYVAL"), {});
}

ReposDataAccessCursor* CommonRDAImpl::getKeyValues() {
  if (!ready()) return nullptr;
  return query(selectAll("KEYVAL"), {});
}
