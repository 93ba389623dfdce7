// kvbase: the base types and helpers that every part of the engine uses:
// strings with a null state, variant values, dates, formatting, the message
// catalogue, configuration options, UUIDs, paths, directory listings and
// repository URIs.
#ifndef KVBASE_KVBASE_H_
#define KVBASE_KVBASE_H_

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

// ---------------------------------------------------------------------------
// KvbString: a UTF-8 text with a null state distinct from the empty text.
// A default-constructed string, or one built from a null pointer, is null.
// Every operation that changes the text makes a null string non-null.
// Lengths and positions are in bytes.
class KvbString {
 public:
  static constexpr size_t npos = std::string::npos;

  KvbString() = default;
  KvbString(const char* text);  // NOLINT: implicit by design; null stays null
  KvbString(const char* text, size_t length);
  KvbString(const std::string& text);  // NOLINT
  KvbString(std::string&& text);       // NOLINT

  // Decimal text of a number in the C form (a point as the decimal
  // separator, no grouping) whatever locale the process or the calling
  // thread sets; reals use the shortest text that reads back to the same
  // double ("%.17g" at most), "inf", "-inf" and "nan" for the values that
  // are no finite number.
  static KvbString fromInt(int64_t value);
  static KvbString fromDouble(double value);

  bool isNull() const { return null_; }
  // True for the null string and for the empty text.
  bool isEmpty() const { return null_ || text_.empty(); }
  void setNull();

  size_t length() const { return text_.size(); }
  // The text; "" for the null string. Valid until the string changes.
  const char* asCstr() const { return text_.c_str(); }
  const std::string& str() const { return text_; }

  KvbString& assign(const char* text);
  KvbString& assign(const char* text, size_t length);
  KvbString& assign(const KvbString& other);
  KvbString& append(const char* text);
  KvbString& append(const char* text, size_t length);
  KvbString& append(const KvbString& other);
  KvbString& append(char c);
  KvbString& operator+=(const KvbString& other) { return append(other); }
  KvbString& operator+=(const char* text) { return append(text); }
  KvbString& operator+=(char c) { return append(c); }

  // 0 when equal, <0 or >0 like strcmp. With ignoreCase, ASCII letters
  // compare without regard to case. A null string equals only a null string
  // and sorts before every non-null text.
  int compare(const KvbString& other, bool ignoreCase = false) const;
  bool equals(const KvbString& other, bool ignoreCase = false) const {
    return compare(other, ignoreCase) == 0;
  }

  // Byte position of the first occurrence at or after `from`, or npos.
  size_t find(const char* needle, size_t from = 0) const;
  size_t find(char c, size_t from = 0) const;
  size_t rfind(char c) const;
  bool startsWith(const char* prefix, bool ignoreCase = false) const;
  bool endsWith(const char* suffix, bool ignoreCase = false) const;

  // Bytes [pos, pos+count); clipped to the text. A null string gives null.
  KvbString substr(size_t pos, size_t count = npos) const;

  // In-place changes; they return *this. Case changes touch ASCII only.
  KvbString& toLower();
  KvbString& toUpper();
  KvbString& trim();  // blanks, tabs, CR and LF at both ends
  // Replaces every occurrence of `from` (not empty) with `to`.
  KvbString& replaceAll(const char* from, const char* to);
  // Cuts the text to at most maxBytes bytes without splitting a UTF-8
  // character.
  KvbString& truncateUtf8(size_t maxBytes);

  // Number conversions of the whole text (surrounding blanks allowed), in
  // the C form whatever locale the process or the calling thread sets: "1,5"
  // is no number. They answer false, leaving `out` unchanged, for the null
  // string, an empty text, trailing garbage (a NUL byte inside the text
  // included) or a value out of range ("1e999"). toDouble reads what
  // fromDouble writes: "inf", "-inf", "nan" and subnormal values too.
  bool toInt(int& out) const;
  bool toInt64(int64_t& out) const;
  bool toDouble(double& out) const;
  // "true", "yes", "on", "1" and "false", "no", "off", "0", any case.
  bool toBool(bool& out) const;

  bool operator==(const KvbString& o) const { return compare(o) == 0; }
  bool operator!=(const KvbString& o) const { return compare(o) != 0; }
  bool operator<(const KvbString& o) const { return compare(o) < 0; }

 private:
  void touch() { null_ = false; }
  std::string text_;
  bool null_ = true;
};

KvbString operator+(const KvbString& a, const KvbString& b);
KvbString operator+(const KvbString& a, const char* b);

