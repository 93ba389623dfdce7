// StatusRelay: the status callback of a repository as its own work sees it.
// It passes every report on to the host's callback. While an operation that
// the host may stop is watched (a creation, an upgrade, the move of an old
// profile repository), it keeps the step that the host answered false, so
// that the operation, which ends at that step, can say where it was stopped.
#ifndef ADMIN_STATUS_RELAY_H_
#define ADMIN_STATUS_RELAY_H_

#include "reposadmin/repository_status_callback.h"

class StatusRelay : public RepositoryStatusCallback {
 public:
  // `host` must outlive the relay's use.
  void setHost(RepositoryStatusCallback* host) { host_ = host; }

  bool reportStatus(const KvbString& text) override;
  void reportMessage(const KvbString& text) override;

  // The step at which the host stopped the watched operation; null while it
  // has not, and outside a watched operation.
  const KvbString& stoppedAt() const { return stoppedAt_; }
  bool stopped() const { return !stoppedAt_.isNull(); }
  // Whether the host is itself the relay of a watched operation, which then
  // runs this one and reports the stop itself.
  bool insideWatchedOperation() const;

  // Watches an operation while it lives. Watches nest: the outermost one
  // starts with no stop kept and forgets the stop when it ends.
  class Watch {
   public:
    explicit Watch(StatusRelay& relay);
    ~Watch();
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

   private:
    StatusRelay& relay_;
  };

 private:
  RepositoryStatusCallback* host_ = nullptr;
  int watches_ = 0;
  KvbString stoppedAt_;
};

#endif  // ADMIN_STATUS_RELAY_H_
