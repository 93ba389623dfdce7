// The data upgrade steps: once an upgrade has brought the structure up to
// date, these bring the rows up to what the current version expects: the
// counters and initial data of the parts an older repository lacked, the
// linkage of identification definitions, task dates, the UUIDs and users
// older versions left out, folders and dashboard defaults.
#include <functional>
#include <map>
#include <utility>

#include "access/base_rdaimpl.h"
#include "admin/repositoryimpl.h"
#include "rda/rda_impl.h"
#include "schema/log_printf.h"
#include "schema/repos_tables.h"
#include "services/scan_rows.h"

namespace {

// The index of MCDIST's match codes, which older unified repositories lack.
constexpr int kMatchCodeIndex = 115;

// The profile version from which a profile repository holds the initial
// profile data.
constexpr int kProfileDataVersion = 5;

typedef RepositoryImpl::MissingValues MissingValues;
const MissingValues kTaskUuids = {"MJOB", "JB_ID", "JB_CODE", false};
// Keyed by the row's type, which is unique, so that each row gets a UUID of
// its own and a row without a description gets one too.
const MissingValues kRepositoryUuid = {"INFO", "I_TYPE", "I_UUID", false};
const MissingValues kRuleUuids = {"RULE", "RU_ID", "RU_UUID", false};
const MissingValues kRuleCreatedUser = {"RULE", "RU_ID", "RU_CRUSR", true};
const MissingValues kCustomMetricUuids = {"CUSTM", "CM_ID", "CM_UUID", false};
const MissingValues kExecSourceUuids = {"EXSRC", "ES_ID", "ES_UUID", false};
const MissingValues kExplorationUuids = {"MPRJ", "PRJ_ID", "PRJ_UUID", false};

// The columns of an identification definition that its rebuild carries.
const char kDefinitionColumns[] =
    "IDENT_ID, IDENT_NM, ID_CRVER, ID_DLVER, ID_MDVER, PRJ_ID, SMPTYP, GC_ID, "
    "LOCALE";
constexpr size_t kDefinitionColumnCount = 9;

// One step: the text logged before it (none when null) and the work.
typedef std::pair<const char*, std::function<bool()>> Step;

}  // namespace

bool RepositoryImpl::applyDataUpgrades(bool ncoaOnly) {
  if (!connected(nullptr)) return false;
  if (!reportStep("Applying data upgrades")) return false;
  if (ncoaOnly) return true;

  auto fill = [this](const MissingValues& values) {
    return [this, &values] { return fillMissingValues(values); };
  };
  const int kind = repositoryKind_;
  const bool profile = kind == kKindProfile || kind == kKindProfileAndMonitor;
  const bool monitor = kind == kKindMonitor || kind == kKindProfileAndMonitor;
  std::vector<Step> steps;
  if (kind == kKindUnified) {
    steps.push_back({"Insert Monitor information", [this] {
                       return installInitialMonitorData() &&
                              ensureMatchCodeIndex();
                     }});
  } else {
    if (profile)
      steps.push_back({nullptr, [this] { return mergeIdCounters(true); }});
    if (monitor)
      steps.push_back({nullptr, [this] { return mergeIdCounters(false); }});
    if (kind == kKindProfile)
      steps.push_back(
          {nullptr, [this] { return installInitialMonitorData(); }});
    if (kind == kKindMonitor)
      steps.push_back(
          {nullptr, [this] { return installInitialProfileData(); }});
    steps.push_back({nullptr, [this] { return copyOldColumnValues(); }});
    if (profile && version_ < kProfileDataVersion)
      steps.push_back(
          {nullptr, [this] { return installInitialProfileData(); }});
  }
  const Step common[] = {
      {"Ensure UCURID entries are valid.",
       [this] { return repairIdCounters(); }},
      {"Ensure Identity Definition linkage",
       [this] { return ensureIdentityDefinitionLinkage(); }},
      {"Ensure UUIDs on Tasks", fill(kTaskUuids)},
      {"Ensure Create/Edit Date(s) on Tasks",
       [this] { return ensureTaskDates(); }},
      {"Ensure UUID on Unified Repository.", fill(kRepositoryUuid)},
      {"Ensure UUIDs on Rules.", fill(kRuleUuids)},
      {"Ensure created user is set on Rules.", fill(kRuleCreatedUser)},
      {"Ensure UUIDs on Custom Metrics.", fill(kCustomMetricUuids)},
      {nullptr, fill(kExecSourceUuids)},
      {"Ensure UUIDs on Data Explorations.", fill(kExplorationUuids)},
      {"Ensure objects are put into folders.",
       [this] { return moveObjectsToDefaultFolder(); }},
      {"Ensure monitor dashboard default objects exist.",
       [this] { return ensureDashboardDefaults(); }},
  };
  steps.insert(steps.end(), std::begin(common), std::end(common));
  for (const Step& step : steps) {
    if (step.first) logProgress(step.first);
    if (!step.second()) return false;
  }
  return true;
}

bool RepositoryImpl::ensureMatchCodeIndex() {
  const KvbString name = dataAccess_->getIndexName(kMatchCodeIndex, "");
  // The missing structure added before normally includes it; a second
  // creation would fail.
  bool present = false;
  if (scanRows(dataAccess_->listIndexes(
                   dataAccess_->getTableName("MCDIST", false, -1)),
               [&](ReposDataAccessCursor* index) {
                 present = index->getString(0).equals(name, true);
                 return !present;
               }) < 0)
    return failOnConnection();
  return present || dataAccess_->createIndex("MCDIST", "MC_VALUE", name) ||
         failOnConnection();
}

