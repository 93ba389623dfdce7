// Filling an in-memory copy of a cursor and reading its values back.
#include "rda/repos_cache_cursor.h"

void ReposCacheCursor::clear() {
  names_.clear();
  rows_.reset(0);
  position_ = 0;
}

bool ReposCacheCursor::fill(ReposDataAccessCursor* source, uint64_t limit) {
  clear();
  const int columns = source ? source->getNumCols() : 0;
  if (columns < 1) return false;
  for (int c = 0; c < columns; ++c) names_.push_back(source->getColName(c));
  rows_.reset(names_.size());
  // The engine's database cursors hand their values over as they read
  // them; its other cursors lend theirs without a copy.
  auto* reader = dynamic_cast<RDA_DbCursor*>(source);
  auto* lender = reader ? nullptr : dynamic_cast<RDA_CursorBase*>(source);
  const KvbDatavar none;
  int result = 0;
  while (limit == 0 || rows_.rowCount() < limit) {
    result = reader ? reader->nextInto(rows_) : source->next();
    if (result != 1) break;
    if (reader) continue;
    for (int c = 0; c < columns; ++c) {
      if (!lender) {
        rows_.addValue(source->getValue(c));
        continue;
      }
      const KvbDatavar* lent = lender->currentValue(c);
      rows_.addValue(lent ? *lent : none);
    }
  }
  if (result == 2) {
    clear();
    return false;
  }
  return true;
}

const KvbDatavar* ReposCacheCursor::valueAt(int column) const {
  const Cell* cell = cellAt(column);
  return cell ? &rows_.value(*cell) : nullptr;
}

KvbString ReposCacheCursor::getString(int column) {
  const Cell* cell = cellAt(column);
  return cell ? rows_.getString(*cell) : KvbString("");
}

int ReposCacheCursor::getInt(int column) {
  const Cell* cell = cellAt(column);
  return cell ? rows_.getInt(*cell) : 0;
}

double ReposCacheCursor::getDouble(int column) {
  const Cell* cell = cellAt(column);
  return cell ? rows_.getDouble(*cell) : 0.0;
}

bool ReposCacheCursor::isNull(int column) {
  const Cell* cell = cellAt(column);
  return !cell || cell->null;
}
