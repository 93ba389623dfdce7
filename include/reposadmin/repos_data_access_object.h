// ReposDataAccessObject: the operations that every data-access object of a
// repository shares, in this order, before the operations of its own
// interface. The object keeps its repository's connection open while it
// lives; the caller owns the object and ends it with release(), before or
// after the repository (see repository.h).
//
// A name, code or UUID that an operation refuses as in use holds across
// connections and processes on every back end: of two writers that add or
// rename to one value at once, the second waits for the first's
// transaction to end and is refused with the operation's usual text; a
// row that an operation adds only when none is there (an object's lock, a
// rule's field) is added once, and the second writer finds it. Such a
// write takes its table's turn for its transaction: the turn of the table
// that the server resolves the name to, so connections whose prefixes
// spell one set of tables apart ("ab", "AB", "public.ab") take one turn.
// Inside a transaction of the host the turn is held until the host ends
// it, so other connections' writes of that kind wait until then (on SQLite
// every write waits for the open transaction anyway). A wait that passes
// the busy timeout (SQLITE/BUSY_TIMEOUT) is refused: on a server with "The
// table <table> is being written by another connection; this write waited
// <n> ms for its turn (SQLITE/BUSY_TIMEOUT): <reason>", <n> the time it
// waited and <reason> the server's SQLSTATE and message, on SQLite with
// the database's "database is locked" text. Two transactions of the host
// on a server that wait for each other's turns are no timeout: the server
// ends one wait, and that transaction is rolled back whole with "The table
// <table> is being written by another connection whose transaction waits
// for this one's; this transaction was rolled back to end the deadlock:
// <reason>", which its later calls and its end answer too.
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
  // Installs the callback on the repository's connection, for every object
  // of it (see ReposDataAccess::setDDLCallback): each write method then
  // answers as without it, its checks reading the database, and hands the
  // callback the statements it would have run.
  virtual bool setDDLCallback(ReposDDLCallback* callback) = 0;
  // Ends the object; the connection stays with the repository.
  virtual void release() = 0;
};

#endif  // REPOSADMIN_REPOS_DATA_ACCESS_OBJECT_H_
