// The shared base of the data-access objects: refusals without a connection
// (for every data-access object), cursor copies, object and folder paths,
// first rows, transactions and filters.
#include "access/base_rdaimpl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "access/object_types.h"
#include "access/sql_statement.h"
#include "rda/repos_data_cursor.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

using Rows = std::vector<std::string>;

// The smallest data-access object: the shared operations and the helpers.
class ProbeAccess : public ReposDataAccessObject {};
class Probe : public RDA_Object<ProbeAccess> {
 public:
  explicit Probe(ReposDataAccess* rda) : RDA_Object(rda) {}
  using BaseRDAImpl::addFiled, BaseRDAImpl::addNumbered,
      BaseRDAImpl::deleteRows, BaseRDAImpl::find, BaseRDAImpl::exists,
      BaseRDAImpl::firstRow, BaseRDAImpl::insert, BaseRDAImpl::insertUnless,
      BaseRDAImpl::lookup, BaseRDAImpl::nextId, BaseRDAImpl::query,
      BaseRDAImpl::rowsWhere, BaseRDAImpl::run, BaseRDAImpl::runFiled,
      BaseRDAImpl::runKept, BaseRDAImpl::selectAll, BaseRDAImpl::table,
      BaseRDAImpl::transaction, BaseRDAImpl::insertNaming,
      BaseRDAImpl::objectExists, BaseRDAImpl::takeRow;
  using FindKeys = BaseRDAImpl::FindKeys;
  using ObjectRow = BaseRDAImpl::ObjectRow;
  using IfPresent = BaseRDAImpl::IfPresent;
  using StatementKey = BaseRDAImpl::StatementKey;
};

// Rows ID 1..3, NAME "row1".."row3", with an error instead of row `fail`
// (none when 0); tells when it is released.
struct ScriptedCursor : ReposDataCursor {
  ScriptedCursor(int failAt, bool* gone)
      : ReposDataCursor({"ID", "NAME"}), fail(failAt), released(gone) {
    for (int r = 1; r <= 3; ++r)
      addRow() = {r, ("row" + std::to_string(r)).c_str()};
    rewind();
  }
  ~ScriptedCursor() override { *released = true; }
  int next() override { return ++row == fail ? 2 : ReposDataCursor::next(); }
  int fail;
  bool* released;
  int row = 0;
};

int errorsWith(const LogCapture& log, const std::string& text) {
  int n = 0;
  for (const CapturedLog& r : log.records())
    n += r.level == 5 && r.logger == "KV.Repos.ReposAdmin.BaseRDA" &&
         r.text == text;
  return n;
}

// Every operation of every data-access object starts with ready() or a
// helper that checks it, and table() and selectAll() need no connection:
// an operation that forgot its check still fails cleanly.
TEST(BaseRDAImplNoConnection, EveryOperationLogsAndRefuses) {
  LogCapture log;
  Probe* probe = new Probe(nullptr);
  // The shared operations log message 1161.
  EXPECT_FALSE(probe->beginTransaction(0, 0));
  EXPECT_FALSE(probe->endTransaction(true));
  EXPECT_FALSE(probe->setDDLCallback(nullptr));
  EXPECT_EQ(errorsWith(log, libraryMessage(1161)), 3);
  EXPECT_FALSE(probe->getErrorMessage().isEmpty());
  // The helpers log the null object; a transaction body is not run.
  const std::string nullText = "Repository Data Access object is null";
  int id = 0;
  bool ran = false;
  EXPECT_EQ(probe->table("FOLDER").str() + probe->selectAll("FOLDER").str(),
            "SELECT * FROM ");
  EXPECT_EQ(probe->query("SELECT 1", {}), nullptr);
  EXPECT_FALSE(probe->run("DELETE FROM x", {}));
  EXPECT_EQ(probe->lookup("SELECT 1", {}, &id), -1);
  EXPECT_FALSE(probe->nextId("FOLDER", id));
  EXPECT_FALSE(probe->transaction([&] { return ran = true; }));
  EXPECT_FALSE(ran);
  EXPECT_FALSE(probe->insertUnless(Probe::IfPresent::kRefuse, "refused", "MFLD",
                                   {{"FI_NAME", "a"}}, {{"FI_NAME", "a"}}));
  EXPECT_EQ(probe->rowsWhere("MFLD", nullptr, {}), nullptr);
  EXPECT_EQ(probe->exists("MFLD", "FI_NAME=?", {"a"}), -1);
  EXPECT_EQ(probe->addNumbered("GCATS", "GCATS", "GC_ID", {{"GCNAME", "a"}}),
            -1);
  EXPECT_FALSE(probe->deleteRows({"RULE"}, "RU_ID", 1));
  EXPECT_EQ(probe->find({"RULE", "RU_ID", "RU_UUID", "RU_DESC", true, "rule"},
                        1, "", ""),
            nullptr);
  const Probe::ObjectRow rule = {"RULE", "RU_ID", 1, "rule"};
  EXPECT_FALSE(probe->insertNaming(Probe::IfPresent::kSucceed, "refused",
                                   "MFLD", {}, {{"FI_NAME", "a"}}, {rule}));
  EXPECT_FALSE(probe->objectExists(rule));
  EXPECT_FALSE(probe->takeRow(rule));
  EXPECT_EQ(errorsWith(log, nullText), 14);
  KvbString path, top, uuid, folderError, objectError;
  EXPECT_FALSE(probe->getFolderPath(1, path, top, folderError) ||
               probe->getObjectPath(1, "Task", path, uuid, objectError));
  EXPECT_EQ(folderError.str() + objectError.str(), nullText + nullText);
  probe->release();
}

