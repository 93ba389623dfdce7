// The cases of the failed-read table (failed_reads_test.cpp): each is a
// public call whose answer can mean "not there", made on a SQLite file
// repository while one read of the database file fails. A case prepares
// the object its call finds, so that the call reaches its "present" path,
// and tells from the call's answer whether it answered failure.
#ifndef TESTS_FAULT_FAILED_READS_H_
#define TESTS_FAULT_FAILED_READS_H_

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "kvreposres/kvreposres.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/explorer_data_access.h"
#include "reposadmin/import_export_manager.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/ncoa_data_access.h"
#include "reposadmin/profile_data_access.h"
#include "reposadmin/refdata_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "reposadmin/repository_folder_manager.h"
#include "reposadmin/repository_impact_analysis.h"

// The objects of one open repository, each made at its first use and
// released with the repository.
class ReadStores {
 public:
  ReadStores(RepositoryAdmin* admin, Repository* repository)
      : admin_(admin), repository_(repository) {}
  ~ReadStores();
  ReadStores(const ReadStores&) = delete;
  ReadStores& operator=(const ReadStores&) = delete;

  RepositoryAdmin* admin() { return admin_; }
  Repository* repository() { return repository_; }
  CommonRepositoryDataAccess* common();
  MetadataRepositoryDataAccess* meta();
  MonitorRepositoryDataAccess* monitor();
  ProfileRepositoryDataAccess* profile();
  ExplorerRepositoryDataAccess* explorer();
  RefDataRepositoryDataAccess* refdata();
  NCOARepositoryDataAccess* ncoa();
  RepositoryFolderManager* folders();
  RepositoryImpactAnalysis* impact();
  RepositoryImportExportManager* impexp();
  // Makes every object the cases use, so that none is made (and reads
  // nothing) while a read is set to fail.
  void makeAll();

 private:
  RepositoryAdmin* admin_;
  Repository* repository_;
  CommonRepositoryDataAccess* common_ = nullptr;
  MetadataRepositoryDataAccess* meta_ = nullptr;
  MonitorRepositoryDataAccess* monitor_ = nullptr;
  ProfileRepositoryDataAccess* profile_ = nullptr;
  ExplorerRepositoryDataAccess* explorer_ = nullptr;
  RefDataRepositoryDataAccess* refdata_ = nullptr;
  NCOARepositoryDataAccess* ncoa_ = nullptr;
  RepositoryFolderManager* folders_ = nullptr;
  RepositoryImpactAnalysis* impact_ = nullptr;
  RepositoryImportExportManager* impexp_ = nullptr;
};

// What a call answered: whether that is a failure, and the text its
// object gives for it.
struct ReadAnswer {
  bool failed;
  std::string text;
};

// `failed`, with the error text of the object that answered.
template <typename T>
ReadAnswer answer(bool failed, T* object) {
  return {failed, object->getErrorMessage().str()};
}

// The answer of a call that gives a cursor: null is its failure; the
// cursor is released here.
template <typename T>
ReadAnswer cursorAnswer(ReposDataAccessCursor* cursor, T* object) {
  if (cursor) cursor->release();
  return answer(cursor == nullptr, object);
}

struct ReadCase {
  const char* name;  // letters, digits and underscores: a test's name
  // Stores what the call finds; runs before any read is set to fail.
  std::function<void(ReadStores&)> prepare;
  std::function<ReadAnswer(ReadStores&)> call;
  // The number of log records of level 4 and above that a failure of the
  // call leaves; -1 when the case does not count them.
  int records = -1;
};

// A case whose preparation and call share the ids it stored, in a
// `Stored` of the case file's own.
template <typename Stored>
ReadCase storedCase(const char* name,
                    std::function<void(ReadStores&, Stored&)> prepare,
                    std::function<ReadAnswer(ReadStores&, const Stored&)> call) {
  auto stored = std::make_shared<Stored>();
  return {name,
          [stored, prepare](ReadStores& s) {
            *stored = Stored();
            prepare(s, *stored);
          },
          [stored, call](ReadStores& s) { return call(s, *stored); }};
}

// While one lives no event is posted. A change's event reads the
// repository's UUID after the change is committed, when the call can no
// longer fail for it (that read has tests of its own); without the event
// every read that the call makes comes before its change is stored.
class NoEvents {
 public:
  NoEvents() { setRepositoryEventManagerEnabled(false); }
  ~NoEvents() { setRepositoryEventManagerEnabled(true); }
  NoEvents(const NoEvents&) = delete;
  NoEvents& operator=(const NoEvents&) = delete;
};

// A case shows as its name in the test's messages.
inline void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

// The cases, by the interfaces they call: the repository, its connection
// and its locks; the common, metadata and explorer stores and the folder
// manager; the monitor, NCOA and reference-data stores; the profile store;
// the import/export manager, the impact analysis and the event queue.
std::vector<ReadCase> repositoryReadCases();
std::vector<ReadCase> storeReadCases();
std::vector<ReadCase> monitorReadCases();
std::vector<ReadCase> profileReadCases();
std::vector<ReadCase> servicesReadCases();

#endif  // TESTS_FAULT_FAILED_READS_H_
