// The factory of repository connections.
#ifndef RDA_RDA_FACTORY_H_
#define RDA_RDA_FACTORY_H_

#include "reposadmin/repos_data_access.h"

class RepositoryStatusCallback;

// Opens a connection: kind 0 the data-access-library back end on a
// connection string, 1 the SQLite back end creating the file, 2 the SQLite
// back end on an existing file. `status` receives the progress of table
// creation and may be null. Null on failure, with errorText set; the caller
// ends the result with release().
ReposDataAccess* createReposDataAccess(int kind, const KvbString& connection,
                                       const KvbString& tablePrefix,
                                       RepositoryStatusCallback* status,
                                       KvbString& errorText);

#endif  // RDA_RDA_FACTORY_H_