TEST(BaseRDAImplCacheCursor, CopiesAllRowsOrTheLimitOrNothing) {
  LogCapture log;
  Probe probe(nullptr);
  const struct {
    int failAt;
    uint64_t limit;
    std::vector<std::string> rows;
  } cases[] = {{0, 0, {"1|row1", "2|row2", "3|row3"}},
               {3, 2, {"1|row1", "2|row2"}},  // the limit comes first
               {3, 0, {}}};  // stops part-way: no copy, the failure logged
  for (const auto& c : cases) {
    bool released = false;
    ReposDataAccessCursor* copy =
        probe.cacheCursor(new ScriptedCursor(c.failAt, &released), c.limit);
    EXPECT_TRUE(released) << "the source must not leak";
    ASSERT_EQ(copy == nullptr, c.rows.empty()) << c.failAt << "/" << c.limit;
    EXPECT_EQ(log.contains("", 5), c.rows.empty());
    if (!copy) continue;
    EXPECT_EQ(copy->getColName(1).str(), "NAME");
    std::vector<std::string> rows;
    while (copy->next() == 1)
      rows.push_back(copy->getString(0).str() + "|" + copy->getString(1).str());
    copy->release();
    EXPECT_EQ(rows, c.rows);
  }
  EXPECT_EQ(probe.cacheCursor(nullptr, 0), nullptr);
  EXPECT_EQ(errorsWith(log, libraryMessage(1161)), 1);
}

TEST(BaseRDAImplHelpers, StatementJoinsConditionsWithWhereThenAnd) {
  SqlStatement filter(KvbString("SELECT X FROM T"));
  EXPECT_EQ(filter.sql().str(), "SELECT X FROM T") << "no condition, no WHERE";
  filter.where("a=?", 1);
  filter.where("b=?", "text");
  EXPECT_EQ(filter.sql().str(), "SELECT X FROM T WHERE a=? AND b=?");
  const QueryParamList& values = filter.params();
  ASSERT_EQ(values.size(), 2u);
  EXPECT_TRUE(values[0].value.asInt() == 1 &&
              values[1].value.asString() == "text");
  EXPECT_FALSE(getOSUserName().isNull()) << "the user is a text, maybe empty";
}

class BaseRDAImplTest : public RdaObjectTest<Probe> {
 protected:
  Probe*& probe_ = object_;
  void addFolder(int id, const char* name, int parent) {
    exec("INSERT INTO " + table("FOLDER") +
             " (FLDR_ID, FLDR_NAM, FLDR_PAR) VALUES (?,?,?)",
         {id, name, parent});
  }
};

