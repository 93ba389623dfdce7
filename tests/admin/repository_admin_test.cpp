// The administration object: entry points, deleting files and opening.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "admin/repositoryadminimpl.h"
#include "kvreposres/kvreposres.h"
#include "support/admin_targets.h"
#include "support/driver_fault.h"
#include "support/log_capture.h"
#include "support/repos_impl_targets.h"

namespace {

TEST(AdminExports, ListFileRulesAndTheErrorBuffer) {
  RepositoryAdmin* admin = createRepositoryAdmin(0xF1, "/no/such/list");
  ASSERT_NE(admin, nullptr);
  EXPECT_EQ(admin->getConfigFile().str(), "");  // bit 0: no list file
  EXPECT_EQ(admin->getCurrentVersion(), 7);
  admin->release();
  EXPECT_EQ(createRepositoryAdmin(2, nullptr), nullptr);
  EXPECT_STREQ(getRepositoryAdminError(),
               "No repository config file specified");

  // A file that does not exist yet is accepted; the first save makes it.
  TempDir dir;
  admin = createRepositoryAdmin(0, dir.file("repos.lst").c_str());
  ASSERT_NE(admin, nullptr) << getRepositoryAdminError();
  EXPECT_STREQ(getRepositoryAdminError(), "");
  EXPECT_EQ(admin->getConfigFile().str(), dir.file("repos.lst"));
  admin->release();

  // A name too long for the file system can be neither found nor ruled
  // out; the message names it and is cut to the buffer.
  const std::string path = "/tmp/" + std::string(400, 'n');
  EXPECT_EQ(createRepositoryAdmin(0, path.c_str()), nullptr);
  EXPECT_EQ(std::string(getRepositoryAdminError()),
            libraryMessage(1294, path.c_str()).substr(0, 255));
}

TEST(AdminOperations, DeleteFileReportsAndFailsOnlyOnRealFailures) {
  TempDir dir;
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  RecordingStatus callback;
  admin->setStatusCallback(&callback);
  const std::string path = dir.file("old.db");
  std::ofstream(path) << "x";
  EXPECT_TRUE(admin->deleteFile(path.c_str()));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(admin->deleteFile(path.c_str()));  // already gone
  EXPECT_EQ(callback.messages,
            std::vector<std::string>(2, "Delete file " + path));
  // A folder is not deleted as a file, and that is no success.
  EXPECT_FALSE(admin->deleteFile(dir.path().c_str()));
  EXPECT_TRUE(std::filesystem::exists(dir.path()));
  admin->release();
}

class AdminOpenTest : public AdminTargetTest {
 protected:
  // How texts name `db` as open() reaches it.
  std::string placeOf(const AdminDatabase& db) const {
    return isFile() ? "database file \"" + db.file + "\""
                    : shownDatabase(db.connection, db.prefix);
  }
};

// The check accepts only the engine's version. An older repository is to
// be upgraded; a newer one, of a newer major version or of a newer minor
// version of the current one, was written by a newer engine and is refused
// with both versions named. A version-4 INFO row already carries a minor
// version.
TEST_P(AdminOpenTest, OnlyTheEnginesVersionOpensChecked) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  struct Case {
    int version, minor;
    std::string refusal;  // empty: opens checked
  };
  const std::string upgrade = libraryMessage(1052);
  for (const Case& c :
       {Case{7, 3, upgrade}, Case{7, 4, ""},
        Case{7, 5, "has version 7.5, newer than 7.4"},
        Case{8, 0, "has version 8.0, newer than 7.4"},
        Case{9, 3, "has version 9.3, newer than 7.4"}, Case{4, 2, upgrade}}) {
    SCOPED_TRACE(std::to_string(c.version) + "." + std::to_string(c.minor));
    RepositoryImpl* repository = open(db);
    ASSERT_NE(repository, nullptr) << error();
    ReposDataAccess* rda = repository->getDataAccess();
    KvbDatavar version(c.version), minor(c.minor);
    ASSERT_TRUE(rda->paramExec("UPDATE " + rda->getTableName("INFO", true, -1) +
                                   " SET I_VERS = ?, I_MVER = ? "
                                   "WHERE I_TYPE = 'KVREPOSITORY'",
                               nullptr, 2, &version, &minor));
    repository->release();
    repository = open(db, true);
    EXPECT_EQ(repository != nullptr, c.refusal.empty());
    if (!repository) {
      EXPECT_NE(error().find(c.refusal), std::string::npos) << error();
      // Upgrading is advised for older repositories only.
      EXPECT_EQ(error().find("pgrade") != std::string::npos,
                c.refusal == upgrade)
          << error();
      repository = open(db, false);
      ASSERT_NE(repository, nullptr) << error();
    }
    EXPECT_EQ(repository->getMinorVersion(), c.minor);
    repository->release();
  }
}

