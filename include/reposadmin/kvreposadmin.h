// The engine's four exported entry points. A host includes this header,
// links libkvreposadmin (or loads it with dlopen) and works through the
// interfaces these functions return.
#ifndef REPOSADMIN_KVREPOSADMIN_H_
#define REPOSADMIN_KVREPOSADMIN_H_

#define KVREPOS_EXPORT __attribute__((visibility("default")))

class RepositoryAdmin;
namespace KvTableCreateNS {
class KvCreateSpecDoc;
}

extern "C" {

// A new administration object, owned by the caller and ended through its
// release operation; null on failure, with the reason in
// getRepositoryAdminError. Bit 0 of `flags`: use no repository list file;
// otherwise `listFile` names it (a null `listFile` then fails with "No
// repository config file specified"). The list file is the host's
// catalogue of repositories (RepositoryAdmin::addRepository); it is not the
// configuration file of KV_CONFIG_FILE, and opening by name does not read
// it.
KVREPOS_EXPORT RepositoryAdmin* createRepositoryAdmin(int flags,
                                                      const char* listFile);

// The text of the last failure of createRepositoryAdmin (at most 255
// characters); "" when there was none.
KVREPOS_EXPORT const char* getRepositoryAdminError();

// A new, empty table-creation specification document, owned by the caller
// and ended through its release operation.
KVREPOS_EXPORT KvTableCreateNS::KvCreateSpecDoc* getTableCreationSpec();

// Writes the plain-text report of the built-in repository schema to `path`,
// replacing the file: each table with its columns (type, length, key,
// not-null and index marks) and its composite indexes.
// - sortByName: tables in name order instead of definition order (columns
//   always stay in their definition order);
// - withDescriptions: add the table and column descriptions;
// - singleList: one list of the core and NCOA tables instead of one list
//   per definition set followed by the NCOA execution statistics.
// Returns 0, or the kvfileio error code of the file operation that failed.
KVREPOS_EXPORT int writeRepositorySchemaInfo(const char* path, bool sortByName,
                                             bool withDescriptions,
                                             bool singleList);
}

#endif  // REPOSADMIN_KVREPOSADMIN_H_
