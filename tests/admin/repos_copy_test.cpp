// Copying repositories between back ends, and copies that fail or are
// refused: a failed copy, also on a full disk, leaves the target as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "fault/fault_vfs.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"
#include "support/repos_content.h"

namespace {

// A copy writes over a thousand times; one in so many is made to fail.
constexpr int kCopyWriteStep = 89;
// A copy with cold caches reads its files a few hundred times, the per-id
// tables within the first few dozen reads on every back end: each of those
// is made to fail, then one in so many.
constexpr int kDenseCopyReads = 64;
constexpr int kCopyReadStep = 7;

class CopyTest : public AdminTargetTest {
 protected:
  // A new SQLite file repository, opened directly; released at the end.
  RepositoryImpl* fileRepository(const std::string& name) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(admin_->createFileRepository(path.c_str())) << error();
    return keep(admin_->openFileRepository(path.c_str(), true));
  }
  RepositoryImpl* keep(Repository* repository) {
    EXPECT_NE(repository, nullptr) << error();
    opened_.emplace_back(static_cast<RepositoryImpl*>(repository), &release);
    return opened_.back().get();
  }
  static void release(RepositoryImpl* repository) { repository->release(); }

  static void run(RepositoryImpl* repos, const std::string& sql,
                  const std::vector<KvbDatavar>& values = {}) {
    EXPECT_EQ(execute(repos, sql, values), "");
  }
  static void idTable(RepositoryImpl* repos, const char* code, int id,
                      const std::string& text) {
    ASSERT_EQ(::idTable(repos, code, id, text), "");
  }

  // The rows of every table that a copy replaces; the counters are raised
  // to the target's ids and compared on their own.
  static std::vector<std::string> everyTable(RepositoryImpl* repos) {
    return repositoryRows(
        repos, tableCodes(repos, {"INFO", "KEYVAL", "BIGSTR", "UCURID"}), 2);
  }

  // A source with a long text, metrics, a table-set row and per-id tables
  // FRQDST2, HSM1 and HCM1.
  static void fillSource(RepositoryImpl* source) {
    const std::string longText(40000, 'L');
    KvbString marker;
    ASSERT_TRUE(source->writeLongText(longText.c_str(), &marker, 0));
    run(source,
        "INSERT INTO " + tableName(source, "RULE") +
            " (RU_ID, RU_DESC, RU_EXPR) VALUES (1, 'r', ?), (2, NULL, ?)",
        {marker, "short <expr>"});
    run(source,
        "INSERT INTO " + tableName(source, "FLD") +
            " (DSN_ID, TBL_ID, FLD_ID, FLD_NAME, MET_0, MET_6) VALUES "
            "(1, 1, 2, 'f', 'm0', ?)",
        {KvbString(std::string(300, 'm'))});
    run(source,
        "INSERT INTO " + tableName(source, "FRQDST") +
            " (FLD_ID, FR_VAL, FR_CNT, FR_MC) VALUES (2, 'v', 3, 'mc')");
    run(source, "INSERT INTO " + tableName(source, "HGMETA") +
                    " (HGM_ID, GRP1) VALUES (1, 'g')");
    run(source, "INSERT INTO " + tableName(source, "RDDOMS") +
                    " (ID, DOMNAME, LOCKDATE) VALUES (1, 'd', 45000.125)");
    idTable(source, "FRQDST", 2, std::string(300, 'v'));
    idTable(source, "HSM", 1, "h");
    idTable(source, "HCM", 1, "c");
  }

  // Gives the target's NOTCAT a column that the source's rows leave null,
  // so that the copy fails at that table, after the per-id tables.
  static void breakNotcat(RepositoryImpl* target) {
    run(target, "DROP TABLE " + tableName(target, "NOTCAT"));
    run(target,
        "CREATE TABLE " + tableName(target, "NOTCAT") +
            " (NCAT_ID INTEGER, NCAT_DSC VARCHAR(255), X INTEGER NOT NULL)");
  }

