// Formatting the plain-text schema report of a set of definition arrays.
#ifndef SCHEMA_SCHEMA_REPORT_H_
#define SCHEMA_SCHEMA_REPORT_H_

#include "schema/repos_tables.h"

// The definitions a report covers; the composites may be null.
struct SchemaReportSets {
  const ReposColumnDef* core;
  const ReposColumnDef* ncoa;
  const ReposColumnDef* ncoaExtension;
  const ReposCompositeIndex* composites;
};

// The report text, as writeRepositorySchemaInfo writes it.
KvbString formatSchemaReport(const SchemaReportSets& sets, bool sortByName,
                             bool withDescriptions, bool singleList);

#endif  // SCHEMA_SCHEMA_REPORT_H_
