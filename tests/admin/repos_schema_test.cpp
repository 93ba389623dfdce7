// A repository on PostgreSQL lives in the schema where it was made, also
// when the connection's search path starts in another schema: a schema
// named as the user (the default path "$user", public), a path set in the
// connection string, or such a path whose first schema holds host tables
// named like the repository's. Every piece of work that names tables
// (writes, drops, imports, loads, copies, cascades) reaches the
// repository's own tables and no other schema's; only a new repository
// goes where the path says, also where a repository of the same prefix
// made before by the same process lives in another schema.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kvdataaccess/kvdataaccess.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/profile_data_access.h"
#include "reposadmin/repository_admin.h"
#include "support/dac_targets.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

namespace {

// Where the engine's connection resolves names first.
enum class Path {
  kUserSchema,    // the default path, with a schema named as the user
  kConnSettings,  // ConnSettings=SET search_path TO s2,public;
  kHostTables,    // the same, and s2 holds tables named like ab's
};
// (A host table s2.abJALERT would be the table ALERT of "abj" in the
// schema where "abj" is made, which its drop takes as any leftover.)

enum class Work {
  kWrite,          // open ab and add a rule
  kDropNeighbour,  // drop "abj", which holds no repository
  kDropOwn,        // drop ab
  kImportClaimed,  // import a file of "bFRQDST5" through repository a
  kLoad,           // a per-field frequency load of field 7 through ab
  kCopy,           // copy ab into repository q
  kImportOther,    // import ab's FRQDST5 file through repository q
  kCascade,        // delete the run whose field 5 has a table
  kCreate,         // create a new repository, then drop it
  kScript,         // write the creation's DDL script of a new repository
  kCreateTwice,    // create "tw" through the path, then through public
};

using Names = std::vector<std::string>;

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(c));
  return text;
}

// `names` with `added` put in and `removed` taken out, sorted.
Names changed(Names names, const Names& added, const Names& removed) {
  names.insert(names.end(), added.begin(), added.end());
  Names out;
  for (const std::string& name : names)
    if (std::find(removed.begin(), removed.end(), name) == removed.end())
      out.push_back(name);
  std::sort(out.begin(), out.end());
  return out;
}

