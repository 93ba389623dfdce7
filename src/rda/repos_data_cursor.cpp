// Building and walking a cursor filled by code.
#include "rda/repos_data_cursor.h"

bool ReposDataCursor::setColumnCount(int n) {
  if (n < 1) return false;
  names_.assign(n, KvbString(""));
  values_.clear();
  position_ = 0;
  return true;
}

void ReposDataCursor::setColumnName(int column, const KvbString& name) {
  if (inRange(column)) names_[column] = name;
}

void ReposDataCursor::addRow() {
  values_.resize(values_.size() + names_.size());
  position_ = rowCount();
}

void ReposDataCursor::setValue(int column, const KvbDatavar& value) {
  if (position_ > 0 && inRange(column))
    values_[(position_ - 1) * names_.size() + column] = value;
}
