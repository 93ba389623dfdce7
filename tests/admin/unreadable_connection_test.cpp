// A connection string that cannot be read, as a host meets it: every
// operation on it fails, logged once, with a text that blames the string
// (not an open or a creation) and says which attribute is malformed, and no
// piece of the text reaches the host's error text or a log record. A
// password with an unbraced ";" is the usual cause, so its pieces are what
// is looked for.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

TEST(UnreadableConnection, NoPieceOfItsPasswordIsShownOrLogged) {
  const KvbString connection(
      "Driver={PostgreSQL Unicode};Server=127.0.0.1;Uid=kv;"
      "Pwd=Qx7S3cr3t;Zq9Secret;");
  TempDir dir;
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  ASSERT_NE(admin, nullptr) << getRepositoryAdminError();
  const std::vector<std::function<bool()>> calls = {
      [&] { return admin->createRepository(connection, "kv"); },
      [&] {
        return admin->createRepositoryWithDDLFile(connection, "kv",
                                                  dir.file("kv.sql").c_str());
      },
      [&] { return admin->deleteRepositoryTables(connection, "kv"); },
      [&] { return admin->addRepository(connection, "kv", "Main", false); },
      [&] {
        Repository* repository =
            admin->openRepositoryConnection(connection, "kv", true, "pool");
        if (repository) repository->release();
        return repository != nullptr;
      },
  };
  const auto expectNoPiece = [](const std::string& text) {
    for (const char* piece : {"Qx7", "S3cr3t", "Zq9", "Secret"})
      EXPECT_EQ(text.find(piece), std::string::npos) << text;
  };
  LogCapture log;
  for (size_t call = 0; call < calls.size(); ++call) {
    SCOPED_TRACE("call " + std::to_string(call));
    const std::vector<std::string> failures =
        log.failuresDuring([&] { EXPECT_FALSE(calls[call]()); });
    const std::string error = admin->getErrorMessage().str();
    EXPECT_EQ(error,
              "The connection string cannot be read: attribute 5 has no '='");
    EXPECT_EQ(failures, std::vector<std::string>{error});
  }
  for (const CapturedLog& record : log.records()) expectNoPiece(record.text);
  admin->release();
}

// A file path given where a connection string is taken is named, with the
// form that opens a SQLite file, by every call that takes one.
TEST(UnreadableConnection, AFilePathIsToldHowASqliteFileIsGiven) {
  TempDir dir;
  RepositoryAdmin* admin = createRepositoryAdmin(0, dir.file("list").c_str());
  ASSERT_NE(admin, nullptr) << getRepositoryAdminError();
  const KvbString path("x.db");
  const std::vector<std::function<bool()>> calls = {
      [&] { return admin->createRepository(path, ""); },
      [&] {
        return admin->createRepositoryWithDDLFile(path, "",
                                                  dir.file("kv.sql").c_str());
      },
      [&] { return admin->deleteRepositoryTables(path, ""); },
      [&] { return admin->addRepository(path, "", "Main", false); },
      [&] {
        Repository* repository =
            admin->openRepositoryConnection(path, "", false, nullptr);
        if (repository) repository->release();
        return repository != nullptr;
      },
  };
  LogCapture log;
  for (size_t call = 0; call < calls.size(); ++call) {
    SCOPED_TRACE("call " + std::to_string(call));
    const std::vector<std::string> failures =
        log.failuresDuring([&] { EXPECT_FALSE(calls[call]()); });
    const std::string error = admin->getErrorMessage().str();
    EXPECT_EQ(error,
              "The connection string \"x.db\" cannot be read: it has no '='; "
              "a SQLite file is given as FILE=<path>;KVXTYPE=SQLITE");
    EXPECT_EQ(failures, std::vector<std::string>{error});
  }
  admin->release();
}

}  // namespace
