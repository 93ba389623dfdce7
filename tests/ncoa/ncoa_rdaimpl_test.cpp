// The NCOA data-access object on every back end: current parties, PAF
// records with their snapshot histories and queries, and executions stored
// with all their statistics and listed one row per execution.
#include "ncoa/ncoa_rdaimpl.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "schema/repos_tables.h"
#include "support/id_cases.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"
#include "support/repos_impl_targets.h"

namespace {

using Rows = std::vector<std::string>;

const KvbString none;  // an absent text
const KvbDate noDate;  // an absent date

std::vector<std::string> split(const std::string& row) {
  std::vector<std::string> cells;
  for (size_t start = 0, end;; start = end + 1) {
    end = row.find('|', start);
    cells.push_back(row.substr(start, end - start));
    if (end == std::string::npos) return cells;
  }
}

std::string join(const std::vector<std::string>& cells) {
  std::string row;
  for (size_t i = 0; i < cells.size(); ++i) row += (i ? "|" : "") + cells[i];
  return row;
}

class NcoaRdaTest : public RdaObjectTest<NCOARDAImpl> {
 protected:
  void SetUp() override {
    RdaObjectTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    TableCreateOptions options;
    options.createTables = true;
    options.useNcoaTables = true;
    ASSERT_TRUE(rda_->createTables(options))
        << rda_->getErrorMessage().asCstr();
    ASSERT_TRUE(ncoa_->loadNcoaExecColumns());
    start_ = KvbDate::currentDate().asDouble();
  }

  // The rows with the values of the columns `dates` that were written as
  // the current date during the test shown as "now".
  Rows stamped(Rows rows, std::set<size_t> dates) const {
    const double end = KvbDate::currentDate().asDouble();
    for (std::string& row : rows) {
      std::vector<std::string> cells = split(row);
      for (size_t c : dates) {
        const double value = cells[c].empty() ? 0 : std::stod(cells[c]);
        if (value >= start_ && value <= end) cells[c] = "now";
      }
      row = join(cells);
    }
    return rows;
  }

  bool addOwner(const char* name, int coopDb, int* id) {
    return ncoa_->addListOwner(name, "Ad", "Ci", "St", "Zp", "Tel", "Nai",
                               "Mid", "Em", "Par", "Mkt", "C1", "C2", "C3",
                               "Web", coopDb, "Sig", "Tit", KvbDate(2.5), id);
  }
  bool addPaf(const char* ncoaPaf, int equivalent, int* id) {
    return ncoa_->addPaf("C1", "C2", "C3", 1, 2, KvbDate(9.5), equivalent,
                         "List", ncoaPaf, id);
  }
  bool addOwnerSnapshot(int pafId, const char* name, int* id) {
    return ncoa_->addPafListOwner(name, "Ad", "Ci", "St", "Zp", "Tel", "Nai",
                                  "Mid", "Em", "Par", "Mkt", "C1", "C2", "C3",
                                  "Web", 5, "Sig", "Tit", KvbDate(2.5),
                                  KvbDate(3.5), pafId, 1, id);
  }
  bool addBrokerSnapshot(int pafId, const char* name, int* id) {
    return ncoa_->addPafBroker(name, "Ad", "Ci", "St", "Zp", "Tel", "Fax", "Em",
                               "Nai", "C1", "C2", "C3", 4, "Sig", "Tit",
                               KvbDate(2.5), KvbDate(3.5), pafId, 8, id);
  }
  std::string error() { return ncoa_->getErrorMessage().str(); }
  // The list owner and the broker whose snapshots the helpers add.
  void storeParties() {
    storeKeys("NCOALO", "LO_ID", {1});
    storeKeys("NCOABR", "BR_ID", {8});
  }
  // PAF records that executions name, without a row of their history.
  void storePafs(const std::vector<int>& ids) {
    storeKeys("NCOAPA", "PAF_ID", ids);
  }

