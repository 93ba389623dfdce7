// A created repository on every back end for the tests of the folder
// manager, the event queue and impact analysis, with texts of the lineage
// results that one EXPECT_EQ can compare.
#ifndef TESTS_SERVICES_SERVICES_TARGETS_H_
#define TESTS_SERVICES_SERVICES_TARGETS_H_

#include <string>
#include <vector>

#include "reposadmin/kv_resource.h"
#include "support/log_capture.h"
#include "support/repos_impl_targets.h"

class ServicesTest : public ReposImplTest {
 protected:
  void SetUp() override {
    ReposImplTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    repos_ = open();
    ASSERT_NE(repos_, nullptr);
    ASSERT_TRUE(create(repos_));
  }

  RepositoryImpl* repos_ = nullptr;
  LogCapture log_;  // keeps the expected failures off the console
};

// "type|name" of each resource of a list, in list order; the list is
// released.
inline std::vector<std::string> named(KvResourceList* list) {
  std::vector<std::string> out;
  if (!list) return {"(null list)"};
  list->reset();
  while (list->next())
    out.push_back(list->getResource()->getType().str() + "|" +
                  list->getResource()->getName().str());
  list->release();
  return out;
}

#define INSTANTIATE_SERVICES_TARGETS(suite) INSTANTIATE_REPOS_TARGETS(suite)

#endif  // TESTS_SERVICES_SERVICES_TARGETS_H_