// ---------------------------------------------------------------------------
// Formatting. kvbStringFormat takes a printf format in which "%S" stands for
// a KvbString (a null string prints as the empty text); every other
// conversion is printf's, in the C locale whatever locale the host sets
// ("%g" of 1.5 is "1.5"). There is no length limit.
// While alive, the C library's conversions on the calling thread (printf's
// and strtod's families) use the C locale; the thread's own locale, or the
// process's, comes back at the end of the scope. The host's locale is never
// changed for other threads.
class KvbCLocaleScope {
 public:
  KvbCLocaleScope();
  ~KvbCLocaleScope();
  KvbCLocaleScope(const KvbCLocaleScope&) = delete;
  KvbCLocaleScope& operator=(const KvbCLocaleScope&) = delete;

 private:
  void* previous_;  // the thread's locale_t before the scope
};

namespace kvb_detail {
inline const char* formatArg(const KvbString& s) { return s.asCstr(); }
template <typename T>
inline T formatArg(T value) {
  static_assert(std::is_arithmetic<T>::value || std::is_pointer<T>::value ||
                    std::is_enum<T>::value || std::is_null_pointer<T>::value,
                "kvbStringFormat takes numbers, pointers and KvbString");
  return value;
}
// Formats with printf rules after turning each "%S" of the format into "%s".
KvbString formatRaw(const char* format, ...);
KvbString formatV(const char* format, va_list args);
}  // namespace kvb_detail

template <typename... Args>
KvbString kvbStringFormat(const char* format, const Args&... args) {
  return kvb_detail::formatRaw(format, kvb_detail::formatArg(args)...);
}
// The same with a va_list whose "%S" arguments are `const char*`.
KvbString kvbStringFormatV(const char* format, va_list args);

// ---------------------------------------------------------------------------
// Value types. The codes 2, 3 and 4 are those of column definitions, table
// column records and statement parameter types, and pass unchanged between
// them.
enum kvbType {
  kvbTypeUnknown = 0,
  kvbTypeInt = 2,     // 32-bit signed integer
  kvbTypeReal = 3,    // double
  kvbTypeString = 4,  // UTF-8 text
  kvbTypeInt64 = 5,   // 64-bit signed integer
  kvbTypeDate = 6,    // KvbDate, a double
};

// The base library's name of a type ("integer", "real", "text", "bigint",
// "date") and back; kvbTypeFromString ignores case and gives kvbTypeUnknown
// for any other text.
const char* kvbTypeToString(int type);
int kvbTypeFromString(const char* name);

// ---------------------------------------------------------------------------
// KvbDate: a point in time held as a double, the number of days since
// 1970-01-01 00:00:00 UTC, with the time of day as the fraction. Dates are
// stored in and bound to the database as this double. A default date is
// null.
class KvbDate {
 public:
  KvbDate() = default;
  explicit KvbDate(double days) : days_(days), null_(false) {}
  static KvbDate currentDate();
  // From a calendar date and time in UTC.
  static KvbDate fromCivil(int year, int month, int day, int hour = 0,
                           int minute = 0, double second = 0);

  bool isNull() const { return null_; }
  void setNull() { null_ = true; days_ = 0; }
  double asDouble() const { return days_; }
  // Seconds since the epoch, for the operating system's time functions.
  double asUnixSeconds() const { return days_ * 86400.0; }

 private:
  double days_ = 0;
  bool null_ = true;
};

// KvbReal: a double with a null state. A default real is null.
class KvbReal {
 public:
  KvbReal() = default;
  KvbReal(double value) : value_(value), null_(false) {}  // NOLINT
  bool isNull() const { return null_; }
  void setNull() { null_ = true; value_ = 0; }
  double asDouble() const { return value_; }

 private:
  double value_ = 0;
  bool null_ = true;
};

// ---------------------------------------------------------------------------
// KvbDatavar: a variant value of one kvbType with a null state. A null value
// keeps its type (a "typed null"); the default value is a null of
// kvbTypeUnknown.
class KvbDatavar {
 public:
  KvbDatavar() = default;
  KvbDatavar(int value);            // NOLINT
  KvbDatavar(int64_t value);        // NOLINT
  KvbDatavar(double value);         // NOLINT
  KvbDatavar(const char* text);     // NOLINT; null pointer gives a text null
  KvbDatavar(const KvbString& s);   // NOLINT; null string gives a text null
  KvbDatavar(const KvbDate& date);  // NOLINT; null date gives a date null
  static KvbDatavar nullOf(int type);

