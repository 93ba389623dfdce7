// Defaults that every repository relies on: the note category and folder
// of profiling, the folder of objects that have none, and the monitoring
// dashboard defaults (report group 1, the standard dimensions, threshold 1)
// to which older rows without a report group, threshold or dimension are
// pointed.
#include <utility>
#include <vector>

#include "access/base_rdaimpl.h"
#include "admin/repositoryimpl.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repository_folder_manager.h"
#include "reposadmin/repository_status_callback.h"
#include "services/owned.h"
#include "services/scan_rows.h"

namespace {

const char kProfileNoteCategory[] = "General";
const char kProfileFolder[] = "Profiling Reports";
// The top-level folder of objects that have no folder.
const char kSharedFolder[] = "Shared Data";

// The default report group, threshold and dimension all have id 1.
constexpr int kDefaultId = 1;

// The dimensions of every dashboard. A fixed id of -1 takes the next id of
// the "DIMENS" counter.
struct DefaultDimension {
  int id;
  const char* name;
  const char* description;
};
const DefaultDimension kDefaultDimensions[] = {
    {kDefaultId, "Accuracy", ""}, {-1, "Consistency", ""},
    {-1, "Structure", ""},        {-1, "Integrity", ""},
    {-1, "Validity", ""},         {-1, "Completeness", ""},
};

// The value bands of the default threshold.
struct ThresholdBand {
  const char* name;
  double start;
  double end;
  int color;
};
const ThresholdBand kDefaultBands[] = {
    {"Low", 0.1, 90, 1},
    {"Medium", 90.1, 98, 3},
    {"High", 98.1, 100.1, 4},
};

// Columns that older versions left NULL and that point at id 1.
struct DefaultReference {
  const char* tableCode;
  const char* column;
};
const DefaultReference kNullReferences[] = {
    {"RPTGRP", "THR_ID"},
    {"DIMGRP", "THR_ID"},
    {"JBRUME", "THR_ID"},
    {"JBRUME", "DIM_ID"},
};

// Writes the dashboard defaults. Every statement text goes to the status
// callback first. A false answer leaves the reason in the connection's
// error text; the caller owns the transaction.
//
// While a DDL script is written the statements go to the script, which
// creates a new repository: the database holds none of its tables, so
// nothing is looked up and every lookup answers as an empty repository
// would. Counters are then raised through the connection, which keeps the
// script's counters itself.
class DashboardDefaults {
 public:
  DashboardDefaults(ReposDataAccess* rda, RepositoryStatusCallback* status,
                    bool script)
      : rda_(rda),
        status_(status),
        script_(script),
        now_(KvbDate::currentDate().asDouble()) {}

  bool write() {
    if (!reportGroup() || !raiseCounter("RPTGRP", kDefaultId)) return false;
    // A default dimension of older versions gives way to "Accuracy".
    if (!exec("DELETE FROM %s WHERE DIM_ID=? AND DIM_NAME=?", "DIMENS",
              KvbDatavar(kDefaultId), KvbDatavar("Default")))
      return false;
    std::vector<int> groups;
    if (!readGroupIds(&groups)) return false;
    for (const DefaultDimension& dimension : kDefaultDimensions)
      if (!ensureDimension(dimension, groups)) return false;
    if (!exec("UPDATE %s SET GRP_ID=? WHERE GRP_ID IS NULL", "EXEC",
              KvbDatavar(kDefaultId)) ||
        !threshold() || !raiseCounter("THRHLD", kDefaultId))
      return false;
    for (const DefaultReference& reference : kNullReferences)
      if (!exec(kvbStringFormat("UPDATE %%s SET %s=? WHERE %s IS NULL",
                                reference.column, reference.column)
                    .asCstr(),
                reference.tableCode, KvbDatavar(kDefaultId)))
        return false;
    return true;
  }

