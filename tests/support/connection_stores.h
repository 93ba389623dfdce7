// The data-access objects of one connection, for tests that make two
// connections write against each other.
#ifndef TESTS_SUPPORT_CONNECTION_STORES_H_
#define TESTS_SUPPORT_CONNECTION_STORES_H_

#include <string>

#include "access/common_rdaimpl.h"
#include "access/meta_rdaimpl.h"
#include "monitor/monitor_rdaimpl.h"
#include "profile/prof_rdaimpl.h"

// The stores of one connection. A transaction that a host begins through
// one of them holds the others' writes too; releasing that one rolls it
// back, so they live until it ends.
struct Stores {
  explicit Stores(ReposDataAccess* connection)
      : rda(connection),
        common(new CommonRDAImpl(connection)),
        monitor(new MonitorRDAImpl(connection)),
        profile(new ProfileRDAImpl(connection)),
        meta(new MetadataRDAImpl(connection)) {}
  ~Stores() {
    common->release();
    monitor->release();
    profile->release();
    meta->release();
  }
  Stores(const Stores&) = delete;
  Stores& operator=(const Stores&) = delete;

  // The connection's text of its last failure.
  std::string why() const { return rda->getErrorMessage().str(); }

  ReposDataAccess* rda;
  CommonRDAImpl* common;
  MonitorRDAImpl* monitor;
  ProfileRDAImpl* profile;
  MetadataRDAImpl* meta;
};

#endif  // TESTS_SUPPORT_CONNECTION_STORES_H_
