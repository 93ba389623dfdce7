// TempDir: a fresh folder under KV_TEST_TMPDIR (or /tmp) for one test,
// removed with everything in it when the test ends. WorkingFolder: a
// folder made the working folder for a scope.
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

// Makes `folder` the working folder until the end of the scope, then
// restores the one before, however the scope is left (an ASSERT returns
// early), so that later tests do not run in a removed folder. Declared
// after the TempDir it enters, so that it leaves before the folder goes.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::filesystem::path& folder)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~WorkingFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
  }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

#endif  // TESTS_SUPPORT_TEMP_DIR_H_
