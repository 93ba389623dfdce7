// Example: export and import. Exports a monitoring task, with the rule it
// runs, from one repository and imports it into a folder of a second one,
// then reads the task and its rule there.
#include <cstdio>
#include <memory>
#include <string>

#include "example_support.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/import_export_manager.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/repository_folder_manager.h"

using namespace example;

namespace {

// The import/export manager is ended with delete (it has no release()),
// before its repository.
std::unique_ptr<RepositoryImportExportManager> transferOf(Repository* repository) {
  RepositoryImportExportManager* manager =
      repository->createImportExportManager();
  check(manager != nullptr, "no import/export manager", repository);
  return std::unique_ptr<RepositoryImportExportManager>(manager);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string base = argc > 1 ? argv[1] : "impexp_example";
  Owned<RepositoryAdmin> admin = startEngine();
  WorkRepository source(admin.get(), base + "_a", "impexp_example_a");
  WorkRepository target(admin.get(), base + "_b", "impexp_example_b");

  // In the source: a rule and a task that runs it.
  KvbString exported, why;
  {
    auto common = make(source.get(), &Repository::createCommonDataAccess);
    auto monitor = make(source.get(), &Repository::createMonitorDataAccess);
    const int rule = common->addRule("Email valid", "", "EMAIL LIKE '%@%'", "",
                                     "", "example", "rule-email", 0, "", "");
    check(rule > 0, "cannot add the rule", common.get());
    int task = -1;
    check(monitor->addTask("Contact checks", "task-contacts", "example", 0, "",
                           "", &task) &&
              monitor->addTaskRule(task, rule),
          "cannot add the task", monitor.get());

    // The export text holds the task and what it depends on (its rule).
    // Type names are matched exactly: "Task", not "task".
    if (!transferOf(source.get())
             ->exportObject(task, "Task", "task-contacts", exported, why,
                            nullptr))
      fail("cannot export the task", why);
  }
  std::printf("export text: %zu characters\n", exported.length());

  // In the target: a folder, and the import into it, all or nothing.
  auto folders = make(target.get(), &Repository::createFolderManager);
  int folder = -1;
  check(folders->createFolder(0, "Imported", folder), "cannot create the folder",
        folders.get());
  if (!transferOf(target.get())->importObject(exported, folder, why))
    fail("cannot import the task", why);

  // The task came with its UUID and its rule.
  auto monitor = make(target.get(), &Repository::createMonitorDataAccess);
  auto common = make(target.get(), &Repository::createCommonDataAccess);
  expectEqual(rowsOf(monitor->findTask(-1, "", "task-contacts"), monitor.get(),
                     {"JB_DESC", "FLDR_ID"}),
              "Contact checks|" + std::to_string(folder) + "\n",
              "the imported task");
  expectEqual(rowsOf(common->findRule(-1, "", "rule-email"), common.get(),
                     {"RU_DESC", "RU_EXPR"}),
              "Email valid|EMAIL LIKE '%@%'\n", "the imported rule");
  check(folders->objectExists("Imported/Contact checks", "Task"),
        "the task is not in its folder", folders.get());
  std::printf("imported: Imported/Contact checks\n");
  return 0;
}
