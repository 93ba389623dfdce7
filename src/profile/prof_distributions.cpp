// Reading the value distributions back: one field's frequencies (capped by
// "BASE/REPOS_FREQ_CACHE_MAX"), match codes or patterns, the values two
// fields share or do not share, and the counts and totals of one field or
// of two fields' overlap.
#include <climits>
#include <initializer_list>

#include "kvbase/kvbase.h"
#include "profile/prof_rdaimpl.h"

namespace {
// The rows a frequency read keeps: a positive "BASE/REPOS_FREQ_CACHE_MAX";
// 0 (every row) when it is missing or 0, and, with a warning once per
// value, when it is not a count (KvbConfigOptions::getCount).
uint64_t frequencyCap() {
  return static_cast<uint64_t>(
      kvbGetConfigOptions("")->getCount("BASE/REPOS_FREQ_CACHE_MAX", 0));
}

// A count or total read as a number of any size, held to what an int
// holds: a distribution of more than INT_MAX values reports INT_MAX.
int saturated(ReposDataAccessCursor& row, int column) {
  const double value = row.getDouble(column);
  return value >= static_cast<double>(INT_MAX) ? INT_MAX
                                               : static_cast<int>(value);
}

void store(int* out, int value) {
  if (out) *out = value;
}

// store() of values[i] into the i-th out-parameter.
void storeEach(std::initializer_list<int*> outs, const int* values) {
  for (int* out : outs) store(out, *values++);
}
}  // namespace

KvbString ProfileRDAImpl::fieldTable(int fieldId) {
  return rda_->getTableName("FRQDST", true, fieldId);
}

bool ProfileRDAImpl::numbers(const KvbString& sql,
                             const std::vector<KvbDatavar>& values,
                             std::initializer_list<int*> outs) {
  if (!ready()) return false;
  std::vector<int> read(outs.size(), 0);  // no row: every number is 0
  if (firstRow(sql, values, [&](ReposDataAccessCursor& row) {
        for (size_t i = 0; i < read.size(); ++i)
          read[i] = saturated(row, static_cast<int>(i));
      }) < 0)
    return false;
  storeEach(outs, read.data());
  return true;
}

// ---------------------------------------------------------------------------
// One field

ReposDataAccessCursor* ProfileRDAImpl::listFrequencyDistribution(
    int fieldId, bool sharedTable, bool matchCodes, int matchDefinitionId) {
  if (!ready()) return nullptr;
  if (matchCodes) {
    SqlStatement select(
        "SELECT FR_VAL, MC_COUNT, MC_VALUE, FLD_ID, MC_ID FROM " +
        table("MCDIST"));
    select.where("FLD_ID=?", fieldId)
        .where("MC_ID=?", matchDefinitionId, Given::kNotMinusOne);
    return query(select.append(" ORDER BY MC_COUNT DESC"), frequencyCap());
  }
  if (sharedTable)
    return query("SELECT FR_VAL, FR_CNT, FR_MC, FLD_ID FROM " +
                     table("FRQDST") + " WHERE FLD_ID=? ORDER BY FR_CNT DESC",
                 {fieldId}, frequencyCap());
  // The field's own table: its id comes as a constant column.
  return query(kvbStringFormat("SELECT FR_VALUE, FR_COUNT, FR_MCVAL, %d FROM ",
                               fieldId) +
                   fieldTable(fieldId) + " ORDER BY FR_COUNT DESC",
               {}, frequencyCap());
}

ReposDataAccessCursor* ProfileRDAImpl::listPatternDistribution(int fieldId) {
  return rowsWhere("PATDST", "FLD_ID=?", {fieldId});
}

bool ProfileRDAImpl::frequencyNumber(const char* sharedAggregate,
                                     const char* ownAggregate, int fieldId,
                                     bool sharedTable, int* out) {
  if (!ready()) return false;
  if (sharedTable)
    return numbers(kvbStringFormat("SELECT %s FROM %S WHERE FLD_ID=?",
                                   sharedAggregate, table("FRQDST")),
                   {fieldId}, {out});
  return numbers(
      kvbStringFormat("SELECT %s FROM %S", ownAggregate, fieldTable(fieldId)),
      {}, {out});
}

