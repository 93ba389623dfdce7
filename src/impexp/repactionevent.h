// RepositoryActionEventStringImpl: the import log. It collects the action
// events of an import as lines "(source) Level: message", or
// "Level: message" for an event without a source.
#ifndef IMPEXP_REPACTIONEVENT_H_
#define IMPEXP_REPACTIONEVENT_H_

#include "kvreposres/kvserialization.h"

class RepositoryActionEventStringImpl : public RepositoryActionEvent {
 public:
  // Appends one line, after a line break when the log is not empty.
  bool onActionEvent(int level, const KvbString& source,
                     const KvbString& message) override;
  void release() override { delete this; }
  KvbString getText() const { return text_; }

 private:
  KvbString text_{""};
};

#endif  // IMPEXP_REPACTIONEVENT_H_
