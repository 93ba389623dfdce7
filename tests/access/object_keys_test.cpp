// Objects stay one of a kind: an update of an object that does not exist
// fails and names it, an update cannot give an object a name that its add
// refuses, neither an add nor an update stores a UUID that another object
// holds, and an add with both in use answers the name's refusal. Each
// refusal answers false with a text, logs that text once at level 5 and
// leaves every table as it was. Run on every back end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/common_rdaimpl.h"
#include "monitor/monitor_rdaimpl.h"
#include "profile/prof_rdaimpl.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

using Rows = std::vector<std::string>;

enum Kind { kRule, kMetric, kCategory, kGroup, kDimension, kThreshold, kJob };

std::string catalogue(const char* name, int id) {
  return kvb_get_message("test", 0, name, id).str();
}

class ObjectKeysTest : public RdaObjectTest<CommonRDAImpl> {
 protected:
  // Two objects of each kind, "A" (id 1, UUID "u-A") and "B" (id 2, UUID
  // "u-B"), in the root folder; folder 7 exists too.
  void SetUp() override {
    RdaObjectTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    monitor_ = new MonitorRDAImpl(rda_);
    profile_ = new ProfileRDAImpl(rda_);
    storeKeys("FOLDER", "FLDR_ID", {7});
    for (Kind kind : {kRule, kMetric, kCategory, kGroup, kDimension,
                      kThreshold, kJob})
      for (const char* name : {"A", "B"})
        ASSERT_TRUE(write(kind, 0, name, (std::string("u-") + name).c_str()))
            << kind << name;
    for (int id : {1, 2})  // an added custom metric has a UUID of its own
      ASSERT_TRUE(write(kMetric, id, id == 1 ? "A" : "B",
                        id == 1 ? "u-A" : "u-B"));
  }
  void TearDown() override {
    if (profile_) profile_->release();
    if (monitor_) monitor_->release();
    RdaObjectTest::TearDown();
  }

  // Adds (id 0) or updates object `id` of `kind`, with `name` and `uuid`
  // when the operation writes them, in folder `folder`.
  bool write(Kind kind, int id, const char* name, const char* uuid,
             int folder = 0) {
    switch (kind) {
      case kRule:
        return id ? common_->updateRule(id, name, "T", "e", "", "", "me", 1, 1,
                                        "me", uuid, folder, "", "")
                  : common_->addRule(name, "T", "e", "", "", "me", uuid,
                                     folder, "", "") > 0;
      case kMetric:
        return id ? common_->updateCustomMetric(id, name, "", "e", "", uuid)
                  : common_->addCustomMetric(name, "", "e", "") > 0;
      case kCategory:
        return id ? common_->updateGlobalCategory(id, name, "")
                  : common_->addGlobalCategory(name, "") > 0;
      case kGroup:
        return id ? monitor_->updateReportGroup(id, name, "", 1, 1, 1,
                                                KvbDate(), "me", folder)
                  : monitor_->addReportGroup(name, "", 1, 1, 1, KvbDate(),
                                             "me", uuid, folder, nullptr);
      case kDimension:
        return id ? monitor_->updateDimension(id, name, "", "me", folder)
                  : monitor_->addDimension(name, "", "me", uuid, folder,
                                           nullptr);
      case kThreshold:
        return id ? monitor_->updateThreshold(id, name, "", "me", folder, 0,
                                              nullptr, nullptr, nullptr,
                                              nullptr)
                  : monitor_->addThreshold(name, "", "me", uuid, folder, 0,
                                           nullptr, nullptr, nullptr, nullptr,
                                           nullptr);
      case kJob:
        return id ? profile_->updateProfileJob(id, name, "", KvbDate(1), "me",
                                               folder)
                  : profile_->addProfileJob(name, "", uuid, 1, 1, "me", "me",
                                            folder) > 0;
    }
    return false;
  }
  ReposDataAccessObject* owner(Kind kind) {
    if (kind == kJob) return profile_;
    if (kind >= kGroup) return monitor_;
    return common_;
  }

  // Every stored row of the objects' tables and of the id counters.
  Rows state() {
    Rows all;
    for (const char* code : {"RULE", "CUSTM", "GCATS", "RPTGRP", "DIMENS",
                             "THRHLD", "JSETUP", "UCURID"}) {
      const Rows rows = cursorRows(
          db_->paramSelect("SELECT " + db_->getColumnList(code, nullptr) +
                               " FROM " + table(code).c_str() + " ORDER BY 1",
                           0));
      all.insert(all.end(), rows.begin(), rows.end());
    }
    return all;
  }
  // Expects write() to fail with `text`: the error text of the kind's
  // object, one level-5 record equal to it, and no table changed.
  void expectRefused(Kind kind, int id, const char* name, const char* uuid,
                     const std::string& text) {
    const Rows before = state();
    bool answer = true;
    EXPECT_EQ(log_.failuresDuring([&] { answer = write(kind, id, name, uuid); },
                                  true),
              Rows{"5 " + text});
    EXPECT_FALSE(answer) << text;
    EXPECT_EQ(owner(kind)->getErrorMessage().str(), text);
    EXPECT_EQ(state(), before) << text;
  }

