// The common data-access object: rules, fields, custom metrics, global
// categories and the key/value store of a repository.
#include "access/common_rdaimpl.h"

#include <string>
#include <utility>

namespace {
const char kSourceFile[] = "common_rdaimpl";
const char kMonitorCatalogue[] = "Monitor Admin";
// Messages of the catalogue that refuse a duplicate.
const int kFieldExists = 924;
const int kCustomMetricExists = 1356;
const int kRuleExists = 1385;

// The first name of a column list ("A, B, C" gives "A").
std::string firstColumn(const char* columns) {
  const std::string list(columns);
  return list.substr(0, list.find(','));
}

const char kRuleColumns[] =
    "RU_ID, RU_DESC, RU_TYPE, RU_EXPR, RU_GROUP, RU_META, RU_CRDAT, "
    "RU_EDDAT, RU_USER, RU_UUID, FLDR_ID, RU_CRUSR, RU_COMM, RU_DISP";
}  // namespace

// ---------------------------------------------------------------------------
// Helpers

bool CommonRDAImpl::refuse(int line, int messageId) {
  return fail(kvb_get_message(kSourceFile, line, kMonitorCatalogue, messageId),
              __FILE__, line);
}

KvbString CommonRDAImpl::selectAll(const char* code) {
  return "SELECT " + rda_->getColumnList(code, nullptr) + " FROM " +
         table(code);
}

int CommonRDAImpl::lookup(const char* code, const char* column,
                          const char* condition,
                          const std::vector<KvbDatavar>& keys, int* value) {
  return BaseRDAImpl::lookup(
      kvbStringFormat("SELECT %s FROM %S WHERE %s", column, table(code),
                      condition),
      keys, value);
}

bool CommonRDAImpl::insert(const char* code, const char* columns,
                           const std::vector<KvbDatavar>& values) {
  KvbString markers;
  for (size_t i = 0; i < values.size(); ++i) markers.append(i ? ", ?" : "?");
  return run(kvbStringFormat("INSERT INTO %S (%s) VALUES (%S)", table(code),
                             columns, markers),
             values);
}

bool CommonRDAImpl::insertUnique(int line, int refusal, const char* code,
                                 const char* condition,
                                 const std::vector<KvbDatavar>& keys,
                                 const char* columns,
                                 const std::vector<KvbDatavar>& values) {
  if (!ready()) return false;
  switch (
      lookup(code, firstColumn(columns).c_str(), condition, keys, nullptr)) {
    case 0:
      return insert(code, columns, values);
    case 1:
      return refuse(line, refusal);
    default:
      return false;
  }
}

int CommonRDAImpl::addNumbered(int line, int refusal, const char* code,
                               const char* counter, const char* condition,
                               const std::vector<KvbDatavar>& keys,
                               const char* columns,
                               std::vector<KvbDatavar> values) {
  if (!ready()) return -1;
  const std::string idColumn = firstColumn(columns);
  int id = -1;
  const bool ok = transaction([&] {
    int existing = -1;
    switch (lookup(code, idColumn.c_str(), condition, keys, &existing)) {
      case 0:
        break;
      case 1:
        if (refusal) return refuse(line, refusal);
        id = existing;
        return true;
      default:
        return false;
    }
    if (!nextId(counter, id)) return false;
    values.insert(values.begin(), KvbDatavar(id));
    return insert(code, columns, values);
  });
  return ok ? id : -1;
}

bool CommonRDAImpl::deleteRows(std::initializer_list<const char*> codes,
                               const char* column, int id) {
  return transaction([&] {
    for (const char* code : codes)
      if (!run(
              kvbStringFormat("DELETE FROM %S WHERE %s=?", table(code), column),
              {KvbDatavar(id)}))
        return false;
    return true;
  });
}

