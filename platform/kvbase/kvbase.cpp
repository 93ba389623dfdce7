// kvbase: strings, variant values, dates, formatting, the message catalogue,
// configuration options, UUIDs, paths, directory listings and repository
// URIs.
#include "kvbase/kvbase.h"

#include <dirent.h>
#include <fnmatch.h>
#include <locale.h>
#include <uuid/uuid.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include "kvfileio/kvfileio.h"
#include "kvlogging/kvlogging.h"
#include "kvsync/kvnocancellation.h"

// ---------------------------------------------------------------------------
// KvbString

KvbString::KvbString(const char* text) {
  if (text) assign(text);
}
KvbString::KvbString(const char* text, size_t length)
    : text_(text ? std::string(text, length) : std::string()), null_(!text) {}
KvbString::KvbString(const std::string& text) : text_(text), null_(false) {}
KvbString::KvbString(std::string&& text)
    : text_(std::move(text)), null_(false) {}

// The C locale, made once and never freed: number texts are written and
// read in it whatever locale the host sets for its process or its threads.
static locale_t cLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
  return c;
}

KvbCLocaleScope::KvbCLocaleScope()
    : previous_(cLocale() ? uselocale(cLocale()) : nullptr) {}

KvbCLocaleScope::~KvbCLocaleScope() {
  if (previous_) uselocale(static_cast<locale_t>(previous_));
}

KvbString KvbString::fromInt(int64_t value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return KvbString(buffer, static_cast<size_t>(end - buffer));
}

KvbString KvbString::fromDouble(double value) {
  // std::to_chars ignores every locale; with a precision it writes what
  // "%.*g" writes in the C locale. The shortest precision that reads back
  // to the same double wins; NaN never compares equal and takes 17.
  char buffer[40];
  char* end = buffer;
  for (int precision = 15; precision <= 17; ++precision) {
    end = std::to_chars(buffer, buffer + sizeof buffer, value,
                        std::chars_format::general, precision)
              .ptr;
    *end = '\0';
    if (strtod_l(buffer, nullptr, cLocale()) == value) break;
  }
  return KvbString(buffer, static_cast<size_t>(end - buffer));
}

void KvbString::setNull() {
  text_.clear();
  null_ = true;
}

KvbString& KvbString::assign(const char* text) {
  if (!text) {
    setNull();
    return *this;
  }
  text_.assign(text);
  touch();
  return *this;
}

KvbString& KvbString::assign(const char* text, size_t length) {
  if (!text) {
    setNull();
    return *this;
  }
  text_.assign(text, length);
  touch();
  return *this;
}

KvbString& KvbString::assign(const KvbString& other) {
  text_ = other.text_;
  null_ = other.null_;
  return *this;
}

KvbString& KvbString::append(const char* text) {
  if (text) text_.append(text);
  touch();
  return *this;
}

KvbString& KvbString::append(const char* text, size_t length) {
  if (text) text_.append(text, length);
  touch();
  return *this;
}

KvbString& KvbString::append(const KvbString& other) {
  text_.append(other.text_);
  touch();
  return *this;
}

KvbString& KvbString::append(char c) {
  text_.push_back(c);
  touch();
  return *this;
}

static int asciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

int KvbString::compare(const KvbString& other, bool ignoreCase) const {
  if (null_ || other.null_) return (null_ ? 0 : 1) - (other.null_ ? 0 : 1);
  if (!ignoreCase) return text_.compare(other.text_);
  size_t n = std::min(text_.size(), other.text_.size());
  for (size_t i = 0; i < n; ++i) {
    int d = asciiLower(static_cast<unsigned char>(text_[i])) -
            asciiLower(static_cast<unsigned char>(other.text_[i]));
    if (d != 0) return d;
  }
  return (text_.size() > n) - (other.text_.size() > n);
}

size_t KvbString::find(const char* needle, size_t from) const {
  return needle ? text_.find(needle, from) : npos;
}
size_t KvbString::find(char c, size_t from) const {
  return text_.find(c, from);
}
size_t KvbString::rfind(char c) const { return text_.rfind(c); }

bool KvbString::startsWith(const char* prefix, bool ignoreCase) const {
  if (!prefix || null_) return false;
  size_t n = strlen(prefix);
  return n <= text_.size() &&
         KvbString(text_.data(), n).compare(KvbString(prefix), ignoreCase) == 0;
}

