// The common data-access object on every back end: rules, fields, custom
// metrics and global categories, their links, duplicates and deletions.
#include "access/common_rdaimpl.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  CommonRDAImpl*& common_ = object_;

  // The rows of a table whose `column` equals `id`.
  int count(const char* code, const char* column, int id) {
    int n = -1;
    EXPECT_TRUE(rda_->paramSingleton(
        kvbStringFormat("SELECT COUNT(*) FROM %S WHERE %s=%d",
                        rda_->getTableName(code, true, -1), column, id),
        &n, 0));
    return n;
  }
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
  // The text of a named column of a cursor's first row.
  static std::string first(ReposDataAccessCursor* cursor, const char* column) {
    std::string text = "<none>";
    if (cursor && cursor->next() == 1)
      text = cursor->getString(cursor->getColumnIndex(column)).str();
    if (cursor) cursor->release();
    return text;
  }

  LogCapture log_;  // keeps the expected failures off the console
};

TEST_P(CommonRdaTest, RulesAreNumberedStampedAnnouncedAndUpdated) {
  EventRecorder recorder(describe);
  const double before = KvbDate::currentDate().asDouble();
  EXPECT_EQ(addRule("R1"), 1);
  EXPECT_EQ(addRule("R2"), 2);
  ReposDataAccessCursor* rule = common_->findRule(1, "", "");
  ASSERT_NE(rule, nullptr);
  ASSERT_EQ(rule->next(), 1);
  const double created = rule->getDouble(rule->getColumnIndex("RU_CRDAT"));
  EXPECT_GE(created, before);
  EXPECT_LE(created, KvbDate::currentDate().asDouble());
  EXPECT_EQ(rule->getDouble(rule->getColumnIndex("RU_EDDAT")), created);
  std::string texts;
  for (int c : {0, 1, 8, 9, 10, 11, 13})
    texts += rule->getString(c).str() + "|";
  EXPECT_EQ(texts, "1|R1|alice|u-R1|7|alice|d|");
  rule->release();

  // A stored name is refused; it announces nothing and uses no id.
  EXPECT_EQ(common_->addRule("R1", "T", "", "", "", "bob", "x", 0, "", ""), -1);
  EXPECT_EQ(common_->getErrorMessage().str(), monitorMessage(1385));
  EXPECT_TRUE(log_.contains(monitorMessage(1385), 5));
  EXPECT_EQ(addRule("R3"), 3);
  ASSERT_EQ(recorder.events.size(), 3u);
  EXPECT_EQ(recorder.events[0], "postObjectChange 0 Rule 1 u-R1");

  // An update writes every column of that rule only.
  ASSERT_TRUE(common_->updateRule(1, "R1b", "T2", "e2", "G2", "m2", "bob", 1.5,
                                  2.5, "carol", "u-1b", 9, "c2", "d2"));
  EXPECT_EQ(rows(common_->findRule(1, "", "")),
            Rows{"1|R1b|T2|e2|G2|m2|1.5|2.5|bob|u-1b|9|carol|c2|d2"});
  EXPECT_EQ(first(common_->findRule(-1, "R1b", "u-R2"), "RU_DESC"), "R2");
  EXPECT_EQ(first(common_->findRule(0, "R1b", ""), "RU_UUID"), "u-1b");
  EXPECT_EQ(common_->findRule(-1, "", ""), nullptr);
}