  // A filled source and a new target of the test's back end, whose
  // largest field, 3, has a per-id table FRQDST3 that a copy drops.
  void sourceAndTarget() {
    source_ = fileRepository("source.db");
    targetDb_ = newDatabase();
    ASSERT_TRUE(create(targetDb_)) << error();
    target_ = keep(open(targetDb_, true));
    ASSERT_TRUE(source_ && target_);
    fillSource(source_);
    run(target_,
        "INSERT INTO " + tableName(target_, "FLD") +
            " (DSN_ID, TBL_ID, FLD_ID, FLD_NAME) VALUES (1, 1, 3, 't')");
    idTable(target_, "FRQDST", 3, "target");
  }
  // Makes the source's table `code` a view of its rows in which `column`
  // cannot be read at the row whose integer `key` is `at`: its value there
  // is the absolute value of the smallest 64-bit integer, which overflows.
  // A query that meets that row fails, as on a damaged row.
  void unreadableAt(const char* code, const std::string& column,
                    const std::string& key, int at) {
    std::list<TableColumnInfo> columns;
    ASSERT_GT(source_->getDataAccess()->getTableColumns(code, columns), 0);
    std::string list;
    for (const TableColumnInfo& c : columns) {
      const std::string name = c.name.str();
      list += (list.empty() ? "" : ",") +
              (name != column ? name
                              : "CASE WHEN " + key + "=" + std::to_string(at) +
                                    " THEN abs(" + key + "-" + key +
                                    "-9223372036854775807-1) ELSE " + name +
                                    " END AS " + name);
    }
    const std::string table = tableName(source_, code);
    run(source_, "ALTER TABLE " + table + " RENAME TO damaged_rows");
    run(source_,
        "CREATE VIEW " + table + " AS SELECT " + list + " FROM damaged_rows");
  }
  // Copies the damaged source, with a transaction open on it so that the
  // rows go the row path also between SQLite files: the copy fails with
  // the read's reason and leaves the target as it was.
  void expectCopyFailsAtTheDamage() {
    const std::vector<std::string> before = targetContent();
    ReposDataAccess* from = source_->getDataAccess();
    ASSERT_TRUE(from->beginTransaction(false, nullptr));
    EXPECT_FALSE(admin_->copyRepository(source_, target_));
    EXPECT_TRUE(from->endTransaction(false));
    EXPECT_NE(error().find("integer overflow"), std::string::npos) << error();
    EXPECT_EQ(targetContent(), before);
    EXPECT_FALSE(target_->getDataAccess()->inTransaction());
  }
  // The names of the databases that a SQLite repository's connection has
  // open, joined by ","; empty elsewhere.
  std::string databases(RepositoryImpl* repos) {
    std::string names;
    if (!isPostgres())
      firstRow(
          repos->getDataAccess(),
          "SELECT group_concat(name) FROM pragma_database_list", {},
          [&](ReposDataAccessCursor& row) { names = row.getString(0).str(); });
    return names;
  }
  // Every table of the target, per-id tables included.
  std::vector<std::string> targetContent() {
    return repositoryRows(target_, tableCodes(target_), 3);
  }

  std::vector<std::unique_ptr<RepositoryImpl, void (*)(RepositoryImpl*)>>
      opened_;
  RepositoryImpl* source_ = nullptr;
  RepositoryImpl* target_ = nullptr;
  AdminDatabase targetDb_;
  LogCapture log_;
};

TEST_P(CopyTest, CopyThereAndBackEqualsTheSourceRowForRow) {
  RepositoryImpl* source = fileRepository("source.db");
  const AdminDatabase middleDb = newDatabase();
  ASSERT_TRUE(create(middleDb)) << error();
  RepositoryImpl* middle = keep(open(middleDb, true));
  RepositoryImpl* back = fileRepository("back.db");
  ASSERT_TRUE(source && middle && back);

  fillSource(source);
  run(middle, "INSERT INTO " + tableName(middle, "KEYVAL") +
                  " (V_KEY, V_VALUE) VALUES ('k', 'middle')");
  const KvbString middleUuid = middle->getRepositoryUUID();

  // Refusals, and a copy that fails part-way.
  EXPECT_FALSE(admin_->copyRepository(nullptr, middle));
  EXPECT_EQ(error(), libraryMessage(1307));
  EXPECT_FALSE(admin_->copyRepository(source, source));
  breakNotcat(middle);
  EXPECT_FALSE(admin_->copyRepository(source, middle));
  EXPECT_FALSE(error().empty());
  EXPECT_EQ(tableRows(middle, tableName(middle, "FLD")).size(), 0u);
  EXPECT_EQ(tableRows(middle, tableName(middle, "BIGSTR")).size(), 0u);
  run(middle, "DROP TABLE " + tableName(middle, "NOTCAT"));
  ASSERT_TRUE(middle->getDataAccess()->checkTables(TableCreateOptions()));

  ASSERT_TRUE(admin_->copyRepository(source, middle)) << error();
  ASSERT_TRUE(admin_->copyRepository(middle, back)) << error();
  EXPECT_EQ(everyTable(back), everyTable(source));
  EXPECT_EQ(tableRows(middle, tableName(middle, "KEYVAL")),
            std::vector<std::string>{"k|middle|"});
  EXPECT_EQ(middle->getRepositoryUUID(), middleUuid);
  // The counters hand out no id that a copied row holds.
  for (const char* key : {"BIGSTR", "RULE"}) {
    int id = 0;
    ASSERT_TRUE(back->getNextID(key, &id, nullptr));
    EXPECT_GT(id, 2) << key;
  }
}

