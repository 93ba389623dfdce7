// kvsingletons: the connection services ConnCacheSingleton and
// ConnShareSingleton over kvdataaccess.
#include "kvsingletons/kvsingletons.h"

namespace {

// Holds a singleton's lock for one scope.
class SingletonLock {
 public:
  explicit SingletonLock(KvbAutoSingleton* singleton) : singleton_(singleton) {
    singleton_->lock();
  }
  ~SingletonLock() { singleton_->unlock(); }
  SingletonLock(const SingletonLock&) = delete;
  SingletonLock& operator=(const SingletonLock&) = delete;

 private:
  KvbAutoSingleton* singleton_;
};

}  // namespace

// The singletons are never destroyed: threads may still connect and use
// their connections while the process exits.
ConnCacheSingleton* ConnCacheSingleton::getInstance() {
  static ConnCacheSingleton* const instance = new ConnCacheSingleton;
  return instance;
}

DacConnection* ConnCacheSingleton::connect(const KvbString& connectionString,
                                           KvbString* errorText) {
  KvbString error;
  DacConnection* connection = dacCreateDataSource(connectionString, &error);
  if (!connection) {
    if (errorText) *errorText = error;
    SingletonLock hold(this);
    error_ = error;
  }
  return connection;
}

KvbString ConnCacheSingleton::getErrorMessage() {
  SingletonLock hold(this);
  return error_;
}

ConnShareSingleton* ConnShareSingleton::getInstance() {
  static ConnShareSingleton* const instance = new ConnShareSingleton;
  return instance;
}

DacConnection* ConnShareSingleton::acquire(const KvbString& poolId,
                                           const KvbString& connectionString,
                                           KvbString* errorText) {
  SingletonLock hold(this);
  const auto key = std::make_pair(poolId, connectionString);
  auto found = pool_.find(key);
  if (found != pool_.end()) {
    ++found->second.holders;
    return found->second.connection;
  }
  KvbString error;
  DacConnection* connection = dacCreateDataSource(connectionString, &error);
  if (!connection) {
    if (errorText) *errorText = error;
    error_ = error;
    return nullptr;
  }
  pool_.emplace(key, Entry{connection, 1});
  return connection;
}

bool ConnShareSingleton::release(DacConnection* connection) {
  SingletonLock hold(this);
  for (auto item = pool_.begin(); item != pool_.end(); ++item) {
    if (item->second.connection != connection) continue;
    if (--item->second.holders == 0) {
      connection->release();
      pool_.erase(item);
    }
    return true;
  }
  error_ = "the connection was not handed out by the connection pool";
  return false;
}

KvbString ConnShareSingleton::getErrorMessage() {
  SingletonLock hold(this);
  return error_;
}
