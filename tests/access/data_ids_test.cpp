// The ids that the writes of the common, metadata and exploration stores
// are given, on every back end: each id argument of each write, given an id
// that exists, one that does not, 0 and a negative one, is stored or
// refused with "<Kind> <id> does not exist" and its one record, storing
// nothing; links are stored once; a deleted rule leaves no row that names
// it in the tables of its own store and of monitoring. In the script mode
// the ids handed out follow the repository's stored counters.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "access/common_rdaimpl.h"
#include "access/explorer_rdaimpl.h"
#include "access/meta_rdaimpl.h"
#include "kvreposres/kvreposres.h"
#include "monitor/monitor_rdaimpl.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

using Rows = std::vector<std::string>;

// One id argument of one write: `write` is the write with that argument
// given and the others naming objects that exist. `kind` names the object
// in the refusal. Folder 0 is the root: `zero` is the answer to 0 when it
// is not the refusal of a missing object ("" when it is stored).
struct IdArgument {
  const char* what;
  const char* kind;
  std::function<bool(int)> write;
  int existing;
  const char* zero = nullptr;
};

class DataIdsTest : public RdaObjectTest<CommonRDAImpl> {
 protected:
  // Folders 1 "A" and 2 "B"; rules 1 and 2 in folder 1; custom metric 1;
  // global category 1; resources 1 and 2; data exploration 1; execution 5.
  void SetUp() override {
    RdaObjectTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    meta_ = new MetadataRDAImpl(rda_);
    explorer_ = new ExplorerRDAImpl(rda_);
    monitor_ = new MonitorRDAImpl(rda_);
    int id = 0;
    ASSERT_TRUE(meta_->addFolder(0, "A", id) && meta_->addFolder(0, "B", id));
    for (const char* name : {"R1", "R2"})
      ASSERT_GT(common_->addRule(name, "T", "", "", "", "me", "", 1, "", ""),
                0);
    ASSERT_EQ(common_->addCustomMetric("CM", "", "e", ""), 1);
    ASSERT_EQ(common_->addGlobalCategory("GC", ""), 1);
    ASSERT_TRUE(meta_->addResource("a", "t-a", "Table", id) &&
                meta_->addResource("b", "t-b", "Table", id));
    storeKeys("MPRJ", "PRJ_ID", {1});
    storeKeys("EXEC", "EX_ID", {5});
  }
  void TearDown() override {
    if (meta_) meta_->release();
    if (explorer_) explorer_->release();
    if (monitor_) monitor_->release();
    RdaObjectTest::TearDown();
  }

  // Every row of the tables that the writes change, the id counters
  // included (a refused add draws no id).
  Rows state() {
    Rows all;
    for (const char* code :
         {"RULE", "MFLD", "RUFIME", "RUCMME", "CMFMAP", "CUSTM", "CMFLD",
          "GCATS", "GCDEF", "GCFLD", "FOLDER", "IMPRCS", "IMPDEP", "MPRJ",
          "OBJLCK", "UCURID"}) {
      const Rows rows = cursorRows(
          db_->paramSelect("SELECT " + db_->getColumnList(code, nullptr) +
                               " FROM " + table(code).c_str() + " ORDER BY 1",
                           0));
      all.push_back(code);
      all.insert(all.end(), rows.begin(), rows.end());
    }
    return all;
  }
  // Expects `write` to answer false with `text`, as the error text and as
  // its one record (level 5), and to change no table.
  void expectRefused(const std::string& what, const std::function<bool()>& write,
                     const std::string& text) {
    const Rows before = state();
    bool answer = true;
    EXPECT_EQ(log_.failuresDuring([&] { answer = write(); }, true),
              Rows{"5 " + text})
        << what;
    EXPECT_FALSE(answer) << what;
    EXPECT_EQ(rda_->getErrorMessage().str(), text) << what;
    EXPECT_EQ(state(), before) << what;
  }
  // Each argument given an id that does not exist, 0 and -1, and then one
  // that exists.
  void expectIdsChecked(const std::vector<IdArgument>& arguments) {
    for (const IdArgument& a : arguments) {
      for (int id : {99999, 0, -1}) {
        const std::string what = std::string(a.what) + " " + std::to_string(id);
        const std::string missing =
            std::string(a.kind) + " " + std::to_string(id) + " does not exist";
        if (id == 0 && a.zero && !*a.zero)
          EXPECT_TRUE(a.write(0)) << what << ": " << rda_->getErrorMessage().str();
        else
          expectRefused(what, [&] { return a.write(id); },
                        id == 0 && a.zero ? a.zero : missing);
      }
      EXPECT_TRUE(a.write(a.existing))
          << a.what << ": " << rda_->getErrorMessage().str();
    }
  }