bool KvbString::endsWith(const char* suffix, bool ignoreCase) const {
  if (!suffix || null_) return false;
  size_t n = strlen(suffix);
  return n <= text_.size() &&
         KvbString(text_.data() + text_.size() - n, n)
                 .compare(KvbString(suffix), ignoreCase) == 0;
}

KvbString KvbString::substr(size_t pos, size_t count) const {
  if (null_) return KvbString();
  if (pos >= text_.size()) return KvbString("");
  return KvbString(text_.substr(pos, count));
}

KvbString& KvbString::toLower() {
  for (char& c : text_) c = static_cast<char>(asciiLower(static_cast<unsigned char>(c)));
  return *this;
}

KvbString& KvbString::toUpper() {
  for (char& c : text_)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  return *this;
}

static bool isTrimmed(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

KvbString& KvbString::trim() {
  size_t begin = 0, end = text_.size();
  while (begin < end && isTrimmed(text_[begin])) ++begin;
  while (end > begin && isTrimmed(text_[end - 1])) --end;
  text_ = text_.substr(begin, end - begin);
  return *this;
}

KvbString& KvbString::replaceAll(const char* from, const char* to) {
  if (!from || !*from || null_) return *this;
  const std::string replacement = to ? to : "";
  const size_t n = strlen(from);
  std::string out;
  size_t start = 0, hit;
  while ((hit = text_.find(from, start)) != std::string::npos) {
    out.append(text_, start, hit - start).append(replacement);
    start = hit + n;
  }
  out.append(text_, start, std::string::npos);
  text_.swap(out);
  return *this;
}

KvbString& KvbString::truncateUtf8(size_t maxBytes) {
  if (text_.size() <= maxBytes) return *this;
  size_t cut = maxBytes;
  // Step back over continuation bytes (10xxxxxx) to a character start.
  while (cut > 0 && (static_cast<unsigned char>(text_[cut]) & 0xC0) == 0x80)
    --cut;
  text_.resize(cut);
  return *this;
}

// The text between surrounding blanks, or false when nothing is left.
static bool trimmedText(const KvbString& s, std::string& out) {
  if (s.isNull()) return false;
  KvbString copy(s);
  copy.trim();
  out = copy.str();
  return !out.empty();
}

// True when a conversion that stopped at `end` read the whole of `text`: a
// NUL inside the text stops it early, and leaves the text no number.
static bool readWhole(const std::string& text, const char* end) {
  return end == text.c_str() + text.size();
}

bool KvbString::toInt64(int64_t& out) const {
  std::string text;
  if (!trimmedText(*this, text)) return false;
  errno = 0;
  char* end = nullptr;
  long long value = strtoll_l(text.c_str(), &end, 10, cLocale());
  if (errno == ERANGE || !readWhole(text, end)) return false;
  out = value;
  return true;
}

bool KvbString::toInt(int& out) const {
  int64_t value;
  if (!toInt64(value) || value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<int>(value);
  return true;
}

bool KvbString::toDouble(double& out) const {
  std::string text;
  if (!trimmedText(*this, text)) return false;
  errno = 0;
  char* end = nullptr;
  double value = strtod_l(text.c_str(), &end, cLocale());
  // ERANGE also comes with a value too small for a normal double, which
  // reads as the nearest subnormal (or 0): only an overflow is refused.
  // "inf" and "nan" themselves come without it.
  if ((errno == ERANGE && std::isinf(value)) || !readWhole(text, end))
    return false;
  out = value;
  return true;
}

bool KvbString::toBool(bool& out) const {
  std::string text;
  if (!trimmedText(*this, text)) return false;
  static const char* const kTrue[] = {"true", "yes", "on", "1"};
  static const char* const kFalse[] = {"false", "no", "off", "0"};
  for (const char* t : kTrue)
    if (KvbString(text).equals(t, true)) return out = true, true;
  for (const char* f : kFalse)
    if (KvbString(text).equals(f, true)) return out = false, true;
  return false;
}

KvbString operator+(const KvbString& a, const KvbString& b) {
  KvbString r(a);
  return r.append(b);
}
KvbString operator+(const KvbString& a, const char* b) {
  KvbString r(a);
  return r.append(b);
}

// ---------------------------------------------------------------------------
// Formatting

namespace kvb_detail {

// printf's format with every "%S" conversion turned into "%s".
static std::string printfFormat(const char* format) {
  std::string out(format ? format : "");
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] != '%') continue;
    size_t j = i + 1;
    if (j < out.size() && out[j] == '%') {
      i = j;
      continue;
    }
    while (j < out.size() && strchr("-+ #0123456789.*'hlLqjzt", out[j])) ++j;
    if (j < out.size() && out[j] == 'S') out[j] = 's';
    i = j;
  }
  return out;
}

