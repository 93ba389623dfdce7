// ReposDataAccessObject: the operations that every data-access object of a
// repository shares, in this order, before the operations of its own
// interface. The object keeps its repository's connection open while it
// lives; the caller owns the object and ends it with release(), before or
// after the repository (see repository.h).
#ifndef REPOSADMIN_REPOS_DATA_ACCESS_OBJECT_H_
#define REPOSADMIN_REPOS_DATA_ACCESS_OBJECT_H_

#include "kvbase/kvbase.h"

class ReposDDLCallback;

class ReposDataAccessObject {
 public:
  virtual ~ReposDataAccessObject() = default;
  // Forward to the connection's transaction operations; `busy` is not
  // reported back (pass 0).
  virtual bool beginTransaction(int immediate, int busy) = 0;
  virtual bool endTransaction(bool commit) = 0;
  // The text of the calling thread's last failure on the connection.
  virtual KvbString getErrorMessage() = 0;
  virtual bool setDDLCallback(ReposDDLCallback* callback) = 0;
  // Ends the object; the connection stays with the repository.
  virtual void release() = 0;
};

#endif  // REPOSADMIN_REPOS_DATA_ACCESS_OBJECT_H_
