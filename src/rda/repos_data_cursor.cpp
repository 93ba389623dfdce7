// Building and walking a cursor filled by code.
#include "rda/repos_data_cursor.h"

#include <utility>

ReposDataCursor::~ReposDataCursor() {
  const size_t bytes = rows_.size() * names_.size() * sizeof(KvbDatavar);
  std::deque<std::vector<KvbDatavar>>().swap(rows_);
  if (bytes >= kTrimAfterBytes) rdaTrimHeap();
}

bool ReposDataCursor::setColumnCount(int n) {
  if (n < 1) return false;
  names_.assign(n, KvbString(""));
  rows_.clear();
  position_ = 0;
  return true;
}

void ReposDataCursor::setColumnName(int column, const KvbString& name) {
  if (inRange(column)) names_[column] = name;
}

std::vector<KvbDatavar>& ReposDataCursor::addRow() {
  rows_.emplace_back(names_.size());
  position_ = rows_.size();
  return rows_.back();
}

void ReposDataCursor::setValue(int column, const KvbDatavar& value) {
  if (position_ > 0 && inRange(column)) rows_[position_ - 1][column] = value;
}
