// Each failure gives exactly one log record, at the level of the operation
// that failed, and an error text; both name the failure's subject. What is
// no failure (a delete of an object that is gone) and a host's own
// transaction calls log nothing. Run on every back end.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "impexp/repimpexpmgr.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/ncoa_data_access.h"
#include "reposadmin/profile_data_access.h"
#include "reposadmin/repository_folder_manager.h"
#include "reposadmin/repository_impact_analysis.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"

namespace {

// The records of level 4 and above that `call` gives to `log`, as
// "<level> <file>: <text>".
std::vector<std::string> failureRecords(const LogCapture& log,
                                        const std::function<void()>& call) {
  const size_t before = log.records().size();
  call();
  std::vector<std::string> lines;
  const std::vector<CapturedLog> records = log.records();
  for (size_t i = before; i < records.size(); ++i)
    if (records[i].level >= 4)
      lines.push_back(std::to_string(records[i].level) + " " + records[i].file +
                      ": " + records[i].text);
  return lines;
}

class OneRecordPerFailureTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    // A SQLite writer gives up soon on another connection's write lock.
    kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "50");
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    repository_ = createAndOpen(db_);
    ASSERT_NE(repository_, nullptr);
    meta_ = repository_->createMetadataDataAccess();
    manager_.reset(repository_->createImportExportManager());
  }
  void TearDown() override {
    if (holder_) {
      holder_->endTransaction(false);
      holder_->release();
    }
    manager_.reset();
    if (meta_) meta_->release();
    if (repository_) repository_->release();
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    AdminTargetTest::TearDown();
  }

  std::vector<std::string> recordsOf(const std::function<void()>& call) {
    return failureRecords(log_, call);
  }
  // Expects `call` to give exactly one record, of `level`, that names
  // every one of `subjects`.
  void expectOneRecord(int level, const std::vector<std::string>& subjects,
                       const std::function<void()>& call) {
    const std::vector<std::string> lines = recordsOf(call);
    ASSERT_EQ(lines.size(), 1u) << testing::PrintToString(lines);
    EXPECT_EQ(lines[0].rfind(std::to_string(level) + " ", 0), 0u) << lines[0];
    for (const std::string& subject : subjects)
      EXPECT_NE(lines[0].find(subject), std::string::npos)
          << lines[0] << " does not name " << subject;
  }
  // A call that fails, what answers its text (see textOf) and the text
  // expected; an empty one skips the case (a refusal of one back end).
  struct TextCase {
    const char* what;
    std::function<bool()> call;
    std::function<std::string()> answer;
    std::string expected;
  };
  // The getErrorMessage() of `object`, as a TextCase's answer.
  template <class Object>
  static std::function<std::string()> textOf(Object* object) {
    return [object] { return object->getErrorMessage().str(); };
  }
  // Expects each case's call to fail with its text, and to give exactly one
  // record of level `fromLevel` (4 or 5) or more: of level 5, with that
  // text.
  void expectTexts(int fromLevel, const std::vector<TextCase>& cases) {
    for (const TextCase& c : cases) {
      if (c.expected.empty()) continue;
      std::vector<std::string> lines;
      for (std::string& line :
           recordsOf([&] { EXPECT_FALSE(c.call()) << c.what; }))
        if (line[0] - '0' >= fromLevel)
          lines.push_back(line.erase(2, line.find(": ")));
      const std::string answered = c.answer();
      EXPECT_EQ(answered, c.expected) << c.what;
      EXPECT_EQ(lines, std::vector<std::string>{"5 " + answered}) << c.what;
    }
  }
  // Expects `call`, which fails, to give exactly one record of level 4 or
  // more: of level 5, with the text that `on` (the repository when null)
  // answers.
  void expectTextLoggedOnce(const char* what, const std::function<bool()>& call,
                            RepositoryAdmin* on = nullptr) {
    const std::vector<std::string> lines =
        recordsOf([&] { EXPECT_FALSE(call()) << what; });
    const std::string text =
        (on ? on->getErrorMessage() : repository_->getErrorMessage()).str();
    EXPECT_FALSE(text.empty()) << what;
    ASSERT_EQ(lines.size(), 1u)
        << what << ": " << testing::PrintToString(lines);
    EXPECT_EQ(lines[0].substr(0, 2), "5 ") << what << ": " << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].find(": ") + 2), text) << what;
  }
  // Makes every later write transaction of the repository fail, and
  // answers a part of the database's reason: on SQLite another connection
  // holds the write lock, so the begin fails; on PostgreSQL a deferred
  // trigger that refuses every new folder fails the commit.
  std::string breakTransactions() {
    ReposDataAccess* rda = repository_->getDataAccess();
    if (isPostgres()) {
      const std::string schema = db_.prefix.substr(0, db_.prefix.find('.'));
      EXPECT_TRUE(
          rda->paramExec("CREATE FUNCTION " + schema +
                             ".kv_refuse() RETURNS trigger LANGUAGE plpgsql AS "
                             "$$BEGIN RAISE EXCEPTION 'kv_late'; END$$",
                         nullptr, 0));
      EXPECT_TRUE(rda->paramExec(
          "CREATE CONSTRAINT TRIGGER kv_late AFTER INSERT ON " +
              rda->getTableName("FOLDER", true, -1).str() +
              " DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION " +
              schema + ".kv_refuse()",
          nullptr, 0));
      return "kv_late";
    }
    KvbString reason;
    holder_ =
        createReposDataAccess(0, db_.connection.c_str(), "", nullptr, reason);
    EXPECT_TRUE(holder_ && holder_->beginTransaction(true, nullptr))
        << reason.str();
    return "locked";
  }
  // Runs `body` while another thread holds a transaction on the
  // repository's connection, so that each call of the body that needs the
  // connection gives up waiting.
  void whileAnotherThreadHoldsATransaction(const std::function<void()>& body) {
    std::promise<void> begun, end;
    std::thread holder([&] {
      MetadataRepositoryDataAccess* mine =
          repository_->createMetadataDataAccess();
      EXPECT_TRUE(mine->beginTransaction(1, 0));
      begun.set_value();
      end.get_future().wait();
      mine->endTransaction(false);
      mine->release();
    });
    begun.get_future().wait();
    body();
    end.set_value();
    holder.join();
  }
  int folder(int parent, const char* name) {
    int id = -1;
    EXPECT_TRUE(meta_->addFolder(parent, name, id)) << name;
    return id;
  }

  AdminDatabase db_;
  RepositoryImpl* repository_ = nullptr;
  MetadataRepositoryDataAccess* meta_ = nullptr;
  std::unique_ptr<RepositoryImportExportManager> manager_;
  ReposDataAccess* holder_ = nullptr;
  LogCapture log_;
};

