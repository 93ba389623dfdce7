// Import and export between repositories: a rule or custom metric exported
// from a SQLite repository imports into each back end and back unchanged
// apart from ids; imports over existing objects are all or nothing; UUID
// and name collisions resolve as documented; damaged files change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "access/object_types.h"
#include "impexp/repimpexpmgr.h"
#include "impexp/repobjectmgr.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/profile_data_access.h"
#include "support/admin_targets.h"
#include "support/child_processes.h"
#include "support/connection_waits.h"
#include "support/event_recorder.h"
#include "support/impexp_side.h"
#include "support/log_capture.h"

namespace {

// One repository with its managers, released at the end.
struct Side : ImpExpSide {
  bool drop(const char* code, const std::string& what = "") {
    ReposDataAccess* rda = repos->getDataAccess();
    const std::string table = rda->getTableName(code, true, -1).str();
    return rda->paramExec(
        what.empty() ? "DROP TABLE " + table : "ALTER TABLE " + table + what,
        nullptr, 0);
  }
  // Makes every insert into table `code` fail with a text naming
  // "kv_refuse" (a trigger on SQLite, a check that older rows escape on
  // PostgreSQL), or lets inserts through again when `refuse` is false.
  bool refuseInserts(const char* code, bool refuse, bool postgres) {
    ReposDataAccess* rda = repos->getDataAccess();
    const std::string table = rda->getTableName(code, true, -1).str();
    const std::string sql =
        postgres ? "ALTER TABLE " + table +
                       (refuse ? " ADD CONSTRAINT kv_refuse CHECK (1 = 0) "
                                 "NOT VALID"
                               : " DROP CONSTRAINT kv_refuse")
        : refuse ? "CREATE TRIGGER kv_refuse BEFORE INSERT ON " + table +
                       " BEGIN SELECT RAISE(ABORT, 'kv_refuse'); END"
                 : std::string("DROP TRIGGER kv_refuse");
    return rda->paramExec(sql, nullptr, 0);
  }
  void addExploration(const char* name, const char* comment, const char* uuid) {
    ReposDataAccess* rda = repos->getDataAccess();
    const std::string sql =
        "INSERT INTO " + rda->getTableName("MPRJ", true, -1).str() +
        " (PRJ_ID, PRJ_NM, PRJ_DATE, PRJ_COMM, PMDATE, PADATE, PMUSER, "
        "PCUSER, PRJ_UUID, FLDR_ID, LRDATE, LRDUR, LRST) VALUES (1, '" +
        name + "', 45000.5, '" + comment + "', 45001.25, 45002, 'e', 'c', '" +
        uuid + "', 0, 45003, 42, 'done')";
    EXPECT_TRUE(rda->paramExec(sql, nullptr, 0));
  }
  int ruleId(const char* name) {
    ReposDataAccessCursor* rows = common->findRule(-1, name, "");
    const std::vector<std::string> found = cursorRows(rows);
    return found.empty() ? -1 : std::stoi(found[0]);
  }
  // Column `column` of the first row, "none" without one.
  static std::string firstValue(ReposDataAccessCursor* rows,
                                const char* column) {
    int index = rows ? rows->getColumnIndex(column) : -1;
    std::string value = rows && rows->next() == 1
                            ? rows->getString(index).str()
                            : std::string("none");
    if (rows) rows->release();
    return value;
  }
  std::string ruleUuid(int id) {
    return firstValue(common->findRule(id, "", ""), "RU_UUID");
  }
  std::string customMetricUuid(int id) {
    return firstValue(common->findCustomMetric(id, "", ""), "CM_UUID");
  }
  std::string exportRule(int id) {
    KvbString out, error;
    EXPECT_TRUE(
        manager->exportObject(id, "Rule", ruleUuid(id), out, error, nullptr))
        << error.str();
    return out.str();
  }
};

// An export text without what differs between repositories by design:
// ids, dates, users, the UUIDs of fresh items, of new custom metrics and
// of the default dimension and threshold that each repository makes.
std::string comparable(const std::string& text) {
  static const std::regex local(
      "<value "
      "key=\"(\\w*_ID|\\w*CRDAT|\\w*EDDAT|\\w*CRUSR|\\w*EDUSR|RU_USER|UUID|"
      "CM_UUID|SU_UUID)\">[^<]*</value>");
  static const std::regex attributes(" (uuid|path|keyValue)=\"[^\"]*\"");
  return std::regex_replace(
      std::regex_replace(text, local, "<value key=\"$1\" />"), attributes, "");
}

using ScopedProfile = ScopedAccess<ProfileRepositoryDataAccess>;

class ImpExpTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    source_file_ = dir_.file("source.db");
    ASSERT_TRUE(admin_->createFileRepository(source_file_.c_str())) << error();
    from_.open(static_cast<RepositoryImpl*>(
        admin_->openFileRepository(source_file_.c_str(), false)));
    target_ = newDatabase();
    ASSERT_TRUE(create(target_)) << error();
    to_.open(open(target_));
  }

  // A rule reading two fields that uses a custom metric with two fields
  // and maps one rule field to each of them.
  int makeRule(Side& side, const char* name, const char* uuid) {
    CommonRepositoryDataAccess* c = side.common;
    const int cm = c->addCustomMetric("Ratio", "pre", "a/b", "post");
    EXPECT_GT(cm, 0) << c->getErrorMessage().str();
    EXPECT_TRUE(c->addCustomMetricField(cm, "a", "I"));
    EXPECT_TRUE(c->addCustomMetricField(cm, "r", "O"));
    const int id = c->addRule(name, "T", "ZIP <> ''\n AND \"x\"", "G", "<m/>",
                              "me", uuid, 0, "caf\xC3\xA9", "D");
    EXPECT_GT(id, 0) << c->getErrorMessage().str();
    EXPECT_TRUE(c->addRuleField(id, "ZIP", "Postal code"));
    EXPECT_TRUE(c->addRuleField(id, "CITY", "City"));
    EXPECT_TRUE(c->addRuleCustomMetric(id, cm, 1));
    EXPECT_TRUE(c->addCustomMetricFieldMap(id, cm, 1, "ZIP", "a", "I"));
    EXPECT_TRUE(c->addCustomMetricFieldMap(id, cm, 1, "CITY", "r", "O"));
    return id;
  }

  // A profile job with one of every definition row; answers its id.
  int makeJob(Side& side, const char* name) {
    ScopedProfile p(side.repos->createProfileDataAccess());
    const int job =
        p->addProfileJob(name, "desc", "u-job", 45000.5, 45001, "c", "e", 0);
    EXPECT_GT(job, 0) << p->getErrorMessage().str();
    const int dsn = p->addJobDsn(job, "DSN1", "conn", "file.txt");
    const int tbl = p->addJobTable(job, dsn, "cat", "sch", "T1", "f", "x>1", "",
                                   5, "", ",", "\"", 1, 0, 100, "Y", 1, 2, "N");
    const int fld = p->addJobField(job, dsn, tbl, "ZIP", "m", 3);
    EXPECT_GT(fld, 0) << p->getErrorMessage().str();
    EXPECT_TRUE(p->addJobFieldMetric(job, dsn, tbl, fld, "MIN", "1"));
    EXPECT_TRUE(p->addJobFieldProperty(job, dsn, tbl, fld, "P", "v"));
    EXPECT_TRUE(
        p->addJobLinkedField(job, fld, "D2", "c", "s", "T2", "ZIP2", "P", "t"));
    const int chart =
        p->addJobChart(job, "DSN1", "cat", "sch", "T1", "ZIP", "", "C", "");
    EXPECT_TRUE(p->addJobChartProperty(job, chart, "color", 1, "red"));
    EXPECT_TRUE(p->addJobChartProperty(job, chart, "size", 2, "9"));
    const int alert = p->addJobAlert(job, "DSN1", "cat", "sch", "T1", "ZIP", "",
                                     "A", "", "", "M", "uid");
    EXPECT_TRUE(p->setJobAlertProperty(job, alert, "limit", "5"));
    EXPECT_TRUE(p->addJobKeyValue(job, "k", "v"));
    EXPECT_TRUE(p->addJobGlobalMetric(job, "ROWS", "1"));
    const int rule = makeRule(side, "Postal", "u-rule");
    const int ruleSeq = p->addJobTableRule(job, tbl, rule, "Postal", 1, 9, "b");
    EXPECT_TRUE(p->addJobRuleFieldMapping(job, ruleSeq, tbl, rule, "Postal",
                                          "ZIP", "ZIP"));
    const int cm = side.common->addCustomMetric("Share", "", "a", "");
    EXPECT_TRUE(side.common->addCustomMetricField(cm, "a", "I"));
    const int metricSeq = p->addJobTableMetric(job, tbl, cm, "Share", "c");
    EXPECT_TRUE(p->addJobCustomMetricFieldMapping(
        job, tbl, cm, metricSeq, "Share", "ZIP", "", "a", "I"));
    const int config = p->addJobRdaConfig(job, "R", "d", "Name", "85", "EN");
    EXPECT_TRUE(p->addJobFieldRdaMap(job, config, "DSN1", "cat", "sch", "T1",
                                     "ZIP", "O"));
    return job;
  }
  static int jobId(Side& side, const char* name) {
    ScopedProfile p(side.repos->createProfileDataAccess());
    const std::vector<std::string> found =
        cursorRows(p->getProfileJob(-1, name, ""));
    return found.empty() ? -1 : std::stoi(found[0]);
  }
  static std::string exportOf(Side& side, int id, const char* type,
                               const KvbString& uuid = "") {
    KvbString out, error;
    EXPECT_TRUE(side.manager->exportObject(id, type, uuid, out, error, nullptr))
        << error.str();
    return out.str();
  }
  static std::string exportJob(Side& side, int id) {
    return exportOf(side, id, "ProfileJob");
  }
  // Imports `text` into the target while every insert into table `code`
  // fails: the import is refused with "Error importing <type> object: "
  // and then `prefix` leading its reason, and the
  // tables `kept` and `code` keep the rows they had.
  void expectImportUndone(const std::string& text, const char* code,
                          const char* prefix,
                          std::initializer_list<const char*> kept) {
    SCOPED_TRACE(code);
    const auto rows = [&] {
      int n = to_.count(code);
      for (const char* table : kept) n += to_.count(table);
      return n;
    };
    const int before = rows();
    ASSERT_TRUE(to_.refuseInserts(code, true, isPostgres()));
    KvbString error;
    EXPECT_FALSE(to_.manager->importObject(text, 0, error));
    EXPECT_EQ(error.str().rfind("Error importing ", 0), 0u) << error.str();
    EXPECT_NE(error.str().find(std::string(" object: ") + prefix),
              std::string::npos)
        << error.str();
    // This driver mode rolls the import's whole transaction back at the
    // refused row, savepoint included: a row written at a savepoint names
    // the undo that then fails.
    const bool lost = isPostgres() && postgresFailuresEndTransactions();
    EXPECT_TRUE(error.str().find("kv_refuse") != std::string::npos ||
                (lost && error.str().find("ROLLBACK TO SAVEPOINT") !=
                             std::string::npos))
        << error.str();
    EXPECT_EQ(rows(), before);
    ASSERT_TRUE(to_.refuseInserts(code, false, isPostgres()));
  }
  // The records of level 4 and above from the `before`th on, as
  // "file: text".
  std::vector<std::string> errorsSince(size_t before) const {
    std::vector<std::string> lines;
    const std::vector<CapturedLog> records = log_.records();
    for (size_t i = before; i < records.size(); ++i)
      if (records[i].level >= 4)
        lines.push_back(records[i].file + ": " + records[i].text);
    return lines;
  }


  // A kind that imports write, with its table's name and UUID columns (a
  // null UUID column: the kind has none) and the add of an object named
  // `name` with UUID `uuid` in `side` (the custom metric's UUID is drawn
  // by the add); its id.
  struct ImportKind {
    const char* type;
    const char* table;
    const char* nameColumn;
    const char* uuidColumn;
    std::function<int(Side&, const char* name, const char* uuid)> make;
  };
  static const std::vector<ImportKind>& importKinds() {
    static const std::vector<ImportKind> kinds = {
        {"Rule", "RULE", "RU_DESC", "RU_UUID",
         [](Side& s, const char* name, const char* uuid) {
           return s.common->addRule(name, "T", "x", "", "", "me", uuid, 0, "",
                                    "");
         }},
        {"Task", "MJOB", "JB_DESC", "JB_CODE",
         [](Side& s, const char* name, const char* uuid) {
           return monitorAdd(s, [&](MonitorRepositoryDataAccess* m, int* id) {
             return m->addTask(name, uuid, "me", 0, "", "", id);
           });
         }},
        {"ProfileJob", "JSETUP", "SU_NAME", "SU_UUID",
         [](Side& s, const char* name, const char* uuid) {
           ScopedProfile p(s.repos->createProfileDataAccess());
           return p->addProfileJob(name, "", uuid, 1, 1, "", "", 0);
         }},
        {"CustomMetric", "CUSTM", "CM_DESC", "CM_UUID",
         [](Side& s, const char* name, const char*) {
           return s.common->addCustomMetric(name, "", "a", "");
         }},
        {"Collection", "GCATS", "GCNAME", nullptr,
         [](Side& s, const char* name, const char*) {
           return s.common->addGlobalCategory(name, "d");
         }},
        {"Source", "EXSRC", "ES_NAME", "ES_UUID",
         [](Side& s, const char* name, const char* uuid) {
           return monitorAdd(s, [&](MonitorRepositoryDataAccess* m, int* id) {
             return m->addSource(name, uuid, "me", 0, id);
           });
         }},
        {"Dimension", "DIMENS", "DIM_NAME", "UUID",
         [](Side& s, const char* name, const char* uuid) {
           return monitorAdd(s, [&](MonitorRepositoryDataAccess* m, int* id) {
             return m->addDimension(name, "", "me", uuid, 0, id);
           });
         }},
        {"Threshold", "THRHLD", "THR_NAME", "UUID",
         [](Side& s, const char* name, const char* uuid) {
           return monitorAdd(s, [&](MonitorRepositoryDataAccess* m, int* id) {
             return m->addThreshold(name, "", "me", uuid, 0, 0, nullptr,
                                    nullptr, nullptr, nullptr, id);
           });
         }},
    };
    return kinds;
  }
  // The id that a monitoring add gives through its last argument; -1 when
  // it fails.
  static int monitorAdd(
      Side& side,
      const std::function<bool(MonitorRepositoryDataAccess*, int*)>& add) {
    ScopedAccess<MonitorRepositoryDataAccess> m(
        side.repos->createMonitorDataAccess());
    int id = -1;
    return add(m.get(), &id) ? id : -1;
  }
  // Column `column` of the objects of `kind` named `name`, in order.
  static std::vector<std::string> valuesOf(Side& side, const ImportKind& kind,
                                           const char* column,
                                           const std::string& name) {
    ReposDataAccess* rda = side.repos->getDataAccess();
    const KvbDatavar value(name.c_str());
    return cursorRows(rda->paramSelect(
        KvbString("SELECT ") + column + " FROM " +
            rda->getTableName(kind.table, true, -1) + " WHERE " +
            kind.nameColumn + "=? ORDER BY 1",
        1, &value));
  }
  // The UUIDs of the objects of `kind` named `name` (without a UUID
  // column, their names).
  static std::vector<std::string> uuidsOf(Side& side, const ImportKind& kind,
                                          const std::string& name) {
    return valuesOf(side, kind,
                    kind.uuidColumn ? kind.uuidColumn : kind.nameColumn, name);
  }

  std::string source_file_;
  AdminDatabase target_;
  Side from_, to_;
  LogCapture log_;
};