KvbString formatV(const char* format, va_list args) {
  const std::string fmt = printfFormat(format);
  const KvbCLocaleScope cNumbers;
  char small[256];
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(small, sizeof small, fmt.c_str(), copy);
  va_end(copy);
  if (n < 0) return KvbString("");
  if (static_cast<size_t>(n) < sizeof small) return KvbString(small, n);
  std::string big(static_cast<size_t>(n) + 1, '\0');
  vsnprintf(&big[0], big.size(), fmt.c_str(), args);
  big.resize(n);
  return KvbString(std::move(big));
}

KvbString formatRaw(const char* format, ...) {
  va_list args;
  va_start(args, format);
  KvbString out = formatV(format, args);
  va_end(args);
  return out;
}

}  // namespace kvb_detail

KvbString kvbStringFormatV(const char* format, va_list args) {
  return kvb_detail::formatV(format, args);
}

// ---------------------------------------------------------------------------
// Types

namespace {
struct TypeName {
  int type;
  const char* name;
};
const TypeName kTypeNames[] = {
    {kvbTypeInt, "integer"}, {kvbTypeReal, "real"},   {kvbTypeString, "text"},
    {kvbTypeInt64, "bigint"}, {kvbTypeDate, "date"},
};
}  // namespace

const char* kvbTypeToString(int type) {
  for (const TypeName& t : kTypeNames)
    if (t.type == type) return t.name;
  return "unknown";
}

int kvbTypeFromString(const char* name) {
  for (const TypeName& t : kTypeNames)
    if (name && KvbString(name).equals(t.name, true)) return t.type;
  return kvbTypeUnknown;
}

// ---------------------------------------------------------------------------
// KvbDate

KvbDate KvbDate::currentDate() {
  using namespace std::chrono;
  double micros = static_cast<double>(
      duration_cast<microseconds>(system_clock::now().time_since_epoch())
          .count());
  return KvbDate(micros / 86400e6);
}

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar.
static int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

KvbDate KvbDate::fromCivil(int year, int month, int day, int hour, int minute,
                           double second) {
  double days = static_cast<double>(daysFromCivil(year, month, day));
  return KvbDate(days + (hour * 3600.0 + minute * 60.0 + second) / 86400.0);
}

// ---------------------------------------------------------------------------
// KvbDatavar

KvbDatavar::KvbDatavar(int value) : type_(kvbTypeInt), null_(false), int_(value) {}
KvbDatavar::KvbDatavar(int64_t value)
    : type_(kvbTypeInt64), null_(false), int_(value) {}
KvbDatavar::KvbDatavar(double value)
    : type_(kvbTypeReal), null_(false), real_(value) {}
KvbDatavar::KvbDatavar(const char* text)
    : type_(kvbTypeString), null_(text == nullptr), text_(text ? text : "") {}
KvbDatavar::KvbDatavar(const KvbString& s)
    : type_(kvbTypeString), null_(s.isNull()), text_(s.str()) {}
KvbDatavar::KvbDatavar(const KvbDate& date)
    : type_(kvbTypeDate), null_(date.isNull()), real_(date.asDouble()) {}

void KvbDatavar::setText(const char* text, size_t length) {
  type_ = kvbTypeString;
  null_ = false;
  text_.assign(text, length);
}

KvbDatavar KvbDatavar::nullOf(int type) {
  KvbDatavar v;
  v.type_ = type;
  return v;
}

void KvbDatavar::setNull(int type) {
  type_ = type;
  null_ = true;
  int_ = 0;
  real_ = 0;
  text_.clear();
}

static void setError(bool* error, bool value) {
  if (error) *error = value;
}

int64_t KvbDatavar::asInt64(bool* error) const {
  setError(error, true);
  if (null_) return 0;
  int64_t out = 0;
  switch (type_) {
    case kvbTypeInt:
    case kvbTypeInt64:
      out = int_;
      break;
    case kvbTypeReal:
    case kvbTypeDate:
      // Only values that fit: the cast of anything else is undefined.
      if (!(real_ >= -9223372036854775808.0 && real_ < 9223372036854775808.0))
        return 0;
      out = static_cast<int64_t>(real_);
      break;
    case kvbTypeString: {
      KvbString text(text_);
      if (!text.toInt64(out)) {
        double d;
        if (!text.toDouble(d) || !(d >= -9223372036854775808.0 &&
                                   d < 9223372036854775808.0))
          return 0;
        out = static_cast<int64_t>(d);
      }
      break;
    }
    default:
      return 0;
  }
  setError(error, false);
  return out;
}

