// Tests of kvfileio against real files in a scratch folder.
#include "kvfileio/kvfileio.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
 protected:
  std::string path(const char* name) const { return (dir_ / name).string(); }

  static std::string readAll(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

  TempDir temp_;
  const fs::path dir_ = temp_.path();
};

TEST_F(FileIoTest, StatTellsExistingFromMissing) {
  const std::string file = path("present");
  std::ofstream(file) << "x";
  EXPECT_EQ(np_fio_stat(file.c_str()), NP_FIO_OK);
  EXPECT_EQ(np_fio_stat(dir_.c_str()), NP_FIO_OK);
  EXPECT_EQ(np_fio_stat(path("absent").c_str()), NP_FIO_ENOTFOUND);
  EXPECT_EQ(np_fio_stat(path("nofolder/absent").c_str()), NP_FIO_ENOTFOUND);
  // A file used as a folder is "not found" too, not some other error.
  EXPECT_EQ(np_fio_stat((file + "/below").c_str()), NP_FIO_ENOTFOUND);
}

TEST_F(FileIoTest, OpenModesAndTheirFailures) {
  const std::string file = path("script.sql");
  NpFioFile* handle = nullptr;
  ASSERT_EQ(np_fio_open(file.c_str(), 0x46, &handle), NP_FIO_OK);
  EXPECT_EQ(np_fio_puts(handle, "CREATE TABLE t;\n"), NP_FIO_OK);
  EXPECT_EQ(np_fio_puts(handle, "DROP TABLE t;\n"), NP_FIO_OK);
  ASSERT_EQ(np_fio_close(handle), NP_FIO_OK);
  EXPECT_EQ(readAll(file), "CREATE TABLE t;\nDROP TABLE t;\n");
  // 0x46 empties an existing file; write + create alone writes over it.
  ASSERT_EQ(np_fio_open(file.c_str(), 0x46, &handle), NP_FIO_OK);
  EXPECT_EQ(np_fio_puts(handle, "new"), NP_FIO_OK);
  ASSERT_EQ(np_fio_close(handle), NP_FIO_OK);
  ASSERT_EQ(np_fio_open(file.c_str(), NP_FIO_WRITE | NP_FIO_CREATE, &handle),
            NP_FIO_OK);
  EXPECT_EQ(np_fio_puts(handle, "N"), NP_FIO_OK);
  EXPECT_EQ(np_fio_close(handle), NP_FIO_OK);
  EXPECT_EQ(readAll(file), "New");

  EXPECT_EQ(np_fio_open(path("other").c_str(), NP_FIO_WRITE, &handle),
            NP_FIO_ENOTFOUND);  // no create bit
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(np_fio_open(path("missing/x.sql").c_str(), 0x46, &handle),
            NP_FIO_ENOTFOUND);
  EXPECT_EQ(np_fio_open(dir_.c_str(), 0x46, &handle), NP_FIO_EISDIR);
  EXPECT_EQ(np_fio_open(dir_.c_str(), NP_FIO_READ, &handle), NP_FIO_EISDIR);
  for (int mode : {0, NP_FIO_CREATE, NP_FIO_READ | NP_FIO_TRUNC, 0x80 | 0x02})
    EXPECT_EQ(np_fio_open(file.c_str(), mode, &handle), NP_FIO_EARG) << mode;
}

// Writes are buffered; a device that refuses them must be reported at the
// latest by close, and every write after a failure must fail too.
TEST_F(FileIoTest, WriteFailuresAreNeverLost) {
  if (np_fio_stat("/dev/full") != NP_FIO_OK) GTEST_SKIP() << "no /dev/full";
  NpFioFile* handle = nullptr;
  ASSERT_EQ(np_fio_open("/dev/full", NP_FIO_WRITE, &handle), NP_FIO_OK);
  EXPECT_EQ(np_fio_puts(handle, "short"), NP_FIO_OK);
  EXPECT_EQ(np_fio_close(handle), NP_FIO_ENOSPACE);

  ASSERT_EQ(np_fio_open("/dev/full", NP_FIO_WRITE, &handle), NP_FIO_OK);
  const std::string big(1 << 20, 'x');
  EXPECT_EQ(np_fio_puts(handle, big.c_str()), NP_FIO_ENOSPACE);
  EXPECT_EQ(np_fio_puts(handle, "more"), NP_FIO_ENOSPACE);
  EXPECT_EQ(np_fio_close(handle), NP_FIO_ENOSPACE);

  NpFioTextFile* text = nullptr;
  ASSERT_EQ(np_fio_text_open("/dev/full", 0x4E, 0, 2, &text), NP_FIO_OK);
  EXPECT_EQ(np_fio_text_write(text, big.c_str(), -1), -NP_FIO_ENOSPACE);
  EXPECT_EQ(np_fio_text_close(text), NP_FIO_ENOSPACE);
}