// Changes the INFO table of the repository's database: `change` follows
// "ALTER TABLE <INFO> ".
void alterInfo(RepositoryImpl* repository, const std::string& change) {
  ReposDataAccess* rda = repository->getDataAccess();
  ASSERT_TRUE(rda->paramExec(
      "ALTER TABLE " + rda->getTableName("INFO", true, -1) + " " + change,
      nullptr, 0))
      << change << ": " << rda->getErrorMessage().str();
}

// Version rows that cannot be read say nothing about the version: the
// repository is neither refused as never created or as older, nor
// upgraded over them; the reason is the database's. (An INFO table without
// I_MVER is one of minor version 0: see below.)
TEST_P(AdminOpenTest, UnreadableVersionRowsAreNeitherMissingNorOld) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  RepositoryImpl* repository = open(db);
  ASSERT_NE(repository, nullptr) << error();
  ASSERT_NO_FATAL_FAILURE(
      alterInfo(repository, "RENAME COLUMN I_VERS TO I_GONE"));
  repository->readVersionInfo();
  const std::string unreadable = "version rows cannot be read: ";
  EXPECT_FALSE(repository->upgradeRepository());
  EXPECT_NE(repository->getErrorMessage().str().find(unreadable),
            std::string::npos)
      << repository->getErrorMessage().asCstr();
  EXPECT_EQ(open(db, true), nullptr);
  EXPECT_NE(error().find(unreadable), std::string::npos) << error();
  repository->release();
}

// A repository written before the minor version has no I_MVER column: it
// is of minor version 0, refused by the open's check as older, and its
// upgrade adds the column and stores the current minor version. While the
// column is there, a read of it that fails is a failed read.
TEST_P(AdminOpenTest, AnInfoTableWithoutTheMinorColumnIsOfMinorZero) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  RepositoryImpl* repository = open(db);
  ASSERT_NE(repository, nullptr) << error();
  if (!isFile()) {  // the driver seam: every read after the version rows
    DriverFault minorRead(DacFault::kPrepare, 2, true);
    EXPECT_FALSE(repository->readVersionInfo());
    EXPECT_TRUE(DriverFault::fired());
  }
  ASSERT_NO_FATAL_FAILURE(alterInfo(repository, "DROP COLUMN I_MVER"));
  repository->release();
  EXPECT_EQ(open(db, true), nullptr);
  EXPECT_EQ(error().find("cannot be read"), std::string::npos) << error();
  repository = open(db);
  ASSERT_NE(repository, nullptr) << error();
  EXPECT_TRUE(repository->isCurrentVersion());
  EXPECT_EQ(repository->getMinorVersion(), 0);
  EXPECT_TRUE(repository->upgradeRepository())
      << repository->getErrorMessage().str();
  EXPECT_TRUE(repository->isMinorVersionCurrent());
  repository->release();
  repository = open(db, true);
  EXPECT_NE(repository, nullptr) << error();
  if (repository) repository->release();
}