TEST_P(OneRecordPerFailureTest, RefusalsOfTheStoresAreLoggedOnce) {
  const int a = folder(0, "A");
  int id = -1;
  expectOneRecord(5, {"\"A\""},
                  [&] { EXPECT_FALSE(meta_->addFolder(0, "A", id)); });
  EXPECT_NE(meta_->getErrorMessage().str().find("\"A\""), std::string::npos);
  expectOneRecord(5, {"999"},
                  [&] { EXPECT_FALSE(meta_->renameFolder(999, "B")); });
  // A folder moved onto itself is refused with a reason, by the store and
  // by the folder manager alike.
  const std::string self = std::to_string(a);
  expectOneRecord(5, {self}, [&] { EXPECT_FALSE(meta_->moveFolder(a, a)); });
  EXPECT_NE(meta_->getErrorMessage().str().find(self), std::string::npos)
      << meta_->getErrorMessage().str();
  RepositoryFolderManager* folders = repository_->createFolderManager();
  expectOneRecord(5, {self}, [&] { EXPECT_FALSE(folders->moveFolder(a, a)); });
  EXPECT_NE(folders->getErrorMessage().str().find(self), std::string::npos)
      << folders->getErrorMessage().str();
  int parent = 0;
  expectOneRecord(5, {"id=-2", "negative"},
                  [&] { EXPECT_FALSE(folders->getParentFolder(-2, parent)); });
  folders->release();
}

// What succeeds logs nothing: a delete of a task that is gone, an export of
// a custom metric (a type kept outside folders, without a path). An object
// whose folder is gone is still exported or deleted, and what its missing
// path costs is logged once, with the object's id and the reason.
TEST_P(OneRecordPerFailureTest, SuccessesLogOnlyAPathThatIsMissing) {
  CommonRepositoryDataAccess* common = repository_->createCommonDataAccess();
  MonitorRepositoryDataAccess* monitor = repository_->createMonitorDataAccess();
  KvbString output, errorText;
  EXPECT_EQ(recordsOf([&] { EXPECT_TRUE(monitor->deleteTask(999)); }),
            std::vector<std::string>{});
  const int metric = common->addCustomMetric("M", "", "a/b", "");
  EXPECT_EQ(recordsOf([&] {
              EXPECT_TRUE(manager_->exportObject(metric, "CustomMetric", "",
                                                 output, errorText, nullptr))
                  << errorText.str();
            }),
            std::vector<std::string>{});

  const int gone = folder(0, "Gone");
  const int rule =
      common->addRule("R", "", "", "", "", "me", "u-r", gone, "", "");
  int task = -1;
  ASSERT_TRUE(monitor->addTask("T", "u-t", "me", gone, "", "", &task));
  ASSERT_TRUE(meta_->deleteFolder(gone, errorText));  // its objects stay
  const std::string reason = "Folder " + std::to_string(gone);
  expectOneRecord(5, {"Rule", "id=" + std::to_string(rule), reason}, [&] {
    EXPECT_TRUE(
        manager_->exportObject(rule, "Rule", "u-r", output, errorText, nullptr))
        << errorText.str();
  });
  expectOneRecord(4, {"Task " + std::to_string(task), reason},
                  [&] { EXPECT_TRUE(monitor->deleteTask(task)); });
  monitor->release();
  common->release();
}

// The host's own begin and end answer false with a text and log nothing;
// a store's transaction that fails is logged once, by the store.
TEST_P(OneRecordPerFailureTest, HostTransactionsAreQuietStoreOnesLogOnce) {
  CommonRepositoryDataAccess* common = repository_->createCommonDataAccess();
  ReposDataAccess* rda = repository_->getDataAccess();
  EXPECT_EQ(recordsOf([&] { EXPECT_FALSE(common->endTransaction(true)); }),
            std::vector<std::string>{});
  EXPECT_FALSE(common->getErrorMessage().isEmpty());
  EXPECT_EQ(recordsOf([&] { EXPECT_FALSE(rda->endTransaction(false)); }),
            std::vector<std::string>{});
  EXPECT_FALSE(rda->getErrorMessage().isEmpty());
  common->release();

  const std::string reason = breakTransactions();
  int id = -1;
  expectOneRecord(5, {"The transaction could not", reason},
                  [&] { EXPECT_FALSE(meta_->addFolder(0, "A", id)); });
  if (!isPostgres()) {
    EXPECT_EQ(recordsOf([&] { EXPECT_FALSE(meta_->beginTransaction(1, 0)); }),
              std::vector<std::string>{});
    EXPECT_NE(meta_->getErrorMessage().str().find(reason), std::string::npos)
        << meta_->getErrorMessage().str();
    meta_->endTransaction(false);  // a failed begin leaves its level raised
  }
}

