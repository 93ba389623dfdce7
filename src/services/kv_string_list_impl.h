// KvStringListImpl: rows of row-width texts in insertion order, such as the
// list of stored resource types.
#ifndef SERVICES_KV_STRING_LIST_IMPL_H_
#define SERVICES_KV_STRING_LIST_IMPL_H_

#include <vector>

#include "reposadmin/kv_resource.h"
#include "services/list_cursor.h"

class KvStringListImpl : public KvStringList {
 public:
  explicit KvStringListImpl(int width = 1) : width_(width < 1 ? 1 : width) {}

  bool next() override { return cursor_.next(rows_.size()); }
  int getWidth() override { return width_; }
  KvbString getString() override { return getStringAt(0); }
  KvbString getStringAt(int index) override;
  void release() override { delete this; }
  int getCount() override { return static_cast<int>(rows_.size()); }

  // Appends a row of empty texts; false when out of memory.
  bool appendRow();
  // Sets a text of the last row; nothing for an empty list or an index
  // outside the row.
  void setLastString(int index, const KvbString& value);

 private:
  bool inRow(int index) const { return index >= 0 && index < width_; }

  int width_;
  std::vector<std::vector<KvbString>> rows_;
  ListCursor cursor_;
};

#endif  // SERVICES_KV_STRING_LIST_IMPL_H_
