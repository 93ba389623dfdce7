// Work whose failure the caller ignores and goes on from, run so that the
// failure cannot end the transaction around it.
#ifndef ACCESS_SAVEPOINT_STEP_H_
#define ACCESS_SAVEPOINT_STEP_H_

#include <functional>

class KvLogger;
class ReposDataAccess;

// Runs `step` at a savepoint of its own when `rda` has a transaction open
// (see runTransaction), else as it is. A server may end its transaction at
// the first statement that fails (PostgreSQL does unless its driver wraps
// each statement); at the savepoint a failed step undoes exactly its own
// work, and the transaction goes on. It runs so on every back end, so that
// the work left behind is the same everywhere.
// True when the step succeeded; on failure the connection keeps the step's
// reason. A savepoint that cannot be set or ended is logged on `logger`
// (as runTransaction logs) and dooms the transaction around it.
bool runAtSavepoint(ReposDataAccess* rda, KvLogger* logger,
                    const std::function<bool()>& step);

#endif  // ACCESS_SAVEPOINT_STEP_H_