 private:
  // `format` with the physical name of `tableCode` in place of its "%s".
  KvbString sqlFor(const char* format, const char* tableCode) {
    return kvbStringFormat(format,
                           rda_->getTableName(tableCode, true, -1).asCstr());
  }

  void report(const KvbString& sql) {
    if (status_) status_->reportMessage(sql);
  }

  template <typename... Values>
  bool exec(const char* format, const char* tableCode,
            const Values&... values) {
    const KvbString sql = sqlFor(format, tableCode);
    report(sql);
    return rda_->paramExec(sql, nullptr, static_cast<int>(sizeof...(values)),
                           static_cast<const KvbDatavar*>(&values)...);
  }

  // Column 0 of the first row as an integer; no row is a failure. Counts
  // and maxima of a new repository are 0.
  template <typename... Values>
  bool singleton(const char* format, const char* tableCode, int* result,
                 const Values&... values) {
    if (script_) {
      *result = 0;
      return true;
    }
    const KvbString sql = sqlFor(format, tableCode);
    report(sql);
    return rda_->paramSingleton(sql, result,
                                static_cast<int>(sizeof...(values)),
                                static_cast<const KvbDatavar*>(&values)...);
  }

  // Report group 1: inserted when missing; its description is set again
  // when it is the only one.
  bool reportGroup() {
    int rows = 0;
    if (!singleton("SELECT COUNT(*) FROM %s WHERE GRP_ID=?", "RPTGRP", &rows,
                   KvbDatavar(kDefaultId)))
      return false;
    if (rows == 0)
      return exec(
          "INSERT INTO %s (GRP_ID, GRP_NAME, GRP_DESC, INTNUM, "
          "INTLEN, THR_ID, UUID, CRDAT, EDDAT, FLDR_ID) VALUES "
          "(?,?,?,?,?,?,?,?,?,?)",
          "RPTGRP", KvbDatavar(kDefaultId), KvbDatavar("Default"),
          KvbDatavar("Default dashboard"), KvbDatavar(7), KvbDatavar(24),
          KvbDatavar(kDefaultId), KvbDatavar(kvbGetUUID()), now_, now_,
          KvbDatavar(0));
    if (rows == 1)
      return exec("UPDATE %s SET GRP_DESC=? WHERE GRP_ID=?", "RPTGRP",
                  KvbDatavar("Default dashboard"), KvbDatavar(kDefaultId));
    return true;
  }

  // Makes the counter `key` hand out no id up to `id`. An existing counter
  // row is raised rather than joined by a second one.
  bool raiseCounter(const char* key, int id) {
    if (script_) {
      KvbDatavar first;
      return rda_->getNextIDs(key, id, first, nullptr);
    }
    const KvbDatavar keyValue(key);
    int highest = 0;
    if (!singleton("SELECT MAX(NI_VAL) FROM %s WHERE NI_KEY=?", "UCURID",
                   &highest, keyValue))
      return false;
    if (highest >= id) return true;
    int rows = 0;
    if (!singleton("SELECT COUNT(*) FROM %s WHERE NI_KEY=?", "UCURID", &rows,
                   keyValue))
      return false;
    if (rows == 0)
      return exec("INSERT INTO %s (NI_KEY, NI_VAL) VALUES (?,?)", "UCURID",
                  keyValue, KvbDatavar(id));
    return exec("UPDATE %s SET NI_VAL=? WHERE NI_KEY=?", "UCURID",
                KvbDatavar(id), keyValue);
  }

  // The ids of every report group, read whole before other statements run.
  bool readGroupIds(std::vector<int>* groups) {
    if (script_) {
      groups->push_back(kDefaultId);
      return true;
    }
    const KvbString sql = sqlFor("SELECT GRP_ID FROM %s", "RPTGRP");
    report(sql);
    ReposDataAccessCursor* rows = rda_->paramSelect(sql, 0);
    if (!rows) return false;
    int fetched = 2;
    if (rows->cacheAll())
      while ((fetched = rows->next()) == 1) groups->push_back(rows->getInt(0));
    rows->release();
    return fetched == 0;
  }

