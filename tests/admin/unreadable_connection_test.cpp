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

// Every call that takes a connection string, each given `connection` and
// `prefix`, fails with `text`, logged once as the whole record; an entry
// for the list, with `text` as the reason why it cannot be added.
void expectEveryCallRefuses(RepositoryAdmin* admin, const TempDir& dir,
                            const KvbString& connection, const KvbString& prefix,
                            const std::string& text, LogCapture& log) {
  const std::vector<std::function<bool()>> calls = {
      [&] { return admin->createRepository(connection, prefix); },
      [&] {
        return admin->createRepositoryWithDDLFile(connection, prefix,
                                                  dir.file("kv.sql").c_str());
      },
      [&] { return admin->deleteRepositoryTables(connection, prefix); },
      [&] { return admin->addRepository(connection, prefix, "Main", false); },
      [&] {
        Repository* repository =
            admin->openRepositoryConnection(connection, prefix, true, "pool");
        if (repository) repository->release();
        return repository != nullptr;
      },
  };
  for (size_t call = 0; call < calls.size(); ++call) {
    SCOPED_TRACE("call " + std::to_string(call));
    const std::string expected =
        call == 3 ? "The repository \"Main\" cannot be added to the list: t" +
                        text.substr(1)
                  : text;
    const std::vector<std::string> failures =
        log.failuresDuring([&] { EXPECT_FALSE(calls[call]()); });
    EXPECT_EQ(admin->getErrorMessage().str(), expected);
    EXPECT_EQ(failures, std::vector<std::string>{expected});
  }
}

TEST(UnreadableConnection, NoPieceOfItsPasswordIsShownOrLogged) {
  const KvbString connection(
      "Driver={PostgreSQL Unicode};Server=127.0.0.1;Uid=kv;"
      "Pwd=Qx7S3cr3t;Zq9Secret;");
  TempDir dir;
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  ASSERT_NE(admin, nullptr) << getRepositoryAdminError();
  LogCapture log;
  expectEveryCallRefuses(
      admin, dir, connection, "kv",
      "The connection string cannot be read: attribute 5 has no '='", log);
  for (const CapturedLog& record : log.records())
    for (const char* piece : {"Qx7", "S3cr3t", "Zq9", "Secret"})
      EXPECT_EQ(record.text.find(piece), std::string::npos) << record.text;
  admin->release();
}

// A file path given where a connection string is taken is named, with the
// form that opens a SQLite file, by every call that takes one.
TEST(UnreadableConnection, AFilePathIsToldHowASqliteFileIsGiven) {
  TempDir dir;
  RepositoryAdmin* admin = createRepositoryAdmin(0, dir.file("list").c_str());
  ASSERT_NE(admin, nullptr) << getRepositoryAdminError();
  LogCapture log;
  expectEveryCallRefuses(
      admin, dir, "x.db", "",
      "The connection string \"x.db\" cannot be read: it has no '='; "
      "a SQLite file is given as FILE=<path>;KVXTYPE=SQLITE",
      log);
  admin->release();
}

}  // namespace
