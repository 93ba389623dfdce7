// Example: folders and impact analysis. Builds a small folder tree, files a
// monitoring task in it and finds it again by path; then records what the
// task uses (its rules) as lineage and asks both ways: what the task
// depends on, and what uses a rule.
#include <cstdio>
#include <string>

#include "example_support.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/kv_resource.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/repository_folder_manager.h"
#include "reposadmin/repository_impact_analysis.h"

using namespace example;

namespace {

// "Type|name" of each resource of a list, one per line; the list released.
std::string resourcesOf(KvResourceList* list, KvImpactAnalysis* analysis) {
  Owned<KvResourceList> resources = take(list, "cannot list resources", analysis);
  std::string text;
  while (resources->next()) {
    KvResource* resource = resources->getResource();  // the list's own
    text += std::string(resource->getType().asCstr()) + "|" +
            resource->getName().asCstr() + "\n";
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  Workspace work(argc, argv, "folders_example");
  auto folders = work.make(&Repository::createFolderManager);
  auto common = work.make(&Repository::createCommonDataAccess);
  auto monitor = work.make(&Repository::createMonitorDataAccess);
  auto analysis = work.make(&Repository::createImpactAnalysis);

  // Folder 0 is the root: "Sales" below it, "Nightly" below "Sales".
  int sales = -1, nightly = -1;
  check(folders->createFolder(0, "Sales", sales) &&
            folders->createFolder(sales, "Nightly", nightly),
        "cannot create the folders", folders.get());

  // A task with two rules, added in the root and then filed in "Nightly".
  // The folder manager names object types exactly: "Task", "Rule", ...
  int task = -1;
  check(monitor->addTask("Order checks", "task-orders", "example", 0, "", "",
                         &task),
        "cannot add the task", monitor.get());
  for (const char* name : {"Amount positive", "Customer known"}) {
    const int rule = common->addRule(name, "", "", "", "", "example",
                                     std::string("rule-") + name, 0, "", "");
    check(rule > 0, "cannot add a rule", common.get());
    check(monitor->addTaskRule(task, rule), "cannot add a rule to the task",
          monitor.get());
  }
  check(folders->moveObject(task, "Task", nightly), "cannot file the task",
        folders.get());

  // Paths name folders from the top down; names match without regard to
  // case when a path is resolved.
  KvbString path;
  check(folders->getObjectPath(task, "Task", path), "cannot read the path",
        folders.get());
  expectEqual(path.asCstr(), "Sales/Nightly/Order checks", "the task's path");
  int folder = -1, found = -1;
  KvbString name, uuid, why;
  if (!folders->resolveObjectPath("sales/nightly/order checks", "Task", folder,
                                  found, name, uuid, why))
    fail("cannot resolve the path", why);
  if (found != task || folder != nightly) fail("the path resolved", path);
  std::printf("task %d is at %s\n", task, path.asCstr());

  // Lineage: the task's own resource (its identity made from the context,
  // the type, its id and UUID), then what the analysis finds it uses.
  const std::string id = std::to_string(task);
  Owned<KvResource> self =
      take(analysis->resolveResource("example", "Task", "Order checks",
                                     id.c_str(), "task-orders"),
           "cannot make the task's resource", analysis.get());
  check(analysis->analyzeObject(self.get(), "example", "Task", id.c_str(),
                                "task-orders"),
        "cannot analyse the task", analysis.get());
  const std::string uses =
      resourcesOf(analysis->getDependentResources(self.get(), 0), analysis.get());
  expectEqual(uses, "Rule|Amount positive\nRule|Customer known\n",
              "what the task uses");

  Owned<KvResourceList> rules =
      take(analysis->getResourcesByType("Rule"), "cannot list the rules",
           analysis.get());
  check(rules->next(), "no rule resource", analysis.get());
  const std::string usedBy = resourcesOf(
      analysis->getUsedByResources(rules->getResource(), 0), analysis.get());
  expectEqual(usedBy, "Task|Order checks\n", "what uses the first rule");
  std::printf("the task uses:\n%sthe first rule is used by:\n%s", uses.c_str(),
              usedBy.c_str());
  return 0;
}