bool RepositoryImpl::fillMissingValues(const MissingValues& values) {
  if (!connected(nullptr)) return false;
  const KvbString table = physical(values.table);
  Rows keys;
  if (!readRows(
          kvbStringFormat("SELECT %s FROM %S WHERE %s IS NULL OR %s = ''",
                          values.key, table, values.column, values.column),
          {}, &keys))
    return false;
  const KvbString user = values.osUser ? getOSUserName() : KvbString();
  Rows updates;
  for (const auto& key : keys)
    updates.push_back(
        {values.osUser ? KvbDatavar(user) : KvbDatavar(kvbGetUUID()), key[0]});
  return executeEach(kvbStringFormat("UPDATE %S SET %s = ? WHERE %s = ?", table,
                                     values.column, values.key),
                     updates);
}

bool RepositoryImpl::ensureTaskDates() {
  if (!connected(nullptr)) return false;
  const KvbString mjob = physical("MJOB");
  Rows tasks;
  if (!readRows("SELECT DISTINCT JB_ID FROM " + mjob +
                    " WHERE JB_CRDAT IS NULL OR JB_CRDAT = 0.0",
                {}, &tasks))
    return false;
  const KvbDatavar now(KvbDate::currentDate().asDouble());
  const KvbDatavar user(getOSUserName());
  Rows updates;
  for (const auto& task : tasks)
    updates.push_back({now, user, now, user, task[0]});
  return executeEach("UPDATE " + mjob +
                         " SET JB_CRDAT=?, JB_CRUSR=?, JB_EDDAT=?, JB_EDUSR=? "
                         "WHERE JB_ID = ?",
                     updates);
}

// The definitions are copied aside into "tmpZa", MIDDEF is refilled from
// the copy with a new ID_UID per row, and the values are pointed at the
// new ids. All of it is one transaction, so that a failure leaves MIDDEF
// and MDEFVL as they were.
bool RepositoryImpl::ensureIdentityDefinitionLinkage() {
  if (!connected(nullptr)) return false;
  const KvbString middef = physical("MIDDEF");
  int linked = 0;
  if (!dataAccess_->paramSingleton(
          "SELECT COUNT(ID_UID) FROM " + middef + " WHERE ID_UID > 0", &linked,
          0))
    return failOnConnection();
  if (linked > 0) return true;

  std::list<TableColumnInfo> columns;
  for (const ReposColumnDef* def = findTableColumnDefs("MIDDEF");
       def && !isEndRecord(*def); ++def) {
    TableColumnInfo column;
    column.name = def->columnName;
    column.type = def->type;
    column.size = def->length;
    columns.push_back(column);
  }
  const KvbString copy = physical("tmpZa");
  auto rebuild = [&] {
    auto* rda = static_cast<RDA_BaseImpl*>(dataAccess_);
    std::list<TableColumnInfo> leftover;
    if (!rda->findTableColumns("tmpZa", leftover) ||
        (!leftover.empty() && !rda->dropOwnTable("tmpZa", -1)))
      return failOnConnection();
    Rows definitions, values;
    if (!(dataAccess_->createTable("tmpZa", columns) || failOnConnection()) ||
        !execute(kvbStringFormat("INSERT INTO %S (%s) SELECT %s FROM %S", copy,
                                 kDefinitionColumns, kDefinitionColumns,
                                 middef)) ||
        !execute("DELETE FROM " + middef) ||
        !readRows(
            kvbStringFormat("SELECT %s FROM %S", kDefinitionColumns, copy), {},
            &definitions))
      return false;
    KvbDatavar first;
    if (!definitions.empty() &&
        !dataAccess_->getNextIDs("MIDDEF", static_cast<int>(definitions.size()),
                                 first, nullptr))
      return failOnConnection();
    for (size_t i = 0; i < definitions.size(); ++i)
      definitions[i].push_back(first.asInt() + static_cast<int>(i));
    std::map<int, int> newIdent;  // IDVALRID -> the definition's ID_UID
    for (const auto& definition : definitions) {
      Rows matches;
      const int sample = definition[6].asInt() == 1 ? 1 : 0;
      if (!readRows("SELECT IDVALRID FROM " + physical("MDEFVL") +
                        " WHERE IDENT_ID=? AND PRJ_ID=? AND SMPTYP=?",
                    {definition[0], definition[5], sample}, &matches))
        return false;
      for (const auto& match : matches)
        if (!match[0].isNull())
          newIdent.emplace(match[0].asInt(),
                           definition[kDefinitionColumnCount].asInt());
    }
    Rows relinks;
    for (const auto& entry : newIdent)
      relinks.push_back({entry.second, entry.first});
    return executeEach(kvbStringFormat("INSERT INTO %S (%s, ID_UID) VALUES "
                                       "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                                       middef, kDefinitionColumns),
                       definitions) &&
           execute("UPDATE " + middef +
                       " SET LOCALE=? WHERE LOCALE IS NULL OR LOCALE = ''",
                   {"ENUSA"}) &&
           executeEach("UPDATE " + physical("MDEFVL") +
                           " SET IDENT_ID=? WHERE IDVALRID=?",
                       relinks) &&
           (static_cast<RDA_BaseImpl*>(dataAccess_)->dropOwnTable("tmpZa",
                                                                 -1) ||
            failOnConnection());
  };
  return inTransaction(rebuild);
}
