// scanRows: the rows of a cursor with the three answers of firstRow (found,
// missing, failed), for the lookups outside the data-access objects, which
// must never take a query or a fetch that failed for one that found
// nothing; and readObjectItem, such a lookup of an object's item row.
#ifndef SERVICES_SCAN_ROWS_H_
#define SERVICES_SCAN_ROWS_H_

#include <functional>

#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repos_data_access.h"

// Runs `each` on the rows of `rows` (released here) until it answers false:
// 1 when there was a row, 0 when there was none, -1 when `rows` is null or
// a fetch fails (the connection's error text says why).
inline int scanRows(ReposDataAccessCursor* rows,
                    const std::function<bool(ReposDataAccessCursor*)>& each) {
  if (!rows) return -1;
  int found = 0, status;
  while ((status = rows->next()) == 1) {
    found = 1;
    if (!each(rows)) break;
  }
  rows->release();
  return status == 2 ? -1 : found;
}

// What the object item row of an object gives (UUID, name, folder).
struct ObjectItem {
  KvbString uuid;
  KvbString name;
  int folderId = 0;
};

// scanRows of the object item row of object `objectId` of `typeName`; a
// failure leaves its reason in `reason` (see
// MetadataRepositoryDataAccess::getObject), or in the metadata data access.
inline int readObjectItem(MetadataRepositoryDataAccess* meta, int objectId,
                          const KvbString& typeName, ObjectItem& item,
                          KvbString& reason) {
  return scanRows(meta->getObject(objectId, typeName, reason),
                  [&](ReposDataAccessCursor* row) {
                    item.uuid = row->getString(1);
                    item.name = row->getString(3);
                    item.folderId = row->getInt(4);
                    return false;
                  });
}

#endif  // SERVICES_SCAN_ROWS_H_