TEST_P(BaseRDAImplTest, ObjectPathsWalkUpTheFoldersToTheRoot) {
  // Folders Top/Mid (1, 2) and a cycle 10 <-> 11; a task in Mid, profile
  // jobs in the root and in the cycle. (The metadata tests read more paths.)
  addFolder(1, "Top", 0);
  addFolder(2, "Mid", 1);
  addFolder(10, "Loop A", 11);
  addFolder(11, "Loop B", 10);
  exec("INSERT INTO " + table("MJOB") +
           " (JB_ID, JB_DESC, FLDR_ID, JB_CODE) VALUES (?,?,?,?)",
       {5, "Nightly check", 2, "task-code-5"});
  exec("INSERT INTO " + table("JSETUP") +
           " (SU_ID, SU_NAME, FLDR_ID, SU_UUID) VALUES (?,?,?,?)",
       {7, "Profile of customers", 0, "job-uuid-7"});
  exec("INSERT INTO " + table("JSETUP") +
           " (SU_ID, SU_NAME, FLDR_ID) VALUES (?,?,?)",
       {8, "Lost", 10});
  auto objectPath = [&](int id, const char* type) {
    KvbString path, uuid, error;
    if (!probe_->getObjectPath(id, type, path, uuid, error))
      return "refused: " + error.str();
    return path.str() + "|" + uuid.str();
  };
  EXPECT_EQ(objectPath(5, "Task"), "Top/Mid/Nightly check|task-code-5");
  EXPECT_EQ(objectPath(7, "ProfileJob"), "Profile of customers|job-uuid-7")
      << "the root adds no folder";
  EXPECT_EQ(objectPath(5, "Nothing"), "refused: Unable to find type: Nothing");
  EXPECT_EQ(objectPath(6, "Task").substr(0, 9), "refused: ");
  EXPECT_EQ(objectPath(8, "ProfileJob").substr(0, 9), "refused: ")
      << "an object filed in a cycle of folders has no path";
  for (int id : {99, 10}) {  // missing; in a cycle, whose walk must end
    KvbString path, top, error;
    EXPECT_FALSE(probe_->getFolderPath(id, path, top, error)) << id;
    EXPECT_FALSE(error.isEmpty()) << "no reason for " << id;
  }
}

// Every registered type finds its object in its own table, by its own id,
// name, folder and UUID columns: one object of each, all with id 3, filed
// in one folder.
TEST_P(BaseRDAImplTest, EachObjectTypeHasAPathFromItsOwnTable) {
  addFolder(1, "Top", 0);
  const struct {
    const char *type, *code, *columns;
  } objects[] = {
      {"DataExploration", "MPRJ", "PRJ_ID, PRJ_NM, FLDR_ID, PRJ_UUID"},
      {"ProfileJob", "JSETUP", "SU_ID, SU_NAME, FLDR_ID, SU_UUID"},
      {"Rule", "RULE", "RU_ID, RU_DESC, FLDR_ID, RU_UUID"},
      {"Task", "MJOB", "JB_ID, JB_DESC, FLDR_ID, JB_CODE"},
      {"Source", "EXSRC", "ES_ID, ES_NAME, FLDR_ID, ES_UUID"},
      {"Dimension", "DIMENS", "DIM_ID, DIM_NAME, FLDR_ID, UUID"},
      {"Dashboard", "RPTGRP", "GRP_ID, GRP_NAME, FLDR_ID, UUID"},
      {"Threshold", "THRHLD", "THR_ID, THR_NAME, FLDR_ID, UUID"},
  };
  for (const auto& o : objects)
    exec("INSERT INTO " + table(o.code) + " (" + o.columns +
             ") VALUES (?,?,?,?)",
         {3, KvbString("A ") + o.type, 1, KvbString("u-") + o.type});
  for (const auto& o : objects) {
    // The registry names the same columns under its keys.
    const ReposObjectType* type = findObjectType(o.type);
    ASSERT_NE(type, nullptr) << o.type;
    std::string keyed;
    for (const char* key : {"Id", "Name", "FolderId", "UUID"})
      keyed += (keyed.empty() ? "" : ", ") + std::string(type->column(key));
    EXPECT_EQ(keyed, o.columns);
    EXPECT_EQ(type->column("Nothing"), nullptr);
    KvbString path, uuid, error;
    EXPECT_TRUE(probe_->getObjectPath(3, o.type, path, uuid, error))
        << o.type << ": " << error.str();
    EXPECT_EQ(path.str() + "|" + uuid.str(),
              std::string("Top/A ") + o.type + "|u-" + o.type);
  }
}