bool ProfileRDAImpl::countFrequencyRows(int fieldId, bool sharedTable,
                                        int* count) {
  return frequencyNumber("COUNT(FLD_ID)", "COUNT(FR_COUNT)", fieldId,
                         sharedTable, count);
}

bool ProfileRDAImpl::sumFrequencyCounts(int fieldId, bool sharedTable,
                                        int* total) {
  return frequencyNumber("SUM(FR_CNT)", "SUM(FR_COUNT)", fieldId, sharedTable,
                         total);
}

bool ProfileRDAImpl::countPatternRows(int fieldId, int* count) {
  return ready() && numbers("SELECT COUNT(FLD_ID) FROM " + table("PATDST") +
                                " WHERE FLD_ID=?",
                            {fieldId}, {count});
}

bool ProfileRDAImpl::deleteMatchCodeDistribution(int fieldId) {
  return ready() &&
         run("DELETE FROM " + table("MCDIST") + " WHERE FLD_ID=?", {fieldId});
}

// ---------------------------------------------------------------------------
// Two fields

ReposDataAccessCursor* ProfileRDAImpl::listCommonValues(int fieldA, int fieldB,
                                                        bool sharedTable,
                                                        bool matchCodes,
                                                        int matchDefinitionId) {
  if (!ready()) return nullptr;
  if (matchCodes) {
    const KvbString mcdist = table("MCDIST");
    KvbString sql =
        "SELECT a.FR_VAL, a.MC_COUNT, a.MC_VALUE, a.FLD_ID, b.FR_VAL, "
        "b.MC_COUNT, b.MC_VALUE, b.FLD_ID, a.MC_ID, b.MC_ID FROM " +
        mcdist + " a, " + mcdist +
        " b WHERE a.MC_VALUE=b.MC_VALUE AND a.MC_ID=b.MC_ID AND a.FLD_ID=? "
        "AND b.FLD_ID=?";
    SqlStatement select(sql, true);
    select.bind(fieldA).bind(fieldB).where("a.MC_ID=?", matchDefinitionId,
                                           Given::kNotMinusOne);
    return query(select.append(" ORDER BY a.MC_VALUE, a.FR_VAL"));
  }
  if (sharedTable) {
    const KvbString frqdst = table("FRQDST");
    return query(
        "SELECT a.FR_VAL, a.FR_CNT, a.FR_MC, a.FLD_ID, b.FR_VAL, b.FR_CNT, "
        "b.FR_MC, b.FLD_ID FROM " +
            frqdst + " a, " + frqdst +
            " b WHERE a.FR_VAL=b.FR_VAL AND a.FLD_ID=? AND b.FLD_ID=? "
            "ORDER BY a.FR_VAL",
        {fieldA, fieldB});
  }
  return query(kvbStringFormat("SELECT a.FR_VALUE, a.FR_COUNT, a.FR_MCVAL, "
                               "%d, b.FR_VALUE, b.FR_COUNT, b.FR_MCVAL, %d "
                               "FROM ",
                               fieldA, fieldB) +
                   fieldTable(fieldA) + " a, " + fieldTable(fieldB) +
                   " b WHERE a.FR_VALUE=b.FR_VALUE ORDER BY a.FR_VALUE",
               {});
}

