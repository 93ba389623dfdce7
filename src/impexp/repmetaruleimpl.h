// RuleMetadata: a rule's content in a "Rule" record: its RULE row, its
// fields and the custom metrics it uses with their field mappings; written
// on export and applied on import (of a rule, and of the rules that tasks
// and profile jobs carry).
#ifndef IMPEXP_REPMETARULEIMPL_H_
#define IMPEXP_REPMETARULEIMPL_H_

#include "impexp/repmetacommonimpl.h"

class RuleMetadata : public MetadataObject {
 public:
  using MetadataObject::MetadataObject;

  // Fills `record` with the rule (by id, else UUID, else the record's name)
  // and its sections: 1 when done, 0 when the rule does not exist, -1 when
  // it cannot be read; errorText gives the reason of the 0 or -1.
  int exportRuleContent(MetadataRecord* record, KvbString& errorText);
  // Replaces the links of the rule that the record's TARGETID names with
  // those of the record, creating the fields and custom metrics the
  // repository lacks.
  bool importRuleContent(KvbString& errorText);

 private:
  bool exportRuleFields(MetadataRecord* record, KvbString& errorText);
  bool exportRuleCustomMetrics(MetadataRecord* record, KvbString& errorText);
  bool exportCustomMetricFieldMappings(MetadataRecord* cmRecord, int cmId,
                                       KvbString& errorText);
  bool importRuleFields(KvbString& errorText);
  bool importRuleCustomMetrics(KvbString& errorText);
  bool importCustomMetricFieldMappings(MetadataRecord* cmRecord, int cmId,
                                       KvbString& errorText);
};

#endif  // IMPEXP_REPMETARULEIMPL_H_
