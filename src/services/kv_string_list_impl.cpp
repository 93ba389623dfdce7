// KvStringListImpl: appending rows of texts and reading them back.
#include "services/kv_string_list_impl.h"

#include <new>

KvbString KvStringListImpl::getStringAt(int index) {
  if (!cursor_.onRow(rows_.size()) || !inRow(index)) return "";
  return rows_[cursor_.position()][index];
}

bool KvStringListImpl::appendRow() {
  try {
    rows_.emplace_back(static_cast<size_t>(width_), KvbString(""));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void KvStringListImpl::setLastString(int index, const KvbString& value) {
  if (rows_.empty() || !inRow(index)) return;
  rows_.back()[index] = value;
}
