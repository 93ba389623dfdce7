// HeldRepository: holding the repository that made a manager, through the
// HoldableRepository side of the engine's repositories.
#include "access/held_repository.h"

#include "reposadmin/repository.h"

// The new repository is held before the old one is let go: they may be the
// same, and letting go may end its last hold.
void HeldRepository::reset(Repository* repository) {
  HoldableRepository* next = dynamic_cast<HoldableRepository*>(repository);
  if (next) next->hold();
  if (held_) held_->letGo();
  held_ = next;
  repository_ = repository;
}

ReposDataAccess* repositoryConnection(Repository* repository) {
  auto* holdable = dynamic_cast<HoldableRepository*>(repository);
  return holdable ? holdable->getDataAccess() : nullptr;
}