TEST_P(OneRecordPerFailureTest, FailedExportsAndDeletesOfTheManagerLogOnce) {
  KvbString output, errorText;
  expectOneRecord(5, {"Task", "999"}, [&] {
    EXPECT_FALSE(
        manager_->exportObject(999, "Task", "", output, errorText, nullptr));
  });
  EXPECT_NE(errorText.str().find("task"), std::string::npos) << errorText.str();
  errorText = "";
  expectOneRecord(5, {"\"task\""}, [&] {
    EXPECT_FALSE(
        manager_->exportObject(1, "task", "", output, errorText, nullptr));
  });
  EXPECT_NE(errorText.str().find("\"task\""), std::string::npos);
  errorText = "";
  expectOneRecord(5, {"Gone"}, [&] {
    EXPECT_FALSE(manager_->deleteObjectByPath("Gone/Rule", "Rule", errorText));
  });
  EXPECT_NE(errorText.str().find("Gone"), std::string::npos) << errorText.str();
}

// A table-set folder that cannot be listed fails a creation, logged once
// as its error; opening an existing repository warns once.
TEST_P(OneRecordPerFailureTest, AMissingTableSetFolderIsLoggedOnce) {
  const std::string missing = dir_.file("no-sets");
  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", missing);
  expectOneRecord(5, {missing}, [&] { EXPECT_FALSE(create(newDatabase())); });
  EXPECT_NE(error().find(missing), std::string::npos) << error();
  expectOneRecord(4, {missing}, [&] {
    RepositoryImpl* reopened = open(db_);
    EXPECT_NE(reopened, nullptr) << error();
    if (reopened) reopened->release();
  });
}

// Each failing call of the repository's own operations writes exactly one
// record of level 5 or more: of level 5, with the text that the
// repository's getErrorMessage() answers. Its own refusals, the database's
// (host SQL included), and the give-up of every call while another thread
// holds a transaction on the connection.
TEST_P(OneRecordPerFailureTest, FailingRepositoryCallsLogTheirTextOnce) {
  const std::string notXml = dir_.file("plain.xml");
  std::ofstream(notXml) << "no markup here\n";
  const std::string folder = dir_.file("");
  KvbString value, errorText;
  int id = 0;
  const auto released = [](ReposDataAccessCursor* cursor) {
    if (cursor) cursor->release();
    return cursor != nullptr;
  };
  const std::vector<std::pair<const char*, std::function<bool()>>> refused = {
      {"import of a missing file",
       [&] { return repository_->importTable(dir_.file("none.xml")); }},
      {"import of a file that is no XML",
       [&] { return repository_->importTable(notXml); }},
      {"export of a reversed range",
       [&] { return repository_->exportHsmTables(5, 1, folder, false); }},
      {"export of a negative range",
       [&] { return repository_->exportFrqdstTables(-1, 2, folder, false); }},
      {"bad host SQL",
       [&] {
         return released(repository_->paramSelect("SELECT nothing FROM nowhere",
                                                  &errorText, 0));
       }},
      {"null key", [&] { return repository_->setKeyValue(KvbString(), "v"); }},
  };
  for (const auto& call : refused)
    expectTextLoggedOnce(call.first, call.second);
  // A key without a value is a lookup's normal answer, quiet as it is on
  // the data-access object.
  EXPECT_EQ(recordsOf([&] {
              EXPECT_FALSE(repository_->getKeyValue("absent", &value));
            }),
            std::vector<std::string>{});

  ReposDataAccess* rda = repository_->getDataAccess();
  const std::string info =
      "SELECT 1 FROM " + rda->getTableName("INFO", true, -1).str();
  // A dump to load while the connection is kept: its begin gives up.
  ASSERT_TRUE(rda->paramExec("CREATE TABLE " +
                                 rda->getTableName("HSM3", true, -1).str() +
                                 " (FIELDIDX INTEGER)",
                             nullptr, 0));
  ASSERT_TRUE(repository_->exportTableToXml("HSM3", folder, false));
  const std::string dump =
      dir_.file(rda->getTableName("HSM3", false, -1).str() + ".xml");
  const std::vector<std::pair<const char*, std::function<bool()>>> givenUp = {
      {"getKeyValue", [&] { return repository_->getKeyValue("k", &value); }},
      {"setKeyValue", [&] { return repository_->setKeyValue("k", "v"); }},
      {"deleteKey", [&] { return repository_->deleteKey("k"); }},
      {"getKeys", [&] { return released(repository_->getKeys()); }},
      {"getKeyValues", [&] { return released(repository_->getKeyValues()); }},
      {"getNextID",
       [&] { return repository_->getNextID("FOLDER", &id, &errorText); }},
      {"paramSelect",
       [&] {
         return released(repository_->paramSelect(info.c_str(), &errorText, 0));
       }},
      {"exportHsmTables",
       [&] { return repository_->exportHsmTables(0, 3, folder, false); }},
      {"importTable", [&] { return repository_->importTable(dump); }},
  };
  whileAnotherThreadHoldsATransaction([&] {
    for (const auto& call : givenUp) {
      expectTextLoggedOnce(call.first, call.second);
      EXPECT_NE(repository_->getErrorMessage().str().find("gave up waiting"),
                std::string::npos)
          << call.first << ": " << repository_->getErrorMessage().str();
    }
  });
}

