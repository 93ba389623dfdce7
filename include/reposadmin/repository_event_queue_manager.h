// RepositoryEventQueueManager: change events kept in the repository (table
// REVENT) for every client of it. A client adds an event naming what
// changed, how and from which source, and polls for the events since a
// time that did not come from itself; old events are removed by id or
// time. A repository hands it out (createEventQueueManager); the caller
// ends it with `delete`, before or after the repository (see
// repository.h). Hosts call its operations by position.
#ifndef REPOSADMIN_REPOSITORY_EVENT_QUEUE_MANAGER_H_
#define REPOSADMIN_REPOSITORY_EVENT_QUEUE_MANAGER_H_

#include "kvbase/kvbase.h"

class ReposDataAccessCursor;

class RepositoryEventQueueManager {
 public:
  // 0: ends the manager (there is no release()).
  virtual ~RepositoryEventQueueManager() = default;
  // 1: stores an event with a new id (into eventId), the change type's
  // text (kChangeAdded, kChangeDeleted, kChangeUpdated), the current date
  // and the operating-system user. False with errorText.
  virtual bool addEvent(const KvbString& subject, int changeType,
                        const KvbString& other, const KvbString& source,
                        int& eventId, KvbString& errorText) = 0;
  // 2: every column of the events at or after eventTime whose source is
  // not excludedSource, by time, then id; the caller releases the cursor.
  // The first argument has no effect. Null with errorText.
  virtual ReposDataAccessCursor* getEventsSince(int unused, double eventTime,
                                                const KvbString& excludedSource,
                                                KvbString& errorText) = 0;
  // 3: deletes the events with an id below eventId (when not 0) and a time
  // before eventTime (when not 0.0); both 0 is refused with errorText.
  virtual bool removeEvents(int eventId, double eventTime,
                            KvbString& errorText) = 0;
};

#endif  // REPOSADMIN_REPOSITORY_EVENT_QUEUE_MANAGER_H_