TEST_P(ImpExpTest, RuleTravelsToAnotherRepositoryAndBackUnchanged) {
  const int id = makeRule(from_, "Postal code", "u-rule");
  const std::string text = from_.exportRule(id);
  KvbString error;
  ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  const int copy = to_.ruleId("Postal code");
  ASSERT_GT(copy, 0);
  EXPECT_EQ(to_.ruleUuid(copy), "u-rule");
  const std::string there = to_.exportRule(copy);
  EXPECT_EQ(comparable(there), comparable(text));

  // Back over the original, which loses a field link first.
  ASSERT_TRUE(from_.common->deleteRuleLinks(id));
  ASSERT_TRUE(from_.manager->updateObject(id, "Rule", "u-rule", there, 0, error,
                                          nullptr))
      << error.str();
  EXPECT_EQ(comparable(from_.exportRule(id)), comparable(text));
  EXPECT_EQ(from_.count("CUSTM"), 1);  // the custom metric is reused by name
}

// The export file is all that passes: another process, with its own
// administration object and connection, imports it.
TEST_P(ImpExpTest, ExportFileImportsInAnotherProcess) {
  const std::string file = dir_.file("rule.xml");
  std::ofstream(file) << from_.exportRule(makeRule(from_, "Postal", "u-r"));
  const std::vector<int> status = runInChildren(1, [&](int) {
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
    Repository* repository = admin ? open(target_, false, admin) : nullptr;
    RepositoryImportExportManager* manager =
        repository ? repository->createImportExportManager() : nullptr;
    KvbString error;
    const bool imported =
        manager && manager->importObject(text.str(), 0, error);
    delete manager;
    if (repository) repository->release();
    if (admin) admin->release();
    return imported ? 0 : 1;
  });
  EXPECT_EQ(status, std::vector<int>{0});
  const int copy = to_.ruleId("Postal");
  ASSERT_GT(copy, 0);
  EXPECT_EQ(comparable(to_.exportRule(copy)),
            comparable(from_.exportRule(from_.ruleId("Postal"))));
}

TEST_P(ImpExpTest, ImportAsNewOfAKnownUuidCreatesNothing) {
  const std::string text = from_.exportRule(makeRule(from_, "R", "u-1"));
  KvbString error;
  ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  const int rules = to_.count("RULE"), links = to_.count("RUFIME");
  // Renamed in the target: still the same rule by its UUID.
  ASSERT_TRUE(to_.common->updateRule(to_.ruleId("R"), "Renamed", "T", "", "",
                                     "", "me", 1, 1, "me", "u-1", 0, "", ""));
  EXPECT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  EXPECT_EQ(to_.count("RULE"), rules);
  EXPECT_EQ(to_.count("RUFIME"), links);
  EXPECT_EQ(to_.ruleId("R"), -1);
}

TEST_P(ImpExpTest, ANameTakenUnderAnotherUuidRefusesTheImport) {
  const std::string text = from_.exportRule(makeRule(from_, "R", "u-1"));
  to_.common->addRule("R", "T", "", "", "", "me", "u-other", 0, "", "");
  KvbString error;
  EXPECT_FALSE(to_.manager->importObject(text, 0, error));
  EXPECT_NE(error.str().find("A business rule with this name already exists"),
            std::string::npos)
      << error.str();
  EXPECT_NE(error.str().find("\nImport Log:\n"), std::string::npos);
  EXPECT_EQ(to_.count("RULE"), 1);
  EXPECT_EQ(to_.count("CUSTM"), 0);
  // Under a new name through a path it goes in.
  ASSERT_TRUE(to_.manager->importObjectToPath("R2", text, error))
      << error.str();
  EXPECT_GT(to_.ruleId("R2"), 0);
  EXPECT_FALSE(to_.manager->importObjectToPath("r2", text, error));
  EXPECT_EQ(error.str(), "An object already exists at the path: r2");
}

TEST_P(ImpExpTest, AnImportOverARuleThatFailsHalfWayChangesNothing) {
  const std::string text = from_.exportRule(makeRule(from_, "R", "u-1"));
  const int target = to_.common->addRule("Old", "T", "old expr", "", "", "me",
                                         "u-t", 0, "", "");
  ASSERT_TRUE(to_.common->addRuleField(target, "OLD", "kept"));
  const std::string before = to_.exportRule(target);
  // The custom metric's fields can no longer be read: the import fails
  // after the rule row, its links and the custom metric were written.
  ASSERT_TRUE(to_.drop("CMFLD"));
  KvbString error;
  EXPECT_FALSE(to_.manager->updateObject(target, "Rule", "u-t", text, 0, error,
                                         nullptr));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(to_.exportRule(target), before);
  EXPECT_EQ(to_.count("CUSTM"), 0);
}

