// KvResourcePropertyListImpl: name/value properties of a resource, in the
// order they were appended.
#ifndef SERVICES_KV_RESOURCE_PROPERTY_LIST_IMPL_H_
#define SERVICES_KV_RESOURCE_PROPERTY_LIST_IMPL_H_

#include <utility>
#include <vector>

#include "reposadmin/kv_resource.h"
#include "services/list_cursor.h"

class KvResourcePropertyListImpl : public KvResourcePropertyList {
 public:
  bool next() override { return cursor_.next(entries_.size()); }
  KvbString getName() override { return current().first; }
  KvbString getValue() override { return current().second; }
  void release() override { delete this; }
  bool appendProperty() override;
  void setLastProperty(const KvbString& name, const KvbString& value) override;

 private:
  typedef std::pair<KvbString, KvbString> Entry;
  const Entry& current() const;

  std::vector<Entry> entries_;
  ListCursor cursor_;
};

#endif  // SERVICES_KV_RESOURCE_PROPERTY_LIST_IMPL_H_
