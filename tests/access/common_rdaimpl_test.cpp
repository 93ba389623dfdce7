// The common data-access object on every back end: rules, fields, custom
// metrics and global categories, their links, duplicates, filters and
// deletions.
#include "access/common_rdaimpl.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kvreposres/kvreposres.h"
#include "support/event_recorder.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

using Rows = std::vector<std::string>;

std::string monitorMessage(int id) {
  return kvb_get_message("test", __LINE__, "Monitor Admin", id).str();
}

std::string describe(const RepositoryEvent& e) {
  return e.operation + " " + std::to_string(e.changeType) + " " +
         e.objectType.str() + " " + std::to_string(e.objectId) + " " +
         e.objectUUID.str();
}

class CommonRdaTest : public RdaObjectTest<CommonRDAImpl> {
 protected:
  // The folders that the objects of these tests are filed into.
  void SetUp() override {
    RdaObjectTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    storeKeys("FOLDER", "FLDR_ID", {7});
  }
  CommonRDAImpl*& common_ = object_;

  int addRule(const char* name) {
    const int id = common_->addRule(name, "T", "e", "G", "m", "alice",
                                    std::string("u-") + name, 7, "c", "d");
    EXPECT_GT(id, 0) << common_->getErrorMessage().asCstr();
    return id;
  }
  // A rule with a field, a custom metric with a field, the link between
  // them and a field mapping; answers the rule's id and sets `cmId`.
  int ruleWithLinks(const char* name, int& cmId) {
    const int ruleId = addRule(name);
    const KvbString field = KvbString("f-") + name;
    cmId = common_->addCustomMetric(KvbString("cm-") + name, "", "x", "");
    EXPECT_TRUE(common_->addCustomMetricField(cmId, "out", "O"));
    EXPECT_TRUE(common_->addRuleField(ruleId, field, ""));
    EXPECT_TRUE(common_->addRuleCustomMetric(ruleId, cmId, 1));
    EXPECT_TRUE(
        common_->addCustomMetricFieldMap(ruleId, cmId, 1, field, "out", "O"));
    return ruleId;
  }
  // The rows left of rule `ruleId` in RULE, RUFIME, RUCMME and CMFMAP, and
  // of custom metric `cmId` in CUSTM, CMFLD, RUCMME and CMFMAP.
  std::string rowsOf(int ruleId, int cmId) {
    std::string n;
    for (const char* code : {"RULE", "RUFIME", "RUCMME", "CMFMAP"})
      n += std::to_string(count(code, "RU_ID=?", {ruleId}));
    n += " ";
    for (const char* code : {"CUSTM", "CMFLD", "RUCMME", "CMFMAP"})
      n += std::to_string(count(code, "CM_ID=?", {cmId}));
    return n;
  }

  LogCapture log_;  // keeps the expected failures off the console
};

// A refused duplicate answers, and logs once, what was refused, by type
// and name, and the catalogue's text, which names no object.
TEST_P(CommonRdaTest, RefusalsLogTheObjectTheyRefuseInOneRecord) {
  const int ruleId = addRule("R");
  const int cmId = common_->addCustomMetric("CM", "", "x", "");
  ASSERT_TRUE(common_->addField("F", ""));
  ASSERT_TRUE(common_->addCustomMetricField(cmId, "out", "O"));
  ASSERT_TRUE(common_->addRuleCustomMetric(ruleId, cmId, 1));
  const auto refused = [&](const std::function<bool()>& add, int messageId,
                           const std::string& what) {
    const std::string record = what + ": " + monitorMessage(messageId);
    EXPECT_EQ(log_.failuresDuring([&] { EXPECT_FALSE(add()) << what; }),
              Rows{record});
    EXPECT_EQ(common_->getErrorMessage().str(), record);
  };
  refused(
      [&] {
        return common_->addRule("R", "T", "", "", "", "b", "u", 0, "", "") > 0;
      },
      1385, "Cannot add the rule \"R\"");
  refused([&] { return common_->addField("F", "again"); }, 924,
          "Cannot add the field \"F\"");
  refused([&] { return common_->addCustomMetric("CM", "", "y", "") > 0; },
          1356, "Cannot add the custom metric \"CM\"");
  refused([&] { return common_->addCustomMetricField(cmId, "out", "O"); },
          1356, "Cannot add the field \"out\" to custom metric 1");
  refused([&] { return common_->addRuleCustomMetric(ruleId, cmId, 2); }, 1356,
          "Cannot link custom metric 1 to rule 1 again");
}