// The upgrades' refusals are logged once; an upgrade that is not needed
// answers false with its text but is no failure: its progress record is
// its only one. An NCOA upgrade of a database that holds no repository
// writes the one record that names the cause, with message 1050 as the
// text.
TEST_P(OneRecordPerFailureTest, UpgradeRefusalsAreLoggedOnce) {
  EXPECT_EQ(recordsOf([&] { EXPECT_FALSE(repository_->upgradeRepository()); }),
            std::vector<std::string>{});
  EXPECT_FALSE(repository_->getErrorMessage().isEmpty());

  ReposDataAccess* rda = repository_->getDataAccess();
  const std::string info = rda->getTableName("INFO", true, -1).str();
  ASSERT_TRUE(rda->paramExec(
      "UPDATE " + info + " SET I_VERS = 9 WHERE I_TYPE = 'KVREPOSITORY'",
      nullptr, 0));
  repository_->readVersionInfo();
  expectTextLoggedOnce("upgrade of a newer repository",
                       [&] { return repository_->upgradeRepository(); });
  expectTextLoggedOnce("NCOA upgrade of a newer repository",
                       [&] { return repository_->upgradeNCOA(); });

  ASSERT_TRUE(rda->paramExec(
      "DROP TABLE " + rda->getTableName("KEYVAL", true, -1).str(), nullptr, 0));
  const std::vector<std::string> lines =
      recordsOf([&] { EXPECT_FALSE(repository_->upgradeNCOA()); });
  ASSERT_EQ(lines.size(), 1u) << testing::PrintToString(lines);
  EXPECT_EQ(lines[0].substr(lines[0].find(": ") + 2),
            "Repository needs to be created before upgrading.");
  EXPECT_FALSE(repository_->getErrorMessage().isEmpty());
}

// A folder manager's listing that gives up while another thread holds a
// transaction is logged once, with the manager's text.
TEST_P(OneRecordPerFailureTest, AManagerListingThatGivesUpIsLoggedOnce) {
  RepositoryFolderManager* folders = repository_->createFolderManager();
  whileAnotherThreadHoldsATransaction([&] {
    const std::vector<std::string> lines =
        recordsOf([&] { EXPECT_EQ(folders->getUnfiledItems(), nullptr); });
    EXPECT_NE(folders->getErrorMessage().str().find("gave up waiting"),
              std::string::npos)
        << folders->getErrorMessage().str();
    EXPECT_EQ(lines,
              std::vector<std::string>{"5 repfldrmgrimpl: " +
                                       folders->getErrorMessage().str()});
  });
  folders->release();
}

