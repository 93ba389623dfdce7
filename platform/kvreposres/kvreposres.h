// kvreposres: the repository resource services that the engine calls: the
// registry of named repositories that the host fills, the repository event
// manager that receives change notifications, the text of a change type,
// the rules for characters in repository object names, and the resource
// manager that gives lineage resources their identities.
#ifndef KVREPOSRES_KVREPOSRES_H_
#define KVREPOSRES_KVREPOSRES_H_

#include <string>
#include <vector>

#include "kvbase/kvbase.h"

// ---------------------------------------------------------------------------
// Repository configuration: the repositories that the host knows by name.

// One registered repository, as handed out by findRepository. The caller
// owns it and ends it with release().
class RepositoryConfigurationEntry {
 public:
  // 0 for a SQLite file (the connection is the file path), 1 for a
  // connection string.
  virtual int getType() const = 0;
  // Writes the connection (file path or connection string) to `out`.
  virtual void getConnection(KvbString& out) const = 0;
  // Writes the table prefix (possibly empty) to `out`.
  virtual void getTablePrefix(KvbString& out) const = 0;
  // Destroys the entry.
  virtual void release() = 0;

 protected:
  virtual ~RepositoryConfigurationEntry() = default;
};

// The process-wide registry of repositories. Thread-safe.
class RepositoryConfigurationManager {
 public:
  // A new entry holding a copy of what is registered under `name` (exact,
  // case-sensitive match), or null when nothing is.
  virtual RepositoryConfigurationEntry* findRepository(
      const KvbString& name) = 0;
  // Ends the caller's use of the manager; the registry itself stays.
  virtual void release() = 0;

  // Host side. Registers `name` (replacing any entry of that name) with its
  // type (0 file, 1 connection string), connection and table prefix (a null
  // prefix is kept as empty). False, registering nothing, for a null or
  // empty name, a type other than 0 or 1, or an empty connection.
  virtual bool registerRepository(const KvbString& name, int type,
                                  const KvbString& connection,
                                  const KvbString& tablePrefix) = 0;
  // Removes `name`; false when it was not registered.
  virtual bool unregisterRepository(const KvbString& name) = 0;
  // Removes every entry.
  virtual void clear() = 0;

 protected:
  virtual ~RepositoryConfigurationManager() = default;
};

// The process's registry; never null here, though callers allow for null.
RepositoryConfigurationManager* getRepositoryConfigurationManager();

// ---------------------------------------------------------------------------
// Repository events: notifications that objects of a repository changed.

// The change types of the notifications and of repository event rows.
constexpr int kChangeAdded = 0;
constexpr int kChangeDeleted = 1;
constexpr int kChangeUpdated = 2;

// One notification as the manager received it. `operation` is the name of
// the call; the fields that the call has no argument for keep their
// defaults (null texts, -1 numbers).
struct RepositoryEvent {
  std::string operation;  // "objectChanged", "postObjectEvent", ...
  KvbString reposUUID;
  int changeType = -1;   // kChangeAdded, kChangeDeleted, kChangeUpdated
  KvbString objectType;  // "ProfileJob", "Task", "Rule", ... (postUriEvent:
                         // the type its URI names)
  int objectId = -1;
  KvbString objectUUID;  // objectChanged, postObjectChange, postRenameEvent
  KvbString keyText;     // postObjectEvent: the object's UUID or code
  KvbString oldName;     // postRenameEvent
  KvbString newName;     // postRenameEvent
  KvbString uriText;     // postUriEvent: the object's URI
  KvbString identity;    // postUriEvent: the object's resource identity
};

// Receives every notification after it is recorded. Called on the posting
// thread, one notification at a time.
class RepositoryEventListener {
 public:
  virtual void onRepositoryEvent(const RepositoryEvent& event) = 0;

 protected:
  virtual ~RepositoryEventListener() = default;
};

// How many notifications the event manager keeps for getEvents(): the
// latest ones; each new one beyond this drops the oldest, so a process that
// never calls clearEvents() does not grow. Listeners see every one.
constexpr size_t kRepositoryEventsKept = 1000;

// The process-wide event manager. Each post records the notification (the
// latest kRepositoryEventsKept are kept), forwards it to the listeners in
// the order they were added, and answers true. Thread-safe.
class RepositoryEventManager {
 public:
  // An object was added, deleted or updated.
  virtual bool objectChanged(const KvbString& reposUUID, int changeType,
                             const KvbString& objectType, int objectId,
                             const KvbString& objectUUID) = 0;
  // The same, naming the object by a key text (its UUID or code).
  virtual bool postObjectEvent(const KvbString& reposUUID, int changeType,
                               const KvbString& objectType, int objectId,
                               const KvbString& keyText) = 0;
  // The same as objectChanged, under the name the object managers use.
  virtual bool postObjectChange(const KvbString& reposUUID, int changeType,
                                const KvbString& typeName, int objectId,
                                const KvbString& objectUUID) = 0;
  // An object was renamed from `oldName` to `newName`.
  virtual bool postRenameEvent(const KvbString& reposUUID,
                               const KvbString& objectType, int objectId,
                               const KvbString& objectUUID,
                               const KvbString& oldName,
                               const KvbString& newName) = 0;
  // The object at `uriText` changed (a deletion, as the engine uses it).
  // The notification's objectType is the type that the URI's query names
  // ("repos://<server>/<path>?type=<type>", decoded); null when it names
  // none.
  virtual bool postUriEvent(const KvbString& reposUUID,
                            const KvbString& uriText, int changeType,
                            const KvbString& identity) = 0;

