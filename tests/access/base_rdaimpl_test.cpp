// The shared base of the data-access objects: the guards without a
// connection, the in-memory copy of cursors, folder and object paths,
// transactions and optional filters.
#include "access/base_rdaimpl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

// The smallest data-access object: the shared operations and the helpers.
class ProbeAccess : public ReposDataAccessObject {};

class Probe : public RDA_Object<ProbeAccess> {
 public:
  explicit Probe(ReposDataAccess* rda) : RDA_Object(rda) {}
  using BaseRDAImpl::nextId;
  using BaseRDAImpl::query;
  using BaseRDAImpl::run;
  using BaseRDAImpl::lookup;
  using BaseRDAImpl::table;
  using BaseRDAImpl::transaction;
};

// A cursor of three rows (ID 1..3, NAME "row1".."row3") that reports an
// error instead of row `failAt` (never when 0) and tells when it is
// released.
class ScriptedCursor : public ReposDataAccessCursor {
 public:
  ScriptedCursor(int failAt, bool* released)
      : failAt_(failAt), released_(released) {}
  int next() override {
    ++row_;
    return row_ == failAt_ ? 2 : row_ <= 3 ? 1 : 0;
  }
  int getNumCols() override { return 2; }
  KvbString getColName(int column) override {
    return column == 0 ? "ID" : "NAME";
  }
  KvbString getString(int column) override {
    return getValue(column).asString();
  }
  int getInt(int column) override { return column == 0 ? row_ : 0; }
  double getDouble(int column) override { return getInt(column); }
  KvbDatavar getValue(int column) override {
    return column == 0 ? KvbDatavar(row_)
                       : KvbDatavar(("row" + std::to_string(row_)).c_str());
  }
  bool isNull(int) override { return false; }
  bool cacheAll() override { return true; }
  void release() override {
    *released_ = true;
    delete this;
  }
  int getColumnIndex(const KvbString& name) override {
    return name == "ID" ? 0 : name == "NAME" ? 1 : -1;
  }

 private:
  int failAt_;
  bool* released_;
  int row_ = 0;
};

// The rows of a cursor, columns joined by "|"; the cursor is released.
std::vector<std::string> texts(ReposDataAccessCursor* cursor) {
  std::vector<std::string> out;
  if (!cursor) return out;
  while (cursor->next() == 1)
    out.push_back(cursor->getString(0).str() + "|" +
                  cursor->getString(1).str());
  cursor->release();
  return out;
}

int errorsWith(const LogCapture& log, const std::string& text) {
  int n = 0;
  for (const CapturedLog& r : log.records())
    n += r.level == 5 && r.logger == "KV.Repos.ReposAdmin.BaseRDA" &&
         r.text == text;
  return n;
}

std::string message1161() {
  return kvb_get_message("test", __LINE__, "Repository Library", 1161).str();
}

// --- Without a connection -------------------------------------------------

TEST(BaseRDAImplNoConnection, SharedOperationsLogMessage1161AndRefuse) {
  LogCapture log;
  Probe* probe = new Probe(nullptr);
  EXPECT_FALSE(probe->beginTransaction(0, 0));
  EXPECT_FALSE(probe->endTransaction(true));
  EXPECT_FALSE(probe->setDDLCallback(nullptr));
  EXPECT_EQ(errorsWith(log, message1161()), 3);
  EXPECT_FALSE(probe->getErrorMessage().isEmpty());
  probe->release();
}

TEST(BaseRDAImplNoConnection, DataOperationsLogTheNullObject) {
  LogCapture log;
  Probe probe(nullptr);
  int id = 0;
  EXPECT_EQ(probe.query("SELECT 1", {}), nullptr);
  EXPECT_FALSE(probe.run("DELETE FROM x", {}));
  EXPECT_EQ(probe.lookup("SELECT 1", {}, &id), -1);
  EXPECT_FALSE(probe.nextId("FOLDER", id));
  bool ran = false;
  EXPECT_FALSE(probe.transaction([&] { return ran = true; }));
  EXPECT_FALSE(ran);
  EXPECT_EQ(errorsWith(log, "Repository Data Access object is null"), 5);

  KvbString path, top, uuid, error;
  EXPECT_FALSE(probe.getFolderPath(1, path, top, error));
  EXPECT_EQ(error.str(), "Repository Data Access object is null");
  EXPECT_FALSE(probe.getObjectPath(1, "Task", path, uuid, error));
  EXPECT_EQ(error.str(), "Repository Data Access object is null");
}