// The empty name is stored as given and is then taken like any other name:
// a second rule, field or custom metric is refused it, a second global
// category of it is the stored one.
TEST_P(CommonRdaTest, TheEmptyNameIsTakenOnceLikeAnyOther) {
  const struct {
    const char* kind;
    std::function<int()> add;  // the id (1 for an add without one); -1
    int secondAnswer;
    std::string refusal;
  } cases[] = {
      {"rule",
       [&] { return common_->addRule("", "T", "", "", "", "b", "", 0, "", ""); },
       -1, "Cannot add the rule \"\": " + monitorMessage(1385)},
      {"field", [&] { return common_->addField("", "d") ? 1 : -1; }, -1,
       "Cannot add the field \"\": " + monitorMessage(924)},
      {"custom metric", [&] { return common_->addCustomMetric("", "", "x", ""); },
       -1, "Cannot add the custom metric \"\": " + monitorMessage(1356)},
      {"global category", [&] { return common_->addGlobalCategory("", "d"); },
       1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    ASSERT_EQ(c.add(), 1) << common_->getErrorMessage().asCstr();
    EXPECT_EQ(c.add(), c.secondAnswer);
    if (!c.refusal.empty()) {
      EXPECT_EQ(common_->getErrorMessage().str(), c.refusal);
    }
  }
  EXPECT_EQ(rows(common_->listFields("")).size(), 1u);
  EXPECT_EQ(rows(common_->listCustomMetrics("")).size(), 1u);
}

TEST_P(CommonRdaTest, RulesAreNumberedStampedAnnouncedAndUpdated) {
  storeKeys("FOLDER", "FLDR_ID", {9});
  EventRecorder recorder(describe);
  const double before = KvbDate::currentDate().asDouble();
  EXPECT_EQ(addRule("R1"), 1);
  EXPECT_EQ(addRule("R2"), 2);
  // Creation and edit dates are the same current date.
  const Rows rule = rows(common_->findRule(1, "", ""));
  ASSERT_EQ(rule.size(), 1u);
  const std::string dates = rule[0].substr(rule[0].find("|m|") + 3);
  const double created = std::stod(dates);
  EXPECT_TRUE(created >= before &&
              created <= KvbDate::currentDate().asDouble());
  const std::string date = dates.substr(0, dates.find('|'));
  EXPECT_EQ(rule[0],
            "1|R1|T|e|G|m|" + date + "|" + date + "|alice|u-R1|7|alice|c|d");

  // A stored name is refused; it announces nothing and uses no id.
  EXPECT_EQ(common_->addRule("R1", "T", "", "", "", "bob", "x", 0, "", ""), -1);
  const std::string taken =
      "Cannot add the rule \"R1\": " + monitorMessage(1385);
  EXPECT_EQ(common_->getErrorMessage().str(), taken);
  EXPECT_TRUE(log_.contains(taken, 5));
  EXPECT_EQ(addRule("R3"), 3);
  EXPECT_EQ(
      recorder.events,
      (Rows{"postObjectChange " + std::to_string(kChangeAdded) + " Rule 1 u-R1",
            "postObjectChange 0 Rule 2 u-R2",
            "postObjectChange 0 Rule 3 u-R3"}));

  // An update writes every column of that rule only.
  ASSERT_TRUE(common_->updateRule(1, "R1b", "T2", "e2", "G2", "m2", "bob", 1.5,
                                  2.5, "carol", "u-1b", 9, "c2", "d2"));
  EXPECT_EQ(rows(common_->findRule(1, "", "")),
            Rows{"1|R1b|T2|e2|G2|m2|1.5|2.5|bob|u-1b|9|carol|c2|d2"});
  // Into a folder that does not exist: refused, the rule as it was.
  EXPECT_FALSE(common_->updateRule(1, "R1c", "T2", "e2", "G2", "m2", "bob",
                                   1.5, 2.5, "carol", "u-1b", 99, "c2", "d2"));
  EXPECT_EQ(common_->getErrorMessage().str(), "Folder 99 does not exist");
  EXPECT_EQ(rows(common_->findRule(1, "", "")),
            Rows{"1|R1b|T2|e2|G2|m2|1.5|2.5|bob|u-1b|9|carol|c2|d2"});
  EXPECT_EQ(rows(common_->findRule(2, "", ""))[0].substr(0, 5), "2|R2|");
}

TEST_P(CommonRdaTest, LookupsTryIdThenUuidThenName) {
  addRule("R1");
  addRule("R2");
  auto ruleName = [&](int id, const char* name, const char* uuid) {
    const Rows found = rows(common_->findRule(id, name, uuid));
    return found.empty() ? "<none>" : found[0].substr(0, found[0].find("|T|"));
  };
  EXPECT_EQ(ruleName(2, "R1", "u-R1"), "2|R2");
  EXPECT_EQ(ruleName(-1, "R1", "u-R2"), "2|R2");
  EXPECT_EQ(ruleName(0, "R1", ""), "1|R1");
  EXPECT_EQ(ruleName(0, "R3", ""), "<none>");
  EXPECT_EQ(common_->findRule(-1, "", ""), nullptr);

  // No match of a custom metric is a cursor without rows; an empty name
  // looks for an empty name.
  common_->addCustomMetric("CM1", "", "", "");
  ReposDataAccessCursor* none = common_->findCustomMetric(-1, "nothing", "");
  ASSERT_NE(none, nullptr);
  EXPECT_TRUE(rows(none).empty());
  EXPECT_TRUE(rows(common_->findCustomMetric(-1, "", "")).empty());
}

TEST_P(CommonRdaTest, FieldsAndRuleLinksAreUniqueAndNumberedOnce) {
  ASSERT_TRUE(common_->addField("F1", "d1"));
  EXPECT_FALSE(common_->addField("F1", "other"));
  EXPECT_EQ(common_->getErrorMessage().str(),
            "Cannot add the field \"F1\": " + monitorMessage(924));

  const int r1 = addRule("R1"), r2 = addRule("R2");
  ASSERT_TRUE(common_->addRuleField(r1, "F2", "d2"));  // adds field F2
  ASSERT_TRUE(common_->addRuleField(r1, "F1", "ignored"));
  ASSERT_TRUE(common_->addRuleField(r1, "F2", "d2"));  // linked already
  ASSERT_TRUE(common_->addRuleField(r2, "F1", ""));
  EXPECT_EQ(sortedRows(rows(common_->listFields(""))),
            (Rows{"F1|d1", "F2|d2"}));
  EXPECT_EQ(rows(common_->listFields("F2")), Rows{"F2|d2"});
  EXPECT_EQ(sortedRows(rows(common_->listRuleFields(r1))),
            (Rows{"F1|d1|2", "F2|d2|1"}));
  EXPECT_EQ(rows(common_->listRuleFields(r2)), Rows{"F1|d1|3"});

  const int zeta = common_->addCustomMetric("Zeta", "p", "e", "q");
  const int alpha = common_->addCustomMetric("Alpha", "", "", "");
  ASSERT_TRUE(common_->addRuleCustomMetric(r1, zeta, 1));
  EXPECT_FALSE(common_->addRuleCustomMetric(r1, zeta, 5));
  EXPECT_EQ(common_->getErrorMessage().str(),
            "Cannot link custom metric " + std::to_string(zeta) + " to rule " +
                std::to_string(r1) + " again: " + monitorMessage(1356));
  ASSERT_TRUE(common_->addRuleCustomMetric(r1, alpha, 2));
  ASSERT_TRUE(common_->addRuleCustomMetric(r2, zeta, 1));
  EXPECT_EQ(rows(common_->listRuleCustomMetrics(r1)),
            (Rows{std::to_string(alpha) + "|Alpha||||2",
                  std::to_string(zeta) + "|Zeta|p|e|q|1"}));

  // Only the maps of that rule and custom metric are listed.
  ASSERT_TRUE(common_->addCustomMetricFieldMap(r1, zeta, 1, "F1", "z", "I"));
  ASSERT_TRUE(common_->addCustomMetricFieldMap(r1, zeta, 1, "F2", "m", "O"));
  ASSERT_TRUE(common_->addCustomMetricFieldMap(r1, alpha, 2, "F1", "a", "I"));
  ASSERT_TRUE(common_->addCustomMetricFieldMap(r2, zeta, 1, "F1", "b", "I"));
  const std::string key = std::to_string(r1) + "|" + std::to_string(zeta);
  EXPECT_EQ(rows(common_->listCustomMetricFieldMap(r1, zeta)),
            (Rows{key + "|1|F2|m|O", key + "|1|F1|z|I"}));
  EXPECT_EQ(common_->listCustomMetricFieldMap(r1, -1), nullptr);
}

TEST_P(CommonRdaTest, CustomMetricsAreNumberedFoundAndUpdated) {
  EXPECT_EQ(common_->addCustomMetric("CM1", "pre", "exp", "post"), 1);
  EXPECT_EQ(common_->addCustomMetric("CM2", "", "", ""), 2);
  EXPECT_EQ(common_->addCustomMetric("CM1", "", "", ""), -1);
  EXPECT_EQ(common_->getErrorMessage().str(),
            "Cannot add the custom metric \"CM1\": " + monitorMessage(1356));
  EXPECT_EQ(common_->addCustomMetric("CM3", "", "", ""), 3);

  const Rows cm1 = rows(common_->listCustomMetrics("CM1"));
  ASSERT_EQ(cm1.size(), 1u) << "the name filter leaves CM1 only";
  const std::string uuid1 = cm1[0].substr(19, 36);
  EXPECT_EQ(cm1[0], "1|CM1|pre|exp|post|" + uuid1 + "|");
  EXPECT_EQ(rows(common_->findCustomMetric(-1, "CM2", uuid1)), cm1);
  EXPECT_EQ(sortedRows(rows(common_->listCustomMetrics(""))).size(), 3u);
  {
    EventRecorder recorder(describe);
    ASSERT_TRUE(common_->updateCustomMetric(2, "CM2b", "p", "e", "q", "uu"));
    EXPECT_EQ(recorder.events,
              Rows{"postObjectChange " + std::to_string(kChangeUpdated) +
                   " CustomMetric 2 uu"});
  }
  EXPECT_EQ(rows(common_->findCustomMetric(-1, "CM2b", "")),
            Rows{"2|CM2b|p|e|q|uu|"});

  // A field name is unique per custom metric and direction.
  ASSERT_TRUE(common_->addCustomMetricField(1, "Z", "I"));
  ASSERT_TRUE(common_->addCustomMetricField(1, "K", "O"));
  ASSERT_TRUE(common_->addCustomMetricField(1, "K", "I"));
  EXPECT_FALSE(common_->addCustomMetricField(1, "K", "O"));
  EXPECT_EQ(
      common_->getErrorMessage().str(),
      "Cannot add the field \"K\" to custom metric 1: " + monitorMessage(1356));
  ASSERT_TRUE(common_->addCustomMetricField(2, "K", "O"));
  const Rows fields = rows(common_->listCustomMetricFields(1));
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[2], "Z|I") << "ordered by field name";
}