TEST_F(FileIoTest, TextFileKeepsBytesAndReplacesOldContent) {
  const std::string file = path("repos.list.t");
  std::ofstream(file) << std::string(500, 'o');  // longer than the new text
  NpFioTextFile* text = nullptr;
  ASSERT_EQ(np_fio_text_open(file.c_str(), 0x4E, 0, 2, &text), NP_FIO_OK);
  const std::string body =
      "$defaultrepos='Main'\r\n'Ma''in'='DSN=x;' 'PFX' 'C'\r\nZoë\r\n";
  EXPECT_EQ(np_fio_text_write(text, body.c_str(), -1),
            static_cast<long>(body.size()));
  EXPECT_EQ(np_fio_text_write(text, "abcdef", 3), 3);
  EXPECT_EQ(np_fio_text_write(text, "x", -2), -NP_FIO_EARG);
  ASSERT_EQ(np_fio_text_close(text), NP_FIO_OK);
  EXPECT_EQ(readAll(file), body + "abc");

  EXPECT_EQ(np_fio_text_open(path("no/such").c_str(), 0x4E, 0, 2, &text),
            NP_FIO_ENOTFOUND);
  EXPECT_EQ(text, nullptr);
  // Read-only, another encoding or another line end: refused, nothing made.
  const struct {
    int mode, encoding, lineEnd;
  } refused[] = {
      {NP_FIO_READ | NP_FIO_CREATE, 0, 2}, {0x4E, 1, 2}, {0x4E, 0, 1}};
  for (const auto& r : refused) {
    EXPECT_EQ(np_fio_text_open(path("refused").c_str(), r.mode, r.encoding,
                               r.lineEnd, &text),
              NP_FIO_EARG);
    EXPECT_EQ(text, nullptr);
  }
  EXPECT_EQ(np_fio_stat(path("refused").c_str()), NP_FIO_ENOTFOUND);
}

TEST_F(FileIoTest, RenameReplacesAndUnlinkReportsMissing) {
  const std::string from = path("list.t");
  const std::string to = path("list");
  std::ofstream(from) << "new";
  std::ofstream(to) << "old";
  EXPECT_EQ(np_fio_rename(from.c_str(), to.c_str()), NP_FIO_OK);
  EXPECT_EQ(readAll(to), "new");
  EXPECT_EQ(np_fio_stat(from.c_str()), NP_FIO_ENOTFOUND);
  EXPECT_EQ(np_fio_rename(from.c_str(), to.c_str()), NP_FIO_ENOTFOUND);

  EXPECT_EQ(np_fio_unlink(to.c_str()), NP_FIO_OK);
  EXPECT_EQ(np_fio_stat(to.c_str()), NP_FIO_ENOTFOUND);
  EXPECT_EQ(np_fio_unlink(to.c_str()), NP_FIO_ENOTFOUND);
}

