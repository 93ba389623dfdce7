// KvResourceImpl: one lineage resource as impact analysis hands it out: the
// values of its stored row, the location and resolution that the host's
// resolver gave, and whether its stored identity holds a macro.
#ifndef SERVICES_KV_RESOURCE_IMPL_H_
#define SERVICES_KV_RESOURCE_IMPL_H_

#include <utility>

#include "reposadmin/kv_resource.h"

class KvResourceImpl : public KvResource {
 public:
  void release() override { delete this; }
  KvbString getId() override { return id_; }
  KvbString getName() override { return name_; }
  KvbString getType() override { return type_; }
  KvbString getIdentity() override { return identity_; }
  int getNumericValue() override { return 0; }
  KvResourcePropertyList* createPropertyList() override;
  KvbDate getAccessDate() override { return accessDate_; }
  KvbString getLocation() override { return location_; }
  bool isResolved() override { return resolved_; }
  bool hasIdentityMacro() override { return identityMacro_; }

  void setId(KvbString id) { id_ = std::move(id); }
  void setName(KvbString name) { name_ = std::move(name); }
  void setIdentity(KvbString identity) { identity_ = std::move(identity); }
  void setType(KvbString type) { type_ = std::move(type); }
  void setAccessDate(const KvbDate& date) { accessDate_ = date; }
  void setLocation(KvbString location) { location_ = std::move(location); }
  void setResolved(bool resolved) { resolved_ = resolved; }
  void setIdentityMacro(bool macro) { identityMacro_ = macro; }
  // Takes every value of `source` through its interface.
  void copyFrom(KvResource& source);

 private:
  KvbString type_;
  KvbString identity_;
  KvbString location_;
  KvbString name_;
  KvbString id_;
  KvbDate accessDate_;
  bool resolved_ = true;
  bool identityMacro_ = false;
};

#endif  // SERVICES_KV_RESOURCE_IMPL_H_