ReposDataAccessCursor* CommonRDAImpl::find(const Lookup& how, int id,
                                           const KvbString& name,
                                           const KvbString& uuid) {
  if (!ready()) return nullptr;
  const char* column;
  KvbDatavar value;
  if (id > 0) {
    column = how.idColumn;
    value = KvbDatavar(id);
  } else if (how.uuidColumn && !uuid.isEmpty()) {
    column = how.uuidColumn;
    value = KvbDatavar(uuid);
  } else if (!name.isEmpty() || !how.nameRequired) {
    column = how.nameColumn;
    value = KvbDatavar(name);
  } else {
    return nullptr;
  }
  const KvbString head = selectAll(how.table);
  ReposDataAccessCursor* cursor =
      query(kvbStringFormat("%S WHERE %s=?", head, column), {value});
  // A lookup by id or UUID that fails is tried once more by name.
  if (!cursor && column != how.nameColumn && !name.isEmpty())
    cursor = query(kvbStringFormat("%S WHERE %s=?", head, how.nameColumn),
                   {KvbDatavar(name)});
  return cursor;
}

// ---------------------------------------------------------------------------
// Rules

ReposDataAccessCursor* CommonRDAImpl::findRule(int ruleId,
                                               const KvbString& name,
                                               const KvbString& uuid) {
  return find({"RULE", "RU_ID", "RU_UUID", "RU_DESC", true}, ruleId, name,
              uuid);
}

int CommonRDAImpl::addRule(const KvbString& name, const KvbString& type,
                           const KvbString& expression, const KvbString& group,
                           const KvbString& metadata, const KvbString& user,
                           const KvbString& uuid, int folderId,
                           const KvbString& comment, const KvbString& display) {
  const double now = KvbDate::currentDate().asDouble();
  const int id = addNumbered(__LINE__, kRuleExists, "RULE", "RULE", "RU_DESC=?",
                             {name}, kRuleColumns,
                             {name, type, expression, group, metadata, now, now,
                              user, uuid, folderId, user, comment, display});
  if (id > 0) postChange(0, "Rule", id, uuid);
  return id;
}

bool CommonRDAImpl::updateRule(
    int ruleId, const KvbString& name, const KvbString& type,
    const KvbString& expression, const KvbString& group,
    const KvbString& metadata, const KvbString& user, double createdDate,
    double editedDate, const KvbString& createdUser, const KvbString& uuid,
    int folderId, const KvbString& comment, const KvbString& display) {
  if (!ready()) return false;
  return run(
      "UPDATE " + table("RULE") +
          " SET RU_DESC=?, RU_TYPE=?, RU_EXPR=?, RU_GROUP=?, "
          "RU_META=?, RU_USER=?, RU_CRDAT=?, RU_EDDAT=?, RU_CRUSR=?, "
          "RU_UUID=?, FLDR_ID=?, RU_COMM=?, RU_DISP=? WHERE RU_ID=?",
      {name, type, expression, group, metadata, user, createdDate, editedDate,
       createdUser, uuid, folderId, comment, display, ruleId});
}

bool CommonRDAImpl::deleteRule(int ruleId) {
  return ready() &&
         deleteRows({"CMFMAP", "RUFIME", "RUCMME", "RULE"}, "RU_ID", ruleId);
}

bool CommonRDAImpl::deleteRuleLinks(int ruleId) {
  return ready() && deleteRows({"CMFMAP", "RUFIME", "RUCMME"}, "RU_ID", ruleId);
}

ReposDataAccessCursor* CommonRDAImpl::listCustomMetricFieldMap(int ruleId,
                                                               int cmId) {
  if (!ready() || cmId < 0) return nullptr;
  return query(
      selectAll("CMFMAP") + " WHERE CM_ID=? AND RU_ID=? ORDER BY CM_FLDNM",
      {cmId, ruleId});
}

// ---------------------------------------------------------------------------
// Fields and rule links