  CommonRDAImpl*& common_ = object_;
  MetadataRDAImpl* meta_ = nullptr;
  ExplorerRDAImpl* explorer_ = nullptr;
  MonitorRDAImpl* monitor_ = nullptr;
  LogCapture log_;  // keeps the expected failures off the console
};

std::string named(const char* base, int id) {
  return base + std::to_string(id + 1000000);
}

TEST_P(DataIdsTest, CommonWritesStoreOnlyIdsOfObjectsThatExist) {
  CommonRDAImpl* c = common_;
  expectIdsChecked({
      {"addRule's folder", "Folder",
       [=](int f) {
         return c->addRule(named("N", f).c_str(), "T", "", "", "", "me", "", f,
                           "", "") > 0;
       },
       2, ""},
      {"updateRule's rule", "Rule",
       [=](int r) {
         return c->updateRule(r, "R2", "T", "", "", "", "me", 1, 1, "me", "",
                              1, "", "");
       },
       2},
      {"updateRule's folder", "Folder",
       [=](int f) {
         return c->updateRule(2, "R2", "T", "", "", "", "me", 1, 1, "me", "",
                              f, "", "");
       },
       2, ""},
      {"addRuleField's rule", "Rule",
       [=](int r) { return c->addRuleField(r, "F", "d"); }, 1},
      {"addRuleCustomMetric's rule", "Rule",
       [=](int r) { return c->addRuleCustomMetric(r, 1, 1); }, 1},
      {"addRuleCustomMetric's custom metric", "Custom metric",
       [=](int m) { return c->addRuleCustomMetric(2, m, 1); }, 1},
      {"addCustomMetricFieldMap's rule", "Rule",
       [=](int r) {
         return c->addCustomMetricFieldMap(r, 1, 1, "F", "out", "O");
       },
       1},
      {"addCustomMetricFieldMap's custom metric", "Custom metric",
       [=](int m) {
         return c->addCustomMetricFieldMap(1, m, 1, "F", "in", "I");
       },
       1},
      {"addCustomMetricField's custom metric", "Custom metric",
       [=](int m) { return c->addCustomMetricField(m, "out", "O"); }, 1},
      {"updateCustomMetric's custom metric", "Custom metric",
       [=](int m) { return c->updateCustomMetric(m, "CM", "", "e", "", ""); },
       1},
      {"addGlobalCategoryDefinition's category", "Global category",
       [=](int g) {
         return c->addGlobalCategoryDefinition(g, "en", 3, "q", 4, "t", "d") >
                0;
       },
       1},
      {"addGlobalCategoryField's category", "Global category",
       [=](int g) {
         return c->addGlobalCategoryField(g, "d", "c", "s", "T", "F", true,
                                          "VARCHAR", 10, 1);
       },
       1},
      {"updateGlobalCategory's category", "Global category",
       [=](int g) { return c->updateGlobalCategory(g, "GC", "x"); }, 1},
  });
}