ReposDataAccessCursor* ProfileRDAImpl::listDistributionDifference(
    int fieldA, int fieldB, bool sharedTable, bool matchCodes,
    int matchDefinitionId) {
  if (!ready()) return nullptr;
  if (matchCodes) {
    // Without a definition (-1) the codes of every definition take part,
    // each compared with the codes of its own definition.
    const char* side = matchDefinitionId == -1 ? " WHERE FLD_ID=?)"
                                               : " WHERE FLD_ID=? AND "
                                                 "MC_ID=?)";
    std::vector<KvbDatavar> values{fieldA};
    if (matchDefinitionId != -1) values.push_back(matchDefinitionId);
    values.push_back(fieldB);
    if (matchDefinitionId != -1) values.push_back(matchDefinitionId);
    return query(
        "SELECT A.FR_VAL, A.MC_COUNT, B.MC_COUNT FROM (SELECT * FROM " +
            table("MCDIST") + side +
            " A LEFT OUTER JOIN (SELECT * "
            "FROM " +
            table("MCDIST") + side +
            " B ON A.MC_VALUE=B.MC_VALUE AND A.MC_ID=B.MC_ID WHERE "
            "B.MC_COUNT IS NULL",
        values);
  }
  // The shared form lists the values that both fields have, with both
  // counts; the per-field form, like the match-code form, the values of
  // field A that field B lacks.
  if (sharedTable)
    return query("SELECT A.FR_VAL, A.FR_CNT, B.FR_CNT FROM " + table("FRQDST") +
                     " A, " + table("FRQDST") +
                     " B WHERE A.FR_VAL=B.FR_VAL AND A.FLD_ID=? AND "
                     "B.FLD_ID=?",
                 {fieldA, fieldB});
  return query("SELECT A.FR_VALUE, A.FR_COUNT, B.FR_COUNT FROM " +
                   fieldTable(fieldA) + " A LEFT OUTER JOIN " +
                   fieldTable(fieldB) +
                   " B ON A.FR_VALUE=B.FR_VALUE WHERE B.FR_COUNT IS NULL",
               {});
}

ReposDataAccessCursor* ProfileRDAImpl::listValuesOnlyInFirst(int baseFieldId,
                                                             int otherFieldId,
                                                             bool sharedTable) {
  // The values of the other field that the base field lacks.
  if (!ready()) return nullptr;
  if (sharedTable)
    return query(
        "SELECT A.FR_VAL, A.FR_CNT, B.FR_CNT FROM (SELECT FR_VAL, FR_CNT "
        "FROM " +
            table("FRQDST") +
            " WHERE FLD_ID=?) A LEFT OUTER JOIN (SELECT FR_VAL, FR_CNT FROM " +
            table("FRQDST") +
            " WHERE FLD_ID=?) B ON A.FR_VAL=B.FR_VAL WHERE B.FR_CNT IS NULL",
        {otherFieldId, baseFieldId});
  return query(
      "SELECT A.FR_VALUE, A.FR_COUNT, B.FR_COUNT FROM (SELECT "
      "FR_VALUE, FR_COUNT FROM " +
          fieldTable(otherFieldId) +
          ") A LEFT OUTER JOIN (SELECT FR_VALUE, FR_COUNT FROM " +
          fieldTable(baseFieldId) +
          ") B ON A.FR_VALUE=B.FR_VALUE WHERE B.FR_COUNT IS NULL",
      {});
}

