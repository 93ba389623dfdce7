// RepositoryStatusCallback: the host's sink for status texts of long
// operations (create, upgrade, copy, drop).
//
// Progress. Creating a repository, upgrading one and moving an old
// profile file report each table they work on through reportStatus as a
// counted step: "Table GCATS (step 7 of 146)", k counting from 1 to n over
// the tables of one pass, so that a host can draw a bar by reading the two
// numbers from the text's end, "(step %d of %d)". (Upgrading an old
// profile file makes two passes: creating the new file, then copying the
// old tables into it.) Other texts (the
// operation's phases, and the tables of a table-creation call made on a
// connection directly) carry no count. A copy between repositories reports
// its tables through reportMessage only ("Inserted: %d rows" after each).
//
// Stopping. A creation, an upgrade (of the whole repository or of its NCOA
// part) or the move of an old profile file that reportStatus answers false
// ends at that step, reports no further step, leaves the database (and the
// files) as they were, and fails with `The status callback stopped the
// creation at "<step>"`, logged once; "the upgrade", "the NCOA upgrade" or
// "the move of the old profile repository" stands for "the creation"
// where that was stopped.
#ifndef REPOSADMIN_REPOSITORY_STATUS_CALLBACK_H_
#define REPOSADMIN_REPOSITORY_STATUS_CALLBACK_H_

#include "kvbase/kvbase.h"

class RepositoryStatusCallback {
 public:
  // One progress step; answer false to ask the running operation to stop.
  virtual bool reportStatus(const KvbString& text) = 0;
  // An informational line: statement texts, error texts, row counts.
  virtual void reportMessage(const KvbString& text) = 0;

 protected:
  virtual ~RepositoryStatusCallback() = default;
};

#endif  // REPOSADMIN_REPOSITORY_STATUS_CALLBACK_H_