int KvbDatavar::asInt(bool* error) const {
  bool failed = false;
  int64_t value = asInt64(&failed);
  if (failed || value < INT32_MIN || value > INT32_MAX) {
    setError(error, true);
    return 0;
  }
  setError(error, false);
  return static_cast<int>(value);
}

double KvbDatavar::asDouble(bool* error) const {
  setError(error, true);
  if (null_) return 0;
  double out = 0;
  switch (type_) {
    case kvbTypeInt:
    case kvbTypeInt64:
      out = static_cast<double>(int_);
      break;
    case kvbTypeReal:
    case kvbTypeDate:
      out = real_;
      break;
    case kvbTypeString:
      if (!KvbString(text_).toDouble(out)) return 0;
      break;
    default:
      return 0;
  }
  setError(error, false);
  return out;
}

bool KvbDatavar::asBool(bool* error) const {
  if (!null_ && type_ == kvbTypeString) {
    bool out = false;
    bool ok = KvbString(text_).toBool(out);
    setError(error, !ok);
    return ok && out;
  }
  bool failed = false;
  double value = asDouble(&failed);
  setError(error, failed);
  return !failed && value != 0;
}

KvbDate KvbDatavar::asDate(bool* error) const {
  bool failed = false;
  double value = asDouble(&failed);
  setError(error, failed);
  return failed ? KvbDate() : KvbDate(value);
}

KvbString KvbDatavar::asString() const {
  if (null_) return KvbString();
  switch (type_) {
    case kvbTypeInt:
    case kvbTypeInt64:
      return KvbString::fromInt(int_);
    case kvbTypeReal:
    case kvbTypeDate:
      return KvbString::fromDouble(real_);
    case kvbTypeString:
      return KvbString(text_);
    default:
      return KvbString();
  }
}

bool KvbDatavar::convertTo(int type) {
  if (null_) {
    type_ = type;
    return true;
  }
  bool failed = false;
  KvbDatavar converted;
  switch (type) {
    case kvbTypeInt:
      converted = KvbDatavar(asInt(&failed));
      break;
    case kvbTypeInt64:
      converted = KvbDatavar(asInt64(&failed));
      break;
    case kvbTypeReal:
      converted = KvbDatavar(asDouble(&failed));
      break;
    case kvbTypeDate:
      converted = KvbDatavar(asDate(&failed));
      break;
    case kvbTypeString:
      converted = KvbDatavar(asString());
      break;
    default:
      return false;
  }
  if (failed) return false;
  *this = std::move(converted);
  return true;
}

bool KvbDatavar::operator==(const KvbDatavar& o) const {
  if (type_ != o.type_ || null_ != o.null_) return false;
  if (null_) return true;
  switch (type_) {
    case kvbTypeInt:
    case kvbTypeInt64:
      return int_ == o.int_;
    case kvbTypeReal:
    case kvbTypeDate:
      return real_ == o.real_;
    case kvbTypeString:
      return text_ == o.text_;
    default:
      return true;
  }
}

// ---------------------------------------------------------------------------
// Message catalogue