TEST_P(CopyTest, ACopyThatFailsLateLeavesEveryTableOfTheTargetAsItWas) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  // FRQDST2 of the target would be replaced by the source's.
  idTable(target_, "FRQDST", 2, "target");
  KvbString marker;
  ASSERT_TRUE(
      target_->writeLongText(std::string(40000, 'T').c_str(), &marker, 0))
      << target_->getErrorMessage().str();
  run(target_,
      "INSERT INTO " + tableName(target_, "RULE") +
          " (RU_ID, RU_EXPR) VALUES (7, ?)",
      {marker});
  breakNotcat(target_);
  const std::vector<std::string> before = targetContent();

  EXPECT_FALSE(admin_->copyRepository(source_, target_));
  EXPECT_FALSE(error().empty());
  EXPECT_EQ(targetContent(), before);
  EXPECT_FALSE(target_->getDataAccess()->inTransaction());
}

// The target's FRQDST2, which a copy replaces, is also the table T2 of a
// table set of the repository under the target's prefix and "FRQDS": it
// stays that repository's, with its rows, and the copy fails on it.
TEST_P(CopyTest, ATargetsPerIdTableThatAnotherRepositoryClaimsStays) {
  TempDir sets;
  std::filesystem::copy(KV_SOURCE_DIR "/etc/reposcreate", sets.path());
  std::ofstream(sets.file("neighbour.xml"))
      << "<velmorandocument class=\"ReposTableCreateSpec\">"
         "<tableset name=\"NEIGHBOUR\" version=\"1\"><table name=\"T2\" "
         "description=\"A table of the host's set\"><column name=\"ID\" "
         "type=\"integer\" primarykey=\"true\" description=\"Key\"/></table>"
         "</tableset></velmorandocument>";
  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", sets.path().c_str());
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  idTable(target_, "FRQDST", 2, "target");
  run(target_, "CREATE TABLE " + tableName(target_, "FRQDSINFO") + " (ID " +
                   "INTEGER)");
  const std::vector<std::string> kept =
      tableRows(target_, tableName(target_, "FRQDST", 2));
  EXPECT_FALSE(admin_->copyRepository(source_, target_));
  EXPECT_EQ(tableRows(target_, tableName(target_, "FRQDST", 2)), kept);
}

// A long text whose rows the source lost fails the copy with that reason.
TEST_P(CopyTest, ALongTextMissingFromTheSourceFailsTheCopy) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  run(source_, "DELETE FROM " + tableName(source_, "BIGSTR"));
  const std::vector<std::string> before = targetContent();
  EXPECT_FALSE(admin_->copyRepository(source_, target_));
  EXPECT_NE(error().find("is missing from BIGSTR"), std::string::npos)
      << error();
  EXPECT_EQ(targetContent(), before);
}

TEST_P(CopyTest, AFullDiskAtAnyWriteLeavesTheTargetAsItWasOrCopied) {
  if (isPostgres()) GTEST_SKIP() << "the disk is a SQLite file's";
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  const std::vector<std::string> before = targetContent();

  FaultVfs vfs;  // under the target of each copy, opened in the copy's turn
  const int faults = vfs.failEachWrite(
      SQLITE_FULL, 1, kCopyWriteStep,
      [&] {
        RepositoryImpl* copied = open(targetDb_);
        const bool ok = copied && admin_->copyRepository(source_, copied);
        if (copied) copied->release();
        return ok;
      },
      [&](int k, bool fired, bool copied) {
        SCOPED_TRACE("write " + std::to_string(k) + " failed");
        EXPECT_EQ(copied, !fired);
        if (fired)
          EXPECT_EQ(targetContent(), before);
        else
          EXPECT_EQ(everyTable(target_), everyTable(source_));
        return !HasFailure();
      });
  EXPECT_GT(faults, 0);
}

