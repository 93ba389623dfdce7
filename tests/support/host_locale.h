// A host's comma locale (de_DE.UTF-8) for the length of a scope: set for
// the whole process (setlocale and the global C++ locale), as programs
// with a user interface set theirs at start, or for the calling thread
// alone (uselocale); the locale before comes back at the end.
// scripts/install-deps.sh makes the locale: without it the test fails.
#ifndef TESTS_SUPPORT_HOST_LOCALE_H_
#define TESTS_SUPPORT_HOST_LOCALE_H_

#include <gtest/gtest.h>
#include <locale.h>

#include <locale>
#include <string>

class HostLocale {
 public:
  explicit HostLocale(bool thread = false) : thread_(thread) {
    const char* name = "de_DE.UTF-8";
    if (thread_) {
      own_ = newlocale(LC_ALL_MASK, name, locale_t(0));
      if (own_) before_ = uselocale(own_);
    } else {
      process_ = setlocale(LC_ALL, nullptr);
      if (setlocale(LC_ALL, name)) std::locale::global(std::locale(name));
    }
    EXPECT_STREQ(localeconv()->decimal_point, ",") << name << " is missing";
  }
  ~HostLocale() {
    if (thread_ && own_) {
      uselocale(before_);
      freelocale(own_);
    } else if (!thread_) {
      setlocale(LC_ALL, process_.c_str());
      std::locale::global(cpp_);
    }
  }
  HostLocale(const HostLocale&) = delete;
  HostLocale& operator=(const HostLocale&) = delete;

 private:
  bool thread_;
  std::locale cpp_;
  std::string process_;
  locale_t own_ = locale_t(0), before_ = locale_t(0);
};

#endif  // TESTS_SUPPORT_HOST_LOCALE_H_
