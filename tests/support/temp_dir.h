// TempDir: a fresh folder under KV_TEST_TMPDIR (or /tmp) for one test,
// removed with everything in it when the test ends.
#ifndef TESTS_SUPPORT_TEMP_DIR_H_
#define TESTS_SUPPORT_TEMP_DIR_H_

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("KV_TEST_TMPDIR");
    std::string root = base && *base ? base : "/tmp";
    std::filesystem::create_directories(root);
    std::string pattern = root + "/kvtestXXXXXX";
    if (::mkdtemp(&pattern[0])) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const {
    return (path_ / name).string();
  }

 private:
  std::filesystem::path path_;
};

#endif  // TESTS_SUPPORT_TEMP_DIR_H_