// A column that an older INFO table lacks is read as that version's answer
// (minor version 0, no UUID), not as a failure.
TEST_P(AdminOpenTest, ColumnsAnOlderInfoTableLacksAreNoFailedReads) {
  struct Lacking {
    const char* column;
    bool indexed;  // SQLite drops no indexed column: its files are in
                   // OlderInfoColumnsTest
    std::function<std::string(RepositoryImpl*)> read;
    std::string older;
  };
  const Lacking cases[] = {
      {"I_MVER", false,
       [](RepositoryImpl* r) {
         const bool read = r->readVersionInfo();
         return std::to_string(read) + " minor " +
                std::to_string(r->getMinorVersion());
       },
       "1 minor 0"},
      {"I_UUID", true,
       [](RepositoryImpl* r) {
         const std::string uuid = r->getRepositoryUUID().str();
         return "uuid \"" + uuid + "\" " + r->getErrorMessage().str();
       },
       "uuid \"\" "},
  };
  for (const Lacking& c : cases) {
    SCOPED_TRACE(c.column);
    if (c.indexed && !isPostgres()) continue;
    const AdminDatabase db = newDatabase();
    ASSERT_TRUE(create(db)) << error();
    RepositoryImpl* repository = open(db);
    ASSERT_NE(repository, nullptr) << error();
    ASSERT_NO_FATAL_FAILURE(
        alterInfo(repository, std::string("DROP COLUMN ") + c.column));
    EXPECT_EQ(c.read(repository), c.older);
    repository->release();
  }
}

// The refusal names the database (and the prefix) that holds no
// repository, says how that shows, and is logged once.
TEST_P(AdminOpenTest, CheckRefusesADatabaseThatWasNeverCreated) {
  LogCapture log;
  const AdminDatabase db = newDatabase();
  if (isFile())
    std::ofstream(db.file).flush();  // an empty file is an empty database
  const auto refused = [&] { EXPECT_EQ(open(db, true), nullptr); };
  const std::string noInfo =
      "The " + placeOf(db) + " holds no repository: it has no INFO table";
  EXPECT_EQ(log.failuresDuring(refused), std::vector<std::string>{noInfo});
  EXPECT_EQ(error(), noInfo);

  RepositoryImpl* repository = open(db);
  ASSERT_NE(repository, nullptr) << error();
  ASSERT_TRUE(repository->getDataAccess()->createTable(
      "INFO", {{"I_TYPE", kvbTypeString, 32, false},
               {"I_VERS", kvbTypeInt, 0, false}}));
  repository->release();
  const std::string noRow = "The " + placeOf(db) +
                            " holds no repository: its INFO table holds no "
                            "version row";
  EXPECT_EQ(log.failuresDuring(refused), std::vector<std::string>{noRow});
  EXPECT_EQ(error(), noRow);
}

// An open that cannot reach its database, or is given a prefix that is no
// plain name, names the database and the prefix (once: a refused prefix
// in the reason only), and is logged once. No password is shown.
TEST_P(AdminOpenTest, AFailedOpenNamesItsDatabaseAndIsLoggedOnce) {
  LogCapture log;
  AdminDatabase unreachable = newDatabase();
  if (isPostgres())
    unreachable.connection =
        "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Uid=kv;"
        "Pwd=secret;";
  else
    std::ofstream(unreachable.file) << std::string(4096, 'x');
  std::vector<AdminDatabase> failing{unreachable};
  if (!isFile()) {
    failing.push_back(newDatabase());
    failing.back().prefix = "9bad";
  }
  for (const AdminDatabase& db : failing) {
    SCOPED_TRACE(db.prefix);
    const std::vector<std::string> failures =
        log.failuresDuring([&] { EXPECT_EQ(open(db, true), nullptr); });
    EXPECT_EQ(failures, std::vector<std::string>{error()});
    const bool refusedPrefix = db.prefix == "9bad";
    const std::string opened =
        "The repository in the " +
        (refusedPrefix ? shownDatabase(db.connection, "") : placeOf(db)) +
        " could not be opened: ";
    if (refusedPrefix) {
      EXPECT_EQ(error().substr(opened.size()),
                "the table prefix \"9bad\" is not letters, digits and "
                "underscores (with one point between schema and prefix)");
    }
    EXPECT_EQ(error().rfind(opened, 0), 0u) << error();
    EXPECT_GT(error().size(), opened.size());
    EXPECT_EQ(error().find("secret"), std::string::npos) << error();
    // The database is named once, not again by the connect's own text.
    EXPECT_EQ(error().find("Connecting to"), std::string::npos) << error();
  }
}