  NCOARDAImpl*& ncoa_ = object_;
  LogCapture log_;  // keeps the expected failures off the console
  double start_ = 0;
};

TEST_P(NcoaRdaTest, PartiesAreAddedListedUpdatedAndDeleted) {
  int id = 0;
  ASSERT_TRUE(addOwner("Acme", 5, &id));
  EXPECT_EQ(id, 1);
  ASSERT_TRUE(addOwner("Bolt", -3, nullptr));
  const std::string acme =
      "Acme|Ad|Ci|St|Zp|Tel|Mid|Em|Par|Mkt|Nai|C1|C2|C3|Web";
  EXPECT_EQ(stamped(rows(ncoa_->listListOwners(1)), {20}),
            Rows{"1|" + acme + "|1|Sig|Tit|2.5|now"});
  EXPECT_EQ(rows(ncoa_->listListOwners(-1)).size(), 2u);
  EXPECT_TRUE(rows(ncoa_->listListOwners(9)).empty());

  // COOPDB -1 is left alone, 7 is written as 1; an empty text is written,
  // a null one is not. Nothing given is refused and stamps nothing.
  ASSERT_TRUE(ncoa_->updateListOwner(2, "", none, none, none, none, none, none,
                                     none, none, none, none, none, none, none,
                                     none, -1, none, none, KvbDate(4.0)));
  EXPECT_EQ(stamped(rows(ncoa_->listListOwners(2)), {20}),
            Rows{"2||Ad|Ci|St|Zp|Tel|Mid|Em|Par|Mkt|Nai|C1|C2|C3|Web|0|Sig|"
                 "Tit|4|now"});
  ASSERT_TRUE(ncoa_->updateListOwner(2, none, none, none, none, none, none,
                                     none, none, none, none, none, none, none,
                                     none, none, 7, none, none, noDate));
  exec("UPDATE " + table("NCOALO") + " SET MODDATE=1");
  EXPECT_FALSE(ncoa_->updateListOwner(2, none, none, none, none, none, none,
                                      none, none, none, none, none, none, none,
                                      none, none, -1, none, none, noDate));
  EXPECT_EQ(count("NCOALO", "COOPDB=1 AND MODDATE=1"), 2);

  ASSERT_TRUE(ncoa_->addLicensee("N1", "Lic", "Tel", "Tin", 3, "Em", "Fax",
                                 "C1", "C2", "C3", "Sig", "Tit", KvbDate(2.5),
                                 &id));
  EXPECT_FALSE(ncoa_->updateLicensee(-1, "X", none, none, none, -1, none, none,
                                     none, none, none, none, none, noDate));
  ASSERT_TRUE(ncoa_->updateLicensee(id, none, "Lic2", none, none, 12, none,
                                    none, none, none, none, none, none,
                                    noDate));
  EXPECT_EQ(stamped(rows(ncoa_->listLicensees(-1)), {14}),
            Rows{"1|N1|Lic2|Tel|Tin|12|Em|Fax|C1|C2|C3|Sig|Tit|2.5|now"});

  // BRTYPE comes after CUSTM3 among the arguments.
  for (int type : {4, 4, 6})
    ASSERT_TRUE(ncoa_->addBroker("Br", "Ad", "Ci", "St", "Zp", "Tel", "Fax",
                                 "Em", "Nai", "C1", "C2", "C3", type, "Sig",
                                 "Tit", KvbDate(2.5), &id));
  ASSERT_TRUE(ncoa_->updateBroker(3, none, none, "City", none, none, none, none,
                                  none, none, none, none, none, 4, none, none,
                                  noDate));
  EXPECT_EQ(
      stamped(sortedRows(rows(ncoa_->listCurrentBrokersByType(4))), {17}),
      (Rows{"1|Br|Ad|Ci|St|Zp|Tel|Fax|Em|Nai|4|C1|C2|C3|Sig|Tit|2.5|now",
            "2|Br|Ad|Ci|St|Zp|Tel|Fax|Em|Nai|4|C1|C2|C3|Sig|Tit|2.5|now",
            "3|Br|Ad|City|St|Zp|Tel|Fax|Em|Nai|4|C1|C2|C3|Sig|Tit|2.5|now"}));

  // Deleting a party, or one that does not exist, keeps its snapshots.
  storeKeys("NCOAPA", "PAF_ID", {1});
  ASSERT_TRUE(addOwnerSnapshot(1, "Acme", nullptr));
  EXPECT_TRUE(ncoa_->deleteListOwner(1) && ncoa_->deleteListOwner(99) &&
              ncoa_->deleteLicensee(1) && ncoa_->deleteBroker(2));
  EXPECT_EQ(count("NCOALO") + count("NCOALI") + count("NCOABR"), 3);
  EXPECT_EQ(count("NCOAPO", "LO_ID=1"), 1);
}

TEST_P(NcoaRdaTest, PafHistoriesGrowByCopies) {
  int paf = 0, copy = 0;
  ASSERT_TRUE(addPaf("N1", 7, &paf));
  ASSERT_TRUE(addPaf("N2", -2, nullptr));
  EXPECT_EQ(count("NCOAPA", "EQUIVALT=0"), 1);
  EXPECT_EQ(stamped(rows(ncoa_->listPafHistory(1, true)), {6}),
            Rows{"1|1|2|C1|C2|C3|now|9.5|1|List|1|N1|1"});
  // A copy of an inactive record without snapshots is an active version of
  // the same history.
  ASSERT_TRUE(ncoa_->updatePaf(paf, none, none, none, -1, -1, noDate, 5, none,
                               0, none));
  ASSERT_TRUE(ncoa_->copyPaf(paf, &copy));
  EXPECT_EQ(copy, 3);
  EXPECT_EQ(stamped(rows(ncoa_->listPafHistory(1, false)), {6}),
            (Rows{"3|1|2|C1|C2|C3|now|9.5|1|List|1|N1|1",
                  "1|1|2|C1|C2|C3|now|9.5|1|List|0|N1|1"}));
  EXPECT_TRUE(rows(ncoa_->listPafHistory(9, true)).empty());

  // Snapshots: the list owner keeps its CRDATE argument, the others are
  // dated now; each add opens a history, each copy extends it.
  storeParties();
  storeKeys("NCOALI", "LIC_ID", {6});
  int owner = 0, licensee = 0, broker = 0;
  ASSERT_TRUE(addOwnerSnapshot(paf, "Acme", &owner));
  ASSERT_TRUE(ncoa_->addPafLicensee(
      "N1", "Lic", "Tel", "Tin", 3, "Em", "Fax", "C1", "C2", "C3", "Sig", "Tit",
      KvbDate(2.5), KvbDate(3.5), paf, 6, &licensee));
  ASSERT_TRUE(addBrokerSnapshot(paf, "Br", &broker));
  ASSERT_TRUE(addBrokerSnapshot(paf, "Br", nullptr));
  ASSERT_TRUE(ncoa_->copyPafListOwner(owner, &copy));
  ASSERT_TRUE(ncoa_->copyPafLicensee(licensee, nullptr));
  ASSERT_TRUE(ncoa_->copyPafBroker(broker, &copy));
  EXPECT_EQ(copy, 3);
  const std::string acme =
      "Acme|Ad|Ci|St|Zp|Tel|Mid|Em|Par|Mkt|Nai|C1|C2|C3|Web";
  EXPECT_EQ(stamped(rows(ncoa_->listPafListOwners(-1, -1, -1)), {20}),
            (Rows{"2|" + acme + "|1|Sig|Tit|2.5|now|1|1|1",
                  "1|" + acme + "|1|Sig|Tit|2.5|3.5|1|1|1"}));
  EXPECT_EQ(stamped(rows(ncoa_->listPafLicensees(-1, paf, 1)), {14}),
            (Rows{"2|N1|Lic|Tel|Tin|3|Em|Fax|C1|C2|C3|Sig|Tit|2.5|now|1|1|6",
                  "1|N1|Lic|Tel|Tin|3|Em|Fax|C1|C2|C3|Sig|Tit|2.5|now|1|1|6"}));
  const std::string br = "Br|Ad|Ci|St|Zp|Tel|Fax|Em|Nai|4|C1|C2|C3|Sig|Tit|2.5";
  EXPECT_EQ(stamped(rows(ncoa_->listPafBrokers(-1, -1, 1)), {17}),
            (Rows{"3|" + br + "|now|1|1|8", "1|" + br + "|now|1|1|8"}));
  EXPECT_EQ(rows(ncoa_->listPafBrokers(3, 2, 1)), Rows{});
  EXPECT_EQ(rows(ncoa_->listPafBrokers(2, paf, 2)).size(), 1u);

  // A key without a row is refused and writes nothing, the id drawn too.
  EXPECT_FALSE(ncoa_->copyPafListOwner(99, &copy));
  EXPECT_FALSE(ncoa_->copyPaf(99, nullptr));
  EXPECT_EQ(copy, 3);
  ASSERT_TRUE(ncoa_->copyPafListOwner(owner, &copy));
  EXPECT_EQ(copy, 3);

  // Single versions change and go; deleting a PAF keeps its snapshots.
  EXPECT_FALSE(ncoa_->updatePafBroker(-1, "X", none, none, none, none, none,
                                      none, none, none, none, none, none, -1,
                                      none, none, noDate, noDate, -1, -1));
  ASSERT_TRUE(ncoa_->updatePafListOwner(
      owner, none, none, none, none, none, none, "Nx", "Mx", none, none, none,
      none, none, none, none, -5, none, none, noDate, KvbDate(1.0), -1, -1));
  EXPECT_EQ(rows(ncoa_->listPafListOwners(owner, -1, -1)),
            Rows{"1|Acme|Ad|Ci|St|Zp|Tel|Mx|Em|Par|Mkt|Nx|C1|C2|C3|Web|0|Sig|"
                 "Tit|2.5|1|1|1|1"});
  EXPECT_FALSE(ncoa_->updatePafLicensee(licensee, none, none, none, none, -1,
                                        none, none, none, none, none, none,
                                        none, noDate, noDate, -1, -1));
  EXPECT_TRUE(ncoa_->deletePaf(paf) && ncoa_->deletePafListOwner(owner) &&
              ncoa_->deletePafLicensee(licensee) &&
              ncoa_->deletePafBroker(broker) && ncoa_->deletePaf(99));
  EXPECT_EQ(count("NCOAPA", "HISTID=1"), 1);
  EXPECT_EQ(count("NCOAPO") + count("NCOAPL") + count("NCOAPB"), 5);
}

TEST_P(NcoaRdaTest, PafQueriesGiveEachRecordOncePerFilter) {
  // PAF 1 (N1) with two owner and two broker snapshots, PAF 2 (N2) with one
  // owner snapshot, PAF 3 (N3, inactive) with none.
  for (const char* name : {"N1", "N2", "N3"})
    ASSERT_TRUE(addPaf(name, 0, nullptr));
  ASSERT_TRUE(ncoa_->updatePaf(3, none, none, none, -1, -1, noDate, -1, "Other",
                               0, none));
  storeParties();
  ASSERT_TRUE(addOwnerSnapshot(1, "Acme", nullptr));
  ASSERT_TRUE(addOwnerSnapshot(1, "Bolt", nullptr));
  ASSERT_TRUE(addOwnerSnapshot(2, "Acme", nullptr));
  ASSERT_TRUE(addBrokerSnapshot(1, "Br", nullptr));
  ASSERT_TRUE(addBrokerSnapshot(1, "Cr", nullptr));
  auto pafIds = [](ReposDataAccessCursor* cursor) -> std::string {
    std::string ids;
    for (const std::string& row : cursorRows(cursor))
      ids += (ids.empty() ? "" : ",") + row.substr(0, row.find('|'));
    return cursor ? ids : "null";
  };
  EXPECT_EQ(pafIds(ncoa_->findPafs("", "", "", "", true, -1)), "1,2,3");
  EXPECT_EQ(pafIds(ncoa_->findPafs("", "", "", "", false, -1)), "3,2,1");
  EXPECT_EQ(pafIds(ncoa_->findPafs("N2", "", "", "", true, -1)), "2");
  EXPECT_EQ(pafIds(ncoa_->findPafs("", "List", "", "", true, -1)), "1,2");
  EXPECT_EQ(pafIds(ncoa_->findPafs("", "", "Acme", "", true, -1)), "1,2");
  EXPECT_EQ(pafIds(ncoa_->findPafs("", "", "", "Cr", true, -1)), "1");
  EXPECT_EQ(pafIds(ncoa_->findPafs("", "", "Acme", "Br", true, 7)), "1");
  EXPECT_EQ(pafIds(ncoa_->findPafs("", "", "", "", true, -4)), "3");

  // With their owner snapshots: one row per snapshot, the 13 PAF columns
  // first.
  ReposDataAccessCursor* joined =
      ncoa_->listPafsWithListOwner(-1, -1, "", -1, false);
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(joined->getNumCols(), 13 + 24);
  EXPECT_EQ(joined->getColName(13).str(), "PAF_LO");
  EXPECT_EQ(pafIds(joined), "2,1,1");
  EXPECT_EQ(pafIds(ncoa_->listPafsWithListOwner(1, 1, "Bolt", 5, false)), "1");
  EXPECT_EQ(pafIds(ncoa_->listPafsWithListOwner(-1, -1, "", -3, false)), "");
  ASSERT_TRUE(ncoa_->copyPaf(2, nullptr));
  exec("UPDATE " + table("NCOAPO") + " SET PAF_ID=4 WHERE PAF_LO=3");
  EXPECT_EQ(pafIds(ncoa_->listPafsWithListOwner(2, -1, "", -1, true)), "4");
  EXPECT_EQ(pafIds(ncoa_->listPafsWithListOwner(-1, -1, "", -1, true)), "null");
}

TEST_P(NcoaRdaTest, AnExecutionIsOneRowOfAllItsStatistics) {
  int paf = 0, run = 0;
  ASSERT_TRUE(addPaf("N1", 0, &paf));
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(0, 99));  // the run id is drawn
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(2, 9));
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(4, "P-1"));
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(7, 42));
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(244, "17"));
  ASSERT_TRUE(ncoa_->addNcoaExecution(0, paf, &run));
  EXPECT_EQ(run, 1);
  storePafs({77});
  // The staged values are gone: the second run has none.
  ASSERT_TRUE(ncoa_->addNcoaExecution(0, 77, nullptr));
  EXPECT_EQ(count("NCOAED", "RUN_ID=1") + count("NCOAED", "RUN_ID=2"), 482);
  EXPECT_EQ(count("NCOAED", "DVALUE IS NOT NULL"), 3);

  // An execution without statistics is not listed, and lends its columns
  // to no other.
  exec("INSERT INTO " + table("NCOAEX") +
       " (RUN_ID, PAF_ID, GRP_ID) VALUES (0, 5, 3)");
  std::vector<std::string> first(245), second(245);
  first[0] = "1", first[1] = "1", first[2] = "9", first[3] = "now";
  first[4] = "P-1", first[7] = "42", first[244] = "17";
  second[0] = "2", second[1] = "77", second[3] = "now";
  ReposDataAccessCursor* all =
      ncoa_->listNcoaExecutions(noDate, noDate, none, -2, -1, -1);
  ASSERT_NE(all, nullptr);
  ASSERT_EQ(all->getNumCols(), 245);
  EXPECT_EQ(all->getColName(3).str() + all->getColName(4).str() +
                all->getColName(244).str(),
            "EX_DATEPAFNCOAPROCS");
  EXPECT_EQ(stamped(rows(all), {3}), (Rows{join(first), join(second)}));
  // The statistics, stored as texts, come back in their columns' types.
  all = ncoa_->listNcoaExecutions(noDate, noDate, none, 1, -1, -1);
  ASSERT_NE(all, nullptr);
  ASSERT_EQ(all->next(), 1);
  for (int key : {4, 7, 244})
    EXPECT_EQ(all->getValue(key).getType(),
              ncoaColumnDefAt(key - 4, true)->type)
        << key;
  all->release();

  auto runs = [&](const KvbDate& from, const KvbDate& to,
                  const KvbString& ncoaPaf, int runId, int pafId, int group) {
    std::string ids;
    for (const std::string& row : rows(
             ncoa_->listNcoaExecutions(from, to, ncoaPaf, runId, pafId, group)))
      ids += (ids.empty() ? "" : ",") + row.substr(0, row.find('|'));
    return ids;
  };
  const KvbDate past(start_ - 1), future(start_ + 1);
  EXPECT_EQ(runs(past, future, none, -1, -1, -1), "1,2");
  EXPECT_EQ(runs(future, noDate, none, -1, -1, -1), "");
  EXPECT_EQ(runs(noDate, past, none, -1, -1, -1), "");
  EXPECT_EQ(runs(noDate, noDate, none, 2, -1, -1), "2");
  EXPECT_EQ(runs(noDate, noDate, none, -1, 77, -1), "2");
  EXPECT_EQ(runs(noDate, noDate, none, -1, -1, 9), "1");
  EXPECT_EQ(runs(noDate, noDate, "N1", -1, -1, -1), "1");
  EXPECT_EQ(runs(noDate, noDate, "", -1, -1, -1), "");
}

