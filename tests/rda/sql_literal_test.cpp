// The values that the script mode writes into a statement's text: each "?"
// outside quotes takes the next value's literal, numbers in the C form under
// a comma locale; a statement whose markers and values differ in number, or
// a value without a literal, is refused with its text.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "rda/sql_literal.h"
#include "support/host_locale.h"

namespace {

TEST(SqlLiteral, EachMarkerTakesTheNextValueOrTheStatementIsRefused) {
  HostLocale host;
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* sql;
    std::vector<KvbDatavar> values;
    const char* out;    // the statement's text; null when it is refused
    const char* error;  // the start of the refusal
  } cases[] = {
      {"INSERT INTO \"T?\" (A, B, C) VALUES ('?', ?, ?, ?)",
       {1.5, KvbDatavar(), "it's"},
       "INSERT INTO \"T?\" (A, B, C) VALUES ('?', 1.5, NULL, 'it''s')",
       nullptr},
      {"UPDATE T SET A = ? WHERE B = ?", {2.25}, nullptr,
       "The statement's values do not match its markers: UPDATE"},
      {"DELETE FROM T WHERE B = ?", {1, 2}, nullptr,
       "The statement's values do not match its markers: DELETE"},
      {"UPDATE T SET A = ?", {-inf}, nullptr,
       "The value -inf is no finite number, which a statement of the "
       "script cannot carry: UPDATE"},
      {"UPDATE T SET A = ?", {std::nan("")}, nullptr, "The value nan is no"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    KvbString out, error;
    EXPECT_EQ(bindLiterals(c.sql, c.values, out, error), c.out != nullptr);
    if (c.out) {
      EXPECT_EQ(out.str(), c.out);
    }
    if (c.error) {
      EXPECT_EQ(error.str().rfind(c.error, 0), 0u) << error.str();
    }
  }
}

}  // namespace
