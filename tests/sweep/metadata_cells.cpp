// The sweep's cells of folders, object locks, repository events, lineage
// resources and data explorations: the metadata interface, the folder and
// event-queue managers, impact analysis and the explorer interface.
#include "sweep/write_sweep.h"

namespace {

bool setup(Sweep& s, std::string* error) {
  MetadataRepositoryDataAccess* m = s.meta;
  int& folder = s.id["folder"];
  const bool ok = m->addFolder(0, "Sweep folder", folder) &&
                  m->addFolder(folder, "Sweep sub", s.id["sub"]) &&
                  m->addFolder(0, "Sweep folder 2", s.id["folder2"]) &&
                  m->addResource("used", "t-used", "Table", s.id["used"]) &&
                  m->addResource("user", "t-user", "Table", s.id["user"]) &&
                  m->addResourceDependency(s.id["used"], s.id["user"]) &&
                  s.insert("MPRJ", "PRJ_ID, PRJ_NM", {77, "Sweep exploration"});
  s.id["project"] = 77;
  *error = m->getErrorMessage().str() + " " + s.rda->getErrorMessage().str();
  return ok;
}

// `call` on the stored "Table" resource of `identity`; false when there is
// none.
template <class Call>
bool onResource(RepositoryImpactAnalysis* o, const char* identity, Call call) {
  KvResource* r = o->getResource("Table", identity);
  const bool ok = r && call(r);
  if (r) r->release();
  return ok;
}

// Whether a resource was given; it is released.
bool given(KvResource* r) {
  if (r) r->release();
  return r != nullptr;
}

#define META(name) "MetadataRepositoryDataAccess::" name
#define FM(name) "RepositoryFolderManager::" name
#define IA(name) "KvImpactAnalysis::" name
#define RIA(name) "RepositoryImpactAnalysis::" name

std::vector<Cell> cells() {
  static KvbString text;
  static int out = 0;
  return {
      {META("addFolder"), Input::kMissingParent, "parentId",
       SWEEP_CALL(meta, o->addFolder(99999, "New", out)),
       refused("Folder 99999 does not exist")},
      {META("addFolder"), Input::kInUse, "name",
       SWEEP_CALL(meta, o->addFolder(0, "SWEEP folder", out)),
       refused("Folder 0 already holds a folder named \"Sweep folder\"")},
      {META("addFolder"), Input::kEmptyName, "name",
       SWEEP_CALL(meta, o->addFolder(0, "", out)), refused("folder")},
      {META("addFolder"), Input::kNul, "name",
       SWEEP_CALL(meta, o->addFolder(0, kNul, out)),
       refused("column FLDR_NAM of table FOLDER")},
      {META("addFolder"), Input::kTooLong, "name",
       SWEEP_CALL(meta, o->addFolder(0, kLong, out)),
       refused("column FLDR_NAM of table FOLDER")},
      {META("deleteFolder"), Input::kMissingId, "folderId",
       SWEEP_CALL(meta, o->deleteFolder(99999, text)), noFailure()},
      {META("deleteFolder"), Input::kStillUsed, "folderId",
       SWEEP_CALL(meta, o->deleteFolder(0, text)),
       refused("Root level folder cannot be deleted")},
      {META("renameFolder"), Input::kMissingId, "folderId",
       SWEEP_CALL(meta, o->renameFolder(99999, "New")),
       refused("Folder 99999 does not exist")},
      {META("renameFolder"), Input::kInUse, "newName",
       SWEEP_CALL(meta, o->renameFolder(s.id.at("folder2"), "Sweep Folder")),
       refused("already holds a folder named \"Sweep folder\"")},
      {META("renameFolder"), Input::kEmptyName, "newName",
       SWEEP_CALL(meta, o->renameFolder(s.id.at("folder2"), "")),
       refused("folder")},
      {META("renameFolder"), Input::kNul, "newName",
       SWEEP_CALL(meta, o->renameFolder(s.id.at("folder2"), kNul)),
       refused("column FLDR_NAM of table FOLDER")},
      {META("moveFolder"), Input::kMissingId, "folderId",
       SWEEP_CALL(meta, o->moveFolder(99999, 0)),
       refused("Folder 99999 does not exist")},
      {META("moveFolder"), Input::kMissingParent, "newParentId",
       SWEEP_CALL(meta, o->moveFolder(s.id.at("folder2"), 99999)),
       refused("Folder 99999 does not exist")},
      {META("moveFolder"), Input::kStillUsed, "newParentId",
       SWEEP_CALL(meta, o->moveFolder(s.id.at("folder"), s.id.at("sub"))),
       refused("folder")},
      {META("moveObjectToFolder"), Input::kMissingId, "typeName",
       SWEEP_CALL(meta, o->moveObjectToFolder(1, "NoType", 0, text)),
       refused("Unable to find type: NoType")},
      {META("moveObjectToFolder"), Input::kMissingId, "objectId",
       SWEEP_CALL(meta, o->moveObjectToFolder(99999, "Rule", 0, text)),
       refused("99999")},
      {META("moveObjectToFolder"), Input::kMissingParent, "folderId",
       SWEEP_CALL(meta, o->moveObjectToFolder(99999, "Rule", 99999, text)),
       refused("Folder 99999 does not exist")},
      {META("lockObject"), Input::kNul, "user",
       SWEEP_CALL(meta, o->lockObject(1, "Rule", kNul, "")),
       refused("of table OBJLCK")},
      {META("unlockObject"), Input::kMissingId, "objectId",
       SWEEP_CALL(meta, o->unlockObject(99999, "Rule")), noFailure()},
      {META("createRepositoryEvent"), Input::kNul, "subject",
       SWEEP_CALL(meta, o->createRepositoryEvent(kNul, 0, "", "", out, text)),
       refused("of table REVENT")},
      {META("removeRepositoryEvents"), Input::kMissingId, "eventId",
       SWEEP_CALL(meta, o->removeRepositoryEvents(0, 0.0, text)),
       refused("neither date or id")},
      {META("addResource"), Input::kInUse, "identity",
       SWEEP_CALL(meta, o->addResource("again", "t-used", "Table", out)),
       refused("\"t-used\"")},
      {META("addResource"), Input::kNul, "name",
       SWEEP_CALL(meta, o->addResource(kNul, "t-nul", "Table", out)),
       refused("column RCS_NM of table IMPRCS")},
      {META("deleteDependenciesOn"), Input::kMissingId, "resourceId",
       SWEEP_CALL(meta, o->deleteDependenciesOn(99999)), noFailure()},
      {META("setResourceAccessDate"), Input::kMissingId, "resourceId",
       SWEEP_CALL(meta, o->setResourceAccessDate(99999, 1.0)),
       refused("Resource 99999 does not exist")},
      {META("addResourceDependency"), Input::kMissingParent, "rcsId",
       SWEEP_CALL(meta, o->addResourceDependency(99999, s.id.at("user"))),
       refused("Resource 99999 does not exist")},
      {META("addResourceDependency"), Input::kMissingParent, "usedRcsId",
       SWEEP_CALL(meta, o->addResourceDependency(s.id.at("used"), 99999)),
       refused("Resource 99999 does not exist")},
      {META("deleteResourceDependency"), Input::kMissingId, "rcsId",
       SWEEP_CALL(meta, o->deleteResourceDependency(99999, 99998)),
       noFailure()},
      {META("normalizeFolderNames"), Input::kMissingId, "status",
       SWEEP_CALL(meta, o->normalizeFolderNames(nullptr, text)), noFailure()},

      {FM("createFolder"), Input::kMissingParent, "parentFolderId",
       SWEEP_CALL(folders, o->createFolder(99999, "New", out)),
       refused("Folder 99999 does not exist")},
      {FM("createFolder"), Input::kInUse, "name",
       SWEEP_CALL(folders, o->createFolder(0, "Sweep folder", out)),
       refused("already holds a folder named \"Sweep folder\"")},
      {FM("createFolder"), Input::kEmptyName, "name",
       SWEEP_CALL(folders, o->createFolder(0, "", out)), refused("folder")},
      {FM("createFolder"), Input::kNul, "name",
       SWEEP_CALL(folders, o->createFolder(0, kNul, out)),
       refused("column FLDR_NAM of table FOLDER")},
      {FM("deleteFolder"), Input::kStillUsed, "folderId",
       SWEEP_CALL(folders, o->deleteFolder(0)),
       refused("Root level folder cannot be deleted")},
      {FM("deleteFolder"), Input::kMissingId, "folderId",
       SWEEP_CALL(folders, o->deleteFolder(99999)), noFailure()},
      {FM("renameFolder"), Input::kMissingId, "folderId",
       SWEEP_CALL(folders, o->renameFolder(99999, "New")),
       refused("Folder 99999 does not exist")},
      {FM("renameFolder"), Input::kInUse, "newName",
       SWEEP_CALL(folders, o->renameFolder(s.id.at("folder2"), "sweep folder")),
       refused("already holds a folder named \"Sweep folder\"")},
      {FM("moveFolder"), Input::kMissingParent, "newParentFolderId",
       SWEEP_CALL(folders, o->moveFolder(s.id.at("folder2"), 99999)),
       refused("Folder 99999 does not exist")},
      {FM("moveFolder"), Input::kStillUsed, "newParentFolderId",
       SWEEP_CALL(folders, o->moveFolder(s.id.at("folder"), s.id.at("sub"))),
       refused("folder")},
      {FM("moveFolder"), Input::kMissingId, "folderId",
       SWEEP_CALL(folders, o->moveFolder(99999, 0)),
       refused("Folder 99999 does not exist")},
      {FM("lockObject"), Input::kNul, "user",
       SWEEP_CALL(folders, o->lockObject(1, "Rule", kNul, "")),
       refused("of table OBJLCK")},
      {FM("unlockObject"), Input::kMissingId, "objectId",
       SWEEP_CALL(folders, o->unlockObject(99999, "Rule")), noFailure()},
      {FM("moveObject"), Input::kMissingId, "objectType",
       SWEEP_CALL(folders, o->moveObject(1, "NoType", 0)),
       refused("Unable to find type: NoType")},
      {FM("moveObject"), Input::kMissingId, "objectId",
       SWEEP_CALL(folders, o->moveObject(99999, "Rule", 0)), refused("99999")},
      {FM("moveObject"), Input::kMissingParent, "folderId",
       SWEEP_CALL(folders, o->moveObject(99999, "Rule", 99999)),
       refused("Folder 99999 does not exist")},

      {"RepositoryEventQueueManager::addEvent", Input::kNul, "subject",
       [](Sweep& s) {
         int id = 0;
         KvbString error;
         return Answer{s.events->addEvent(kNul, 0, "", "", id, error),
                       error.str()};
       },
       refused("of table REVENT")},
      {"RepositoryEventQueueManager::removeEvents", Input::kMissingId,
       "eventId",
       [](Sweep& s) {
         KvbString error;
         return Answer{s.events->removeEvents(0, 0.0, error), error.str()};
       },
       refused("neither date or id")},

      {IA("removeUnusedResources"), Input::kStillUsed, "resources",
       SWEEP_CALL(impact, o->removeUnusedResources()), noFailure()},
      {IA("addResourceDependencies"), Input::kMissingId, "resource",
       SWEEP_CALL(impact, o->addResourceDependencies(nullptr, nullptr)),
       noFailure()},
      {IA("createResource"), Input::kInUse, "identity",
       SWEEP_CALL(impact, given(o->createResource("again", "Table", "t-used"))),
       noFailure()},
      {IA("createResource"), Input::kNul, "name",
       SWEEP_CALL(impact, given(o->createResource(kNul, "Table", "t-nul"))),
       refused("column RCS_NM of table IMPRCS")},
      {IA("removeResource"), Input::kStillUsed, "resource",
       SWEEP_CALL(impact, onResource(o, "t-used",
                                     [&](KvResource* r) {
                                       return o->removeResource(r);
                                     })),
       refused("t-used")},
      {IA("setResourceAccessDate"), Input::kMissingId, "resource",
       SWEEP_CALL(impact, o->setResourceAccessDate(nullptr, KvbDate(1.0))),
       refused("Resource -1 does not exist")},
      {RIA("analyzeObject"), Input::kMissingId, "id",
       SWEEP_CALL(impact, onResource(o, "t-user",
                                     [&](KvResource* r) {
                                       return o->analyzeObject(r, "", "Rule",
                                                               "x", "");
                                     })),
       refused("The object id \"x\" is not a number")},
      {RIA("removeDependentResources"), Input::kMissingId, "resource",
       SWEEP_CALL(impact, o->removeDependentResources(nullptr)),
       refused("resource")},
      {RIA("renameResource"), Input::kMissingId, "identity",
       SWEEP_CALL(impact, o->renameResource("Table", "t-none", "New")),
       refused("t-none")},
      {RIA("renameResource"), Input::kNul, "newName",
       SWEEP_CALL(impact, o->renameResource("Table", "t-used", kNul)),
       refused("column RCS_NM of table IMPRCS")},
      {RIA("removeResourceIfUnused"), Input::kStillUsed, "resource",
       SWEEP_CALL(impact, onResource(o, "t-used",
                                     [&](KvResource* r) {
                                       return o->removeResourceIfUnused(r);
                                     })),
       refused("t-used")},

      {"ExplorerRepositoryDataAccess::deleteProject", Input::kMissingId,
       "prjId", SWEEP_CALL(explorer, o->deleteProject(99999)), noFailure()},
      {"ExplorerRepositoryDataAccess::updateProject", Input::kMissingId,
       "prjId", SWEEP_CALL(explorer, o->updateProject(99999, "P", "")),
       refused("99999")},
      {"ExplorerRepositoryDataAccess::updateProject", Input::kNul, "name",
       SWEEP_CALL(explorer, o->updateProject(s.id.at("project"), kNul, "")),
       refused("column PRJ_NM of table MPRJ")},
  };
}

}  // namespace

Table metadataTable() { return {"metadata", setup, cells}; }
