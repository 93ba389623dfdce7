// Names that a server would cut to its identifier limit: a prefix under
// which a name the engine may make passes the limit is refused at the open
// (and so at a creation), with a text that names the prefix, its length and
// the limit; up to the limit the per-field tables and indexes of the
// largest field ids stay apart. SQLite cuts no names and refuses no length.
// A repository already under a longer prefix opens, and the names it would
// make past the limit are refused where they would be made. A table or
// index name exactly at the limit is made, one byte longer is refused; the
// schema part of the prefix counts toward neither.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "profile/prof_rdaimpl.h"
#include "schema/repos_tables.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

// The longest name the engine makes beyond its prefix: the count index of
// the frequency table of the largest field id.
const std::string kLongestTail = "fk_frqdist_fr_count2147483647";

std::string upperCase(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class IdentifierLimitTest : public RdaTargetTest {
 protected:
  // The server's own limit, read by the test; 0 on SQLite, which has none.
  int serverLimit() {
    if (!isPostgres()) return 0;
    int limit = 0;
    EXPECT_TRUE(db_->paramSingleton(
        "SELECT CAST(current_setting('max_identifier_length') AS INTEGER)",
        &limit, 0));
    return limit;
  }
  // The prefix whose own part has `length` characters, in the test's
  // schema where there is one.
  std::string prefixOf(size_t length) const {
    const std::string own = "p" + std::string(length - 1, 'x');
    return schema_.empty() ? own : schema_ + "." + own;
  }
  // Loads one value into the field's own table.
  static bool loadField(ProfileRDAImpl* profile, int field,
                        const char* value) {
    return profile->beginFrequencyLoad(field, false, 0) &&
           profile->addFrequencyRow(field, value, "m", 1) &&
           profile->endFrequencyLoad(field);
  }
  LogCapture log_;  // keeps the expected refusals off the console
};

// The longest own part that fits is the limit less the longest tail; one
// character more is refused on a server, and taken by SQLite.
TEST_P(IdentifierLimitTest, PrefixesAroundTheLimitAreRefusedOrKeepNamesApart) {
  if (GetParam() == RdaTarget::kSqliteFile) GTEST_SKIP() << "no prefixes";
  const int limit = serverLimit();
  const size_t longest = (limit ? limit : 63) - kLongestTail.size();
  for (size_t length : {longest - 1, longest, longest + 1}) {
    SCOPED_TRACE("own part of " + std::to_string(length) + " characters");
    const std::string prefix = prefixOf(length);
    const std::string own = prefix.substr(prefix.size() - length);
    KvbString error;
    ReposDataAccess* rda = createReposDataAccess(
        factoryKind(), location().c_str(), prefix.c_str(), nullptr, error);
    if (limit && length > longest) {  // the admin test checks the text
      EXPECT_EQ(rda, nullptr);
      EXPECT_NE(error.str().find("\"" + own + kLongestTail + "\" of " +
                                 std::to_string(limit + 1) + " characters"),
                std::string::npos)
          << error.str();
      if (rda) rda->release();
      continue;
    }
    ASSERT_NE(rda, nullptr) << error.str();
    TableCreateOptions options;
    options.createTables = true;
    EXPECT_TRUE(rda->createTables(options)) << rda->getErrorMessage().str();
    auto* profile = new ProfileRDAImpl(rda);
    for (int field : {INT_MAX, INT_MAX - 1}) {
      EXPECT_TRUE(loadField(profile, field, field == INT_MAX ? "max" : "less"))
          << profile->getErrorMessage().str();
      EXPECT_EQ(cursorRows(profile->listFrequencyDistribution(field, false,
                                                              false, -1)),
                (std::vector<std::string>{
                    std::string(field == INT_MAX ? "max" : "less") + "|1|m|" +
                    std::to_string(field)}));
      EXPECT_EQ(
          cursorRows(rda->listIndexes(rda->getTableName("FRQDST", false, field)))
              .size(),
          2u);
    }
    profile->release();
    rda->release();
  }
}

// A repository made under a longer prefix before the limit was checked:
// its tables fit, its per-field tables and their indexes do not. It opens;
// a load whose table name would be cut is refused at its begin, one whose
// index names would be cut at its end, and neither keeps a table or a row.
TEST_P(IdentifierLimitTest, AnOlderRepositoryUnderALongerPrefixMakesNoCutName) {
  if (!isPostgres()) GTEST_SKIP() << "SQLite cuts no names";
  const int limit = serverLimit();
  const std::string prefix = prefixOf(limit - 7);  // FRQDST12 passes
  ASSERT_TRUE(runOnPostgres("CREATE TABLE " + prefix + "INFO (X INTEGER)"));
  ReposDataAccess* rda = open(prefix.c_str());
  ASSERT_NE(rda, nullptr);
  TableCreateOptions options;
  options.dropTables = options.createTables = true;
  ASSERT_TRUE(rda->createTables(options)) << rda->getErrorMessage().str();
  auto* profile = new ProfileRDAImpl(rda);
  const std::string own = prefix.substr(schema_.size() + 1);
  const struct {
    int field;
    std::string cutName;
  } cases[] = {{12, own + "FRQDST12"}, {1, own + "fk_frqdist_fr_val1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_FALSE(loadField(profile, c.field, "lost"));
    EXPECT_NE(profile->getErrorMessage().str().find(
                  "makes names such as \"" + c.cutName + "\""),
              std::string::npos)
        << profile->getErrorMessage().str();
    std::list<TableColumnInfo> columns;
    EXPECT_EQ(rda->getTableColumns(("FRQDST" + std::to_string(c.field)).c_str(),
                                   columns),
              0);
    EXPECT_FALSE(rda->inTransaction());
  }
  profile->release();
  rda->release();
}

// The names that a host or a table set gives, each at the limit and one
// byte past it, under the test's prefix (on a server "<schema>.kv", whose
// schema part the limit does not count): a host's table (createTable), a
// table set's table and its index (createTables), and a host's index
// (createIndex). The server makes the name at the limit and refuses the
// longer one, with its length, leaving nothing made; SQLite makes both.
TEST_P(IdentifierLimitTest, NamesAtTheLimitAreMadeAndOneByteMoreIsRefused) {
  const int limit = serverLimit();
  const size_t at = limit ? limit : 63;
  KvbString ownPrefix;
  ASSERT_TRUE(rda_->getTablePrefix(true, &ownPrefix, nullptr));
  const std::string own = ownPrefix.str();
  const std::list<TableColumnInfo> columnA = {{"A", kvbTypeInt, 0, false}};
  // The index names of a table in upper case.
  auto indexesOf = [&](const std::string& code) {
    std::vector<std::string> names;
    for (const std::string& row : cursorRows(
             rda_->listIndexes(rda_->getTableName(code.c_str(), false, -1))))
      names.push_back(upperCase(row.substr(0, row.find('|'))));
    return names;
  };
  // The table set of one table `code` with the column A, indexed (as
  // index 1) when `indexed`.
  auto tableSet = [](const std::string& code, bool indexed) {
    return std::vector<ReposColumnDef>{
        {code.c_str(), "A", kvbTypeInt, 0, indexed ? kColIndexed : 0,
         kPartCommon, indexed ? 1 : 0, "A"},
        {nullptr, nullptr, 0, 0, 0, kPartCommon, 0, "The set's table"},
        {nullptr, nullptr, 0, 0, 0, kPartCommon, 0, nullptr}};
  };
  // The letter that fills a name of `length` bytes: the server would cut
  // the longer name to the shorter one's if both were filled alike, and a
  // lookup of the refused name would find the one at the limit.
  auto fill = [at](size_t length) { return length == at ? 'a' : 'b'; };
  // Each case makes a name of `length` bytes and gives it; `table` is the
  // code of the table that holds the name or its index.
  struct Made {
    std::string name, table;
    bool answer;
  };
  const struct {
    const char* what;
    std::function<Made(size_t length)> make;
    bool index;       // the name is an index's
    bool tableFirst;  // the index's table is made before it, and stays
  } cases[] = {
      {"a host's table",
       [&](size_t length) {
         const std::string code =
             "H" + std::string(length - own.size() - 1, fill(length));
         return Made{own + code, code, rda_->createTable(code, columnA)};
       },
       false, false},
      {"a table set's table",
       [&](size_t length) {
         const std::string code =
             "S" + std::string(length - own.size() - 1, fill(length));
         const std::vector<ReposColumnDef> set = tableSet(code, false);
         TableCreateOptions options;
         options.createTables = true;
         options.columns = set.data();
         return Made{own + code, code, rda_->createTables(options)};
       },
       false, false},
      {"a table set's index",
       [&](size_t length) {
         const std::string code = "SI" + std::to_string(length);
         const std::vector<ReposColumnDef> set = tableSet(code, true);
         TableCreateOptions options;
         options.createTables = true;
         options.columns = set.data();
         // The index is named <own prefix>idx<index prefix>1.
         options.indexPrefix =
             std::string(length - own.size() - 4, fill(length));
         const std::string name = own + "idx" + options.indexPrefix.str() + "1";
         return Made{name, code, rda_->createTables(options)};
       },
       true, false},
      {"a host's index",
       [&](size_t length) {
         const std::string code = "HI" + std::to_string(length);
         EXPECT_TRUE(rda_->createTable(code, columnA))
             << rda_->getErrorMessage().str();
         const std::string name = "hix" + std::string(length - 3, fill(length));
         return Made{name, code, rda_->createIndex(code, "A", name)};
       },
       true, true},
  };
  for (const auto& c : cases)
    for (size_t length : {at, at + 1}) {
      SCOPED_TRACE(std::string(c.what) + " of " + std::to_string(length) +
                   " bytes");
      const Made made = c.make(length);
      ASSERT_EQ(made.name.size(), length);
      std::list<TableColumnInfo> columns;
      const bool tableThere =
          rda_->getTableColumns(made.table.c_str(), columns) > 0;
      const std::vector<std::string> indexes = indexesOf(made.table);
      const bool indexThere = std::find(indexes.begin(), indexes.end(),
                                        upperCase(made.name)) != indexes.end();
      EXPECT_FALSE(rda_->inTransaction());
      if (!limit || length <= static_cast<size_t>(limit)) {
        EXPECT_TRUE(made.answer) << rda_->getErrorMessage().str();
        EXPECT_TRUE(tableThere);
        EXPECT_EQ(indexThere, c.index);
        continue;
      }
      EXPECT_FALSE(made.answer);
      EXPECT_NE(rda_->getErrorMessage().str().find(
                    "\"" + made.name + "\" of " + std::to_string(length) +
                    " characters, and the database takes names of at most " +
                    std::to_string(limit)),
                std::string::npos)
          << rda_->getErrorMessage().str();
      EXPECT_EQ(tableThere, c.tableFirst);
      EXPECT_FALSE(indexThere);
    }
}

INSTANTIATE_RDA_TARGETS(IdentifierLimitTest);

// The host's view: a creation and an open under a prefix one character
// too long are told which prefix, its length and the limit.
class IdentifierLimitAdminTest : public AdminTargetTest {
 protected:
  LogCapture log_;  // keeps the expected refusals off the console
};

TEST_P(IdentifierLimitAdminTest, TheHostIsToldWhichPrefixIsTooLong) {
  if (!isPostgres()) GTEST_SKIP() << "SQLite cuts no names";
  AdminDatabase db = newDatabase();
  const std::string own = "p" + std::string(63 - kLongestTail.size(), 'x');
  db.prefix = db.prefix.substr(0, db.prefix.find('.') + 1) + own;
  const std::string reason =
      "the table prefix \"" + db.prefix +
      "\" is not short enough for the database: \"" + own + "\" (35 "
      "characters) makes names such as \"" + own + kLongestTail +
      "\" of 64 characters, and the database takes names of at most 63";
  const std::string place =
      "The repository in the " + shownDatabase(db.connection, "");
  EXPECT_FALSE(create(db));
  EXPECT_EQ(error(), place + " could not be created: " + reason);
  EXPECT_EQ(open(db), nullptr);
  EXPECT_EQ(error(), place + " could not be opened: " + reason);
}

INSTANTIATE_ADMIN_TARGETS(IdentifierLimitAdminTest);

}  // namespace
