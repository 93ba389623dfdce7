// The lineage results that impact analysis hands to a host: a resource (one
// stored resource with a few values that are not stored), a list of
// resources, a list of name/value properties and a list of string rows.
// Each object belongs to the caller, who ends it with release(); a
// resource obtained from a list stays the list's. Hosts call the
// operations by position, so their order is fixed.
//
// The three lists share one cursor: next() moves to the first row on its
// first call and one row on after that, and answers whether it stands on a
// row; reads off a row give null or empty texts.
#ifndef REPOSADMIN_KV_RESOURCE_H_
#define REPOSADMIN_KV_RESOURCE_H_

#include "kvbase/kvbase.h"

class KvResourcePropertyList;

class KvResource {
 public:
  // 0-1
  virtual ~KvResource() = default;
  virtual void release() = 0;
  // 2-5: the stored id as decimal text (empty for a resource not read from
  // the store), name, type ("Database", "Table", "File", "Rule", ...) and
  // identity, unique within the type.
  virtual KvbString getId() = 0;
  virtual KvbString getName() = 0;
  virtual KvbString getType() = 0;
  virtual KvbString getIdentity() = 0;
  // 6: always 0.
  virtual int getNumericValue() = 0;
  // 7: a new, empty property list owned by the caller; null when it cannot
  // be allocated.
  virtual KvResourcePropertyList* createPropertyList() = 0;
  // 8-9: the stored access date and the location that the host's resolver
  // gave.
  virtual KvbDate getAccessDate() = 0;
  virtual KvbString getLocation() = 0;
  // 10: what the host's resolver said of the resource; true by default.
  virtual bool isResolved() = 0;
  // 11: the stored identity holds a macro ("%%NAME%%").
  virtual bool hasIdentityMacro() = 0;
};

class KvResourceList {
 public:
  // 0-1: the cursor and the resource of the current row (the list's).
  virtual bool next() = 0;
  virtual KvResource* getResource() = 0;
  // 2: deletes the rows and the list.
  virtual void release() = 0;
  // 3: appends a row of empty resources; false when out of memory.
  virtual bool appendResource() = 0;
  // 4: copies the values of `source` into the last row's resource; the
  // index is accepted for wider rows. Nothing for an empty list or a null
  // source.
  virtual void setLastResource(int index, KvResource* source) = 0;
  // 5: true when a row's resource has the identity of `resource` (without
  // regard to case; the type is not compared). It moves the cursor: call
  // reset() before reading the list again.
  virtual bool contains(KvResource* resource) = 0;
  // 6: the next next() starts again at the first row.
  virtual bool reset() = 0;
  // After the operations, which keep their places; lists end by release().
  virtual ~KvResourceList() = default;
};

class KvResourcePropertyList {
 public:
  // 0-4
  virtual ~KvResourcePropertyList() = default;
  virtual bool next() = 0;
  virtual KvbString getName() = 0;
  virtual KvbString getValue() = 0;
  virtual void release() = 0;
  // 5-6: entries: appendProperty appends one with an empty name and value
  // (false when out of memory); setLastProperty sets the name and value of
  // the last one (nothing when the list is empty).
  virtual bool appendProperty() = 0;
  virtual void setLastProperty(const KvbString& name,
                               const KvbString& value) = 0;
};

class KvStringList {
 public:
  // 0-2
  virtual ~KvStringList() = default;
  virtual bool next() = 0;
  virtual int getWidth() = 0;
  // 3-4: a string of the current row (index 0 for getString); empty off a
  // row or at an index not below the width.
  virtual KvbString getString() = 0;
  virtual KvbString getStringAt(int index) = 0;
  // 5-6
  virtual void release() = 0;
  virtual int getCount() = 0;
};

#endif  // REPOSADMIN_KV_RESOURCE_H_