TEST_P(CommonRdaTest, FieldsAndRuleLinksAreUniqueAndNumberedOnce) {
  ASSERT_TRUE(common_->addField("F1", "d1"));
  EXPECT_FALSE(common_->addField("F1", "other"));
  EXPECT_EQ(common_->getErrorMessage().str(), monitorMessage(924));

  const int r1 = addRule("R1"), r2 = addRule("R2");
  ASSERT_TRUE(common_->addRuleField(r1, "F2", "d2"));  // adds field F2
  ASSERT_TRUE(common_->addRuleField(r1, "F1", "ignored"));
  ASSERT_TRUE(common_->addRuleField(r1, "F2", "d2"));  // linked already
  ASSERT_TRUE(common_->addRuleField(r2, "F1", ""));
  EXPECT_EQ(sortedRows(rows(common_->listFields(""))), (Rows{"F1|d1", "F2|d2"}));
  EXPECT_EQ(sortedRows(rows(common_->listRuleFields(r1))),
            (Rows{"F1|d1|2", "F2|d2|1"}));
  EXPECT_EQ(rows(common_->listRuleFields(r2)), Rows{"F1|d1|3"});

  const int zeta = common_->addCustomMetric("Zeta", "p", "e", "q");
  const int alpha = common_->addCustomMetric("Alpha", "", "", "");
  ASSERT_TRUE(common_->addRuleCustomMetric(r1, zeta, 1));
  EXPECT_FALSE(common_->addRuleCustomMetric(r1, zeta, 5));
  EXPECT_EQ(common_->getErrorMessage().str(), monitorMessage(1356));
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

TEST_P(CommonRdaTest, CustomMetricsAreNumberedFoundUpdatedAndCleared) {
  EXPECT_EQ(common_->addCustomMetric("CM1", "pre", "exp", "post"), 1);
  EXPECT_EQ(common_->addCustomMetric("CM2", "", "", ""), 2);
  EXPECT_EQ(common_->addCustomMetric("CM1", "", "", ""), -1);
  EXPECT_EQ(common_->getErrorMessage().str(), monitorMessage(1356));
  EXPECT_EQ(common_->addCustomMetric("CM3", "", "", ""), 3);

  const std::string uuid1 =
      first(common_->findCustomMetric(1, "", ""), "CM_UUID");
  EXPECT_EQ(uuid1.size(), 36u);
  EXPECT_NE(first(common_->findCustomMetric(2, "", ""), "CM_UUID"), uuid1);
  EXPECT_EQ(first(common_->findCustomMetric(-1, "CM2", uuid1), "CM_ID"), "1");
  EXPECT_EQ(first(common_->findCustomMetric(-1, "CM2", ""), "CM_ID"), "2");
  ReposDataAccessCursor* none = common_->findCustomMetric(-1, "nothing", "");
  ASSERT_NE(none, nullptr) << "no match is a cursor without rows";
  EXPECT_TRUE(rows(none).empty());
  EXPECT_EQ(first(common_->listCustomMetrics("CM2"), "CM_ID"), "2");
  {
    EventRecorder recorder(describe);
    ASSERT_TRUE(common_->updateCustomMetric(2, "CM2b", "p", "e", "q", "uu"));
    EXPECT_EQ(recorder.events, Rows{"postObjectChange 2 CustomMetric 2 uu"});
  }
  EXPECT_EQ(rows(common_->findCustomMetric(2, "", "")),
            Rows{"2|CM2b|p|e|q|uu|"});

  // A field name is unique per custom metric and direction.
  ASSERT_TRUE(common_->addCustomMetricField(1, "Z", "I"));
  ASSERT_TRUE(common_->addCustomMetricField(1, "K", "O"));
  ASSERT_TRUE(common_->addCustomMetricField(1, "K", "I"));
  EXPECT_FALSE(common_->addCustomMetricField(1, "K", "O"));
  EXPECT_EQ(common_->getErrorMessage().str(), monitorMessage(1356));
  ASSERT_TRUE(common_->addCustomMetricField(2, "K", "O"));
  const Rows fields = rows(common_->listCustomMetricFields(1));
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[2], "Z|I") << "ordered by field name";
  // Clearing for a re-import drops that custom metric's fields only.
  ASSERT_TRUE(common_->clearCustomMetric(1));
  EXPECT_TRUE(rows(common_->listCustomMetricFields(1)).empty());
  EXPECT_EQ(rows(common_->listCustomMetricFields(2)), Rows{"K|O"});
  EXPECT_EQ(count("CUSTM", "CM_ID", 1), 1);
  EXPECT_TRUE(common_->addCustomMetricField(1, "K", "O"));
}

TEST_P(CommonRdaTest, DeletionsRemoveOnlyTheirOwnRowsAndLinks) {
  int r[4], cm[4];
  for (int i = 0; i < 4; ++i)
    r[i] = ruleWithLinks(std::string(1, static_cast<char>('A' + i)).c_str(),
                         cm[i]);
  ASSERT_TRUE(common_->deleteRule(r[0]));
  ASSERT_TRUE(common_->deleteCustomMetric(cm[1]));
  ASSERT_TRUE(common_->deleteRuleLinks(r[2]));
  // Rows left per rule and per custom metric in the tables below; the
  // fourth pair was not touched.
  const char* const byRule[] = {"RULE", "RUFIME", "RUCMME", "CMFMAP"};
  const char* const byMetric[] = {"CUSTM", "CMFLD", "RUCMME", "CMFMAP"};
  const char* const ruleLeft[] = {"0000", "1100", "1000", "1111"};
  const char* const metricLeft[] = {"1100", "0000", "1100", "1111"};
  for (int i = 0; i < 4; ++i) {
    std::string rule, metric;
    for (int t = 0; t < 4; ++t) {
      rule += std::to_string(count(byRule[t], "RU_ID", r[i]));
      metric += std::to_string(count(byMetric[t], "CM_ID", cm[i]));
    }
    EXPECT_EQ(rule, ruleLeft[i]) << "rule " << i;
    EXPECT_EQ(metric, metricLeft[i]) << "custom metric " << i;
  }
  EXPECT_EQ(rows(common_->listFields("f-A")).size(), 1u) << "the field stays";
}

// The rest of the key/value store is tested through the repository object.
TEST_P(CommonRdaTest, DeletingAMissingKeyFails) {
  ASSERT_TRUE(common_->setKeyValue("a", "1"));
  EXPECT_TRUE(common_->deleteKey("a"));
  EXPECT_FALSE(common_->deleteKey("a")) << "nothing is stored under a";
}