TEST_P(BaseRDAImplTest, FirstRowAnswersFoundMissingOrFailed) {
  LogCapture log;
  addFolder(1, "Top", 0);
  const KvbString sql =
      "SELECT FLDR_NAM FROM " + probe_->table("FOLDER") + " WHERE FLDR_ID=?";
  std::string read = "unread";
  auto readName = [&](ReposDataAccessCursor& row) {
    read = row.getString(0).str();
  };
  EXPECT_EQ(probe_->firstRow(sql, {2}, readName), 0);
  EXPECT_EQ(read, "unread") << "nothing to read without a row";
  EXPECT_EQ(probe_->firstRow(sql, {1}, readName), 1);
  EXPECT_EQ(read, "Top");
  EXPECT_EQ(probe_->firstRow("SELECT NO_SUCH FROM " + probe_->table("FOLDER"),
                             {}, readName),
            -1);
  EXPECT_TRUE(log.contains("", 5));
}

// A lookup by id or UUID that fails is tried once more by name. When that
// finds nothing, the answer is the failure with the database's reason: an
// empty cursor would tell the caller that the object does not exist.
TEST_P(BaseRDAImplTest, FailedLookupIsRetriedByNameOrKeepsItsReason) {
  LogCapture log;
  addFolder(1, "Top", 0);
  const Rows top = rows(
      probe_->query(probe_->selectAll("FOLDER") + " WHERE FLDR_ID=?", {1}));
  ASSERT_EQ(top.size(), 1u);
  // Lookups by columns that the table lacks fail on every back end.
  const Probe::FindKeys broken{"FOLDER",   "NO_ID", "NO_UUID",
                               "FLDR_NAM", true,    "folder"};
  EXPECT_EQ(rows(probe_->find(broken, 1, "Top", "")), top);
  EXPECT_EQ(rows(probe_->find(broken, 0, "Top", "u-1")), top);
  struct {
    int id;
    const char* uuid;
    std::string column;
  } failing[] = {{1, "", "NO_ID"}, {0, "u-1", "NO_UUID"}};
  for (const auto& lookup : failing) {
    ReposDataAccessCursor* found =
        probe_->find(broken, lookup.id, "Missing", lookup.uuid);
    EXPECT_EQ(found, nullptr) << lookup.column << ": found nothing";
    rows(found);  // released
    std::string reason = probe_->getErrorMessage().str();
    std::transform(reason.begin(), reason.end(), reason.begin(), ::toupper);
    EXPECT_NE(reason.find(lookup.column), std::string::npos)
        << lookup.column << ": " << probe_->getErrorMessage().str();
  }
}

// An object is filed only into a folder that exists; the root, 0, always
// does. A negative id names no folder: the add or the update is refused
// with the folder's number, nothing is stored and no id is drawn.
TEST_P(BaseRDAImplTest, ObjectsAreFiledOnlyIntoFoldersThatExist) {
  LogCapture log;
  addFolder(4, "Top", 0);
  auto file = [&](int folder, const char* name) {
    return probe_->addFiled(folder, "JSETUP", "JSETUP", "SU_ID",
                            {{"SU_NAME", name}, {"FLDR_ID", folder}},
                            {{"SU_NAME", name}}, "taken");
  };
  EXPECT_EQ(file(-5, "lost"), -1);
  EXPECT_EQ(probe_->getErrorMessage().str(), "Folder -5 does not exist");
  EXPECT_EQ(file(0, "root"), 1) << probe_->getErrorMessage().str();
  EXPECT_EQ(file(4, "top"), 2) << probe_->getErrorMessage().str();
  EXPECT_FALSE(probe_->runFiled(
      -5, "UPDATE " + probe_->table("JSETUP") + " SET FLDR_ID=? WHERE SU_ID=?",
      {-5, 1}));
  EXPECT_EQ(probe_->getErrorMessage().str(), "Folder -5 does not exist");
  EXPECT_EQ(
      sortedRows(rows(probe_->query(
          "SELECT SU_ID, SU_NAME, FLDR_ID FROM " + probe_->table("JSETUP"),
          {}))),
      (Rows{"1|root|0", "2|top|4"}));
}