TEST_P(ImpExpTest, AnImportOverARuleKeepsItsNameAndAUuidHeldElsewhere) {
  const std::string text = from_.exportRule(makeRule(from_, "R", "u-1"));
  to_.common->addRule("Holder", "T", "", "", "", "me", "u-1", 0, "", "");
  const int target =
      to_.common->addRule("Target", "T", "", "", "", "me", "u-t", 0, "", "");
  KvbString error;
  ASSERT_TRUE(
      to_.manager->updateObject(target, "Rule", "u-t", text, 0, error, nullptr))
      << error.str();
  EXPECT_EQ(to_.ruleId("Target"), target);
  EXPECT_EQ(to_.ruleUuid(target), "u-t");
  // With no other holder the target takes the record's UUID.
  {
    EventRecorder deletions([](const RepositoryEvent& e) {
      return std::to_string(e.changeType) + " " + e.objectUUID.str();
    });
    ASSERT_TRUE(to_.manager->deleteObjectByPath("Holder", "Rule", error))
        << error.str();
    EXPECT_EQ(deletions.events,
              std::vector<std::string>{std::to_string(kChangeDeleted) + " u-1"});
  }
  ASSERT_TRUE(to_.manager->updateObject(target, "Rule", "u-t", text, 0, error,
                                        nullptr));
  EXPECT_EQ(to_.ruleUuid(target), "u-1");
}

TEST_P(ImpExpTest, DamagedOrForeignFilesChangeNothing) {
  const int id = makeRule(from_, "R", "u-1");
  const std::string text = from_.exportRule(id);
  const int rules = from_.count("RULE");
  KvbString error;
  for (const std::string& input :
       {text.substr(0, text.size() / 2),
        std::string("<!DOCTYPE x [<!ENTITY e SYSTEM \"/etc/passwd\">]><x/>"),
        std::regex_replace(text, std::regex("<child ref=\"1\""),
                           "<child ref=\"99\"")}) {
    EXPECT_FALSE(to_.manager->importObject(input, 0, error));
    EXPECT_NE(error.str().find("The export text cannot be read: "),
              std::string::npos)
        << error.str();
    // A log part comes only with a log.
    EXPECT_FALSE(error.endsWith("Import Log:\n")) << error.str();
    EXPECT_FALSE(from_.manager->updateObject(id, "Rule", "u-1", input, 0, error,
                                             nullptr));
  }
  const std::string task =
      "<kvExport version=\"1\" root=\"1\"><record id=\"1\" type=\"Task\"/>"
      "</kvExport>";
  EXPECT_FALSE(
      from_.manager->updateObject(id, "Rule", "u-1", task, 0, error, nullptr));
  EXPECT_EQ(error.str(),
            "The object type \"Rule\" appears to differ from imported object "
            "type \"Task\".");
  // A custom metric without a name would match any.
  EXPECT_FALSE(to_.manager->importObject(
      std::regex_replace(text, std::regex("(key=\"CM_DESC\">)Ratio<"), "$1<"),
      0, error));
  EXPECT_EQ(error.str().rfind("Error importing Rule object: An "
                              "embedded custom metric has no name",
                              0),
            0u)
      << error.str();
  EXPECT_EQ(from_.count("RULE"), rules);
  EXPECT_EQ(comparable(from_.exportRule(id)), comparable(text));
  EXPECT_EQ(to_.count("RULE") + to_.count("CUSTM"), 0);
}

// An import or update goes only into a folder that exists, also when an
// existing object stands for the record, and an empty text is refused with
// a reason.
TEST_P(ImpExpTest, ImportsIntoAMissingFolderOrOfNoTextAreRefused) {
  const int rule = makeRule(from_, "R", "u-1");
  const std::string text = from_.exportRule(rule);
  KvbString error;
  size_t before = log_.records().size();
  EXPECT_FALSE(to_.manager->importObject(text, 999, error));
  EXPECT_NE(error.str().find("Folder 999 does not exist"), std::string::npos)
      << error.str();
  EXPECT_EQ(errorsSince(before),
            std::vector<std::string>{"repimpexpmgr: Error importing Rule "
                                     "object: Folder 999 does not exist"});
  EXPECT_EQ(to_.count("RULE"), 0);
  MonitorRepositoryDataAccess* m = from_.repos->createMonitorDataAccess();
  int task = -1, source = -1;
  ASSERT_TRUE(m->addTask("T", "u-t", "me", 0, "", "", &task));
  ASSERT_TRUE(m->addSource("S", "u-s", "me", 0, &source));
  m->release();
  const int job = ScopedProfile(from_.repos->createProfileDataAccess())
                      ->addProfileJob("J", "", "u-j", 1, 1, "", "", 0);
  const struct {
    const char *type, *uuid;
    int id;
  } objects[] = {{"Rule", "u-1", rule},
                 {"Task", "u-t", task},
                 {"Source", "u-s", source},
                 {"ProfileJob", "u-j", job}};
  for (const auto& o : objects) {
    SCOPED_TRACE(o.type);
    const std::string existing = exportOf(from_, o.id, o.type, o.uuid);
    before = log_.records().size();
    EXPECT_FALSE(from_.manager->updateObject(o.id, o.type, o.uuid, existing,
                                             999, error, nullptr));
    const std::vector<std::string> logged = errorsSince(before);
    ASSERT_EQ(logged.size(), 1u) << "the failure is logged once";
    EXPECT_EQ(logged[0].rfind("repimpexpmgr: Error updating", 0), 0u)
        << logged[0];
    EXPECT_NE(error.str().find("Folder 999 does not exist"), std::string::npos)
        << error.str();
    EXPECT_EQ(comparable(exportOf(from_, o.id, o.type, o.uuid)),
              comparable(existing));
    ASSERT_TRUE(to_.manager->importObject(existing, 0, error)) << error.str();
    const int stored = to_.count("RULE") + to_.count("MJOB") +
                       to_.count("EXSRC") + to_.count("JSETUP");
    before = log_.records().size();
    EXPECT_FALSE(to_.manager->importObject(existing, 999, error));
    EXPECT_EQ(errorsSince(before),
              std::vector<std::string>{
                  kvbStringFormat("repimpexpmgr: Error importing %s object: "
                                  "Folder 999 does not exist",
                                  o.type)
                      .str()});
    EXPECT_NE(error.str().find("Folder 999 does not exist"), std::string::npos)
        << error.str();
    EXPECT_EQ(to_.count("RULE") + to_.count("MJOB") + to_.count("EXSRC") +
                  to_.count("JSETUP"),
              stored);
  }
  for (const KvbString& none : {KvbString(""), KvbString()}) {
    error = "";
    EXPECT_FALSE(to_.manager->importObject(none, 0, error));
    EXPECT_NE(error.str().find("input text is empty"), std::string::npos);
  }
}

TEST_P(ImpExpTest, ExportsOfMissingObjectsAndUnknownTypesFail) {
  KvbString out, error;
  // Without an id, a UUID or a name the rule is not found; an earlier
  // failure's text does not take the place of that answer.
  const std::string notFound =
      "Error exporting Rule object with id=-5: Unable to export rule, "
      "object not found with name=\"\" id=-5";
  EXPECT_FALSE(
      from_.manager->exportObject(-5, "Rule", "", out, error, nullptr));
  EXPECT_EQ(error.str(), notFound);
  EXPECT_FALSE(from_.manager->exportObject(1, std::string(300, 'T').c_str(), "",
                                           out, error, nullptr));
  EXPECT_FALSE(
      from_.manager->exportObject(-5, "Rule", "", out, error, nullptr));
  EXPECT_EQ(error.str(), notFound);
  EXPECT_FALSE(
      from_.manager->exportObject(77, "Rule", "", out, error, nullptr));
  EXPECT_EQ(error.str(),
            "Error exporting Rule object with id=77: Unable to export rule, "
            "object not found with name=\"\" id=77");
  EXPECT_FALSE(from_.manager->exportObject(1, "rule", "", out, error, nullptr));
  EXPECT_EQ(error.str(),
            "The object type \"rule\" is not a known type to export.");
  EXPECT_FALSE(
      from_.manager->exportObjectByPath("nowhere/R", "Rule", out, error));
  EXPECT_FALSE(from_.manager->exportObject(1, "", "", out, error, nullptr));
  // Nor is a missing task, profile job or source exported as an empty one.
  const std::pair<const char*, const char*> missing[] = {
      {"Task", "A task was not found to export."},
      {"ProfileJob", "A profile job was not found to export."},
      {"Source",
       "Unable to export source, object not found with name=\"\" id=77"}};
  for (const auto& m : missing) {
    EXPECT_FALSE(from_.manager->exportObject(77, m.first, "", out, error,
                                             nullptr));
    EXPECT_EQ(error.str(), std::string("Error exporting ") + m.first +
                               " object with id=77: " + m.second);
  }
  // An update needs its target.
  const std::string rule = from_.exportRule(makeRule(from_, "R", "u-1"));
  EXPECT_FALSE(
      from_.manager->updateObject(77, "Rule", "u-x", rule, 0, error, nullptr));
  EXPECT_EQ(error.str(),
            "The Rule object with id=77 and uuid=u-x does not exist and cannot "
            "be updated.");
  EXPECT_FALSE(
      from_.manager->updateObject(77, "Rule", "", rule, 0, error, nullptr));
  EXPECT_EQ(error.str(),
            "The Rule object with id=77 does not exist and cannot be updated.");
  EXPECT_EQ(from_.count("RULE"), 1);
}

TEST_P(ImpExpTest, CustomMetricTravelsWithItsFields) {
  makeRule(from_, "R", "u-1");
  KvbString text, error, there;
  ASSERT_TRUE(
      from_.manager->exportObject(1, "CustomMetric", "", text, error, nullptr))
      << error.str();
  ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  ASSERT_TRUE(
      to_.manager->exportObject(1, "CustomMetric", "", there, error, nullptr))
      << error.str();
  EXPECT_EQ(comparable(there.str()), comparable(text.str()));
  EXPECT_TRUE(to_.manager->importObject(text, 0, error));  // matched by name
  EXPECT_EQ(to_.count("CUSTM"), 1);
  EXPECT_EQ(to_.count("CMFLD"), 2);
}