namespace {
struct CatalogueEntry {
  const char* catalogue;
  int id;
  const char* format;
};
const CatalogueEntry kCatalogue[] = {
    {"Monitor Admin", 924, "A field with this name already exists."},
    {"Monitor Admin", 1356, "This custom metric, or this link to it, already exists."},
    {"Monitor Admin", 1385, "A business rule with this name already exists."},
    {"Monitor Repository", 1085, "This code or UUID is already in use by another object."},
    {"Monitor Repository", 1088, "The task cannot be deleted because it still has executions."},
    {"Monitor Repository", 1211, "An entry with this name or these values already exists."},
    {"Monitor Repository", 1663, "\"%s\" is not a valid value for this property."},
    {"Profile Engine", 29, "Not enough memory to store the distribution value."},
    {"Repository Library", 292, "The configuration options are not available."},
    {"Repository Library", 482, "Cannot build the path of the table file (error %d: %s)."},
    {"Repository Library", 485, "The id counter rows could not be read."},
    {"Repository Library", 530, "Not enough memory to complete the operation."},
    {"Repository Library", 763, "The result could not be given its columns."},
    {"Repository Library", 1044, "The repository list file could not be written."},
    {"Repository Library", 1050, "The repository has not been created yet. Create it before upgrading it."},
    {"Repository Library", 1052, "The repository is not at the current version. Upgrade it before use."},
    {"Repository Library", 1053, "The query returned no row."},
    {"Repository Library", 1065, "There is no open transaction to end."},
    {"Repository Library", 1068, "The transaction cannot be ended because none is open."},
    {"Repository Library", 1157, "The delete cascade refers to an unknown key column."},
    {"Repository Library", 1161, "The required repository object is not available."},
    {"Repository Library", 1198, "A table set of the repository could not be read."},
    {"Repository Library", 1211, "The match definition was not found."},
    {"Repository Library", 1289, "The version of the old profile repository could not be read."},
    {"Repository Library", 1290, "Table %s could not be read from the old profile repository."},
    {"Repository Library", 1291, "Not every row of table %s could be copied."},
    {"Repository Library", 1292, "The old frequency data for table %s could not be read."},
    {"Repository Library", 1293, "Not every row of frequency table %s could be copied."},
    {"Repository Library", 1294, "Cannot access the repository list file \"%s\"."},
    {"Repository Library", 1295, "No repository list file has been set."},
    {"Repository Library", 1296, "The repository list file \"%s\" has too many values on line %d."},
    {"Repository Library", 1297, "The repository list file \"%s\" has no value on line %d."},
    {"Repository Library", 1298, "The repository list file could not be processed."},
    {"Repository Library", 1299, "A line of the repository list file could not be read."},
    {"Repository Library", 1300, "The repository list file \"%s\" has a syntax error on line %d."},
    {"Repository Library", 1301, "The repository list file \"%s\" could not be opened."},
    {"Repository Library", 1302, "The repository list file \"%s\" could not be read."},
    {"Repository Library", 1303, "The table prefix must start with a letter."},
    {"Repository Library", 1304, "The database already holds a repository."},
    {"Repository Library", 1305, "A repository of this name is already listed."},
    {"Repository Library", 1306, "The repository \"%s\" is not known."},
    {"Repository Library", 1307, "No source repository was given for the copy."},
    {"Repository Library", 1308, "No target repository was given for the copy."},
    {"Repository Library", 1309, "The target repository is not at the current version."},
    {"Repository Library", 1310, "The source repository is not at the current version."},
    {"Repository Library", 1311, "A statement of the repository copy failed: %s"},
    {"Repository Library", 1312, "An insert statement of the repository copy could not be prepared: %s"},
    {"Repository Library", 1313, "The requested type is not supported."},
    {"Repository Library", 1314, "The repository is up to date; nothing needs to be upgraded."},
    {"Repository Library", 1315, "Cannot rename \"%s\" to \"%s\"."},
    {"Repository Library", 1316, "The rows of the query result could not be read."},
    {"Repository Library", 1395, "The table file has no \"%s\" element."},
    {"Repository Library", 1396, "The table file holds an unexpected element \"%s\"."},
    {"Repository Library", 1584, "A repository database operation failed."},
    {"Repository Library", 1591, "The folder path of the %s object could not be found."},
};
}  // namespace

namespace kvb_detail {
const char* messageFormat(const char* catalogue, int id) {
  if (!catalogue) return nullptr;
  for (const CatalogueEntry& e : kCatalogue)
    if (e.id == id && strcmp(e.catalogue, catalogue) == 0) return e.format;
  return nullptr;
}
}  // namespace kvb_detail

// ---------------------------------------------------------------------------
// Configuration options

