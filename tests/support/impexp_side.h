// One repository with the objects that the import and export tests work
// through (its common and monitoring data access, its import/export
// manager), released at the end, and a count of a table's rows.
#ifndef TESTS_SUPPORT_IMPEXP_SIDE_H_
#define TESTS_SUPPORT_IMPEXP_SIDE_H_

#include <gtest/gtest.h>

#include "admin/repositoryimpl.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/import_export_manager.h"
#include "reposadmin/monitor_data_access.h"

struct ImpExpSide {
  RepositoryImpl* repos = nullptr;
  CommonRepositoryDataAccess* common = nullptr;
  MonitorRepositoryDataAccess* monitor = nullptr;
  RepositoryImportExportManager* manager = nullptr;

  ImpExpSide() = default;
  ImpExpSide(const ImpExpSide&) = delete;
  ImpExpSide& operator=(const ImpExpSide&) = delete;
  ~ImpExpSide() {
    delete manager;
    if (monitor) monitor->release();
    if (common) common->release();
    if (repos) repos->release();
  }

  void open(RepositoryImpl* opened) {
    repos = opened;
    ASSERT_NE(repos, nullptr);
    common = repos->createCommonDataAccess();
    monitor = repos->createMonitorDataAccess();
    manager = repos->createImportExportManager();
    ASSERT_NE(manager, nullptr);
  }
  // The rows of the table of `code`; -1 when they cannot be counted.
  int count(const char* code) {
    ReposDataAccess* rda = repos->getDataAccess();
    int n = -1;
    rda->paramSingleton(
        "SELECT COUNT(*) FROM " + rda->getTableName(code, true, -1).str(), &n,
        0);
    return n;
  }
};

#endif  // TESTS_SUPPORT_IMPEXP_SIDE_H_