TEST_F(FileIoTest, RefusalsOfTheFileSystemKeepTheirReason) {
  // A folder cannot replace one that holds files.
  fs::create_directories(dir_ / "new");
  fs::create_directories(dir_ / "old" / "inside");
  EXPECT_EQ(np_fio_rename(path("new").c_str(), path("old").c_str()),
            NP_FIO_EEXIST);
  // The kernel's own folders take no new files, not even from root.
  NpFioFile* handle = nullptr;
  if (np_fio_stat("/sys/kernel") == NP_FIO_OK) {
    EXPECT_EQ(np_fio_open("/sys/kv_test_file", 0x46, &handle), NP_FIO_EACCESS);
    EXPECT_EQ(np_fio_replace("/sys/kv_test_file", "x", 1), NP_FIO_EACCESS);
  }
  // A rename does not move a file to another file system.
  struct stat shm, here;
  if (stat("/dev/shm", &shm) != 0 || stat(dir_.c_str(), &here) != 0 ||
      shm.st_dev == here.st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  const std::string elsewhere = "/dev/shm/kvtest_" + std::to_string(getpid());
  std::ofstream(elsewhere) << "x";
  EXPECT_EQ(np_fio_rename(elsewhere.c_str(), path("moved").c_str()),
            NP_FIO_EXDEV);
  EXPECT_EQ(np_fio_unlink(elsewhere.c_str()), NP_FIO_OK);
}

// What np_fio_read_file gave: the content, or failed(code).
std::string failed(int code) { return "error " + std::to_string(code); }
std::string readFile(const std::string& file) {
  char* data = nullptr;
  size_t size = 0;
  const int code = np_fio_read_file(file.c_str(), &data, &size);
  if (code != NP_FIO_OK) return failed(code);
  std::string content(data, size);
  std::free(data);
  return content;
}

TEST_F(FileIoTest, ReadFileTakesOnlyRegularFilesWithinTheLimit) {
  const std::string file = path("set.xml");
  std::ofstream(file) << "<a/>";
  EXPECT_EQ(readFile(file), "<a/>");
  // A FIFO without a writer and an endless device are refused at once.
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", path("zero").c_str()), 0);
  for (const char* name : {"fifo", "zero"})
    EXPECT_EQ(readFile(path(name)), failed(NP_FIO_ENOTREG)) << name;
  fs::resize_file(file, NP_FIO_READ_LIMIT);  // sparse: no room taken
  EXPECT_EQ(readFile(file).size(), NP_FIO_READ_LIMIT);
  fs::resize_file(file, NP_FIO_READ_LIMIT + 1);
  EXPECT_EQ(readFile(file), failed(NP_FIO_ETOOLARGE));
  // The kernel's files give no size: the buffer grows as they are read.
  const std::string cpus = readFile("/proc/cpuinfo");
  const std::string expected = readAll("/proc/cpuinfo");
  if (expected.size() > 4096) {  // more than the first buffer
    EXPECT_EQ(std::count(cpus.begin(), cpus.end(), '\n'),
              std::count(expected.begin(), expected.end(), '\n'));
  }
}

TEST_F(FileIoTest, ReplaceGivesTheUsualModeAndLeavesNoTemporaryFile) {
  const std::string file = path("repos.lst");
  const mode_t mask = umask(022);
  EXPECT_EQ(np_fio_replace(file.c_str(), "new", 3), NP_FIO_OK);
  umask(mask);
  EXPECT_EQ(readAll(file), "new");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644));
  // The last step cannot replace a folder.
  fs::create_directories(dir_ / "taken" / "inside");
  EXPECT_EQ(np_fio_replace(path("taken").c_str(), "y", 1), NP_FIO_EISDIR);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 2);
}

TEST(FileIoPathTest, PcatJoinsOrReportsOverflow) {
  // 15 characters fit in 16 bytes; 16 do not, and leave an empty text.
  const struct {
    const char *folder, *name, *joined;
    int code;
  } cases[] = {{"/tmp/d", "t.xml", "/tmp/d/t.xml", NP_FIO_OK},
               {"/tmp/d/", "t.xml", "/tmp/d/t.xml", NP_FIO_OK},
               {"", "t.xml", "t.xml", NP_FIO_OK},
               {"/abcdefgh", "12345", "/abcdefgh/12345", NP_FIO_OK},
               {"/abcdefgh", "123456", "", NP_FIO_EOVERFLOW}};
  char buffer[16];
  for (const auto& c : cases) {
    EXPECT_EQ(np_fio_pcat(buffer, sizeof buffer, c.folder, c.name), c.code);
    EXPECT_STREQ(buffer, c.joined);
  }
  EXPECT_EQ(np_fio_pcat(buffer, 0, "a", "b"), NP_FIO_EOVERFLOW);
}

TEST(FileIoPathTest, EveryCodeHasItsOwnText) {
  std::set<std::string> texts;
  for (int code = NP_FIO_OK; code <= NP_FIO_ETOOLARGE; ++code) {
    ASSERT_NE(np_fio_errdesc(code), nullptr);
    texts.insert(np_fio_errdesc(code));
  }
  EXPECT_EQ(texts.size(), static_cast<size_t>(NP_FIO_ETOOLARGE + 1));
  EXPECT_EQ(texts.count(np_fio_errdesc(999)), 0u);
}

}  // namespace
