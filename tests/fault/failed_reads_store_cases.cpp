// Failed-read cases of the common, metadata and explorer stores and the
// folder manager. Each prepares the object its call finds, and the adds
// are made a second time, so that they reach the answer by what is stored.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "admin/repositoryimpl.h"
#include "fault/failed_reads.h"
#include "kvreposres/kvreposres.h"
#include "reposadmin/repos_data_access.h"

namespace {

// The ids that a case's preparation stored, for its call to name.
struct Stored {
  int rule = -1;
  int metric = -1;
  int category = -1;
  int folder = -1;     // "A", at the top level
  int subFolder = -1;  // "A/B", empty
  int resource = -1;
  int otherResource = -1;
};

// The cases of this file, sharing the ids their preparations store.
ReadCase storedCase(
    const char* name, std::function<void(ReadStores&, Stored&)> prepare,
    std::function<ReadAnswer(ReadStores&, const Stored&)> call) {
  return ::storedCase<Stored>(name, std::move(prepare), std::move(call));
}

// The folders "A" and "A/B".
void addFolders(ReadStores& s, Stored& ids) {
  ASSERT_TRUE(s.meta()->addFolder(0, "A", ids.folder))
      << s.meta()->getErrorMessage().str();
  ASSERT_TRUE(s.meta()->addFolder(ids.folder, "B", ids.subFolder))
      << s.meta()->getErrorMessage().str();
}

// Rule "R" with UUID "u-1", filed in folder "A".
void addRule(ReadStores& s, Stored& ids) {
  addFolders(s, ids);
  ids.rule = s.common()->addRule("R", "T", "1=1", "", "", "ann", "u-1",
                                 ids.folder, "", "");
  ASSERT_GT(ids.rule, 0) << s.common()->getErrorMessage().str();
}

void addMetric(ReadStores& s, Stored& ids) {
  ids.metric = s.common()->addCustomMetric("M", "", "x", "");
  ASSERT_GT(ids.metric, 0) << s.common()->getErrorMessage().str();
}

void addCategory(ReadStores& s, Stored& ids) {
  ids.category = s.common()->addGlobalCategory("G", "d");
  ASSERT_GT(ids.category, 0) << s.common()->getErrorMessage().str();
}

void lockRule(ReadStores& s, Stored& ids) {
  addRule(s, ids);
  ASSERT_TRUE(s.meta()->lockObject(ids.rule, "Rule", "ann", "u-1"));
}

void addResources(ReadStores& s, Stored& ids) {
  ASSERT_TRUE(s.meta()->addResource("R", "db/t", "Table", ids.resource));
  ASSERT_TRUE(s.meta()->addResource("S", "db/u", "Table", ids.otherResource));
}

// The "Shared Data" folder at the top level, which a new repository lacks.
void addSharedData(ReadStores& s, Stored& ids) {
  ASSERT_TRUE(s.meta()->addFolder(0, "Shared Data", ids.folder))
      << s.meta()->getErrorMessage().str();
}

// Data exploration 1 with UUID "p-1" and one explored table; the
// repository has no call that adds one.
void addProject(ReadStores& s, Stored&) {
  ReposDataAccess* rda =
      static_cast<RepositoryImpl*>(s.repository())->getDataAccess();
  const auto exec = [&](const char* code, const std::string& rest) {
    EXPECT_TRUE(rda->paramExec(
        "INSERT INTO " + rda->getTableName(code, true, -1) + rest, nullptr, 0))
        << rda->getErrorMessage().str();
  };
  exec("MPRJ", " (PRJ_ID, PRJ_NM, PRJ_UUID) VALUES (1, 'P', 'p-1')");
  exec("MPJTBL", " (PRJ_ID, TBL_ID) VALUES (1, 10)");
}

}  // namespace