  CommonRDAImpl*& common_ = object_;
  MonitorRDAImpl* monitor_ = nullptr;
  ProfileRDAImpl* profile_ = nullptr;
  LogCapture log_;  // keeps the expected failures off the console
};

TEST_P(ObjectKeysTest, UpdatesOfObjectsThatDoNotExistFailNamingThem) {
  const struct {
    Kind kind;
    const char* text;
  } cases[] = {{kRule, "Rule 9 does not exist"},
               {kMetric, "Custom metric 9 does not exist"},
               {kCategory, "Global category 9 does not exist"},
               {kGroup, "Report group 9 does not exist"},
               {kDimension, "Dimension 9 does not exist"},
               {kThreshold, "Threshold 9 does not exist"}};
  for (const auto& c : cases) expectRefused(c.kind, 9, "N", "u-N", c.text);
  // A profile job that does not exist stays no failure, as its interface
  // says.
  EXPECT_TRUE(write(kJob, 9, "N", "u-N"));
}

TEST_P(ObjectKeysTest, UpdatesRefuseANameThatTheirAddRefuses) {
  const auto taken = [](const char* kind, const char* catalogueName, int id) {
    return "Cannot give " + std::string(kind) + " 2 the name \"A\": " +
           catalogue(catalogueName, id);
  };
  const struct {
    Kind kind;
    std::string text;  // of the rename of B (2) to "A"
  } cases[] = {
      {kRule, taken("rule", "Monitor Admin", 1385)},
      {kMetric, taken("custom metric", "Monitor Admin", 1356)},
      {kCategory, "Cannot give global category 2 the name \"A\": Another "
                  "global category has this name."},
      {kGroup, taken("report group", "Monitor Repository", 1211)},
      {kDimension, taken("dimension", "Monitor Repository", 1211)},
      {kThreshold, taken("threshold", "Monitor Repository", 1211)},
      {kJob, "Cannot give profile job 2 the name \"A\": The folder holds a "
             "profile job of this name already."},
  };
  for (const auto& c : cases) {
    expectRefused(c.kind, 2, "A", "u-B", c.text);
    // Its own name is no conflict. Every add tells names apart by case, so
    // a name that differs from another by case alone is free.
    EXPECT_TRUE(write(c.kind, 1, "A", "u-A")) << c.text;
    EXPECT_TRUE(write(c.kind, 2, "a", "u-B")) << c.text;
  }
  // A profile job's name is its own within its folder, as its add says.
  EXPECT_TRUE(write(kJob, 2, "A", "", 7));
  EXPECT_FALSE(write(kJob, 2, "A", "", 0));
}

TEST_P(ObjectKeysTest, NoAddOrUpdateStoresAUuidThatAnotherObjectHolds) {
  const std::string inUse = ": " + catalogue("Monitor Repository", 1085);
  const auto added = [&](const char* kind) {
    return "Cannot add the " + std::string(kind) + " \"C\" with UUID \"u-A\"" +
           inUse;
  };
  const struct {
    Kind kind;
    int id;  // 0: the add of "C"; else the update of B
    std::string text;
  } cases[] = {
      {kRule, 0, added("rule")},
      {kGroup, 0, added("report group")},
      {kDimension, 0, added("dimension")},
      {kThreshold, 0, added("threshold")},
      {kJob, 0, added("profile job")},
      {kRule, 2, "Cannot give rule 2 the UUID \"u-A\"" + inUse},
      {kMetric, 2, "Cannot give custom metric 2 the UUID \"u-A\"" + inUse},
  };
  for (const auto& c : cases) {
    const char* name = c.id ? "B" : "C";
    expectRefused(c.kind, c.id, name, "u-A", c.text);
    // No UUID is no key: two objects may both be without one.
    EXPECT_TRUE(write(c.kind, c.id, name, "")) << c.text;
    EXPECT_TRUE(write(c.kind, c.id, c.id ? "B" : "D", "")) << c.text;
  }
}

// An add whose name and UUID are both held, by two other objects of its
// kind, answers the name's refusal: the name is looked for first.
TEST_P(ObjectKeysTest, AnAddWhoseNameAndUuidAreInUseAnswersTheName) {
  const auto taken = [](const char* kind, const char* catalogueName, int id) {
    return "Cannot add the " + std::string(kind) +
           " \"A\": " + catalogue(catalogueName, id);
  };
  const struct {
    Kind kind;
    std::string text;  // of the add of "A" with B's UUID
  } cases[] = {
      {kRule, taken("rule", "Monitor Admin", 1385)},
      {kGroup, taken("report group", "Monitor Repository", 1211)},
      {kDimension, taken("dimension", "Monitor Repository", 1211)},
      {kThreshold, taken("threshold", "Monitor Repository", 1211)},
      {kJob, "Cannot add the profile job \"A\": The folder holds a profile "
             "job of this name already."},
  };
  for (const auto& c : cases) expectRefused(c.kind, 0, "A", "u-B", c.text);
}

INSTANTIATE_RDA_TARGETS(ObjectKeysTest);

}  // namespace
