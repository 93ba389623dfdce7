// ReposCacheCursor: an in-memory copy of the column names and rows of
// another cursor, read through the cursor interface.
#ifndef RDA_REPOS_CACHE_CURSOR_H_
#define RDA_REPOS_CACHE_CURSOR_H_

#include <cstdint>

#include "rda/rda_cursor.h"

class ReposCacheCursor : public RDA_MemoryCursor {
 public:
  // Copies the names, then the rows of `source` from its current position
  // until its end or, when `limit` is not 0, until `limit` rows are held.
  // False, holding nothing, when the source has no columns or reports an
  // error. The source stays with the caller.
  bool fill(ReposDataAccessCursor* source, uint64_t limit);

  uint64_t getRowCount() const { return rowCount(); }
};

#endif  // RDA_REPOS_CACHE_CURSOR_H_