// --- Cursor copies ----------------------------------------------------------

TEST(BaseRDAImplCacheCursor, CopiesAllRowsOrTheLimitAndReleasesTheSource) {
  Probe probe(nullptr);
  bool released = false;
  ReposDataAccessCursor* copy =
      probe.cacheCursor(new ScriptedCursor(0, &released), 0);
  EXPECT_TRUE(released);
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->getNumCols(), 2);
  EXPECT_EQ(copy->getColName(1).str(), "NAME");
  EXPECT_EQ(texts(copy),
            (std::vector<std::string>{"1|row1", "2|row2", "3|row3"}));

  released = false;
  copy = probe.cacheCursor(new ScriptedCursor(0, &released), 2);
  EXPECT_TRUE(released);
  EXPECT_EQ(texts(copy), (std::vector<std::string>{"1|row1", "2|row2"}));
}

TEST(BaseRDAImplCacheCursor, ASourceFailingPartWayGivesNothing) {
  LogCapture log;
  Probe probe(nullptr);
  bool released = false;
  EXPECT_EQ(probe.cacheCursor(new ScriptedCursor(3, &released), 0), nullptr);
  EXPECT_TRUE(released) << "the source must not leak";
  EXPECT_TRUE(log.contains("", 5));

  // A limit reached before the failing row is a complete copy.
  released = false;
  EXPECT_EQ(texts(probe.cacheCursor(new ScriptedCursor(3, &released), 2)),
            (std::vector<std::string>{"1|row1", "2|row2"}));

  EXPECT_EQ(probe.cacheCursor(nullptr, 0), nullptr);
  EXPECT_EQ(errorsWith(log, message1161()), 1);
}

// --- Helpers -------------------------------------------------------------

TEST(BaseRDAImplHelpers, SqlFilterJoinsConditionsWithWhereThenAnd) {
  KvbString sql("SELECT X FROM T");
  std::vector<KvbDatavar> values;
  SqlFilter filter(sql, values);
  EXPECT_EQ(sql.str(), "SELECT X FROM T") << "no condition, no WHERE";
  filter.add("a=?", 1);
  filter.add("b=?", "text");
  EXPECT_EQ(sql.str(), "SELECT X FROM T WHERE a=? AND b=?");
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].asInt(), 1);
  EXPECT_STREQ(values[1].textData(), "text");
}

TEST(BaseRDAImplHelpers, OperatingSystemUserIsAText) {
  const KvbString user = getOSUserName();
  EXPECT_FALSE(user.isNull());
  EXPECT_EQ(getOSUserName().str(), user.str());
}

// --- With a repository ------------------------------------------------------

class BaseRDAImplTest : public RdaObjectTest<Probe> {
 protected:
  Probe*& probe_ = object_;
  void addFolder(int id, const char* name, int parent) {
    ASSERT_TRUE(probe_->run("INSERT INTO " + probe_->table("FOLDER") +
                                " (FLDR_ID, FLDR_NAM, FLDR_PAR) VALUES (?,?,?)",
                            {id, name, parent}))
        << probe_->getErrorMessage().asCstr();
  }
  // Folders Top/Mid/Leaf (1, 2, 3) and a cycle 10 <-> 11 under a name.
  void addFolders() {
    addFolder(1, "Top", 0);
    addFolder(2, "Mid", 1);
    addFolder(3, "Leaf", 2);
    addFolder(10, "Loop A", 11);
    addFolder(11, "Loop B", 10);
  }
  int folderCount() {
    int n = -1;
    probe_->lookup("SELECT COUNT(*) FROM " + probe_->table("FOLDER"), {}, &n);
    return n;
  }

};

