// The folder manager on every back end: the tree with moves and paths,
// object paths, filing, emptiness and locks.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "reposadmin/common_data_access.h"
#include "reposadmin/repository_folder_manager.h"
#include "services/repfldrmgrimpl.h"
#include "services/services_targets.h"
#include "support/event_recorder.h"
#include "support/log_capture.h"

namespace {

// The database's reason in a failure's text, without the statement that an
// ODBC failure names first ("Running \"SELECT ...\": [42703] ...").
std::string databaseReason(const std::string& text) {
  if (text.rfind("Running \"", 0) != 0) return text;
  const size_t end = text.find("\": ");
  return end == std::string::npos ? text : text.substr(end + 3);
}

class FolderManagerTest : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    fm_ = repos_->createFolderManager();
    ASSERT_NE(fm_, nullptr);
  }
  void TearDown() override {
    if (fm_) fm_->release();
    ServicesTest::TearDown();
  }
  int folder(int parent, const char* name) {
    int id = -1;
    EXPECT_TRUE(fm_->createFolder(parent, name, id)) << name;
    return id;
  }
  std::string pathOf(int id) {
    KvbString path, top;
    if (!fm_->getFolderPath(id, path, top)) return "(fails)";
    return path.str() + "|" + top.str();
  }
  int rule(const char* name, int folderId) {
    CommonRepositoryDataAccess* common = repos_->createCommonDataAccess();
    const int id = common->addRule(name, "", "", "", "", "ann",
                                   std::string("uu-") + name, folderId, "", "");
    common->release();
    EXPECT_GT(id, 0) << name;
    return id;
  }

  RepositoryFolderManager* fm_ = nullptr;
};

TEST_P(FolderManagerTest, PathsFollowTheTreeThroughMovesAndRenames) {
  const int a = folder(0, "A"), b = folder(a, "B"), c = folder(b, "C");
  const int d = folder(0, "D");
  EXPECT_EQ(pathOf(c), "A/B/C|A");
  EXPECT_EQ(pathOf(0), "|");
  int id = -1;
  ASSERT_TRUE(fm_->getFolderId("/a//b/c/", id));
  EXPECT_EQ(id, c);
  ASSERT_TRUE(fm_->getFolderId("", id));
  EXPECT_EQ(id, 0);

  // A folder is never put below itself: the cycle would be cut off from
  // the root.
  EXPECT_FALSE(fm_->moveFolder(a, c));
  EXPECT_FALSE(fm_->moveFolder(a, a));
  EXPECT_EQ(pathOf(c), "A/B/C|A");
  ASSERT_TRUE(fm_->moveFolder(b, d)) << fm_->getErrorMessage().asCstr();
  ASSERT_TRUE(fm_->renameFolder(d, "Delta"));
  EXPECT_EQ(pathOf(c), "Delta/B/C|Delta");
  int parent = -1;
  ASSERT_TRUE(fm_->getParentFolder(b, parent));
  EXPECT_EQ(parent, d);
  ASSERT_TRUE(fm_->getParentFolder(0, parent))  // the root has one too
      << fm_->getErrorMessage().asCstr();
  EXPECT_EQ(parent, 0);
  EXPECT_FALSE(fm_->getFolderId("A/B", id));
  EXPECT_EQ(fm_->getErrorMessage().str(),
            "Unable to find folder/object by path: \"A/B\"");

  EXPECT_FALSE(fm_->deleteFolder(0));
  EXPECT_EQ(fm_->getErrorMessage().str(),
            "Root level folder cannot be deleted");
  EXPECT_TRUE(fm_->deleteFolder(a));
  EXPECT_EQ(cursorRows(fm_->getFolderChildByName(0, "delta")),
            std::vector<std::string>{std::to_string(d) + "|Delta|0"});
}

