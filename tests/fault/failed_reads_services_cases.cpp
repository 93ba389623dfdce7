// Failed-read cases of the import/export manager, the impact analysis and the event queue.
#include "fault/failed_reads.h"

std::vector<ReadCase> servicesReadCases() { return {}; }
