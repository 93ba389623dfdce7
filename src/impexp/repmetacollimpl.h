// CollectionMetadata: a collection (global category) in a "Collection"
// record: its GCATS row, its definitions and its mapped fields; written on
// export and added on import (what the collection has already stays).
#ifndef IMPEXP_REPMETACOLLIMPL_H_
#define IMPEXP_REPMETACOLLIMPL_H_

#include "impexp/repmetacommonimpl.h"

class CollectionMetadata : public MetadataObject {
 public:
  using MetadataObject::MetadataObject;
  // Fills `record` with the collection; one that does not exist is a
  // failure.
  bool exportCollection(MetadataRecord* record, KvbString& errorText);
  // Adds the record's definitions and fields to the collection of TARGETID.
  bool importCollection(KvbString& errorText);

 private:
  bool importDefinitions(KvbString& errorText);
  bool importFields(KvbString& errorText);
};

#endif  // IMPEXP_REPMETACOLLIMPL_H_