// A refusal that a new user meets answers one text that names its subject
// once, and that text is its one record of level 5, also where it tells a
// transaction that the database rolled back: no warning says that again.
// A row without a text does not apply to the back end.
TEST_P(OneRecordPerFailureTest, EachTextIsItsRecordAndNamesItsSubject) {
  CommonRepositoryDataAccess* common = repository_->createCommonDataAccess();
  RepositoryFolderManager* folders = repository_->createFolderManager();
  RepositoryAdmin* lists = createRepositoryAdmin(0, dir_.file("l").c_str());
  const auto addRule = [&](const char* name) {
    return common->addRule(name, "T", "", "", "", "me", "", 0, "", "") > 0;
  };
  ASSERT_TRUE(addRule("Amount positive"));
  ASSERT_TRUE(common->addField("Amount", ""));
  folder(0, "Sales");
  // A custom metric with a field, linked to a rule; its export is imported
  // to paths below.
  const int rule =
      common->addRule("Ratio check", "T", "", "", "", "me", "", 0, "", "");
  const int metric = common->addCustomMetric("Ratio", "", "x", "");
  ASSERT_TRUE(common->addCustomMetricField(metric, "out", "O"));
  ASSERT_TRUE(common->addRuleCustomMetric(rule, metric, 1));
  KvbString exported, importText;
  ASSERT_TRUE(manager_->exportObject(metric, "CustomMetric", "", exported,
                                     importText, nullptr))
      << importText.str();
  const std::string metricInUse =
      ": This custom metric, or this link to it, already exists.";
  const std::string m = std::to_string(metric), r = std::to_string(rule);
  const std::string lost = dir_.file("missing") + "/r.db";
  const std::string unopened =
      "The repository \"Lost\" cannot be added to the list: the repository "
      "in the database file \"" +
      lost +
      "\" could not be opened: unable to "
      "open database file (its folder: No such file or directory)";
  int id = -1, objectId = -1;
  KvbString item, uuid, pathText;

  // Also where the driver gives up the call's own transaction at a refused
  // value, the text names the value alone: no host's transaction was lost.
  const std::string nulRefused =
      "The value of the key \"k\" could not be set: The value of column "
      "V_VALUE of table KEYVAL holds a NUL byte, which PostgreSQL cannot "
      "store";
  const std::vector<TextCase> cases = {
      {"a rule name in use", [&] { return addRule("Amount positive"); },
       textOf(common),
       "Cannot add the rule \"Amount positive\": A business rule with this "
       "name already exists."},
      {"a field name in use", [&] { return common->addField("Amount", "x"); },
       textOf(common),
       "Cannot add the field \"Amount\": A field with this name already "
       "exists."},
      {"a path in a folder that does not exist",
       [&] {
         return folders->resolveObjectPath("Nope/Orders", "Rule", id, objectId,
                                           item, uuid, pathText);
       },
       [&] { return pathText.str(); },
       "Unable to find folder/object by path: \"Nope\""},
      {"an import to a path in a folder that does not exist",
       [&] {
         return manager_->importObjectToPath("Nope/Ratio", exported,
                                             importText);
       },
       [&] { return importText.str(); },
       "Unable to find folder/object by path: \"Nope\""},
      {"a custom metric name in use",
       [&] { return common->addCustomMetric("Ratio", "", "y", "") > 0; },
       textOf(common), "Cannot add the custom metric \"Ratio\"" + metricInUse},
      {"a custom metric field in use",
       [&] { return common->addCustomMetricField(metric, "out", "O"); },
       textOf(common),
       "Cannot add the field \"out\" to custom metric " + m + metricInUse},
      {"a custom metric linked to a rule again",
       [&] { return common->addRuleCustomMetric(rule, metric, 2); },
       textOf(common),
       "Cannot link custom metric " + m + " to rule " + r + " again" +
           metricInUse},
      {"a folder name in use but for its case",
       [&] { return meta_->addFolder(0, "sales", id); }, textOf(meta_),
       "Folder 0 already holds a folder named \"Sales\" (folder names are "
       "compared without regard to case)"},
      {"a list entry whose database cannot be opened",
       [&] {
         return lists->addRepository(
             ("FILE=" + lost + ";KVXTYPE=SQLITE").c_str(), "", "Lost", false);
       },
       textOf(lists), unopened},
      {"a NUL byte in a value",
       [&] {
         return repository_->setKeyValue("k",
                                         KvbString(std::string("a\0b", 3)));
       },
       textOf(repository_), isPostgres() ? nulRefused : ""},
      {"a NUL byte in a later text of an add",
       [&] {
         return common->addRule("Nul", "T", KvbString(std::string("a\0b", 3)),
                                "", "", "me", "", 0, "", "") > 0;
       },
       textOf(common),
       isPostgres() ? "The value of column RU_EXPR of table RULE holds a NUL "
                      "byte, which PostgreSQL cannot store"
                    : ""},
  };
  // Where the driver gives a transaction up, the call that answers the
  // loss logs it, and nothing warns of it besides.
  expectTexts(4, cases);

  // After a failed statement of the host's transaction that the database
  // rolled back with it, an add says so, not that its own begin failed.
  ASSERT_TRUE(common->beginTransaction(0, 0));
  ReposDataAccess* rda = repository_->getDataAccess();
  EXPECT_FALSE(rda->paramExec("UPDATE nowhere SET x = 1", nullptr, 0));
  const bool rolledBack =
      isPostgres() && !postgresUndoesFailedStatementsAlone();
  expectTexts(4, {{"an add in a transaction the database rolled back",
                   [&] { return addRule("Later"); }, textOf(common),
                   rolledBack ? "The transaction was rolled back by the "
                                "database: " +
                                    rda->getErrorMessage().str()
                              : ""}});
  common->endTransaction(false);

  // An import to a folder whose objects cannot be listed, because another
  // thread holds a transaction on the connection, answers the listing's
  // reason, as logged.
  whileAnotherThreadHoldsATransaction([&] {
    const std::vector<std::string> lines = recordsOf([&] {
      EXPECT_FALSE(manager_->importObjectToPath("Ratio", exported, importText));
    });
    EXPECT_NE(importText.str().find("gave up waiting"), std::string::npos)
        << importText.str();
    EXPECT_EQ(lines, std::vector<std::string>{"5 repfldrmgrimpl: " +
                                              importText.str()});
  });
  lists->release();
  folders->release();
  common->release();
}

// A load whose batch fails logs one record, equal to its text, whether an
// add writes the failing batch (batches of 4) or the end writes the last,
// partial one (batches of 10): a NUL byte in the fourth row, which
// PostgreSQL cannot store. SQLite stores such a text whole.
TEST_P(OneRecordPerFailureTest, ALoadsFailedBatchIsLoggedOnce) {
  if (!isPostgres()) GTEST_SKIP() << "SQLite stores a NUL byte";
  ProfileRepositoryDataAccess* profile = repository_->createProfileDataAccess();
  const KvbString nul(std::string("a\0b", 3));
  using Add = std::function<bool(const KvbString&)>;
  struct LoadCase {
    const char* name;
    std::function<bool(int)> begin;
    Add add;
    std::function<bool()> end;
  };
  const LoadCase loads[] = {
      {"frequency", [&](int b) { return profile->beginFrequencyLoad(7, true, b); },
       [&](const KvbString& v) { return profile->addFrequencyRow(7, v, "m", 1); },
       [&] { return profile->endFrequencyLoad(7); }},
      {"pattern", [&](int b) { return profile->beginPatternLoad(b); },
       [&](const KvbString& v) { return profile->addPatternRow(7, v, 1); },
       [&] { return profile->endPatternLoad(0); }},
      {"match-code", [&](int b) { return profile->beginMatchCodeLoad(b); },
       [&](const KvbString& v) {
         return profile->addMatchCodeRow(7, "v", v, 1, 3);
       },
       [&] { return profile->endMatchCodeLoad(0); }},
  };
  for (const LoadCase& load : loads)
    for (const int batch : {4, 10}) {
      SCOPED_TRACE(std::string(load.name) + " load in batches of " +
                   std::to_string(batch));
      ASSERT_TRUE(load.begin(batch)) << profile->getErrorMessage().str();
      for (const char* value : {"r1", "r2", "r3"})
        ASSERT_TRUE(load.add(value)) << profile->getErrorMessage().str();
      std::vector<std::string> lines;
      for (std::string& line : recordsOf([&] {
             // The fourth row fills a batch of 4; a batch of 10 fails at
             // the end.
             EXPECT_EQ(load.add(nul), batch == 10);
             if (batch == 10) {
               EXPECT_FALSE(load.end());
             }
           }))
        if (line[0] == '5') lines.push_back(line.erase(2, line.find(": ")));
      const std::string text = profile->getErrorMessage().str();
      EXPECT_NE(text.find("holds a NUL byte"), std::string::npos) << text;
      EXPECT_EQ(lines, std::vector<std::string>{"5 " + text});
      EXPECT_FALSE(load.end()) << "the failed load is not open";
    }
  profile->release();
}

