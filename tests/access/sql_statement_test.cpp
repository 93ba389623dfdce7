// The statement builder: what each rule counts as given, how WHERE and SET
// clauses open and join, and the declared types reaching every database.
#include "access/sql_statement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/base_rdaimpl.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

// The markers' values as "type:value" texts, declared size after a "/".
std::vector<std::string> bound(const SqlStatement& statement) {
  std::vector<std::string> out;
  for (const QueryParam& p : statement.params())
    out.push_back(std::to_string(p.type) + ":" +
                  (p.value.isNull() ? "null" : p.value.asString().str()) +
                  (p.size ? "/" + std::to_string(p.size) : ""));
  return out;
}

TEST(SqlStatementGiven, EachRuleKeepsItsValues) {
  const KvbDatavar nullText{KvbString()}, nullDate{KvbDate()};
  const struct {
    Given rule;
    std::vector<KvbDatavar> given, notGiven;
  } cases[] = {
      {Given::kAlways, {nullText, -1, ""}, {}},
      {Given::kNotNull, {"", -1, 0.5}, {nullText, nullDate, KvbDatavar()}},
      {Given::kNotEmpty, {"x"}, {"", nullText}},
      {Given::kNotMinusOne, {0, -2, 7}, {-1, KvbDatavar::nullOf(kvbTypeInt)}},
      {Given::kNotNegative, {0, 7}, {-1, -2, KvbDatavar::nullOf(kvbTypeInt)}},
  };
  for (const auto& c : cases) {
    const int rule = static_cast<int>(c.rule);
    for (const KvbDatavar& v : c.given)
      EXPECT_TRUE(isGiven(v, c.rule)) << rule << " " << v.asString().str();
    for (const KvbDatavar& v : c.notGiven)
      EXPECT_FALSE(isGiven(v, c.rule)) << rule << " " << v.asString().str();
  }
}

TEST(SqlStatementClauses, SetThenWhereOpenAndJoinWithoutSearchingTheText) {
  // The table name holds both words; neither counts as an open clause.
  SqlStatement update("UPDATE \"SET WHERE\"");
  update.set("A=?", -1, Given::kNotMinusOne);
  EXPECT_FALSE(update.anySet());
  update.set("A=?", 1).set(SqlField{"B", "b"}).set({"C", "", Given::kNotEmpty});
  update.where({"K", 2}).where("L<?", 3).where("M=?", -1, Given::kNotNegative);
  EXPECT_EQ(update.sql().str(),
            "UPDATE \"SET WHERE\" SET A=?, B=? WHERE K=? AND L<?");
  EXPECT_TRUE(update.anySet() && update.anyWhere());
  EXPECT_EQ(bound(update),
            (std::vector<std::string>{"2:1", "4:b", "2:2", "2:3"}));

  // A clause open in the text is continued; text appended may close it.
  SqlStatement join("SELECT 1 FROM A INNER JOIN B ON A.X=B.X", true);
  join.where({{"B.Y", -1, Given::kNotMinusOne}, {"B.Z", 4}});
  join.append(" WHERE A.V=?", true).bind(5).where("A.W=?", 6);
  join.append(") OR (1=1", false).where("A.U=?", 7);
  EXPECT_EQ(join.sql().str(),
            "SELECT 1 FROM A INNER JOIN B ON A.X=B.X AND B.Z=? WHERE A.V=? "
            "AND A.W=?) OR (1=1 WHERE A.U=?");
  EXPECT_EQ(bound(join),
            (std::vector<std::string>{"2:4", "2:5", "2:6", "2:7"}));

  // Declared types and widths travel with the values, null or not.
  QueryParam width;
  width.value = KvbDatavar("ab");
  width.type = kvbTypeString;
  width.size = 30;
  SqlStatement declared("DELETE FROM T");
  declared.where({"W", width, Given::kNotEmpty})
      .where({"D", KvbDate(), Given::kAlways});
  EXPECT_EQ(bound(declared), (std::vector<std::string>{"4:ab/30", "6:null"}));
}

// A probe that runs built statements.
class ProbeAccess : public ReposDataAccessObject {};
class Probe : public RDA_Object<ProbeAccess> {
 public:
  explicit Probe(ReposDataAccess* rda) : RDA_Object(rda) {}
  using BaseRDAImpl::addNumbered, BaseRDAImpl::firstRow, BaseRDAImpl::listGiven,
      BaseRDAImpl::lookup, BaseRDAImpl::upsert, BaseRDAImpl::query,
      BaseRDAImpl::run, BaseRDAImpl::table, BaseRDAImpl::updateGiven;
};

class SqlStatementTest : public RdaObjectTest<Probe> {
 protected:
  Probe*& probe_ = object_;
  LogCapture log_;  // keeps the expected failures off the console
};

