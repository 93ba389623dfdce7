// Example: the NCOA store. Creates a repository with a PAF record, stores
// one NCOA execution processed under it with a few of its statistics, and
// reads the execution back.
#include <cstdio>
#include <string>

#include "example_support.h"
#include "reposadmin/ncoa_data_access.h"

using namespace example;

int main(int argc, char** argv) {
  Workspace work(argc, argv, "ncoa_example");
  auto ncoa = work.make(&Repository::createNCOADataAccess);

  // An active PAF record, expiring in a year (dates are days since 1970).
  const KvbDate expires(KvbDate::currentDate().asDouble() + 365);
  int paf = -1;
  check(ncoa->addPaf("", "", "", 1, 2, expires, 0, "Customers", "PAF-0001", &paf),
        "cannot add the PAF record", ncoa.get());

  // An execution is staged column by column (0 RUN_ID, 1 PAF_ID, 2 GRP_ID,
  // 3 EX_DATE, 4 to 244 the statistics) and stored in one call; the engine
  // draws RUN_ID and stamps EX_DATE itself.
  const struct {
    int column;
    KvbDatavar value;
  } staged[] = {{2, 1}, {4, "PAF-0001"}, {5, "BASIC"}, {7, 1250}};
  for (const auto& item : staged)
    check(ncoa->setNcoaExecColumnValue(item.column, item.value),
          "cannot stage an execution value", ncoa.get());
  int run = -1;
  check(ncoa->addNcoaExecution(0, paf, &run), "cannot store the execution",
        ncoa.get());

  // The execution of that run: one row of all its columns. Null dates and
  // texts leave the other filters out.
  const std::string execution =
      rowsOf(ncoa->listNcoaExecutions(KvbDate(), KvbDate(), KvbString(), run,
                                      -1, -1),
             ncoa.get(), {"RUN_ID", "PAF_ID", "GRP_ID", "PAFNCOA", "PROCCAT",
                          "PREPROC"});
  expectEqual(execution,
              std::to_string(run) + "|" + std::to_string(paf) +
                  "|1|PAF-0001|BASIC|1250\n",
              "the execution read back");
  std::printf("execution (run|PAF|group|PAF id|category|pre-processed):\n%s",
              execution.c_str());
  return 0;
}