// Clearing changes nothing and lets an import go on; deleting removes
// nothing and says so, without a log record.
TEST_P(CommonRdaTest, ClearAndDeleteOfACustomMetricChangeNothing) {
  int cmId = 0;
  const int ruleId = ruleWithLinks("A", cmId);
  ASSERT_TRUE(common_->clearCustomMetric(cmId));
  EXPECT_TRUE(log_.contains(
      "clearCustomMetric has no implementation yet.  Unsure of what to clear "
      "here!",
      2));
  const size_t logged = log_.records().size();
  EXPECT_FALSE(common_->deleteCustomMetric(cmId));
  EXPECT_FALSE(common_->getErrorMessage().isEmpty());
  EXPECT_EQ(log_.records().size(), logged);
  EXPECT_EQ(rowsOf(ruleId, cmId), "1111 1111");
  EXPECT_EQ(rows(common_->listCustomMetricFields(cmId)), Rows{"out|O"});
}

TEST_P(CommonRdaTest, RuleDeletionsRemoveOnlyTheirOwnRowsAndLinks) {
  int cm[3];
  const int r0 = ruleWithLinks("A", cm[0]);
  const int r1 = ruleWithLinks("B", cm[1]);
  const int r2 = ruleWithLinks("C", cm[2]);
  ASSERT_TRUE(common_->deleteRule(r0));
  ASSERT_TRUE(common_->deleteRuleLinks(r1));
  EXPECT_EQ(rowsOf(r0, cm[0]), "0000 1100");
  EXPECT_EQ(rowsOf(r1, cm[1]), "1000 1100");
  EXPECT_EQ(rowsOf(r2, cm[2]), "1111 1111");
  EXPECT_EQ(rows(common_->listFields("f-A")).size(), 1u) << "the field stays";
}

