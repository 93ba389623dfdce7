// A text longer than the length its column declares, added or updated
// through a data-access object: a server refuses it and the write answers,
// and logs once, which column of which table it passes and by how much;
// SQLite, which does not enforce declared lengths, stores it as given.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "refdata/refdata_fixture.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/profile_data_access.h"

namespace {

class TooLongValueTest : public RefDataTest {
 protected:
  void SetUp() override {
    RefDataTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    common_ = repos_->createCommonDataAccess();
    ASSERT_NE(common_, nullptr);
    monitor_ = repos_->createMonitorDataAccess();
    ASSERT_NE(monitor_, nullptr);
    profile_ = repos_->createProfileDataAccess();
    ASSERT_NE(profile_, nullptr);
    meta_ = repos_->createMetadataDataAccess();
    ASSERT_NE(meta_, nullptr);
  }
  void TearDown() override {
    if (meta_) meta_->release();
    if (profile_) profile_->release();
    if (monitor_) monitor_->release();
    if (common_) common_->release();
    RefDataTest::TearDown();
  }

  // Adds a domain whose type (DOMTYPE, 2 characters) and enabled flag
  // (ENABLED, 1) are given; the add's answer.
  bool addDomain(const char* type, const char* enabled = "Y") {
    return rd_->addDomain("Places", "places", type, enabled, "Y", "G", 1, "N",
                          1, 2, KvbDate(), "C", nullptr);
  }
  int addRule(const std::string& type) {
    return common_->addRule("R", type.c_str(), "", "", "", "u", "id", 0, "",
                            "");
  }
  // The values of `column` in table `code`.
  Rows stored(const char* code, const char* column) {
    return cursorRows(db_->paramSelect(
        "SELECT " + KvbString(column) + " FROM " + table(code).c_str(), 0));
  }
  // `add`, an add of `object`, fails on the server with `text`, which it
  // logs once, as the whole record, and leaves no row in table `code`.
  template <class Object, class Add>
  void expectRefused(Object* object, const Add& add, const char* code,
                     const std::string& text) {
    bool added = true;
    EXPECT_EQ(log_.failuresDuring([&] { added = add(); }), Rows{text});
    EXPECT_FALSE(added);
    EXPECT_EQ(object->getErrorMessage().str(), text);
    EXPECT_EQ(count(code), 0);
  }

