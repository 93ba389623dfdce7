// Numbers as text in the C form whatever locale the host sets, for its
// process or its thread: the conversions of kvbase, its formatting, the
// logger's, and the NaN that SQLite cannot keep, refused with its column.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "kvbase/kvbase.h"
#include "kvlogging/kvlogging.h"
#include "kvsqlstore/kvsqlstore.h"
#include "support/dac_targets.h"
#include "support/host_locale.h"
#include "support/log_capture.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Each value with the text that it must be written as.
const struct {
  double value;
  const char* text;
} kTexts[] = {
    {1.5, "1.5"},
    {-1.5, "-1.5"},
    {1.0 / 3, "0.3333333333333333"},
    {0.1 + 0.2, "0.30000000000000004"},
    {9007199254740992.0, "9007199254740992"},
    {1e20, "1e+20"},
    {DBL_MAX, "1.7976931348623157e+308"},
    {-DBL_MAX, "-1.7976931348623157e+308"},
    {std::numeric_limits<double>::denorm_min(), "4.94065645841247e-324"},
    {1e-310, "9.99999999999997e-311"},
    {kInf, "inf"},
    {-kInf, "-inf"},
};

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Writes and reads every value of kTexts, and refuses the texts that are no
// number in the C form.
void expectCForm() {
  for (const auto& t : kTexts) {
    SCOPED_TRACE(t.text);
    EXPECT_EQ(KvbString::fromDouble(t.value).str(), t.text);
    EXPECT_EQ(KvbDatavar(t.value).asString().str(), t.text);
    double back = 0;
    ASSERT_TRUE(KvbString(t.text).toDouble(back));
    EXPECT_TRUE(sameBits(back, t.value)) << back;
    EXPECT_TRUE(sameBits(KvbDatavar(t.text).asDouble(), t.value));
  }
  double nan = 0;
  EXPECT_TRUE(KvbString("nan").toDouble(nan));
  EXPECT_TRUE(std::isnan(nan));
  for (const char* refused : {"1,5", "abc", "1e999", "-1e999", "1.5x", ""}) {
    double d = 7;
    EXPECT_FALSE(KvbString(refused).toDouble(d)) << refused;
    EXPECT_EQ(d, 7) << refused;
  }
  int i = 7;
  EXPECT_FALSE(KvbString("99999999999").toInt(i));
  EXPECT_FALSE(KvbString("1.000").toInt(i));  // no grouping of thousands
  EXPECT_EQ(KvbString::fromInt(-1234567).str(), "-1234567");
  EXPECT_EQ(kvbStringFormat("%g %.2f %d", 1.5, 2.25, 1234567).str(),
            "1.5 2.25 1234567");
}

TEST(NumberText, IsTheCFormWhateverLocaleTheHostSets) {
  {
    SCOPED_TRACE("C");
    expectCForm();
  }
  {
    SCOPED_TRACE("the process's comma locale");
    HostLocale host(LocaleScope::kProcess);
    ASSERT_TRUE(host.set());
    expectCForm();
    // The host's locale is its own again after each call.
    EXPECT_STREQ(localeconv()->decimal_point, ",");
  }
  {
    SCOPED_TRACE("the thread's comma locale");
    HostLocale host(LocaleScope::kThread);
    ASSERT_TRUE(host.set());
    expectCForm();
    EXPECT_STREQ(localeconv()->decimal_point, ",");
  }
}

// The logger formats in the C form too, and its sink runs in the host's
// locale.
TEST(NumberText, ALogTextTakesThePointAndTheSinkTheHostsLocale) {
  HostLocale host;
  ASSERT_TRUE(host.set());
  std::string separator;
  kvlogSetSink([&](const KvLogRecord& record) {
    separator = localeconv()->decimal_point;
    EXPECT_STREQ(record.text, "waited 1.5 s");
  });
  auto logf = [](const char* format, ...) {
    va_list args;
    va_start(args, format);
    kvlogGetLogger("KV.Test")->logFormatted(5, __FILE__, __LINE__, format,
                                            args);
    va_end(args);
  };
  logf("waited %.1f s", 1.5);
  kvlogSetSink(nullptr);
  EXPECT_EQ(separator, ",");
}

// A configuration count reads alike in every locale: the comma locale's
// grouping of thousands is no count, and leaves the default with a warning.
TEST(NumberText, AConfigurationCountIsReadInTheCForm) {
  HostLocale host;
  ASSERT_TRUE(host.set());
  LogCapture log;
  KvbConfigOptions* options = kvbGetConfigOptions("KVTEST");
  options->set("COUNT", "2500");
  EXPECT_EQ(options->getCount("COUNT", 7), 2500);
  options->set("COUNT", "2.500");
  EXPECT_EQ(options->getCount("COUNT", 7), 7);
  EXPECT_TRUE(log.contains("2.500", 4));
  options->remove("COUNT");
}

