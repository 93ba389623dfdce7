// A test seam of kvdataaccess: makes a call fail that no real driver fails
// inside a transaction, so that tests reach the engine's handling of such
// refusals. Tests only; the header is not installed. Without a hook each
// of the calls below costs one load.
#ifndef KVDATAACCESS_KVDATAACCESS_FAULT_H_
#define KVDATAACCESS_KVDATAACCESS_FAULT_H_

#include "kvbase/kvbase.h"

// The calls that a hook is asked about.
enum class DacFault {
  kPrepare,    // DacConnection::prepare
  kValueRead,  // DacCursor::getValue of a value that is there
};

// Asked at each such call while it is set: true fails the call, with the
// text the hook wrote into `reason` as its error text (getErrorMessage of
// the connection or the cursor).
using DacFaultHook = bool (*)(DacFault point, KvbString& reason);
// Sets the process's hook; null removes it.
void dacSetFaultHook(DacFaultHook hook);

#endif  // KVDATAACCESS_KVDATAACCESS_FAULT_H_
