// The repository list file: reading, writing, list operations and saves.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "admin/repositoryadminimpl.h"
#include "kvfileio/kvfileio.h"
#include "support/admin_targets.h"
#include "support/child_processes.h"
#include "support/log_capture.h"

namespace {

class ListFileTest : public ::testing::Test {
 protected:
  void TearDown() override { admin_->release(); }

  void writeFile(const std::string& text) { std::ofstream(path_) << text; }
  std::string readFile() const {
    std::stringstream text;
    text << std::ifstream(path_, std::ios::binary).rdbuf();
    return text.str();
  }
  std::string error() const { return admin_->getErrorMessage().str(); }
  // The start of the text of a list that cannot be written: it names the
  // list file.
  std::string notWritten() const {
    return "The repository list file \"" + path_ + "\" could not be written.";
  }
  const std::vector<RepositoryEntry>& entries() const {
    return admin_->entries();
  }
  // The entries read, as "name|connection|prefix|F or C|default or not".
  std::vector<std::string> listed() const {
    std::vector<std::string> out;
    for (const RepositoryEntry& e : entries())
      out.push_back(e.name.str() + "|" + e.connection.str() + "|" +
                    e.tablePrefix.str() + (e.isFile ? "|F|" : "|C|") +
                    (e.isDefault ? "default" : ""));
    return out;
  }
  // The entries that getNextRepository hands out, as "name|type|version".
  std::vector<std::string> walk(bool connect, bool currentOnly) {
    std::vector<std::string> seen;
    EXPECT_TRUE(admin_->listRepositories(connect, currentOnly)) << error();
    KvbString name, type, version;
    while (admin_->getNextRepository(&name, nullptr, nullptr, nullptr, &type,
                                     &version, nullptr))
      seen.push_back(name.str() + "|" + type.str() + "|" + version.str());
    return seen;
  }