// A read of a database file that fails in a copy, the source's catalogue
// and largest ids among them (read outside any transaction of the
// source's), fails the copy with the read's reason and leaves the target as
// it was; a copy that goes on past it is whole.
TEST_P(CopyTest, AFailedReadAnywhereLeavesTheTargetAsItWasOrCopied) {
  FaultVfs vfs;  // under the source's file, and the target's where a file
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  const std::vector<std::string> source = everyTable(source_);
  std::vector<std::string> before = targetContent();
  int faults = 0;
  for (int k = 1;; k += k < kDenseCopyReads ? 1 : kCopyReadStep) {
    SCOPED_TRACE("read " + std::to_string(k) + " failed");
    // A change that another connection makes to each file drops the pages
    // that the copy's connections keep, so that the copy reads them anew.
    for (const std::string& file : {dir_.file("source.db"), targetDb_.file}) {
      if (file.empty()) continue;
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
      EXPECT_EQ(sqlite3_exec(db,
                             ("PRAGMA user_version = " + std::to_string(k))
                                 .c_str(),
                             nullptr, nullptr, nullptr),
                SQLITE_OK);
      sqlite3_close(db);
    }
    vfs.armReads(k, SQLITE_IOERR_READ);
    const bool copied = admin_->copyRepository(source_, target_);
    vfs.disarmReads();
    if (copied) {
      EXPECT_EQ(everyTable(target_), source);
      before = targetContent();
    } else {
      EXPECT_TRUE(vfs.readFired()) << error();
      EXPECT_NE(error().find("disk I/O error"), std::string::npos) << error();
      EXPECT_EQ(targetContent(), before);
    }
    if (HasFailure() || !vfs.readFired()) break;
    ++faults;
  }
  EXPECT_GT(faults, 0);
}

// A target that lacks a table of the source fails the copy. Between two
// SQLite files the copy reads the source's file on the target's connection,
// where the table's name would reach the source's table: the source must
// come out as it was, and no file stays attached to the target.
TEST_P(CopyTest, ATargetWithoutATableOfTheSourceFailsAndLeavesTheSource) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  run(target_, "DROP TABLE " + tableName(target_, "NOTCAT"));
  const std::vector<std::string> source = everyTable(source_);
  ASSERT_EQ(tableRows(source_, tableName(source_, "NOTCAT")).size(), 1u);
  EXPECT_FALSE(admin_->copyRepository(source_, target_));
  EXPECT_EQ(everyTable(source_), source);
  EXPECT_EQ(databases(target_), isPostgres() ? "" : "main");

  ASSERT_TRUE(target_->getDataAccess()->checkTables(TableCreateOptions()));
  ASSERT_TRUE(admin_->copyRepository(source_, target_)) << error();
  EXPECT_EQ(everyTable(target_), source);
  EXPECT_EQ(databases(target_), isPostgres() ? "" : "main");
}

// A table that the source leaves empty is emptied in the target too.
TEST_P(CopyTest, TablesEmptyInTheSourceComeOutEmpty) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  run(target_, "INSERT INTO " + tableName(target_, "TBL") +
                   " (DSN_ID, TBL_ID, TBL_NM) VALUES (1, 9, 'stale')");
  ASSERT_TRUE(admin_->copyRepository(source_, target_)) << error();
  EXPECT_EQ(tableRows(target_, tableName(target_, "TBL")).size(), 0u);
  EXPECT_EQ(everyTable(target_), everyTable(source_));
}

