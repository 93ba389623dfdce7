// kvsingletons: the process-wide connection services: ConnCacheSingleton
// opens new connections by connection string, ConnShareSingleton shares
// pooled connections by pool id.
#ifndef KVSINGLETONS_KVSINGLETONS_H_
#define KVSINGLETONS_KVSINGLETONS_H_

#include <map>
#include <utility>

#include "kvbase/kvbase.h"
#include "kvdataaccess/kvdataaccess.h"

// Opens connections. Thread-safe.
class ConnCacheSingleton : public KvbAutoSingleton {
 public:
  static ConnCacheSingleton* getInstance();

  // A new connection owned by the caller, who ends it with its release().
  // Null on failure, with the reason in *errorText (when given) and in
  // getErrorMessage().
  DacConnection* connect(const KvbString& connectionString,
                         KvbString* errorText);
  // The text of the last failed connect on any thread.
  KvbString getErrorMessage();

 private:
  ConnCacheSingleton() = default;
  ~ConnCacheSingleton() = default;

  KvbString error_;
};

// Shares one connection among all holders of the same pool id and
// connection string. Holders must not use a shared connection at the same
// time. Thread-safe.
class ConnShareSingleton : public KvbAutoSingleton {
 public:
  static ConnShareSingleton* getInstance();

  // The pool's connection for (poolId, connectionString), opened at the
  // first acquire; each acquire counts one more holder. Null on failure,
  // with the reason in *errorText (when given) and in getErrorMessage().
  DacConnection* acquire(const KvbString& poolId,
                         const KvbString& connectionString,
                         KvbString* errorText);
  // Gives back a connection from acquire; the last holder's release closes
  // it. False for a connection that the pool did not hand out (or that all
  // its holders gave back already).
  bool release(DacConnection* connection);
  // The text of the last failure on any thread.
  KvbString getErrorMessage();

 private:
  struct Entry {
    DacConnection* connection;
    int holders;
  };

  ConnShareSingleton() = default;
  ~ConnShareSingleton() = default;

  std::map<std::pair<KvbString, KvbString>, Entry> pool_;
  KvbString error_;
};

#endif  // KVSINGLETONS_KVSINGLETONS_H_