namespace {

// The options that the engine reads in its own namespaces; a configuration
// file is checked against them. They live here, beside the reader, because
// the file is read at the store's first use, which may come before the
// engine has run any code: a list that the engine registered could come too
// late. docs/guide.md's Configuration table lists the same keys. BASE holds
// the host's and other programs' options too, so only its "REPOS_" keys are
// the engine's; BASE/WORKDESK, which older configurations hold, is left
// unremarked: the lock it asked for is now always taken. Keys elsewhere (the
// default group's KVEXEC_HOME, a host's own groups, the keys of "%%KEY%%"
// macros) are not checked. The engine's option names match without regard to
// ASCII case, groups included ("[sqlite]" with "busy_timeout=100" sets
// SQLITE/BUSY_TIMEOUT), as a name in the wrong case would otherwise be
// taken without a word and have no effect.
const char* const kEngineNamespaces[] = {"REPOS/", "REPOSITORY/", "SQLITE/",
                                         "BASE/REPOS_"};
const char* const kEngineKeys[] = {
    "REPOS/TABLE_LIST_PATH",      "REPOS/FORCE_FILE_BASED",
    "REPOS/CREATE_SPEC_PATH",     "REPOSITORY/POOL_ID",
    "SQLITE/BUSY_TIMEOUT",        "BASE/REPOS_DDL_LINE_PREFIX",
    "BASE/REPOS_DDL_LINE_SUFFIX", "BASE/REPOS_FREQ_CACHE_MAX"};

// True for the full name of an option that the engine reads, in its
// spelling.
bool engineKey(const std::string& key) {
  for (const char* known : kEngineKeys)
    if (key == known) return true;
  return false;
}

// The full name of `key` in `group`: "GROUP/key", or the key itself in the
// default group; spelt as the engine spells it when it names one of the
// engine's options in another case.
std::string configKey(const std::string& group, const std::string& key) {
  const std::string name = group.empty() ? key : group + "/" + key;
  for (const char* known : kEngineKeys)
    if (KvbString(name).equals(known, true)) return known;
  return name;
}

// True for a key in one of the engine's namespaces, in any case, that the
// engine does not read.
bool unknownEngineKey(const std::string& key) {
  if (engineKey(key)) return false;
  for (const char* space : kEngineNamespaces)
    if (KvbString(key).startsWith(space, true)) return true;
  return false;
}

// Where a warning's subject was read: 'The configuration file "<path>",
// line <n>'.
std::string fileLine(const std::string& path, int line) {
  return "The configuration file \"" + path + "\", line " +
         std::to_string(line);
}

// A text (a line, a name, a value) as a warning quotes it, in double
// quotes: at most 80 bytes, cut on a character boundary and marked "...",
// so that a huge line or value does not fill the log, with each NUL byte,
// which would end the log record, shown as "<NUL>".
std::string quoted(KvbString text) {
  const size_t whole = text.length();
  text.truncateUtf8(80);
  std::string shown = "\"";
  for (char c : text.str()) {
    if (c)
      shown += c;
    else
      shown += "<NUL>";
  }
  return shown + (text.length() < whole ? "...\"" : "\"");
}

void warn(const std::string& text, int line = __builtin_LINE()) {
  kvlogGetLogger("KV.Base.Config")->log(4, "kvbase", line, text.c_str());
}

// One option's value, with the file and line that set it (no file: it was
// set in code), and whether a typed read has warned about it.
struct ConfigValue {
  KvbString text;
  std::string file;
  int line = 0;
  bool warned = false;
};

// Every option of the process under its full name.
struct ConfigValues {
  std::mutex mutex;
  std::map<std::string, ConfigValue> byKey;
};

// A group's view of the options: it reads and writes them under its name.
class ConfigGroup : public KvbConfigOptions {
 public:
  ConfigGroup(ConfigValues& values, const std::string& name)
      : values_(values), name_(name) {}

  bool get(const char* key, KvbString& value) const override {
    std::lock_guard<std::mutex> guard(values_.mutex);
    auto it = values_.byKey.find(fullKey(key));
    if (it == values_.byKey.end()) return false;
    value = it->second.text;
    return true;
  }
  // The same value set again keeps its origin and its warning.
  void set(const char* key, const KvbString& value) override {
    std::lock_guard<std::mutex> guard(values_.mutex);
    ConfigValue& stored = values_.byKey[fullKey(key)];
    if (stored.text != value) stored = ConfigValue{value, "", 0, false};
  }
  void remove(const char* key) override {
    std::lock_guard<std::mutex> guard(values_.mutex);
    values_.byKey.erase(fullKey(key));
  }
  // The engine's options of the group go too when its name is in another
  // case, as they are read through it.
  void clear() override {
    std::lock_guard<std::mutex> guard(values_.mutex);
    const std::string prefix = fullKey("");  // "" in the default group
    for (auto it = values_.byKey.begin(); it != values_.byKey.end();) {
      const bool inGroup =
          it->first.compare(0, prefix.size(), prefix) == 0 ||
          (engineKey(it->first) &&
           KvbString(it->first).startsWith(prefix.c_str(), true));
      it = inGroup ? values_.byKey.erase(it) : std::next(it);
    }
  }
  bool getBool(const char* key, bool defaultValue) const override {
    return typed(key, defaultValue, "a boolean",
                 defaultValue ? "true" : "false",
                 [](const KvbString& text, bool& value) {
                   return text.toBool(value);
                 });
  }
  int getCount(const char* key, int defaultValue) const override {
    return typed(key, defaultValue,
                 "a whole number from 0 to " + std::to_string(INT_MAX),
                 std::to_string(defaultValue),
                 [](const KvbString& text, int& value) {
                   return text.toInt(value) && value >= 0;
                 });
  }

