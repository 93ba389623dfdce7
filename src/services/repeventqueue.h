// RepositoryEventQueueManagerImpl: the repository event queue, a logging
// layer over the event operations of the metadata data access.
#ifndef SERVICES_REPEVENTQUEUE_H_
#define SERVICES_REPEVENTQUEUE_H_

#include "access/held_repository.h"
#include "reposadmin/repository_event_queue_manager.h"

class KvLogger;
class MetadataRepositoryDataAccess;
class Repository;

class RepositoryEventQueueManagerImpl : public RepositoryEventQueueManager {
 public:
  // Keeps `repository` (not owned) and a metadata data-access object of it.
  explicit RepositoryEventQueueManagerImpl(Repository* repository);
  ~RepositoryEventQueueManagerImpl() override;
  RepositoryEventQueueManagerImpl(const RepositoryEventQueueManagerImpl&) =
      delete;
  RepositoryEventQueueManagerImpl& operator=(
      const RepositoryEventQueueManagerImpl&) = delete;

  bool addEvent(const KvbString& subject, int changeType,
                const KvbString& other, const KvbString& source, int& eventId,
                KvbString& errorText) override;
  ReposDataAccessCursor* getEventsSince(int unused, double eventTime,
                                        const KvbString& excludedSource,
                                        KvbString& errorText) override;
  bool removeEvents(int eventId, double eventTime,
                    KvbString& errorText) override;

 private:
  HeldRepository repository_;
  KvLogger* logger_;
  MetadataRepositoryDataAccess* meta_;
};

#endif  // SERVICES_REPEVENTQUEUE_H_