// A custom metric is matched by its UUID before its name; imported to a
// path it takes the path's name; a rule's embedded custom metric that the
// target has already gains only the fields it lacks.
TEST_P(ImpExpTest, CustomMetricsMatchByUuidTakeThePathNameAndKeepTheirFields) {
  const std::string rule = from_.exportRule(makeRule(from_, "R", "u-1"));
  const KvbString uuid = from_.customMetricUuid(1).c_str();
  const std::string text = exportOf(from_, 1, "CustomMetric", uuid);
  KvbString error;
  CommonRepositoryDataAccess* c = to_.common;
  const int held = c->addCustomMetric("Held", "", "x", "");
  ASSERT_TRUE(c->updateCustomMetric(held, "Held", "", "x", "", uuid));
  ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  EXPECT_EQ(cursorRows(c->listCustomMetrics("")).size(), 1u);
  EXPECT_EQ(cursorRows(c->listCustomMetricFields(held)).size(), 0u)
      << "a matched custom metric is left as it is";

  ASSERT_TRUE(c->addCustomMetricField(held, "a", "I"));
  ASSERT_TRUE(c->addCustomMetricField(held, "z", "I"));
  ASSERT_TRUE(c->updateCustomMetric(held, "Ratio", "", "x", "", "u-other"));
  ASSERT_TRUE(to_.manager->importObject(rule.c_str(), 0, error)) << error.str();
  EXPECT_EQ(cursorRows(c->listCustomMetricFields(held)),
            (std::vector<std::string>{"a|I", "r|O", "z|I"}));

  ASSERT_TRUE(to_.manager->importObjectToPath("Share", text, error))
      << error.str();
  const std::vector<std::string> share = cursorRows(c->listCustomMetrics("Share"));
  ASSERT_EQ(share.size(), 1u);
  EXPECT_EQ(cursorRows(c->listCustomMetricFields(std::stoi(share[0]))),
            (std::vector<std::string>{"a|I", "r|O"}));
}

// Collections are matched by name only; imported to a path they take the
// path's name, and the exports of a missing one or of a missing custom
// metric say what was not found.
TEST_P(ImpExpTest, CollectionsImportToAPathAndMissingOnesAreNotExported) {
  CommonRepositoryDataAccess* c = from_.common;
  const int gc = c->addGlobalCategory("Names", "desc");
  ASSERT_TRUE(c->addGlobalCategoryField(gc, "DSN", "cat", "sch", "tbl", "fld",
                                        true, "VARCHAR", 20, 3));
  const std::string text = exportOf(from_, gc, "Collection");
  KvbString error, out;
  for (const char* path : {"People", "Others"})
    ASSERT_TRUE(to_.manager->importObjectToPath(path, text.c_str(), error))
        << error.str();
  EXPECT_EQ(cursorRows(to_.common->findGlobalCategory(-1, "People", "")),
            std::vector<std::string>{"1|People|desc"});
  EXPECT_EQ(to_.count("GCATS"), 2);
  EXPECT_EQ(to_.count("GCFLD"), 2);

  EXPECT_FALSE(
      to_.manager->exportObject(9, "Collection", "", out, error, nullptr));
  EXPECT_EQ(error.str(),
            "Error exporting Collection object with id=9: A collection was "
            "not found to export.");
  EXPECT_FALSE(
      to_.manager->exportObject(9, "CustomMetric", "", out, error, nullptr));
  EXPECT_EQ(error.str(),
            "Error exporting CustomMetric object with id=9: Unable to export "
            "custom metric, object not found with name=\"\" id=9");
}

// An import to a path that names no item or no folder, or of a type that
// has no manager, is refused with its reason and writes nothing.
TEST_P(ImpExpTest, ImportsToPathsThatCannotBeResolvedChangeNothing) {
  const std::string collection =
      exportOf(from_, from_.common->addGlobalCategory("Names", ""), "Collection");
  const std::string foreign =
      "<kvExport version=\"1\" root=\"1\"><record id=\"1\" "
      "type=\"Nothing\"/></kvExport>";
  const struct {
    const char* path;
    const std::string& text;
    const char* error;
  } cases[] = {
      {"Nowhere/", collection,
       "Unable to determine folder path and item name from given export "
       "path: Nowhere/"},
      {"Nowhere/Names", collection,
       "Unable to find folder/object by path: \"Nowhere\""},
      {"Names", foreign,
       "The object type \"Nothing\" is not a known type to import."},
  };
  KvbString error;
  for (const auto& c : cases) {
    const size_t before = log_.records().size();
    EXPECT_FALSE(to_.manager->importObjectToPath(c.path, c.text.c_str(), error));
    EXPECT_EQ(error.str(), c.error);
    const std::vector<CapturedLog> records = log_.records();
    EXPECT_EQ(std::count_if(records.begin() + before, records.end(),
                            [](const CapturedLog& r) { return r.level == 5; }),
              1)
        << c.path << ": each refusal is logged once";
  }
  EXPECT_FALSE(to_.manager->importObject(foreign.c_str(), 0, error));
  EXPECT_EQ(error.str().substr(0, std::strlen(cases[2].error)), cases[2].error);
  EXPECT_EQ(to_.count("GCATS"), 0);
}

// A report group has a path like any filed object, but this manager has no
// type for it: a delete or an update by its type is refused and it stays.
TEST_P(ImpExpTest, AReportGroupIsNeitherDeletedNorUpdatedByTheManager) {
  MonitorRepositoryDataAccess* m = to_.repos->createMonitorDataAccess();
  int group = -1;
  ASSERT_TRUE(m->addReportGroup("G", "", 1, 1, 1, KvbDate(), "me", "u-g", 0,
                                &group));
  m->release();
  const int groups = to_.count("RPTGRP");
  KvbString error;
  EXPECT_FALSE(to_.manager->deleteObjectByPath("G", "Dashboard", error));
  EXPECT_EQ(error.str(),
            "The object type \"Dashboard\" is not a known type to delete.");
  const std::string text =
      "<kvExport version=\"1\" root=\"1\"><record id=\"1\" "
      "type=\"Dashboard\"/></kvExport>";
  EXPECT_FALSE(to_.manager->updateObject(group, "Dashboard", "u-g", text, 0,
                                         error, nullptr));
  EXPECT_EQ(error.str(),
            "The object type \"Dashboard\" is not a known type to update on "
            "import.");
  EXPECT_EQ(to_.count("RPTGRP"), groups);
}

TEST_P(ImpExpTest, MonitoringObjectsTravelAndMatchAsDocumented) {
  MonitorRepositoryDataAccess* m = from_.repos->createMonitorDataAccess();
  int ids[3] = {-1, -1, -1};
  const KvbString names[3] = {"low", "mid", "high"};
  const double starts[3] = {0, 0.5, 0.9}, ends[3] = {0.5, 0.9, 1};
  const int colors[3] = {1, 2, 3};
  ASSERT_TRUE(m->addSource("S", "u-s", "me", 0, &ids[0]));
  ASSERT_TRUE(m->addDimension("D", "two\nlines", "me", "u-d", 0, &ids[1]));
  ASSERT_TRUE(m->addThreshold("T", "td", "me", "u-t", 0, 3, names, starts, ends,
                              colors, &ids[2]));
  m->release();
  const char* types[3] = {"Source", "Dimension", "Threshold"};
  const char* uuids[3] = {"u-s", "u-d", "u-t"};
  KvbString text, there, back, error;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(types[i]);
    ASSERT_TRUE(from_.manager->exportObject(ids[i], types[i], uuids[i], text,
                                            error, nullptr))
        << error.str();
    ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
    ASSERT_TRUE(to_.manager->exportObjectByPath(
        std::string(1, types[i][0]).c_str(), types[i], there, error))
        << error.str();
    EXPECT_EQ(comparable(there.str()), comparable(text.str()));
    ASSERT_TRUE(from_.manager->updateObject(ids[i], types[i], uuids[i], there,
                                            0, error, nullptr))
        << error.str();
    ASSERT_TRUE(from_.manager->exportObject(ids[i], types[i], uuids[i], back,
                                            error, nullptr));
    EXPECT_EQ(comparable(back.str()), comparable(text.str()));
  }
  // Under a UUID nobody holds, a dimension or threshold of a known name is
  // that object; a source is matched by UUID only and comes in anew.
  const int dimensions = to_.count("DIMENS"), sources = to_.count("EXSRC");
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(from_.manager->exportObject(ids[i], types[i], uuids[i], text,
                                            error, nullptr));
    const std::string fresh = std::regex_replace(
        text.str(), std::regex(uuids[i]), std::string("u-new"));
    EXPECT_TRUE(to_.manager->importObject(fresh, 0, error)) << error.str();
  }
  EXPECT_EQ(to_.count("DIMENS"), dimensions);
  EXPECT_EQ(to_.count("EXSRC"), sources + 1);
}

TEST_P(ImpExpTest, MonitoringObjectsAndExplorationsAreDeletedByPath) {
  MonitorRepositoryDataAccess* m = to_.repos->createMonitorDataAccess();
  const KvbString band[1] = {"all"};
  const double start[1] = {0}, end[1] = {1};
  const int color[1] = {1};
  int id = -1;
  ASSERT_TRUE(m->addSource("S", "u-s", "me", 0, &id));
  ASSERT_TRUE(m->addDimension("D", "", "me", "u-d", 0, &id));
  ASSERT_TRUE(
      m->addThreshold("T", "", "me", "u-t", 0, 1, band, start, end, color, &id));
  ASSERT_TRUE(m->addTask("K", "u-k", "me", 0, "", "", &id));
  m->release();
  to_.addExploration("E", "", "u-e");
  KvbString error, out;
  const struct {
    const char *type, *path;
  } objects[] = {{"Source", "S"},
                 {"Dimension", "D"},
                 {"Threshold", "T"},
                 {"Task", "K"},
                 {"DataExploration", "E"}};
  for (const auto& o : objects) {
    SCOPED_TRACE(o.type);
    ASSERT_TRUE(to_.manager->deleteObjectByPath(o.path, o.type, error))
        << error.str();
    EXPECT_FALSE(to_.manager->exportObjectByPath(o.path, o.type, out, error));
    EXPECT_EQ(error.str(),
              std::string("Unable to determine object id from path: ") + o.path);
  }
}

