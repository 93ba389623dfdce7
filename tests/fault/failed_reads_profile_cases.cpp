// Failed-read cases of the profile store.
#include "fault/failed_reads.h"

std::vector<ReadCase> profileReadCases() { return {}; }