TEST_P(NcoaRdaTest, AFailedStatisticLeavesNothing) {
  // The 100th statistic collides with a row that a unique index guards.
  const char* hundredth = ncoaColumnDefAt(99, true)->columnName;
  exec("INSERT INTO " + table("NCOAED") +
           " (RUN_ID, SEQ_ID, DNAME, DVALUE) VALUES (0, 0, ?, 'x')",
       {hundredth});
  exec("CREATE UNIQUE INDEX ncoafail ON " + table("NCOAED") +
       " (DNAME, DVALUE)");
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(4, "y"));
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(103, "x"));
  storePafs({1});
  int run = -5;
  EXPECT_FALSE(ncoa_->addNcoaExecution(0, 1, &run));
  EXPECT_EQ(run, -5);
  EXPECT_EQ(count("NCOAEX") + count("NCOAED"), 1);
  // Nothing stays staged, and the run id was not used up.
  ASSERT_TRUE(ncoa_->addNcoaExecution(0, 1, &run));
  EXPECT_EQ(run, 1);
  EXPECT_EQ(count("NCOAED", "DVALUE IS NOT NULL"), 1);
}

TEST_P(NcoaRdaTest, AFailedExecutionInTheCallersTransactionLeavesOnlyIt) {
  exec("CREATE UNIQUE INDEX ncoafail ON " + table("NCOAED") +
       " (DNAME, DVALUE)");
  storePafs({1, 2, 3, 4});
  ASSERT_TRUE(ncoa_->beginTransaction(0, 0));
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(103, "x"));
  ASSERT_TRUE(ncoa_->addNcoaExecution(0, 1, nullptr));
  // The second execution's 100th statistic collides with the first's.
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(103, "x"));
  int run = -5;
  EXPECT_FALSE(ncoa_->addNcoaExecution(0, 2, &run));
  EXPECT_EQ(run, -5);
  EXPECT_FALSE(error().empty());
  if (isPostgres() && postgresFailuresEndTransactions()) {
    // This driver mode rolls the whole transaction back at the failed
    // execution: the later calls and the end answer so, nothing is stored.
    EXPECT_FALSE(ncoa_->addNcoaExecution(0, 3, &run));
    EXPECT_TRUE(isRolledBackByTheDatabase(error())) << error();
    EXPECT_EQ(run, -5);
    EXPECT_FALSE(ncoa_->endTransaction(true));
    EXPECT_TRUE(isRolledBackByTheDatabase(error())) << error();
    EXPECT_EQ(count("NCOAEX") * 1000 + count("NCOAED"), 0);
  } else {
    // The transaction goes on and keeps the work before and after.
    ASSERT_TRUE(ncoa_->addNcoaExecution(0, 3, &run));
    ASSERT_TRUE(ncoa_->endTransaction(true)) << error();
    EXPECT_EQ(count("NCOAEX", "PAF_ID=2"), 0);
    EXPECT_EQ(count("NCOAEX") * 1000 + count("NCOAED"), 2482);
    EXPECT_EQ(count("NCOAED", "RUN_ID=?", {run}), 241);
  }

  // Where even the undo fails (the statistics' table is gone), the
  // execution's row goes with the caller's transaction.
  exec("DROP TABLE " + table("NCOAED"));
  ASSERT_TRUE(ncoa_->beginTransaction(0, 0));
  EXPECT_FALSE(ncoa_->addNcoaExecution(0, 4, nullptr));
  ncoa_->endTransaction(true);
  EXPECT_EQ(count("NCOAEX", "PAF_ID=4"), 0);
}

