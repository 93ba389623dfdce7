// Copying repositories between back ends, and copies that fail or are refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/base_rdaimpl.h"
#include "schema/repos_tables.h"
#include "schema/repos_tables_xml.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"

namespace {

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
    ReposDataAccessStatement* statement =
        boundStatement(repos->getDataAccess(), sql, values);
    EXPECT_TRUE(statement && statement->execute())
        << sql << ": " << repos->getDataAccess()->getErrorMessage().asCstr();
    if (statement) statement->release();
  }
  static std::string table(RepositoryImpl* repos, const char* code,
                           int number = -1) {
    return repos->getDataAccess()->getTableName(code, true, number).str();
  }

  // A per-id table <code><id> with a text, an integer and a real column.
  static void idTable(RepositoryImpl* repos, const char* code, int id,
                      const std::string& text) {
    std::list<TableColumnInfo> columns(3);
    auto column = columns.begin();
    column->name = "VALTXT";
    column->size = repos->getMaxTextLength();
    (++column)->name = "VALCNT";
    column->type = kvbTypeInt;
    (++column)->name = "VALNUM";
    column->type = kvbTypeReal;
    ASSERT_TRUE(repos->getDataAccess()->createTable(
        (code + std::to_string(id)).c_str(), columns));
    for (int row = 0; row < 3; ++row)
      run(repos, "INSERT INTO " + table(repos, code, id) + " VALUES (?, ?, ?)",
          {KvbString(text + std::to_string(row)), row, row / 3.0});
  }

  // Every row of a table, long texts resolved, in text order.
  static std::vector<std::string> tableRows(RepositoryImpl* repos,
                                            const std::string& physical) {
    ReposDataAccess* rda = repos->getDataAccess();
    ReposDataAccessCursor* cursor =
        rda->paramSelect("SELECT * FROM " + physical, 0);
    EXPECT_TRUE(cursor && cursor->cacheAll()) << physical;
    std::vector<std::string> rows;
    while (cursor && cursor->next() == 1) {
      std::string row;
      for (int c = 0; c < cursor->getNumCols(); ++c) {
        KvbString full = cursor->getString(c);
        rda->readLongText(cursor->getString(c), &full, 0);
        row += full.str() + "|";
      }
      rows.push_back(row);
    }
    if (cursor) cursor->release();
    return sortedRows(rows);
  }

  // The rows of every table that a copy replaces; the counters are raised
  // to the target's ids and compared on their own.
  static std::vector<std::string> everyTable(RepositoryImpl* repos) {
    std::vector<std::string> names;
    for (const ReposColumnDef* defs :
         {reposCoreColumnDefs, reposNcoaColumnDefs})
      for (const ReposColumnDef* def = defs; !isEndRecord(*def); ++def) {
        const KvbString code = def->tableCode;
        while (!isEndRecord(*def)) ++def;
        if (code != "INFO" && code != "KEYVAL" && code != "BIGSTR" &&
            code != "UCURID")
          names.push_back(table(repos, code.asCstr()));
      }
    for (int s = 0; s < repos->getTableSetCount(); ++s)
      for (const ReposTableDef& t : repos->getTableSet(s)->tableDefs)
        names.push_back(table(repos, t.name.asCstr()));
    for (const char* code : {"FRQDST", "HSM", "HCM"})
      names.push_back(table(repos, code, code[0] == 'F' ? 2 : 1));
    std::vector<std::string> rows;
    for (const std::string& name : names)
      for (const std::string& row : tableRows(repos, name))
        rows.push_back(name + ":" + row);
    return rows;
  }

  std::vector<std::unique_ptr<RepositoryImpl, void (*)(RepositoryImpl*)>>
      opened_;
  LogCapture log_;
};

