// CustomMetricMetadata: a custom metric in a "CustomMetric" record: its
// CUSTM row and its fields, written on export and applied on import.
#ifndef IMPEXP_REPMETACUSTMIMPL_H_
#define IMPEXP_REPMETACUSTMIMPL_H_

#include "impexp/repmetacommonimpl.h"

class CustomMetricMetadata : public MetadataObject {
 public:
  using MetadataObject::MetadataObject;

  // Fills `record` with the custom metric (by id, else UUID, else the
  // record's name) and its fields. One that does not exist is a failure.
  bool exportCustomMetric(MetadataRecord* record, KvbString& errorText);
  // Adds the record's fields that the custom metric of TARGETID lacks.
  bool importCustomMetric(KvbString& errorText);
};

#endif  // IMPEXP_REPMETACUSTMIMPL_H_
