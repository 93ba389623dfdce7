// Filling an in-memory copy of a cursor and reading its values back.
#include "rda/repos_cache_cursor.h"

#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <string>

namespace {

// The blocks that released cursors gave back, for the cursors that fill
// next. It keeps no more than cursors held at once, and at most
// kKeptBytes; a block beyond that goes back to the system.
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
    return new char[bytes];
  }
  void give(char* block, size_t bytes) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if ((free_.size() + 1) * bytes <= kKeptBytes) {
        free_.push_back(block);
        return;
      }
    }
    delete[] block;
  }

 private:
  std::mutex mutex_;
  std::vector<char*> free_;
};

}  // namespace

void ReposCacheCursor::GiveBack::operator()(char* block) const {
  BlockPool::instance().give(block, kBlockBytes);
}

ReposCacheCursor::Block ReposCacheCursor::newBlock() {
  return Block(BlockPool::instance().take(kBlockBytes));
}

void ReposCacheCursor::clear() {
  names_.clear();
  cells_.clear();
  cellCount_ = 0;
  texts_.clear();
  longTexts_.clear();
  textEnd_ = nullptr;
  textRoom_ = 0;
  others_.clear();
  rows_ = 0;
  position_ = 0;
}

ReposCacheCursor::Cell& ReposCacheCursor::addCell(int type) {
  if (cellCount_ % kBlockCells == 0) cells_.push_back(newBlock());
  Cell* cell = new (cellsOf(cells_.back()) + cellCount_++ % kBlockCells) Cell{};
  cell->type = static_cast<int16_t>(type);
  return *cell;
}

const char* ReposCacheCursor::keepText(const char* text, size_t length) {
  if (length == 0) return "";
  char* kept;
  if (length > kTextBlock / 4) {
    // A long text gets a block of its own; the shared block stays open.
    longTexts_.emplace_back(new char[length]);
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

void ReposCacheCursor::addInteger(int type, int64_t value) {
  addCell(type).integer = value;
}

void ReposCacheCursor::addReal(double value) {
  addCell(kvbTypeReal).real = value;
}

void ReposCacheCursor::addText(const char* text, size_t length) {
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

void ReposCacheCursor::addNull(int type) { addCell(type).null = true; }

void ReposCacheCursor::addRow(const SqliteValue* values, size_t count) {
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

void ReposCacheCursor::addValue(const KvbDatavar& value) {
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

bool ReposCacheCursor::fill(ReposDataAccessCursor* source, uint64_t limit) {
  clear();
  const int columns = source ? source->getNumCols() : 0;
  if (columns < 1) return false;
  for (int c = 0; c < columns; ++c) names_.push_back(source->getColName(c));
  // The engine's database cursors hand their values over as they read
  // them; its other cursors lend theirs without a copy.
  auto* reader = dynamic_cast<RDA_DbCursor*>(source);
  auto* lender = reader ? nullptr : dynamic_cast<RDA_CursorBase*>(source);
  const KvbDatavar none;
  int result = 0;
  while (limit == 0 || rows_ < limit) {
    result = reader ? reader->nextInto(*this) : source->next();
    if (result != 1) break;
    for (int c = 0; !reader && c < columns; ++c) {
      if (!lender) {
        addValue(source->getValue(c));
        continue;
      }
      const KvbDatavar* lent = lender->currentValue(c);
      addValue(lent ? *lent : none);
    }
    ++rows_;
  }
  if (result == 2) {
    clear();
    return false;
  }
  return true;
}

const KvbDatavar* ReposCacheCursor::valueAt(int column) const {
  const Cell* held = cellAt(column);
  if (!held) return nullptr;
  const Cell& cell = *held;
  if (cell.other) return &others_[cell.index];
  if (cell.null) {
    current_.setNull(cell.type);
    return &current_;
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
  return &target;
}

KvbString ReposCacheCursor::getString(int column) {
  const Cell* cell = cellAt(column);
  return holds(cell, kvbTypeString)
             ? KvbString(cell->text, cell->length)
             : RDA_MemoryCursor::getString(column);
}

int ReposCacheCursor::getInt(int column) {
  const Cell* cell = cellAt(column);
  return holds(cell, kvbTypeInt) ? static_cast<int>(cell->integer)
                                 : RDA_MemoryCursor::getInt(column);
}

double ReposCacheCursor::getDouble(int column) {
  const Cell* cell = cellAt(column);
  return holds(cell, kvbTypeReal) ? cell->real
                                  : RDA_MemoryCursor::getDouble(column);
}

bool ReposCacheCursor::isNull(int column) {
  const Cell* cell = cellAt(column);
  return !cell || cell->null;
}
