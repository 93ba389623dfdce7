// The connection lock's contention trace.
#include "rda/rda_lock.h"

#include "kvlogging/kvlogging.h"
#include "schema/log_printf.h"

RDA_Lock::RDA_Lock()
    : trace_(kvlogGetLogger("KV.Repos.ReposAdmin.RDA.LockTrace")) {}

void RDA_Lock::wait() {
  logPrintf(trace_, kLogProgress, "rda_lock", __LINE__,
            "Connection lock requested while another thread holds it");
  mutex_.lock();
}
