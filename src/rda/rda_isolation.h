// The isolation that a server connection's transactions run at. The
// engine's checks (a name looked up after its table's turn, an id counter
// raised, a row taken before it is deleted) hold at read committed, where
// each statement sees what was committed before it began and a write waits
// for a row that another transaction holds, then sees its new version. A
// database, its role or the connection string may make every transaction
// of a session stricter (repeatable read, serializable); then each
// transaction of the connection, the engine's and a host's alike, is set
// back to read committed as its first statement, and a statement run
// outside a transaction, which the server runs as a transaction of its own
// at the default, is run again when the server could not serialize it.
// Where the session's default is read committed, nothing is added to any
// call: the default is read once, when the session is opened.
#ifndef RDA_RDA_ISOLATION_H_
#define RDA_RDA_ISOLATION_H_

#include "kvbase/kvbase.h"

class DacConnection;

// The statement, first in a transaction, that makes it read committed.
extern const char kReadCommittedSql[];

// The times in all that a statement outside a transaction runs while the
// server answers it with a serialization failure.
constexpr int kTriesAlone = 10;

// Reads the default isolation of the session of `connection` (a database's,
// a role's or the connection string's, as the session was opened):
// *stricter is set when it is not read committed. False, with the reason in
// errorText, when it cannot be read.
bool readSessionIsolation(DacConnection* connection, bool* stricter,
                          KvbString& errorText);

// Whether `reason` is the server's refusal of a transaction that it could
// not serialize with another (SQLSTATE 40001).
bool isSerializationFailure(const KvbString& reason);

// The text of a transaction that the server refused for `reason` (see
// isSerializationFailure), which was rolled back whole.
KvbString serializationLossText(const KvbString& reason);

// Runs `run` (true when it succeeded); `alone`, outside a transaction, runs
// it again while `reason()` is a serialization failure, kTriesAlone times in
// all: the server rolled the statement's own transaction back whole, so the
// next run starts afresh. Nothing is added to a run that succeeds.
template <class Run, class Reason>
bool runRetriedAlone(bool alone, const Run& run, const Reason& reason) {
  for (int tries = 1;; ++tries) {
    if (run()) return true;
    if (!alone || tries >= kTriesAlone || !isSerializationFailure(reason()))
      return false;
  }
}

#endif  // RDA_RDA_ISOLATION_H_