// A value that the server refuses fails the call with one text, its one
// record, which names the value's column, also where the driver rolls the
// whole transaction back at the refusal (Protocol=7.4-1) and the call's own
// helpers had opened levels inside the call's transaction: that
// transaction was only the call's. Inside a host's transaction, which such
// a driver loses with it, the call says that the transaction was lost.
TEST_P(OneRecordPerFailureTest, ARefusedValueIsTheTextUnlessAHostLosesMore) {
  if (!isPostgres()) GTEST_SKIP() << "SQLite stores these values";
  CommonRepositoryDataAccess* common = repository_->createCommonDataAccess();
  MonitorRepositoryDataAccess* monitor = repository_->createMonitorDataAccess();
  NCOARepositoryDataAccess* ncoa = repository_->createNCOADataAccess();
  ProfileRepositoryDataAccess* profile = repository_->createProfileDataAccess();
  const int rule = common->addRule("Watched", "T", "", "", "", "me", "", 0, "",
                                   "");
  ASSERT_GT(rule, 0) << common->getErrorMessage().str();
  ASSERT_TRUE(repository_->getDataAccess()->paramExec(
      "INSERT INTO " +
          repository_->getDataAccess()->getTableName("EXEC", true, -1).str() +
          " (EX_ID, JB_ID, ES_ID, GRP_ID, EX_DATE, EX_NROWS) VALUES (4242, 1, "
          "1, 1, 1.0, 1)",
      nullptr, 0));
  const KvbString nul(std::string("a\0b", 3)), tooLong(std::string(300, 'n'));
  const KvbDate none;
  const auto listOwner = [&](const KvbString& name) {
    return ncoa->addListOwner(name, "a", "c", "s", "z", "t", "n", "m", "e",
                              "p", "mk", "1", "2", "3", "w", 0, "sn", "st",
                              none, nullptr);
  };
  struct Case {
    const char* what;
    ReposDataAccessObject* object;
    std::function<bool()> call;
    const char* column;
  };
  int id = -1;
  const Case cases[] = {
      {"an execution property's value with a NUL byte", monitor,
       [&] { return monitor->setExecutionProperty(4242, rule, "p", nul, true); },
       "of table EXPROP"},
      {"a folder name too long", meta_,
       [&] { return meta_->addFolder(0, tooLong, id); },
       "column FLDR_NAM of table FOLDER"},
      {"a list owner's name with a NUL byte", ncoa,
       [&] { return listOwner(nul); }, "of table NCOALO"},
      {"a list owner's name too long", ncoa, [&] { return listOwner(tooLong); },
       "of table NCOALO"},
      {"a licensee's name with a NUL byte", ncoa,
       [&] {
         return ncoa->addLicensee("id", nul, "t", "tin", 1, "e", "f", "1", "2",
                                  "3", "sn", "st", none, nullptr);
       },
       "of table NCOALI"},
      {"a broker's name with a NUL byte", ncoa,
       [&] {
         return ncoa->addBroker(nul, "a", "c", "s", "z", "t", "f", "e", "n",
                                "1", "2", "3", 1, "sn", "st", none, nullptr);
       },
       "of table NCOABR"},
      {"a PAF's list name with a NUL byte", ncoa,
       [&] {
         return ncoa->addPaf("1", "2", "3", 1, 1, none, 0, nul, "P1", nullptr);
       },
       "of table NCOAPA"},
      {"a configuration's name with a NUL byte", profile,
       [&] { return profile->addRdaConfig(1, nul, "", -1, nullptr); },
       "of table RDACFG"},
  };
  const bool hostLoses = postgresFailuresEndTransactions();
  for (const bool inHostTransaction : {false, true})
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) +
                   (inHostTransaction ? " in a host's transaction" : ""));
      if (inHostTransaction) {
        ASSERT_TRUE(c.object->beginTransaction(0, 0));
      }
      std::vector<std::string> records;
      for (std::string& line : recordsOf([&] { EXPECT_FALSE(c.call()); }))
        if (line[0] == '5') records.push_back(line.substr(line.find(": ") + 2));
      const std::string text = c.object->getErrorMessage().str();
      ASSERT_EQ(records.size(), 1u) << testing::PrintToString(records);
      EXPECT_NE(records[0].find(c.column), std::string::npos) << records[0];
      if (inHostTransaction && hostLoses) {
        EXPECT_EQ(text.rfind("The transaction was ", 0), 0u) << text;
        EXPECT_NE(text.find(c.column), std::string::npos) << text;
      } else {
        EXPECT_EQ(text, records[0]);
      }
      if (inHostTransaction) {
        EXPECT_EQ(c.object->endTransaction(true), !hostLoses)
            << c.object->getErrorMessage().str();
      }
    }
  profile->release();
  ncoa->release();
  monitor->release();
  common->release();
}

INSTANTIATE_ADMIN_TARGETS(OneRecordPerFailureTest);

