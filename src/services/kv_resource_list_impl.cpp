// KvResourceListImpl: rows of resources, their copies and the identity test
// that keeps one resource per identity in a dependency list.
#include "services/kv_resource_list_impl.h"

#include <new>

KvResource* KvResourceListImpl::getResource() {
  if (!cursor_.onRow(rows_.size())) return nullptr;
  return &rows_[cursor_.position()].front();
}

bool KvResourceListImpl::appendResource() {
  try {
    rows_.emplace_back(static_cast<size_t>(width_));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// The index is accepted for wider rows; the copy goes to the row's first
// resource, the one that every reader takes.
void KvResourceListImpl::setLastResource(int, KvResource* source) {
  if (rows_.empty() || !source) return;
  rows_.back().front().copyFrom(*source);
}

bool KvResourceListImpl::contains(KvResource* resource) {
  if (!resource) return false;
  const KvbString identity = resource->getIdentity();
  cursor_.reset();
  while (next()) {
    if (getResource()->getIdentity().equals(identity, true)) return true;
  }
  return false;
}

bool KvResourceListImpl::appendCopy(KvResource& resource) {
  if (!appendResource()) return false;
  setLastResource(0, &resource);
  return true;
}
