// KvResourceListImpl: a list of lineage resources in insertion order, each
// row holding row-width resources that the list owns.
#ifndef SERVICES_KV_RESOURCE_LIST_IMPL_H_
#define SERVICES_KV_RESOURCE_LIST_IMPL_H_

#include <vector>

#include "services/kv_resource_impl.h"
#include "services/list_cursor.h"

class KvResourceListImpl : public KvResourceList {
 public:
  explicit KvResourceListImpl(int width = 1) : width_(width < 1 ? 1 : width) {}

  bool next() override { return cursor_.next(rows_.size()); }
  KvResource* getResource() override;
  void release() override { delete this; }
  bool appendResource() override;
  void setLastResource(int index, KvResource* source) override;
  bool contains(KvResource* resource) override;
  bool reset() override {
    cursor_.reset();
    return true;
  }

  // Appends a copy of `resource`; false when out of memory.
  bool appendCopy(KvResource& resource);
  size_t size() const { return rows_.size(); }

 private:
  int width_;
  std::vector<std::vector<KvResourceImpl>> rows_;
  ListCursor cursor_;
};

#endif  // SERVICES_KV_RESOURCE_LIST_IMPL_H_
