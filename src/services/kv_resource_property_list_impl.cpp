// KvResourcePropertyListImpl: appending and reading name/value entries.
#include "services/kv_resource_property_list_impl.h"

#include <new>

bool KvResourcePropertyListImpl::appendProperty() {
  try {
    entries_.emplace_back(KvbString(""), KvbString(""));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void KvResourcePropertyListImpl::setLastProperty(const KvbString& name,
                                                 const KvbString& value) {
  if (entries_.empty()) return;
  entries_.back() = Entry(name, value);
}

const KvResourcePropertyListImpl::Entry& KvResourcePropertyListImpl::current()
    const {
  // Never destroyed: threads may still read lists while the process exits.
  static const Entry* const kNone = new Entry(KvbString(""), KvbString(""));
  return cursor_.onRow(entries_.size()) ? entries_[cursor_.position()]
                                        : *kNone;
}