TEST_P(BaseRDAImplTest, TransactionsCommitOrLeaveNothing) {
  LogCapture log;
  // A body that fails is rolled back whole and its failure kept.
  EXPECT_FALSE(probe_->transaction([&] {
    addFolder(1, "kept only on success", 0);
    return probe_->run("INSERT INTO " + probe_->table("FOLDER") +
                           " (NO_SUCH_COLUMN) VALUES (?)",
                       {1});
  }));
  EXPECT_FALSE(probe_->getErrorMessage().isEmpty());
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(count("FOLDER"), 0);
  EXPECT_TRUE(probe_->transaction([&] {
    addFolder(1, "committed", 0);
    return true;
  }));
  EXPECT_EQ(count("FOLDER"), 1);
  // The shared operations reach the connection's nested transactions.
  ASSERT_TRUE(probe_->beginTransaction(0, 0));
  addFolder(2, "rolled back", 0);
  EXPECT_TRUE(probe_->endTransaction(false));
  EXPECT_EQ(count("FOLDER"), 1);
}

// The statements that an object keeps for its repeated writes are told
// apart by every part of their texts, also by a caller's text whose buffer
// is reused; they survive the object's limit on kept statements, and give
// way to the script while a DDL callback is installed.
TEST_P(BaseRDAImplTest, KeptStatementsRunTheTextTheyWereKeptFor) {
  const auto folders = [&] {
    return sortedRows(rows(probe_->query(
        "SELECT FLDR_ID, FLDR_NAM, FLDR_PAR FROM " + probe_->table("FOLDER"),
        {})));
  };
  std::string column = "FLDR_NAM";
  ASSERT_TRUE(
      probe_->insert("FOLDER", {{"FLDR_ID", 1}, {column.c_str(), "one"}}));
  column.replace(column.size() - 3, 3, "PAR");  // the same buffer
  ASSERT_TRUE(probe_->insert("FOLDER", {{"FLDR_ID", 2}, {column.c_str(), 7}}));
  ASSERT_TRUE(
      probe_->insert("FOLDER", {{"FLDR_ID", 3}, {"FLDR_NAM", "three"}}));
  EXPECT_EQ(folders(), (Rows{"1|one|", "2||7", "3|three|"}));
  // The same column in two tables.
  ASSERT_TRUE(probe_->insert("JSETUP", {{"SU_ID", 9}, {"FLDR_ID", 3}}));
  ASSERT_TRUE(probe_->deleteRows({"JSETUP", "FOLDER"}, "FLDR_ID", 3));
  EXPECT_EQ(count("JSETUP") + count("FOLDER"), 2);
  // The same columns in two tables.
  const SqlFields setting = {
      {"FLD_ID", 1}, {"DSN_ID", 2}, {"TBL_ID", 3}, {"SU_ID", 4}};
  ASSERT_TRUE(probe_->insert("JFLDME", setting));
  ASSERT_TRUE(probe_->insert("JFLDPR", setting));
  EXPECT_EQ(count("JFLDME"), 1);
  EXPECT_EQ(count("JFLDPR"), 1);

  // More keys than the object keeps, then the first again; the same text
  // under another verb is another statement.
  const auto rename = [&](int key, const char* verb = "RENAME") {
    const std::string text = std::to_string(key), name = verb + text;
    return probe_->runKept({verb, "FOLDER", text.c_str(), 1},
                           [&](const Probe::StatementKey&) {
                             return "UPDATE " + probe_->table("FOLDER") +
                                    " SET FLDR_NAM='" + name +
                                    "' WHERE FLDR_ID=?";
                           },
                           {1});
  };
  for (int key = 0; key < 40; ++key) ASSERT_TRUE(rename(key)) << key;
  EXPECT_EQ(folders().front(), "1|RENAME39|");
  ASSERT_TRUE(rename(0));
  EXPECT_EQ(folders().front(), "1|RENAME0|");
  ASSERT_TRUE(rename(0, "RETYPE"));
  EXPECT_EQ(folders().front(), "1|RETYPE0|");

  struct Script : ReposDDLCallback {
    bool writeStatement(const KvbString& text) override {
      texts.push_back(text.str());
      return true;
    }
    Rows texts;
  } script;
  ASSERT_TRUE(probe_->setDDLCallback(&script));
  EXPECT_TRUE(
      probe_->insert("FOLDER", {{"FLDR_ID", 4}, {"FLDR_NAM", "scripted"}}));
  // A numbered row reaches the script with its id in front.
  EXPECT_EQ(probe_->addNumbered("FOLDER", "FOLDER", "FLDR_ID",
                                {{"FLDR_NAM", "counted"}}),
            1);
  ASSERT_TRUE(probe_->setDDLCallback(nullptr));
  const std::string insert = "INSERT INTO " + probe_->table("FOLDER").str();
  ASSERT_FALSE(script.texts.empty());
  EXPECT_EQ(script.texts.front(),
            insert + " (FLDR_ID, FLDR_NAM) VALUES (4, 'scripted')");
  EXPECT_EQ(script.texts.back(),
            insert + " (FLDR_ID, FLDR_NAM) VALUES (1, 'counted')");
  // The kept statement of the same columns takes a drawn id first.
  ASSERT_TRUE(probe_->run("DELETE FROM " + probe_->table("FOLDER"), {}));
  const int id = probe_->addNumbered("FOLDER", "FOLDER", "FLDR_ID",
                                     {{"FLDR_NAM", "numbered"}});
  ASSERT_GT(id, 0);
  EXPECT_TRUE(
      probe_->insert("FOLDER", {{"FLDR_ID", id + 1}, {"FLDR_NAM", "stored"}}));
  Rows stored{std::to_string(id) + "|numbered|",
              std::to_string(id + 1) + "|stored|"};
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(folders(), stored) << "the scripted rows are not stored";
}