// An untyped null declared an integer, and a text declared an integer,
// arrive as integers: PostgreSQL refuses a text where it compares or
// stores an integer.
TEST_P(SqlStatementTest, DeclaredTypesReachTheDatabase) {
  storeKeys("FOLDER", "FLDR_ID", {1, 2});
  QueryParam nullInt;
  nullInt.type = kvbTypeInt;
  QueryParam textInt;
  textInt.value = KvbDatavar("1");
  textInt.type = kvbTypeInt;
  SqlStatement update("UPDATE " + probe_->table("FOLDER"));
  update.set({"FLDR_PAR", nullInt, Given::kAlways})
      .where({"FLDR_ID", textInt, Given::kAlways});
  int changed = 0;
  ASSERT_TRUE(probe_->run(update, &changed)) << probe_->getErrorMessage().str();
  EXPECT_EQ(changed, 1);
  SqlStatement select("SELECT FLDR_ID FROM " + probe_->table("FOLDER") +
                          " WHERE FLDR_PAR IS NULL",
                      true);
  select.where({"FLDR_ID", textInt, Given::kAlways});
  EXPECT_EQ(rows(probe_->query(select)), (std::vector<std::string>{"1"}));
  int id = 0;
  EXPECT_EQ(probe_->lookup(select, &id), 1);
  EXPECT_EQ(id, 1);
  // A connection through the data-access layer converts each value to its
  // declared type before it binds it; SQLite, which keeps a value as it
  // comes, shows the type in what it reads back.
  if (GetParam() != RdaTarget::kSqliteConnection) return;
  SqlStatement echo("SELECT COALESCE(?, 5), ?");
  echo.bind(nullInt).bind(textInt);
  std::string types;
  EXPECT_EQ(probe_->firstRow(echo,
                             [&](ReposDataAccessCursor& row) {
                               for (int c = 0; c < 2; ++c)
                                 types +=
                                     std::to_string(row.getValue(c).getType());
                             }),
            1)
      << probe_->getErrorMessage().str();
  EXPECT_EQ(types, "22");
}

// updateGiven writes only what is given, and a stamp alone is no change;
// listGiven filters by what is given.
TEST_P(SqlStatementTest, GivenColumnsAloneAreWrittenAndFiltered) {
  storeKeys("FOLDER", "FLDR_ID", {1, 2});
  const SqlFields none = {{"FLDR_NAM", KvbString(), Given::kNotNull}};
  const SqlFields stamp = {{"FLDR_PAR", 9}};
  EXPECT_EQ(probe_->updateGiven("FOLDER", "FLDR_ID", 1, none, stamp), 0);
  EXPECT_EQ(probe_->updateGiven("FOLDER", "FLDR_ID", 1,
                                {{"FLDR_NAM", "one", Given::kNotNull}}, stamp),
            1);
  auto list = [&](int parent, const char* name) {
    return rows(probe_->listGiven("FOLDER",
                                  {{"FLDR_PAR", parent, Given::kNotMinusOne},
                                   {"FLDR_NAM", name, Given::kNotEmpty}},
                                  " ORDER BY FLDR_ID"));
  };
  const std::vector<std::string> one = {"1|9|one|"};
  EXPECT_EQ(list(9, ""), one);
  EXPECT_EQ(list(-1, "one"), one);
  EXPECT_EQ(list(-1, "").size(), 2u);
}
// An upsert updates the row of its keys, else inserts one; a row added
// from named columns draws its id in the same unit, so a failed insert
// gives its id back.
TEST_P(SqlStatementTest, UpsertsAndNumberedColumnsWriteOneRowOrNothing) {
  auto keyValues = [&] {
    return rows(probe_->query(
        SqlStatement("SELECT V_KEY, V_VALUE FROM " + probe_->table("KEYVAL"))
            .append(" ORDER BY V_KEY")));
  };
  EXPECT_TRUE(probe_->upsert("KEYVAL", {{"V_VALUE", "a"}}, {{"V_KEY", "k"}}));
  EXPECT_TRUE(probe_->upsert("KEYVAL", {{"V_VALUE", "b"}}, {{"V_KEY", "k"}}));
  EXPECT_FALSE(probe_->upsert("KEYVAL", {{"V_VALUE", "c"}}, {{"V_KEY", "m"}},
                              {{"NO_SUCH_COLUMN", 1}}));
  EXPECT_EQ(keyValues(), (std::vector<std::string>{"k|b"}));

  const SqlFields folder = {{"FLDR_NAM", "x"}, {"FLDR_PAR", 0}};
  const int first = probe_->addNumbered("FOLDER", "FOLDER", "FLDR_ID", folder);
  ASSERT_GT(first, 0) << probe_->getErrorMessage().str();
  EXPECT_EQ(probe_->addNumbered("FOLDER", "FOLDER", "FLDR_ID",
                                {{"NO_SUCH_COLUMN", 1}}),
            -1);
  EXPECT_EQ(probe_->addNumbered("FOLDER", "FOLDER", "FLDR_ID", folder),
            first + 1);
}
INSTANTIATE_RDA_TARGETS(SqlStatementTest);

}  // namespace
