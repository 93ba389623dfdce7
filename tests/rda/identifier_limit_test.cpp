// Names that a server would cut to its identifier limit: a prefix under
// which a name the engine may make passes the limit is refused at the open
// (and so at a creation), with a text that names the prefix, its length and
// the limit; up to the limit the per-field tables and indexes of the
// largest field ids stay apart. SQLite cuts no names and refuses no length.
// A repository already under a longer prefix opens, and the names it would
// make past the limit are refused where they would be made.
#include <gtest/gtest.h>

#include <climits>
#include <list>
#include <string>
#include <vector>

#include "profile/prof_rdaimpl.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

// The longest name the engine makes beyond its prefix: the count index of
// the frequency table of the largest field id.
const std::string kLongestTail = "fk_frqdist_fr_count2147483647";

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
