// Reading a session's default isolation, and the texts of a serialization
// failure (see rda_isolation.h).
#include "rda/rda_isolation.h"

#include "kvdataaccess/kvdataaccess.h"

const char kReadCommittedSql[] = "SET TRANSACTION ISOLATION LEVEL READ COMMITTED";

bool readSessionIsolation(DacConnection* connection, bool* stricter,
                          KvbString& errorText) {
  DacStatement* statement = connection->prepareToRunOnce(
      "SELECT current_setting('default_transaction_isolation')");
  DacCursor* cursor = statement ? statement->select() : nullptr;
  KvbDatavar value;
  const bool read =
      cursor && cursor->next() == 1 && cursor->getValue(0, value);
  if (read) {
    *stricter = value.asString() != "read committed";
  } else {
    errorText = "The default isolation of the session cannot be read: " +
                (cursor      ? cursor->getErrorMessage()
                 : statement ? statement->getErrorMessage()
                             : connection->getErrorMessage());
  }
  if (cursor) cursor->release();
  if (statement) statement->release();
  return read;
}

bool isSerializationFailure(const KvbString& reason) {
  return reason.find("[40001]") != KvbString::npos;
}

// The server's reason is given from its SQLSTATE on, without the statement
// that met it.
KvbString serializationLossText(const KvbString& reason) {
  const size_t state = reason.find("[40001]");
  return "The transaction was rolled back whole: the server could not "
         "serialize it with another connection's transaction, which changed "
         "what it read or wrote: " +
         (state == KvbString::npos ? reason : reason.substr(state));
}
