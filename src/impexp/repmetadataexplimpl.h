// DataExplorationMetadata: a data exploration in a flat "DataExploration"
// record: its MPRJ row. Its catalogue, samples and matches do not travel,
// which the import log is told.
#ifndef IMPEXP_REPMETADATAEXPLIMPL_H_
#define IMPEXP_REPMETADATAEXPLIMPL_H_

#include "impexp/repmetacommonimpl.h"

class DataExplorationMetadata : public MetadataObject {
 public:
  using MetadataObject::MetadataObject;
  // Fills `record` with the exploration's row; one that does not exist is a
  // failure.
  bool exportExploration(MetadataRecord* record, KvbString& errorText);
};

#endif  // IMPEXP_REPMETADATAEXPLIMPL_H_
