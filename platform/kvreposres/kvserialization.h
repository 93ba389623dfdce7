// kvreposres serialization context: holds the record tree of one export or
// import of a repository object and turns it into XML text and back.
//
// A record has a type name, a UUID, text values by key and child records in
// named sections. An "included" record stands for another repository object
// and is found again by (type, key name, key value); the same triple always
// gives the same record, whether or not the record also sits in a section.
// Records may be shared: a child added to two sections is one record, and
// reads back as one record. Properties are per record and never written:
// they carry what an import resolved (TARGETID, TARGETUUID) within one
// operation. The file format is described in docs/export-format.md.
#ifndef KVREPOSRES_KVSERIALIZATION_H_
#define KVREPOSRES_KVSERIALIZATION_H_

#include "kvbase/kvbase.h"

// Receives the action events of an export or import. Implemented by hosts
// (and by the engine's import log).
class RepositoryActionEvent {
 public:
  virtual ~RepositoryActionEvent() = default;
  // level: 0 error, 1 warning, 2 information, 3 debug, 4 trace; source
  // names the repository object being written.
  virtual bool onActionEvent(int level, const KvbString& source,
                             const KvbString& message) = 0;
  // Ends a listener that the engine made and owns (an import's log). The
  // engine never calls it on a listener that a host passes to
  // exportObject or updateObject: that one stays the host's.
  virtual void release() = 0;
};

class MetadataRecordIterator;

// One record. Owned by its context until the context's reset or release;
// callers never release records.
class MetadataRecord {
 public:
  // Sets `key` to `value` (a null value is kept as empty); a key keeps the
  // position of its first setting.
  virtual void setValue(const KvbString& key, const KvbString& value) = 0;
  // Sets `out` to the value, or "" when the key is absent; answers whether
  // it is present.
  virtual bool getValue(const KvbString& key, KvbString& out) = 0;
  // Typed reads: false, leaving `out` as the caller preset it, when the key
  // is absent, empty or does not read as the type. Numbers are read in the
  // C form whatever the host's locale. Booleans accept 1/0, true/false,
  // yes/no, on/off. A value that is present but does not read as the type
  // is also noted on the context (getUnreadableValue).
  virtual bool getIntValue(const KvbString& key, int& out) = 0;
  virtual bool getRealValue(const KvbString& key, double& out) = 0;
  virtual bool getBoolValue(const KvbString& key, bool& out) = 0;
  // Appends `child` to the section `section`, made on first use; adding
  // the same child to the same section again changes nothing. False for a
  // null child, a child of another context, or the record itself.
  virtual bool addChildRecord(const KvbString& section,
                              MetadataRecord* child) = 0;
  // The children of `section` in the order they were added, or null when
  // the record has no such section. The caller releases the iterator.
  virtual MetadataRecordIterator* getChildRecords(const KvbString& section) = 0;
  virtual KvbString getUUID() = 0;
  virtual void setUUID(const KvbString& uuid) = 0;
  virtual KvbString getTypeName() = 0;

 protected:
  virtual ~MetadataRecord() = default;
};

// Walks the children of one section.
class MetadataRecordIterator {
 public:
  // The first call moves to the first child; false when there is no more.
  virtual bool next() = 0;
  // The child moved to by next(); null before the first call and at the end.
  virtual MetadataRecord* current() = 0;
  virtual void release() = 0;

 protected:
  virtual ~MetadataRecordIterator() = default;
};

class MetadataSerializationContext {
 public:
  // A new record of `typeName` with `uuid`; null for an empty type name.
  virtual MetadataRecord* createRecord(const KvbString& typeName,
                                       const KvbString& uuid) = 0;
  // The record registered for (typeName, keyName, keyValue). Before any
  // deserialize of this operation it is made on first request (with an
  // empty UUID) and the same record comes back on every later request;
  // after a deserialize it is only found among the records read, and null
  // when the input did not bring it.
  virtual MetadataRecord* includedRecord(const KvbString& typeName,
                                         const KvbString& keyName,
                                         const KvbString& keyValue) = 0;
  // Destroys the context and every record.
  virtual void release() = 0;
  // Writes `record`, every record reachable from it and every included
  // record as XML to `output` (indented when `pretty`). False, with a text
  // in errorText, when the tree cannot be written (a cycle of sections).
  virtual bool serialize(MetadataRecord* record, KvbString& output,
                         KvbString& errorText, bool pretty) = 0;
  // Reads an export text into records of this context and answers its root
  // record; null with a text naming the fault when the input is not a
  // well-formed export. A failed read adds no record.
  virtual MetadataRecord* deserialize(const KvbString& input,
                                      KvbString& errorText) = 0;
  // Named values of a record that are not written (see above).
  virtual bool setProperty(MetadataRecord* record, const KvbString& name,
                           const KvbString& value) = 0;
  virtual bool setIntProperty(MetadataRecord* record, const KvbString& name,
                              int value) = 0;
  // False, leaving `out` as preset, when the property is absent (or, for
  // the int form, not a number).
  virtual bool getProperty(MetadataRecord* record, const KvbString& name,
                           KvbString& out) = 0;
  virtual bool getIntProperty(MetadataRecord* record, const KvbString& name,
                              int& out) = 0;
  // The first value of this operation that a record's typed read found
  // present but unreadable, as a text that names the value, its key and the
  // record's type and UUID; "" when there was none. An import refuses the
  // object with it.
  virtual KvbString getUnreadableValue() = 0;
  // Starts a fresh operation: forgets every record, the included registry,
  // the unreadable value, the object path and the listener.
  virtual void reset() = 0;
  // The repository object being written or replaced; it becomes the source
  // text of the action events and the "path" of the next serialize.
  virtual void setObjectPath(const KvbString& objectPath,
                             const KvbString& typeName) = 0;
  // The listener of later events (not owned); null drops them.
  virtual void setActionListener(RepositoryActionEvent* listener) = 0;
  // Sends one event to the listener, when there is one.
  virtual void logEvent(int level, const KvbString& message) = 0;

 protected:
  virtual ~MetadataSerializationContext() = default;
};

// A new context; the caller ends it with release().
MetadataSerializationContext* createRepositoryMetadataSerializationContext();

#endif  // KVREPOSRES_KVSERIALIZATION_H_
