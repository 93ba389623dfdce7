// Filling an in-memory copy of a cursor.
#include "rda/repos_cache_cursor.h"

bool ReposCacheCursor::fill(ReposDataAccessCursor* source, uint64_t limit) {
  names_.clear();
  values_.clear();
  position_ = 0;
  const int columns = source ? source->getNumCols() : 0;
  if (columns < 1) return false;
  for (int c = 0; c < columns; ++c) names_.push_back(source->getColName(c));
  int result = 0;
  uint64_t rows = 0;
  while ((limit == 0 || rows < limit) && (result = source->next()) == 1) {
    for (int c = 0; c < columns; ++c) values_.push_back(source->getValue(c));
    ++rows;
  }
  if (result == 2) {
    names_.clear();
    values_.clear();
    return false;
  }
  return true;
}
