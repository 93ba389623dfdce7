// KvResourceImpl: a lineage resource's values and its copies.
#include "services/kv_resource_impl.h"

#include <new>

#include "services/kv_resource_property_list_impl.h"

KvResourcePropertyList* KvResourceImpl::createPropertyList() {
  return new (std::nothrow) KvResourcePropertyListImpl();
}

void KvResourceImpl::copyFrom(KvResource& source) {
  id_ = source.getId();
  accessDate_ = source.getAccessDate();
  name_ = source.getName();
  identity_ = source.getIdentity();
  type_ = source.getType();
  location_ = source.getLocation();
  resolved_ = source.isResolved();
  identityMacro_ = source.hasIdentityMacro();
}
