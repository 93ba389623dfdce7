// Impact analysis: the lineage store of a repository. Resources (databases,
// tables, files, fields, rules, custom metrics and the repository objects
// themselves) are kept once per type and identity, with the record of
// which resource uses which. A host has repository objects analysed into
// resources and dependencies, asks what a resource depends on and what
// uses it, and keeps the store tidy. A repository hands the object out
// (createImpactAnalysis); the caller ends it with release(), before or
// after the repository (see repository.h). Hosts call the operations by
// position, so their order is fixed.
//
// Lists and resources that operations return are new objects owned by the
// caller. Failures answer false, null or an empty list, with the reason in
// getErrorMessage(), the calling thread's last failure on the object
// (threads may share it). A stored identity or name may hold macros: a
// configuration option name between "%%" markers, as in
// "%%SRC_DIR%%/in.txt", replaced by the option's value where the
// operations below say so.
#ifndef REPOSADMIN_REPOSITORY_IMPACT_ANALYSIS_H_
#define REPOSADMIN_REPOSITORY_IMPACT_ANALYSIS_H_

#include "kvbase/kvbase.h"
#include "reposadmin/kv_resource.h"

// The host's resolver of references and locations, handed in through
// setResourceManager.
class KvResourceResolver {
 public:
  virtual ~KvResourceResolver() = default;
  // 1-3: placeholders; the engine calls none of them.
  virtual void reserved1() {}
  virtual void reserved2() {}
  virtual void reserved3() {}
  // 4: the resource that a reference (a program name or a design URI)
  // stands for, owned by the caller; null when none.
  virtual KvResource* resolveReference(const KvbString& reference) = 0;
  // 5: the display name and location of a resource; true when resolved.
  virtual bool resolveLocation(const KvbString& name, const KvbString& type,
                               const KvbString& identity, KvbString& outName,
                               KvbString& outLocation) = 0;
};

// A description of a data source and table, given to getDataResource: four
// texts of the data source, then the table (empty for the database
// itself). Their meaning is the resource manager's.
class KvDataSourceDescription {
 public:
  virtual KvbString getConnection() = 0;
  virtual KvbString getConnectionType() = 0;
  virtual KvbString getCatalog() = 0;
  virtual KvbString getSchema() = 0;
  virtual KvbString getTable() = 0;
  // After the getters, which keep the first places.
  virtual ~KvDataSourceDescription() = default;
};

class KvImpactAnalysis {
 public:
  // 0-1
  virtual ~KvImpactAnalysis() = default;
  virtual void release() = 0;
  // 2-5: the resources that use `resource`, those it depends on (with a
  // table first linked to its database, and, when its identity holds
  // macros, the resource of the expanded identity last), those of them of
  // one type, and every resource of a type. The int arguments have no
  // effect.
  virtual KvResourceList* getUsedByResources(KvResource* resource, int) = 0;
  virtual KvResourceList* getDependentResources(KvResource* resource, int) = 0;
  virtual KvResourceList* getDependentResourcesByType(
      KvResource* resource, const KvbString& type) = 0;
  virtual KvResourceList* getResourcesByType(const KvbString& type) = 0;
  // 6: false.
  virtual bool isSupported() = 0;
  // 7: deletes every resource that neither uses nor is used by another,
  // all or nothing.
  virtual bool removeUnusedResources() = 0;
  // 8: empties the store, all or nothing.
  virtual bool removeAllResources() = 0;
  // 9: the stored resource of that type and identity; null when none.
  virtual KvResource* getResource(const KvbString& type,
                                  const KvbString& identity) = 0;
  // 10: makes the recorded dependencies of `resource` equal to `list`
  // (creating listed resources that are not stored), in one transaction,
  // then links every listed table to its database. A null resource is
  // true with nothing done. A resource that is not stored, or that was
  // removed since it was handed out, is refused by its type and identity:
  // "The <type> resource "<identity>" is not stored"; no list is refused
  // with "No dependency list was given".
  virtual bool addResourceDependencies(KvResource* resource,
                                       KvResourceList* list) = 0;
  // 11: a new empty list.
  virtual KvResourceList* createResourceList() = 0;
  // 12: the stored resource of that type and identity, created with the
  // name when absent (an existing one keeps its name). The look-up and the
  // creation are one unit that takes the store's turn for writers: of two
  // connections or processes that create one resource at the same moment,
  // the second answers the first's.
  virtual KvResource* createResource(const KvbString& name,
                                     const KvbString& type,
                                     const KvbString& identity) = 0;
  // 13: as removeResourceIfUnused.
  virtual bool removeResource(KvResource* resource) = 0;
  // 14
  virtual bool setResourceAccessDate(KvResource* resource,
                                     const KvbDate& date) = 0;
  // 15: every resource, names and identities with their macros expanded.
  virtual KvResourceList* getResources() = 0;
  // 16: one row per stored type.
  virtual KvStringList* getResourceTypes() = 0;
  // 17: false; the arguments are placeholders.
  virtual bool isSupportedBy(void*, void*, void*) = 0;
  // 18
  virtual KvbString getErrorMessage() = 0;
  // 19: the resource of a repository object whose identity the resource
  // manager gives for (context, type, value4, value5), created with `name`
  // when absent.
  virtual KvResource* resolveResource(const KvbString& context,
                                      const KvbString& type,
                                      const KvbString& name,
                                      const KvbString& value4,
                                      const KvbString& value5) = 0;
};