  TempDir dir_;
  std::string path_ = dir_.file("repos.lst");
  RepositoryAdminImpl* admin_ = new RepositoryAdminImpl(0, path_.c_str());
};

TEST_F(ListFileTest, ReadsEveryLineForm) {
  EXPECT_TRUE(walk(false, false).empty());  // no file: an empty list
  writeFile(
      "# repositories of this host\n"
      "Main = mydsn\n"
      "\n"
      "My Repo = 'x' 'P' 'F'\n"
      "$defaultrepos = 'Main'\n"
      "'Con''s'='DRIVER=pg;DB=a' 'sch.kv' 'C'\r\n"
      "Main = 'y' 'Q' 'c'\n"
      "$defaultrepos = 'Con''s'\n");
  ASSERT_TRUE(admin_->loadRepositoryList()) << error();
  // Type letters are exact: a lower-case c is a data source name. The later
  // default line wins.
  EXPECT_EQ(listed(), (std::vector<std::string>{
                          "Main|DSN=mydsn;KVXTYPE=ODBC;||C|", "My Repo|x|P|F|",
                          "Con's|DRIVER=pg;DB=a|sch.kv|C|default",
                          "Main|DSN=y;KVXTYPE=ODBC;|Q|C|"}));
}

TEST_F(ListFileTest, BadLinesFailWithTheirMessage) {
  const char* path = path_.c_str();
  const std::pair<const char*, std::string> cases[] = {
      {"A 'a'\n", libraryMessage(1299)},
      {"A = 'a' = 'b'\n", libraryMessage(1299)},
      {"A = 'a'\nB =\n", libraryMessage(1297, path, 2)},
      {"A = 'a'\n\nB = 'unclosed\n", libraryMessage(1300, path, 3)},
      {"A = 'a'\nB = 'b' 'p' 'C' 'extra'\n", libraryMessage(1296, path, 2)},
  };
  for (const auto& c : cases) {
    writeFile(c.first);
    EXPECT_FALSE(admin_->loadRepositoryList()) << c.first;
    EXPECT_EQ(error(), c.second) << c.first;
  }
  EXPECT_EQ(entries().size(), 1u);  // the lines before the bad one

  RepositoryAdminImpl folder(0, dir_.path().c_str());
  EXPECT_FALSE(folder.loadRepositoryList());
  EXPECT_EQ(folder.getErrorMessage().str(),
            libraryMessage(1301, dir_.path().c_str()) + " " +
                np_fio_errdesc(NP_FIO_EISDIR));
  // A read error is a failure, never the end of the list.
  RepositoryAdminImpl unreadable(0, "/proc/self/mem");
  EXPECT_FALSE(unreadable.loadRepositoryList());
  EXPECT_EQ(unreadable.getErrorMessage().str(),
            libraryMessage(1302, "/proc/self/mem") + " " +
                np_fio_errdesc(NP_FIO_EIO));
  RepositoryAdminImpl none(1, "ignored");
  EXPECT_FALSE(none.removeRepository("x"));
  EXPECT_EQ(none.getErrorMessage().str(), libraryMessage(1295));
}

TEST_F(ListFileTest, WritesTheOneFormAndReadsItBack) {
  writeFile("Main = mydsn\n$defaultrepos = 'gone'\nF = 'it''s' 'P' 'F'\n");
  ASSERT_TRUE(admin_->loadRepositoryList()) << error();
  EXPECT_FALSE(entries()[0].isDefault);
  ASSERT_TRUE(admin_->saveRepositoryList()) << error();
  // With no default entry the first is written as the default.
  EXPECT_EQ(readFile(),
            "$defaultrepos='Main'\r\n"
            "'Main'='DSN=mydsn;KVXTYPE=ODBC;' '' 'C'\r\n"
            "'F'='it''s' 'P' 'F'\r\n");
  EXPECT_FALSE(std::filesystem::exists(path_ + ".t"));

  const std::string name = "O'Brien's 'repo'";
  ASSERT_TRUE(admin_->addRepository("/o'b.db", "p'x", name.c_str(), true));
  ASSERT_TRUE(admin_->setDefaultRepository(name.c_str())) << error();
  ASSERT_TRUE(admin_->listRepositories(false, false)) << error();
  KvbString got, connection, prefix;
  bool isDefault = false, isFile = false;
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(admin_->getNextRepository(&got, &isDefault, &connection,
                                          &prefix, nullptr, nullptr, &isFile));
  EXPECT_EQ(got.str(), name);
  EXPECT_EQ(connection.str(), "/o'b.db");
  EXPECT_EQ(prefix.str(), "p'x");
  EXPECT_TRUE(isDefault && isFile);

  // Two entries of one name: the first goes. An empty list is an empty file.
  ASSERT_TRUE(admin_->addRepository("/2.db", "", "F2", true));
  writeFile(readFile() + "'F2'='/3.db' '' 'F'\r\n");
  for (const char* gone : {"Main", "F", "not listed", "F2", name.c_str()})
    ASSERT_TRUE(admin_->removeRepository(gone)) << gone;
  ASSERT_TRUE(admin_->loadRepositoryList());
  EXPECT_EQ(listed(), std::vector<std::string>{"F2|/3.db||F|default"});
  ASSERT_TRUE(admin_->removeRepository("F2"));
  EXPECT_EQ(readFile(), "");
}

TEST_F(ListFileTest, AddRefusesWhatTheFileCannotHold) {
  ASSERT_TRUE(admin_->addRepository("/a.db", "", "A", true)) << error();
  EXPECT_FALSE(admin_->addRepository("/other.db", "", "A", true));
  EXPECT_EQ(error(), "The repository \"A\" cannot be added to the list: " +
                         libraryMessage(1305));
  // Each of these would read back as something else.
  EXPECT_FALSE(admin_->addRepository("/d.db", "", kDefaultReposName, true));
  EXPECT_FALSE(admin_->addRepository("/d.db", "", "two\nlines", true));
  EXPECT_FALSE(admin_->addRepository("/d\r.db", "", "D", true));
  EXPECT_FALSE(admin_->addRepository("/d.db", "P\nX", "D", true));
  EXPECT_FALSE(admin_->addRepository("/d.db", "P\r", "D", true));
  // A connection entry must open.
  EXPECT_FALSE(admin_->addRepository("Driver={None};", "", "Bad", false));
  const std::string connection =
      "FILE=" + dir_.file("c.db") + ";CREATE=TRUE;KVXTYPE=SQLITE";
  EXPECT_TRUE(admin_->addRepository(connection.c_str(), "pf", "C", false))
      << error();
  // The list may name a repository before it is created: prefix "pf" holds
  // none, and a file entry's folder need not exist yet.
  EXPECT_TRUE(admin_->addRepository("/no/such/folder/n.db", "", "N", true))
      << error();
  ASSERT_TRUE(admin_->loadRepositoryList());
  EXPECT_EQ(listed(), (std::vector<std::string>{"A|/a.db||F|default",
                                                "C|" + connection + "|pf|C|",
                                                "N|/no/such/folder/n.db||F|"}));
}

// A name, connection or prefix is written only when the file reads it back
// as written: one with a line break or a NUL byte, which the reader would
// cut or refuse as a syntax error, is refused with one record that names
// the value and the repository (not a name that the file cannot hold), and
// the file stays; so is the name that the file reads as its default line.
// Quotes, blanks, "=", "#" and other bytes are kept. So is a list larger
// than the reader takes. The list stays readable throughout.
TEST_F(ListFileTest, OnlyValuesThatReadBackAreWritten) {
  ASSERT_TRUE(admin_->addRepository("/a.db", "", "A", true)) << error();
  const std::string nul(1, '\0');
  const std::string unnamed = "The repository cannot be added to the list: ";
  const std::string named = "The repository \"N\" cannot be added to the "
                            "list: ";
  const std::string cannot = ", which the list file cannot hold";
  const std::string connection =
      "FILE=" + dir_.file("c.db") + ";CREATE=TRUE;KVXTYPE=SQLITE";
  const struct {
    std::string name, connection, prefix;
    bool isFile;
    std::string refusal;  // empty: written
  } cases[] = {
      {"N" + nul + "ul", "/n.db", "", true,
       unnamed + "its name holds a NUL byte" + cannot},
      {nul, "/n.db", "", true, unnamed + "its name holds a NUL byte" + cannot},
      {"N", "/n" + nul + ".db", "", true,
       named + "the database file path holds a NUL byte" + cannot},
      {"N", connection + nul, "", false,
       named + "the connection string holds a NUL byte" + cannot},
      {"N", "/n.db", "p" + nul, true,
       named + "the table prefix holds a NUL byte" + cannot},
      {"two\nlines", "/n.db", "", true,
       unnamed + "its name holds a line break" + cannot},
      {"N", "/n\r.db", "", true,
       named + "the database file path holds a line break" + cannot},
      {"N", connection + "\n", "", false,
       named + "the connection string holds a line break" + cannot},
      {"N", "/n.db", "p\n" + nul, true,
       named + "the table prefix holds a line break" + cannot},
      {kDefaultReposName, "/n.db", "", true,
       "The repository \"$defaultrepos\" cannot be added to the list: the "
       "name is reserved for the line that names the default repository"},
      {" 'Q''s' = #x ", "/q = '#'.db", " p ' q ", true, ""},
      {"#c", "\t/t.db\t", "\f\v", true, ""},
      {"\xc3\xa9\x01\x7f", "/\xff.db", "=", true, ""},
  };
  LogCapture log;
  for (const auto& c : cases) {
    const std::string before = readFile();
    const KvbString name(c.name.data(), c.name.size());
    bool added = false;
    const std::vector<std::string> records = log.failuresDuring(
        [&] {
          added = admin_->addRepository(
              KvbString(c.connection.data(), c.connection.size()),
              KvbString(c.prefix.data(), c.prefix.size()), name, c.isFile);
        },
        true);
    ASSERT_TRUE(admin_->loadRepositoryList()) << error();
    if (!c.refusal.empty()) {
      EXPECT_FALSE(added) << c.refusal;
      EXPECT_EQ(error(), c.refusal);
      EXPECT_EQ(records, std::vector<std::string>{"5 " + c.refusal});
      EXPECT_EQ(readFile(), before);
      continue;
    }
    EXPECT_TRUE(added) << error();
    EXPECT_EQ(listed().back(),
              c.name + "|" + c.connection + "|" + c.prefix + "|F|");
    EXPECT_TRUE(admin_->removeRepository(name)) << error();
    EXPECT_EQ(readFile(), before);
  }
  const std::string before = readFile();
  const std::string huge(NP_FIO_READ_LIMIT, 'x');
  EXPECT_FALSE(admin_->addRepository(huge.c_str(), "", "Huge", true));
  EXPECT_EQ(error(), notWritten() + " It would be larger than the " +
                         std::to_string(NP_FIO_READ_LIMIT) +
                         " bytes that a list file may hold.");
  EXPECT_EQ(readFile(), before);
}

// An entry without a name or without a connection would be listed only to
// fail every open: each is refused with one record, and the list stays.
TEST_F(ListFileTest, AddRefusesAnEmptyNameOrConnection) {
  ASSERT_TRUE(admin_->addRepository("/a.db", "", "A", true)) << error();
  const std::string before = readFile();
  const struct {
    const char *connection, *name;
    bool isFile;
    const char* text;
  } refused[] = {
      {"/good.db", "", true,
       "The repository cannot be added to the list: its name is empty"},
      {"FILE=/c.db;KVXTYPE=SQLITE", "", false,
       "The repository cannot be added to the list: its name is empty"},
      {"", "blank", true,
       "The repository \"blank\" cannot be added to the list: the database "
       "file path is empty"},
      {"", "blank", false,
       "The repository \"blank\" cannot be added to the list: the connection "
       "string is empty"},
  };
  LogCapture log;
  for (const auto& r : refused) {
    bool added = true;
    const std::vector<std::string> records = log.failuresDuring(
        [&] {
          added = admin_->addRepository(r.connection, "", r.name, r.isFile);
        },
        true);
    EXPECT_FALSE(added) << r.text;
    EXPECT_EQ(error(), r.text);
    EXPECT_EQ(records, std::vector<std::string>{"5 " + error()});
  }
  EXPECT_FALSE(admin_->addRepository(KvbString(), "", "null", true));
  EXPECT_FALSE(admin_->addRepository("/n.db", "", KvbString(), true));
  EXPECT_EQ(readFile(), before);
}

// A list file in a folder that does not exist is no failure of the object
// that keeps it, since the file may not exist yet; the first change fails
// with a text that names the file.
TEST_F(ListFileTest, AListInAMissingFolderIsNamedByItsFirstChange) {
  path_ = dir_.file("gone/repos.lst");
  RepositoryAdminImpl admin(0, path_.c_str());
  EXPECT_EQ(admin.getErrorMessage().str(), "");
  LogCapture log;
  bool added = true;
  const std::vector<std::string> records = log.failuresDuring(
      [&] { added = admin.addRepository("/a.db", "", "A", true); }, true);
  EXPECT_FALSE(added);
  const std::string text = admin.getErrorMessage().str();
  EXPECT_EQ(text, notWritten() + " " + np_fio_errdesc(NP_FIO_ENOTFOUND));
  EXPECT_EQ(records, std::vector<std::string>{"5 " + text});
}

TEST_F(ListFileTest, FailedChangesKeepTheOldFile) {
  const std::string old = "A = 'a' '' 'C'\n";
  writeFile(old);
  // No room for the new list (in a child, whose file size is limited).
  const std::vector<int> status = runInChildren(1, [&](int) {
    std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {4, 4};
    setrlimit(RLIMIT_FSIZE, &limit);
    RepositoryAdminImpl admin(0, path_.c_str());
    return admin.addRepository("/b.db", "", "B", true) ||
           admin.getErrorMessage().str() !=
               notWritten() + " " + np_fio_errdesc(NP_FIO_ENOSPACE);
  });
  EXPECT_EQ(status, std::vector<int>{0});
  EXPECT_EQ(readFile(), old);
  // A list that cannot be read whole is not written over.
  std::filesystem::resize_file(path_, NP_FIO_READ_LIMIT + 1);
  EXPECT_FALSE(admin_->removeRepository("A"));
  EXPECT_EQ(std::filesystem::file_size(path_), NP_FIO_READ_LIMIT + 1);
  // Nor is one whose lock cannot be taken.
  writeFile(old);
  std::filesystem::remove(path_ + ".lock");
  std::filesystem::create_directory(path_ + ".lock");
  EXPECT_FALSE(admin_->addRepository("/b.db", "", "B", true));
  EXPECT_EQ(error(), notWritten() + " " + np_fio_errdesc(NP_FIO_EISDIR));
  EXPECT_EQ(readFile(), old);
}

// A change whose lock cannot be taken fails with one record of a failure,
// an error whose text the administration object answers.
TEST_F(ListFileTest, ALockThatCannotBeTakenIsLoggedOnceByEachChange) {
  std::filesystem::create_directory(path_ + ".lock");
  const std::string refusal =
      notWritten() + " " + np_fio_errdesc(NP_FIO_EISDIR);
  const std::pair<const char*, std::function<bool()>> changes[] = {
      {"add", [&] { return admin_->addRepository("/b.db", "", "B", true); }},
      {"remove", [&] { return admin_->removeRepository("B"); }},
      {"default", [&] { return admin_->setDefaultRepository("B"); }},
  };
  LogCapture log;
  for (const auto& [name, change] : changes) {
    bool changed = true;
    const std::vector<std::string> records =
        log.failuresDuring([&] { changed = change(); }, true);
    EXPECT_FALSE(changed) << name;
    EXPECT_EQ(records, std::vector<std::string>{"5 " + refusal}) << name;
    EXPECT_EQ(error(), refusal) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(ListFileTest, WalkLearnsKindsAndFiltersCurrentRepositories) {
  const std::string current = dir_.file("current.db");
  ASSERT_TRUE(admin_->createFileRepository(current.c_str())) << error();
  std::ofstream(path_) << "Missing = '" << dir_.file("missing.db")
                       << "' '' 'F'\nCurrent = '" << current
                       << "' '' 'F'\nEmpty = 'FILE=" << dir_.file("e.db")
                       << ";CREATE=TRUE;KVXTYPE=SQLITE' '' 'C'\n";
  EXPECT_TRUE(walk(false, true).empty());  // nothing known to be current
  EXPECT_EQ(walk(false, false)[0], "Missing|unknown|unknown");
  EXPECT_EQ(walk(true, false),
            (std::vector<std::string>{"Missing|Failed to connect|n/a",
                                      "Current|Velmoran repository|Unified v.7",
                                      "Empty|No repository|n/a"}));
  EXPECT_EQ(walk(true, true).size(), 1u);
}

TEST_F(ListFileTest, WalkNamesEachKindOfRepository) {
  const std::string file = dir_.file("kinds.db");
  ASSERT_TRUE(admin_->createFileRepository(file.c_str())) << error();
  std::ofstream(path_) << "Kinds = '" << file << "' '' 'F'\n";
  // A SQLite file keeps profile versions as reals: 2.0 is version 20.
  const struct {
    const char *rows, *version;
  } kinds[] = {{"('PROFILE_RESULTSET', 2.0)", "Profile v.20"},
               {"('MONITOR', 5)", "Monitor v.5"},
               {"('PROFILE_RESULTSET', 2.0), ('MONITOR', 5)",
                "Profile v.20/Monitor v.5"}};
  for (const auto& kind : kinds) {
    KvbString failure;
    DacConnection* db = dacCreateDataSource(
        ("FILE=" + file + ";KVXTYPE=SQLITE").c_str(), &failure);
    ASSERT_NE(db, nullptr) << failure.asCstr();
    EXPECT_TRUE(db->execute("DELETE FROM INFO") &&
                db->execute(("INSERT INTO INFO (I_TYPE, I_VERS) VALUES " +
                             std::string(kind.rows))
                                .c_str()))
        << db->getErrorMessage().asCstr();
    db->release();
    EXPECT_EQ(walk(true, false),
              std::vector<std::string>{"Kinds|Velmoran repository|" +
                                       std::string(kind.version)});
  }
}

}  // namespace
