// ReposCacheCursor: an in-memory copy of the column names and rows of
// another cursor, read through the cursor interface. Values are held
// compactly: numbers in place and texts one after another in one buffer,
// so that copying many rows makes no allocation per value.
#ifndef RDA_REPOS_CACHE_CURSOR_H_
#define RDA_REPOS_CACHE_CURSOR_H_

#include <cstdint>
#include <string>
#include <vector>

#include "rda/rda_cursor.h"

class ReposCacheCursor : public RDA_MemoryCursor, private RDA_ValueSink {
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
  // One value: an integer, a real or a text (as bytes of texts_) in place;
  // a null keeps only its type; any other value is kept whole in others_.
  struct Cell {
    int16_t type;  // the value's kvbType
    bool null;
    bool other;       // the value is others_[index]
    uint32_t length;  // a text's bytes
    union {
      int64_t integer;
      double real;
      uint64_t offset;  // a text's first byte in texts_
      uint64_t index;
    };
  };

  size_t rowCount() const override { return rows_; }
  // The current row's cell of `column`; null without a current row or for
  // a column out of range.
  const Cell* cellAt(int column) const {
    return position_ > 0 && inRange(column)
               ? &cells_[(position_ - 1) * names_.size() + column]
               : nullptr;
  }
  // True when the cell holds a value of `type` in place.
  static bool holds(const Cell* cell, int type) {
    return cell && !cell->null && !cell->other && cell->type == type;
  }
  const KvbDatavar* valueAt(int column) const override;
  void clear();

  // Appending one value to the rows.
  void addInteger(int type, int64_t value) override;
  void addReal(double value) override;
  void addText(const char* text, size_t length) override;
  void addNull(int type) override;
  void addValue(const KvbDatavar& value) override;

  std::vector<Cell> cells_;  // the rows one after another
  std::string texts_;
  std::vector<KvbDatavar> others_;
  size_t rows_ = 0;
  // The value that valueAt gives, rebuilt from its cell on each call: texts
  // in one, numbers and nulls in the other, which so never holds a text.
  mutable KvbDatavar currentText_, current_;
};

#endif  // RDA_REPOS_CACHE_CURSOR_H_