// The administration object's refusals of a copy and of a file that
// cannot be deleted write one level-5 record each, with the text that
// getErrorMessage() answers.
TEST_P(OneRecordPerFailureTest, FailingAdminCallsLogTheirTextOnce) {
  const std::string folder = dir_.file("full");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  std::ofstream(folder + "/kept") << "x";
  const std::vector<std::pair<const char*, std::function<bool()>>> refused = {
      {"copy onto itself",
       [&] { return admin_->copyRepository(repository_, repository_); }},
      {"copy without a source",
       [&] { return admin_->copyRepository(nullptr, repository_); }},
      {"copy without a target",
       [&] { return admin_->copyRepository(repository_, nullptr); }},
      {"deletion of a folder that is not empty",
       [&] { return admin_->deleteFile(folder.c_str()); }},
      {"creation with an empty connection string",
       [&] { return admin_->createRepository("", ""); }},
      {"opening with an empty connection string",
       [&] {
         Repository* none =
             admin_->openRepositoryConnection("", "", false, nullptr);
         if (none) none->release();
         return none != nullptr;
       }},
      {"deletion of the tables of an empty connection string",
       [&] { return admin_->deleteRepositoryTables("", ""); }},
  };
  for (const auto& call : refused)
    expectTextLoggedOnce(call.first, call.second, admin_);

  // A copy that cannot read the UUIDs that would tell whether source and
  // target (two opens of one repository) are one repository is refused,
  // not run onto itself.
  RepositoryImpl* again = open(db_);
  ASSERT_NE(again, nullptr) << error();
  whileAnotherThreadHoldsATransaction([&] {
    expectTextLoggedOnce(
        "copy whose UUIDs cannot be read",
        [&] { return admin_->copyRepository(repository_, again); }, admin_);
  });
  again->release();
  EXPECT_EQ(admin_->getErrorMessage().str().rfind(
                "The copy could not tell whether the source and the target "
                "are the same repository: ",
                0),
            0u)
      << admin_->getErrorMessage().str();

  // Another connection keeps the target's file: the copy's begin fails;
  // and every group of tables fails to drop, the first failure being the
  // answer and the one record.
  if (!isPostgres()) {
    AdminDatabase other = newDatabase();
    RepositoryImpl* source = createAndOpen(other);
    ASSERT_NE(source, nullptr);
    breakTransactions();
    expectTextLoggedOnce(
        "copy onto a locked target",
        [&] { return admin_->copyRepository(source, repository_); }, admin_);
    source->release();
    expectTextLoggedOnce(
        "deletion of tables another connection keeps",
        [&] {
          return admin_->deleteRepositoryTables(db_.connection.c_str(),
                                                db_.prefix.c_str());
        },
        admin_);
  }
}

// The texts of siblings answer alike: an add of a name in use names the
// kind and the name, as addRule does; a value that PostgreSQL cannot take
// is named by its column and table wherever it is bound, in the look-up
// before a write too; a refusal that an errorText carries is the object's
// text as well. Each text is its one record of level 5. A row without a
// text does not apply to the back end.
TEST_P(OneRecordPerFailureTest, SiblingTextsNameTheirSubjectOnce) {
  CommonRepositoryDataAccess* common = repository_->createCommonDataAccess();
  MonitorRepositoryDataAccess* monitor = repository_->createMonitorDataAccess();
  RepositoryImpactAnalysis* analysis = repository_->createImpactAnalysis();
  int id = -1;
  KvResource* resource = analysis->createResource("orders", "Table", "t-1");
  ASSERT_NE(resource, nullptr) << analysis->getErrorMessage().str();
  resource->release();
  const KvbString nul(std::string("a\0b", 3));
  const std::string inUse =
      ": An entry with this name or these values already exists.";
  const std::string nulHeld =
      " holds a NUL byte, which PostgreSQL cannot store";
  // A text of PostgreSQL's alone: SQLite stores such values whole.
  const auto onPostgres = [&](const std::string& text) {
    return isPostgres() ? text : std::string();
  };
  KvbString errorText;
  const std::vector<TextCase> cases = {
      {"a dimension that a new repository holds",
       [&] {
         return monitor->addDimension("Completeness", "", "me", "", 0, &id);
       },
       textOf(monitor), "Cannot add the dimension \"Completeness\"" + inUse},
      {"event removal with neither date nor id",
       [&] { return meta_->removeRepositoryEvents(0, 0.0, errorText); },
       [&] {
         EXPECT_EQ(errorText.str(), meta_->getErrorMessage().str());
         return errorText.str();
       },
       "Remove repository events cannot remove events when neither date or "
       "id are specified."},
      {"a NUL byte in a rule name",
       [&] {
         return common->addRule(nul, "T", "", "", "", "me", "", 0, "", "") > 0;
       },
       textOf(common),
       onPostgres("The value of column RU_DESC of table RULE" + nulHeld)},
      {"a NUL byte in a rule UUID",
       [&] {
         return common->addRule("U", "T", "", "", "", "me", nul, 0, "", "") > 0;
       },
       textOf(common),
       onPostgres("The value of column RU_UUID of table RULE" + nulHeld)},
      {"a NUL byte in a dimension name",
       [&] { return monitor->addDimension(nul, "", "me", "", 0, &id); },
       textOf(monitor),
       onPostgres("The value of column DIM_NAME of table DIMENS" + nulHeld)},
      {"a NUL byte in a folder name",
       [&] { return meta_->addFolder(0, nul, id); }, textOf(meta_),
       onPostgres("The value of column FLDR_NAM of table FOLDER" + nulHeld)},
      {"a NUL byte in a resource's new name",
       [&] { return analysis->renameResource("Table", "t-1", nul); },
       textOf(analysis),
       onPostgres("The value of column RCS_NM of table IMPRCS" + nulHeld)},
      {"a resource's new name too long",
       [&] {
         return analysis->renameResource("Table", "t-1",
                                         std::string(256, 'n').c_str());
       },
       textOf(analysis),
       onPostgres("The value of column RCS_NM of table IMPRCS is 256 "
                  "characters long; the column holds at most 255")},
  };
  expectTexts(4, cases);

  // A path whose folder is not there holds no object: a plain "no", which
  // writes no record.
  RepositoryFolderManager* folders = repository_->createFolderManager();
  EXPECT_EQ(recordsOf([&] {
              EXPECT_FALSE(folders->objectExists("Nope/Orders", "Rule"));
            }),
            std::vector<std::string>{});
  folders->release();
  analysis->release();
  monitor->release();
  common->release();
}