TEST_P(NcoaRdaTest, TextsAtAndOverTheirColumnLengths) {
  // A statistic longer than its column is stored whole, with a warning.
  const std::string tooLarge =
      " too large, check DAC log to see if DBMS complained about this insert";
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(4, std::string(18, 'p').c_str()));
  EXPECT_FALSE(log_.contains(tooLarge, 4));
  ASSERT_TRUE(ncoa_->setNcoaExecColumnValue(4, std::string(19, 'p').c_str()));
  EXPECT_TRUE(log_.contains("Column [PAFNCOA", 4));
  EXPECT_TRUE(
      log_.contains("] value [" + std::string(19, 'p') + "]" + tooLarge, 4));
  storePafs({1});
  ASSERT_TRUE(ncoa_->addNcoaExecution(0, 1, nullptr));
  EXPECT_EQ(count("NCOAED", "DVALUE=?", {std::string(19, 'p').c_str()}), 1);

  EXPECT_FALSE(ncoa_->setNcoaExecColumnValue(245, 1));
  EXPECT_FALSE(ncoa_->setNcoaExecColumnValue(-1, 1));
  EXPECT_EQ(error(), "Couldn't find column [-1]");

  // 255 characters of two bytes fill a text column exactly; one more is
  // either refused, leaving nothing, or kept whole: never cut.
  std::string full;
  for (int i = 0; i < 255; ++i) full += "\xC3\xA9";
  ASSERT_TRUE(addOwner(full.c_str(), 0, nullptr));
  EXPECT_EQ(count("NCOALO", "BUSNAME=?", {full.c_str()}), 1);
  const std::string over = full + "x";
  int id = 0;
  if (addOwner(over.c_str(), 0, &id))
    EXPECT_EQ(count("NCOALO", "BUSNAME=?", {over.c_str()}), 1);
  else
    EXPECT_EQ(count("NCOALO"), 1) << error();
}