class SearchPathPostgresTest
    : public ::testing::TestWithParam<std::tuple<Path, Work>> {
 protected:
  // A database of the test's own, with a schema named as the user and a
  // schema s2; the repository ab made in public, with a run whose field 5
  // has its frequency table.
  void SetUp() override {
    SKIP_WITHOUT_POSTGRES(true);
    const std::string server = postgresConnectionString();
    const std::string lower = lowered(server);
    const size_t at = lower.find("database=");
    ASSERT_NE(at, std::string::npos) << server;
    const size_t end = server.find(';', at);
    database_ = lowered(server.substr(at + 9, end - at - 9) + "_" +
                        uniqueTestName("sp"));
    ASSERT_TRUE(runOnPostgres("CREATE DATABASE " + database_));
    connection_ = server.substr(0, at + 9) + database_ +
                  (end == std::string::npos ? ";" : server.substr(end));
    KvbString error;
    raw_ = dacCreateDataSource(connection_.c_str(), &error);
    ASSERT_NE(raw_, nullptr) << error.asCstr();
    ASSERT_TRUE(sql("CREATE SCHEMA AUTHORIZATION CURRENT_USER"));
    ASSERT_TRUE(sql("CREATE SCHEMA s2"));
    ASSERT_TRUE(value("SELECT current_user", &user_));
    path_ = std::get<0>(GetParam());
    first_ = path_ == Path::kUserSchema ? user_ : "s2";
    engine_ = connection_;
    if (path_ != Path::kUserSchema) {
      if (engine_.back() != ';') engine_ += ';';
      engine_ += "ConnSettings=SET search_path TO s2,public;";
    }
    admin_ = createRepositoryAdmin(1, nullptr);
    ASSERT_NE(admin_, nullptr);
    ASSERT_TRUE(admin_->createRepository(connection_.c_str(), "public.ab"))
        << error_();
    Repository* ab = admin_->openRepositoryConnection(
        connection_.c_str(), "public.ab", false, nullptr);
    ASSERT_NE(ab, nullptr) << error_();
    for (const char* statement :
         {"INSERT INTO public.abJOB (JOB_ID, RPT_ID) VALUES (1, 1)",
          "INSERT INTO public.abDSN (DSN_ID, JOB_ID) VALUES (1, 1)",
          "INSERT INTO public.abFLD (FLD_ID, DSN_ID, TBL_ID) VALUES (5, 1, 1)"})
      ASSERT_TRUE(sql(statement));
    ASSERT_TRUE(load(ab, 5));
    ab->release();
    if (path_ == Path::kHostTables) {
      for (const char* name : {"abRULE", "abFRQDST5"}) {
        ASSERT_TRUE(sql(std::string("CREATE TABLE s2.") + name +
                        " (LIKE public." + name + ")"));
      }
      ASSERT_TRUE(sql("CREATE TABLE s2.abFRQDST7 (LIKE public.abFRQDST5)"));
    }
  }

  void TearDown() override {
    if (admin_) admin_->release();
    if (raw_) raw_->release();
    if (!database_.empty())
      runOnPostgres("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
  }

  bool sql(const std::string& statement) {
    const bool ok = raw_->execute(statement.c_str());
    EXPECT_TRUE(ok) << statement << ": " << raw_->getErrorMessage().asCstr();
    return ok;
  }
  bool value(const std::string& query, std::string* text) {
    DacStatement* statement = raw_->prepare(query.c_str());
    DacCursor* cursor = statement ? statement->select() : nullptr;
    KvbDatavar read;
    const bool ok = cursor && cursor->next() == 1 && cursor->getValue(0, read);
    if (ok) *text = read.asString().str();
    if (cursor) cursor->release();
    if (statement) statement->release();
    EXPECT_TRUE(ok) << query;
    return ok;
  }
  Names column(const std::string& query) {
    Names out;
    DacStatement* statement = raw_->prepare(query.c_str());
    DacCursor* cursor = statement ? statement->select() : nullptr;
    EXPECT_NE(cursor, nullptr) << query;
    KvbDatavar read;
    while (cursor && cursor->next() == 1 && cursor->getValue(0, read))
      out.push_back(read.asString().str());
    if (cursor) cursor->release();
    if (statement) statement->release();
    std::sort(out.begin(), out.end());
    return out;
  }
  // "schema.name" of every relation of `kind` ('r' tables, 'i' indexes) in
  // public, s2 and the user's schema.
  Names relations(char kind) {
    return column(
        std::string("SELECT n.nspname || '.' || c.relname FROM pg_class c "
                    "JOIN pg_namespace n ON n.oid = c.relnamespace "
                    "WHERE n.nspname IN ('public', 's2', current_user) "
                    "AND c.relkind = '") +
        kind + "'");
  }
  int rows(const std::string& table) {
    std::string count;
    return value("SELECT count(*) FROM " + table, &count) ? std::stoi(count)
                                                          : -1;
  }

  std::string error_() const { return admin_->getErrorMessage().str(); }
  Repository* open(const char* prefix) {
    Repository* repository = admin_->openRepositoryConnection(
        engine_.c_str(), prefix, false, nullptr);
    EXPECT_NE(repository, nullptr) << prefix << ": " << error_();
    return repository;
  }
  bool create(const char* prefix) {
    const bool made = admin_->createRepository(connection_.c_str(),
                                               ("public." +
                                                std::string(prefix)).c_str());
    EXPECT_TRUE(made) << prefix << ": " << error_();
    return made;
  }
  // A per-field frequency load of one row for the field.
  static ::testing::AssertionResult load(Repository* repository, int field) {
    ProfileRepositoryDataAccess* profile =
        repository->createProfileDataAccess();
    const bool loaded = profile->beginFrequencyLoad(field, false, 0) &&
                        profile->addFrequencyRow(field, "v", "M", 1) &&
                        profile->endFrequencyLoad(field);
    const std::string text = profile->getErrorMessage().str();
    profile->release();
    return loaded ? ::testing::AssertionSuccess()
                  : ::testing::AssertionFailure() << text;
  }
  // ab's FRQDST5 as a table file naming `table`; its path.
  std::string exported(const std::string& table) {
    Repository* ab = open("ab");
    if (!ab) return "";
    EXPECT_TRUE(ab->exportFrqdstTables(5, 6, dumps_.path().string().c_str(), false))
        << ab->getErrorMessage().asCstr();
    ab->release();
    std::stringstream text;
    text << std::ifstream(dumps_.file("abFRQDST5.xml")).rdbuf();
    std::string dump = text.str();
    const size_t at = dump.find(">FRQDST5<");
    EXPECT_NE(at, std::string::npos) << dump;
    if (at != std::string::npos) dump.replace(at + 1, 7, table);
    const std::string path = dumps_.file("import.xml");
    std::ofstream(path) << dump;
    return path;
  }

  std::string database_, connection_, engine_, user_, first_;
  Path path_ = Path::kUserSchema;
  DacConnection* raw_ = nullptr;
  RepositoryAdmin* admin_ = nullptr;
  TempDir dumps_;
  LogCapture log_;
};

// Each work gives the relations that it adds and takes away; every other
// table of every schema, and the host's tables with their rows, stay.
TEST_P(SearchPathPostgresTest, WorkReachesOnlyTheRepositorysOwnSchema) {
  const Work work = std::get<1>(GetParam());
  const Names hostTables =
      path_ == Path::kHostTables
          ? Names{"s2.abfrqdst5", "s2.abfrqdst7", "s2.abrule"}
          : Names{};
  const Names before = relations('r');
  Names added, removed;
  switch (work) {
    case Work::kWrite: {
      Repository* ab = open("ab");
      ASSERT_NE(ab, nullptr);
      CommonRepositoryDataAccess* common = ab->createCommonDataAccess();
      EXPECT_GE(common->addRule("r", "t", "x", "g", "", "u", "", 0, "", ""), 0)
          << common->getErrorMessage().asCstr();
      common->release();
      ab->release();
      EXPECT_EQ(rows("public.abrule"), 1);
      break;
    }
    case Work::kDropNeighbour:
      EXPECT_TRUE(admin_->deleteRepositoryTables(engine_.c_str(), "abj"))
          << error_();
      break;
    case Work::kDropOwn:
      EXPECT_TRUE(admin_->deleteRepositoryTables(engine_.c_str(), "ab"))
          << error_();
      for (const std::string& name : before)
        if (name.rfind("public.ab", 0) == 0) removed.push_back(name);
      EXPECT_GT(removed.size(), 100u);
      break;
    case Work::kImportClaimed: {
      ASSERT_TRUE(create("a"));
      const std::string file = exported("bFRQDST5");
      added = changed(relations('r'), {}, before);
      Repository* a = open("a");
      ASSERT_NE(a, nullptr);
      EXPECT_FALSE(a->importTable(file.c_str()));
      EXPECT_NE(a->getErrorMessage().find("repository under the table "
                                          "prefix \"ab\""),
                KvbString::npos)
          << a->getErrorMessage().asCstr();
      a->release();
      EXPECT_EQ(rows("public.abfrqdst5"), 1);
      break;
    }
    case Work::kLoad: {
      Repository* ab = open("ab");
      ASSERT_NE(ab, nullptr);
      EXPECT_TRUE(load(ab, 7));
      ab->release();
      added = {"public.abfrqdst7"};
      break;
    }
    case Work::kCopy:
    case Work::kImportOther: {
      ASSERT_TRUE(create("q"));
      added = changed(relations('r'), {}, before);
      const std::string file =
          work == Work::kImportOther ? exported("FRQDST5") : "";
      Repository* ab = open("ab");
      Repository* q = open("q");
      ASSERT_TRUE(ab && q);
      if (work == Work::kCopy)
        EXPECT_TRUE(admin_->copyRepository(ab, q)) << error_();
      else
        EXPECT_TRUE(q->importTable(file.c_str()))
            << q->getErrorMessage().asCstr();
      ab->release();
      q->release();
      added.push_back("public.qfrqdst5");
      EXPECT_EQ(rows("public.qfrqdst5"), 1);
      // Its indexes are q's; ab's stay ab's.
      Names indexes;
      for (const std::string& index : relations('i'))
        if (index.find("frqdist") != std::string::npos)
          indexes.push_back(index);
      EXPECT_EQ(indexes, (Names{"public.abfk_frqdist_fr_count5",
                                "public.abfk_frqdist_fr_val5",
                                "public.qfk_frqdist_fr_count5",
                                "public.qfk_frqdist_fr_val5"}));
      break;
    }
    case Work::kCascade: {
      Repository* ab = open("ab");
      ASSERT_NE(ab, nullptr);
      ProfileRepositoryDataAccess* profile = ab->createProfileDataAccess();
      EXPECT_TRUE(profile->deleteReportRuns(-1, -1, 1, false))
          << profile->getErrorMessage().asCstr();
      profile->release();
      ab->release();
      removed = {"public.abfrqdst5"};
      break;
    }
    case Work::kCreate: {
      // The path decides where a new repository goes, and its drop finds
      // all of it there, its per-id tables too.
      ASSERT_TRUE(admin_->createRepository(engine_.c_str(), "nw")) << error_();
      Repository* nw = open("nw");
      ASSERT_NE(nw, nullptr);
      EXPECT_TRUE(load(nw, 7));
      nw->release();
      const Names made = changed(relations('r'), {}, before);
      EXPECT_GT(made.size(), 100u);
      for (const std::string& name : made)
        EXPECT_EQ(name.rfind(first_ + ".nw", 0), 0u) << name;
      EXPECT_NE(std::find(made.begin(), made.end(), first_ + ".nwfrqdst7"),
                made.end());
      EXPECT_TRUE(admin_->deleteRepositoryTables(engine_.c_str(), "nw"))
          << error_();
      break;
    }
    case Work::kScript: {
      // A script names no schema, so that it runs by hand on any database.
      const std::string script = dumps_.file("create.sql");
      EXPECT_TRUE(admin_->createRepositoryWithDDLFile(engine_.c_str(), "sc",
                                                      script.c_str()))
          << error_();
      std::stringstream text;
      text << std::ifstream(script).rdbuf();
      EXPECT_NE(text.str().find("CREATE TABLE scINFO ("), std::string::npos)
          << text.str().substr(0, 2000);
      for (const std::string& schema : {std::string("public"), first_})
        EXPECT_EQ(text.str().find(" " + schema + "."), std::string::npos)
            << schema;
      break;
    }
    case Work::kCreateTwice: {
      // One prefix in two schemas, each creation through its own path in
      // this one process: the second is made with statements that name
      // its own schema, not with those kept from the first.
      std::string inPublic = connection_;
      if (inPublic.back() != ';') inPublic += ';';
      inPublic += "ConnSettings=SET search_path TO public;";
      for (const std::string& path : {engine_, inPublic})
        EXPECT_TRUE(admin_->createRepository(path.c_str(), "tw")) << error_();
      const Names made = changed(relations('r'), {}, before);
      size_t first = 0, inPublicSchema = 0;
      for (const std::string& name : made) {
        first += name.rfind(first_ + ".tw", 0) == 0;
        inPublicSchema += name.rfind("public.tw", 0) == 0;
      }
      EXPECT_GT(first, 100u);
      EXPECT_EQ(inPublicSchema, first);
      EXPECT_EQ(made.size(), first + inPublicSchema);
      // The drops name their schemas: behind a pooler a path that one
      // client set stays on the server session that the next one gets.
      for (const std::string& schema : {first_, std::string("public")})
        EXPECT_TRUE(admin_->deleteRepositoryTables(connection_.c_str(),
                                                   (schema + ".tw").c_str()))
            << error_();
      break;
    }
  }
  EXPECT_EQ(relations('r'), changed(before, added, removed));
  for (const std::string& table : hostTables) EXPECT_EQ(rows(table), 0);
}

// A schema whose name needs quotes cannot be written as the engine writes
// names (unquoted, folded to lower case): a repository made there keeps to
// the search path, as before the engine found schemas, and the open says
// so in the log. Its writes and its drop reach it all the same.
class QuotedSchemaPostgresTest : public SearchPathPostgresTest {};

TEST_P(QuotedSchemaPostgresTest, ARepositoryThereFollowsTheSearchPath) {
  ASSERT_TRUE(sql("CREATE SCHEMA \"Odd\""));
  std::string engine = connection_;
  if (engine.back() != ';') engine += ';';
  engine += "ConnSettings=SET search_path TO \"Odd\";";
  ASSERT_TRUE(admin_->createRepository(engine.c_str(), "od")) << error_();
  Repository* od = admin_->openRepositoryConnection(engine.c_str(), "od",
                                                    false, nullptr);
  ASSERT_NE(od, nullptr) << error_();
  CommonRepositoryDataAccess* common = od->createCommonDataAccess();
  EXPECT_GE(common->addRule("r", "t", "x", "g", "", "u", "", 0, "", ""), 0)
      << common->getErrorMessage().asCstr();
  common->release();
  od->release();
  EXPECT_EQ(rows("\"Odd\".odrule"), 1);
  EXPECT_TRUE(log_.contains("The schema \"Odd\" of the tables under the "
                            "table prefix \"od\" cannot be named without "
                            "quotes"));
  EXPECT_TRUE(admin_->deleteRepositoryTables(engine.c_str(), "od"))
      << error_();
  EXPECT_EQ(column("SELECT c.relname FROM pg_class c JOIN pg_namespace n "
                   "ON n.oid = c.relnamespace WHERE n.nspname = 'Odd'"),
            Names{});
}

INSTANTIATE_TEST_SUITE_P(Quoted, QuotedSchemaPostgresTest,
                         ::testing::Values(std::make_tuple(Path::kConnSettings,
                                                           Work::kCreate)));

std::string caseName(
    const ::testing::TestParamInfo<std::tuple<Path, Work>>& param) {
  static const char* const paths[] = {"UserSchema", "ConnSettings",
                                      "HostTables"};
  static const char* const works[] = {
      "Write",  "DropNeighbour", "DropOwn",     "ImportClaimed",
      "Load",   "Copy",          "ImportOther", "Cascade",
      "Create", "Script",        "CreateTwice"};
  return std::string(paths[static_cast<int>(std::get<0>(param.param))]) +
         works[static_cast<int>(std::get<1>(param.param))];
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SearchPathPostgresTest,
    ::testing::Combine(::testing::Values(Path::kUserSchema, Path::kConnSettings,
                                         Path::kHostTables),
                       ::testing::Values(Work::kWrite, Work::kDropNeighbour,
                                         Work::kDropOwn, Work::kImportClaimed,
                                         Work::kLoad, Work::kCopy,
                                         Work::kImportOther, Work::kCascade,
                                         Work::kCreate, Work::kScript,
                                         Work::kCreateTwice)),
    caseName);

}  // namespace
