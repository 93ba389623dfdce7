// The repository connection on every back end: nested transactions, id
// counters under concurrency, long texts, parameterised SQL and prepared
// statements, names and column lists, cursor column names, error texts,
// table-prefix checks, the repository id and the factory.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/rda_targets.h"
#include "support/temp_dir.h"

namespace {

std::string message(int id) {
  return kvb_get_message("test", __LINE__, "Repository Library", id).str();
}

class RdaConnectionTest : public RdaTargetTest {
 protected:
  void createTables() {
    ASSERT_TRUE(createCoreTables()) << rda_->getErrorMessage().asCstr();
  }
  KvbString table(const char* code) {
    return rda_->getTableName(code, true, -1);
  }
  // The FOLDER rows with the id as `c` sees them; -1 on a failure.
  int folders(ReposDataAccess* c, int id) {
    KvbDatavar key(id);
    int n = -1;
    return c->paramSingleton(
               "SELECT COUNT(*) FROM " + table("FOLDER") + " WHERE FLDR_ID = ?",
               &n, 1, &key)
               ? n
               : -1;
  }
  bool addFolder(ReposDataAccess* c, int id, const char* name) {
    KvbDatavar key(id), text(name);
    return c->paramExec(
        "INSERT INTO " + table("FOLDER") + " (FLDR_ID, FLDR_NAM) VALUES (?, ?)",
        nullptr, 2, &key, &text);
  }
  // Runs drawIds on two threads on the connections given and checks that
  // they got 1200 different ids and that the counter holds one row.
  void drawOnTwoThreads(ReposDataAccess* a, ReposDataAccess* b);
  // The test's database through the factory with any prefix, without
  // failing the test when it is refused.
  ReposDataAccess* openRaw(const KvbString& prefix, KvbString& error) {
    if (GetParam() == RdaTarget::kSqliteFile)
      return createReposDataAccess(1, file_, prefix, nullptr, error);
    const std::string connection =
        isPostgres() ? postgresConnectionString()
                     : "FILE=" + file_ + ";CREATE=TRUE;KVXTYPE=SQLITE";
    return createReposDataAccess(0, connection, prefix, nullptr, error);
  }
};

// --- Transactions -----------------------------------------------------------

TEST_P(RdaConnectionTest, NestedTransactionsCommitOnlyAtTheOutermostEnd) {
  createTables();
  ReposDataAccess* other = open();
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(rda_->inTransaction());
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 1, "inner"));
  EXPECT_TRUE(rda_->endTransaction(true));
  EXPECT_TRUE(rda_->inTransaction());
  EXPECT_EQ(folders(other, 1), 0) << "an inner end must not commit";
  EXPECT_TRUE(rda_->endTransaction(true));
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(folders(other, 1), 1);

  // An inner rollback dooms the whole transaction.
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 2, "lost"));
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  EXPECT_TRUE(rda_->endTransaction(false));
  EXPECT_FALSE(rda_->endTransaction(true));
  EXPECT_FALSE(rda_->getErrorMessage().isEmpty());
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(folders(other, 2), 0);
  EXPECT_EQ(folders(rda_, 2), 0);

  // The next transaction starts clean.
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 3, "kept"));
  ASSERT_TRUE(rda_->endTransaction(true)) << rda_->getErrorMessage().asCstr();
  EXPECT_EQ(folders(other, 3), 1);
  other->release();
}

TEST_P(RdaConnectionTest, EndWithoutBeginFailsWithTheCatalogueText) {
  EXPECT_FALSE(rda_->endTransaction(true));
  EXPECT_EQ(rda_->getErrorMessage().str(), message(1065));
  // With an earlier failure on record the other text applies.
  EXPECT_EQ(rda_->paramSelect("SELECT a FROM no_such_table_x", 0), nullptr);
  EXPECT_FALSE(rda_->endTransaction(false));
  EXPECT_EQ(rda_->getLastError().str(), message(1068));
  EXPECT_FALSE(rda_->inTransaction());
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  EXPECT_TRUE(rda_->endTransaction(true));
}