// The rest of the key/value store is tested through the repository object.
TEST_P(CommonRdaTest, DeletingAMissingKeyFails) {
  ASSERT_TRUE(common_->setKeyValue("a", "1"));
  EXPECT_TRUE(common_->deleteKey("a"));
  EXPECT_FALSE(common_->deleteKey("a")) << "nothing is stored under a";
  const std::string missing = "No value is stored under the key \"a\"";
  EXPECT_EQ(common_->getErrorMessage().str(), missing);
  // A store that cannot be read gives the database's reason instead.
  exec("DROP TABLE " + table("KEYVAL"));
  EXPECT_FALSE(common_->deleteKey("a"));
  EXPECT_NE(common_->getErrorMessage().str(), missing);
}

TEST_P(CommonRdaTest, GlobalCategoriesAreAddedOnceFoundAndDeletedWhole) {
  const int c1 = common_->addGlobalCategory("C1", "d");
  EXPECT_EQ(c1, 1);
  EXPECT_EQ(common_->addGlobalCategory("C1", "other"), 1);
  const int c2 = common_->addGlobalCategory("C2", "");
  EXPECT_EQ(c2, 2);
  // There is no stored UUID: a UUID neither fails a lookup nor finds one.
  const size_t logged = log_.records().size();
  EXPECT_EQ(rows(common_->findGlobalCategory(2, "C1", "")), Rows{"2|C2|"});
  EXPECT_EQ(rows(common_->findGlobalCategory(-1, "C1", "a-uuid")),
            Rows{"1|C1|d"});
  EXPECT_EQ(common_->findGlobalCategory(-1, "", "a-uuid"), nullptr);
  EXPECT_EQ(common_->findGlobalCategory(-1, "", ""), nullptr);
  EXPECT_EQ(log_.records().size(), logged) << "a lookup failed";
  ASSERT_TRUE(common_->updateGlobalCategory(1, "C1b", "d2"));
  EXPECT_EQ(rows(common_->getGlobalCategory(1)), Rows{"1|C1b|d2"});

  auto definition = [&](int gc, int token, const char* name) {
    return common_->addGlobalCategoryDefinition(gc, "en", 10, name, token, "t",
                                                "d");
  };
  EXPECT_EQ(definition(c1, 20, "q"), 1);
  EXPECT_EQ(definition(c1, 20, "other"), 1);
  EXPECT_EQ(definition(c1, 21, "q"), 2);
  EXPECT_EQ(definition(c2, 20, "q"), 3);
  EXPECT_EQ(sortedRows(rows(common_->listGlobalCategoryDefinitions(c1))),
            (Rows{"1|1|en|10|q|20|t|d", "2|1|en|10|q|21|t|d"}));

  ASSERT_TRUE(common_->addGlobalCategoryField(c1, "d", "c", "s", "T", "F", true,
                                              "VARCHAR", 10, 1));
  exec("INSERT INTO " + table("GCRUL") + " (GC_ID, RU_ID) VALUES (?, 1)", {c1});
  exec("INSERT INTO " + table("GCRUL") + " (GC_ID, RU_ID) VALUES (?, 1)", {c2});
  ASSERT_TRUE(common_->deleteGlobalCategory(c1));
  for (const char* code : {"GCATS", "GCDEF", "GCFLD", "GCRUL"})
    EXPECT_EQ(count(code, "GC_ID=?", {c1}) * 10 + count(code, "GC_ID=?", {c2}),
              code == std::string("GCFLD") ? 0 : 1)
        << code;
}