  CommonRepositoryDataAccess* common_ = nullptr;
  MonitorRepositoryDataAccess* monitor_ = nullptr;
  ProfileRepositoryDataAccess* profile_ = nullptr;
  MetadataRepositoryDataAccess* meta_ = nullptr;
  LogCapture log_;
};

TEST_P(TooLongValueTest, AServerNamesTheColumnThatAnAddedValuePasses) {
  const std::string type(40, 't');
  if (!isPostgres()) {
    ASSERT_TRUE(addDomain("LONG")) << rd_->getErrorMessage().asCstr();
    EXPECT_EQ(stored("RDDOMS", "DOMTYPE"), Rows{"LONG"});
    ASSERT_GT(addRule(type), 0) << common_->getErrorMessage().asCstr();
    EXPECT_EQ(stored("RULE", "RU_TYPE"), Rows{type});
    return;
  }
  expectRefused(
      rd_, [&] { return addDomain("LONG"); }, "RDDOMS",
      "The value of column DOMTYPE of table RDDOMS is 4 characters "
      "long; the column holds at most 2");
  expectRefused(
      common_, [&] { return addRule(type) > 0; }, "RULE",
      "The value of column RU_TYPE of table RULE is 40 characters "
      "long; the column holds at most 32");
}

// A server counts a text's characters, not its bytes: "éé" fits DOMTYPE,
// and "ÿÿ" passes ENABLED by one character.
TEST_P(TooLongValueTest, ValuesAreMeasuredInCharacters) {
  if (!isPostgres()) {
    ASSERT_TRUE(addDomain("\xc3\xa9\xc3\xa9", "\xc3\xbf\xc3\xbf"))
        << rd_->getErrorMessage().asCstr();
    EXPECT_EQ(stored("RDDOMS", "ENABLED"), Rows{"\xc3\xbf\xc3\xbf"});
    return;
  }
  expectRefused(
      rd_, [&] { return addDomain("\xc3\xa9\xc3\xa9", "\xc3\xbf\xc3\xbf"); },
      "RDDOMS",
      "The value of column ENABLED of table RDDOMS is 2 characters long; "
      "the column holds at most 1");
  EXPECT_TRUE(addDomain("\xc3\xa9\xc3\xa9")) << rd_->getErrorMessage().asCstr();
  EXPECT_EQ(stored("RDDOMS", "DOMTYPE"), Rows{"\xc3\xa9\xc3\xa9"});
}

// Inside the host's transaction the add answers the same text. Where the
// driver rolls the whole transaction back at the refusal (Protocol=7.4-1),
// the add and the calls after it answer that the transaction was lost, for
// the same named value; elsewhere the transaction goes on without the add.
TEST_P(TooLongValueTest, AHostTransactionLostToTheValueNamesItToo) {
  const std::string text =
      "The value of column DOMTYPE of table RDDOMS is 4 characters long; the "
      "column holds at most 2";
  const std::string lostText =
      "The transaction was rolled back by the database: " + text;
  const bool lost = isPostgres() && postgresConnectionString().find(
                                        "Protocol=7.4-1") != std::string::npos;
  ASSERT_TRUE(rd_->beginTransaction(0, 0));
  EXPECT_EQ(addDomain("LONG"), !isPostgres());
  if (isPostgres()) {
    EXPECT_EQ(rd_->getErrorMessage().str(), lost ? lostText : text);
  }
  EXPECT_EQ(rd_->addLanguage("English", "en", nullptr), !lost);
  if (lost) {
    EXPECT_EQ(rd_->getErrorMessage().str(), lostText);
  }
  EXPECT_EQ(rd_->endTransaction(true), !lost);
  EXPECT_EQ(count("RDLANS"), lost ? 0 : 1);
}

// One write of a value longer than its column to a row that is there: the
// operation, the object that runs it, the table and column the value goes
// to and what a server answers (and logs) when it refuses it.
struct LongWrite {
  const char* operation;
  ReposDataAccessObject* object;
  std::function<bool()> write;
  const char* code;
  const char* column;
  std::string value;
  std::string text;
};

// Updates name the value as adds do; a key-value write names its key first.
TEST_P(TooLongValueTest, AServerNamesTheColumnThatAnUpdatedValuePasses) {
  int rule = 0, group = 0, source = 0, report = 0, field = 0;
  ASSERT_GT(rule = addRule("t"), 0) << common_->getErrorMessage().asCstr();
  ASSERT_TRUE(monitor_->addReportGroup("G", "", -1, -1, -1, KvbDate(), "u", "",
                                       0, &group));
  ASSERT_TRUE(monitor_->addSource("S", "s-uuid", "u", 0, &source));
  ASSERT_TRUE(profile_->addReport(1, 0, "r", 1.0, "u", &report));
  ASSERT_TRUE(profile_->addRunField(1, 1, "F", "S", &field));
  ASSERT_EQ(profile_->addProfileJob("A", "", "", 1, 1, "u", "u", 0), 1);
  ASSERT_EQ(profile_->addJobAlert(1, "", "", "", "", "", "", "", "", "", "", ""),
            1);
  ASSERT_TRUE(profile_->setJobAlertProperty(1, 1, "LIMIT", "10"));
  ASSERT_TRUE(common_->setKeyValue("k", "v"));
  int config = 0, chart = 0, task = 0, folder = 0;
  ASSERT_TRUE(profile_->addRdaConfig(1, "C", "", -1, &config));
  ASSERT_TRUE(profile_->addChart(report, 1, "Ch", "T", &chart));
  ASSERT_TRUE(profile_->addChartTable(chart, "d", "", "", "t", "", "O"));
  const int category = common_->addGlobalCategory("GC", "");
  const int metric = common_->addCustomMetric("CM", "", "e", "");
  const int job = profile_->addProfileJob("J", "", "j-uuid", 0, 0, "u", "u", 0);
  ASSERT_GE(std::min({category, metric, job}), 0);
  ASSERT_TRUE(monitor_->addTask("T", "t-code", "u", 0, "", "", &task));
  ASSERT_TRUE(meta_->addFolder(0, "F", folder));
  ASSERT_TRUE(meta_->lockObject(job, "ProfileJob", "u", "j-uuid"));
  const auto columnText = [](const char* column, const char* code,
                             int characters, int declared) {
    return "The value of column " + std::string(column) + " of table " + code +
           " is " + std::to_string(characters) +
           " characters long; the column holds at most " +
           std::to_string(declared);
  };
  const std::string value33(33, 's'), value40(40, 't'), value256(256, 'g');
  // A key-value write updates its key's row, or adds one. It runs in a
  // transaction of its own: where the driver rolls that back whole at the
  // refusal (Protocol=7.4-1), nothing of the host's is lost with it, and
  // the text names the value alone there too.
  const std::string inUse(32001, 'v'), added(32001, 'w');
  const std::string notSet = "The value of the key \"k\" could not be set: ";
  const std::string newKeyNotSet =
      "The value of the key \"new\" could not be set: ";
  const std::vector<LongWrite> writes = {
      {"updateRule", common_,
       [&] {
         return common_->updateRule(rule, "R", value40.c_str(), "", "", "", "u",
                                    0, 0, "u", "id", 0, "", "");
       },
       "RULE", "RU_TYPE", value40, columnText("RU_TYPE", "RULE", 40, 32)},
      {"updateReportGroup", monitor_,
       [&] {
         return monitor_->updateReportGroup(group, value256.c_str(), "", -1, -1,
                                            -1, KvbDate(), "", -1);
       },
       "RPTGRP", "GRP_NAME", value256,
       columnText("GRP_NAME", "RPTGRP", 256, 255)},
      {"updateSource", monitor_,
       [&] { return monitor_->updateSource(source, value33.c_str(), "u", 0); },
       "EXSRC", "ES_NAME", value33, columnText("ES_NAME", "EXSRC", 33, 32)},
      {"updateReport", profile_,
       [&] {
         return profile_->updateReport(report, -1, "", value33.c_str(), -1);
       },
       "REPORT", "RPT_USER", value33, columnText("RPT_USER", "REPORT", 33, 32)},
      {"setFieldMetric", profile_,
       [&] {
         return profile_->setFieldMetric(field, 18, KvbString("unlikely"));
       },
       "FLD", "MET_18", "unlikely", columnText("MET_18", "FLD", 8, 7)},
      {"setJobAlertProperty", profile_,
       [&] {
         return profile_->setJobAlertProperty(1, 1, "LIMIT", value256.c_str());
       },
       "JALPRP", "AP_VAL", value256, columnText("AP_VAL", "JALPRP", 256, 255)},
      {"updateRdaConfig", profile_,
       [&] {
         return profile_->updateRdaConfig(config, value33.c_str(), "", -1);
       },
       "RDACFG", "RDACFGNM", value33,
       columnText("RDACFGNM", "RDACFG", 33, 32)},
      {"renameChart", profile_,
       [&] { return profile_->renameChart(chart, value256.c_str()); }, "CHT",
       "CH_NAME", value256, columnText("CH_NAME", "CHT", 256, 255)},
      {"updateChartTable", profile_,
       [&] {
         return profile_->updateChartTable(chart, "d", "", "", "t", "", "OF");
       },
       "CHTTAB", "CT_TYPE", "OF", columnText("CT_TYPE", "CHTTAB", 2, 1)},
      {"updateCustomMetric", common_,
       [&] {
         return common_->updateCustomMetric(metric, "CM", "", "e", "",
                                            value256.c_str());
       },
       "CUSTM", "CM_UUID", value256, columnText("CM_UUID", "CUSTM", 256, 255)},
      {"updateGlobalCategory", common_,
       [&] {
         return common_->updateGlobalCategory(category, value256.c_str(), "");
       },
       "GCATS", "GCNAME", value256, columnText("GCNAME", "GCATS", 256, 255)},
      {"updateTask", monitor_,
       [&] {
         return monitor_->updateTask(task, value256.c_str(), "t-code", "u",
                                     KvbDate(), "u", KvbDate(), 0, "", "");
       },
       "MJOB", "JB_DESC", value256, columnText("JB_DESC", "MJOB", 256, 255)},
      {"updateProfileJob", profile_,
       [&] {
         return profile_->updateProfileJob(job, value256.c_str(), "",
                                           KvbDate(), "u", 0);
       },
       "JSETUP", "SU_NAME", value256, columnText("SU_NAME", "JSETUP", 256, 255)},
      {"renameFolder", meta_,
       [&] { return meta_->renameFolder(folder, value256.c_str()); }, "FOLDER",
       "FLDR_NAM", value256, columnText("FLDR_NAM", "FOLDER", 256, 255)},
      {"lockObject of a locked object", meta_,
       [&] {
         return meta_->lockObject(job, "ProfileJob", value33.c_str(), "j-uuid");
       },
       "OBJLCK", "LCK_USR", value33, columnText("LCK_USR", "OBJLCK", 33, 32)},
      {"setKeyValue of a key in use", common_,
       [&] { return common_->setKeyValue("k", inUse.c_str()); }, "KEYVAL",
       "V_VALUE", inUse,
       notSet + columnText("V_VALUE", "KEYVAL", 32001, 32000)},
      {"setKeyValue of a new key", common_,
       [&] { return common_->setKeyValue("new", added.c_str()); }, "KEYVAL",
       "V_VALUE", added,
       newKeyNotSet + columnText("V_VALUE", "KEYVAL", 32001, 32000)},
  };
  for (const LongWrite& write : writes) {
    SCOPED_TRACE(write.operation);
    const Rows before = stored(write.code, write.column);
    bool written = false;
    Rows failures;
    for (const std::string& record :
         log_.failuresDuring([&] { written = write.write(); }, true))
      if (record.rfind("5 ", 0) == 0) failures.push_back(record);
    const Rows after = stored(write.code, write.column);
    if (!isPostgres()) {
      EXPECT_TRUE(written) << write.object->getErrorMessage().asCstr();
      EXPECT_EQ(failures, Rows{});
      EXPECT_EQ(std::count(after.begin(), after.end(), write.value), 1);
      continue;
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(failures, Rows{"5 " + write.text});
    EXPECT_EQ(write.object->getErrorMessage().str(), write.text);
    EXPECT_EQ(after, before);
  }
}

INSTANTIATE_RDA_TARGETS(TooLongValueTest);

}  // namespace