TEST_P(ImpExpTest, TaskTravelsWithItsRulesDimensionsThresholdsAndEvents) {
  const int rule = makeRule(from_, "R", "u-r");
  const int other =
      from_.common->addRule("R2", "T", "x", "", "", "me", "u-r2", 0, "", "");
  MonitorRepositoryDataAccess* m = from_.repos->createMonitorDataAccess();
  int dim = -1, thr = -1, task = -1;
  const KvbString band = "all";
  const double start = 0, end = 1;
  const int color = 4;
  ASSERT_TRUE(m->addDimension("Dim", "d", "me", "u-dim", 0, &dim));
  ASSERT_TRUE(m->addThreshold("Thr", "t", "me", "u-thr", 0, 1, &band, &start,
                              &end, &color, &thr));
  ASSERT_TRUE(m->addTask("Task", "u-task", "me", 0, "c", "d", &task));
  ASSERT_TRUE(m->addTaskRuleMember(task, rule, dim, thr, 0.5));
  ASSERT_TRUE(m->addTaskRule(task, other));
  ASSERT_TRUE(m->addRuleEvent(task, rule, 0, "CODE", "<ev a=\"1\"/>"));
  ASSERT_TRUE(m->addRuleEvent(task, rule, 1, "CODE2", ""));
  m->release();
  MonitorRepositoryDataAccess* t = to_.repos->createMonitorDataAccess();
  int group = -1;
  ASSERT_TRUE(t->addReportGroup("Board", "", 1, 1, 1, KvbDate::currentDate(),
                                "me", "u-g", 0, &group));
  t->release();

  KvbString text, there, back, error;
  ASSERT_TRUE(
      from_.manager->exportObject(task, "Task", "u-task", text, error, nullptr))
      << error.str();
  ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  ASSERT_TRUE(to_.manager->exportObjectByPath("Task", "Task", there, error))
      << error.str();
  EXPECT_EQ(comparable(there.str()), comparable(text.str()));
  EXPECT_EQ(to_.count("RULE"), 2);  // each rule once, for members and events
  EXPECT_EQ(to_.count("RUCMME"), 1);
  const int mappings = to_.count("DIMGRP");
  EXPECT_GE(mappings, 2);  // the new dashboard maps both member dimensions

  // Back over the original task, twice: nothing doubles.
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(from_.manager->updateObject(task, "Task", "u-task", there, 0,
                                            error, nullptr))
        << error.str();
  }
  ASSERT_TRUE(from_.manager->exportObject(task, "Task", "u-task", back, error,
                                          nullptr));
  EXPECT_EQ(comparable(back.str()), comparable(text.str()));
  ASSERT_TRUE(to_.manager->updateObject(to_.count("MJOB"), "Task", "u-task",
                                        text, 0, error, nullptr))
      << error.str();
  EXPECT_EQ(to_.count("DIMGRP"), mappings);
  EXPECT_EQ(to_.count("RULE"), 2);
}

TEST_P(ImpExpTest, ExplorationGoesOnlyOverAnExistingOneAndGivesItsComment) {
  from_.addExploration("Customers", "new comment", "uuid-1");
  to_.addExploration("Other", "old comment", "uuid-x");
  KvbString text, error, there;
  ASSERT_TRUE(from_.manager->exportObject(1, "DataExploration", "uuid-1", text,
                                          error, nullptr))
      << error.str();
  EXPECT_FALSE(to_.manager->importObject(text, 0, error));
  EXPECT_EQ(error.str().rfind(
                "Error importing DataExploration object: NOT IMPLEMENTED.", 0),
            0u)
      << error.str();
  ASSERT_TRUE(to_.manager->updateObject(1, "DataExploration", "uuid-x", text, 0,
                                        error, nullptr))
      << error.str();
  ASSERT_TRUE(to_.manager->exportObject(1, "DataExploration", "uuid-x", there,
                                        error, nullptr));
  // The target keeps its name, UUID, dates and users; the comment comes.
  const std::string expected =
      std::regex_replace(std::regex_replace(comparable(text.str()),
                                            std::regex("Customers"), "Other"),
                         std::regex("uuid-1"), "uuid-x");
  EXPECT_EQ(comparable(there.str()), expected);
  EXPECT_FALSE(from_.manager->exportObject(9, "DataExploration", "", text,
                                           error, nullptr));
  EXPECT_EQ(error.str(),
            "Error exporting DataExploration object with id=9: A data "
            "exploration was not found to export.");
}

TEST_P(ImpExpTest, CollectionTravelsWithDefinitionsAndFieldsOnce) {
  CommonRepositoryDataAccess* c = from_.common;
  const int gc = c->addGlobalCategory("Names", "desc");
  ASSERT_GT(c->addGlobalCategoryDefinition(gc, "ENUSA", 5, "Name", 7, "GIVEN",
                                           "Given name"),
            0);
  ASSERT_TRUE(c->addGlobalCategoryField(gc, "DSN", "cat", "sch", "tbl", "fld",
                                        true, "VARCHAR", 20, 3));
  ASSERT_TRUE(c->addGlobalCategoryField(gc, "DSN", "cat", "sch", "tbl", "f2",
                                        false, "INTEGER", 4, 4));
  KvbString text, there, error;
  ASSERT_TRUE(
      from_.manager->exportObject(gc, "Collection", "", text, error, nullptr))
      << error.str();
  for (int i = 0; i < 2; ++i)
    ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  EXPECT_EQ(to_.count("GCATS"), 1);
  EXPECT_EQ(to_.count("GCDEF"), 1);
  EXPECT_EQ(to_.count("GCFLD"), 2);
  ASSERT_TRUE(
      to_.manager->exportObject(1, "Collection", "", there, error, nullptr))
      << error.str();
  EXPECT_EQ(comparable(there.str()), comparable(text.str()));
}

TEST_P(ImpExpTest, ListenersHearExportsAndAFailedImportCarriesItsLog) {
  struct Listener : RepositoryActionEvent {
    std::string lines;
    bool onActionEvent(int level, const KvbString& source,
                       const KvbString& message) override {
      lines += std::to_string(level) + " " + source.str() + ": " +
               message.str() + "\n";
      return true;
    }
    void release() override {}
  } listener;
  const int id = makeRule(from_, "R", "u-1");
  KvbString pretty, compact, error;
  ASSERT_TRUE(
      from_.manager->exportObject(id, "Rule", "u-1", pretty, error, &listener));
  EXPECT_NE(listener.lines.find("2 R: Starting serialization"),
            std::string::npos)
      << listener.lines;
  EXPECT_FALSE(from_.manager->setSerializationOption(false));
  ASSERT_TRUE(
      from_.manager->exportObject(id, "Rule", "u-1", compact, error, nullptr));
  EXPECT_LT(compact.length(), pretty.length());
  // A rule of that name under another UUID refuses the import, whose log
  // then comes with the reason.
  to_.common->addRule("Ratio", "T", "", "", "", "me", "u-x", 0, "", "");
  const std::string clash =
      std::regex_replace(compact.str(), std::regex("<value key=\"RU_DESC\">R<"),
                         "<value key=\"RU_DESC\">Ratio<");
  EXPECT_FALSE(to_.manager->importObject(clash, 0, error));
  const size_t log = error.str().find("\nImport Log:\n");
  ASSERT_NE(log, std::string::npos);
  // Each line is "(source) Level: message", without brackets when the
  // event names no source.
  std::istringstream lines(error.str().substr(log + 13));
  std::string line;
  int count = 0;
  for (; std::getline(lines, line); ++count)
    EXPECT_TRUE(std::regex_search(
        line, std::regex("^(\\([^)]+\\) )?(Error|Warn|Info|Debug|Trace): ")))
        << line;
  EXPECT_GT(count, 0);
  EXPECT_EQ(to_.count("RULE"), 1);
}

TEST_P(ImpExpTest, ThresholdBandsStopAtTheFirstEmptyOne) {
  const std::string text =
      "<kvExport version=\"1\" root=\"1\"><record id=\"1\" "
      "type=\"Threshold\" uuid=\"u-b\"><value key=\"THR_NAME\">B</value>"
      "<value key=\"NAME_0\">low</value><value key=\"END_0\">0.5</value>"
      "<value key=\"NAME_1\">named only</value>"
      "<value key=\"START_2\">7</value>"
      "<value key=\"NAME_4\">after the gap</value></record></kvExport>";
  KvbString error, out;
  ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  ASSERT_TRUE(to_.manager->exportObjectByPath("B", "Threshold", out, error));
  EXPECT_NE(out.str().find("<value key=\"END_0\">0.5</value>"),
            std::string::npos);
  EXPECT_NE(out.str().find("<value key=\"START_1\">0</value>"),
            std::string::npos);
  EXPECT_NE(out.str().find("<value key=\"START_2\">7</value>"),
            std::string::npos);  // a band without a name is no empty one
  EXPECT_EQ(out.str().find("after the gap"), std::string::npos);
}

// A task's rule is found in the target by its UUID, else by its name.
TEST_P(ImpExpTest, ATasksRuleOfAKnownNameIsReused) {
  const int rule =
      from_.common->addRule("R2", "T", "x", "", "", "me", "u-r2", 0, "", "");
  MonitorRepositoryDataAccess* m = from_.repos->createMonitorDataAccess();
  int task = -1;
  ASSERT_TRUE(m->addTask("Task", "u-task", "me", 0, "c", "d", &task));
  ASSERT_TRUE(m->addTaskRule(task, rule));
  m->release();
  const int held =
      to_.common->addRule("R2", "T", "", "", "", "me", "u-other", 0, "", "");
  KvbString text, error;
  ASSERT_TRUE(
      from_.manager->exportObject(task, "Task", "u-task", text, error, nullptr))
      << error.str();
  ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  EXPECT_EQ(to_.count("RULE"), 1);
  EXPECT_EQ(to_.ruleUuid(held), "u-other");
}

// A rule that a task brings along, under a name that a name may not hold,
// is added under that name with "_" in place of each such character.
TEST_P(ImpExpTest, ATasksNewRuleIsRenamedWhenItsNameCannotBeStored) {
  const int rule = from_.common->addRule("Zip/Check\\2", "T", "x", "", "",
                                         "me", "u-r", 0, "", "");
  MonitorRepositoryDataAccess* m = from_.repos->createMonitorDataAccess();
  int task = -1;
  ASSERT_TRUE(m->addTask("Task", "u-task", "me", 0, "", "", &task));
  ASSERT_TRUE(m->addTaskRule(task, rule));
  m->release();
  KvbString error;
  ASSERT_TRUE(to_.manager->importObject(exportOf(from_, task, "Task", "u-task"),
                                        0, error))
      << error.str();
  EXPECT_GT(to_.ruleId("Zip_Check_2"), 0);
  EXPECT_EQ(to_.count("RULE"), 1);
}