 private:
  std::string fullKey(const char* key) const {
    return configKey(name_, key ? key : "");
  }

  // The value of `key` as `read` takes it from its text; `defaultValue`
  // when the key is unset or blank, or when `read` refuses the text. The
  // first refusal of a value warns that it is not `expected` and that
  // `shown`, the default, is used; the warning goes out after the lock is
  // released, so that a log sink may read options.
  template <typename T, typename Read>
  T typed(const char* key, T defaultValue, const std::string& expected,
          const std::string& shown, Read read) const {
    std::string subject;
    {
      std::lock_guard<std::mutex> guard(values_.mutex);
      const std::string name = fullKey(key);
      auto it = values_.byKey.find(name);
      if (it == values_.byKey.end()) return defaultValue;
      ConfigValue& stored = it->second;
      T value = defaultValue;
      if (KvbString(stored.text).trim().isEmpty()) return defaultValue;
      if (read(stored.text, value)) return value;
      if (stored.warned) return defaultValue;
      stored.warned = true;
      subject = stored.file.empty()
                    ? "The configuration option " + quoted(name) +
                          " has the value " + quoted(stored.text)
                    : fileLine(stored.file, stored.line) + ", sets " +
                          quoted(name) + " to " + quoted(stored.text);
    }
    warn(subject + ", which is not " + expected + "; " + shown + " is used");
    return defaultValue;
  }

  ConfigValues& values_;
  const std::string name_;
};

}  // namespace

kvb_detail::ConfigFile kvb_detail::parseConfigText(const std::string& text,
                                                   const std::string& path) {
  ConfigFile file;
  // A byte-order mark that an editor wrote before the first line is no
  // part of that line.
  const size_t bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::istringstream in(text.substr(bom));
  std::string line, current;
  for (int number = 1; std::getline(in, line); ++number) {
    KvbString trimmed(line);
    trimmed.trim();
    if (trimmed.isEmpty() || trimmed.str()[0] == '#') continue;
    if (trimmed.str().front() == '[' && trimmed.str().back() == ']') {
      current = trimmed.substr(1, trimmed.length() - 2).trim().str();
      continue;
    }
    const size_t eq = trimmed.find('=');
    const std::string key =
        eq == KvbString::npos ? "" : trimmed.substr(0, eq).trim().str();
    if (key.empty()) {
      file.warnings.push_back(fileLine(path, number) + ", holds " +
                              quoted(trimmed) +
                              ", which is neither \"[GROUP]\" nor "
                              "\"KEY=VALUE\"; it is ignored");
      continue;
    }
    const std::string name = configKey(current, key);
    if (unknownEngineKey(name))
      file.warnings.push_back(fileLine(path, number) + ", sets " +
                              quoted(name) +
                              ", which is not an option of the engine; it "
                              "has no effect");
    file.lines.push_back({name, trimmed.substr(eq + 1).trim(), number});
  }
  return file;
}

namespace {

class ConfigStore {
 public:
  ConfigStore() {
    const char* path = getenv("KV_CONFIG_FILE");
    if (path && *path) load(path);
  }
  // Gives, once per process, the warnings about the file named by
  // KV_CONFIG_FILE. Called after the store is made, so that a sink that
  // reads the configuration finds it ready.
  void reportFileWarnings() {
    if (warnings_.empty() || reported_.exchange(true)) return;
    for (const std::string& text : warnings_) warn(text);
  }
  KvbConfigOptions* group(const char* name) {
    std::lock_guard<std::mutex> guard(values_.mutex);
    const std::string key = name ? name : "";
    std::unique_ptr<ConfigGroup>& g = groups_[key];
    if (!g) g.reset(new ConfigGroup(values_, key));
    return g.get();
  }

 private:
  // Sets the file's options and keeps its warnings. A file that cannot be
  // read (also a FIFO, a device or one beyond NP_FIO_READ_LIMIT) sets
  // nothing, as a missing one does, and leaves one warning that names it.
  void load(const std::string& path) {
    // Read at the first engine call that needs an option, wherever it is.
    KvNoCancellation noCancellation;
    char* data = nullptr;
    size_t size = 0;
    if (np_fio_read_file(path.c_str(), &data, &size) != NP_FIO_OK) {
      warnings_.push_back("The configuration file \"" + path +
                          "\" named by KV_CONFIG_FILE cannot be read; no "
                          "option was loaded from it");
      return;
    }
    const std::string text(data, size);
    std::free(data);
    kvb_detail::ConfigFile file = kvb_detail::parseConfigText(text, path);
    for (const kvb_detail::ConfigLine& line : file.lines)
      values_.byKey[line.key.str()] = {line.value, path, line.line, false};
    warnings_ = std::move(file.warnings);
  }