// A manager without a repository refuses every call with a text that says
// what it could not do, logged once.
TEST(OneRecordPerFailure, AManagerWithoutARepositorySaysWhatItCannotDo) {
  LogCapture log;
  RepositoryImportExportManagerImpl manager(nullptr);
  KvbString output;
  const std::function<bool(KvbString&)> calls[] = {
      [&](KvbString& e) {
        return manager.exportObject(5, "Rule", "", output, e, nullptr);
      },
      [&](KvbString& e) {
        return manager.exportObjectByPath("F/R", "Rule", output, e);
      },
      [&](KvbString& e) { return manager.importObjectToPath("F/R", "x", e); },
      [&](KvbString& e) {
        return manager.deleteObjectByPath("F/R", "Rule", e);
      },
      [&](KvbString& e) { return manager.importObject("x", 0, e); },
      [&](KvbString& e) {
        return manager.updateObject(5, "Rule", "", "x", 0, e, nullptr);
      },
  };
  for (const auto& call : calls) {
    KvbString errorText;
    const std::vector<std::string> lines =
        failureRecords(log, [&] { EXPECT_FALSE(call(errorText)); });
    EXPECT_NE(errorText.str().find("no repository"), std::string::npos)
        << errorText.str();
    EXPECT_EQ(lines,
              std::vector<std::string>{"5 repimpexpmgr: " + errorText.str()});
  }
}

// Each list operation logs its failure once, however deep in the list's
// reading, locking, checking or writing it failed: an administration object
// without a list file, then refusals and a list that cannot be read.
TEST(OneRecordPerFailure, ListOperationsLogTheirFailuresOnce) {
  TempDir dir;
  const std::string connection =
      "FILE=" + dir.file("c.db") + ";CREATE=TRUE;KVXTYPE=SQLITE";
  LogCapture log;
  const auto expectOne = [&](RepositoryAdmin* admin,
                             const std::function<bool()>& call) {
    const std::vector<std::string> lines =
        failureRecords(log, [&] { EXPECT_FALSE(call()); });
    EXPECT_EQ(lines, std::vector<std::string>{"5 repositoryadminimpl: " +
                                              admin->getErrorMessage().str()});
  };
  RepositoryAdmin* none = createRepositoryAdmin(1, nullptr);
  const std::function<bool()> withoutAFile[] = {
      [&] { return none->addRepository("/a.db", "", "A", true); },
      [&] { return none->addRepository(connection.c_str(), "", "C", false); },
      [&] { return none->removeRepository("A"); },
      [&] { return none->setDefaultRepository("A"); },
      [&] { return none->listRepositories(false, false); },
  };
  for (const auto& call : withoutAFile) expectOne(none, call);
  EXPECT_EQ(none->getErrorMessage().str(),
            "No repository list file has been set.");
  none->release();

  const std::string list = dir.file("repos.lst");
  RepositoryAdmin* admin = createRepositoryAdmin(0, list.c_str());
  ASSERT_TRUE(admin->addRepository("/a.db", "", "A", true));
  const std::function<bool()> refused[] = {
      [&] { return admin->addRepository("/b.db", "", "A", true); },
      [&] { return admin->addRepository("/b.db", "", "$defaultrepos", true); },
      [&] { return admin->addRepository("/b.db", "", "two\nlines", true); },
      [&] {
        std::ofstream(list, std::ios::app) << "'B'='b' 'p' 'F' 'x'\n";
        return admin->listRepositories(false, false);
      },
      [&] { return admin->removeRepository("A"); },
  };
  for (const auto& call : refused) expectOne(admin, call);
  admin->release();
}

// A creation refused before any table is made logs its refusal once: a
// table prefix that does not start with a letter, a DDL script that cannot
// be opened.
TEST(OneRecordPerFailure, CreationRefusalsAreLoggedOnce) {
  TempDir dir;
  const std::string connection =
      "FILE=" + dir.file("c.db") + ";CREATE=TRUE;KVXTYPE=SQLITE";
  const std::string script = dir.file("no-folder") + "/create.sql";
  LogCapture log;
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  const std::function<bool()> refused[] = {
      [&] { return admin->createRepository(connection.c_str(), "1kv"); },
      [&] {
        return admin->createRepositoryWithDDLFile(connection.c_str(), "kv",
                                                  script.c_str());
      },
  };
  for (const auto& call : refused) {
    const std::vector<std::string> lines =
        failureRecords(log, [&] { EXPECT_FALSE(call()); });
    EXPECT_FALSE(admin->getErrorMessage().isEmpty());
    EXPECT_EQ(lines, std::vector<std::string>{"5 repositoryadminimpl: " +
                                              admin->getErrorMessage().str()});
  }
  EXPECT_NE(admin->getErrorMessage().str().find(script), std::string::npos)
      << admin->getErrorMessage().str();
  admin->release();
}

}  // namespace