TEST_P(ImpExpTest, ProfileJobTravelsWholeAndReplacesAnExistingOne) {
  const int id = makeJob(from_, "Job");
  const std::string text = exportJob(from_, id);
  std::istringstream items(
      "DSN Table Field FieldMetric FieldProperty FieldLink Chart ChartProperty "
      "Alert AlertProperty KeyValue GlobalMetric RDACfg FieldCfg TableRule "
      "Rule TableRuleField TableMetric CustomMetric TableMetricFieldMap");
  for (std::string item; items >> item;)
    EXPECT_NE(text.find("type=\"" + item + "\""), std::string::npos) << item;
  KvbString error;
  ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  const int copy = jobId(to_, "Job");
  ASSERT_GT(copy, 0);
  const std::string there = exportJob(to_, copy);
  EXPECT_EQ(comparable(there), comparable(text));
  EXPECT_EQ(there.find("u-job"), std::string::npos);  // a UUID of its own

  // Back over the original, which gained rows meanwhile: they go.
  ScopedProfile p(from_.repos->createProfileDataAccess());
  ASSERT_TRUE(p->addJobKeyValue(id, "extra", "x"));
  ASSERT_GT(p->addJobDsn(id, "DSN2", "", ""), 0);
  ASSERT_TRUE(from_.manager->updateObject(id, "ProfileJob", "u-job", there, 0,
                                          error, nullptr))
      << error.str();
  EXPECT_EQ(comparable(exportJob(from_, id)), comparable(text));
  EXPECT_EQ(from_.count("JSETUP"), 1);
}

TEST_P(ImpExpTest, ProfileJobNamesUuidsAndDependentRulesResolveInTheTarget) {
  const std::string text = exportJob(from_, makeJob(from_, "Job"));
  // The job's rule stands in the target under another name: it is reused
  // and the table rule names it as the target does.
  to_.common->addRule("Zip rule", "T", "", "", "", "me", "u-rule", 0, "", "");
  KvbString error;
  ASSERT_TRUE(to_.manager->importObjectToPath("Copy", text, error))
      << error.str();
  const int copy = jobId(to_, "Copy");
  ASSERT_GT(copy, 0);
  EXPECT_EQ(to_.count("RULE"), 1);
  EXPECT_EQ(to_.count("JTBLRU"), 1);
  EXPECT_NE(exportJob(to_, copy).find("<value key=\"BR_NAME\">Zip rule<"),
            std::string::npos);
  // A second import as new is a second job, under a name of its own.
  ASSERT_TRUE(to_.manager->importObjectToPath("Again", text, error))
      << error.str();
  EXPECT_EQ(to_.count("JSETUP"), 2);
  EXPECT_EQ(to_.count("JTBLRU"), 2);
  // Over a job, the target keeps its name and UUID; by path, the job is
  // found and deleted with its rows.
  ScopedProfile p(to_.repos->createProfileDataAccess());
  const int target =
      p->addProfileJob("Target", "", "u-target", 45000, 45000, "", "", 0);
  ASSERT_TRUE(to_.manager->updateObject(target, "ProfileJob", "u-target", text,
                                        0, error, nullptr))
      << error.str();
  const std::vector<std::string> row =
      cursorRows(p->getProfileJob(target, "", ""));
  ASSERT_EQ(row.size(), 1u);
  EXPECT_NE(row[0].find("|Target|"), std::string::npos) << row[0];
  EXPECT_NE(row[0].find("|u-target|"), std::string::npos) << row[0];
  ASSERT_TRUE(to_.manager->deleteObjectByPath("Again", "ProfileJob", error))
      << error.str();
  EXPECT_EQ(jobId(to_, "Again"), -1);
  EXPECT_EQ(to_.count("JTBLRU"), 2);
}

TEST_P(ImpExpTest, ProfileJobItemsMatchWithinTheImportedJob) {
  // Two sources of one name, two charts whose descriptions differ only in
  // case, a key twice, and a field mapping of a configuration that the
  // file does not bring.
  const std::string text =
      "<kvExport version=\"1\" root=\"11\">"
      "<record id=\"1\" type=\"Table\" key=\"TBL_ID\" keyValue=\"1\">"
      "<value key=\"TBL_NAME\">A</value></record>"
      "<record id=\"2\" type=\"Table\" key=\"TBL_ID\" keyValue=\"2\">"
      "<value key=\"TBL_NAME\">B</value></record>"
      "<record id=\"3\" type=\"DSN\"><value key=\"DSN_NAME\">S</value>"
      "<section name=\"Tables\"><child ref=\"1\"/></section></record>"
      "<record id=\"4\" type=\"DSN\"><value key=\"DSN_NAME\">S</value>"
      "<section name=\"Tables\"><child ref=\"2\"/></section></record>"
      "<record id=\"5\" type=\"ChartProperty\">"
      "<value key=\"CP_NAME\">p</value></record>"
      "<record id=\"6\" type=\"Chart\"><value key=\"CH_DESC\">Sales</value>"
      "</record>"
      "<record id=\"7\" type=\"Chart\"><value key=\"CH_DESC\">SALES</value>"
      "<section name=\"ChartProperties\"><child ref=\"5\"/></section>"
      "</record>"
      "<record id=\"8\" type=\"KeyValue\"><value key=\"SU_KEY\">k</value>"
      "<value key=\"SU_VAL\">1</value></record>"
      "<record id=\"9\" type=\"KeyValue\"><value key=\"SU_KEY\">K</value>"
      "<value key=\"SU_VAL\">2</value></record>"
      "<record id=\"10\" type=\"FieldCfg\"><value key=\"CFG_ID\">7</value>"
      "</record>"
      "<record id=\"11\" type=\"ProfileJob\">"
      "<value key=\"SU_NAME\">J</value>"
      "<section name=\"JobCharts\"><child ref=\"6\"/><child ref=\"7\"/>"
      "</section><section name=\"DSNs\"><child ref=\"3\"/>"
      "<child ref=\"4\"/></section><section name=\"KeyValues\">"
      "<child ref=\"8\"/><child ref=\"9\"/></section>"
      "<section name=\"FieldCfgs\"><child ref=\"10\"/></section>"
      "</record></kvExport>";
  KvbString error;
  ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  EXPECT_EQ(to_.count("JDSN"), 1);
  EXPECT_EQ(to_.count("JTABLE"), 2);
  EXPECT_EQ(to_.count("JCHART"), 1);
  EXPECT_EQ(to_.count("JCHPRP"), 1);
  EXPECT_EQ(to_.count("JKEYVL"), 1);
  EXPECT_EQ(to_.count("JFRDA"), 0);
}

// A row of a rule, task, collection or source that cannot be written undoes
// the whole import, the objects it brought included, and is named.
TEST_P(ImpExpTest, AnObjectRowThatCannotBeWrittenUndoesTheImport) {
  const int rule = makeRule(from_, "R", "u-r");
  MonitorRepositoryDataAccess* m = from_.repos->createMonitorDataAccess();
  int task = -1, source = -1;
  ASSERT_TRUE(m->addTask("T", "u-t", "me", 0, "", "", &task));
  ASSERT_TRUE(m->addTaskRule(task, rule));
  ASSERT_TRUE(m->addRuleEvent(task, rule, 0, "CODE", ""));
  ASSERT_TRUE(m->addSource("S", "u-s", "me", 0, &source));
  m->release();
  CommonRepositoryDataAccess* c = from_.common;
  const int gc = c->addGlobalCategory("G", "");
  ASSERT_GT(c->addGlobalCategoryDefinition(gc, "EN", 1, "qm", 2, "tk", ""), 0);
  ASSERT_TRUE(c->addGlobalCategoryField(gc, "DSN", "", "", "T", "F", true,
                                        "VARCHAR", 20, 1));
  // A task's rules are mapped into each report group of the target.
  m = to_.repos->createMonitorDataAccess();
  ASSERT_TRUE(m->addReportGroup("G", "", 1, 1, 1, KvbDate(), "me", "u-g", 0,
                                nullptr));
  m->release();
  const std::string ruleText = from_.exportRule(rule),
                    taskText = exportOf(from_, task, "Task", "u-t"),
                    collection = exportOf(from_, gc, "Collection"),
                    sourceText = exportOf(from_, source, "Source", "u-s");
  const struct {
    const std::string& text;
    const char* code;
    const char* prefix;
  } writes[] = {
      {ruleText, "MFLD", "Error adding field mapping to rule: "},
      {ruleText, "RUFIME", "Error adding field mapping to rule: "},
      {ruleText, "CUSTM", "Error creating custom metric for import: "},
      {ruleText, "CMFLD", "Error creating field for custom metric: "},
      {ruleText, "RUCMME", "Error mapping custom metric to Rule: "},
      {ruleText, "CMFMAP", "Error creating field mapping for custom metric: "},
      {taskText, "JBRUME", "Error adding rule to task: "},
      {taskText, "RULEVT", "Error adding rule-event to task: "},
      {taskText, "DIMGRP", "Unable to create threshold mapping: "},
      {collection, "GCDEF", "Unable to create global category definition: "},
      {collection, "GCFLD", "Unable to create global category field: "},
      {sourceText, "EXSRC",
       "Unable to create source object \"S\" during import:  "}};
  for (const auto& w : writes)
    expectImportUndone(w.text, w.code, w.prefix,
                       {"RULE", "CUSTM", "MJOB", "GCATS"});
}

// A row of a profile job that cannot be written undoes the whole import,
// the rules and custom metrics it brought included, and is named.
TEST_P(ImpExpTest, AProfileJobRowThatCannotBeWrittenUndoesTheImport) {
  const std::string text = exportJob(from_, makeJob(from_, "Job"));
  const std::pair<const char*, const char*> writes[] = {
      {"JCHART", "Error inserting chart into profile job: "},
      {"JCHPRP", "Error inserting chart property into profile job: "},
      {"JALERT", "Error inserting alert into profile job: "},
      {"JALPRP", "Error inserting alert property into profile job: "},
      {"JDSN", "Error inserting DSN into profile job: "},
      {"JTABLE", "Error inserting table into profile job: "},
      {"JFLD", "Error inserting job field into profile job: "},
      {"JFLDME", "Error inserting job field metrics into profile job: "},
      {"JFLDPR", "Error inserting job field properties into profile job: "},
      {"JLNKFL", "Error inserting job field links into profile job: "},
      {"JTBLRU", "Error inserting table rule into profile job: "},
      {"JTBLMA", "Error inserting rule field mapping into profile job: "},
      {"JTBLME", "Error adding table metrics to profile job: "},
      {"JCMDMA", "Error adding table custom metric field map to profile job: "},
      {"JGMET", "Error inserting global metric for profile job: "},
      {"JKEYVL", "Error inserting key/values for profile job: "},
      {"JRCFGS", "Error inserting RDA configuration for profile job: "},
      {"JFRDA", "Error RDA field mapping for profile job: "}};
  for (const auto& w : writes)
    expectImportUndone(text, w.first, w.second, {"JSETUP", "RULE", "CUSTM"});
  KvbString error;
  ASSERT_TRUE(to_.manager->importObject(text, 0, error)) << error.str();
  EXPECT_EQ(comparable(exportJob(to_, jobId(to_, "Job"))), comparable(text));
}