TEST_P(FolderManagerTest, ObjectPathsResolveBackToTheirObjects) {
  const int a = folder(0, "A"), b = folder(a, "B");
  const int inB = rule("Report", b), inRoot = rule("Top", 0);
  KvbString path;
  ASSERT_TRUE(fm_->getObjectPath(inB, "Rule", path));
  EXPECT_EQ(path.str(), "A/B/Report");
  ASSERT_TRUE(fm_->getObjectPath(inRoot, "Rule", path));
  EXPECT_EQ(path.str(), "Top");

  int folderId = -1, objectId = -1;
  KvbString item, uuid, error;
  ASSERT_TRUE(fm_->resolveObjectPath("a/b/REPORT", "Rule", folderId, objectId,
                                     item, uuid, error));
  EXPECT_EQ(objectId, inB);
  EXPECT_EQ(folderId, b);
  EXPECT_EQ(uuid.str(), "uu-Report");
  ASSERT_TRUE(fm_->resolveObjectPath("/Top", "Rule", folderId, objectId, item,
                                     uuid, error));
  EXPECT_EQ(objectId, inRoot);
  EXPECT_FALSE(fm_->resolveObjectPath("A/Report", "Rule", folderId, objectId,
                                      item, uuid, error));
  EXPECT_EQ(error.str(), "Unable to determine object id from path: A/Report");
  EXPECT_FALSE(fm_->resolveObjectPath("X/Report", "Rule", folderId, objectId,
                                      item, uuid, error));
  EXPECT_EQ(error.str(), "Unable to find folder/object by path: \"X\"");
  EXPECT_TRUE(fm_->objectExists("A/B/report", "Rule"));
  EXPECT_FALSE(fm_->objectExists("A/B/report", "Task"));

  // Filed elsewhere, the object is found at its new path only.
  ASSERT_TRUE(fm_->moveObject(inB, "Rule", a));
  EXPECT_TRUE(fm_->objectExists("A/Report", "Rule"));
  EXPECT_FALSE(fm_->objectExists("A/B/Report", "Rule"));
  int filed = -1;
  ASSERT_TRUE(fm_->getObjectFolder("Rule", inB, filed));
  EXPECT_EQ(filed, a);
  EXPECT_FALSE(fm_->moveObject(inB, "Rule", 4242));
  EXPECT_FALSE(fm_->getObjectPath(9999, "Rule", path));
}

// A type name is looked up exactly where the type's own table is read, and
// compared without regard to case where a folder's listing is scanned; a
// lock keeps the text it was given.
TEST_P(FolderManagerTest, TypeNamesAreExactExceptInAFoldersListing) {
  const int a = folder(0, "A");
  const int id = rule("Report", a);
  EXPECT_TRUE(fm_->objectExists("a/report", "rule"));

  KvbString path, item, uuid, error;
  EXPECT_FALSE(fm_->getObjectPath(id, "rule", path));
  EXPECT_EQ(fm_->getErrorMessage().str(), "Unable to find type: rule");
  int folderId = -1, objectId = -1;
  EXPECT_FALSE(fm_->resolveObjectPath("A/Report", "rule", folderId, objectId,
                                      item, uuid, error));
  EXPECT_EQ(error.str(), "Unable to find type: rule");
  EXPECT_FALSE(fm_->moveObject(id, "rule", 0));
  EXPECT_EQ(fm_->getErrorMessage().str(), "Unable to find type: rule");

  ASSERT_TRUE(fm_->lockObject(id, "rule", "ann", "uu-Report"));
  EXPECT_TRUE(fm_->isObjectLocked(id, "rule"));
  EXPECT_FALSE(fm_->isObjectLocked(id, "Rule"));
}

// An object that is not there and one that cannot be read are told apart:
// each failure gives its own reason, the database's for a failed read.
TEST_P(FolderManagerTest, AnObjectThatCannotBeReadIsNotCalledMissing) {
  const int id = rule("R", 0);
  KvbString path, item, uuid, error;
  EXPECT_FALSE(fm_->getObjectPath(9999, "Rule", path));
  EXPECT_EQ(fm_->getErrorMessage().str(),
            "The Rule object with id=9999 does not exist");
  exec("ALTER TABLE " + table("RULE") + " RENAME COLUMN RU_COMM TO RU_GONE");
  EXPECT_FALSE(fm_->getObjectPath(id, "Rule", path));
  const std::string reason = db_->getErrorMessage().str();
  EXPECT_EQ(fm_->getErrorMessage().str(), reason);
  int folderId = -1, objectId = -1;
  EXPECT_FALSE(fm_->resolveObjectPath("R", "Rule", folderId, objectId, item,
                                      uuid, error));
  // The same reason, from the query that looks the object up by name.
  EXPECT_EQ(databaseReason(error.str()), databaseReason(reason));
}