// A snapshot's PAF and party, and an execution's PAF: -1 is none (not
// written, kept, or for an execution stored as -1); any other id names a
// stored row, or the write is refused and stores nothing.
TEST_P(NcoaRdaTest, SnapshotsAndExecutionsStoreOnlyIdsOfStoredRows) {
  int id = 0;
  ASSERT_TRUE(addPaf("N1", 0, &id) && addOwner("O", 0, &id));
  ASSERT_TRUE(ncoa_->addLicensee("N", "L", "", "", 1, "", "", "", "", "", "",
                                 "", noDate, &id) &&
              ncoa_->addBroker("B", "", "", "", "", "", "", "", "", "", "", "",
                               1, "", "", noDate, &id));
  storeKeys("NCOABR", "BR_ID", {8});  // the helper's snapshots name it
  ASSERT_TRUE(addOwnerSnapshot(1, "O", &id) && addBrokerSnapshot(1, "B", &id));
  ASSERT_TRUE(ncoa_->addPafLicensee("N", "L", "", "", 1, "", "", "", "", "", "",
                                    "", noDate, noDate, 1, 1, &id));
  using Ids = const std::vector<int>&;
  // An update writes its snapshot's name from the ids it was given.
  const auto name = [](Ids i) {
    return "U" + std::to_string(i[0]) + "/" + std::to_string(i[1]);
  };
  const std::vector<IdWrite> writes = {
      {"addPafListOwner",
       "NCOAPO",
       {"PAF record", "list owner"},
       {1, 1},
       [&](Ids i) {
         return ncoa_->addPafListOwner("S", none, none, none, none, none, none,
                                       none, none, none, none, none, none, none,
                                       none, 0, none, none, noDate, noDate,
                                       i[0], i[1], nullptr);
       }},
      {"addPafLicensee",
       "NCOAPL",
       {"PAF record", "licensee"},
       {1, 1},
       [&](Ids i) {
         return ncoa_->addPafLicensee("S", none, none, none, 1, none, none,
                                      none, none, none, none, none, noDate,
                                      noDate, i[0], i[1], nullptr);
       }},
      {"addPafBroker",
       "NCOAPB",
       {"PAF record", "broker"},
       {1, 1},
       [&](Ids i) {
         return ncoa_->addPafBroker("S", none, none, none, none, none, none,
                                    none, none, none, none, none, 1, none, none,
                                    noDate, noDate, i[0], i[1], nullptr);
       }},
      {"updatePafListOwner",
       "NCOAPO",
       {"PAF record", "list owner"},
       {1, 1},
       [&](Ids i) {
         return ncoa_->updatePafListOwner(
             1, name(i).c_str(), none, none, none, none, none, none, none, none,
             none, none, none, none, none, none, -1, none, none, noDate, noDate,
             i[0], i[1]);
       },
       0},
      {"updatePafLicensee",
       "NCOAPL",
       {"PAF record", "licensee"},
       {1, 1},
       [&](Ids i) {
         return ncoa_->updatePafLicensee(1, none, name(i).c_str(), none, none,
                                         -1, none, none, none, none, none, none,
                                         none, noDate, noDate, i[0], i[1]);
       },
       0},
      {"updatePafBroker",
       "NCOAPB",
       {"PAF record", "broker"},
       {1, 1},
       [&](Ids i) {
         return ncoa_->updatePafBroker(
             1, name(i).c_str(), none, none, none, none, none, none, none, none,
             none, none, none, -1, none, none, noDate, noDate, i[0], i[1]);
       },
       0},
      {"addNcoaExecution",
       "NCOAEX",
       {"PAF record"},
       {1},
       [&](Ids i) { return ncoa_->addNcoaExecution(0, i[0], nullptr); }},
  };
  expectIdAnswers(
      writes, {99999, -1, 0, -5},
      [](const IdWrite& write, size_t arg, int value) {
        return value == -1 ? std::string() : missing(write.kinds[arg], value);
      },
      [&](const char* code) { return count(code); }, [&] { return error(); },
      log_);
  // The last update that wrote kept both ids; the refusals after it wrote
  // nothing.
  for (const char* code : {"NCOAPO", "NCOAPL", "NCOAPB"})
    EXPECT_EQ(count(code, "BUSNAME='U1/-1' AND PAF_ID=1"), 1) << code;
  // An add stores none as -1, as it always has.
  EXPECT_EQ(count("NCOAPO", "PAF_ID=-1") + count("NCOAPO", "LO_ID=-1"), 2);
  EXPECT_EQ(count("NCOAEX", "PAF_ID=-1") + count("NCOAED"), 1 + 2 * 241);
}

INSTANTIATE_RDA_TARGETS(NcoaRdaTest);

// The repository hands out the store with its execution columns loaded.
class NcoaFactoryTest : public ReposImplTest {
 protected:
  LogCapture log_;
};

TEST_P(NcoaFactoryTest, TheStoreComesWithItsExecutionColumns) {
  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  NCOARepositoryDataAccess* ncoa = repos->createNCOADataAccess();
  ASSERT_NE(ncoa, nullptr);
  EXPECT_TRUE(ncoa->setNcoaExecColumnValue(244, 1));
  EXPECT_FALSE(ncoa->setNcoaExecColumnValue(245, 1));
  EXPECT_TRUE(ncoa->clearNcoaExecColumnValues());
  ncoa->release();
}

INSTANTIATE_REPOS_TARGETS(NcoaFactoryTest);

}  // namespace
