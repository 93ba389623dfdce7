// StatusRelay: a repository's status callback that keeps the host's stop.
#include "admin/status_relay.h"

bool StatusRelay::reportStatus(const KvbString& text) {
  if (host_->reportStatus(text)) return true;
  // Outside a watched operation the answer is the caller's alone to act on.
  if (watches_ > 0) stoppedAt_ = text;
  return false;
}

void StatusRelay::reportMessage(const KvbString& text) {
  host_->reportMessage(text);
}

bool StatusRelay::insideWatchedOperation() const {
  const auto* outer = dynamic_cast<const StatusRelay*>(host_);
  return outer && outer->watches_ > 0;
}

StatusRelay::Watch::Watch(StatusRelay& relay) : relay_(relay) {
  if (relay_.watches_++ == 0) relay_.stoppedAt_.setNull();
}

StatusRelay::Watch::~Watch() {
  if (--relay_.watches_ == 0) relay_.stoppedAt_.setNull();
}
