// RepositoryImpactAnalysisImpl: the lineage store of one repository
// (resources in IMPRCS, dependencies in IMPDEP), its queries and clean-up,
// and the analysis of tasks, rules, data explorations and profile jobs
// into resources and dependencies. Identities come from the kvreposres
// resource manager; names and locations may come from the host's resolver.
#ifndef SERVICES_REPIMPANLYSIMPL_H_
#define SERVICES_REPIMPANLYSIMPL_H_

#include <functional>
#include <vector>

#include "access/held_repository.h"
#include "rda/rda_thread_texts.h"
#include "reposadmin/repository_impact_analysis.h"
#include "services/owned.h"

class CommonRepositoryDataAccess;
class KvLogger;
class KvResourceImpl;
class KvResourceListImpl;
class KvResourceManager;
class MetadataRepositoryDataAccess;
class ProfileRepositoryDataAccess;
class ReposDataAccess;
class ReposDataAccessCursor;
class ReposDataAccessObject;
class Repository;

class RepositoryImpactAnalysisImpl : public RepositoryImpactAnalysis {
 public:
  // Keeps `repository` and its connection `connection` (neither owned; both
  // may be null) and a metadata data-access object of the repository.
  RepositoryImpactAnalysisImpl(Repository* repository,
                               ReposDataAccess* connection);
  ~RepositoryImpactAnalysisImpl() override;
  RepositoryImpactAnalysisImpl(const RepositoryImpactAnalysisImpl&) = delete;
  RepositoryImpactAnalysisImpl& operator=(const RepositoryImpactAnalysisImpl&) =
      delete;

  // Store and queries.
  void release() override { delete this; }
  KvResourceList* getUsedByResources(KvResource* resource, int) override;
  KvResourceList* getDependentResources(KvResource* resource, int) override;
  KvResourceList* getDependentResourcesByType(KvResource* resource,
                                              const KvbString& type) override;
  KvResourceList* getResourcesByType(const KvbString& type) override;
  bool isSupported() override { return false; }
  KvResource* getResource(const KvbString& type,
                          const KvbString& identity) override;
  KvResourceList* createResourceList() override;
  KvResource* createResource(const KvbString& name, const KvbString& type,
                             const KvbString& identity) override;
  bool setResourceAccessDate(KvResource* resource,
                             const KvbDate& date) override;
  KvResourceList* getResources() override;
  KvStringList* getResourceTypes() override;
  bool isSupportedBy(void*, void*, void*) override { return false; }
  // The calling thread's last failure on this object; "" when it has none.
  KvbString getErrorMessage() override {
    return lastErrors_.lastOr(KvbString(""));
  }
  KvResource* resolveResource(const KvbString& context, const KvbString& type,
                              const KvbString& name, const KvbString& value4,
                              const KvbString& value5) override;
  KvResourceResolver* setResourceManager(KvResourceResolver* resolver) override;
  KvResource* getDataResource(KvDataSourceDescription* description) override;

  // Removal and renaming.
  bool removeUnusedResources() override;
  bool removeAllResources() override;
  bool removeResource(KvResource* resource) override {
    return removeResourceIfUnused(resource);
  }
  bool removeDependentResources(KvResource* resource) override;
  bool renameResource(const KvbString& type, const KvbString& identity,
                      const KvbString& newName) override;
  bool removeResourceIfUnused(KvResource* resource) override;

  // Analysis and dependencies.
  bool analyzeObject(KvResource* resource, const KvbString& context,
                     const KvbString& type, const KvbString& id,
                     const KvbString& uuid) override;
  bool addResourceDependencies(KvResource* resource,
                               KvResourceList* list) override;

  // Asks the host's resolver for the resource's name and location; true
  // when it resolved the resource. False without a resolver.
  bool resolveResourceLocation(KvResourceImpl& resource);
  // The stored resource of the type and the identity with its macros
  // expanded, created when absent; null when the identity does not expand.
  KvResource* getMacroResolvedResource(const KvbString& type,
                                       const KvbString& identity);
  // Makes the recorded dependencies of `resource` hold every listed
  // resource; with removeUnlisted, also drops the recorded ones that are
  // not listed. One transaction; false leaves the record as it was.
  bool recordResourceDependencies(KvResource* resource, KvResourceList* list,
                                  bool removeUnlisted);
  // Records, once per "Table" resource, its "Database" resource (when
  // stored) as a dependency, and marks the table with the current date.
  bool linkTableToDatabase(KvResource* resource);

 private:
  typedef std::vector<KvbString> Ids;

