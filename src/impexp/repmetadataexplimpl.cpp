// Export of a data exploration's row.
#include "impexp/repmetadataexplimpl.h"

#include "access/base_rdaimpl.h"
#include "impexp/repimpexpmgr.h"
#include "impexp/repobjectmgr.h"
#include "reposadmin/explorer_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "schema/log_printf.h"

namespace {
const char kSourceFile[] = "repmetadataexplimpl";
}  // namespace

bool DataExplorationMetadata::exportExploration(MetadataRecord* record,
                                                KvbString& errorText) {
  ScopedAccess<ExplorerRepositoryDataAccess> explorer(
      quietly(repository_->createExplorerDataAccess()));
  if (!made(explorer.get(), "DataExploration", errorText)) return false;
  const int found =
      readFirstRow(explorer->getProject(objectId_), record, errorText);
  if (found < 0) return false;
  if (found == 0) {
    logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__,
              "Unable to find data exploration object with id=%d", objectId_);
    errorText = "A data exploration was not found to export.";
    return false;
  }
  event(1, "The export does not contain all known metadata for this object.");
  return true;
}
