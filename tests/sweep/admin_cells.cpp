// The sweep's cells of the administration object (creation, drop, copy and
// the list file), of the repository itself (keys, long texts, table
// imports, upgrades) and of the import and export manager.
#include "sweep/write_sweep.h"

namespace {

// The export text of the rule that the setup made.
KvbString& exported() {
  static KvbString text;
  return text;
}

bool setup(Sweep& s, std::string* error) {
  int& rule = s.id["export rule"];
  rule = s.common->addRule("Export rule", "T", "", "", "", "u", "", 0, "", "");
  KvbString text;
  const bool ok =
      rule > 0 &&
      s.impexp->exportObject(rule, "Rule", "", exported(), text, nullptr) &&
      s.listed &&
      s.listed->addRepository(s.file.empty() ? s.connection : s.file, s.prefix,
                              "sweep", !s.file.empty());
  *error = text.str() + " " + s.common->getErrorMessage().str() +
           (s.listed ? s.listed->getErrorMessage().str() : "no list");
  return ok;
}

#define RA(name) "RepositoryAdmin::" name
#define R(name) "Repository::" name
#define IE(name) "RepositoryImportExportManager::" name

std::vector<Cell> cells() {
  return {
      {RA("createRepository"), Input::kInUse, "tablePrefix",
       SWEEP_CALL(admin, o->createRepository(s.connection, s.prefix)),
       refused("exists already in the database")},
      {RA("createFileRepository"), Input::kEmptyName, "path",
       SWEEP_CALL(admin, o->createFileRepository("")),
       refused("the database file path is empty")},
      {RA("createRepositoryWithDDLFile"), Input::kInUse, "tablePrefix",
       SWEEP_CALL(admin, o->createRepositoryWithDDLFile(s.connection, s.prefix,
                                                        KvbString())),
       refused("exists already in the database")},
      {RA("deleteRepositoryTables"), Input::kMissingId, "tablePrefix",
       SWEEP_CALL(admin,
                  o->deleteRepositoryTables(
                      s.connection, s.file.empty() ? s.prefix + "zz" : "zz")),
       noFailure()},
      {RA("deleteFile"), Input::kMissingId, "path",
       SWEEP_CALL(admin, o->deleteFile("/nonexistent/sweep.db")), noFailure()},
      {RA("copyRepository"), Input::kInUse, "target",
       SWEEP_CALL(admin, o->copyRepository(s.repository, s.repository)),
       refused("same repository")},
      {RA("copyRepository"), Input::kMissingId, "source",
       SWEEP_CALL(admin, o->copyRepository(nullptr, s.repository)),
       refused("repository")},
      {RA("addRepository"), Input::kEmptyName, "name",
       SWEEP_CALL(listed, o->addRepository(s.connection, s.prefix, "", false)),
       refused("its name is empty")},
      {RA("addRepository"), Input::kInUse, "name",
       SWEEP_CALL(listed,
                  o->addRepository(s.connection, s.prefix, "sweep", false)),
       refused("The repository \"sweep\" cannot be added to the list: ")},
      {RA("addRepository"), Input::kEmptyName, "connection",
       SWEEP_CALL(listed, o->addRepository("", s.prefix, "other", false)),
       refused("the connection string is empty")},
      {RA("addRepository"), Input::kNul, "name",
       SWEEP_CALL(listed,
                  o->addRepository(s.connection, s.prefix, kNul, false)),
       refused("NUL byte")},
      {RA("removeRepository"), Input::kMissingId, "name",
       SWEEP_CALL(listed, o->removeRepository("no such")), noFailure()},
      {RA("setDefaultRepository"), Input::kMissingId, "name",
       SWEEP_CALL(listed, o->setDefaultRepository("no such")), noFailure()},

      {R("setKeyValue"), Input::kNul, "value",
       SWEEP_CALL(repository, o->setKeyValue("sweep key", kNul)),
       refused("column V_VALUE of table KEYVAL")},
      {R("deleteKey"), Input::kMissingId, "key",
       SWEEP_CALL(repository, o->deleteKey("no such key")),
       unlogged("no such key")},
      {R("importTable"), Input::kMissingId, "path",
       SWEEP_CALL(repository, o->importTable("/nonexistent/table.xml")),
       refused("/nonexistent/table.xml")},
      {R("upgradeRepository"), Input::kInUse, "version",
       SWEEP_CALL(repository, o->upgradeRepository()),
       unlogged("nothing needs to be upgraded")},
      {R("upgradeNCOA"), Input::kInUse, "version",
       SWEEP_CALL(repository, o->upgradeNCOA()), noFailure()},

      {IE("importObject"), Input::kEmptyName, "input",
       SWEEP_TEXT(impexp, o->importObject("", 0, e)), refused("")},
      {IE("importObject"), Input::kMissingParent, "folderId",
       SWEEP_TEXT(impexp, o->importObject(exported(), 99999, e)),
       refused("Folder 99999 does not exist")},
      {IE("importObjectToPath"), Input::kMissingParent, "objectPath",
       SWEEP_TEXT(impexp, o->importObjectToPath("No folder/Export rule",
                                                exported(), e)),
       refused("Unable to find folder/object by path: \"No folder\"")},
      {IE("importObjectToPath"), Input::kInUse, "objectPath",
       SWEEP_TEXT(impexp, o->importObjectToPath("Export rule", exported(), e)),
       refused("Export rule")},
      {IE("deleteObjectByPath"), Input::kMissingId, "objectPath",
       SWEEP_TEXT(impexp, o->deleteObjectByPath("No rule", "Rule", e)),
       refused("No rule")},
      {IE("updateObject"), Input::kMissingId, "objectId",
       SWEEP_TEXT(impexp, o->updateObject(99999, "Rule", "", exported(), 0, e,
                                          nullptr)),
       refused("99999")},
      {IE("updateObject"), Input::kMissingId, "typeName",
       SWEEP_TEXT(impexp, o->updateObject(s.id.at("export rule"), "Task", "",
                                          exported(), 0, e, nullptr)),
       refused("Task")},
  };
}

}  // namespace

Table adminTable() { return {"admin", setup, cells}; }