class RepositoryImpactAnalysis : public KvImpactAnalysis {
 public:
  // 20: works out what the repository object of `type` ("Task", "Rule",
  // "DataExploration", "ProfileJob"; case aside) with that id and UUID
  // uses, and records it as the dependencies of `resource`, its own
  // resource. "Source", "Field", "CustomMetric" and "Collection" are true
  // with nothing done. An id that is not a number is refused with `The
  // object id "%s" is not a number`. `context` is handed to every identity
  // request. A failure leaves the recorded dependencies as they were.
  virtual bool analyzeObject(KvResource* resource, const KvbString& context,
                             const KvbString& type, const KvbString& id,
                             const KvbString& uuid) = 0;
  // 21: the host's resolver (not owned), kept when not null; answers the
  // argument.
  virtual KvResourceResolver* setResourceManager(
      KvResourceResolver* resolver) = 0;
  // 22: forgets what `resource` depends on (what uses it stays) and resets
  // its access date to 0.
  virtual bool removeDependentResources(KvResource* resource) = 0;
  // 23: the "Table" resource of a description with a table, else its
  // "Database" resource; created when absent.
  virtual KvResource* getDataResource(KvDataSourceDescription* description) = 0;
  // 24: renames the stored resource of that type and identity. A name
  // that the database refuses is named by its column, as createResource
  // names it ("The value of column RCS_NM of table IMPRCS is ..."). A
  // resource that is not stored is refused with "The impact resource of
  // type "<type>" and identity "<identity>" could not be found to rename.",
  // as removeResourceIfUnused ("... to remove.") and
  // removeDependentResources ("... to remove its dependencies.") refuse
  // it.
  virtual bool renameResource(const KvbString& type, const KvbString& identity,
                              const KvbString& newName) = 0;
  // 25: deletes the stored resource when nothing uses it and it uses
  // nothing, then every other unused resource. Otherwise refused with
  // "The impact resource of type "<type>" and identity "<identity>" could
  // not be deleted: it is still a dependency of the resource of type
  // "<type>" and identity "<identity>"." naming the first resource that
  // uses it, or, when none does, "...: it still depends on the resource of
  // type ..." naming the first that it uses; " and <n> more" before the
  // final point counts the other resources linked to it.
  virtual bool removeResourceIfUnused(KvResource* resource) = 0;
};

#endif  // REPOSADMIN_REPOSITORY_IMPACT_ANALYSIS_H_