ReposDataAccessCursor* CommonRDAImpl::listRuleCustomMetrics(int ruleId) {
  if (!ready()) return nullptr;
  return query(kvbStringFormat("SELECT A.CM_ID, A.CM_DESC, A.CM_PREXP, "
                               "A.CM_EXP, A.CM_POSTXP, B.RM_SEQ FROM %S A "
                               "INNER JOIN %S B ON A.CM_ID=B.CM_ID WHERE "
                               "B.RU_ID=? ORDER BY A.CM_DESC",
                               table("CUSTM"), table("RUCMME")),
               {ruleId});
}

ReposDataAccessCursor* CommonRDAImpl::listRuleFields(int ruleId) {
  if (!ready()) return nullptr;
  return query(kvbStringFormat("SELECT A.FI_NAME, A.FI_DESC, B.RF_SEQ FROM "
                               "%S A INNER JOIN %S B ON A.FI_NAME=B.FI_NAME "
                               "WHERE B.RU_ID=?",
                               table("MFLD"), table("RUFIME")),
               {ruleId});
}

ReposDataAccessCursor* CommonRDAImpl::listFields(const KvbString& name) {
  if (!ready()) return nullptr;
  KvbString sql = selectAll("MFLD");
  std::vector<KvbDatavar> values;
  SqlFilter filter(sql, values);
  if (!name.isEmpty()) filter.add("FI_NAME=?", name);
  return query(sql, values);
}

bool CommonRDAImpl::addField(const KvbString& name,
                             const KvbString& description) {
  return insertUnique(__LINE__, kFieldExists, "MFLD", "FI_NAME=?", {name},
                      "FI_NAME, FI_DESC", {name, description});
}

bool CommonRDAImpl::addRuleField(int ruleId, const KvbString& name,
                                 const KvbString& description) {
  if (!ready()) return false;
  return transaction([&] {
    const int field = lookup("MFLD", "FI_NAME", "FI_NAME=?", {name}, nullptr);
    if (field < 0 || (field == 0 &&
                      !insert("MFLD", "FI_NAME, FI_DESC", {name, description})))
      return false;
    const int link = lookup("RUFIME", "RF_SEQ", "RU_ID=? AND FI_NAME=?",
                            {ruleId, name}, nullptr);
    if (link != 0) return link == 1;
    // MAX over no rows is null, which reads as 0.
    int last = 0;
    return BaseRDAImpl::lookup("SELECT MAX(RF_SEQ) FROM " + table("RUFIME"), {}, &last) == 1 &&
           insert("RUFIME", "RU_ID, FI_NAME, RF_SEQ", {ruleId, name, last + 1});
  });
}

bool CommonRDAImpl::addRuleCustomMetric(int ruleId, int cmId, int seq) {
  return insertUnique(__LINE__, kCustomMetricExists, "RUCMME",
                      "CM_ID=? AND RU_ID=?", {cmId, ruleId},
                      "CM_ID, RM_SEQ, RU_ID", {cmId, seq, ruleId});
}

bool CommonRDAImpl::addCustomMetricFieldMap(int ruleId, int cmId, int seq,
                                            const KvbString& fieldName,
                                            const KvbString& cmFieldName,
                                            const KvbString& cmType) {
  if (!ready()) return false;
  return insert("CMFMAP", "RU_ID, CM_ID, RM_SEQ, FI_NAME, CM_FLDNM, CM_TYPE",
                {ruleId, cmId, seq, fieldName, cmFieldName, cmType});
}

// ---------------------------------------------------------------------------
// Custom metrics

ReposDataAccessCursor* CommonRDAImpl::findCustomMetric(int cmId,
                                                       const KvbString& name,
                                                       const KvbString& uuid) {
  return find({"CUSTM", "CM_ID", "CM_UUID", "CM_DESC", false}, cmId, name,
              uuid);
}