TEST(SqlMarkerColumn, NamesTheColumnOfEachMarker) {
  const struct {
    const char* sql;
    int index;
    const char* column;
  } cases[] = {
      {"INSERT INTO \"T\" (A, \"B\", C) VALUES (?, ?, ?)", 1, "B"},
      {"INSERT INTO T (A, B) VALUES (1, ?)", 0, "B"},
      {"INSERT INTO T (A, B) VALUES (coalesce(?, 0), ?)", 1, "B"},
      {"UPDATE T SET X=?, Y = ? WHERE T.ID=?", 1, "Y"},
      {"UPDATE T SET X = 'a?' WHERE s.ID <= ?", 0, "ID"},
      {"SELECT ? FROM T", 0, "parameter 1"},
      {"UPDATE T SET X=?", 3, "parameter 4"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sqlMarkerColumn(c.sql, c.index).str(), c.column) << c.sql;
}

// Reals bound and read under the host's comma locale keep their bits,
// but for the 15 significant digits that the SQLite ODBC driver reads. A
// NaN, for which SQLite would store NULL, is refused there with its column,
// and nothing is stored; PostgreSQL keeps it.
class DacRealsTest : public DacTargetTest {};

TEST_P(DacRealsTest, KeepEveryRealButANanThatSqliteCannotKeep) {
  HostLocale host;
  ASSERT_TRUE(host.set());
  const bool postgres = GetParam() == DacTarget::kPostgres;
  const std::string t = table("reals");
  exec("CREATE TABLE " + t + " (i INTEGER, r " +
       (postgres ? "DOUBLE PRECISION" : "REAL") + ")");
  DacStatement* insert =
      conn_->prepare(("INSERT INTO " + t + " (i, r) VALUES (?, ?)").c_str());
  ASSERT_NE(insert, nullptr);
  // Exact at 15 digits, which the SQLite ODBC driver keeps, and not.
  const double shortOnes[] = {
      1.5,   -2.25,  kInf,
      -kInf, 1e-310, std::numeric_limits<double>::denorm_min()};
  const double longOnes[] = {1.0 / 3, 0.1 + 0.2, 9007199254740992.0, DBL_MAX};
  std::vector<double> kept(std::begin(shortOnes), std::end(shortOnes));
  if (GetParam() != DacTarget::kOdbcSqlite)
    kept.insert(kept.end(), std::begin(longOnes), std::end(longOnes));
  int i = 0;
  for (double value : kept) {
    ASSERT_TRUE(insert->bind(0, KvbDatavar(i++), 0, 0));
    ASSERT_TRUE(insert->bind(1, KvbDatavar(value), 0, 0));
    ASSERT_TRUE(insert->execute()) << insert->getErrorMessage().asCstr();
  }
  ASSERT_TRUE(insert->bind(0, KvbDatavar(i), 0, 0));
  const bool nanBound = insert->bind(1, KvbDatavar(std::nan("")), 0, 0);
  EXPECT_EQ(nanBound, postgres);
  if (nanBound) {
    ASSERT_TRUE(insert->execute()) << insert->getErrorMessage().asCstr();
  } else {
    EXPECT_NE(insert->getErrorMessage().find(
                  "NaN cannot be stored in r: SQLite keeps no NaN"),
              KvbString::npos)
        << insert->getErrorMessage().asCstr();
  }
  insert->release();
  DacStatement* read =
      conn_->prepare(("SELECT r FROM " + t + " ORDER BY i").c_str());
  ASSERT_NE(read, nullptr);
  DacCursor* rows = read->select();
  ASSERT_NE(rows, nullptr);
  KvbDatavar value;
  for (double expected : kept) {
    ASSERT_EQ(rows->next(), 1) << rows->getErrorMessage().asCstr();
    ASSERT_TRUE(rows->getValue(0, value));
    EXPECT_TRUE(sameBits(value.asDouble(), expected))
        << value.asString().asCstr() << " for " << expected;
  }
  if (postgres) {
    ASSERT_EQ(rows->next(), 1);
    ASSERT_TRUE(rows->getValue(0, value));
    EXPECT_TRUE(std::isnan(value.asDouble())) << value.asString().asCstr();
  }
  EXPECT_EQ(rows->next(), 0) << "a refused NaN stores no row";
  rows->release();
  read->release();
}

INSTANTIATE_DAC_TARGETS(DacRealsTest);

}  // namespace
