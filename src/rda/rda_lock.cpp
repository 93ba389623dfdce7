// The connection lock with its contention trace.
#include "rda/rda_lock.h"

#include "kvlogging/kvlogging.h"
#include "schema/log_printf.h"

RDA_Lock::RDA_Lock()
    : lock_(kvLockCreate()),
      trace_(kvlogGetLogger("KV.Repos.ReposAdmin.RDA.LockTrace")) {}

RDA_Lock::~RDA_Lock() { kvLockDestroy(lock_); }

void RDA_Lock::acquire() {
  if (kvLockTry(lock_)) return;
  logPrintf(trace_, kLogProgress, "rda_lock", __LINE__,
            "Connection lock requested while another thread holds it");
  kvLockGet(lock_);
}

void RDA_Lock::release() { kvLockRelease(lock_); }