ReposDataAccessCursor* CommonRDAImpl::listCustomMetrics(const KvbString& name) {
  if (!ready()) return nullptr;
  KvbString sql = selectAll("CUSTM");
  std::vector<KvbDatavar> values;
  SqlFilter filter(sql, values);
  if (!name.isEmpty()) filter.add("CM_DESC=?", name);
  return query(sql, values);
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
      __LINE__, kCustomMetricExists, "CUSTM", "CUSTM", "CM_DESC=?", {name},
      "CM_ID, CM_DESC, CM_PREXP, CM_EXP, CM_POSTXP, CM_UUID",
      {name, preExpression, expression, postExpression, kvbGetUUID()});
}

bool CommonRDAImpl::addCustomMetricField(int cmId, const KvbString& name,
                                         const KvbString& type) {
  return insertUnique(__LINE__, kCustomMetricExists, "CMFLD",
                      "CM_ID=? AND CM_FLDNM=? AND CM_TYPE=?",
                      {cmId, name, type}, "CM_ID, CM_FLDNM, CM_TYPE",
                      {cmId, name, type});
}

bool CommonRDAImpl::updateCustomMetric(int cmId, const KvbString& name,
                                       const KvbString& preExpression,
                                       const KvbString& expression,
                                       const KvbString& postExpression,
                                       const KvbString& uuid) {
  if (!ready()) return false;
  if (!run("UPDATE " + table("CUSTM") +
               " SET CM_DESC=?, CM_PREXP=?, CM_EXP=?, CM_POSTXP=?, CM_UUID=? "
               "WHERE CM_ID=?",
           {name, preExpression, expression, postExpression, uuid, cmId}))
    return false;
  postChange(2, "CustomMetric", cmId, uuid);
  return true;
}

// An import over an existing custom metric clears it and then stores the
// fields of the record, so that the old fields neither stay nor meet the
// new ones as duplicates.
bool CommonRDAImpl::clearCustomMetric(int cmId) {
  return ready() &&
         run("DELETE FROM " + table("CMFLD") + " WHERE CM_ID=?", {cmId});
}

// The object manager that deletes a custom metric announces the deletion;
// the data access only removes the rows.
bool CommonRDAImpl::deleteCustomMetric(int cmId) {
  return ready() &&
         deleteRows({"CMFLD", "RUCMME", "CMFMAP", "CUSTM"}, "CM_ID", cmId);
}

// ---------------------------------------------------------------------------
// Global categories

// GCATS has no UUID column, so a global category is never looked up by
// UUID.
ReposDataAccessCursor* CommonRDAImpl::findGlobalCategory(
    int gcId, const KvbString& name, const KvbString& uuid) {
  return find({"GCATS", "GC_ID", nullptr, "GCNAME", true}, gcId, name, uuid);
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
  KvbString sql = selectAll("GCFLD");
  std::vector<KvbDatavar> values;
  SqlFilter filter(sql, values);
  if (gcId != -1) filter.add("GC_ID=?", gcId);
  const std::pair<const char*, const KvbString*> filters[] = {
      {"MAP_DSN=?", &dataSource},
      {"MAP_CAT=?", &catalog},
      {"MAP_SCH=?", &schema},
      {"MAP_TBL=?", &tableName}};
  for (const auto& f : filters)
    if (!f.second->isEmpty()) filter.add(f.first, *f.second);
  return query(sql, values);
}

int CommonRDAImpl::addGlobalCategory(const KvbString& name,
                                     const KvbString& description) {
  return addNumbered(__LINE__, 0, "GCATS", "GCATS", "GCNAME=?", {name},
                     "GC_ID, GCNAME, GCDESC", {name, description});
}

int CommonRDAImpl::addGlobalCategoryDefinition(
    int gcId, const KvbString& locale, int definitionId,
    const KvbString& definitionName, int tokenId, const KvbString& tokenName,
    const KvbString& tokenDescription) {
  return addNumbered(
      __LINE__, 0, "GCDEF", "GCDEF",
      "GC_ID=? AND DEF_LOC=? AND QM_ID=? AND TKN_ID=?",
      {gcId, locale, definitionId, tokenId},
      "DEF_ID, GC_ID, DEF_LOC, QM_ID, QM_NM, TKN_ID, TKN_NM, TKN_DESC",
      {gcId, locale, definitionId, definitionName, tokenId, tokenName,
       tokenDescription});
}