// A row's values go to the columns they are named with, in any order: the
// statement kept for one order is not taken for another. A duplicate is
// found by every one of its keys, a key that is an expression too.
TEST_P(BaseRDAImplTest, RowsAndKeysArePairedByColumnName) {
  const auto folders = [&] {
    return sortedRows(rows(probe_->query(
        "SELECT FLDR_ID, FLDR_NAM, FLDR_PAR FROM " + probe_->table("FOLDER"),
        {})));
  };
  ASSERT_TRUE(probe_->insert("FOLDER", {{"FLDR_ID", 11}, {"FLDR_NAM", "one"}}));
  ASSERT_TRUE(probe_->insert("FOLDER", {{"FLDR_NAM", "two"}, {"FLDR_ID", 12}}));
  ASSERT_TRUE(probe_->insert("FOLDER", {{"FLDR_ID", 13}, {"FLDR_PAR", 1}}));
  EXPECT_EQ(folders(), (Rows{"11|one|", "12|two|", "13||1"}));

  const SqlFields one = {{"FLDR_NAM", "one"}, {"COALESCE(FLDR_PAR, 0)", 0}};
  EXPECT_EQ(probe_->addNumbered("FOLDER", "FOLDER", "FLDR_ID",
                                {{"FLDR_NAM", "one"}}, one),
            11);
  EXPECT_EQ(probe_->addNumbered("FOLDER", "FOLDER", "FLDR_ID",
                                {{"FLDR_NAM", "one"}}, one, "one exists"),
            -1);
  EXPECT_EQ(probe_->getErrorMessage().str(), "one exists");
  // One key that differs is another row.
  const int id = probe_->addNumbered(
      "FOLDER", "FOLDER", "FLDR_ID", {{"FLDR_NAM", "one"}, {"FLDR_PAR", 3}},
      {{"FLDR_NAM", "one"}, {"COALESCE(FLDR_PAR, 0)", 3}}, "one exists");
  ASSERT_GT(id, 0);

  const SqlFields three = {{"FLDR_ID", 13}, {"FLDR_PAR", 1}};
  EXPECT_TRUE(probe_->insertUnless(Probe::IfPresent::kSucceed, "", "FOLDER",
                                   three, three));
  EXPECT_FALSE(probe_->insertUnless(Probe::IfPresent::kRefuse, "three exists",
                                    "FOLDER", {{"FLDR_PAR", 1}}, three));
  EXPECT_EQ(probe_->getErrorMessage().str(), "three exists");
  EXPECT_TRUE(probe_->insertUnless(Probe::IfPresent::kRefuse, "", "FOLDER",
                                   {{"FLDR_ID", 15}, {"FLDR_PAR", 1}},
                                   {{"FLDR_ID", 15}, {"FLDR_PAR", 1}}));
  Rows all{"11|one|", "12|two|", "13||1", "15||1",
           std::to_string(id) + "|one|3"};
  std::sort(all.begin(), all.end());
  EXPECT_EQ(folders(), all);
}

INSTANTIATE_RDA_TARGETS(BaseRDAImplTest);

}  // namespace
