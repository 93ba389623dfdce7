// Every kind of refusal that a transaction on PostgreSQL can meet: of the
// connection, of a statement and of a cursor. Where the driver rolls the
// whole transaction back at a failed call (Protocol=7.4-1) the refusal
// loses the transaction, so the work around it answers false and none of
// it is stored; in the driver's default mode the refusal is the call's
// alone and the work around it commits. A refused commit is no case here:
// it ends the transaction in every mode. Calls that no real driver refuses
// inside a transaction (PostgreSQL's driver prepares without the server)
// fail through the test seam of kvdataaccess.h.
#include <gtest/gtest.h>

#include <functional>
#include <list>
#include <string>

#include "kvdataaccess/kvdataaccess.h"
#include "support/driver_fault.h"
#include "support/rda_targets.h"

namespace {

// Reads a query's rows until the cursor stops; true when it stopped at a
// failure.
bool readsToAFailure(ReposDataAccessCursor* cursor) {
  if (!cursor) return false;
  int step;
  while ((step = cursor->next()) == 1) {
  }
  cursor->release();
  return step == 2;
}

class DriverRefusalTest : public RdaTargetTest {
 protected:
  void SetUp() override {
    RdaTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(createCoreTables()) << rda_->getErrorMessage().asCstr();
  }
  // A new connection to the test's database with `attributes` added to
  // its connection string.
  ReposDataAccess* connect(const std::string& attributes) {
    KvbString error;
    ReposDataAccess* rda = createReposDataAccess(
        factoryKind(), (location() + ";" + attributes).c_str(), prefix_,
        nullptr, error);
    EXPECT_NE(rda, nullptr) << error.asCstr();
    return rda;
  }
  bool addFolder(ReposDataAccess* c, int id) {
    KvbDatavar key(id);
    return c->paramExec(
        "INSERT INTO " + table("FOLDER") + " (FLDR_ID) VALUES (?)", nullptr, 1,
        &key);
  }
};

TEST_P(DriverRefusalTest, EachRefusalLosesTheTransactionWhereTheDriverEndsIt) {
  const KvbString folder(table("FOLDER"));
  const std::list<TableColumnInfo> column = {{"A", kvbTypeInt, 0, false}};
  std::list<TableColumnInfo> columns;
  struct Case {
    const char* refused;
    const char* attributes;  // of the case's connection
    // Makes the refusal come on `c`, whose transaction holds the folder
    // `first`; true when it came.
    std::function<bool(ReposDataAccess* c, int first)> refuse;
  };
  const Case cases[] = {
      {"the connection's own statement", "",
       [&](ReposDataAccess* c, int) {
         return !c->createTable("FOLDER", column);
       }},
      {"a prepare", "",
       [&](ReposDataAccess* c, int) {
         DriverFault fault(DacFault::kPrepare, 1);
         return !c->paramExec("DELETE FROM " + folder, nullptr, 0);
       }},
      {"a statement's run", "",
       [&](ReposDataAccess* c, int first) { return !addFolder(c, first); }},
      {"a query's run", "",
       [&](ReposDataAccess* c, int) {
         return !c->paramSelect("SELECT X FROM " + table("MISSING"), 0);
       }},
      // The driver reads the rows through a server cursor, two at a time.
      {"a row's fetch", "UseDeclareFetch=1;Fetch=2;",
       [&](ReposDataAccess* c, int) {
         return readsToAFailure(
             c->paramSelect("SELECT 1/(5-g) FROM generate_series(1,10) g", 0));
       }},
      // A row with a null is read value by value.
      {"a value's read", "",
       [&](ReposDataAccess* c, int) {
         DriverFault fault(DacFault::kValueRead, 1);
         return readsToAFailure(c->paramSelect("SELECT 1, NULL", 0));
       }},
      // PostgreSQL's texts cannot hold a NUL byte.
      {"a bind", "",
       [&](ReposDataAccess* c, int) {
         const KvbDatavar name(KvbString(std::string("a\0b", 3)));
         return !c->paramExec("UPDATE " + folder + " SET FLDR_NAM = ?", nullptr,
                              1, &name);
       }},
      {"the catalogue's query", "",
       [&](ReposDataAccess* c, int) {
         DriverFault fault(DacFault::kPrepare, 1);
         return c->getTableColumns("FOLDER", columns) < 0;
       }},
      {"a row of the catalogue", "",
       [&](ReposDataAccess* c, int) {
         DriverFault fault(DacFault::kValueRead, 1);
         return c->getTableColumns("FOLDER", columns) < 0;
       }},
  };
  int first = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refused);
    ReposDataAccess* rda = connect(c.attributes);
    ASSERT_NE(rda, nullptr);
    ASSERT_TRUE(rda->beginTransaction(false, nullptr));
    EXPECT_TRUE(addFolder(rda, first)) << rda->getErrorMessage().str();
    EXPECT_TRUE(c.refuse(rda, first));
    const std::string reason = rda->getErrorMessage().str();
    const bool added = addFolder(rda, first + 1);
    const bool committed = rda->endTransaction(true);
    const std::string answer = rda->getErrorMessage().str();
    rda->release();
    const int stored = count("FOLDER", "FLDR_ID IN (?, ?)", {first, first + 1});
    if (postgresFailuresEndTransactions()) {
      EXPECT_FALSE(added);
      EXPECT_FALSE(committed);
      // A bind reached no server: the engine gave the transaction up.
      EXPECT_EQ(answer, (c.refused == std::string("a bind")
                             ? "The transaction was given up: a value could "
                               "not be bound: "
                             : "The transaction was rolled back by the "
                               "database: ") +
                            reason);
      EXPECT_EQ(stored, 0);
    } else if (postgresUndoesFailedStatementsAlone()) {
      EXPECT_TRUE(added && committed) << answer;
      EXPECT_EQ(stored, 2);
    } else {  // the server aborts the transaction at a call it refused
      EXPECT_EQ(added, committed) << answer;
      EXPECT_EQ(stored, committed ? 2 : 0);
    }
    first += 2;
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, DriverRefusalTest,
                         ::testing::Values(RdaTarget::kPostgres),
                         rdaTargetName);

}  // namespace