// The indexes of a copied per-id table are no reason to fail the copy: one
// on a column that the copied table lacks is refused before it reaches the
// database, one that the database refuses is undone at a savepoint of its
// own, so that the copy's transaction goes on; each is logged.
TEST_P(CopyTest, IndexesThatCannotBeMadeAreLoggedAndLeftOut) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  // FRQDST2 has the columns of its indexes, but the target holds a table
  // under the name of the first; HSM1 lacks FIELDIDX.
  std::list<TableColumnInfo> columns(2);
  columns.front().name = "FR_VALUE";
  columns.front().size = 100;
  columns.back().name = "FR_COUNT";
  columns.back().type = kvbTypeInt;
  run(source_, "DROP TABLE " + tableName(source_, "FRQDST", 2));
  ASSERT_TRUE(source_->getDataAccess()->createTable("FRQDST2", columns));
  run(source_, "INSERT INTO " + tableName(source_, "FRQDST", 2) +
                   " (FR_VALUE, FR_COUNT) VALUES ('v', 4)");
  ASSERT_TRUE(
      target_->getDataAccess()->createTable("fk_frqdist_fr_val2", columns));

  if (isPostgres() && postgresFailuresEndTransactions()) {
    // This driver mode rolls the copy's whole transaction back at the
    // refused index: the copy fails and leaves the target as it was.
    const std::vector<std::string> before = targetContent();
    EXPECT_FALSE(admin_->copyRepository(source_, target_));
    EXPECT_TRUE(isRolledBackByTheDatabase(error())) << error();
    EXPECT_EQ(targetContent(), before);
  } else {
    ASSERT_TRUE(admin_->copyRepository(source_, target_)) << error();
    EXPECT_EQ(everyTable(target_), everyTable(source_));
    EXPECT_TRUE(log_.contains("The copied table FRQDST2 keeps no indexes: "));
    // A default index name carries the target's prefix.
    KvbString prefix;
    target_->getDataAccess()->getTablePrefix(true, &prefix, nullptr);
    EXPECT_TRUE(log_.contains(
        "The copied table HSM1 keeps no indexes: The index \"" +
        prefix.str() + "HSM1_FIELDIDX_idx\" was not made: table " +
        target_->getDataAccess()->getTableName("HSM", false, 1).str() +
        " has no column FIELDIDX"));
  }
}

// The source's rows of a table fail to read at row 150, after a whole batch
// of them was written: the copy stops there and fails with the read's
// reason, and the target keeps none of the copy's rows. The source's open
// transaction makes the rows go the row path also between SQLite files.
TEST_P(CopyTest, ASourceRowThatCannotBeReadFailsTheWholeCopy) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  // NOTCAT becomes a view whose row NCAT_ID=150 fails to compute: the
  // absolute value of the smallest 64-bit integer overflows.
  const std::string notcat = tableName(source_, "NOTCAT");
  run(source_, "CREATE TABLE notcat_rows AS SELECT * FROM " + notcat);
  run(source_, "DELETE FROM notcat_rows");
  for (int id = 1; id <= 250; ++id)
    run(source_,
        "INSERT INTO notcat_rows (NCAT_ID, NCAT_DSC) VALUES (?, 'category')",
        {id});
  run(source_, "DROP TABLE " + notcat);
  run(source_,
      "CREATE VIEW " + notcat +
          " AS SELECT NCAT_ID, CASE WHEN NCAT_ID = 150 THEN "
          "abs(NCAT_ID - NCAT_ID - 9223372036854775807 - 1) ELSE NCAT_DSC END "
          "AS NCAT_DSC FROM notcat_rows");
  const std::vector<std::string> before = targetContent();

  ReposDataAccess* from = source_->getDataAccess();
  ASSERT_TRUE(from->beginTransaction(false, nullptr));
  EXPECT_FALSE(admin_->copyRepository(source_, target_));
  EXPECT_TRUE(from->endTransaction(false));
  const std::string head =
      "A statement of the repository copy failed: SELECT NCAT_ID";
  EXPECT_EQ(error().rfind(head, 0), 0u) << error();
  EXPECT_NE(error().find("integer overflow"), std::string::npos) << error();
  EXPECT_EQ(targetContent(), before);
  EXPECT_FALSE(target_->getDataAccess()->inTransaction());
}

// A table with a long-text column is read whole before its long texts
// are: a row of RULE that cannot be read fails the copy, rather than
// leaving the table empty in the target.
TEST_P(CopyTest, ARowOfALongTextTableThatCannotBeReadFailsTheCopy) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  ASSERT_NO_FATAL_FAILURE(unreadableAt("RULE", "RU_EXPR", "RU_ID", 2));
  ASSERT_NO_FATAL_FAILURE(expectCopyFailsAtTheDamage());
  const std::string head = "A statement of the repository copy failed: SELECT ";
  EXPECT_EQ(error().rfind(head, 0), 0u) << error();
  EXPECT_NE(error().find(" FROM " + tableName(source_, "RULE") + ": "),
            std::string::npos)
      << error();
}

