// The server session behind a repository's connection, and its loss: the
// server may end the session at any time (a restart, a failover, an
// administrator's termination, an idle timeout). The loss is found by the
// call that meets it, never by asking the server before a call. A call
// that needs nothing of the lost session goes on over a new one, opened as
// the first was (see sessionOpened); the connection's statements follow
// the new session by themselves (DacConnection::reconnect), so every
// statement that the engine keeps stays valid. A call that had something
// in the lost session (its transaction, a cursor's rows) fails saying so,
// and the next call outside a transaction opens the new session.
#include "rda/rda_dac.h"
#include "rda/rda_isolation.h"

namespace {

// Whether a run of `use` that succeeded leaves something of the open
// transaction in the session: preparing and the begin's own setting do
// not, and are made again on a new session.
bool uses(RDA_DAC::SessionUse use) {
  return use != RDA_DAC::SessionUse::kPrepare &&
         use != RDA_DAC::SessionUse::kBegin;
}

const char kLost[] = "The connection to the database was lost";

// The server's part of a driver's refusal: from its first "[SQLSTATE]"
// record on, without what the engine was running.
KvbString serverReason(const KvbString& reason) {
  const std::string& text = reason.str();
  for (size_t at = text.find('['); at != std::string::npos;
       at = text.find('[', at + 1))
    if (at + 6 < text.size() && text[at + 6] == ']' &&
        (at == 0 || text[at - 1] == ' '))
      return reason.substr(at);
  return reason;
}

}  // namespace

bool RDA_DAC::sessionOpened(KvbString& errorText) {
  return kind_ != DAC_DB_POSTGRESQL ||
         (boundLockWaits(errorText) && readIsolation(errorText));
}

// The engine's transaction begins on the new session as begin_INT began
// it on the old one.
bool RDA_DAC::beginAgain() {
  return dac_->setAutoCommit(false) && setTransaction();
}

bool RDA_DAC::renewSession(KvbString& failure) {
  KvbString reason;
  if (dac_->reconnect()) {
    sessionLost_ = false;
    if (sessionOpened(reason)) return true;
    sessionLost_ = true;
  } else {
    reason = dac_->getErrorMessage();
  }
  failure = kvbStringFormat("%s and cannot be opened again: %S", kLost, reason);
  return false;
}

bool RDA_DAC::rerunnable(SessionUse use) {
  if (use == SessionUse::kBegin) return true;
  if (!inTransaction())
    return use == SessionUse::kQuery || use == SessionUse::kPrepare;
  return manualCommit_ && !sessionUsed_ && !bulk_ && onlyOwnWork();
}

bool RDA_DAC::onSession(SessionUse use, const std::function<bool()>& attempt,
                        const std::function<KvbString()>& why,
                        KvbString& failure) {
  if (sessionLost_ && !inTransaction() && !renewSession(failure)) return false;
  if (attempt()) {
    sessionUsed_ |= uses(use);
    return true;
  }
  failure = why();
  if (!dacSessionLost(failure)) return false;
  sessionLost_ = true;
  if (rerunnable(use)) {
    KvbString refusal;
    if (!renewSession(refusal)) {
      failure = refusal;
      return false;
    }
    if ((!manualCommit_ || beginAgain()) && attempt()) {
      sessionUsed_ |= uses(use);
      return true;
    }
    failure = why();
    if (!dacSessionLost(failure)) return false;
    sessionLost_ = true;
  }
  failure = restated(failure, use);
  return false;
}

KvbString RDA_DAC::restated(const KvbString& reason, SessionUse use) {
  if (reason.startsWith(kLost) || !dacSessionLost(reason)) return reason;
  sessionLost_ = true;
  const KvbString server = serverReason(reason);
  lossReason_ = server;
  const char* what;
  // A commit whose session was gone before it (the driver's "connection
  // does not exist") sent nothing: the server rolled the transaction back.
  if (use == SessionUse::kCommit && !server.startsWith("[08003]"))
    what =
        " while the transaction was committed; its writes are stored only "
        "if the commit reached the server before";
  else if (inTransaction() || use == SessionUse::kCommit)
    what = "; the transaction was rolled back with its writes";
  else if (use == SessionUse::kRows)
    what = "; the rows of the query went with it";
  else if (use == SessionUse::kWrite)
    what = " while a statement ran; whether the server ran it is not known";
  else
    what = "";
  return kvbStringFormat("%s%s: %S", kLost, what, server);
}

bool RDA_DAC::tellsOfLostSession_INT(const KvbString& text) {
  return sessionLost_ && text.find(kLost) != KvbString::npos;
}

// A failure that did not say so itself may have found the loss through
// the question whether the transaction survived: the loss's own reason
// stands then.
KvbString RDA_DAC::lostTransactionText(const KvbString& failure) const {
  if (failure.startsWith(kLost)) return failure;
  return kvbStringFormat(
      "%s; the transaction was rolled back with its writes: %S", kLost,
      lossReason_);
}
