// Numbers as text in the C form whatever locale the host sets for its
// process or its thread (conversions, formatting, logs, options), and the
// NaN that SQLite would store as NULL, refused with its column.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "kvbase/kvbase.h"
#include "kvlogging/kvlogging.h"
#include "kvsqlstore/kvsqlstore.h"
#include "support/dac_targets.h"
#include "support/host_locale.h"
#include "support/log_capture.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

void logf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  kvlogGetLogger("KV.Test")->logFormatted(5, __FILE__, __LINE__, format, args);
  va_end(args);
}

TEST(NumberText, IsTheCFormWhateverLocaleTheHostSets) {
  // Each value with its text: the shortest of 15 to 17 digits that reads
  // back to the same double.
  const struct {
    double value;
    const char* text;
  } texts[] = {
      {-1.5, "-1.5"},
      {1.0 / 3, "0.3333333333333333"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1e20, "1e+20"},
      {DBL_MAX, "1.7976931348623157e+308"},
      {std::numeric_limits<double>::denorm_min(), "4.94065645841247e-324"},
      {-kInf, "-inf"}};
  for (int host = 0; host < 3; ++host) {
    SCOPED_TRACE(host);  // C, the process's comma locale, the thread's
    std::unique_ptr<HostLocale> locale;
    if (host > 0) locale = std::make_unique<HostLocale>(host == 2);
    for (const auto& t : texts) {
      EXPECT_EQ(KvbDatavar(t.value).asString().str(), t.text);
      const double back = KvbDatavar(t.text).asDouble();
      EXPECT_EQ(std::memcmp(&back, &t.value, sizeof back), 0) << t.text;
    }
    double d = 7;
    for (const char* refused : {"1,5", "abc", "1e999", "1.5x"})
      EXPECT_FALSE(KvbString(refused).toDouble(d)) << refused;
    EXPECT_TRUE(KvbString("nan").toDouble(d) && std::isnan(d));
    int i = 7;
    EXPECT_FALSE(KvbString("1.000").toInt(i) || KvbString("1e10").toInt(i));
    EXPECT_EQ(kvbStringFormat("%g %.2f", 1.5, 2.25).str(), "1.5 2.25");
    // The logger formats in the C form, and its sink runs in the host's
    // locale again.
    LogCapture log;
    logf("waited %.1f s", 1.5);
    EXPECT_TRUE(log.contains("waited 1.5 s"));
    logf("%s", "");  // an empty text, not its format
    EXPECT_FALSE(log.contains("%s"));
    EXPECT_STREQ(localeconv()->decimal_point, host ? "," : ".");
    // A configuration count: the comma locale's grouping is no count.
    KvbConfigOptions* options = kvbGetConfigOptions("KVTEST");
    options->set("COUNT", "2.500");
    EXPECT_EQ(options->getCount("COUNT", 7), 7);
    options->remove("COUNT");
  }
}

TEST(SqlMarkerColumn, NamesTheColumnOfEachMarker) {
  const char* const sql[] = {
      "INSERT INTO \"T\" (A, \"B\", C) VALUES (coalesce(?, 0), ?, ?)",
      "UPDATE T SET X = 'a?', B=? WHERE s.ID <= ?", "SELECT ? FROM T"};
  EXPECT_EQ(sqlMarkerColumn(sql[0], 1).str(), "B");
  EXPECT_EQ(sqlMarkerColumn(sql[1], 0).str(), "B");
  EXPECT_EQ(sqlMarkerColumn(sql[1], 1).str(), "ID");
  EXPECT_EQ(sqlMarkerColumn(sql[2], 0).str(), "parameter 1");
  EXPECT_EQ(sqlMarkerColumn(sql[1], 3).str(), "parameter 4");
}

// SQLite stores NULL for a NaN, natively and through its ODBC driver: the
// bind refuses it with its column and no row is stored. PostgreSQL keeps
// NaN, also bound under a comma locale.
class DacNanTest : public DacTargetTest {};

TEST_P(DacNanTest, IsRefusedWhereSqliteWouldStoreNull) {
  HostLocale host;
  const bool postgres = GetParam() == DacTarget::kPostgres;
  const std::string t = table("reals");
  exec("CREATE TABLE " + t + " (i INTEGER, r " +
       (postgres ? "DOUBLE PRECISION)" : "REAL)"));
  DacStatement* insert =
      conn_->prepare(("INSERT INTO " + t + " (i, r) VALUES (1, ?)").c_str());
  ASSERT_NE(insert, nullptr);
  const bool bound = insert->bind(0, KvbDatavar(std::nan("")), 0, 0);
  EXPECT_EQ(bound, postgres);
  EXPECT_TRUE(bound ? insert->execute()
                    : insert->getErrorMessage().find(
                          "NaN cannot be stored in r: SQLite keeps no NaN") !=
                          KvbString::npos)
      << insert->getErrorMessage().asCstr();
  insert->release();
  DacStatement* read = conn_->prepare(("SELECT r FROM " + t).c_str());
  DacCursor* rows = read->select();
  KvbDatavar value;
  EXPECT_EQ(rows->next(), postgres ? 1 : 0);
  if (postgres) {
    EXPECT_TRUE(rows->getValue(0, value) && std::isnan(value.asDouble()));
  }
  rows->release();
  read->release();
}

INSTANTIATE_DAC_TARGETS(DacNanTest);

}  // namespace
