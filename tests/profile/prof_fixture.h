// The fixture of the profile data-access tests: a profile object on a
// repository with the core tables on every back end, and helpers that read
// a table's stored rows and write a field's metric values directly.
#ifndef TESTS_PROFILE_PROF_FIXTURE_H_
#define TESTS_PROFILE_PROF_FIXTURE_H_

#include <string>
#include <vector>

#include "profile/prof_rdaimpl.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

using Rows = std::vector<std::string>;

class ProfileRdaTest : public RdaObjectTest<ProfileRDAImpl> {
 protected:
  ProfileRDAImpl*& profile_ = object_;

  // Every stored row of a table, all columns in definition order, ordered
  // by `order`.
  Rows stored(const char* code, const std::string& order) {
    const KvbString sql = "SELECT " + db_->getColumnList(code, nullptr) +
                          " FROM " + table(code) + " ORDER BY " + order;
    ReposDataAccessCursor* cursor = db_->paramSelect(sql, 0);
    EXPECT_NE(cursor, nullptr) << db_->getErrorMessage().asCstr();
    return rows(cursor);
  }
  // Writes the first metric values of a field row, MET_0 onwards.
  void setMetrics(int fieldId, const std::vector<std::string>& metrics) {
    std::string sql = "UPDATE " + table("FLD") + " SET ";
    std::vector<KvbDatavar> values;
    for (size_t i = 0; i < metrics.size(); ++i) {
      sql += (i ? ", MET_" : "MET_") + std::to_string(i) + "=?";
      values.push_back(KvbString(metrics[i]));
    }
    values.push_back(fieldId);
    exec(sql + " WHERE FLD_ID=?", values);
  }
  // The key an add hands back through its out-parameter; -1 when it fails.
  template <typename Add>
  int keyOf(Add add) {
    int key = -1;
    EXPECT_TRUE(add(&key)) << profile_->getErrorMessage().asCstr();
    return key;
  }

  LogCapture log_;  // keeps the expected failures off the console
};

#endif  // TESTS_PROFILE_PROF_FIXTURE_H_
