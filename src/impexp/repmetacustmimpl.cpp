// Export and import of a custom metric's content.
#include "impexp/repmetacustmimpl.h"

#include "impexp/repimpexpmgr.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "schema/log_printf.h"

namespace {
const char kSourceFile[] = "repmetacustmimpl";
}  // namespace

bool CustomMetricMetadata::exportCustomMetric(MetadataRecord* record,
                                              KvbString& errorText) {
  if (!made(common_, "CustomMetric", errorText)) return false;
  const KvbString name = value(record, "CM_DESC");
  const int found = readFirstRow(
      common_->findCustomMetric(objectId_, name, uuid_), record, errorText);
  if (found < 0) return false;
  if (found == 0) {
    const KvbString text = kvbStringFormat(
        "Unable to export custom metric, object not found with name=\"%S\" "
        "id=%d",
        name, objectId_);
    logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__, "%S", text);
    return failWith(errorText, text);
  }
  value(record, "CM_ID").toInt(objectId_);
  return exportCustomMetricFields(record, objectId_, errorText);
}

bool CustomMetricMetadata::importCustomMetric(KvbString& errorText) {
  if (!made(common_, "CustomMetric", errorText)) return false;
  if (!common_->clearCustomMetric(objectId_))
    return failData(errorText, "Error clearing existing custom metric: ");
  return importCustomMetricFields(record_, objectId_, errorText);
}