TEST_P(DataIdsTest, MetadataAndExplorationWritesStoreOnlyIdsThatExist) {
  MetadataRDAImpl* m = meta_;
  ExplorerRDAImpl* e = explorer_;
  expectIdsChecked({
      {"addFolder's parent", "Folder",
       [=](int f) {
         int id = 0;
         return m->addFolder(f, named("F", f).c_str(), id);
       },
       1, ""},
      {"renameFolder's folder", "Folder",
       [=](int f) { return m->renameFolder(f, "A2"); }, 1,
       "The root folder cannot be renamed"},
      {"moveFolder's folder", "Folder",
       [=](int f) { return m->moveFolder(f, 2); }, 1,
       "The root folder cannot be moved"},
      {"moveFolder's new parent", "Folder",
       [=](int f) { return m->moveFolder(1, f); }, 2, ""},
      {"moveObjectToFolder's object", "Rule",
       [=](int r) {
         KvbString error;
         return m->moveObjectToFolder(r, "Rule", 2, error);
       },
       1},
      {"moveObjectToFolder's folder", "Folder",
       [=](int f) {
         KvbString error;
         return m->moveObjectToFolder(1, "Rule", f, error);
       },
       2, ""},
      {"setResourceAccessDate's resource", "Resource",
       [=](int r) { return m->setResourceAccessDate(r, 2.0); }, 1},
      {"addResourceDependency's used resource", "Resource",
       [=](int r) { return m->addResourceDependency(r, 2); }, 1},
      {"addResourceDependency's user", "Resource",
       [=](int r) { return m->addResourceDependency(1, r); }, 2},
      {"updateProject's exploration", "Data exploration",
       [=](int p) { return e->updateProject(p, "P", ""); }, 1},
  });
  // A lock names its object unchecked, as the interface says.
  EXPECT_TRUE(m->lockObject(99999, "Rule", "me", "u"));
}

// Deletes of what is not there change nothing and log nothing.
TEST_P(DataIdsTest, DeletesOfMissingObjectsAreNoFailure) {
  KvbString error;
  const std::function<bool()> deletes[] = {
      [&] { return common_->deleteRule(99999); },
      [&] { return common_->deleteRuleLinks(99999); },
      [&] { return common_->deleteGlobalCategory(99999); },
      [&] { return meta_->deleteFolder(99999, error); },
      [&] { return meta_->deleteResourceDependency(1, 99999); },
      [&] { return explorer_->deleteProject(99999); },
  };
  const Rows before = state();
  for (const auto& remove : deletes)
    EXPECT_EQ(log_.failuresDuring([&] { EXPECT_TRUE(remove()); }), Rows{});
  EXPECT_EQ(state(), before);
}

// A second add of a link stores nothing: it is answered by the stored link,
// or refused where it would give the link a second position.
TEST_P(DataIdsTest, LinksAreStoredOnce) {
  const struct {
    const char* what;
    std::function<bool()> add;
    const char* table;
  } links[] = {
      {"rule field", [&] { return common_->addRuleField(1, "F", "d"); },
       "RUFIME"},
      {"field mapping",
       [&] { return common_->addCustomMetricFieldMap(1, 1, 1, "F", "o", "O"); },
       "CMFMAP"},
      {"category field",
       [&] {
         return common_->addGlobalCategoryField(1, "d", "c", "s", "T", "F",
                                                false, "INT", 4, 2);
       },
       "GCFLD"},
      {"category definition",
       [&] {
         return common_->addGlobalCategoryDefinition(1, "en", 3, "q", 4, "t",
                                                     "d") == 1;
       },
       "GCDEF"},
      {"resource dependency",
       [&] { return meta_->addResourceDependency(1, 2); }, "IMPDEP"},
  };
  for (const auto& link : links) {
    EXPECT_TRUE(link.add()) << link.what;
    EXPECT_EQ(log_.failuresDuring([&] { EXPECT_TRUE(link.add()) << link.what; }),
              Rows{});
    EXPECT_EQ(count(link.table), 1) << link.what;
  }
  ASSERT_TRUE(common_->addRuleCustomMetric(1, 1, 1));
  expectRefused("custom metric of a rule",
                [&] { return common_->addRuleCustomMetric(1, 1, 2); },
                "Cannot link custom metric 1 to rule 1 again: " +
                    kvb_get_message("t", 0, "Monitor Admin", 1356).str());
}

// The rows of monitoring and of global categories that name a rule go with
// it; another rule's stay.
TEST_P(DataIdsTest, ADeletedRuleLeavesNoExecutionRowNamingIt) {
  for (int rule : {1, 2}) {
    ASSERT_TRUE(monitor_->setExecutionProperty(5, rule, "S", "x", true));
    exec("INSERT INTO " + table("TRIG") + " (EX_ID, RU_ID, TR_CNT) VALUES "
         "(5, ?, 3)", {rule});
    exec("INSERT INTO " + table("GCRUL") + " (GC_ID, RU_ID) VALUES (1, ?)",
         {rule});
  }
  ASSERT_TRUE(common_->deleteRule(1));
  for (const char* code : {"EXPROP", "TRIG", "GCRUL"})
    EXPECT_EQ(std::to_string(count(code, "RU_ID=1")) +
                  std::to_string(count(code, "RU_ID=2")),
              "01")
        << code;
}