  int getType() const { return type_; }
  bool isNull() const { return null_; }
  void setNull() { null_ = true; }
  void setNull(int type);

  // Conversions. When `error` is given it is set to false on success and to
  // true when the value is null or cannot be converted (text that is not a
  // number, a real out of the integer range); the result is then 0, 0.0 or
  // false. Text conversions trim blanks first.
  int asInt(bool* error = nullptr) const;
  int64_t asInt64(bool* error = nullptr) const;
  double asDouble(bool* error = nullptr) const;
  bool asBool(bool* error = nullptr) const;  // numbers: non-zero is true
  KvbDate asDate(bool* error = nullptr) const;
  // Integers in decimal, reals and dates as the text of their double
  // ("%.17g" at most), texts unchanged; a null gives the null string.
  KvbString asString() const;
  // The text value without a copy; "" when the value is not a text.
  const char* textData() const { return text_.c_str(); }
  size_t textLength() const { return text_.size(); }

  // Give the value a new kind and content in place, reusing the storage of
  // a text value.
  void setText(const char* text, size_t length);
  void setInt(int value) { setNumber(kvbTypeInt, value, 0); }
  void setInt64(int64_t value) { setNumber(kvbTypeInt64, value, 0); }
  void setReal(double value) { setNumber(kvbTypeReal, 0, value); }

  // Converts the value in place to `type`. A null stays null with the new
  // type. False, leaving the value unchanged, when it cannot be converted.
  bool convertTo(int type);

  bool operator==(const KvbDatavar& o) const;

 private:
  void setNumber(int type, int64_t i, double r) {
    type_ = type;
    null_ = false;
    int_ = i;
    real_ = r;
    text_.clear();  // keeps its storage for a later text
  }

  int type_ = kvbTypeUnknown;
  bool null_ = true;
  int64_t int_ = 0;   // kvbTypeInt and kvbTypeInt64
  double real_ = 0;   // kvbTypeReal and kvbTypeDate
  std::string text_;  // kvbTypeString
};

// ---------------------------------------------------------------------------
// Message catalogue. kvb_get_message gives the text of message `id` of
// `catalogue` formatted with printf rules ("%S" takes a KvbString). An
// unknown id gives a generic text that names the catalogue and the id.
// `sourceFile` and `line` say where the message was raised; they are kept
// for the caller's logs and are not part of the text.
namespace kvb_detail {
const char* messageFormat(const char* catalogue, int id);
}
template <typename... Args>
KvbString kvb_get_message(const char* /*sourceFile*/, int /*line*/,
                          const char* catalogue, int id, const Args&... args) {
  const char* format = kvb_detail::messageFormat(catalogue, id);
  if (!format)
    return kvbStringFormat("%s message %d", catalogue ? catalogue : "", id);
  return kvbStringFormat(format, args...);
}

// ---------------------------------------------------------------------------
// Configuration options: one in-process store of texts that the host fills,
// read by key. Key KEY of group "G" is the option "G/KEY" of the default
// group (""), so kvbGetConfigOptions("BASE")->get("WORKDESK", ...) and
// kvbGetConfigOptions("")->get("BASE/WORKDESK", ...) read, set and remove the
// same option. At first use the store is loaded from the file named by the
// environment variable KV_CONFIG_FILE when it is set: lines "key=value",
// "[GROUP]" lines after which each key is read as "GROUP/key" ("[]" returns
// to the default group), and "#" comment lines; a UTF-8 byte-order mark at
// its start is skipped. A file that KV_CONFIG_FILE names but that cannot be
// read loads nothing and gives one warning (level 4, logger
// "KV.Base.Config") that names it; an empty KV_CONFIG_FILE is taken as
// unset. A file that can be read gives one such warning for each
// line that parseConfigText finds fault with. Thread-safe.
//
// Keys and groups are texts compared exactly, except the names of the
// options that the engine reads in its own groups ("SQLITE/BUSY_TIMEOUT",
// "REPOSITORY/POOL_ID", the "REPOS/" and "BASE/REPOS_" keys of
// docs/guide.md's Configuration table): they match without regard to ASCII
// case, in code and in the file alike, so that
// kvbGetConfigOptions("sqlite")->get("busy_timeout", ...) reads the option
// that "SQLITE/BUSY_TIMEOUT" names, and clear() on group "sqlite" removes
// it.
//
// The typed readers below answer their default for a value they cannot
// read, and warn (level 4, logger "KV.Base.Config") once for as long as
// the option keeps that value: the warning names the option, its value and
// the default used, and also the file and the line when the value came
// from the file. Every text that a warning quotes (a line, a key, a value)
// is cut to 80 bytes on a character boundary and then marked "...", and a
// NUL byte in it is shown as "<NUL>".
class KvbConfigOptions {
 public:
  // True when the key is set; its value goes to `value`.
  virtual bool get(const char* key, KvbString& value) const = 0;
  virtual void set(const char* key, const KvbString& value) = 0;
  virtual void remove(const char* key) = 0;
  // Removes every option of this group; on the default group, every option.
  virtual void clear() = 0;
  // The value of a boolean option as KvbString::toBool reads it, or
  // `defaultValue` when the key is not set or its value is blank. A value
  // that is not a boolean also answers `defaultValue`, with a warning.
  virtual bool getBool(const char* key, bool defaultValue) const = 0;
  // The value of a count (a whole number from 0 to INT_MAX), or
  // `defaultValue` when the key is not set or its value is blank. A value
  // that is not such a number, a negative one included, also answers
  // `defaultValue`, with a warning.
  virtual int getCount(const char* key, int defaultValue) const = 0;