TEST_P(FolderManagerTest, AFolderIsEmptyWithoutObjectsAndSubFolders) {
  const int a = folder(0, "A"), b = folder(a, "B");
  bool empty = true;
  ASSERT_TRUE(fm_->isFolderEmpty(a, empty));
  EXPECT_FALSE(empty) << "a sub-folder";
  ASSERT_TRUE(fm_->isFolderEmpty(b, empty));
  EXPECT_TRUE(empty);
  rule("R", b);
  ASSERT_TRUE(fm_->isFolderEmpty(b, empty));
  EXPECT_FALSE(empty) << "an object";
  // When the contents cannot be read the folder is not called empty.
  exec("DROP TABLE " + table("FOLDER"));
  EXPECT_FALSE(fm_->isFolderEmpty(a, empty));
}

TEST_P(FolderManagerTest, LocksChangeHandsAndUnfiledObjectsAreListed) {
  EventRecorder recorder([](const RepositoryEvent& e) {
    return e.objectType.str() + " " + std::to_string(e.objectId);
  });
  EXPECT_FALSE(fm_->isObjectLocked(7, "Rule"));
  ASSERT_TRUE(fm_->lockObject(7, "Rule", "ann", "u-7"));
  ASSERT_TRUE(fm_->lockObject(7, "Rule", "bob", "u-7"));
  EXPECT_TRUE(fm_->isObjectLocked(7, "Rule"));
  KvbString uuid, user;
  KvbDatavar date;
  ASSERT_TRUE(fm_->getLockInfo(7, "Rule", uuid, user, date));
  EXPECT_EQ(uuid.str() + "|" + user.str(), "u-7|bob");
  EXPECT_GT(date.asDouble(), 0.0);
  ASSERT_TRUE(fm_->unlockObject(7, "Rule"));
  EXPECT_FALSE(fm_->getLockInfo(7, "Rule", uuid, user, date));
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"Rule 7", "Rule 7", "Rule 7"}));

  int shared = -1;
  EXPECT_FALSE(fm_->getOrphanedObjectsFolderId(shared));
  const int sharedId = folder(0, "Shared Data");
  ASSERT_TRUE(fm_->getOrphanedObjectsFolderId(shared));
  EXPECT_EQ(shared, sharedId);
  const int loose = rule("Loose", 0);
  exec("UPDATE " + table("RULE") + " SET FLDR_ID=NULL WHERE RU_ID=?", {loose});
  bool listed = false;
  for (const std::string& row : cursorRows(fm_->getUnfiledItems()))
    listed |= row.find("Rule|uu-Loose|" + std::to_string(loose)) == 0;
  EXPECT_TRUE(listed);
}

// A failed operation leaves the reason of the failure, and a lock that
// could not be written or removed is announced to nobody.
TEST_P(FolderManagerTest, FailuresLeaveTheirReason) {
  int id = -1;
  folder(0, "A");
  EXPECT_FALSE(fm_->createFolder(0, "a", id));
  EXPECT_EQ(fm_->getErrorMessage().str(),
            "Folder 0 already holds a folder named \"A\" (folder names are "
            "compared without regard to case)");
  KvbString path, top;
  EXPECT_FALSE(fm_->getFolderPath(999, path, top));
  EXPECT_FALSE(fm_->getErrorMessage().isEmpty());

  EventRecorder recorder(
      [](const RepositoryEvent& e) { return e.objectType.str(); });
  // The database's reason names the table that is gone.
  auto names = [&](const char* code) {
    return KvbString(fm_->getErrorMessage()).toLower().find(code) !=
           KvbString::npos;
  };
  exec("DROP TABLE " + table("OBJLCK"));
  EXPECT_FALSE(fm_->unlockObject(7, "Rule"));
  EXPECT_TRUE(names("objlck")) << fm_->getErrorMessage().asCstr();
  EXPECT_FALSE(fm_->lockObject(7, "Rule", "ann", "u-7"));
  EXPECT_TRUE(names("objlck")) << fm_->getErrorMessage().asCstr();
  EXPECT_TRUE(recorder.events.empty());
  exec("DROP TABLE " + table("RULE"));
  EXPECT_EQ(fm_->getUnfiledItems(), nullptr);
  EXPECT_TRUE(names("rule")) << fm_->getErrorMessage().asCstr();
}