  // Host and test side.
  // A copy of the notifications kept (at most kRepositoryEventsKept, the
  // latest), oldest first.
  virtual std::vector<RepositoryEvent> getEvents() const = 0;
  // Forgets the recorded notifications.
  virtual void clearEvents() = 0;
  // Adds `listener` (not owned) unless it is null or already added.
  virtual void addListener(RepositoryEventListener* listener) = 0;
  // Removes `listener`. When the call returns, no thread is calling it any
  // longer, unless the call comes from inside a notification.
  virtual void removeListener(RepositoryEventListener* listener) = 0;

 protected:
  virtual ~RepositoryEventManager() = default;
};

// The process's event manager, or null while it is switched off. It is
// never released by its callers.
RepositoryEventManager* getRepositoryEventManager();
// Switches the event manager on (the default) or off. Switching off keeps
// the recorded notifications and the listeners.
void setRepositoryEventManagerEnabled(bool enabled);

// The text of a change type as stored in a repository event row: "ADDED",
// "DELETED", "UPDATED" for kChangeAdded, kChangeDeleted, kChangeUpdated
// and "UNKNOWN" for any other value.
const char* getRepositoryEventChangeTypeString(int changeType);

// ---------------------------------------------------------------------------
// Repository object names.

// True when `name` holds a character that an object name may not: "/"
// (object paths split on it), "\", or an ASCII control character. False
// for a null name.
bool isInvalidCharInName(const KvbString& name);
// Writes to `out` the name with each invalid character replaced by "_";
// other characters, including multi-byte UTF-8 ones, stay as they are.
// False, leaving `out` unchanged, for a null or empty name, which no
// replacement can turn into a name that may be stored.
bool getNormalizedNameValue(const KvbString& name, KvbString& out);

// ---------------------------------------------------------------------------
// Resource identities: the texts that name lineage resources. Equal inputs
// give equal identities, and an identity splits back into its parts. Out
// values are written only when the answer is true.

class KvResourceManager {
 public:
  // 0-1
  virtual ~KvResourceManager() = default;
  virtual void release() = 0;
  // 2: the identity of a database reached through `connection`.
  virtual bool getDatabaseIdentity(const KvbString& connection,
                                   const KvbString& connectionType,
                                   KvbString& identity) = 0;
  // 3: the identity of a table; the connection may be empty.
  virtual bool getTableIdentity(const KvbString& connection,
                                const KvbString& connectionType,
                                const KvbString& catalog,
                                const KvbString& schema, const KvbString& table,
                                KvbString& identity) = 0;
  // 4: the identity of a repository object ("Rule", "CustomMetric",
  // "Field", ...) by its id text or UUID; false when both are empty.
  virtual bool getObjectIdentity(const KvbString& context,
                                 const KvbString& type, const KvbString& id,
                                 const KvbString& uuid,
                                 KvbString& identity) = 0;
  // 5: placeholder; the engine does not call it.
  virtual void reserved5() {}
  // 6: the identity of a file at `path` named `fileName`; false for an
  // empty path.
  virtual bool getFileIdentity(const KvbString& path, const KvbString& fileName,
                               KvbString& identity) = 0;
  // 7: the path and the file name of a file identity.
  virtual bool splitFileIdentity(const KvbString& identity, KvbString& path,
                                 KvbString& fileName) = 0;
  // 8: placeholder; the engine does not call it.
  virtual void reserved8() {}
  // 9: the database that a connection string names (its DSN, DATABASE or
  // FILE key); false when it names none.
  virtual bool getDatabaseName(const KvbString& connection,
                               KvbString& name) = 0;
  // 10: "SQLITE" for a connection string with KVXTYPE=SQLITE; other
  // connections keep the type the caller preset. True when it changed.
  virtual bool getConnectionType(const KvbString& connection,
                                 KvbString& connectionType) = 0;
  // 11: the parts of a table identity; the first two give its database's
  // identity through getDatabaseIdentity.
  virtual bool splitTableIdentity(const KvbString& identity,
                                  KvbString& connection,
                                  KvbString& connectionType, KvbString& catalog,
                                  KvbString& schema, KvbString& table) = 0;
  // 12: the connection and connection type of a database identity.
  virtual bool splitDatabaseIdentity(const KvbString& identity,
                                     KvbString& connection,
                                     KvbString& connectionType) = 0;
};

// A new resource manager, which the caller releases; null when none can be
// had.
KvResourceManager* createKvResourceManager();
// A "file:" URI for an absolute file path ("/..." or a drive letter);
// false for a relative or empty one, which no URI can name.
bool generateURIReferenceFromFilename(const KvbString& fileName,
                                      KvbString& uri);
// The folder (without its final separator), the file name without its
// extension and the file name of a path whose parts are separated by "/"
// or "\\"; false when the path names no file.
bool getComponentsFromFilesystemPath(const KvbString& path, KvbString& folder,
                                     KvbString& stem, KvbString& fileName);

#endif  // KVREPOSRES_KVREPOSRES_H_
