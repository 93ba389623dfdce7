// FieldMappingAdminImpl: binding the field-mapping administration object to
// a repository and ending it.
#include "admin/field_mapping_admin.h"

#include "kvlogging/kvlogging.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/repository.h"

FieldMappingAdminImpl::~FieldMappingAdminImpl() { releaseCommon(); }

bool FieldMappingAdminImpl::init(int, Repository* repository) {
  releaseCommon();
  repository_.reset(repository);
  logger_ = kvlogGetLogger("KV.Repos.ReposAdmin");
  if (!repository_) return false;
  common_ = repository_->createCommonDataAccess();
  return common_ != nullptr;
}

void FieldMappingAdminImpl::release() { delete this; }

void FieldMappingAdminImpl::releaseCommon() {
  if (common_) common_->release();
  common_ = nullptr;
}