// A long text one of whose pieces cannot be read fails the copy, rather
// than arriving empty or cut short.
TEST_P(CopyTest, ALongTextPieceThatCannotBeReadFailsTheCopy) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  ASSERT_NO_FATAL_FAILURE(unreadableAt("BIGSTR", "BS_TEXT", "BS_SEQ", 1));
  ASSERT_NO_FATAL_FAILURE(expectCopyFailsAtTheDamage());
}

// A histogram group count that cannot be read fails the copy, rather than
// leaving the copied table without the indexes of its groups.
TEST_P(CopyTest, AGroupCountThatCannotBeReadFailsTheCopy) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  ASSERT_NO_FATAL_FAILURE(unreadableAt("HGMETA", "GRP1", "HGM_ID", 1));
  ASSERT_NO_FATAL_FAILURE(expectCopyFailsAtTheDamage());
  const std::string head =
      "The group count of the copied table HSM1 could not be read: ";
  EXPECT_EQ(error().rfind(head, 0), 0u) << error();
}

// A text with a NUL byte arrives whole in a SQLite target. PostgreSQL's
// texts cannot hold one: that copy fails with the reason and leaves the
// target as it was, rather than storing the text cut at the NUL.
TEST_P(CopyTest, ATextWithANulByteIsCopiedWholeOrRefused) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  run(source_,
      "INSERT INTO " + tableName(source_, "NOTCAT") +
          " (NCAT_ID, NCAT_DSC) VALUES (7, ?)",
      {KvbString(std::string("ab\0cd", 5))});
  const std::vector<std::string> before = targetContent();
  const bool copied = admin_->copyRepository(source_, target_);
  if (isPostgres()) {
    EXPECT_FALSE(copied);
    EXPECT_NE(error().find("holds a NUL byte, which PostgreSQL cannot store"),
              std::string::npos)
        << error();
    EXPECT_EQ(targetContent(), before);
    return;
  }
  ASSERT_TRUE(copied) << error();
  int bytes = 0;
  firstRow(target_->getDataAccess(),
           "SELECT length(CAST(NCAT_DSC AS BLOB)) FROM " +
               tableName(target_, "NOTCAT") + " WHERE NCAT_ID=7",
           {}, [&](ReposDataAccessCursor& row) { bytes = row.getInt(0); });
  EXPECT_EQ(bytes, 5);
}

// A failed statement of the copy is named with the database's reason.
TEST_P(CopyTest, AFailedStatementIsNamedWithTheDatabasesReason) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  const std::string table = tableName(target_, "BIGSTR");
  run(target_, "DROP TABLE " + table);
  EXPECT_FALSE(admin_->copyRepository(source_, target_));
  const std::string head =
      "A statement of the repository copy failed: DELETE FROM " + table + ": ";
  EXPECT_EQ(error().rfind(head, 0), 0u) << error();
  EXPECT_GT(error().size(), head.size() + 10) << error();
}

