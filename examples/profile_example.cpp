// Example: the profile store. Creates a repository with a profile job, a
// report of it, one run of the report over one table, and the results of
// two fields, then reads the runs and the field results back.
#include <cstdio>
#include <string>

#include "example_support.h"
#include "reposadmin/profile_data_access.h"

using namespace example;

int main(int argc, char** argv) {
  Workspace work(argc, argv, "profile_example");
  auto profile = work.make(&Repository::createProfileDataAccess);
  ProfileRepositoryDataAccess* store = profile.get();

  // Dates are days since 1970-01-01 (UTC), the time of day as a fraction.
  const double today = KvbDate::currentDate().asDouble();
  const int job = store->addProfileJob("Customers", "Profile of CUSTOMER",
                                       "job-customers", today, today,
                                       "example", "example", 0);
  check(job > 0, "cannot add the profile job", store);

  // A report of the job in the root folder, and a run of it.
  int report = -1, run = -1;
  check(store->addReport(job, 0, "Customers report", today, "example", &report),
        "cannot add the report", store);
  check(store->addReportRun("First run", today, report, &run),
        "cannot add the run", store);

  // What the run profiled: a data source ("N": a database), one table of
  // it, and two fields of the table with their results. A field's type is
  // one character ("S" text, "I" integer, "R" real, "D" date, "B"
  // boolean). Metric 0 here holds the number of null values.
  int dsn = -1, table = -1;
  check(store->addRunDsn(run, "sales", "DSN=sales", "N", &dsn),
        "cannot add the data source", store);
  check(store->addRunTable(dsn, "", "crm", "CUSTOMER", "", "", "", 0, &table),
        "cannot add the table", store);
  check(store->setTableRowCounts(table, 1000, 1000),
        "cannot store the row counts", store);
  const struct {
    const char* name;
    const char* type;
    int nulls;
  } fields[] = {{"NAME", "S", 0}, {"POSTCODE", "S", 17}};
  for (const auto& field : fields) {
    int id = -1;
    check(store->addRunField(dsn, table, field.name, field.type, &id),
          "cannot add a field", store);
    check(store->setFieldMetric(id, 0, field.nulls),
          "cannot store a field's metric", store);
  }

  expectEqual(rowsOf(store->listReportRuns(report, -1), store,
                     {"JOB_ID", "JOB_DESC"}),
              std::to_string(run) + "|First run\n", "the report's runs");
  // The fields of the run with their first metric, ordered by name.
  const std::string results =
      rowsOf(store->listRunFields(run, -1, -1, 1), store,
             {"FLD_NAME", "FLD_TYPE", "MET_0"});
  expectEqual(results, "NAME|S|0\nPOSTCODE|S|17\n",
              "the run's field results");
  std::printf("run %d of report %d, fields (name|type|nulls):\n%s", run,
              report, results.c_str());
  return 0;
}