// --- Id counters ------------------------------------------------------------

TEST_P(RdaConnectionTest, IdBlocksAreConsecutive) {
  KvbDatavar first(99);
  KvbString error;
  // Without UCURID the draw fails and leaves no transaction behind.
  EXPECT_FALSE(rda_->getNextIDs("FOLDER", 2, first, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_TRUE(first.isNull());
  EXPECT_FALSE(rda_->inTransaction());

  createTables();
  ASSERT_TRUE(rda_->getNextIDs("FOLDER", 5, first, &error)) << error.asCstr();
  EXPECT_EQ(first.asInt(), 1);
  ASSERT_TRUE(rda_->getNextIDs("FOLDER", 3, first, nullptr));
  EXPECT_EQ(first.asInt(), 6);
  ASSERT_TRUE(rda_->getNextIDs("FOLDER", 0, first, nullptr));
  EXPECT_EQ(first.asInt(), 9);
  ASSERT_TRUE(rda_->getNextIDs("FOLDER", -7, first, nullptr));
  EXPECT_EQ(first.asInt(), 10);
  ASSERT_TRUE(rda_->getNextID("FOLDER", first));
  EXPECT_EQ(first.asInt(), 11);
  ASSERT_TRUE(rda_->getNextID("RULE", first));
  EXPECT_EQ(first.asInt(), 1);
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(rows(rda_->paramSelect("SELECT NI_KEY, NI_VAL FROM " +
                                       table("UCURID") + " ORDER BY NI_KEY",
                                   0)),
            (std::vector<std::string>{"FOLDER|11", "RULE|1"}));
}

// Draws 200 blocks of 3 ids of the fresh counter JOB on `c` once `go` is
// set.
void drawIds(ReposDataAccess* c, const std::atomic<bool>* go,
             std::vector<int>* ids, std::string* error) {
  while (!go->load()) std::this_thread::yield();
  for (int i = 0; i < 200; ++i) {
    KvbDatavar first;
    KvbString text;
    if (!c->getNextIDs("JOB", 3, first, &text)) {
      *error = text.str();
      return;
    }
    for (int k = 0; k < 3; ++k) ids->push_back(first.asInt() + k);
  }
}

void RdaConnectionTest::drawOnTwoThreads(ReposDataAccess* a,
                                         ReposDataAccess* b) {
  std::atomic<bool> go{false};
  std::vector<int> ids[2];
  std::string errors[2];
  std::thread first(drawIds, a, &go, &ids[0], &errors[0]);
  std::thread second(drawIds, b, &go, &ids[1], &errors[1]);
  go = true;
  first.join();
  second.join();
  EXPECT_EQ(errors[0], "");
  EXPECT_EQ(errors[1], "");
  std::set<int> all(ids[0].begin(), ids[0].end());
  all.insert(ids[1].begin(), ids[1].end());
  EXPECT_EQ(ids[0].size() + ids[1].size(), 1200u);
  EXPECT_EQ(all.size(), 1200u) << "two threads got the same id";
  EXPECT_EQ(rows(rda_->paramSelect("SELECT NI_VAL FROM " + table("UCURID") +
                                       " WHERE NI_KEY = 'JOB'",
                                   0)),
            std::vector<std::string>{"1200"})
      << "one counter row holding the last id";
}

TEST_P(RdaConnectionTest, ConnectionsDrawingAtOnceGetDisjointIds) {
  createTables();
  ReposDataAccess* a = open();
  ReposDataAccess* b = open();
  ASSERT_TRUE(a && b);
  drawOnTwoThreads(a, b);
  a->release();
  b->release();
}

TEST_P(RdaConnectionTest, ThreadsSharingAConnectionGetDisjointIds) {
  createTables();
  drawOnTwoThreads(rda_, rda_);
}

// --- Long texts -------------------------------------------------------------

TEST_P(RdaConnectionTest, LongTextsRoundTripByteForByte) {
  createTables();
  const int limit = rda_->getMaxTextLength();
  ASSERT_EQ(limit, 32000);
  KvbString marker("untouched");
  EXPECT_FALSE(
      rda_->writeLongText(std::string(limit, 'a').c_str(), &marker, 0));
  EXPECT_EQ(marker.str(), "untouched");

  // 9-byte groups after one ASCII byte put byte 32000 inside a character.
  std::string text = "x";
  while (text.size() < 70000) text += "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  ASSERT_EQ(static_cast<unsigned char>(text[limit]) & 0xC0, 0x80);
  ASSERT_TRUE(rda_->writeLongText(text.c_str(), &marker, 0))
      << rda_->getErrorMessage().asCstr();
  EXPECT_LT(marker.length(), 100u);
  KvbString full;
  ASSERT_TRUE(rda_->readLongText(marker, &full, 0))
      << rda_->getErrorMessage().asCstr();
  EXPECT_TRUE(full.str() == text) << "read back " << full.length() << " bytes";

  // Each stored piece fits a column and starts on a character.
  ReposDataAccessCursor* pieces = rda_->paramSelect(
      "SELECT BS_TEXT FROM " + table("BIGSTR") + " ORDER BY BS_SEQ", 0);
  ASSERT_NE(pieces, nullptr);
  int count = 0;
  for (; pieces->next() == 1; ++count) {
    const std::string piece = pieces->getString(0).str();
    ASSERT_FALSE(piece.empty());
    EXPECT_LE(piece.size(), static_cast<size_t>(limit));
    EXPECT_NE(static_cast<unsigned char>(piece[0]) & 0xC0, 0x80);
  }
  pieces->release();
  EXPECT_EQ(count, 3);

  ReposDataAccess* other = open();
  ASSERT_NE(other, nullptr);
  KvbString again, plain;
  ASSERT_TRUE(other->readLongText(marker, &again, 0));
  EXPECT_TRUE(again.str() == text);
  ASSERT_TRUE(other->readLongText("O'Brien \xE2\x82\xAC", &plain, 0));
  EXPECT_EQ(plain.str(), "O'Brien \xE2\x82\xAC");
  // The same marker shape with an id that names nothing.
  const std::string missing =
      std::regex_replace(marker.str(), std::regex("[0-9]+"), "987654");
  ASSERT_NE(missing, marker.str());
  EXPECT_FALSE(other->readLongText(missing.c_str(), &plain, 0));
  EXPECT_FALSE(other->getErrorMessage().isEmpty());
  other->release();
}

// --- Parameterised SQL ------------------------------------------------------

TEST_P(RdaConnectionTest, ValuesOfEveryKindBindAndReadBack) {
  createTables();
  const KvbString note = "It's \"quoted\" \xC3\xBC\xE2\x80\x93\xE6\xBC\xA2";
  KvbDatavar id(1), fld(2147483647), text(note), date(45123.625);
  KvbDatavar noUser = KvbDatavar::nullOf(kvbTypeString);
  KvbDatavar noCategory = KvbDatavar::nullOf(kvbTypeInt);
  int rowCount = -1;
  ASSERT_TRUE(rda_->paramExec("INSERT INTO " + table("FLDNOT") +
                                  " (FN_ID, FLD_ID, FN_NOTE, FN_USER, "
                                  "FN_DATE, NCAT_ID) VALUES (?, ?, ?, ?, ?, ?)",
                              &rowCount, 6, &id, &fld, &text, &noUser, &date,
                              &noCategory))
      << rda_->getErrorMessage().asCstr();
  EXPECT_EQ(rowCount, 1);
  ReposDataAccessCursor* c = rda_->paramSelect(
      "SELECT FLD_ID, FN_NOTE, FN_USER, FN_DATE, NCAT_ID FROM " +
          table("FLDNOT") + " WHERE FN_NOTE = ?",
      1, &text);
  ASSERT_NE(c, nullptr) << rda_->getErrorMessage().asCstr();
  ASSERT_EQ(c->next(), 1);
  EXPECT_EQ(c->getInt(0), 2147483647);
  EXPECT_EQ(c->getString(1).str(), note.str());
  EXPECT_TRUE(c->isNull(2));
  EXPECT_DOUBLE_EQ(c->getDouble(3), 45123.625);
  EXPECT_TRUE(c->getValue(4).isNull());
  c->release();

  // A 64-bit value that a 32-bit binding would wrap to 1.
  KvbDatavar big(static_cast<int64_t>(4294967297LL));
  c = rda_->paramSelect("SELECT CAST(? AS BIGINT)", 1, &big);
  ASSERT_NE(c, nullptr) << rda_->getErrorMessage().asCstr();
  ASSERT_EQ(c->next(), 1);
  EXPECT_EQ(c->getValue(0).asInt64(), 4294967297LL);
  c->release();

  // Declared marker types convert the values bound to them.
  KvbDatavar textId("12"), numberName(34), realParent(5.0), norm("n'b");
  ASSERT_TRUE(rda_->paramExecWTypes(
      "INSERT INTO " + table("FOLDER") +
          " (FLDR_ID, FLDR_NAM, FLDR_PAR, NAM_NORM) VALUES (?, ?, ?, ?)",
      nullptr, "ISIS", 4, &textId, &numberName, &realParent, &norm))
      << rda_->getErrorMessage().asCstr();
  EXPECT_EQ(rows(rda_->paramSelect("SELECT FLDR_ID, FLDR_NAM, FLDR_PAR, "
                                   "NAM_NORM FROM " +
                                       table("FOLDER"),
                                   0)),
            std::vector<std::string>{"12|34|5|n'b"});
}

TEST_P(RdaConnectionTest, ExecCountsRowsAndSingletonNeedsARow) {
  createTables();
  for (int i = 1; i <= 4; ++i) ASSERT_TRUE(addFolder(rda_, i, "f"));
  KvbDatavar parent(9), from(2), none(100), four(4);
  int rowCount = -1;
  ASSERT_TRUE(rda_->paramExec(
      "UPDATE " + table("FOLDER") + " SET FLDR_PAR = ? WHERE FLDR_ID > ?",
      &rowCount, 2, &parent, &from));
  EXPECT_EQ(rowCount, 2);
  ASSERT_TRUE(
      rda_->paramExec("DELETE FROM " + table("FOLDER") + " WHERE FLDR_ID = ?",
                      &rowCount, 1, &none));
  EXPECT_EQ(rowCount, 0);

  const KvbString query =
      "SELECT FLDR_PAR FROM " + table("FOLDER") + " WHERE FLDR_ID = ?";
  int result = -77;
  EXPECT_FALSE(rda_->paramSingleton(query, &result, 1, &none));
  EXPECT_EQ(result, -77);
  EXPECT_EQ(rda_->getErrorMessage().str(), message(1053));
  ASSERT_TRUE(rda_->paramSingleton(query, &result, 1, &four));
  EXPECT_EQ(result, 9);
}

TEST_P(RdaConnectionTest, PreparedStatementsRunManyTimes) {
  createTables();
  ReposDataAccessStatement* insert = rda_->createStatement(
      "INSERT INTO " + table("FOLDER") + " (FLDR_ID, FLDR_NAM) VALUES (?, ?)");
  ASSERT_NE(insert, nullptr) << rda_->getErrorMessage().asCstr();
  insert->setParameterInfo(0, kvbTypeInt, 0);
  insert->setParameterInfo(1, kvbTypeString, 255);
  for (int i = 1; i <= 50; ++i) {
    ASSERT_TRUE(insert->setParameter(0, KvbDatavar(i)));
    ASSERT_TRUE(insert->setParameter(1, KvbDatavar(kvbStringFormat("n%d", i))));
    ASSERT_TRUE(insert->execute()) << insert->getErrorMessage().asCstr();
  }
  // A value stays bound until it is bound again.
  ASSERT_TRUE(insert->setParameter(0, KvbDatavar(51)));
  ASSERT_TRUE(insert->execute()) << insert->getErrorMessage().asCstr();
  insert->release();

  ReposDataAccessStatement* query =
      rda_->createStatement("SELECT FLDR_NAM FROM " + table("FOLDER") +
                            " WHERE FLDR_ID >= ? ORDER BY FLDR_ID");
  ASSERT_NE(query, nullptr);
  for (int i : {3, 49}) {
    ASSERT_TRUE(query->setParameter(0, KvbDatavar(i)));
    ReposDataAccessCursor* c = query->select();
    ASSERT_NE(c, nullptr) << query->getErrorMessage().asCstr();
    ASSERT_EQ(c->next(), 1);
    EXPECT_EQ(c->getString(0).str(), kvbStringFormat("n%d", i).str());
    c->release();
  }
  // The cursor outlives its statement.
  ReposDataAccessCursor* outliving = query->select();
  ASSERT_NE(outliving, nullptr);
  query->release();
  EXPECT_EQ(rows(outliving), (std::vector<std::string>{"n49", "n50", "n50"}));
}

TEST_P(RdaConnectionTest, CachedCursorLetsOtherStatementsRunMeanwhile) {
  createTables();
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(addFolder(rda_, i, "old"));
  ReposDataAccessCursor* c = rda_->paramSelect(
      "SELECT FLDR_ID FROM " + table("FOLDER") + " ORDER BY FLDR_ID", 0);
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(c->cacheAll());
  std::vector<int> seen;
  while (c->next() == 1) {
    seen.push_back(c->getInt(0));
    ASSERT_TRUE(addFolder(rda_, 100 + seen.back(), "new"))
        << rda_->getErrorMessage().asCstr();
    EXPECT_EQ(folders(rda_, 100 + seen.back()), 1);
  }
  c->release();
  // The rows added meanwhile are not among those read.
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

// --- Names ------------------------------------------------------------------

TEST_P(RdaConnectionTest, NamesFollowPrefixSchemaAndQuote) {
  const std::string q = rda_->getIdentifierQuote().str();
  KvbString prefix, error;
  ASSERT_TRUE(rda_->getTablePrefix(false, &prefix, &error));
  EXPECT_EQ(prefix.str(), prefix_);
  EXPECT_FALSE(rda_->getTablePrefix(true, nullptr, &error));
  EXPECT_FALSE(error.isEmpty());
  if (isPostgres()) {
    EXPECT_EQ(q, "");
    ASSERT_TRUE(rda_->getTablePrefix(true, &prefix, nullptr));
    EXPECT_EQ(prefix.str(), "kv");
    EXPECT_EQ(rda_->getSchemaName().str(), schema_);
    EXPECT_EQ(table("FOLDER").str(), schema_ + ".kvFOLDER");
    EXPECT_EQ(rda_->getTableName("HSM", false, 12).str(), schema_ + ".kvHSM12");
    EXPECT_EQ(rda_->getIndexName(7, "ab").str(), "kvidxab7");
  } else {
    EXPECT_EQ(rda_->getSchemaName().str(), "");
    EXPECT_EQ(rda_->getTableName("HSM", false, 0).str(), "HSM0");
    EXPECT_EQ(rda_->getIndexName(7, "ab").str(), "idxab7");
    if (GetParam() == RdaTarget::kSqliteFile) {
      // Names are quoted although no quote is offered to callers.
      EXPECT_EQ(q, "");
      EXPECT_EQ(table("FOLDER").str(), "\"FOLDER\"");
    } else {
      EXPECT_EQ(rda_->getTableName("FOLDER", true, 3).str(), q + "FOLDER3" + q);
    }
    // Only the connection-string route takes a prefix.
    ReposDataAccess* other = open("zz");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->getTableName("FOLDER", false, -1).str(),
              GetParam() == RdaTarget::kSqliteFile ? "FOLDER" : "zzFOLDER");
    other->release();
  }
}

TEST_P(RdaConnectionTest, ColumnListsAndCursorNamesMatchTheTables) {
  const KvbString fld = rda_->getColumnList("FLD", nullptr);
  EXPECT_TRUE(
      fld.startsWith("DSN_ID, TBL_ID, FLD_ID, FLD_TYPE, FLD_NAME, "
                     "MET_0, MET_1, "))
      << fld.asCstr();
  EXPECT_NE(fld.find("MET_22, MET_23, DOM_ID, RDACFGID"), KvbString::npos);
  const KvbString aliased = rda_->getColumnList("FLD", "f");
  EXPECT_TRUE(aliased.startsWith("f.DSN_ID, f.TBL_ID, ")) << aliased.asCstr();
  EXPECT_NE(aliased.find("f.MET_23, f.DOM_ID"), KvbString::npos);
  EXPECT_TRUE(rda_->getColumnList("NCOALO", nullptr)
                  .startsWith("LO_ID, BUSNAME, ADDR, "));
  EXPECT_EQ(rda_->getColumnList("NOSUCH", nullptr).str(), "*");
  EXPECT_EQ(rda_->getColumnList("NOSUCH", "o").str(), "o.*");

  createTables();
  ReposDataAccessCursor* c = rda_->paramSelect(
      "SELECT " + aliased + " FROM " + table("FLD") + " f", 0);
  ASSERT_NE(c, nullptr) << rda_->getErrorMessage().asCstr();
  EXPECT_EQ(c->getNumCols(), 31);
  EXPECT_EQ(c->getColName(5).str(), "MET_0");
  c->release();

  // Column names come upper case, whatever case the database keeps.
  ASSERT_TRUE(addFolder(rda_, 1, "a"));
  c = rda_->paramSelect("SELECT FLDR_ID, FLDR_NAM FROM " + table("FOLDER"), 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->getColName(0).str(), "FLDR_ID");
  EXPECT_EQ(c->getColName(1).str(), "FLDR_NAM");
  EXPECT_EQ(c->getColumnIndex("fldr_nam"), 1);
  EXPECT_EQ(c->getColumnIndex("NOPE"), -1);
  c->release();
  c = rda_->paramSelect("SELECT * FROM " + table("FOLDER"), 0);
  ASSERT_NE(c, nullptr);
  std::string names;
  for (int i = 0; i < c->getNumCols(); ++i)
    names += (i ? ", " : "") + c->getColName(i).str();
  EXPECT_EQ(names, rda_->getColumnList("FOLDER", nullptr).str());
  c->release();
}

// --- Errors -----------------------------------------------------------------

TEST_P(RdaConnectionTest, FailuresLeaveTheirReason) {
  createTables();
  const std::regex sqlState(R"(\[[0-9A-Z]{5}\])");
  EXPECT_EQ(rda_->paramSelect("SELECT a FROM no_such_table_q", 0), nullptr);
  const std::string missing = rda_->getErrorMessage().str();
  EXPECT_NE(missing.find("no_such_table_q"), std::string::npos) << missing;
  EXPECT_EQ(rda_->getLastError().str(), missing);
  EXPECT_FALSE(rda_->paramExec("INSRT INTO " + table("FOLDER") + " VALUES (1)",
                               nullptr, 0));
  const std::string syntax = rda_->getErrorMessage().str();
  EXPECT_NE(syntax.find("INSRT"), std::string::npos) << syntax;
  if (isPostgres()) {
    EXPECT_TRUE(std::regex_search(missing, sqlState)) << missing;
    EXPECT_TRUE(std::regex_search(syntax, sqlState)) << syntax;
  }

  ASSERT_TRUE(addFolder(rda_, 1, "a"));
  ReposDataAccessStatement* s = rda_->createStatement(
      "INSERT INTO " + table("FOLDER") + " (FLDR_ID) VALUES (?)");
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(s->setParameter(0, KvbDatavar(1)));
  EXPECT_FALSE(s->execute());
  EXPECT_FALSE(s->getErrorMessage().isEmpty());
  s->release();
  EXPECT_TRUE(addFolder(rda_, 2, "c")) << rda_->getErrorMessage().asCstr();
}

// --- Opening ----------------------------------------------------------------

TEST_P(RdaConnectionTest, HostileTablePrefixesAreRefused) {
  for (const char* prefix : {"kv; DROP TABLE x", "a.b.c", "1abc", "a b", ".kv",
                             "kv.", "kv\"x", "a-b"}) {
    KvbString error;
    ReposDataAccess* c = openRaw(prefix, error);
    if (GetParam() == RdaTarget::kSqliteFile) {
      // This back end takes no prefix at all.
      ASSERT_NE(c, nullptr) << prefix;
      EXPECT_EQ(c->getTableName("FOLDER", false, -1).str(), "FOLDER");
      c->release();
      continue;
    }
    EXPECT_EQ(c, nullptr) << prefix;
    EXPECT_NE(error.find(prefix), KvbString::npos) << error.asCstr();
    if (c) c->release();
  }
  KvbString error;
  ReposDataAccess* c = openRaw("sch_1.pre_2", error);
  ASSERT_NE(c, nullptr) << error.asCstr();
  if (GetParam() != RdaTarget::kSqliteFile) {
    EXPECT_EQ(c->getTableName("INFO", false, -1).str(), "sch_1.pre_2INFO");
  }
  c->release();
}

TEST_P(RdaConnectionTest, RepositoryUuidComesFromTheInfoRow) {
  EXPECT_EQ(rda_->getRepositoryUUID().str(), "");
  createTables();
  EXPECT_EQ(rda_->getRepositoryUUID().str(), "");
  KvbDatavar ncoa("NCOA"), type("KVREPOSITORY"), version(7);
  KvbDatavar wrong("not-this-one"),
      uuid("3f2c9a7e-0000-4b1d-9c3e-5a6b7c8d9e0f");
  const KvbString insert = "INSERT INTO " + table("INFO") +
                           " (I_TYPE, I_VERS, I_UUID) VALUES (?, ?, ?)";
  ASSERT_TRUE(rda_->paramExec(insert, nullptr, 3, &ncoa, &version, &wrong));
  EXPECT_EQ(rda_->getRepositoryUUID().str(), "");
  ASSERT_TRUE(rda_->paramExec(insert, nullptr, 3, &type, &version, &uuid));
  EXPECT_EQ(rda_->getRepositoryUUID().str(), uuid.asString().str());
}

TEST_P(RdaConnectionTest, FactoryRefusesUnknownKindsAndMissingFiles) {
  for (int kind : {3, -1}) {
    KvbString error;
    EXPECT_EQ(createReposDataAccess(kind, file_.c_str(), "", nullptr, error),
              nullptr);
    EXPECT_FALSE(error.isEmpty());
  }
  TempDir dir;
  const std::string missing = dir.file("missing.db");
  KvbString error;
  EXPECT_EQ(createReposDataAccess(2, missing.c_str(), "", nullptr, error),
            nullptr);
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(std::filesystem::exists(missing));
  if (!isPostgres()) {
    ReposDataAccess* c =
        createReposDataAccess(2, file_.c_str(), "", nullptr, error);
    ASSERT_NE(c, nullptr) << error.asCstr();
    c->release();
  }
}

INSTANTIATE_RDA_TARGETS(RdaConnectionTest);

}  // namespace