int CommonRDAImpl::hasGlobalCategoryField(int gcId, const KvbString& dataSource,
                                          const KvbString& catalog,
                                          const KvbString& schema,
                                          const KvbString& tableName,
                                          const KvbString& field,
                                          bool include) {
  return lookup(
      "GCFLD", "GC_ID",
      "GC_ID=? AND MAP_DSN=? AND MAP_CAT=? AND MAP_SCH=? AND "
      "MAP_TBL=? AND MAP_FLD=? AND MAP_INC=?",
      {gcId, dataSource, catalog, schema, tableName, field, include ? 1 : 0},
      nullptr);
}

bool CommonRDAImpl::addGlobalCategoryField(
    int gcId, const KvbString& dataSource, const KvbString& catalog,
    const KvbString& schema, const KvbString& tableName, const KvbString& field,
    bool include, const KvbString& fieldType, int fieldLength,
    int fieldPosition) {
  if (!ready()) return false;
  const int found = hasGlobalCategoryField(gcId, dataSource, catalog, schema,
                                           tableName, field, include);
  if (found != 0) return found == 1;
  return insert("GCFLD",
                "GC_ID, MAP_DSN, MAP_CAT, MAP_SCH, MAP_TBL, MAP_FLD, MAP_INC, "
                "FLD_TYPE, FLD_LEN, FLD_POS",
                {gcId, dataSource, catalog, schema, tableName, field,
                 include ? 1 : 0, fieldType, fieldLength, fieldPosition});
}

bool CommonRDAImpl::updateGlobalCategory(int gcId, const KvbString& name,
                                         const KvbString& description) {
  if (!ready()) return false;
  return run(
      "UPDATE " + table("GCATS") + " SET GCNAME=?, GCDESC=? WHERE GC_ID=?",
      {name, description, gcId});
}

bool CommonRDAImpl::deleteGlobalCategory(int gcId) {
  return ready() &&
         deleteRows({"GCDEF", "GCFLD", "GCRUL", "GCATS"}, "GC_ID", gcId);
}

// ---------------------------------------------------------------------------
// Key/value store

bool CommonRDAImpl::setKeyValue(const KvbString& key, const KvbString& value) {
  if (!ready()) return false;
  switch (lookup("KEYVAL", "V_KEY", "V_KEY=?", {key}, nullptr)) {
    case 0:
      return insert("KEYVAL", "V_KEY, V_VALUE", {key, value});
    case 1:
      return run("UPDATE " + table("KEYVAL") + " SET V_VALUE=? WHERE V_KEY=?",
                 {value, key});
    default:
      return false;
  }
}

bool CommonRDAImpl::getKeyValue(const KvbString& key, KvbString* value) {
  if (!ready()) return false;
  ReposDataAccessCursor* cursor = query(
      "SELECT V_VALUE FROM " + table("KEYVAL") + " WHERE V_KEY=?", {key}, 1);
  if (!cursor) return false;
  const bool found = cursor->next() == 1;
  if (found && value) *value = cursor->getString(0);
  cursor->release();
  return found;
}

bool CommonRDAImpl::deleteKey(const KvbString& key) {
  if (!ready() || lookup("KEYVAL", "V_KEY", "V_KEY=?", {key}, nullptr) != 1)
    return false;
  return run("DELETE FROM " + table("KEYVAL") + " WHERE V_KEY=?", {key});
}

ReposDataAccessCursor* CommonRDAImpl::getKeys() {
  if (!ready()) return nullptr;
  return query("SELECT DISTINCT V_KEY FROM " + table("KEYVAL"), {});
}

ReposDataAccessCursor* CommonRDAImpl::getKeyValues() {
  if (!ready()) return nullptr;
  return query(selectAll("KEYVAL"), {});
}