 protected:
  virtual ~KvbConfigOptions() = default;
};
// The options of `group` (null means ""); never null, owned by the process.
KvbConfigOptions* kvbGetConfigOptions(const char* group);

namespace kvb_detail {
// One "key=value" line of a configuration file. The key is the option's
// full name: after a "[GROUP]" line "GROUP/key", spelt as the engine spells
// it when it names one of the engine's options. Key and value are trimmed;
// `line` is the line's number in the file, from 1.
struct ConfigLine {
  KvbString key;
  KvbString value;
  int line;
};
// What a configuration file's text holds: its "key=value" lines in order,
// and one warning text for each line found at fault. Blank lines and "#"
// comment lines are skipped. A line that is neither "[GROUP]" nor
// "KEY=VALUE" with a key is skipped, with a warning. A key in one of the
// engine's own namespaces (in any case) that the engine does not read is
// kept, with a warning. A UTF-8 byte-order mark before the first line is
// skipped. Each warning begins 'The configuration file "<path>", line <n>'.
struct ConfigFile {
  std::vector<ConfigLine> lines;
  std::vector<std::string> warnings;
};
ConfigFile parseConfigText(const std::string& text, const std::string& path);
}  // namespace kvb_detail

// ---------------------------------------------------------------------------
// Small helpers.

// A new random UUID as 36 lower-case characters.
KvbString kvbGetUUID();
// Joins `folder` and `name` with one "/".
KvbString kvbConcatPath(const KvbString& folder, const KvbString& name);
// Splits a path into its folder (without the final "/", null when there is
// none) and its file name (null when the path ends in "/"). Either output
// may be null.
void kvbParsePath(const KvbString& path, KvbString* folder,
                  KvbString* fileName);

// A listing of the files of a folder whose names match a shell pattern
// ("*.xml"), in name order. kvbDirectoryOpen gives null when the folder
// cannot be read.
class KvbDirectory {
 public:
  // The next file name (without the folder); false at the end.
  virtual bool next(KvbString& name) = 0;
  virtual void release() = 0;

 protected:
  virtual ~KvbDirectory() = default;
};
KvbDirectory* kvbDirectoryOpen(const KvbString& folder, const char* pattern);

// A repository object URI built from a server text, an object path and an
// object type: "repos://<server>/<path>?type=<type>" with every character
// outside letters, digits and "-._~/" percent-encoded.
class KvReposURI {
 public:
  virtual const KvbString& getText() const = 0;
  virtual void release() = 0;

 protected:
  virtual ~KvReposURI() = default;
};
// Null when the path or the type is empty.
KvReposURI* getReposURIFromComponents(const KvbString& server,
                                      const KvbString& path,
                                      const KvbString& type);

// ---------------------------------------------------------------------------
// KvbAutoSingleton: the base of process-wide singletons, with a recursive
// lock that serialises their use.
class KvbAutoSingleton {
 public:
  void lock();
  void unlock();

 protected:
  KvbAutoSingleton();
  ~KvbAutoSingleton();
  KvbAutoSingleton(const KvbAutoSingleton&) = delete;
  KvbAutoSingleton& operator=(const KvbAutoSingleton&) = delete;

 private:
  struct State;
  State* state_;
};

#endif  // KVBASE_KVBASE_H_
