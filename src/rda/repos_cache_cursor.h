// ReposCacheCursor: an in-memory copy of the column names and rows of
// another cursor, read through the cursor interface. The rows are held
// compactly (RDA_CompactRows): numbers in place and texts one after
// another, in blocks that a released copy hands on to the next.
#ifndef RDA_REPOS_CACHE_CURSOR_H_
#define RDA_REPOS_CACHE_CURSOR_H_

#include <cstdint>

#include "rda/rda_compact_rows.h"
#include "rda/rda_cursor.h"

class ReposCacheCursor : public RDA_MemoryCursor {
 public:
  // Copies the names, then the rows of `source` from its current position
  // until its end or, when `limit` is not 0, until `limit` rows are held.
  // False, holding nothing, when the source has no columns or reports an
  // error. The source stays with the caller.
  bool fill(ReposDataAccessCursor* source, uint64_t limit);

  uint64_t getRowCount() const { return rowCount(); }

  // Read the common kinds straight from the held values.
  KvbString getString(int column) override;
  int getInt(int column) override;
  double getDouble(int column) override;
  bool isNull(int column) override;

 private:
  using Cell = RDA_CompactRows::Cell;

  size_t rowCount() const override { return rows_.rowCount(); }
  // The current row's cell of `column`; null without a current row or for
  // a column out of range.
  const Cell* cellAt(int column) const {
    return position_ > 0 && inRange(column) ? &rows_.cell(position_ - 1, column)
                                            : nullptr;
  }
  const KvbDatavar* valueAt(int column) const override;
  void clear();

  RDA_CompactRows rows_;
};

#endif  // RDA_REPOS_CACHE_CURSOR_H_
