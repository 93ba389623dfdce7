// RDA_CompactRows: rows of values held compactly in memory, as the engine's
// in-memory cursors keep them. Numbers sit in place in cells and texts one
// after another, both in blocks of fixed size that never move, so that
// holding many rows makes no allocation per value and no copy of the rows
// held so far, and a row costs the same however many are held.
//
// Blocks are mapped from the system directly, not taken from the heap, so
// that what a store drops can really go back. A dropped store's blocks go
// to a pool for the next store, whose rows then go to memory already in
// use instead of fresh pages that the system must fault in and clear one
// by one; the pool keeps at most 32 MiB for the whole process, and every
// block beyond that, like every long text, is unmapped at once.
#ifndef RDA_RDA_COMPACT_ROWS_H_
#define RDA_RDA_COMPACT_ROWS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kvbase/kvbase.h"
#include "kvsqlstore/kvsqlstore.h"

// Takes the values of a row as a back end reads them: either the whole row
// at once, or one value after another in column order. Texts are valid
// only during the call.
class RDA_ValueSink {
 public:
  // The row's values in column order, as SqliteValue describes them.
  virtual void addRow(const SqliteValue* values, size_t count) = 0;
  // One value, kept as it is.
  virtual void addValue(const KvbDatavar& value) = 0;

 protected:
  ~RDA_ValueSink() = default;
};

// Gives the pages that the heap holds free back to the system. For memory
// of many small allocations, as a cursor that holds a whole value per cell
// frees: the allocator would keep it, among its other allocations, for the
// life of the process.
void rdaTrimHeap();

class RDA_CompactRows final : public RDA_ValueSink {
 public:
  // One value: an integer, a real or a text (as bytes of a text block) in
  // place; a null keeps only its type; any other value is kept whole.
  struct Cell {
    int16_t type;  // the value's kvbType
    bool null;
    bool other;       // the value is kept whole (others_[index])
    uint32_t length;  // a text's bytes
    union {
      int64_t integer;
      double real;
      const char* text;
      uint64_t index;
    };
  };

  RDA_CompactRows() = default;
  ~RDA_CompactRows() { reset(0); }
  RDA_CompactRows(const RDA_CompactRows&) = delete;
  RDA_CompactRows& operator=(const RDA_CompactRows&) = delete;

  // Drops every row, giving its blocks back, and sets the number of values
  // of a row.
  void reset(size_t columns);
  // The complete rows held.
  size_t rowCount() const { return rows_; }
  // The cell of `column` in `row` (both from 0, both in range).
  const Cell& cell(size_t row, size_t column) const {
    const size_t i = row * columns_ + column;
    return cellsOf(cells_[i / kBlockCells])[i % kBlockCells];
  }

  // Appending, value after value in row order: a row as a back end reads
  // it, or one value kept as it is.
  void addRow(const SqliteValue* values, size_t count) override;
  void addValue(const KvbDatavar& value) override;

  // A cell read as the cursor getters read a value of its kind and content;
  // the common kinds straight from the cell.
  KvbString getString(const Cell& cell) const {
    return holds(cell, kvbTypeString) ? KvbString(cell.text, cell.length)
                                      : wholeString(cell);
  }
  int getInt(const Cell& cell) const {
    return holds(cell, kvbTypeInt) ? static_cast<int>(cell.integer)
                                   : value(cell).asInt();
  }
  double getDouble(const Cell& cell) const {
    return holds(cell, kvbTypeReal) ? cell.real : value(cell).asDouble();
  }
  // The cell as a whole value; valid until the next call on the store.
  const KvbDatavar& value(const Cell& cell) const;

 private:
  // A text too long for the shared blocks, mapped on its own.
  struct Unmap {
    size_t bytes;
    void operator()(char* text) const;
  };
  using LongText = std::unique_ptr<char[], Unmap>;

  static constexpr size_t kBlockBytes = 64 * 1024;
  static constexpr size_t kBlockCells = kBlockBytes / sizeof(Cell);
  static_assert((kBlockCells & (kBlockCells - 1)) == 0, "a power of 2");
  static constexpr size_t kTextBlock = kBlockBytes;

  static Cell* cellsOf(char* block) { return reinterpret_cast<Cell*>(block); }
  // Appends a block of kBlockBytes to `blocks`, one given back when there
  // is one.
  static void addBlock(std::vector<char*>& blocks);
  // True when the cell holds a value of `type` in place.
  static bool holds(const Cell& cell, int type) {
    return !cell.null && !cell.other && cell.type == type;
  }
  // getString of a cell that holds no text in place.
  KvbString wholeString(const Cell& cell) const;
  // A new cell at the end of the rows.
  Cell& addCell(int type);
  // A copy of a text that stays where it is while the rows are held.
  const char* keepText(const char* text, size_t length);
  // `type` is kvbTypeInt or kvbTypeInt64.
  void addInteger(int type, int64_t value);
  void addReal(double value);
  void addText(const char* text, size_t length);
  void addNull(int type);

  size_t columns_ = 0;
  size_t rows_ = 0;
  size_t rowCells_ = 0;  // the cells of the row being added
  // The values one after another, kBlockCells cells a block.
  std::vector<char*> cells_;
  size_t cellCount_ = 0;
  // The texts one after another in blocks of kTextBlock bytes, the last of
  // which has textRoom_ bytes free at textEnd_; a longer text has a
  // mapping of its own.
  std::vector<char*> texts_;
  std::vector<LongText> longTexts_;
  char* textEnd_ = nullptr;
  size_t textRoom_ = 0;
  std::vector<KvbDatavar> others_;
  // The value that value() gives, rebuilt from its cell on each call: texts
  // in one, numbers and nulls in the other, which so never holds a text.
  mutable KvbDatavar currentText_, current_;
};

#endif  // RDA_RDA_COMPACT_ROWS_H_