bool ProfileRDAImpl::getDistributionStatistics(
    int fieldA, int fieldB, bool matchCodes, int, bool sharedTable,
    int* distinctA, int* totalA, int* distinctB, int* totalB, int* commonCount,
    int* commonTotalA, int* commonTotalB) {
  if (!ready()) return false;
  KvbString one, overlap;
  std::vector<KvbDatavar> a, b, both;
  if (matchCodes) {
    const KvbString mcdist = table("MCDIST");
    one = "SELECT COUNT(DISTINCT MC_VALUE), SUM(MC_COUNT) FROM " + mcdist +
          " WHERE FLD_ID=?";
    overlap =
        "SELECT COUNT(*), SUM(a.ACOUNT), SUM(b.BCOUNT) FROM (SELECT "
        "MC_VALUE, SUM(MC_COUNT) AS ACOUNT FROM " +
        mcdist +
        " WHERE FLD_ID=? GROUP BY MC_VALUE) a, (SELECT MC_VALUE, "
        "SUM(MC_COUNT) AS BCOUNT FROM " +
        mcdist +
        " WHERE FLD_ID=? GROUP BY MC_VALUE) b WHERE "
        "a.MC_VALUE=b.MC_VALUE";
    a = {fieldA}, b = {fieldB}, both = {fieldA, fieldB};
  } else if (sharedTable) {
    const KvbString frqdst = table("FRQDST");
    one =
        "SELECT COUNT(FR_CNT), SUM(FR_CNT) FROM " + frqdst + " WHERE FLD_ID=?";
    overlap = "SELECT COUNT(*), SUM(a.FR_CNT), SUM(b.FR_CNT) FROM " + frqdst +
              " a, " + frqdst +
              " b WHERE a.FLD_ID=? AND b.FLD_ID=? AND a.FR_VAL=b.FR_VAL";
    a = {fieldA}, b = {fieldB}, both = {fieldA, fieldB};
  } else {
    overlap = "SELECT COUNT(*), SUM(a.FR_COUNT), SUM(b.FR_COUNT) FROM " +
              fieldTable(fieldA) + " a, " + fieldTable(fieldB) +
              " b WHERE a.FR_VALUE=b.FR_VALUE";
  }
  const auto ofField = [&](int field) {
    return matchCodes || sharedTable
               ? one
               : "SELECT COUNT(FR_COUNT), SUM(FR_COUNT) FROM " +
                     fieldTable(field);
  };
  // Nothing is written unless every query ran.
  int n[7] = {};
  if (!numbers(ofField(fieldA), a, {&n[0], &n[1]}) ||
      !numbers(ofField(fieldB), b, {&n[2], &n[3]}) ||
      !numbers(overlap, both, {&n[4], &n[5], &n[6]}))
    return false;
  storeEach({distinctA, totalA, distinctB, totalB, commonCount, commonTotalA,
             commonTotalB},
            n);
  return true;
}

bool ProfileRDAImpl::countValuesOnlyInSecond(int firstFieldId,
                                             int secondFieldId, int* count,
                                             int* total) {
  // The values of the second field that the first lacks, and their total.
  return ready() &&
         numbers(
             "SELECT COUNT(*), SUM(B.FR_CNT) FROM (SELECT FR_VAL, FR_CNT "
             "FROM " +
                 table("FRQDST") +
                 " WHERE FLD_ID=?) B LEFT OUTER "
                 "JOIN (SELECT FR_VAL FROM " +
                 table("FRQDST") +
                 " WHERE FLD_ID=?) A ON B.FR_VAL=A.FR_VAL WHERE A.FR_VAL IS "
                 "NULL",
             {secondFieldId, firstFieldId}, {count, total});
}

bool ProfileRDAImpl::compareFrequencyCounts(int firstFieldId, int secondFieldId,
                                            int* rows, int* totalFirst,
                                            int* bothRows, int* bothTotalFirst,
                                            int* bothTotalSecond) {
  // Every value of the first field with its count, and of those the ones
  // the second field has too, with both counts. A first field without rows
  // gives no comparison: its zeros are stored, and the answer is false.
  int n[5] = {};
  if (!ready() ||
      !numbers("SELECT COUNT(*), SUM(A.FR_CNT), COUNT(B.FR_VAL), SUM(CASE "
               "WHEN B.FR_VAL IS NULL THEN 0 ELSE A.FR_CNT END), "
               "SUM(B.FR_CNT) FROM (SELECT FR_VAL, FR_CNT FROM " +
                   table("FRQDST") +
                   " WHERE FLD_ID=?) A LEFT OUTER JOIN "
                   "(SELECT FR_VAL, FR_CNT FROM " +
                   table("FRQDST") + " WHERE FLD_ID=?) B ON A.FR_VAL=B.FR_VAL",
               {firstFieldId, secondFieldId},
               {&n[0], &n[1], &n[2], &n[3], &n[4]}))
    return false;
  storeEach({rows, totalFirst, bothRows, bothTotalFirst, bothTotalSecond}, n);
  return n[0] > 0 ||
         failQuietly(
             kvbStringFormat("Field %d has no frequency rows", firstFieldId));
}