  // The id of the dimension called `name`; 0 in *found when there is none.
  bool findDimension(const char* name, int* found, int* id) {
    *found = 0;
    if (script_) return true;
    const KvbString sql =
        sqlFor("SELECT DIM_ID FROM %s WHERE DIM_NAME=?", "DIMENS");
    report(sql);
    const KvbDatavar nameValue(name);
    ReposDataAccessCursor* rows = rda_->paramSelect(sql, 1, &nameValue);
    if (!rows) return false;
    *found = rows->next();
    if (*found == 1) *id = rows->getInt(0);
    rows->release();
    return *found != 2;
  }

  // A default dimension, added when missing, linked to every report group.
  bool ensureDimension(const DefaultDimension& dimension,
                       const std::vector<int>& groups) {
    int found = 0;
    int id = dimension.id;
    if (!findDimension(dimension.name, &found, &id)) return false;
    if (found == 0 && !addDimension(dimension, &id)) return false;
    for (int group : groups) {
      const KvbDatavar dim(id), grp(group);
      int links = 0;
      if (!singleton("SELECT COUNT(*) FROM %s WHERE DIM_ID=? AND GRP_ID=?",
                     "DIMGRP", &links, dim, grp))
        return false;
      if (links == 0 &&
          !exec("INSERT INTO %s (DIM_ID, GRP_ID, THR_ID, WGHT) VALUES "
                "(?,?,?,?)",
                "DIMGRP", dim, grp, KvbDatavar(kDefaultId), KvbDatavar(1.0)))
        return false;
    }
    return true;
  }

  bool addDimension(const DefaultDimension& dimension, int* id) {
    if (dimension.id < 0) {
      KvbDatavar next;
      if (!rda_->getNextID("DIMENS", next)) return false;
      *id = next.asInt();
    } else if (!raiseCounter("DIMENS", dimension.id)) {
      return false;
    }
    return exec(
        "INSERT INTO %s (DIM_ID, DIM_NAME, DIM_DESC, UUID, CRDAT, "
        "EDDAT, FLDR_ID) VALUES (?,?,?,?,?,?,?)",
        "DIMENS", KvbDatavar(*id), KvbDatavar(dimension.name),
        KvbDatavar(dimension.description), KvbDatavar(kvbGetUUID()), now_, now_,
        KvbDatavar(0));
  }

  // Threshold 1: inserted when missing; when it is the only one its bands
  // become the default bands again, while its name and description stay.
  bool threshold() {
    int rows = 0;
    if (!singleton("SELECT COUNT(*) FROM %s WHERE THR_ID=?", "THRHLD", &rows,
                   KvbDatavar(kDefaultId)))
      return false;
    if (rows > 1) return true;
    if (rows == 0 &&
        !exec("INSERT INTO %s (THR_ID, THR_NAME, THR_DESC, UUID, CRDAT, "
              "EDDAT, FLDR_ID) VALUES (?,?,?,?,?,?,?)",
              "THRHLD", KvbDatavar(kDefaultId), KvbDatavar("Default"),
              KvbDatavar("Default threshold"), KvbDatavar(kvbGetUUID()), now_,
              now_, KvbDatavar(0)))
      return false;
    for (int band = 0; band < 3; ++band) {
      const ThresholdBand& b = kDefaultBands[band];
      const KvbString format = kvbStringFormat(
          "UPDATE %%s SET NAME_%d=?, START_%d=?, END_%d=?, COLOR_%d=? "
          "WHERE THR_ID=?",
          band, band, band, band);
      if (!exec(format.asCstr(), "THRHLD", KvbDatavar(b.name),
                KvbDatavar(b.start), KvbDatavar(b.end), KvbDatavar(b.color),
                KvbDatavar(kDefaultId)))
        return false;
    }
    return true;
  }

