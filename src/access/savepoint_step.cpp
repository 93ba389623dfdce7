// Work whose failure the caller ignores: at a savepoint of its own inside a
// transaction.
#include "access/savepoint_step.h"

#include "access/base_rdaimpl.h"
#include "rda/rda_impl.h"

bool runAtSavepoint(ReposDataAccess* rda, KvLogger* logger,
                    const std::function<bool()>& step) {
  // Held across the test and the step, so that the transaction asked about
  // is the one the step runs in.
  RDA_LockGuard guard(connectionLock(rda));
  if (!rda->inTransaction()) return step();
  return runTransaction(rda, logger, step);
}
