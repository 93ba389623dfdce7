// ExplorerRepositoryDataAccess: the data-access interface of data
// explorations. A data exploration is one row of table MPRJ; the tables it
// explores (MPJTBL, pointing into MTABLE and MDBCON) and its identification
// definitions and their values (MIDDEF, MDEFVL) hang on its PRJ_ID.
// Obtained from a repository; the caller owns it and ends it with
// release(), before or after the repository (see repository.h). Its one
// write that names an object, updateProject, refuses an exploration that
// does not exist, 0 and negative ids included, with "Data exploration
// <id> does not exist", logged once at level 5; no id means none. A
// delete of one that does not exist is no failure.
#ifndef REPOSADMIN_EXPLORER_DATA_ACCESS_H_
#define REPOSADMIN_EXPLORER_DATA_ACCESS_H_

#include "kvbase/kvbase.h"
#include "reposadmin/repos_data_access_object.h"

class ReposDataAccessCursor;

class ExplorerRepositoryDataAccess : public ReposDataAccessObject {
 public:
  // The tables explored by data exploration `prjId`: one row per MPJTBL
  // row of the project, with the columns PRJ_ID, TBL_NM, TBL_SCH,
  // CON_CNSTR, TBL_CAT. A table or connection that is not stored gives
  // nulls in its columns (outer joins). The rows come in no particular
  // order. The caller releases the cursor; null on failure, with the
  // reason in getErrorMessage().
  virtual ReposDataAccessCursor* listProjectTables(int prjId) = 0;

  // Deletes data exploration `prjId`: its MPRJ row and the rows of MPJTBL,
  // MIDDEF and MDEFVL that carry its PRJ_ID, all in one transaction, so
  // that either all of them or none are gone. The tables and connections
  // of MTABLE and MDBCON stay, since other explorations may use them.
  // When the exploration existed, a "DataExploration" deleted event with
  // its id and UUID is posted to the repository event manager. True also
  // when there was no such exploration (nothing is left of it); false on
  // failure, with everything rolled back and the reason in
  // getErrorMessage().
  virtual bool deleteProject(int prjId) = 0;

  // The MPRJ row of data exploration `prjId` with every column in table
  // order: PRJ_ID, PRJ_NM, PRJ_DATE, PRJ_COMM, PMDATE, PADATE, PMUSER,
  // PCUSER, PRJ_UUID, FLDR_ID, LRDATE, LRDUR, LRST. A cursor without rows
  // when there is no such exploration. The caller releases the cursor;
  // null on failure, with the reason in getErrorMessage().
  virtual ReposDataAccessCursor* getProject(int prjId) = 0;

  // Sets the name (PRJ_NM) and comment (PRJ_COMM) of data exploration
  // `prjId`; no other column is written. Then posts a "DataExploration"
  // updated event with its id and UUID. False, with nothing posted and the
  // reason in getErrorMessage(), when the update fails or there is no such
  // exploration ("Data exploration <id> does not exist").
  virtual bool updateProject(int prjId, const KvbString& name,
                             const KvbString& comment) = 0;
};

#endif  // REPOSADMIN_EXPLORER_DATA_ACCESS_H_