// Each row differs from the first in one key, so each filter given alone
// removes exactly one row.
TEST_P(CommonRdaTest, EachFilterOfTheMappedFieldsRemovesRows) {
  ASSERT_EQ(common_->addGlobalCategory("C1", ""), 1);
  ASSERT_EQ(common_->addGlobalCategory("C2", ""), 2);
  auto field = [&](int gc, const char* dsn, const char* cat, const char* sch,
                   const char* tbl, bool include) {
    EXPECT_TRUE(common_->addGlobalCategoryField(gc, dsn, cat, sch, tbl, "F",
                                                include, "VARCHAR", 10, 1));
  };
  field(1, "d1", "c1", "s1", "T1", true);
  field(1, "d1", "c1", "s1", "T1", true);  // present already
  field(1, "d1", "c1", "s1", "T1", false);
  field(2, "d1", "c1", "s1", "T1", true);
  field(1, "d2", "c1", "s1", "T1", true);
  field(1, "d1", "c2", "s1", "T1", true);
  field(1, "d1", "c1", "s2", "T1", true);
  field(1, "d1", "c1", "s1", "T2", true);
  const struct {
    int gc;
    const char *dsn, *cat, *sch, *tbl;
    size_t rows;
  } cases[] = {{-1, "", "", "", "", 7},       {1, "", "", "", "", 6},
               {-1, "d1", "", "", "", 6},     {-1, "", "c1", "", "", 6},
               {-1, "", "", "s1", "", 6},     {-1, "", "", "", "T1", 6},
               {1, "d1", "c1", "s1", "T1", 2}};
  for (const auto& c : cases)
    EXPECT_EQ(rows(common_->listGlobalCategoryFields(c.gc, c.dsn, c.cat, c.sch,
                                                     c.tbl))
                  .size(),
              c.rows)
        << c.gc << c.dsn << c.cat << c.sch << c.tbl;
  EXPECT_EQ(sortedRows(rows(
                common_->listGlobalCategoryFields(1, "d1", "c1", "s1", "T1"))),
            (Rows{"1|d1|c1|s1|T1|F|0|VARCHAR|10|1",
                  "1|d1|c1|s1|T1|F|1|VARCHAR|10|1"}));
}

