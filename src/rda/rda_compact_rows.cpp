// Holding rows compactly: the blocks and their pool, appending values and
// reading them back.
#include "rda/rda_compact_rows.h"

#include <sys/mman.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
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
// It keeps no more than stores held at once, and at most kKeptBytes; the
// blocks beyond that go back to the system. Blocks are mapped kChunkBlocks
// at a time, and given back in runs of neighbours, so that a large store
// costs few calls to the system either way. Giving back allocates nothing,
// as stores give back as they are destroyed.
class BlockPool {
 public:
  static constexpr size_t kKeptBytes = 32 * 1024 * 1024;
  static constexpr size_t kChunkBlocks = 32;

  // Made once and never destroyed, as a cursor may be released while the
  // process exits.
  static BlockPool& instance() {
    static BlockPool* pool = new BlockPool;
    return *pool;
  }
  // Every block has `bytes` bytes.
  char* take(size_t bytes) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (free_.capacity() == 0) free_.reserve(kKeptBytes / bytes);
      if (!free_.empty()) {
        char* block = free_.back();
        free_.pop_back();
        return block;
      }
    }
    char* chunk = mapBytes(kChunkBlocks * bytes);
    size_t spare = 1;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      for (; spare < kChunkBlocks && free_.size() < free_.capacity(); ++spare)
        free_.push_back(chunk + spare * bytes);
    }
    if (spare < kChunkBlocks)
      unmapBytes(chunk + spare * bytes, (kChunkBlocks - spare) * bytes);
    return chunk;
  }
  // Takes the blocks of `blocks` (null ones ignored) and empties it.
  void give(std::vector<char*>& blocks, size_t bytes) {
    size_t away = 0;  // blocks[0, away) go back to the system
    {
      std::lock_guard<std::mutex> guard(mutex_);
      for (size_t b = 0; b < blocks.size(); ++b) {
        if (!blocks[b]) continue;
        if (free_.size() < free_.capacity())
          free_.push_back(blocks[b]);
        else
          blocks[away++] = blocks[b];
      }
    }
    std::sort(blocks.begin(), blocks.begin() + away);
    for (size_t first = 0, end = 0; first < away; first = end) {
      for (end = first + 1;
           end < away && blocks[end] == blocks[end - 1] + bytes;)
        ++end;
      unmapBytes(blocks[first], (end - first) * bytes);
    }
    blocks.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<char*> free_;  // its capacity is the number kept at most
};

}  // namespace

void rdaTrimHeap() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

void RDA_CompactRows::Unmap::operator()(char* text) const {
  unmapBytes(text, bytes);
}

// The entry is made before the block is taken, so that a failed
// allocation of either loses nothing.
void RDA_CompactRows::addBlock(std::vector<char*>& blocks) {
  blocks.push_back(nullptr);
  blocks.back() = BlockPool::instance().take(kBlockBytes);
}

void RDA_CompactRows::reset(size_t columns) {
  columns_ = columns;
  rows_ = 0;
  rowCells_ = 0;
  // Given back together, so that neighbours go back to the system as one;
  // apart when there is no memory to join them.
  try {
    cells_.insert(cells_.end(), texts_.begin(), texts_.end());
    texts_.clear();
  } catch (const std::bad_alloc&) {
    BlockPool::instance().give(texts_, kBlockBytes);
  }
  BlockPool::instance().give(cells_, kBlockBytes);
  cellCount_ = 0;
  longTexts_.clear();
  textEnd_ = nullptr;
  textRoom_ = 0;
  others_.clear();
}

RDA_CompactRows::Cell& RDA_CompactRows::addCell(int type) {
  if (cellCount_ % kBlockCells == 0) addBlock(cells_);
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
      addBlock(texts_);
      textEnd_ = texts_.back();
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

KvbString RDA_CompactRows::wholeString(const Cell& cell) const {
  const KvbDatavar& whole = value(cell);
  return whole.isNull() ? KvbString("") : whole.asString();
}