  // The analysers of each object type and their parts.
  bool analyzeTask(KvResource* resource, const KvbString& context,
                   const KvbString& id);
  bool analyzeRule(KvResource* resource, const KvbString& context,
                   const KvbString& id);
  bool analyzeDataExploration(KvResource* resource, const KvbString& id);
  bool analyzeProfileJob(KvResource* resource, const KvbString& context,
                         const KvbString& id);
  // The "Database", "Table" and "File" resources of the job's tables and
  // the custom metrics computed on them.
  bool addProfileJobTables(ProfileRepositoryDataAccess& profile,
                           const KvbString& context, const KvbString& id,
                           KvResourceList& list);
  // The custom metrics named in the "CM_ID" column of the rows of a profile
  // query (the cursor is released); false when it is null (the profile
  // object's text is the reason) or a metric cannot be read.
  bool addCustomMetricColumn(CommonRepositoryDataAccess& common,
                             ProfileRepositoryDataAccess& profile,
                             const KvbString& context,
                             ReposDataAccessCursor* rows, KvResourceList& list);
  bool addDependentRules(const KvbString& context, const Ids& ruleIds,
                         KvResourceList& list);
  bool addCustomMetricResource(CommonRepositoryDataAccess& common,
                               const KvbString& context,
                               const KvbString& metricId, KvResourceList& list);
  void addRuleFieldResource(const KvbString& context, const KvbString& name,
                            KvResourceList& list);
  bool addEventResources(const KvbString& taskId, const Ids& ruleIds,
                         KvResourceList& list);
  bool addResourcesFromEvent(KvResourceList& list, const KvbString& event);
  // The resources of a database table: its "Database" resource when the
  // connection is not empty, then its "Table" resource.
  void addTableResources(KvResourceManager& manager, KvResourceList& list,
                         const KvbString& connection, const KvbString& catalog,
                         const KvbString& schema, const KvbString& table);
  // A "File" resource for `fileName` in `directory`.
  void addLogFileResource(KvResourceManager& manager, KvResourceList& list,
                          const KvbString& directory,
                          const KvbString& fileName);
  // A "File" resource for the file at `path`, named by its file name.
  void addFileResource(KvResourceManager& manager, KvResourceList& list,
                       const KvbString& path);
  // The resource that the host's resolver gives for `reference`.
  void addResolvedResource(KvResourceList& list, const KvbString& reference);
  // Adds the stored resource (created when absent) to the list unless the
  // list holds one of that identity. Nothing for an empty identity. A
  // resource that cannot be stored marks the analysis as failed.
  void addResourceToList(KvResourceList& list, const KvbString& name,
                         const KvbString& type, const KvbString& identity);

  // Found, missing or failed (1, 0, -1, as scanRows): the stored resource
  // of the type and identity into `found`. A failure is recorded as the
  // last error; it must not be taken for a resource that is not stored.
  int findStored(const KvbString& type, const KvbString& identity,
                 Owned<KvResource>& found);
  // The same for the first row of resource rows (`rows` is released).
  int readResource(ReposDataAccessCursor* rows, Owned<KvResource>& found);
  // A resource made from a resource row; `expand` expands the macros of its
  // name and identity.
  KvResourceImpl* rowToResource(ReposDataAccessCursor& row, bool expand);
  // A new list of the resources of the cursor's rows (the cursor is
  // released); logs `start` when not null. Empty when the cursor is null.
  KvResourceList* resourceList(const char* start, ReposDataAccessCursor* cursor,
                               bool expand = false);
  // The rows of a query on the repository's connection as texts, read
  // whole before the caller runs further statements; false, with the
  // reason recorded, when it fails.
  bool selectRows(const KvbString& sql, const std::vector<KvbDatavar>& values,
                  std::vector<Ids>& rows);
  // Records the list as the dependencies of `resource`, unless a resource
  // of the analysis could not be stored.
  bool recordAnalysis(KvResource* resource, KvResourceList& list);
  // Runs a statement on the repository's connection; false, with the reason
  // recorded, when it fails.
  bool exec(const KvbString& sql, const std::vector<KvbDatavar>& values);
  // The quoted physical name of a table on the repository's connection.
  KvbString table(const char* code);
  // Records `text` as the last error and logs it when it is not empty.
  // Answers false.
  bool failWith(const KvbString& text, int line = __builtin_LINE());
  // True when the analysis has its repository, connection and metadata
  // data access; otherwise false, with the reason logged.
  bool ready(int line = __builtin_LINE());
  // The failure of making a data-access object of `kind`.
  bool noAccess(const char* kind, int line = __builtin_LINE());
  // findStored for an operation on a resource that must be stored: false,
  // logged, when it cannot be read or is not stored (`doing` completes
  // "could not be found to").
  bool findExisting(const KvbString& type, const KvbString& identity,
                    const char* doing, Owned<KvResource>& stored);
  // How texts name a resource: "resource of type "<type>" and identity
  // "<identity>"".
  static KvbString resourceNamed(const KvbString& type,
                                 const KvbString& identity);
  // Runs `body` in one transaction on the repository's connection. The body
  // logs its own failures; a begin or commit that fails is logged here.
  bool transaction(const std::function<bool()>& body);
  // Takes the resource rows that match `condition` (SQL with "?" markers,
  // `values` bound in order) for their deletion, before the links that
  // decide it are read: on a server, a dependency being added on one of
  // them is waited for. Nothing to take where the begin serializes
  // writers.
  bool takeResources(const KvbString& condition,
                     const std::vector<KvbDatavar>& values);
  // The reason of a failure of the metadata data access, or of the
  // connection.
  bool metadataFailed(int line = __builtin_LINE());
  bool connectionFailed(int line = __builtin_LINE());
  // Logs a progress message at level 1, or a message at `level`.
  void progress(const KvbString& text, int line = __builtin_LINE());
  void note(int level, const KvbString& text, int line = __builtin_LINE());
  // The stored id of a resource; -1 when it has none.
  static int idOf(KvResource* resource);
  // An id given as text; 0 when it is not a number.
  static int toInt(const KvbString& text);
  // Appends the text of every column named exactly `column` of every row
  // of a query of `source` (the cursor is released); false, with the
  // source's reason, when the query failed.
  bool columnTexts(ReposDataAccessObject& source, ReposDataAccessCursor* rows,
                   const char* column, Ids& texts);

  HeldRepository repository_;
  MetadataRepositoryDataAccess* meta_;
  // The last errors, one per thread: threads may share the analysis.
  RDA_ThreadTexts lastErrors_;
  KvResourceResolver* resolver_ = nullptr;
  KvLogger* logger_;
  ReposDataAccess* connection_;
};

#endif  // SERVICES_REPIMPANLYSIMPL_H_