TEST_P(CommonRdaTest, DeletionsRollBackWhenAStatementFails) {
  int cmId = 0;
  const int ruleId = ruleWithLinks("A", cmId);
  const int gcId = common_->addGlobalCategory("C", "");
  ASSERT_GT(common_->addGlobalCategoryDefinition(gcId, "en", 1, "", 1, "", ""),
            0);
  // RUCMME comes after other tables in the rule deletions, GCRUL in the
  // global-category one.
  for (const char* code : {"RUCMME", "GCRUL"})
    exec("DROP TABLE " + table(code));

  EXPECT_FALSE(common_->deleteRuleLinks(ruleId));
  EXPECT_FALSE(common_->getErrorMessage().isEmpty());
  EXPECT_FALSE(common_->deleteRule(ruleId));
  for (const char* code : {"RULE", "RUFIME", "CMFMAP"})
    EXPECT_EQ(count(code, "RU_ID=?", {ruleId}), 1) << code;
  EXPECT_FALSE(common_->deleteGlobalCategory(gcId));
  EXPECT_EQ(
      count("GCATS", "GC_ID=?", {gcId}) + count("GCDEF", "GC_ID=?", {gcId}), 2);
}

INSTANTIATE_RDA_TARGETS(CommonRdaTest);

}  // namespace