// A SQLite source may hold a text longer than its column declares, which
// SQLite does not enforce: a copy into SQLite keeps it, a server refuses
// it. The copy's failure names the value by its table, column and row,
// once, with both lengths, and leaves the target as it was; a row without
// a key is named by its table and column alone.
TEST_P(CopyTest, AValueLongerThanItsColumnIsNamedByItsRow) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  const std::string domains = tableName(source_, "RDDOMS");
  run(source_, "INSERT INTO " + domains +
                   " (ID, DOMNAME, DOMTYPE) VALUES (2, 'e', 'LONG')");
  const std::vector<std::string> before = targetContent();
  if (!isPostgres()) {
    ASSERT_TRUE(admin_->copyRepository(source_, target_)) << error();
    EXPECT_EQ(tableRows(target_, tableName(target_, "RDDOMS")),
              tableRows(source_, domains));
    return;
  }
  const std::string named =
      "The value of column DOMTYPE of table RDDOMS in the row with ID 2 is 4 "
      "characters long; the column holds at most 2";
  // The copy's one failure; the warnings of per-id tables that keep no
  // indexes go with it.
  const std::vector<std::string> failures = log_.failuresDuring(
      [&] { EXPECT_FALSE(admin_->copyRepository(source_, target_)); });
  EXPECT_EQ(std::count_if(failures.begin(), failures.end(),
                          [](const std::string& text) {
                            return text.find("RDDOMS") != std::string::npos;
                          }),
            1)
      << ::testing::PrintToString(failures);
  EXPECT_EQ(failures.back(), named);
  EXPECT_EQ(error(), named);
  EXPECT_EQ(targetContent(), before);
  EXPECT_FALSE(target_->getDataAccess()->inTransaction());

  run(source_, "UPDATE " + domains + " SET DOMTYPE='D' WHERE ID=2");
  run(source_, "INSERT INTO " + tableName(source_, "RULEVT") +
                   " (EV_CODE) VALUES ('ELEVEN CHAR')");
  EXPECT_FALSE(admin_->copyRepository(source_, target_));
  EXPECT_EQ(error(),
            "The value of column EV_CODE of table RULEVT is 11 characters "
            "long; the column holds at most 10");
  EXPECT_EQ(targetContent(), before);
  run(source_, "DELETE FROM " + tableName(source_, "RULEVT"));

  // A value longer than the target's longest text stays a value of its
  // column, a field metric's too: refused, not moved to the long-text table
  // as a long text is.
  const KvbString huge(std::string(32001, 'h').c_str());
  run(source_, "UPDATE " + domains + " SET DOMTYPE=? WHERE ID=2", {huge});
  EXPECT_FALSE(admin_->copyRepository(source_, target_));
  EXPECT_EQ(error(),
            "The value of column DOMTYPE of table RDDOMS in the row with ID 2 "
            "is 32001 characters long; the column holds at most 2");
  run(source_, "UPDATE " + domains + " SET DOMTYPE='D' WHERE ID=2");
  run(source_,
      "INSERT INTO " + tableName(source_, "FLD") +
          " (FLD_ID, MET_6) VALUES (4, ?)",
      {huge});
  EXPECT_FALSE(admin_->copyRepository(source_, target_));
  EXPECT_EQ(error(),
            "The value of column MET_6 of table FLD in the row with FLD_ID 4 "
            "is 32001 characters long; the column holds at most 32000");
  EXPECT_EQ(targetContent(), before);
}

// The copy reads the source through the source's own connection: rows that
// a transaction open there holds are copied with the rest, also between
// two SQLite files, whose rows otherwise move past that connection. Rows
// that another connection has not committed are not.
TEST_P(CopyTest, TheSourceIsCopiedAsItsOwnConnectionSeesIt) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  const std::string tables = tableName(source_, "TBL");
  const std::string add =
      "INSERT INTO " + tables + " (DSN_ID, TBL_ID, TBL_NM) VALUES (1, ?, ?)";
  auto copied = [&] { return tableRows(target_, tableName(target_, "TBL")); };
  ReposDataAccess* from = source_->getDataAccess();
  ASSERT_TRUE(from->beginTransaction(false, nullptr));
  run(source_, add, {5, "held"});
  EXPECT_TRUE(admin_->copyRepository(source_, target_)) << error();
  EXPECT_TRUE(from->inTransaction());
  EXPECT_EQ(copied(), tableRows(source_, tables));
  EXPECT_EQ(copied().size(), 1u);
  EXPECT_TRUE(from->endTransaction(false));

  RepositoryImpl* other =
      keep(admin_->openFileRepository(dir_.file("source.db").c_str(), true));
  ASSERT_NE(other, nullptr);
  ReposDataAccess* writer = other->getDataAccess();
  ASSERT_TRUE(writer->beginTransaction(false, nullptr));
  run(other, add, {6, "other"});
  EXPECT_TRUE(admin_->copyRepository(source_, target_)) << error();
  EXPECT_TRUE(writer->endTransaction(false));
  EXPECT_EQ(copied(), std::vector<std::string>{});
}

