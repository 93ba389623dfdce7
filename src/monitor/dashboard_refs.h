// How the monitoring tables refer to the dashboard objects: report groups
// (GRP_ID), dimensions (DIM_ID) and thresholds (THR_ID). Each kind has a
// default object with id 1 that every repository holds. A row that refers
// to one of them names it in a column of the same name as the object's key.
// Rows that a default stands in for (a deleted object, a NULL left by an
// older version) are pointed at it; a dimension link (DIMGRP) belongs to
// its report group and its dimension and goes with either.
#ifndef MONITOR_DASHBOARD_REFS_H_
#define MONITOR_DASHBOARD_REFS_H_

// The id of the default report group, dimension and threshold.
constexpr int kDefaultDashboardId = 1;

// Each kind of dashboard object: its key column, its table, what it is
// called in a refusal ("Threshold 4 does not exist") and whether a row may
// name none of it (-1): a report group and a dimension link may have no
// threshold, but a link always joins a report group and a dimension.
struct DashboardKind {
  const char* column;
  const char* tableCode;
  const char* kind;
  bool mayBeNone;
};

inline constexpr DashboardKind kDashboardKinds[] = {
    {"GRP_ID", "RPTGRP", "report group", false},
    {"DIM_ID", "DIMENS", "dimension", false},
    {"THR_ID", "THRHLD", "threshold", true},
};

struct DashboardReference {
  const char* tableCode;
  const char* column;  // the key column of the object referred to
  bool ownedLink;      // deleted with the object rather than repointed
};

inline constexpr DashboardReference kDashboardReferences[] = {
    {"EXEC", "GRP_ID", false},   {"DIMGRP", "GRP_ID", true},
    {"JBRUME", "DIM_ID", false}, {"DIMGRP", "DIM_ID", true},
    {"JBRUME", "THR_ID", false}, {"DIMGRP", "THR_ID", false},
    {"RPTGRP", "THR_ID", false},
};

#endif  // MONITOR_DASHBOARD_REFS_H_