TEST_P(CopyTest, CopyThereAndBackEqualsTheSourceRowForRow) {
  RepositoryImpl* source = fileRepository("source.db");
  const AdminDatabase middleDb = newDatabase();
  ASSERT_TRUE(create(middleDb)) << error();
  RepositoryImpl* middle = keep(open(middleDb, true));
  RepositoryImpl* back = fileRepository("back.db");
  ASSERT_TRUE(source && middle && back);

  const std::string longText(40000, 'L');
  KvbString marker;
  ASSERT_TRUE(source->writeLongText(longText.c_str(), &marker, 0));
  run(source,
      "INSERT INTO " + table(source, "RULE") +
          " (RU_ID, RU_DESC, RU_EXPR) VALUES (1, 'r', ?), (2, NULL, ?)",
      {marker, "short <expr>"});
  run(source,
      "INSERT INTO " + table(source, "FLD") +
          " (DSN_ID, TBL_ID, FLD_ID, FLD_NAME, MET_0, MET_6) VALUES "
          "(1, 1, 2, 'f', 'm0', ?)",
      {KvbString(std::string(300, 'm'))});
  run(source, "INSERT INTO " + table(source, "FRQDST") +
                  " (FLD_ID, FR_VAL, FR_CNT, FR_MC) VALUES (2, 'v', 3, 'mc')");
  run(source, "INSERT INTO " + table(source, "HGMETA") +
                  " (HGM_ID, GRP1) VALUES (1, 'g')");
  run(source, "INSERT INTO " + table(source, "RDDOMS") +
                  " (ID, DOMNAME, LOCKDATE) VALUES (1, 'd', 45000.125)");
  idTable(source, "FRQDST", 2, std::string(300, 'v'));
  idTable(source, "HSM", 1, "h");
  idTable(source, "HCM", 1, "c");
  run(middle, "INSERT INTO " + table(middle, "KEYVAL") +
                  " (V_KEY, V_VALUE) VALUES ('k', 'middle')");
  const KvbString middleUuid = middle->getRepositoryUUID();

  // Refusals, and a copy that fails part-way.
  EXPECT_FALSE(admin_->copyRepository(nullptr, middle));
  EXPECT_EQ(error(), libraryMessage(1307));
  EXPECT_FALSE(admin_->copyRepository(source, source));
  run(middle, "DROP TABLE " + table(middle, "NOTCAT"));
  run(middle,
      "CREATE TABLE " + table(middle, "NOTCAT") +
          " (NCAT_ID INTEGER, NCAT_DSC VARCHAR(255), X INTEGER NOT NULL)");
  EXPECT_FALSE(admin_->copyRepository(source, middle));
  EXPECT_FALSE(error().empty());
  EXPECT_EQ(tableRows(middle, table(middle, "FLD")).size(), 0u);
  EXPECT_EQ(tableRows(middle, table(middle, "BIGSTR")).size(), 0u);
  run(middle, "DROP TABLE " + table(middle, "NOTCAT"));
  ASSERT_TRUE(middle->getDataAccess()->checkTables(TableCreateOptions()));

  ASSERT_TRUE(admin_->copyRepository(source, middle)) << error();
  ASSERT_TRUE(admin_->copyRepository(middle, back)) << error();
  EXPECT_EQ(everyTable(back), everyTable(source));
  EXPECT_EQ(tableRows(middle, table(middle, "KEYVAL")),
            std::vector<std::string>{"k|middle|"});
  EXPECT_EQ(middle->getRepositoryUUID(), middleUuid);
  // The counters hand out no id that a copied row holds.
  for (const char* key : {"BIGSTR", "RULE"}) {
    int id = 0;
    ASSERT_TRUE(back->getNextID(key, &id, nullptr));
    EXPECT_GT(id, 2) << key;
  }
}

// A repository that a newer engine wrote is neither copied from, which
// could lose what this engine does not know, nor copied into.
TEST_P(CopyTest, NewerRepositoryIsNeitherSourceNorTarget) {
  RepositoryImpl* current = fileRepository("current.db");
  const AdminDatabase newerDb = newDatabase();
  ASSERT_TRUE(create(newerDb)) << error();
  RepositoryImpl* newer = keep(open(newerDb));
  ASSERT_TRUE(current && newer);
  run(newer, "UPDATE " + table(newer, "INFO") +
                 " SET I_MVER = 5 WHERE I_TYPE = 'KVREPOSITORY'");
  newer->readVersionInfo();
  for (RepositoryImpl* repos : {current, newer})
    run(repos,
        "INSERT INTO " + table(repos, "RULE") +
            " (RU_ID, RU_DESC) VALUES (1, ?)",
        {KvbString(repos == newer ? "newer" : "current")});
  const std::vector<std::string> rules = tableRows(newer, table(newer, "RULE"));
  for (const bool newerIsSource : {false, true}) {
    EXPECT_FALSE(newerIsSource ? admin_->copyRepository(newer, current)
                               : admin_->copyRepository(current, newer));
    EXPECT_EQ(
        error().find(std::string(newerIsSource ? "The source" : "The target") +
                     " repository has version 7.5, newer than 7.4"),
        0u)
        << error();
  }
  EXPECT_EQ(tableRows(newer, table(newer, "RULE")), rules);
}

INSTANTIATE_ADMIN_TARGETS(CopyTest);

}  // namespace