// A name or field with a NUL byte is named by the column it would be
// written to, where the database refuses it, in one record also where a
// failed statement ends the transaction; SQLite stores it.
TEST_P(DataIdsTest, ANulByteInALinkedNameIsNamedByItsColumn) {
  const KvbString nul(std::string("a\0b", 3));
  const std::string held = " holds a NUL byte, which PostgreSQL cannot store";
  const struct {
    std::function<bool()> add;
    std::string text;
  } cases[] = {
      {[&] { return common_->addRuleField(1, nul, ""); },
       "The value of column FI_NAME of table MFLD" + held},
      {[&] {
         return common_->addGlobalCategoryField(1, "d", "c", "s", "T", nul,
                                                true, "", 0, 0);
       },
       "The value of column MAP_FLD of table GCFLD" + held},
      {[&] {
         return common_->addGlobalCategoryDefinition(1, nul, 3, "q", 4, "t",
                                                     "d") > 0;
       },
       "The value of column DEF_LOC of table GCDEF" + held},
      {[&] { return common_->addCustomMetricField(1, nul, "O"); },
       "The value of column CM_FLDNM of table CMFLD" + held},
  };
  for (const auto& c : cases) {
    if (isPostgres())
      expectRefused(c.text, c.add, c.text);
    else
      EXPECT_TRUE(c.add()) << rda_->getErrorMessage().str();
  }
}

// While a DDL callback takes the statements, an add draws the id after
// its counter's stored value and writes the counter's new value into the
// script by an UPDATE of its row; a counter that the repository lacks
// starts at 1 by an INSERT. Nothing reaches the database.
TEST_P(DataIdsTest, ScriptIdsFollowTheStoredCounters) {
  struct Script : ReposDDLCallback {
    bool writeStatement(const KvbString& text) override {
      texts.push_back(text.str());
      return true;
    }
    Rows texts;
  };
  const std::string ucurid = table("UCURID");
  const auto raised = [&](const char* counter, int value) {
    return "UPDATE " + ucurid + " SET NI_VAL = " + std::to_string(value) +
           " WHERE NI_KEY = '" + counter + "'";
  };
  const auto created = [&](const char* counter, int value) {
    return "INSERT INTO " + ucurid + " (NI_KEY, NI_VAL) VALUES ('" + counter +
           "', " + std::to_string(value) + ")";
  };
  const struct {
    const char* what;
    std::function<int()> add;  // the id handed out; -1
    int id;
    std::string counterStatement;
  } cases[] = {
      {"rule",
       [&] {
         return common_->addRule("R3", "T", "", "", "", "me", "", 1, "", "");
       },
       3, raised("RULE", 3)},
      {"folder",
       [&] {
         int id = -1;
         return meta_->addFolder(0, "C", id) ? id : -1;
       },
       3, raised("FOLDER", 3)},
      {"custom metric",
       [&] { return common_->addCustomMetric("CM2", "", "e", ""); }, 2,
       raised("CUSTM", 2)},
      {"source",
       [&] {
         int id = -1;
         return monitor_->addSource("S", "u-s", "me", 1, &id) ? id : -1;
       },
       1, created("EXSRC", 1)},
  };
  const Rows before = state();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Script script;
    ASSERT_TRUE(rda_->setDDLCallback(&script));
    const int id = c.add();
    ASSERT_TRUE(rda_->setDDLCallback(nullptr));
    EXPECT_EQ(id, c.id) << rda_->getErrorMessage().str();
    Rows counted;
    for (const std::string& text : script.texts)
      if (text.find(ucurid) != std::string::npos) counted.push_back(text);
    EXPECT_EQ(counted, Rows{c.counterStatement});
    EXPECT_EQ(state(), before);
    EXPECT_EQ(count("EXSRC"), 0);
  }
}

INSTANTIATE_RDA_TARGETS(DataIdsTest);

}  // namespace
