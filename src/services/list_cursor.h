// ListCursor: the cursor that the lineage result lists share. It stands
// before the first row until the first step, then moves one row per step
// and stops one past the last row.
#ifndef SERVICES_LIST_CURSOR_H_
#define SERVICES_LIST_CURSOR_H_

#include <cstddef>

class ListCursor {
 public:
  // Steps over a list of `size` rows; true when the cursor is on a row.
  bool next(size_t size) {
    if (!started_) {
      started_ = true;
      position_ = 0;
    } else if (position_ < size) {
      ++position_;
    }
    return position_ < size;
  }
  bool onRow(size_t size) const { return started_ && position_ < size; }
  size_t position() const { return position_; }
  void reset() {
    started_ = false;
    position_ = 0;
  }

 private:
  bool started_ = false;
  size_t position_ = 0;
};

#endif  // SERVICES_LIST_CURSOR_H_
