// Holding rows compactly: the blocks and their pool, appending values and
// reading them back.
#include "rda/rda_compact_rows.h"

#include <sys/mman.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstring>
#include <limits>
#include <mutex>
#include <new>

namespace {

// Memory mapped from the system and, when unmapped, given straight back to
// it: a heap would keep what the rows leave as holes among its other
// allocations. Mapped with its pages made present in one call, as the rows
// fill every page at once.
char* mapBytes(size_t bytes) {
  void* bytesMapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (bytesMapped == MAP_FAILED) throw std::bad_alloc();
  return static_cast<char*>(bytesMapped);
}

void unmapBytes(char* bytes, size_t length) { munmap(bytes, length); }

// The blocks that dropped stores gave back, for the stores that fill next.
// It keeps no more than stores held at once, and at most kKeptBytes; a
// block beyond that goes back to the system.
class BlockPool {
 public:
  static constexpr size_t kKeptBytes = 32 * 1024 * 1024;

  // Made once and never destroyed, as a cursor may be released while the
  // process exits.
  static BlockPool& instance() {
    static BlockPool* pool = new BlockPool;
    return *pool;
  }
  char* take(size_t bytes) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (!free_.empty()) {
        char* block = free_.back();
        free_.pop_back();
        return block;
      }
    }
    return mapBytes(bytes);
  }
  void give(char* block, size_t bytes) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if ((free_.size() + 1) * bytes <= kKeptBytes) {
        free_.push_back(block);
        return;
      }
    }
    unmapBytes(block, bytes);
  }

 private:
  std::mutex mutex_;
  std::vector<char*> free_;
};

}  // namespace

void rdaTrimHeap() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

void RDA_CompactRows::GiveBack::operator()(char* block) const {
  BlockPool::instance().give(block, kBlockBytes);
}

void RDA_CompactRows::Unmap::operator()(char* text) const {
  unmapBytes(text, bytes);
}

RDA_CompactRows::Block RDA_CompactRows::newBlock() {
  return Block(BlockPool::instance().take(kBlockBytes));
}

void RDA_CompactRows::reset(size_t columns) {
  columns_ = columns;
  rows_ = 0;
  rowCells_ = 0;
  cells_.clear();
  cellCount_ = 0;
  texts_.clear();
  longTexts_.clear();
  textEnd_ = nullptr;
  textRoom_ = 0;
  others_.clear();
}

RDA_CompactRows::Cell& RDA_CompactRows::addCell(int type) {
  if (cellCount_ % kBlockCells == 0) cells_.push_back(newBlock());
  Cell* cell = new (cellsOf(cells_.back()) + cellCount_++ % kBlockCells) Cell{};
  cell->type = static_cast<int16_t>(type);
  if (++rowCells_ == columns_) {
    rowCells_ = 0;
    ++rows_;
  }
  return *cell;
}

const char* RDA_CompactRows::keepText(const char* text, size_t length) {
  if (length == 0) return "";
  char* kept;
  if (length > kTextBlock / 4) {
    // A long text gets a mapping of its own; the shared block stays open.
    longTexts_.emplace_back(mapBytes(length), Unmap{length});
    kept = longTexts_.back().get();
  } else {
    if (length > textRoom_) {
      texts_.push_back(newBlock());
      textEnd_ = texts_.back().get();
      textRoom_ = kTextBlock;
    }
    kept = textEnd_;
    textEnd_ += length;
    textRoom_ -= length;
  }
  std::memcpy(kept, text, length);
  return kept;
}

void RDA_CompactRows::addInteger(int type, int64_t value) {
  addCell(type).integer = value;
}

void RDA_CompactRows::addReal(double value) {
  addCell(kvbTypeReal).real = value;
}

void RDA_CompactRows::addText(const char* text, size_t length) {
  if (length > std::numeric_limits<uint32_t>::max()) {
    KvbDatavar value;
    value.setText(text, length);
    addValue(value);
    return;
  }
  const char* kept = keepText(text, length);
  Cell& cell = addCell(kvbTypeString);
  cell.text = kept;
  cell.length = static_cast<uint32_t>(length);
}

void RDA_CompactRows::addNull(int type) { addCell(type).null = true; }

void RDA_CompactRows::addRow(const SqliteValue* values, size_t count) {
  for (size_t c = 0; c < count; ++c) {
    const SqliteValue& value = values[c];
    switch (value.type) {
      case kvbTypeInt:
      case kvbTypeInt64:
        addInteger(value.type, value.integer);
        break;
      case kvbTypeReal:
        addReal(value.real);
        break;
      case kvbTypeString:
        addText(value.text, value.length);
        break;
      default:
        addNull(kvbTypeUnknown);
    }
  }
}

void RDA_CompactRows::addValue(const KvbDatavar& value) {
  if (value.isNull()) return addNull(value.getType());
  switch (value.getType()) {
    case kvbTypeInt:
    case kvbTypeInt64:
      return addInteger(value.getType(), value.asInt64());
    case kvbTypeReal:
      return addReal(value.asDouble());
    case kvbTypeString:
      if (value.textLength() <= std::numeric_limits<uint32_t>::max())
        return addText(value.textData(), value.textLength());
      break;
  }
  Cell& cell = addCell(value.getType());
  cell.other = true;
  cell.index = others_.size();
  others_.push_back(value);
}

const KvbDatavar& RDA_CompactRows::value(const Cell& cell) const {
  if (cell.other) return others_[cell.index];
  if (cell.null) {
    current_.setNull(cell.type);
    return current_;
  }
  // A value in place is an integer, a real or a text.
  SqliteValue value;
  value.type = cell.type;
  if (cell.type == kvbTypeString) {
    value.text = cell.text;
    value.length = cell.length;
  } else if (cell.type == kvbTypeReal) {
    value.real = cell.real;
  } else {
    value.integer = cell.integer;
  }
  KvbDatavar& target = cell.type == kvbTypeString ? currentText_ : current_;
  sqliteValueToDatavar(value, target);
  return target;
}

KvbString RDA_CompactRows::getString(const Cell& cell) const {
  if (holds(cell, kvbTypeString)) return KvbString(cell.text, cell.length);
  const KvbDatavar& whole = value(cell);
  return whole.isNull() ? KvbString("") : whole.asString();
}

int RDA_CompactRows::getInt(const Cell& cell) const {
  return holds(cell, kvbTypeInt) ? static_cast<int>(cell.integer)
                                 : value(cell).asInt();
}

double RDA_CompactRows::getDouble(const Cell& cell) const {
  return holds(cell, kvbTypeReal) ? cell.real : value(cell).asDouble();
}