TEST(FolderManagerWithoutRepository, AnswersWithoutWork) {
  RepositoryFolderManagerImpl fm(nullptr);
  int id = 0;
  bool empty = true;
  KvbString folderPath, item;
  EXPECT_FALSE(fm.createFolder(0, "A", id));
  EXPECT_EQ(fm.getFolderItems(0), nullptr);
  EXPECT_FALSE(fm.isFolderEmpty(0, empty));
  EXPECT_TRUE(fm.splitPath("A/B/", folderPath, item));
  EXPECT_EQ(folderPath.str() + "|" + item.str(), "A/B|");
  EXPECT_TRUE(fm.splitPath("Report", folderPath, item));
  EXPECT_EQ(folderPath.str() + "|" + item.str(), "|Report");
}

// Each failure is logged once, by the manager, under its file's short name,
// with the text that the manager answers: the store's text, which names
// its subject, or the manager's own, which names what it was asked for.
TEST_P(FolderManagerTest, EachFailureIsLoggedOnceWithItsText) {
  const auto loggedAsAnswered = [&](const std::function<bool()>& call) {
    const std::vector<std::string> lines =
        loggedFailures([&] { EXPECT_FALSE(call()); });
    const std::string text = fm_->getErrorMessage().str();
    EXPECT_EQ(lines, std::vector<std::string>{"repfldrmgrimpl: " + text});
    return text;
  };
  const int r = rule("R", 0);
  int id = -1, parent = -1;
  folder(0, "Dup");
  EXPECT_EQ(loggedAsAnswered([&] { return fm_->createFolder(0, "Dup", id); }),
            "Folder 0 already holds a folder named \"Dup\"");
  EXPECT_EQ(loggedAsAnswered([&] { return fm_->createFolder(0, "", id); }),
            "\"\" cannot be a folder name: it is empty or holds \"/\"");
  EXPECT_EQ(loggedAsAnswered([&] { return fm_->moveObject(r, "Rule", 999); }),
            "Folder 999 does not exist");
  EXPECT_EQ(loggedAsAnswered([&] { return fm_->getParentFolder(-2, parent); }),
            "Error getting parent folder from folder id=-2: no folder has a "
            "negative id");

  int folderId = -1, objectId = -1;
  KvbString item, uuid, error;
  const auto resolve = [&](const char* path) {
    return [&, path] {
      return fm_->resolveObjectPath(path, "Rule", folderId, objectId, item,
                                    uuid, error);
    };
  };
  EXPECT_EQ(loggedAsAnswered(resolve("X/R")),
            "Unable to find folder/object by path: \"X\"");
  EXPECT_EQ(loggedAsAnswered(resolve("Dup/R")),
            "Unable to determine object id from path: Dup/R");
  EXPECT_EQ(error.str(), "Unable to determine object id from path: Dup/R");

  RepositoryFolderManagerImpl without(nullptr);
  const std::vector<std::string> lines =
      loggedFailures([&] { EXPECT_FALSE(without.createFolder(0, "A", id)); });
  EXPECT_EQ(lines, std::vector<std::string>{"repfldrmgrimpl: " +
                                            without.getErrorMessage().str()});
  EXPECT_EQ(without.getErrorMessage().str(),
            "The folder manager cannot reach the repository's folders: the "
            "manager has no repository");
}

INSTANTIATE_SERVICES_TARGETS(FolderManagerTest);

}  // namespace
