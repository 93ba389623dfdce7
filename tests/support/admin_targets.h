// The back ends that administration tests create repositories on: a SQLite
// file created and opened as a file, a SQLite file through the
// connection-string route, and PostgreSQL through ODBC in a new schema that
// the table prefix names (skipped when KV_TEST_PG_CONNECTION is not set).
// Each test gets an administration object without a list file and fresh,
// empty databases on demand; they are removed when the test ends.
#ifndef TESTS_SUPPORT_ADMIN_TARGETS_H_
#define TESTS_SUPPORT_ADMIN_TARGETS_H_

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "admin/repositoryimpl.h"
#include "kvdataaccess/kvdataaccess.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository_admin.h"
#include "support/dac_targets.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

using AdminTarget = RdaTarget;

// One empty database: a SQLite file path (and its connection string), or a
// PostgreSQL connection string and the prefix of a new schema.
struct AdminDatabase {
  std::string file;
  std::string connection;
  std::string prefix;
};

// BackEndTest gives the back end; its own database stays unused.
class AdminTargetTest : public BackEndTest {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_POSTGRES(isPostgres());
    kvbGetConfigOptions("")->set("BASE/WORKDESK", "true");
    // The table sets that ship with the engine are part of every creation.
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 KV_SOURCE_DIR "/etc/reposcreate");
    admin_ = createRepositoryAdmin(1, nullptr);
    ASSERT_NE(admin_, nullptr) << getRepositoryAdminError();
  }

  void TearDown() override {
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
    if (admin_) admin_->release();
    for (const std::string& schema : schemas_)
      runOnPostgres("DROP SCHEMA " + schema + " CASCADE");
    for (const std::string& role : roles_) runOnPostgres("DROP ROLE " + role);
  }

  // The PostgreSQL connection string as a new role that may log in but has
  // no rights on the test's schemas: the server then refuses to say which
  // tables they hold. Empty when the server does not let the role in (one
  // that asks for a password).
  std::string connectionWithoutRights() {
    roles_.push_back(uniqueTestName("kvr"));
    if (!runOnPostgres("CREATE ROLE " + roles_.back() + " LOGIN")) return "";
    std::string connection = postgresConnectionString();
    std::string lower = connection;
    for (char& c : lower) c = static_cast<char>(std::tolower(c));
    const size_t uid = lower.find("uid=");
    if (uid != std::string::npos)
      connection.erase(uid, connection.find(';', uid) - uid + 1);
    connection += ";Uid=" + roles_.back() + ";";
    KvbString error;
    DacConnection* probe = dacCreateDataSource(connection.c_str(), &error);
    if (!probe) return "";
    probe->release();
    return connection;
  }

  // A new empty database of the test's back end.
  AdminDatabase newDatabase() {
    AdminDatabase db;
    if (isPostgres()) {
      schemas_.push_back(uniqueTestName("kva"));
      EXPECT_TRUE(runOnPostgres("CREATE SCHEMA " + schemas_.back()));
      db.connection = postgresConnectionString();
      db.prefix = schemas_.back() + ".kv";
    } else {
      db.file = dir_.file(uniqueTestName("repos") + ".db");
      db.connection = "FILE=" + db.file + ";CREATE=TRUE;KVXTYPE=SQLITE";
    }
    return db;
  }

  // Creates a repository in `db` the way a host of this back end would.
  bool create(const AdminDatabase& db) {
    if (isFile()) return admin_->createFileRepository(db.file.c_str());
    return admin_->createRepository(db.connection.c_str(), db.prefix.c_str());
  }

  // A new database with a repository created in it, in `db`, and opened;
  // null, with the test failed, when either step fails. The failure does
  // not stop the test by itself: the caller asserts on the answer before
  // it uses it.
  RepositoryImpl* createAndOpen(AdminDatabase& db) {
    db = newDatabase();
    if (!create(db)) {
      ADD_FAILURE() << "The repository could not be created: " << error();
      return nullptr;
    }
    RepositoryImpl* repository = open(db);
    EXPECT_NE(repository, nullptr) << error();
    return repository;
  }

  // Opens the repository of `db` the way a host of this back end would,
  // through `admin` (the test's when null); the caller releases it.
  RepositoryImpl* open(const AdminDatabase& db, bool check = false,
                       RepositoryAdmin* admin = nullptr) {
    if (!admin) admin = admin_;
    return static_cast<RepositoryImpl*>(
        isFile()
            ? admin->openFileRepository(db.file.c_str(), check)
            : admin->openRepositoryConnection(
                  db.connection.c_str(), db.prefix.c_str(), check, nullptr));
  }
  // Opens `db` through its connection string on every back end (which
  // makes a missing file); the caller releases it.
  RepositoryImpl* openConnection(const AdminDatabase& db, bool check = false) {
    return static_cast<RepositoryImpl*>(admin_->openRepositoryConnection(
        db.connection.c_str(), db.prefix.c_str(), check, nullptr));
  }

  std::string error() const { return admin_->getErrorMessage().str(); }

  // How texts name the database that `connection` and `prefix` reach: the
  // path of a SQLite file that the connection string opens, else the
  // connection string without its password; then the prefix, if any.
  static std::string shownDatabase(const std::string& connection,
                                   const std::string& prefix) {
    const KvbString file = dacSqliteFilePath(connection.c_str());
    std::string text =
        file.isNull()
            ? "database \"" +
                  dacConnectionStringWithoutPassword(connection.c_str()).str() +
                  "\""
            : "database file \"" + file.str() + "\"";
    if (!prefix.empty()) text += " with the table prefix \"" + prefix + "\"";
    return text;
  }

  RepositoryAdmin* admin_ = nullptr;
  TempDir dir_;

 private:
  std::vector<std::string> schemas_;
  std::vector<std::string> roles_;
};

// A repository created and opened for the test, whose threads share it;
// a thread's wait for another's hold ends after `busyTimeoutMs`.
class OpenRepositoryTest : public AdminTargetTest {
 protected:
  explicit OpenRepositoryTest(const char* busyTimeoutMs)
      : busyTimeoutMs_(busyTimeoutMs) {}
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", busyTimeoutMs_);
    repository_ = createAndOpen(db_);
    ASSERT_NE(repository_, nullptr);
  }
  void TearDown() override {
    if (repository_) repository_->release();
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    AdminTargetTest::TearDown();
  }

  AdminDatabase db_;
  Repository* repository_ = nullptr;

 private:
  const char* busyTimeoutMs_;
};

#define INSTANTIATE_ADMIN_TARGETS(suite) INSTANTIATE_RDA_TARGETS(suite)

#endif  // TESTS_SUPPORT_ADMIN_TARGETS_H_
