// RepositoryEventQueueManagerImpl: adds, polls and removes repository
// events through the metadata data access and logs each failure's text.
#include "services/repeventqueue.h"

#include "access/base_rdaimpl.h"
#include "kvsync/kvnocancellation.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repository.h"
#include "schema/log_printf.h"

namespace {
// The queue shares the source name of the folder manager in log records.
const char kSourceFile[] = "repfldrmgrimpl";
const char kLoggerName[] = "KV.Repos.ReposAdmin.ReposEventQueue";

// The failure of every call of a queue without a metadata data access (no
// repository was given, or none could be made): its text, logged.
void noAccess(KvLogger* logger, KvbString& errorText, int line) {
  errorText = "No metadata data access object could be made";
  logPrintf(logger, kLogError, kSourceFile, line, "%S", errorText);
}
}  // namespace

RepositoryEventQueueManagerImpl::RepositoryEventQueueManagerImpl(
    Repository* repository)
    : repository_(repository),
      logger_(kvlogGetLogger(kLoggerName)),
      meta_(repository ? quietly(repository->createMetadataDataAccess())
                       : nullptr) {}

RepositoryEventQueueManagerImpl::~RepositoryEventQueueManagerImpl() {
  if (meta_) meta_->release();
}

bool RepositoryEventQueueManagerImpl::addEvent(
    const KvbString& subject, int changeType, const KvbString& other,
    const KvbString& source, int& eventId, KvbString& errorText) {
  KvNoCancellation noCancellation;
  if (!meta_) {
    noAccess(logger_, errorText, __LINE__);
    return false;
  }
  if (!meta_->createRepositoryEvent(subject, changeType, other, source, eventId,
                                    errorText)) {
    logPrintf(logger_, kLogError, kSourceFile, __LINE__, "%S", errorText);
    return false;
  }
  logPrintf(logger_, kLogProgress, kSourceFile, __LINE__,
            "Added EventId=%d to repository event queue", eventId);
  return true;
}

ReposDataAccessCursor* RepositoryEventQueueManagerImpl::getEventsSince(
    int unused, double eventTime, const KvbString& excludedSource,
    KvbString& errorText) {
  KvNoCancellation noCancellation;
  if (!meta_) {
    noAccess(logger_, errorText, __LINE__);
    return nullptr;
  }
  ReposDataAccessCursor* cursor = meta_->getRepositoryEventsSince(
      unused, eventTime, excludedSource, errorText);
  if (!cursor)
    logPrintf(logger_, kLogError, kSourceFile, __LINE__, "%S", errorText);
  return cursor;
}

bool RepositoryEventQueueManagerImpl::removeEvents(int eventId,
                                                   double eventTime,
                                                   KvbString& errorText) {
  KvNoCancellation noCancellation;
  if (!meta_) {
    noAccess(logger_, errorText, __LINE__);
    return false;
  }
  if (meta_->removeRepositoryEvents(eventId, eventTime, errorText)) return true;
  logPrintf(logger_, kLogError, kSourceFile, __LINE__, "%S", errorText);
  return false;
}
