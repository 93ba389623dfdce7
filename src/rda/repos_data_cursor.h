// ReposDataCursor: an in-memory cursor that code fills row by row, read
// through the cursor interface.
#ifndef RDA_REPOS_DATA_CURSOR_H_
#define RDA_REPOS_DATA_CURSOR_H_

#include <cstddef>
#include <deque>
#include <vector>

#include "rda/rda_cursor.h"

class ReposDataCursor : public RDA_MemoryCursor {
 public:
  ReposDataCursor() = default;
  // A cursor that held many values gives the heap's free pages back to the
  // system, so that the process keeps no more after a large listing than
  // the compact cursors' pool (see RDA_CompactRows).
  ~ReposDataCursor() override;
  // A cursor of the columns named, without rows.
  explicit ReposDataCursor(std::vector<KvbString> names) {
    names_ = std::move(names);
  }
  // Discards names and rows and makes n unnamed columns; false when n is
  // below 1.
  bool setColumnCount(int n);
  // Names a column; a column out of range is ignored.
  void setColumnName(int column, const KvbString& name);
  // Appends a row of nulls, makes it the current row and answers its
  // values, one per column. Each row is an allocation of its own, so that a
  // long listing never moves the rows it holds as it grows, and the values
  // answered stay in place while more rows are added.
  std::vector<KvbDatavar>& addRow();
  // Sets a column of the current row; ignored without a current row or for
  // a column out of range.
  void setValue(int column, const KvbDatavar& value);
  // The next fetch yields the first row.
  void rewind() { position_ = 0; }

 private:
  size_t rowCount() const override { return rows_.size(); }
  const KvbDatavar* valueAt(int column) const override {
    return position_ > 0 && inRange(column) ? &rows_[position_ - 1][column]
                                            : nullptr;
  }

  // The values held beyond which releasing the cursor trims the heap.
  static constexpr size_t kTrimAfterBytes = 1024 * 1024;

  std::deque<std::vector<KvbDatavar>> rows_;
};

#endif  // RDA_REPOS_DATA_CURSOR_H_
