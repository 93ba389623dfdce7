// Example: the common and monitoring stores. Creates a repository, files a
// business rule and a monitoring task that runs it in a new folder, and
// reads the task, its rule member and their paths back.
#include <cstdio>
#include <string>

#include "example_support.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/repository_folder_manager.h"

using namespace example;

int main(int argc, char** argv) {
  Workspace work(argc, argv, "monitor_example");
  auto folders = work.make(&Repository::createFolderManager);
  auto common = work.make(&Repository::createCommonDataAccess);
  auto monitor = work.make(&Repository::createMonitorDataAccess);

  // A folder below the root (folder 0).
  int folder = -1;
  check(folders->createFolder(0, "Customer checks", folder),
        "cannot create the folder", folders.get());

  // A rule: name, type, expression, group, metadata, user, UUID, folder,
  // comment, display text. The UUID is the host's to choose.
  const int rule = common->addRule("Postcode present", "", "POSTCODE <> ''",
                                   "", "", "example", "rule-postcode", folder,
                                   "Every customer has a postcode", "");
  check(rule > 0, "cannot add the rule", common.get());

  // A task in the same folder; its code is its UUID.
  int task = -1;
  check(monitor->addTask("Nightly customers", "task-nightly", "example", folder,
                         "", "", &task),
        "cannot add the task", monitor.get());
  check(monitor->addTaskRule(task, rule), "cannot add the rule to the task",
        monitor.get());

  expectEqual(rowsOf(monitor->getTask(task), monitor.get(),
                     {"JB_DESC", "JB_CODE", "FLDR_ID"}),
              "Nightly customers|task-nightly|" + std::to_string(folder) + "\n",
              "the task read back");
  // A member with the default dimension and threshold (1) and weight 1.
  expectEqual(rowsOf(monitor->listTaskRuleMembers(task), monitor.get(),
                     {"RU_ID", "DIM_ID", "THR_ID", "WGHT"}),
              std::to_string(rule) + "|1|1|1\n", "the task's rule member");

  // Both are filed in the folder: the folder manager names them by path,
  // given the object type names "Task" and "Rule".
  const struct {
    const char* type;
    int id;
    const char* path;
  } filed[] = {{"Task", task, "Customer checks/Nightly customers"},
               {"Rule", rule, "Customer checks/Postcode present"}};
  for (const auto& object : filed) {
    KvbString path;
    check(folders->getObjectPath(object.id, object.type, path),
          "cannot read an object's path", folders.get());
    expectEqual(path.asCstr(), object.path, "the object's path");
    std::printf("%s %d: %s\n", object.type, object.id, path.asCstr());
  }
  return 0;
}
