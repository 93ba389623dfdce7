// Failed-read cases of the monitor, NCOA and reference-data stores.
#include "fault/failed_reads.h"

std::vector<ReadCase> monitorReadCases() { return {}; }