// A job that holds an item twice (a field of one name, a metric or property
// of one field, a table's metric or mapping) is imported with it once: an
// item is matched to the one the import wrote already.
TEST_P(ImpExpTest, ProfileJobItemsHeldTwiceAreImportedOnce) {
  const int rule = makeRule(from_, "Postal", "u-rule");
  const int cm = from_.common->addCustomMetric("Share", "", "a", "");
  ASSERT_TRUE(from_.common->addCustomMetricField(cm, "a", "I"));
  ScopedProfile p(from_.repos->createProfileDataAccess());
  const int job = p->addProfileJob("Twice", "", "u-2", 1, 1, "", "", 0);
  const int dsn = p->addJobDsn(job, "D", "", "");
  const int tbl = p->addJobTable(job, dsn, "", "", "T", "", "", "", 0, "", ",",
                                 "\"", 1, 0, 0, "N", 0, 0, "N");
  const int ruleSeq = p->addJobTableRule(job, tbl, rule, "Postal", 1, 9, "b");
  for (int i = 0; i < 2; ++i) {
    const int fld = p->addJobField(job, dsn, tbl, "F", "", 1);
    ASSERT_TRUE(p->addJobFieldMetric(job, dsn, tbl, fld, "MIN", "1"));
    ASSERT_TRUE(p->addJobFieldProperty(job, dsn, tbl, fld, "P", "v"));
    ASSERT_TRUE(p->addJobGlobalMetric(job, "ROWS", "1"));
    ASSERT_TRUE(p->addJobRuleFieldMapping(job, ruleSeq, tbl, rule, "Postal",
                                          "F", "ZIP"));
    const int metricSeq = p->addJobTableMetric(job, tbl, cm, "Share", "c");
    ASSERT_TRUE(p->addJobCustomMetricFieldMapping(job, tbl, cm, metricSeq,
                                                  "Share", "F", "", "a", "I"));
  }
  ASSERT_EQ(from_.count("JFLD"), 2);
  KvbString error;
  ASSERT_TRUE(to_.manager->importObject(exportJob(from_, job), 0, error))
      << error.str();
  for (const char* code :
       {"JFLD", "JFLDME", "JFLDPR", "JGMET", "JTBLMA", "JTBLME", "JCMDMA"})
    EXPECT_EQ(to_.count(code), 1) << code;
}

// A table rule or table metric of a job whose rule or custom metric the
// file does not bring cannot be imported: the job is refused whole.
TEST_P(ImpExpTest, AProfileJobTableItemWithoutItsObjectIsRefused) {
  const std::string text = exportJob(from_, makeJob(from_, "Job"));
  const std::string damaged[] = {
      std::regex_replace(
          text, std::regex("<section name=\"Rules\">\\s*<child ref=\"[0-9]+\" />"
                           "\\s*</section>"),
          ""),
      std::regex_replace(text,
                         std::regex("(type=\"TableMetric\"[^>]*>[\\s\\S]*?"
                                    "<value key=\"CM_ID\">)[0-9]+<"),
                         "$1x<")};
  const char* reasons[] = {
      "Error finding business rule for table to insert into profile job: "
      "Postal",
      "Error adding table metrics to profile job, unable to find custom "
      "metric name=Share"};
  KvbString error;
  for (int i = 0; i < 2; ++i) {
    EXPECT_NE(damaged[i], text);
    EXPECT_FALSE(to_.manager->importObject(damaged[i], 0, error));
    EXPECT_EQ(error.str().rfind(
                  std::string("Error importing ProfileJob object: ") +
                      reasons[i],
                  0),
              0u)
        << error.str();
  }
  EXPECT_EQ(to_.count("JSETUP") + to_.count("RULE") + to_.count("CUSTM"), 0);
}

TEST_P(ImpExpTest, AFailedImportOverAProfileJobChangesNothing) {
  const int id = makeJob(from_, "Job");
  ScopedProfile(from_.repos->createProfileDataAccess())
      ->addJobDsn(id, "New", "", "");
  const std::string text = exportJob(from_, id);
  const int target = makeJob(to_, "Target");
  const std::string before = exportJob(to_, target);
  // Key/values come last: without their value column they can be neither
  // read nor written, after every other section was cleared and rewritten.
  // The column comes back for the comparison.
  ASSERT_TRUE(to_.drop("JKEYVL", " RENAME COLUMN SU_VAL TO SU_GONE"));
  KvbString error;
  EXPECT_FALSE(to_.manager->updateObject(target, "ProfileJob", "u-job", text, 0,
                                         error, nullptr));
  EXPECT_NE(KvbString(error).toLower().str().find("su_val"), std::string::npos)
      << error.str();
  ASSERT_TRUE(to_.drop("JKEYVL", " RENAME COLUMN SU_GONE TO SU_VAL"));
  // Equal rows under equal ids; only the UUIDs of fresh items differ.
  static const std::regex uuids(" uuid=\"[^\"]*\"");
  EXPECT_EQ(std::regex_replace(exportJob(to_, target), uuids, ""),
            std::regex_replace(before, uuids, ""));
  EXPECT_EQ(jobId(to_, "Job"), -1);
  // Rows that cannot be cleared before the import are kept, every one.
  const int kept = to_.count("JKEYVL") + to_.count("JDSN");
  ASSERT_TRUE(to_.drop("JFLDPR"));  // the last table cleared
  EXPECT_FALSE(to_.manager->updateObject(target, "ProfileJob", "u-job", text, 0,
                                         error, nullptr));
  EXPECT_EQ(
      error.str().rfind(
          "Error updating ProfileJob object with id=" + std::to_string(target) +
              " on import: Error clearing existing profile job for import: ",
          0),
      0u)
      << error.str();
  EXPECT_EQ(to_.count("JKEYVL") + to_.count("JDSN"), kept);
}

// An import over a rule or task first clears its old content; content that
// cannot be cleared is kept, and the import is refused.
TEST_P(ImpExpTest, AnUpdateWhoseOldContentCannotBeClearedChangesNothing) {
  const int rule = makeRule(to_, "R", "u-r");
  const std::string ruleText = to_.exportRule(rule);
  MonitorRepositoryDataAccess* m = to_.repos->createMonitorDataAccess();
  int task = -1;
  ASSERT_TRUE(m->addTask("T", "u-t", "me", 0, "", "", &task));
  ASSERT_TRUE(m->addTaskRule(task, rule));
  m->release();
  const std::string taskText = exportOf(to_, task, "Task", "u-t");
  ASSERT_TRUE(to_.drop("RUCMME"));  // the last table of a rule's links
  ASSERT_TRUE(to_.drop("RULEVT"));  // the last table of a task's members
  KvbString error;
  EXPECT_FALSE(to_.manager->updateObject(rule, "Rule", "u-r", ruleText, 0,
                                         error, nullptr));
  EXPECT_EQ(error.str().rfind("Error updating Rule object with id=" +
                                  std::to_string(rule) +
                                  " on import: Error clearing existing rule: ",
                              0),
            0u)
      << error.str();
  EXPECT_FALSE(to_.manager->updateObject(task, "Task", "u-t", taskText, 0,
                                         error, nullptr));
  EXPECT_EQ(error.str().rfind("Error updating Task object with id=" +
                                  std::to_string(task) +
                                  " on import: Error clearing existing task: ",
                              0),
            0u)
      << error.str();
  EXPECT_EQ(to_.count("RUFIME") + to_.count("CMFMAP") + to_.count("JBRUME"),
            5);  // two fields, two mappings, one member
}

// A lookup whose query fails is no lookup that found nothing: the object
// is not reported missing, a section is not left out of an export as if it
// had no rows, and an import does not go on to add what it could not look
// for. Each answer is false with the database's own reason.
TEST_P(ImpExpTest, LookupsThatFailGiveTheDatabasesReasonNotAbsence) {
  const int job = makeJob(to_, "Job");  // with rule "Postal"
  const int rule = to_.ruleId("Postal");
  MonitorRepositoryDataAccess* m = to_.repos->createMonitorDataAccess();
  int source = -1;
  ASSERT_TRUE(m->addSource("S", "u-s", "me", 0, &source));
  m->release();
  KvbString text, out, error;
  ASSERT_TRUE(
      to_.manager->exportObject(source, "Source", "u-s", text, error, nullptr));
  const std::string ruleText = from_.exportRule(makeRule(from_, "R", "u-r"));
  auto databaseReason = [&](const KvbString& answer) {
    const std::string reason =
        to_.repos->getDataAccess()->getErrorMessage().str();
    return !reason.empty() && answer.str().find(reason) != std::string::npos;
  };

  // The rule's object row lacks its description column.
  ASSERT_TRUE(to_.drop("RULE", " RENAME COLUMN RU_COMM TO RU_GONE"));
  EXPECT_FALSE(to_.manager->updateObject(rule, "Rule", "u-rule", ruleText, 0,
                                         error, nullptr));
  EXPECT_TRUE(databaseReason(error)) << error.str();
  // A source's row cannot be read whole: neither exported nor taken for
  // one to add again.
  ASSERT_TRUE(to_.drop("EXSRC", " RENAME COLUMN ES_DESC TO ES_GONE"));
  EXPECT_FALSE(
      to_.manager->exportObject(source, "Source", "u-s", out, error, nullptr));
  EXPECT_TRUE(databaseReason(error)) << error.str();
  EXPECT_FALSE(to_.manager->importObject(text, 0, error));
  EXPECT_TRUE(databaseReason(error)) << error.str();
  // The job's key/values cannot be read.
  ASSERT_TRUE(to_.drop("JKEYVL", " RENAME COLUMN SU_VAL TO SU_GONE"));
  EXPECT_FALSE(
      to_.manager->exportObject(job, "ProfileJob", "", out, error, nullptr));
  EXPECT_TRUE(databaseReason(error)) << error.str();
}

