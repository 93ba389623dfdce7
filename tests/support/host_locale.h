// A host's number locale for the length of a scope: a comma locale
// (de_DE.UTF-8) set for the whole process, as programs with a user
// interface set theirs at start (setlocale and the global C++ locale), or
// for the calling thread alone (uselocale). The locale before comes back at
// the end. scripts/install-deps.sh makes the locale; a machine without it
// fails the test rather than skipping it.
#ifndef TESTS_SUPPORT_HOST_LOCALE_H_
#define TESTS_SUPPORT_HOST_LOCALE_H_

#include <gtest/gtest.h>
#include <locale.h>

#include <clocale>
#include <locale>
#include <string>

constexpr const char kCommaLocale[] = "de_DE.UTF-8";

enum class LocaleScope { kProcess, kThread };

class HostLocale {
 public:
  explicit HostLocale(LocaleScope scope = LocaleScope::kProcess,
                      const char* name = kCommaLocale)
      : scope_(scope), cpp_(std::locale()) {
    if (scope_ == LocaleScope::kThread) {
      own_ = newlocale(LC_ALL_MASK, name, locale_t(0));
      if (own_) thread_ = uselocale(own_);
    } else {
      process_ = setlocale(LC_ALL, nullptr);
      if (setlocale(LC_ALL, name)) std::locale::global(std::locale(name));
    }
    set_ = std::string(localeconv()->decimal_point) == ",";
    EXPECT_TRUE(set_) << "the comma locale " << name
                      << " is missing: scripts/install-deps.sh makes it";
  }
  ~HostLocale() {
    if (scope_ == LocaleScope::kThread) {
      if (own_) {
        uselocale(thread_);
        freelocale(own_);
      }
    } else {
      setlocale(LC_ALL, process_.c_str());
      std::locale::global(cpp_);
    }
  }
  HostLocale(const HostLocale&) = delete;
  HostLocale& operator=(const HostLocale&) = delete;

  // True when numbers of the C library now take a comma.
  bool set() const { return set_; }

 private:
  LocaleScope scope_;
  std::locale cpp_;
  std::string process_;
  locale_t own_ = locale_t(0);
  locale_t thread_ = locale_t(0);
  bool set_ = false;
};

#endif  // TESTS_SUPPORT_HOST_LOCALE_H_