  ReposDataAccess* rda_;
  RepositoryStatusCallback* status_;
  const bool script_;
  const KvbDatavar now_;
};

}  // namespace

bool RepositoryImpl::installInitialProfileData() {
  if (!connected(nullptr)) return false;
  if (!reportStep("Installing initial Profile data")) return false;
  // Each row with id 0 is written only when it is missing, so that an
  // older repository that already holds it can still be upgraded. A DDL
  // script starts from an empty repository: there is nothing to look up.
  auto insertRowZero = [this](const char* code, const char* key,
                              const char* insert,
                              const std::vector<KvbDatavar>& values) {
    const KvbString table = dataAccess_->getTableName(code, true, -1);
    int rows = 0;
    if (!ddlMode_) {
      if (!dataAccess_->paramSingleton(
              kvbStringFormat("SELECT COUNT(*) FROM %S WHERE %s=0", table, key),
              &rows, 0))
        return failOnConnection();
      if (rows > 0) return true;
    }
    return execute(kvbStringFormat(insert, table.asCstr()), values);
  };
  const KvbString folder(kProfileFolder);
  return insertRowZero("NOTCAT", "NCAT_ID",
                       "INSERT INTO %s (NCAT_ID, NCAT_DSC) VALUES (0, ?)",
                       {kProfileNoteCategory}) &&
         insertRowZero("FOLDER", "FLDR_ID",
                       "INSERT INTO %s (FLDR_ID, FLDR_NAM, NAM_NORM) VALUES "
                       "(0, ?, ?)",
                       {folder, KvbString(folder).toLower()});
}

bool RepositoryImpl::ensureDashboardDefaults() {
  if (!connected(nullptr)) return false;
  // The reason of a failed write is taken before the rollback can change it.
  return inTransaction([this] {
    return DashboardDefaults(dataAccess_, status_, ddlMode_).write() ||
           failOnConnection();
  });
}

// The objects are found and filed through the folder manager.
bool RepositoryImpl::moveObjectsToDefaultFolder() {
  if (!connected(nullptr)) return false;
  Owned<RepositoryFolderManager> folders(createFolderManager());
  if (!folders) return fail(noConnectionText());
  // Read whole before any object moves: each move changes the listing.
  std::vector<std::pair<KvbString, int>> unfiled;
  {
    Owned<ReposDataAccessCursor> items(folders->getUnfiledItems());
    if (!items) return fail(folders->getErrorMessage());
    while (items->next() == 1) {
      KvbString type = items->getString(0);
      unfiled.emplace_back(type.trim(), items->getInt(2));
    }
  }
  auto fileObjects = [&] {
    if (unfiled.empty()) {
      logProgress("There are no objects to migrate to folders.");
      return true;
    }
    logProgress("Put objects in to default shared data folder.");
    // The folder is made when an older repository lacks it, so that its
    // objects can be filed at all.
    int folderId = -1;
    const int found = scanRows(folders->getFolderChildByName(0, kSharedFolder),
                               [&](ReposDataAccessCursor* row) {
                                 folderId = row->getInt(0);
                                 return false;
                               });
    if (found < 0 ||
        (found == 0 && !folders->createFolder(0, kSharedFolder, folderId)))
      return fail(folders->getErrorMessage());
    for (const auto& object : unfiled) {
      if (!folders->moveObject(object.second, object.first, folderId))
        return fail(kvbStringFormat("Error moving %S to folder=\"%d\":  %S",
                                    object.first, folderId,
                                    folders->getErrorMessage()));
    }
    return true;
  };
  if (!fileObjects()) return false;
  Owned<MetadataRepositoryDataAccess> metadata(createMetadataDataAccess());
  if (!metadata) return fail(noConnectionText());
  KvbString reason;
  return metadata->normalizeFolderNames(status_, reason) || fail(reason);
}
