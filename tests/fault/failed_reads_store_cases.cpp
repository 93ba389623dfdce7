// Failed-read cases of the common, metadata and explorer stores and the folder manager.
#include "fault/failed_reads.h"

std::vector<ReadCase> storeReadCases() { return {}; }