  ConfigValues values_;
  std::vector<std::string> warnings_;  // about the file, given once
  std::atomic<bool> reported_{false};
  std::map<std::string, std::unique_ptr<ConfigGroup>> groups_;
};

}  // namespace

KvbConfigOptions* kvbGetConfigOptions(const char* group) {
  // Never destroyed: threads may still read options while the process exits.
  static ConfigStore* const store = new ConfigStore;
  store->reportFileWarnings();
  return store->group(group);
}

// ---------------------------------------------------------------------------
// Helpers

// Generating reads the system's random source, a cancellation point.
KvbString kvbGetUUID() {
  KvNoCancellation noCancellation;
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_lower(id, text);
  return KvbString(text);
}

KvbString kvbConcatPath(const KvbString& folder, const KvbString& name) {
  if (folder.isEmpty()) return name;
  if (name.isEmpty()) return folder;
  KvbString out(folder);
  bool slashEnd = folder.endsWith("/");
  bool slashStart = name.startsWith("/");
  if (slashEnd && slashStart)
    return out.append(name.asCstr() + 1);
  if (!slashEnd && !slashStart) out.append('/');
  return out.append(name);
}

void kvbParsePath(const KvbString& path, KvbString* folder,
                  KvbString* fileName) {
  size_t slash = path.rfind('/');
  KvbString dir, file;
  if (slash == KvbString::npos) {
    file = path;
  } else {
    dir = path.substr(0, slash == 0 ? 1 : slash);
    if (slash + 1 < path.length()) file = path.substr(slash + 1);
  }
  if (folder) *folder = dir;
  if (fileName) *fileName = file;
}

namespace {
class Directory : public KvbDirectory {
 public:
  explicit Directory(std::vector<std::string> names) : names_(std::move(names)) {}
  bool next(KvbString& name) override {
    if (index_ >= names_.size()) return false;
    name = names_[index_++];
    return true;
  }
  void release() override { delete this; }

 private:
  std::vector<std::string> names_;
  size_t index_ = 0;
};
}  // namespace

KvbDirectory* kvbDirectoryOpen(const KvbString& folder, const char* pattern) {
  DIR* dir = opendir(folder.isEmpty() ? "." : folder.asCstr());
  if (!dir) return nullptr;
  std::vector<std::string> names;
  while (struct dirent* entry = readdir(dir)) {
    if (entry->d_type == DT_DIR) continue;
    if (pattern && fnmatch(pattern, entry->d_name, 0) != 0) continue;
    names.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return new Directory(std::move(names));
}

namespace {
class ReposURI : public KvReposURI {
 public:
  explicit ReposURI(KvbString text) : text_(std::move(text)) {}
  const KvbString& getText() const override { return text_; }
  void release() override { delete this; }

 private:
  KvbString text_;
};

KvbString percentEncode(const KvbString& text, bool keepSlash) {
  static const char kHex[] = "0123456789ABCDEF";
  KvbString out("");
  for (unsigned char c : text.str()) {
    if (isalnum(c) || strchr("-._~", c) || (keepSlash && c == '/')) {
      out.append(static_cast<char>(c));
    } else {
      out.append('%').append(kHex[c >> 4]).append(kHex[c & 15]);
    }
  }
  return out;
}
}  // namespace

KvReposURI* getReposURIFromComponents(const KvbString& server,
                                      const KvbString& path,
                                      const KvbString& type) {
  if (path.isEmpty() || type.isEmpty()) return nullptr;
  KvbString text("repos://");
  text.append(percentEncode(server, false));
  if (!path.startsWith("/")) text.append('/');
  text.append(percentEncode(path, true)).append("?type=");
  text.append(percentEncode(type, false));
  return new ReposURI(text);
}

// ---------------------------------------------------------------------------
// KvbAutoSingleton

struct KvbAutoSingleton::State {
  std::recursive_mutex mutex;
};
KvbAutoSingleton::KvbAutoSingleton() : state_(new State) {}
KvbAutoSingleton::~KvbAutoSingleton() { delete state_; }
void KvbAutoSingleton::lock() { state_->mutex.lock(); }
void KvbAutoSingleton::unlock() { state_->mutex.unlock(); }