TEST_P(BaseRDAImplTest, FolderPathsWalkUpToTheRoot) {
  addFolders();
  KvbString path("x"), top("x"), error;
  EXPECT_TRUE(probe_->getFolderPath(0, path, top, error));
  EXPECT_EQ(path.str(), "");
  EXPECT_EQ(top.str(), "");

  EXPECT_TRUE(probe_->getFolderPath(3, path, top, error)) << error.asCstr();
  EXPECT_EQ(path.str(), "Top/Mid/Leaf");
  EXPECT_EQ(top.str(), "Top");
  EXPECT_TRUE(probe_->getFolderPath(1, path, top, error));
  EXPECT_EQ(path.str(), "Top");

  EXPECT_FALSE(probe_->getFolderPath(99, path, top, error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(probe_->getFolderPath(-1, path, top, error));
  error = "";
  EXPECT_FALSE(probe_->getFolderPath(10, path, top, error))
      << "a cycle of parents must end, not loop";
  EXPECT_FALSE(error.isEmpty());
}

TEST_P(BaseRDAImplTest, ObjectPathsOfTasksAndProfileJobs) {
  addFolders();
  ASSERT_TRUE(probe_->run("INSERT INTO " + probe_->table("MJOB") +
                              " (JB_ID, JB_DESC, FLDR_ID, JB_CODE) VALUES "
                              "(?,?,?,?)",
                          {5, "Nightly check", 2, "task-code-5"}));
  ASSERT_TRUE(probe_->run("INSERT INTO " + probe_->table("JSETUP") +
                              " (SU_ID, SU_NAME, FLDR_ID, SU_UUID) VALUES "
                              "(?,?,?,?)",
                          {7, "Profile of customers", 0, "job-uuid-7"}));
  ASSERT_TRUE(probe_->run("INSERT INTO " + probe_->table("JSETUP") +
                              " (SU_ID, SU_NAME, FLDR_ID) VALUES (?,?,?)",
                          {8, "Lost", 10}));

  KvbString path, uuid, error;
  EXPECT_TRUE(probe_->getObjectPath(5, "Task", path, uuid, error))
      << error.asCstr();
  EXPECT_EQ(path.str(), "Top/Mid/Nightly check");
  EXPECT_EQ(uuid.str(), "task-code-5");
  EXPECT_TRUE(probe_->getObjectPath(7, "ProfileJob", path, uuid, error));
  EXPECT_EQ(path.str(), "Profile of customers") << "the root adds no folder";
  EXPECT_EQ(uuid.str(), "job-uuid-7");

  EXPECT_FALSE(probe_->getObjectPath(5, "Nothing", path, uuid, error));
  EXPECT_EQ(error.str(), "Unable to find type: Nothing");
  EXPECT_FALSE(probe_->getObjectPath(6, "Task", path, uuid, error));
  EXPECT_FALSE(probe_->getObjectPath(8, "ProfileJob", path, uuid, error))
      << "an object filed in a cycle of folders has no path";
}

TEST_P(BaseRDAImplTest, TransactionsCommitOrLeaveNothing) {
  LogCapture log;
  EXPECT_FALSE(probe_->transaction([&] {
    addFolder(1, "kept only on success", 0);
    return probe_->run("INSERT INTO " + probe_->table("FOLDER") +
                           " (NO_SUCH_COLUMN) VALUES (?)",
                       {1});
  }));
  EXPECT_FALSE(probe_->getErrorMessage().isEmpty());
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(folderCount(), 0);

  EXPECT_FALSE(probe_->transaction([&] {
    addFolder(1, "body says no", 0);
    return false;
  }));
  EXPECT_EQ(folderCount(), 0);

  EXPECT_TRUE(probe_->transaction([&] {
    addFolder(1, "committed", 0);
    return true;
  }));
  EXPECT_EQ(folderCount(), 1);

  // The shared operations reach the connection's nested transactions.
  ASSERT_TRUE(probe_->beginTransaction(0, 0));
  addFolder(2, "rolled back", 0);
  EXPECT_TRUE(probe_->endTransaction(false));
  EXPECT_EQ(folderCount(), 1);
}

INSTANTIATE_RDA_TARGETS(BaseRDAImplTest);

}  // namespace
