// RepositoryAdmin: the administration object that createRepositoryAdmin
// gives a host. It keeps the repository list file and opens, creates,
// drops and copies repositories. Hosts call its operations by position, so
// their order is fixed. The host ends it with release(). A thread cancelled
// (pthread_cancel) during a call of this object, of a repository or of one
// of its managers, a status callback it makes included, is cancelled after
// the call has answered; the call keeps nothing held.
#ifndef REPOSADMIN_REPOSITORY_ADMIN_H_
#define REPOSADMIN_REPOSITORY_ADMIN_H_

#include "kvbase/kvbase.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_status_callback.h"

class RepositoryAdmin {
 public:
  // 0
  virtual ~RepositoryAdmin() = default;
  // 1: the text of the calling thread's last failure on the object (threads
  // may share it); a later success does not clear it.
  virtual KvbString getErrorMessage() = 0;
  // 2: deletes the object.
  virtual void release() = 0;
  // 3: where status texts go from now on, also in repositories opened
  // afterwards; the host keeps the callback alive while it is installed.
  virtual void setStatusCallback(RepositoryStatusCallback* callback) = 0;
  // 4: the schema version this engine writes (7).
  virtual int getCurrentVersion() = 0;
  // 5: the path of the repository list file; empty when none is used.
  virtual KvbString getConfigFile() = 0;
  // 6-7: walk the list file: listRepositories reads it (connecting to each
  // repository when `connect`); getNextRepository hands out one entry per
  // call and answers false after the last. An entry whose version rows
  // cannot be read (a damaged file, a read error, a lost session) has the
  // type text "Unreadable repository" and, as its version text, "The
  // repository cannot be used or changed: its version rows cannot be read:
  // <reason>"; `currentOnly` lists it, since it may be current.
  virtual bool listRepositories(bool connect, bool currentOnly) = 0;
  virtual bool getNextRepository(KvbString* name, bool* isDefault,
                                 KvbString* connection, KvbString* tablePrefix,
                                 KvbString* typeText, KvbString* versionText,
                                 bool* isFile) = 0;
  // A repository on a server lives in one schema: the one its table
  // prefix names ("schema.prefix"), else the one where its INFO table is
  // when it is opened, as the server resolves that name through the
  // connection's search path (where none is there yet, the schema where a
  // new table would go: the first of the path). Every table, per-id table
  // and index of the repository is named in that schema and every lookup
  // reads that schema, so a search path that starts in another schema
  // decides only where a new repository is made: it never turns a
  // statement, a drop or an import towards another schema's table of the
  // same name. The names the engine makes (tables, per-id tables,
  // indexes) carry the repository's own prefix. A schema whose name is not
  // letters, digits and underscores in lower case cannot be named without
  // quotes: there the names follow the search path, as given.
  //
  // 8-9: create a repository in the database of a connection string, under
  // the table prefix, or in a SQLite file (made when it does not exist).
  // The repository's tables are added beside any other tables of the
  // database. Only a database that already holds a table the creation
  // would make (a repository under that prefix, of any version) is
  // refused, with "Repository Library" message 1304, and keeps every
  // table; a creation that fails leaves the database as it was.
  // A database of a kind the engine does not support is refused before
  // anything is made, with the text `The database "<name>" is not
  // supported for repositories`; one whose tables cannot be listed, with
  // "The tables of the database cannot be listed: <reason>"; one that
  // holds a table of a repository, with "Repository Library" message 1304
  // followed by "The table <table> exists already in the database
  // "<connection>" with the table prefix "<prefix>"." (the connection
  // string as dacConnectionStringWithoutPassword shows it, the prefix only
  // when one is given). Of two connections or processes that create one
  // repository at the same moment, exactly one creates it and the other
  // reads that refusal, on a server as on a SQLite file. A step that the
  // status callback stops ends the
  // creation there, leaving nothing behind (see
  // repository_status_callback.h). createFileRepository refuses an empty
  // path with "The repository cannot be created: the database file path is
  // empty".
  // A table prefix is refused, here and wherever a prefix is taken (opens,
  // drops, a copy's target), when a name the engine may make with it (its
  // tables and their indexes, the per-id tables FRQDST<id>, HSM<id> and
  // HCM<id> with their indexes at the largest id) is longer than the
  // database keeps a name, as its server reports it (PostgreSQL cuts
  // longer names): "... could not be created: the table prefix "<prefix>"
  // is not short enough for the database: "<name part>" (<n> characters)
  // makes names such as "<longest name>" of <m> characters, and the
  // database takes names of at most <limit>". The schema part of a prefix
  // counts toward none of them; SQLite takes names of any length. A
  // repository that is there already under such a prefix still opens, and
  // each name that would pass the limit is refused where it would be made,
  // leaving nothing of that step.
  virtual bool createRepository(const KvbString& connection,
                                const KvbString& tablePrefix) = 0;
  virtual bool createFileRepository(const KvbString& path) = 0;
  // 10: drops every table of a repository; tables of others in the same
  // database stay. The per-id tables (a field's frequencies, a histogram's
  // tables) are found in the database's catalogue under the prefix, also
  // those of ids that no row names. False when some group of tables could
  // not be dropped (the others are dropped still), with the first group's
  // reason as the error text and its one record. A database that creation
  // refuses as not supported, or whose tables cannot be listed, is refused
  // alike and keeps every table. Tables that are not there are no failure:
  // a table prefix (or a SQLite file) that holds no tables of a repository
  // answers true and changes nothing.
  // Only tables of the repository under exactly this prefix go. Another
  // repository of the same schema is any other prefix under which an INFO
  // table exists in the repository's schema (see above), compared as the
  // database resolves names (the case of letters aside); a table whose
  // name is such a prefix followed by one of the engine's table codes
  // (built-in, NCOA, table sets, older versions' tables, per-id tables) is
  // that repository's and is never dropped, whatever it also spells under
  // this prefix: deleting "abj" leaves abJALERT of a repository "ab", and
  // deleting "ab" leaves abjALERT of a repository "abj". Where both
  // prefixes hold a repository, a name that both claim stays with either
  // drop, and goes with the drop of the one left after the other is gone.
  // Every other drop that the engine makes by a prefix (a field's
  // frequencies, a copy's per-id tables, an export with `drop`,
  // importTable) keeps to the same rule.
  virtual bool deleteRepositoryTables(const KvbString& connection,
                                      const KvbString& tablePrefix) = 0;
  // 11: removes a file; a file that is not there is no failure.
  virtual bool deleteFile(const KvbString& path) = 0;
  // 12-14: the list file's entries. addRepository may list a repository
  // before it is created: a file entry is not opened, so neither its file
  // nor its folder need exist yet, and a connection entry is opened only to
  // check its database, whose table prefix need hold no repository yet.
  // Refused, logged once and leaving the file as it was: "The repository
  // cannot be added to the list: its name is empty", "The repository
  // "<name>" cannot be added to the list: the connection string is empty"
  // ("the database file path is empty" with `isFile`), the same start
  // followed by "Repository Library" message 1305 for a name that is listed
  // already; a connection entry must open a database that the engine
  // supports, else the same start is followed by why it does not ("the
  // repository in the database "<connection>" could not be opened:
  // <reason>", or the refusal of the database). The name "$defaultrepos",
  // which the file would read back as the line that names the default
  // repository, is refused with "The repository "$defaultrepos" cannot be
  // added to the list: the name is reserved for the line that names the
  // default repository".
  // A value that the list file would not read back as written, one that
  // holds a line break or a NUL byte, is refused alike, naming the value:
  // "The repository "<name>" cannot be added to the list: the connection
  // string holds a line break, which the list file cannot hold" ("the
  // database file path" with `isFile`, "the table prefix"; "a NUL byte");
  // such a name is not repeated: "The repository cannot be added to the
  // list: its name holds a line break, which the list file cannot hold".
  // Each of the three calls fails when the list file cannot be written,
  // with "The repository list file "<path>" could not be written.
  // <reason>"; and when the list would grow past the 64 MB (67108864
  // bytes) that the reader takes, so that the file stays readable, with
  // "The repository list file "<path>" could not be written. It would be
  // larger than the 67108864 bytes that a list file may hold.". The file
  // stays as it was after every refusal.
  virtual bool addRepository(const KvbString& connection,
                             const KvbString& tablePrefix,
                             const KvbString& name, bool isFile) = 0;
  // Removes the first entry named `name`; a name that is not in the list is
  // no failure: it answers true and leaves the list as it was.
  virtual bool removeRepository(const KvbString& name) = 0;
  // Makes the entry named `name` the default; a name that is not in the
  // list leaves the list without a default.
  virtual bool setDefaultRepository(const KvbString& name) = 0;
  // 15-17: open a repository by file path, by the name it is registered
  // under in the repository configuration registry (lookupRepository), or
  // by connection string. A `poolId` that is not empty shares one
  // connection among the repositories opened by connection string with the
  // same pool id and connection string (they must not use it at the same
  // time); a null or empty one, or a SQLite file, gives the repository a
  // connection of its own. An open that fails names the database (a file
  // by its path, a connection string without its password) and the table
  // prefix: "The repository in the database "<connection>" with the table
  // prefix "<prefix>" could not be opened: <reason>". With `check` a
  // database of a kind the engine does not support is refused as creation
  // refuses it, and only a current repository is accepted: a database
  // without one is refused with "The database "<connection>" with the
  // table prefix "<prefix>" holds no repository: it has no INFO table" (or
  // "its INFO table holds no version row"; a file is named as 'database
  // file "<path>"'), an older one with "Repository Library" message 1052,
  // one newer than the engine with a text that names both versions. Each
  // of these failures is logged once. The caller owns the result.
  virtual Repository* openFileRepository(const KvbString& path, bool check) = 0;
  virtual Repository* openRepository(const KvbString& name, bool check,
                                     const char* poolId) = 0;
  virtual Repository* openRepositoryConnection(const KvbString& connection,
                                               const KvbString& tablePrefix,
                                               bool check,
                                               const char* poolId) = 0;
  // 18: the connection, prefix and kind of a name registered in the
  // repository configuration registry (getRepositoryConfigurationManager()
  // of kvreposres); the list file is not read. A name that is not
  // registered fails, logged once, with "Repository Library" message 1306
  // and where the name was looked for: "The repository "<name>" is not
  // known. It is not registered in the repository configuration registry,
  // where opening by name looks; the list file "<path>" is not read." (the
  // part about the list file only when the object has one).
  virtual bool lookupRepository(const KvbString& name, KvbString* connection,
                                KvbString* tablePrefix, bool* isFile) = 0;
  // 19: creates a repository, writing its statements to `ddlFile` instead
  // of running them when `ddlFile` is not null.
  virtual bool createRepositoryWithDDLFile(const KvbString& connection,
                                           const KvbString& tablePrefix,
                                           const KvbString& ddlFile) = 0;
  // 20: replaces the content of `target` by the content of `source`; both
  // current (neither older nor newer than the engine), and not the same
  // repository: one object given as both is refused with "The source and
  // the target of the copy are the same repository" before anything is
  // read; two opens of one repository are told by their UUIDs (a UUID
  // that cannot be read refuses the copy with "The copy could not tell
  // whether the source and the target are the same repository:
  // <reason>"). KEYVAL and INFO keep the
  // target's rows. The whole copy, per-id tables included, is one
  // transaction on the target: a copy that
  // fails or is interrupted leaves the target as it was. The target's id
  // counters are raised to the ids copied. The source is read as its own
  // connection sees it: rows that a transaction open on that connection
  // holds are copied with the rest; rows that other connections have not
  // committed are not. A failed statement of the copy is named in the error
  // text, followed by the database's reason. The indexes of the per-id
  // tables are no reason to fail the copy: one that cannot be made is
  // logged and left out.
  virtual bool copyRepository(Repository* source, Repository* target) = 0;
};

#endif  // REPOSADMIN_REPOSITORY_ADMIN_H_