// The reason an open failed reaches the host through the administration
// object, not only the log.
TEST_P(AdminOpenTest, ReasonOfAFailedOpenReachesTheHost) {
  AdminDatabase db = newDatabase();
  if (GetParam() != AdminTarget::kPostgres) {
    std::ofstream(db.file) << std::string(4096, 'x');
    EXPECT_EQ(open(db), nullptr);
    EXPECT_NE(error().find("not a database"), std::string::npos) << error();
    db = newDatabase();
    std::ofstream(db.file).flush();
  }
  TempDir sets;
  std::ofstream(sets.file("broken.xml")) << "<velmorandocument class=";
  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", sets.path().c_str());
  LogCapture log;
  const std::vector<std::string> failures =
      log.failuresDuring([&] { EXPECT_EQ(open(db), nullptr); });
  EXPECT_EQ(failures, std::vector<std::string>{error()});
  EXPECT_NE(error().find("broken.xml"), std::string::npos) << error();
}

// A repository keeps no pointer into the administration object: the host
// may release the two in either order, and the repository still reports
// through its status callback (its own silent one when the host set none).
TEST_P(AdminOpenTest, RepositoryOutlivesItsAdministrationObject) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  for (const bool adminFirst : {true, false}) {
    RepositoryImpl* repository = open(db);
    ASSERT_NE(repository, nullptr) << error();
    if (adminFirst) {
      admin_->release();
      admin_ = nullptr;
    }
    EXPECT_FALSE(repository->upgradeRepository());  // reports its failure
    EXPECT_TRUE(repository->getDataAccess()->checkTables(TableCreateOptions()));
    repository->release();
    if (!admin_) admin_ = createRepositoryAdmin(1, nullptr);
  }
}

TEST_P(AdminOpenTest, OpensByRegisteredName) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  const bool file = isFile();
  RepositoryConfigurationManager* registry =
      getRepositoryConfigurationManager();
  const std::string name = uniqueTestName("registered");
  ASSERT_TRUE(registry->registerRepository(
      name.c_str(), file ? 0 : 1, (file ? db.file : db.connection).c_str(),
      db.prefix.c_str()));
  KvbString connection, prefix("kept");
  bool isFile = !file;
  ASSERT_TRUE(
      admin_->lookupRepository(name.c_str(), &connection, &prefix, &isFile));
  EXPECT_EQ(isFile, file);
  EXPECT_EQ(connection.str(), file ? db.file : db.connection);
  // An empty registered prefix leaves the caller's text alone.
  EXPECT_EQ(prefix.str(), db.prefix.empty() ? "kept" : db.prefix);
  Repository* repository = admin_->openRepository(name.c_str(), true, nullptr);
  ASSERT_NE(repository, nullptr) << error();
  repository->release();
  registry->unregisterRepository(name.c_str());
  registry->release();

  EXPECT_EQ(admin_->openRepository(name.c_str(), false, nullptr), nullptr);
  EXPECT_EQ(error(), libraryMessage(1306, name.c_str()) +
                         " It is not registered in the repository "
                         "configuration registry, where opening by name "
                         "looks.");
}

INSTANTIATE_ADMIN_TARGETS(AdminOpenTest);