// A table whose rows go the row path (RULE holds a long text) with more
// rows than one batch takes, and a last batch that is shorter: every row
// arrives, with its long text.
TEST_P(CopyTest, RowsArriveWholeBatchAfterBatch) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  for (int id = 3; id < 253; ++id)
    run(source_,
        "INSERT INTO " + tableName(source_, "RULE") +
            " (RU_ID, RU_DESC) VALUES (?, ?)",
        {id, KvbString(("rule " + std::to_string(id)).c_str())});
  ASSERT_TRUE(admin_->copyRepository(source_, target_)) << error();
  EXPECT_EQ(tableRows(target_, tableName(target_, "RULE")).size(), 252u);
  EXPECT_EQ(everyTable(target_), everyTable(source_));
}

// Two repositories in one SQLite file, under two table prefixes.
TEST_P(CopyTest, RepositoriesOfOneFileCopyIntoEachOther) {
  if (GetParam() != RdaTarget::kSqliteConnection)
    GTEST_SKIP() << "table prefixes of one SQLite file";
  const AdminDatabase db = newDatabase();
  RepositoryImpl* both[2] = {};
  for (RepositoryImpl*& repos : both) {
    const char* prefix = &repos == both ? "ka" : "kb";
    ASSERT_TRUE(admin_->createRepository(db.connection.c_str(), prefix))
        << error();
    repos = keep(admin_->openRepositoryConnection(db.connection.c_str(), prefix,
                                                  true, nullptr));
    ASSERT_NE(repos, nullptr);
  }
  fillSource(both[0]);
  ASSERT_TRUE(admin_->copyRepository(both[0], both[1])) << error();
  EXPECT_EQ(everyTable(both[1]), everyTable(both[0]));
}

// A repository that a newer engine wrote is neither copied from, which
// could lose what this engine does not know, nor copied into.
TEST_P(CopyTest, NewerRepositoryIsNeitherSourceNorTarget) {
  RepositoryImpl* current = fileRepository("current.db");
  const AdminDatabase newerDb = newDatabase();
  ASSERT_TRUE(create(newerDb)) << error();
  RepositoryImpl* newer = keep(open(newerDb));
  ASSERT_TRUE(current && newer);
  run(newer, "UPDATE " + tableName(newer, "INFO") +
                 " SET I_MVER = 5 WHERE I_TYPE = 'KVREPOSITORY'");
  newer->readVersionInfo();
  for (RepositoryImpl* repos : {current, newer})
    run(repos,
        "INSERT INTO " + tableName(repos, "RULE") +
            " (RU_ID, RU_DESC) VALUES (1, ?)",
        {KvbString(repos == newer ? "newer" : "current")});
  const std::vector<std::string> rules = tableRows(newer, tableName(newer, "RULE"));
  for (const bool newerIsSource : {false, true}) {
    EXPECT_FALSE(newerIsSource ? admin_->copyRepository(newer, current)
                               : admin_->copyRepository(current, newer));
    EXPECT_EQ(
        error().find(std::string(newerIsSource ? "The source" : "The target") +
                     " repository has version 7.5, newer than 7.4"),
        0u)
        << error();
  }
  EXPECT_EQ(tableRows(newer, tableName(newer, "RULE")), rules);
}

// A copy whose source UUID cannot be read cannot tell whether it would
// copy a repository onto itself: it is refused with the reason and leaves
// the target as it was. The read gives up waiting while another thread
// holds a transaction on the source's connection.
TEST_P(CopyTest, ASourceWhoseUuidCannotBeReadIsRefused) {
  ASSERT_NO_FATAL_FAILURE(sourceAndTarget());
  const std::vector<std::string> before = targetContent();
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "50");
  std::promise<void> begun, end;
  std::thread holder([&] {
    ReposDataAccess* from = source_->getDataAccess();
    EXPECT_TRUE(from->beginTransaction(false, nullptr));
    begun.set_value();
    end.get_future().wait();
    EXPECT_TRUE(from->endTransaction(false));
  });
  begun.get_future().wait();
  EXPECT_FALSE(admin_->copyRepository(source_, target_));
  end.set_value();
  holder.join();
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  const std::string head =
      "The copy could not tell whether the source and the target are the "
      "same repository: ";
  EXPECT_EQ(error().rfind(head, 0), 0u) << error();
  EXPECT_NE(error().find("gave up waiting"), std::string::npos) << error();
  EXPECT_EQ(targetContent(), before);
  EXPECT_FALSE(target_->getDataAccess()->inTransaction());
}

INSTANTIATE_ADMIN_TARGETS(CopyTest);

}  // namespace