std::vector<ReadCase> storeReadCases() {
  // The common store: adds made again, and finds by id. An empty name
  // keeps the find from trying again by name, which would answer the
  // second lookup rather than the one that failed.
  std::vector<ReadCase> cases = {
      storedCase(
          "RuleFieldAddedAgain",
          [](ReadStores& s, Stored& ids) {
            addRule(s, ids);
            ASSERT_TRUE(s.common()->addRuleField(ids.rule, "F", "d"));
          },
          [](ReadStores& s, const Stored& ids) {
            return answer(!s.common()->addRuleField(ids.rule, "F", "d"),
                          s.common());
          }),
      storedCase(
          "CustomMetricFieldMapAddedAgain",
          [](ReadStores& s, Stored& ids) {
            addRule(s, ids);
            addMetric(s, ids);
            ASSERT_TRUE(s.common()->addCustomMetricFieldMap(
                ids.rule, ids.metric, 1, "F", "in", "I"));
          },
          [](ReadStores& s, const Stored& ids) {
            return answer(!s.common()->addCustomMetricFieldMap(
                              ids.rule, ids.metric, 1, "F", "in", "I"),
                          s.common());
          }),
      storedCase("GlobalCategoryAddedAgain", addCategory,
                 [](ReadStores& s, const Stored&) {
                   return answer(s.common()->addGlobalCategory("G", "d") < 0,
                                 s.common());
                 }),
      storedCase(
          "GlobalCategoryDefinitionAddedAgain",
          [](ReadStores& s, Stored& ids) {
            addCategory(s, ids);
            ASSERT_GT(s.common()->addGlobalCategoryDefinition(
                          ids.category, "ENUSA", 3, "Name", 4, "Given", ""),
                      0);
          },
          [](ReadStores& s, const Stored& ids) {
            return answer(
                s.common()->addGlobalCategoryDefinition(
                    ids.category, "ENUSA", 3, "Name", 4, "Given", "") < 0,
                s.common());
          }),
      storedCase(
          "GlobalCategoryFieldAddedAgain",
          [](ReadStores& s, Stored& ids) {
            addCategory(s, ids);
            ASSERT_TRUE(s.common()->addGlobalCategoryField(
                ids.category, "dsn", "", "dbo", "T", "F", true, "C", 10, 1));
          },
          [](ReadStores& s, const Stored& ids) {
            return answer(
                !s.common()->addGlobalCategoryField(
                    ids.category, "dsn", "", "dbo", "T", "F", true, "C", 10, 1),
                s.common());
          }),
      storedCase("FindRule", addRule,
                 [](ReadStores& s, const Stored& ids) {
                   return cursorAnswer(s.common()->findRule(ids.rule, "", ""),
                                       s.common());
                 }),
      storedCase("FindRuleByUuid", addRule,
                 [](ReadStores& s, const Stored&) {
                   return cursorAnswer(s.common()->findRule(0, "", "u-1"),
                                       s.common());
                 }),
      storedCase("FindCustomMetric", addMetric,
                 [](ReadStores& s, const Stored& ids) {
                   return cursorAnswer(
                       s.common()->findCustomMetric(ids.metric, "", ""),
                       s.common());
                 }),
      storedCase("FindGlobalCategory", addCategory,
                 [](ReadStores& s, const Stored& ids) {
                   return cursorAnswer(
                       s.common()->findGlobalCategory(ids.category, "", ""),
                       s.common());
                 }),
      storedCase("GetGlobalCategory", addCategory,
                 [](ReadStores& s, const Stored& ids) {
                   return cursorAnswer(
                       s.common()->getGlobalCategory(ids.category), s.common());
                 }),
  };

  // The metadata store: objects, folders, locks and lineage resources.
  // Calls that fill an errorText answer with it.
  std::vector<ReadCase> metadata = {
      storedCase("GetObject", addRule,
                 [](ReadStores& s, const Stored& ids) {
                   KvbString text;
                   ReposDataAccessCursor* cursor =
                       s.meta()->getObject(ids.rule, "Rule", text);
                   if (cursor) cursor->release();
                   return ReadAnswer{cursor == nullptr, text.str()};
                 }),
      storedCase("FolderPath", addFolders,
                 [](ReadStores& s, const Stored& ids) {
                   KvbString path, top, text;
                   const bool found =
                       s.meta()->getFolderPath(ids.subFolder, path, top, text);
                   return ReadAnswer{!found, text.str()};
                 }),
      storedCase("FolderIdFromPath", addFolders,
                 [](ReadStores& s, const Stored&) {
                   int id = -1;
                   KvbString text;
                   const bool found =
                       s.meta()->getFolderIdFromPath("A/B", id, text);
                   return ReadAnswer{!found, text.str()};
                 }),
      storedCase("ParentFolderId", addFolders,
                 [](ReadStores& s, const Stored& ids) {
                   int parent = -1;
                   return answer(
                       !s.meta()->getParentFolderId(ids.subFolder, parent),
                       s.meta());
                 }),
      storedCase("ObjectFolderId", addRule,
                 [](ReadStores& s, const Stored& ids) {
                   int folder = -1;
                   return answer(
                       !s.meta()->getObjectFolderId("Rule", ids.rule, folder),
                       s.meta());
                 }),
      storedCase("SharedDataFolderId", addSharedData,
                 [](ReadStores& s, const Stored&) {
                   int folder = -1;
                   return answer(!s.meta()->getSharedDataFolderId(folder),
                                 s.meta());
                 }),
      storedCase("UnlockObject", lockRule,
                 [](ReadStores& s, const Stored& ids) {
                   NoEvents noEvents;
                   return answer(!s.meta()->unlockObject(ids.rule, "Rule"),
                                 s.meta());
                 }),
      storedCase("ObjectLock", lockRule,
                 [](ReadStores& s, const Stored& ids) {
                   KvbString uuid, user;
                   KvbDatavar date;
                   return answer(!s.meta()->getObjectLock(ids.rule, "Rule",
                                                          uuid, user, date),
                                 s.meta());
                 }),
      // The resource that exists is refused with a text of its own; any
      // other answer is a failure.
      storedCase(
          "ResourceAddedAgain", addResources,
          [](ReadStores& s, const Stored&) {
            int id = -1;
            const bool added = s.meta()->addResource("R", "db/t", "Table", id);
            const std::string text = s.meta()->getErrorMessage().str();
            return ReadAnswer{added || text !=
                                           "A Table resource with identity "
                                           "\"db/t\" exists already",
                              text};
          }),
      storedCase("FindResource", addResources,
                 [](ReadStores& s, const Stored&) {
                   return cursorAnswer(s.meta()->findResource("db/t", "Table"),
                                       s.meta());
                 }),
      storedCase("GetResource", addResources,
                 [](ReadStores& s, const Stored& ids) {
                   return cursorAnswer(s.meta()->getResource(ids.resource),
                                       s.meta());
                 }),
      storedCase(
          "ResourceDependencyAddedAgain",
          [](ReadStores& s, Stored& ids) {
            addResources(s, ids);
            ASSERT_TRUE(s.meta()->addResourceDependency(ids.resource,
                                                        ids.otherResource));
          },
          [](ReadStores& s, const Stored& ids) {
            return answer(!s.meta()->addResourceDependency(ids.resource,
                                                           ids.otherResource),
                          s.meta());
          }),
  };

  // The explorer store: both calls read the exploration's UUID for the
  // event they post.
  std::vector<ReadCase> explorer = {
      storedCase("DeleteProject", addProject,
                 [](ReadStores& s, const Stored&) {
                   NoEvents noEvents;
                   return answer(!s.explorer()->deleteProject(1), s.explorer());
                 }),
      storedCase("UpdateProject", addProject,
                 [](ReadStores& s, const Stored&) {
                   NoEvents noEvents;
                   return answer(!s.explorer()->updateProject(1, "Q", "c"),
                                 s.explorer());
                 }),
  };

  // The folder manager, whose failures are its own last error.
  std::vector<ReadCase> folders = {
      storedCase("FolderManagerFolderId", addFolders,
                 [](ReadStores& s, const Stored&) {
                   int id = -1;
                   return answer(!s.folders()->getFolderId("A/B", id),
                                 s.folders());
                 }),
      // An empty folder: both its objects and its sub-folders are read.
      storedCase("FolderManagerFolderEmpty", addFolders,
                 [](ReadStores& s, const Stored& ids) {
                   bool empty = false;
                   return answer(
                       !s.folders()->isFolderEmpty(ids.subFolder, empty),
                       s.folders());
                 }),
      storedCase("FolderManagerParentFolder", addFolders,
                 [](ReadStores& s, const Stored& ids) {
                   int parent = -1;
                   return answer(
                       !s.folders()->getParentFolder(ids.subFolder, parent),
                       s.folders());
                 }),
      storedCase("FolderManagerObjectFolder", addRule,
                 [](ReadStores& s, const Stored& ids) {
                   int folder = -1;
                   return answer(
                       !s.folders()->getObjectFolder("Rule", ids.rule, folder),
                       s.folders());
                 }),
      storedCase("FolderManagerOrphanedObjectsFolder", addSharedData,
                 [](ReadStores& s, const Stored&) {
                   int folder = -1;
                   return answer(
                       !s.folders()->getOrphanedObjectsFolderId(folder),
                       s.folders());
                 }),
      storedCase("FolderManagerLockInfo", lockRule,
                 [](ReadStores& s, const Stored& ids) {
                   KvbString uuid, user;
                   KvbDatavar date;
                   return answer(!s.folders()->getLockInfo(ids.rule, "Rule",
                                                           uuid, user, date),
                                 s.folders());
                 }),
      storedCase("FolderManagerResolveObjectPath", addRule,
                 [](ReadStores& s, const Stored&) {
                   int folder = -1, object = -1;
                   KvbString item, uuid, text;
                   const bool found = s.folders()->resolveObjectPath(
                       "A/R", "Rule", folder, object, item, uuid, text);
                   return ReadAnswer{!found, text.str()};
                 }),
      storedCase("FolderManagerObjectExists", addRule,
                 [](ReadStores& s, const Stored&) {
                   return answer(!s.folders()->objectExists("A/R", "Rule"),
                                 s.folders());
                 }),
      storedCase("FolderManagerObjectPath", addRule,
                 [](ReadStores& s, const Stored& ids) {
                   KvbString path;
                   return answer(
                       !s.folders()->getObjectPath(ids.rule, "Rule", path),
                       s.folders());
                 }),
      storedCase("FolderManagerFolderChildByName", addFolders,
                 [](ReadStores& s, const Stored&) {
                   return cursorAnswer(
                       s.folders()->getFolderChildByName(0, "A"), s.folders());
                 }),
  };

  for (auto* part : {&metadata, &explorer, &folders})
    cases.insert(cases.end(), part->begin(), part->end());
  return cases;
}