// A name added to a list file is not registered by that: opening it fails
// with one record, whose text says where the name was looked for and that
// the list file of the object was not read.
TEST(AdminOperations, ANameOnlyInAListFileSaysWhereItWasLookedFor) {
  TempDir dir;
  const std::string list = dir.file("b.lst");
  RepositoryAdmin* writer = createRepositoryAdmin(0, dir.file("a.lst").c_str());
  RepositoryAdmin* reader = createRepositoryAdmin(0, list.c_str());
  ASSERT_TRUE(writer && reader) << getRepositoryAdminError();
  ASSERT_TRUE(
      writer->addRepository(dir.file("orders.db").c_str(), "", "orders", true))
      << writer->getErrorMessage().str();
  const std::string text =
      libraryMessage(1306, "orders") +
      " It is not registered in the repository configuration registry, where "
      "opening by name looks; the list file \"" +
      list + "\" is not read.";
  LogCapture log;
  for (RepositoryAdmin* admin : {reader, writer}) {
    const std::vector<std::string> records = log.failuresDuring([&] {
      EXPECT_EQ(admin->openRepository("orders", true, nullptr), nullptr);
    });
    EXPECT_EQ(records,
              std::vector<std::string>{admin->getErrorMessage().str()});
  }
  EXPECT_EQ(reader->getErrorMessage().str(), text);
  KvbString connection;
  EXPECT_EQ(log.failuresDuring([&] {
    EXPECT_FALSE(
        reader->lookupRepository("orders", &connection, nullptr, nullptr));
  }),
            std::vector<std::string>{text});
  writer->release();
  reader->release();
}

class FileRouteTest : public ::testing::Test {
 protected:
  void TearDown() override {
    kvbGetConfigOptions("")->remove("REPOS/FORCE_FILE_BASED");
    admin_->release();
  }
  Repository* openMissingFile(const char* option) {
    if (option) kvbGetConfigOptions("")->set("REPOS/FORCE_FILE_BASED", option);
    return admin_->openFileRepository(path_.c_str(), false);
  }

  RepositoryAdmin* admin_ = createRepositoryAdmin(1, nullptr);
  TempDir dir_;
  std::string path_ = dir_.file("repos.db");
};

// Unset, or a text that is not a boolean: the file must exist. "false"
// sends files through the connection route, which makes a missing one.
TEST_F(FileRouteTest, OnlyFalseSendsAMissingFileThroughTheConnectionRoute) {
  for (const char* option :
       {static_cast<const char*>(nullptr), "perhaps", "yes"}) {
    EXPECT_EQ(openMissingFile(option), nullptr);
    EXPECT_FALSE(admin_->getErrorMessage().isEmpty());
    EXPECT_FALSE(std::filesystem::exists(path_));
  }
  Repository* repository = openMissingFile("false");
  ASSERT_NE(repository, nullptr) << admin_->getErrorMessage().asCstr();
  EXPECT_TRUE(std::filesystem::exists(path_));
  int connectionKind = -1, kind = -1;
  repository->getVersionInfo(&connectionKind, &kind, nullptr, nullptr);
  EXPECT_EQ(std::make_pair(connectionKind, kind),
            std::make_pair(1, int{kKindNone}));
  repository->release();
}

// On the connection route too, texts name a file by the path the host gave,
// not by the connection string the engine makes of it.
TEST_F(FileRouteTest, TheConnectionRouteNamesTheFileByItsPath) {
  kvbGetConfigOptions("")->set("REPOS/FORCE_FILE_BASED", "false");
  LogCapture log;
  const std::string unreachable = dir_.file("no-folder") + "/repos.db";
  EXPECT_EQ(admin_->openFileRepository(unreachable.c_str(), false), nullptr);
  const std::string failed = "The repository in the database file \"" +
                             unreachable + "\" could not be opened: ";
  EXPECT_EQ(admin_->getErrorMessage().str().rfind(failed, 0), 0u)
      << admin_->getErrorMessage().str();
  EXPECT_EQ(admin_->openFileRepository(path_.c_str(), true), nullptr);
  EXPECT_EQ(admin_->getErrorMessage().str(),
            "The database file \"" + path_ +
                "\" holds no repository: it has no INFO table");
}

}  // namespace
