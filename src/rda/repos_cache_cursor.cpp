// Filling an in-memory copy of a cursor.
#include "rda/repos_cache_cursor.h"

bool ReposCacheCursor::fill(ReposDataAccessCursor* source, uint64_t limit) {
  names_.clear();
  rows_.clear();
  position_ = 0;
  const int columns = source ? source->getNumCols() : 0;
  if (columns < 1) return false;
  for (int c = 0; c < columns; ++c) names_.push_back(source->getColName(c));
  int result = 0;
  while ((limit == 0 || rows_.size() < limit) &&
         (result = source->next()) == 1) {
    std::vector<KvbDatavar> row;
    row.reserve(columns);
    for (int c = 0; c < columns; ++c) row.push_back(source->getValue(c));
    rows_.push_back(std::move(row));
  }
  if (result == 2) {
    names_.clear();
    rows_.clear();
    return false;
  }
  return true;
}