TEST_P(CommonRdaTest, GlobalCategoriesAreAddedOnceFoundAndDeletedWhole) {
  const int c1 = common_->addGlobalCategory("C1", "d");
  EXPECT_EQ(c1, 1);
  EXPECT_EQ(common_->addGlobalCategory("C1", "other"), 1);
  const int c2 = common_->addGlobalCategory("C2", "");
  EXPECT_EQ(c2, 2);
  // There is no stored UUID: a UUID neither fails a lookup nor finds one.
  const size_t logged = log_.records().size();
  EXPECT_EQ(first(common_->findGlobalCategory(2, "C1", ""), "GCNAME"), "C2");
  EXPECT_EQ(first(common_->findGlobalCategory(-1, "C1", "a-uuid"), "GC_ID"),
            "1");
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

  auto field = [&](int gc, const char* dsn, const char* tbl, bool include) {
    return common_->addGlobalCategoryField(gc, dsn, "cat", "sch", tbl, "F",
                                           include, "VARCHAR", 10, 1);
  };
  ASSERT_TRUE(field(c1, "dsn", "T1", true));
  ASSERT_TRUE(field(c1, "dsn", "T1", true));  // present already
  ASSERT_TRUE(field(c1, "dsn", "T1", false));
  ASSERT_TRUE(field(c1, "dsn", "T2", true));
  ASSERT_TRUE(field(c2, "dsn2", "T1", true));
  auto listed = [&](int gc, const char* dsn, const char* cat, const char* tbl) {
    return rows(common_->listGlobalCategoryFields(gc, dsn, cat, "", tbl))
        .size();
  };
  EXPECT_EQ(listed(c1, "", "", ""), 3u);
  EXPECT_EQ(listed(c1, "dsn", "cat", "T1"), 2u);
  EXPECT_EQ(listed(-1, "", "", "T1"), 3u);
  EXPECT_EQ(listed(c1, "", "other", ""), 0u);
  EXPECT_EQ(rows(common_->listGlobalCategoryFields(c1, "", "", "sch", "T2")),
            Rows{"1|dsn|cat|sch|T2|F|1|VARCHAR|10|1"});

  ASSERT_TRUE(rda_->paramExec("INSERT INTO " +
                                  rda_->getTableName("GCRUL", true, -1) +
                                  " (GC_ID, RU_ID) VALUES (1, 1), (2, 1)",
                              nullptr, 0));
  ASSERT_TRUE(common_->deleteGlobalCategory(c1));
  for (const char* code : {"GCATS", "GCDEF", "GCFLD", "GCRUL"}) {
    EXPECT_EQ(count(code, "GC_ID", c1), 0) << code;
    EXPECT_EQ(count(code, "GC_ID", c2), 1) << code;
  }
}

TEST_P(CommonRdaTest, DeletionsRollBackWhenAStatementFails) {
  int cmId = 0;
  const int ruleId = ruleWithLinks("A", cmId);
  const int gcId = common_->addGlobalCategory("C", "");
  ASSERT_GT(common_->addGlobalCategoryDefinition(gcId, "en", 1, "", 1, "", ""),
            0);
  // RUCMME comes after other tables in the rule and custom-metric
  // deletions, GCRUL in the global-category one.
  for (const char* code : {"RUCMME", "GCRUL"})
    ASSERT_TRUE(rda_->paramExec(
        "DROP TABLE " + rda_->getTableName(code, true, -1), nullptr, 0));

  EXPECT_FALSE(common_->deleteRuleLinks(ruleId));
  EXPECT_FALSE(common_->getErrorMessage().isEmpty());
  EXPECT_FALSE(common_->deleteRule(ruleId));
  for (const char* code : {"RULE", "RUFIME", "CMFMAP"})
    EXPECT_EQ(count(code, "RU_ID", ruleId), 1) << code;
  EXPECT_FALSE(common_->deleteCustomMetric(cmId));
  for (const char* code : {"CUSTM", "CMFLD", "CMFMAP"})
    EXPECT_EQ(count(code, "CM_ID", cmId), 1) << code;
  EXPECT_FALSE(common_->deleteGlobalCategory(gcId));
  EXPECT_EQ(count("GCATS", "GC_ID", gcId), 1);
  EXPECT_EQ(count("GCDEF", "GC_ID", gcId), 1);
}

INSTANTIATE_RDA_TARGETS(CommonRdaTest);

TEST(CommonRdaWithoutConnection, EveryOperationFailsAndSaysWhy) {
  LogCapture log;
  CommonRDAImpl* common = new CommonRDAImpl(nullptr);
  EXPECT_EQ(common->findRule(1, "", ""), nullptr);
  EXPECT_EQ(common->addRule("R", "", "", "", "", "", "", 0, "", ""), -1);
  EXPECT_FALSE(common->clearCustomMetric(1));
  EXPECT_FALSE(common->deleteCustomMetric(1));
  EXPECT_EQ(common->addGlobalCategory("G", ""), -1);
  EXPECT_FALSE(common->setKeyValue("k", "v"));
  EXPECT_TRUE(log.contains("Repository Data Access object is null", 5));
  common->release();
}

}  // namespace