// A record's UUID (a task's code) whose lookup fails is not matched by the
// record's name instead: the import fails with the server's reason and the
// object of that name stays as it was. The lookup fails where the stored
// UUIDs have become of the server's uuid type, which the record's is not;
// in the driver's default mode the failed statement is undone alone, so
// the transaction would go on to a lookup by name.
TEST_P(ImpExpTest, ARecordWhoseUuidCannotBeLookedUpIsNotMatchedByName) {
  if (!isPostgres()) GTEST_SKIP() << "a column type of the server's own";
  // As the driver reads a value of the uuid type back.
  const char* const stored = "0B6F1C7E-5D43-4C2A-9E8F-1A2B3C4D5E6F";
  for (const char* type : {"Rule", "Task", "Source", "CustomMetric"}) {
    SCOPED_TRACE(type);
    const ImportKind& kind = *std::find_if(
        importKinds().begin(), importKinds().end(),
        [&](const ImportKind& k) { return std::strcmp(k.type, type) == 0; });
    const std::string text =
        exportOf(from_, kind.make(from_, "N", "u-x"), type, "u-x");
    ASSERT_GT(kind.make(to_, "N", stored), 0);
    // A custom metric gets a UUID of its own, which the driver reads back
    // in upper case once it is of the uuid type.
    std::vector<std::string> before = uuidsOf(to_, kind, "N");
    for (std::string& uuid : before)
      std::transform(uuid.begin(), uuid.end(), uuid.begin(), ::toupper);
    const std::string column = kind.uuidColumn;
    ASSERT_TRUE(to_.drop(kind.table, " ALTER COLUMN " + column +
                                         " TYPE uuid USING NULLIF(" + column +
                                         ", '')::uuid"));
    KvbString error;
    EXPECT_FALSE(to_.manager->importObject(text.c_str(), 0, error));
    EXPECT_NE(error.str().find("invalid input syntax"), std::string::npos)
        << error.str();
    EXPECT_EQ(uuidsOf(to_, kind, "N"), before);
  }
}

// An import to a path makes an object there each time: the first keeps
// the record's UUID (a task's code), read from the record's row when the
// export was made without one; later ones, whose UUID the first holds,
// get new ones of their own. Objects without a code never collide.
TEST_P(ImpExpTest, ImportsToAPathKeepFreeUuidsAndTakeNewOnesWhereTaken) {
  for (const ImportKind& kind : importKinds()) {
    SCOPED_TRACE(kind.type);
    const int made = kind.make(from_, "Made", "u-made");
    ASSERT_GT(made, 0);
    const std::vector<std::string> original = uuidsOf(from_, kind, "Made");
    ASSERT_EQ(original.size(), 1u);
    // Exported without its UUID: the record's row still carries it.
    const std::string text = exportOf(from_, made, kind.type);
    // An object of the record's name stands for none imported to a path.
    ASSERT_GT(kind.make(to_, "Made", "u-other"), 0);
    std::set<std::string> seen;
    for (int n = 1; n <= 3; ++n) {
      const std::string path = kind.type + std::to_string(n);
      KvbString error;
      EXPECT_TRUE(to_.manager->importObjectToPath(path.c_str(), text.c_str(),
                                                  error))
          << path << ": " << error.str();
      const std::vector<std::string> uuids = uuidsOf(to_, kind, path);
      ASSERT_EQ(uuids.size(), 1u) << path << " holds no object of its own";
      if (!kind.uuidColumn) continue;
      EXPECT_EQ(uuids[0] == original[0], n == 1) << path << ": " << uuids[0];
      EXPECT_FALSE(uuids[0].empty()) << path;
      EXPECT_TRUE(seen.insert(uuids[0]).second) << path << ": " << uuids[0];
    }
  }
  // Tasks and sources without a code are as many as are added.
  for (const ImportKind& kind : importKinds()) {
    if (kind.table != std::string("MJOB") && kind.table != std::string("EXSRC"))
      continue;
    for (int n = 0; n < 2; ++n)
      EXPECT_GT(kind.make(to_, "Uncoded", ""), 0)
          << kind.type << ": " << to_.repos->getDataAccess()->getErrorMessage().str();
    EXPECT_EQ(uuidsOf(to_, kind, "Uncoded"), (std::vector<std::string>{"", ""}));
  }
  // A profile job imported as new gets a UUID of its own, also from a
  // record that names its UUID.
  const ImportKind& job = importKinds()[2];
  ASSERT_EQ(job.type, std::string("ProfileJob"));
  const std::string text = exportOf(
      from_, job.make(from_, "Fresh", "u-fresh"), job.type, "u-fresh");
  KvbString error;
  ASSERT_TRUE(to_.manager->importObject(text.c_str(), 0, error)) << error.str();
  const std::vector<std::string> fresh = uuidsOf(to_, job, "Fresh");
  ASSERT_EQ(fresh.size(), 1u);
  EXPECT_NE(fresh[0], "u-fresh");
  // Nor does a task updated to keep no code collide with one that has none.
  ScopedAccess<MonitorRepositoryDataAccess> m(
      to_.repos->createMonitorDataAccess());
  const int uncoded = monitorAdd(to_, [](MonitorRepositoryDataAccess* add,
                                         int* id) {
    return add->addTask("Recoded", "u-recoded", "me", 0, "", "", id);
  });
  EXPECT_TRUE(m->updateTask(uncoded, "Recoded", "", "me", KvbDate(1), "me",
                            KvbDate(1), 0, "", ""))
      << m->getErrorMessage().str();
}

// Two connections import one record at the same moment: the second waits
// for the first's turn and then finds what the first wrote. As a new
// object the first's stands for the record; to two paths the second finds
// the UUID taken and takes a new one; to one path it finds the path taken
// and is refused. (A profile job imported as new is always a new one under
// the record's name, which its folder refuses twice: only its paths race.
// Custom metrics and collections are filed in no folder.)
TEST_P(ImpExpTest, TwoImportersOfOneRecordAtOnceFindWhatTheFirstWrote) {
  Side second, watcher;
  second.open(open(target_));
  watcher.open(open(target_));
  enum Way { kNew, kTwoPaths, kOnePath };
  for (const ImportKind& kind : importKinds()) {
    const bool filed = findObjectType(kind.type) != nullptr;
    for (const Way way : {kNew, kTwoPaths, kOnePath}) {
      if ((way == kNew && kind.table == std::string("JSETUP")) ||
          (way == kOnePath && !filed))
        continue;
      const std::string name = std::to_string(way) + kind.type;
      SCOPED_TRACE(name);
      const int made = kind.make(from_, name.c_str(), ("u-" + name).c_str());
      ASSERT_GT(made, 0);
      const std::string text = exportOf(from_, made, kind.type);
      const auto import = [&](Side& side, int n, KvbString& error) {
        const std::string path = name + std::to_string(n);
        return way == kNew ? side.manager->importObject(text.c_str(), 0, error)
                           : side.manager->importObjectToPath(
                                 path.c_str(), text.c_str(), error);
      };
      KvbString error, secondError;
      ASSERT_TRUE(to_.common->beginTransaction(0, 0));
      ASSERT_TRUE(import(to_, 1, error)) << error.str();
      ConnectionWaits waits(watcher.repos->getDataAccess(),
                            second.repos->getDataAccess(), isPostgres());
      bool answer = false;
      EXPECT_TRUE(attemptWhileHeld<bool>(
          waits, LetGo::kOnceItWaits,
          [&](bool commit) { to_.common->endTransaction(commit); },
          [&] { return import(second, way == kOnePath ? 1 : 2, secondError); },
          &answer))
          << "the second import neither waited nor ended";
      if (way == kNew) {
        EXPECT_TRUE(answer) << secondError.str();
        EXPECT_EQ(uuidsOf(to_, kind, name).size(), 1u);
        continue;
      }
      const std::vector<std::string> first = uuidsOf(to_, kind, name + "1");
      ASSERT_EQ(first.size(), 1u);
      if (way == kOnePath) {
        EXPECT_FALSE(answer);
        EXPECT_EQ(secondError.str(),
                  "An object already exists at the path: " + name + "1");
        continue;
      }
      EXPECT_TRUE(answer) << secondError.str();
      const std::vector<std::string> other = uuidsOf(to_, kind, name + "2");
      ASSERT_EQ(other.size(), 1u);
      if (kind.uuidColumn) {
        EXPECT_NE(first[0], other[0]);
      }
    }
  }
}

// An importer whose turn does not come within the busy timeout, while
// another connection's import holds it, is refused with the wait's reason
// and writes nothing.
TEST_P(ImpExpTest, AnImporterWhoseTurnDoesNotComeIsRefusedWhole) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "300");
  Side second;
  second.open(open(target_));
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  Side watcher;
  watcher.open(open(target_));
  for (const ImportKind& kind : importKinds()) {
    SCOPED_TRACE(kind.type);
    const int made = kind.make(from_, "Held", "u-held");
    ASSERT_GT(made, 0);
    const std::string text = exportOf(from_, made, kind.type);
    KvbString error;
    ASSERT_TRUE(to_.common->beginTransaction(0, 0));
    ASSERT_TRUE(to_.manager->importObject(text.c_str(), 0, error))
        << error.str();
    ConnectionWaits waits(watcher.repos->getDataAccess(),
                          second.repos->getDataAccess(), isPostgres());
    bool answer = true;
    attemptWhileHeld<bool>(
        waits, LetGo::kOnceItEnds,
        [&](bool commit) { to_.common->endTransaction(commit); },
        [&] { return second.manager->importObject(text.c_str(), 0, error); },
        &answer);
    EXPECT_FALSE(answer);
    EXPECT_NE(error.str().find("(SQLITE/BUSY_TIMEOUT)"), std::string::npos)
        << error.str();
    // A server's wait is for the turn of the kind's table; a SQLite
    // connection waits at the import's begin.
    if (isPostgres()) {
      EXPECT_EQ(error.str().rfind("Error importing ", 0), 0u) << error.str();
      EXPECT_NE(error.str().find(" object: The table "), std::string::npos)
          << error.str();
      EXPECT_NE(error.str().find(std::string(kind.table) +
                                 " is being written by another connection"),
                std::string::npos)
          << error.str();
    }
    EXPECT_EQ(uuidsOf(to_, kind, "Held").size(), 1u);
  }
}

INSTANTIATE_ADMIN_TARGETS(ImpExpTest);

}  // namespace
