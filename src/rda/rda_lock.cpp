// The connection lock's contention trace.
#include "rda/rda_lock.h"

#include "kvlogging/kvlogging.h"
#include "schema/log_printf.h"

RDA_Lock::RDA_Lock()
    : trace_(kvlogGetLogger("KV.Repos.ReposAdmin.RDA.LockTrace")) {}

// A waiter counts itself before it tries again, under waitMutex_: a
// release that does not see the count came before the try, which then
// finds the lock free; one that sees it notifies under waitMutex_, so the
// waiter is either still to try or already waiting for the notice.
void RDA_Lock::wait() {
  logPrintf(trace_, kLogProgress, "rda_lock", __LINE__,
            "Connection lock requested while another thread holds it");
  std::unique_lock<std::mutex> guard(waitMutex_);
  ++waiting_;
  freed_.wait(guard, [this] { return tryTake(); });
  --waiting_;
}

void RDA_Lock::wake() {
  std::lock_guard<std::mutex> guard(waitMutex_);
  freed_.notify_one();
}
