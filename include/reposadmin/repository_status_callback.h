// RepositoryStatusCallback: the host's sink for status texts of long
// operations (create, upgrade, copy, drop).
#ifndef REPOSADMIN_REPOSITORY_STATUS_CALLBACK_H_
#define REPOSADMIN_REPOSITORY_STATUS_CALLBACK_H_

#include "kvbase/kvbase.h"

class RepositoryStatusCallback {
 public:
  // One progress step; answer false to ask the running operation to stop.
  virtual bool reportStatus(const KvbString& text) = 0;
  // An informational line: statement texts, error texts, row counts.
  virtual void reportMessage(const KvbString& text) = 0;

 protected:
  virtual ~RepositoryStatusCallback() = default;
};

#endif  // REPOSADMIN_REPOSITORY_STATUS_CALLBACK_H_
