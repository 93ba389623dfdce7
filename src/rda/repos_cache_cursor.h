// ReposCacheCursor: an in-memory copy of the column names and rows of
// another cursor, read through the cursor interface. Values are held
// compactly: numbers in place and texts one after another, both in blocks
// of fixed size that never move, so that copying many rows makes no
// allocation per value and no copy of the rows held so far, and a row
// costs the same however many are held. A released cursor's blocks serve
// the next one, whose rows then go to memory already in use instead of
// fresh pages that the system must fault in and clear one by one.
#ifndef RDA_REPOS_CACHE_CURSOR_H_
#define RDA_REPOS_CACHE_CURSOR_H_

#include <cstdint>
#include <memory>
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
  // One value: an integer, a real or a text (as bytes of a text block) in
  // place; a null keeps only its type; any other value is kept whole in
  // others_.
  struct Cell {
    int16_t type;  // the value's kvbType
    bool null;
    bool other;       // the value is others_[index]
    uint32_t length;  // a text's bytes
    union {
      int64_t integer;
      double real;
      const char* text;
      uint64_t index;
    };
  };
  // A block of cells or of texts, given back for reuse when dropped.
  struct GiveBack {
    void operator()(char* block) const;
  };
  using Block = std::unique_ptr<char[], GiveBack>;
  static constexpr size_t kBlockBytes = 64 * 1024;
  static constexpr size_t kBlockCells = kBlockBytes / sizeof(Cell);
  static_assert((kBlockCells & (kBlockCells - 1)) == 0, "a power of 2");
  static constexpr size_t kTextBlock = kBlockBytes;

  size_t rowCount() const override { return rows_; }
  // The current row's cell of `column`; null without a current row or for
  // a column out of range.
  const Cell* cellAt(int column) const {
    if (position_ == 0 || !inRange(column)) return nullptr;
    const size_t i = (position_ - 1) * names_.size() + column;
    return cellsOf(cells_[i / kBlockCells]) + i % kBlockCells;
  }
  static Cell* cellsOf(const Block& block) {
    return reinterpret_cast<Cell*>(block.get());
  }
  // A block of kBlockBytes, one given back when there is one.
  static Block newBlock();
  // True when the cell holds a value of `type` in place.
  static bool holds(const Cell* cell, int type) {
    return cell && !cell->null && !cell->other && cell->type == type;
  }
  const KvbDatavar* valueAt(int column) const override;
  void clear();
  // A new cell at the end of the rows.
  Cell& addCell(int type);
  // A copy of a text that stays where it is while the rows are held.
  const char* keepText(const char* text, size_t length);

  // Appending values to the rows.
  void addRow(const SqliteValue* values, size_t count) override;
  void addValue(const KvbDatavar& value) override;
  // `type` is kvbTypeInt or kvbTypeInt64.
  void addInteger(int type, int64_t value);
  void addReal(double value);
  void addText(const char* text, size_t length);
  void addNull(int type);

  // The rows one after another, kBlockCells cells a block.
  std::vector<Block> cells_;
  size_t cellCount_ = 0;
  // The texts one after another in blocks of kTextBlock bytes, the last of
  // which has textRoom_ bytes free at textEnd_; a longer text has an
  // allocation of its own.
  std::vector<Block> texts_;
  std::vector<std::unique_ptr<char[]>> longTexts_;
  char* textEnd_ = nullptr;
  size_t textRoom_ = 0;
  std::vector<KvbDatavar> others_;
  size_t rows_ = 0;
  // The value that valueAt gives, rebuilt from its cell on each call: texts
  // in one, numbers and nulls in the other, which so never holds a text.
  mutable KvbDatavar currentText_, current_;
};

#endif  // RDA_REPOS_CACHE_CURSOR_H_
