// RepositoryImportExportManager: writes one repository object (a rule,
// task, custom metric, collection, source, dimension, threshold, data
// exploration or profile job) with the objects it depends on into an
// export text, and reads such a text back as a new object or over an
// existing one. A repository hands it out; the caller ends it with
// `delete` (the interface has no release(): position 0 is its destructor),
// before or after the repository (see repository.h).
//
// Every call answers false on failure, with the reason in errorText, equal
// to the one level-5 record the failure logs. Where the work on an object
// failed, the text says what was being done and then why, as "<doing>:
// <reason>" (for instance "Error importing Rule object: Folder 99999 does
// not exist"). An import either completes or changes nothing in the
// repository: it runs in one transaction. A text that is not a whole export (malformed, truncated
// or hostile: see docs/export-format.md) is refused with a text naming the
// fault. Type names are matched exactly: "ProfileJob", "Rule", "Task",
// "DataExploration", "CustomMetric", "Collection", "Source", "Dimension",
// "Threshold". Events of an export or import reach the listener given to
// exportObject or updateObject (not owned; it stays registered until the
// next call); a failed importObject that logged events adds that log to
// the text after "\nImport Log:\n" (the record holds the text before it);
// one that logged none ends with its reason.
// An import decides what stands for its records, which UUIDs are free
// and whether its path is free, in its transaction after it has taken its
// tables' turns for writers: of two imports of one record at the same
// moment, through any connection or process, the second finds what the
// first wrote (and an import to the same path is refused). An empty
// UUID or task code names no object and is never looked for.
#ifndef REPOSADMIN_IMPORT_EXPORT_MANAGER_H_
#define REPOSADMIN_IMPORT_EXPORT_MANAGER_H_

#include "kvbase/kvbase.h"
#include "kvreposres/kvserialization.h"

class RepositoryImportExportManager {
 public:
  virtual ~RepositoryImportExportManager() = default;
  // Writes object `objectId` of `typeName` (uuid: its UUID, for messages
  // and the record) into `output`. An object that does not exist is a
  // failure.
  virtual bool exportObject(int objectId, const KvbString& typeName,
                            const KvbString& uuid, KvbString& output,
                            KvbString& errorText,
                            RepositoryActionEvent* listener) = 0;
  // The same for the object at `objectPath` ("folder/sub/name").
  virtual bool exportObjectByPath(const KvbString& objectPath,
                                  const KvbString& typeName, KvbString& output,
                                  KvbString& errorText) = 0;
  // Imports `input` as a new object named by the last part of `objectPath`
  // in the folder the rest of it names; refused when that folder holds an
  // object of the same type and name already. A folder path that leads to
  // no folder is refused with `Unable to find folder/object by path:
  // "<folder path>"`, as the folder manager's resolveObjectPath refuses it;
  // where the folder or its objects cannot be read, errorText is the
  // folder manager's reason. No existing object stands for the record
  // here: each import to a path makes an object at the path. It keeps the
  // record's UUID (a task's code; where the record names none, the one in
  // its row) unless another object of its type holds it, and then gets a
  // new UUID of its own; a record without one gives a task or rule none
  // (a profile job or custom metric gets a new one). A collection, which
  // has no UUID, is made under the path's name likewise.
  virtual bool importObjectToPath(const KvbString& objectPath,
                                  const KvbString& input,
                                  KvbString& errorText) = 0;
  // Deletes the object of `typeName` at `objectPath`.
  virtual bool deleteObjectByPath(const KvbString& objectPath,
                                  const KvbString& typeName,
                                  KvbString& errorText) = 0;
  // Indented (true, the default) or compact export texts; answers the flag.
  virtual bool setSerializationOption(bool pretty) = 0;
  // Imports `input` as a new object in folder `folderId`. An object of the
  // same type with the record's UUID (or, without one, its name) stands for
  // it: nothing is created then. A profile job is the exception: each
  // import makes a new one, with a UUID of its own, and is refused where
  // the folder holds a job of its name. An empty input is refused, and so is a
  // folder that does not exist for the types that are filed in folders,
  // also when an existing object stands for the record.
  virtual bool importObject(const KvbString& input, int folderId,
                            KvbString& errorText) = 0;
  // Imports `input`, whose type must be `typeName`, over the existing
  // object `objectId`, filing it in `folderId`. The object keeps its own
  // name (one without a name takes the record's). It takes the record's
  // UUID unless another object holds that UUID; then it keeps its own.
  // Collections, data explorations, sources, dimensions, thresholds and
  // profile jobs always keep their own UUID. Neither choice is refused:
  // each is only logged to the listener, at level 2. An object that does
  // not exist is refused: "The <type> object with id=<id> and uuid=<uuid>
  // does not exist and cannot be updated." (without " and uuid=<uuid>"
  // for an empty `uuid`).
  virtual bool updateObject(int objectId, const KvbString& typeName,
                            const KvbString& uuid, const KvbString& input,
                            int folderId, KvbString& errorText,
                            RepositoryActionEvent* listener) = 0;
};

#endif  // REPOSADMIN_IMPORT_EXPORT_MANAGER_H_
