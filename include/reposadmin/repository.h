// Repository: one open repository. It owns the connection, reads the
// version rows, creates and upgrades the structure, and hands out every
// data-access object and manager. Hosts call its operations by position,
// so their order is fixed.
//
// Release order. The caller ends a Repository with release(), and each
// object it handed out (data-access objects, managers, the field-mapping
// administration object) with that object's own end (see createX below).
// These may come in any order: like a SQLite connection closed with
// sqlite3_close_v2, the repository's connection stays open until the last
// of them has ended, and an object used after the repository's release()
// works on that connection as before. The repository's own operations must
// not be called after its release(). A second release() of the repository
// is refused, with an error record in the log and no other effect, while a
// manager or the field-mapping administration object it handed out is still
// alive (they keep the repository itself); otherwise the pointer is gone
// after the first release(), as after free(), and a second call is the
// host's fault that the engine cannot detect. The same holds for a second
// end of any other object. Cursors may be read and released after the
// object that gave them: an in-memory copy needs nothing else, and a
// database cursor (paramSelect) keeps its own hold on the database
// connection.
//
// A lost server session (a restart, a failover, a terminated session, an
// idle timeout). The repository stays usable and need not be opened again:
// a call outside a host transaction goes on over a new session opened as
// the first, from any object and thread of the repository. A host
// transaction, a load or a database cursor that had state in the lost
// session fails with "The connection to the database was lost; ..." and
// what went with it, and the call after its end goes on. While the server
// cannot be reached each call fails with "... cannot be opened again:
// <reason>" and the next one tries again. No call pings the server. See
// docs/guide.md, "When the server goes away".
#ifndef REPOSADMIN_REPOSITORY_H_
#define REPOSADMIN_REPOSITORY_H_

#include <cstdarg>

#include "kvbase/kvbase.h"

class CommonRepositoryDataAccess;
class DacConnection;
class ExplorerRepositoryDataAccess;
class FieldMappingAdminObject;
class MetadataRepositoryDataAccess;
class MonitorRepositoryDataAccess;
class NCOARepositoryDataAccess;
class ProfileRepositoryDataAccess;
class RefDataRepositoryDataAccess;
class ReposDataAccessCursor;
class RepositoryEventQueueManager;
class RepositoryFolderManager;
class RepositoryImpactAnalysis;
class RepositoryImportExportManager;

class Repository {
 public:
  // 0
  virtual ~Repository() = default;
  // 1: the text of the calling thread's last failure on the repository,
  // answered at once, without waiting for the connection; a call refused
  // because another thread held the connection too long leaves that
  // refusal.
  virtual KvbString getErrorMessage() = 0;
  // 2: ends the caller's hold on the repository; the connection closes and
  // the object is deleted once nothing it handed out holds it any more.
  virtual void release() = 0;
  // 3: connection kind (0 SQLite file, 1 connection string), repository
  // kind (0 none, 1 profile, 2 monitor, 3 unified, 4 profile and monitor),
  // version and second version. The second version is the monitor
  // version of a repository of kind 4, whose version is then its profile
  // version; it is 0 for every other kind. Each pointer that is not null
  // is written. Version rows that the open could not read are read again
  // by this call and by 5-7, 11-12, 41 and 42, so that a failure that has
  // passed (a busy file) leaves the object working; while they cannot be
  // read, the kind and versions are 0, 5-7 answer false, 41 answers 0 and
  // 11, 12 and 42 answer false with the read's reason. The table sets that
  // the open could not list are likewise listed again by 11, a copy, a
  // deletion of the tables and a table file's load, which fail with "The
  // repository's table sets could not be read: <reason>" while they cannot
  // be.
  virtual void getVersionInfo(int* connectionKind, int* repositoryKind,
                              int* version, int* secondVersion) = 0;
  // 4: the connection text and table prefix the repository was opened with;
  // a null pointer is skipped.
  virtual void getConnectionInfo(KvbString* connection,
                                 KvbString* tablePrefix) = 0;
  // 5-7: a unified repository of version 7; NCOA version 1; minor version 4
  // or more.
  virtual bool isCurrentVersion() = 0;
  virtual bool isNCOAVersionCurrent() = 0;
  virtual bool isMinorVersionCurrent() = 0;
  // 8-10: reserved; true without effect. Their argument types are not part
  // of any contract.
  virtual bool reserved8(void*) = 0;
  virtual bool reserved9(void*, void*) = 0;
  virtual bool reserved10() = 0;
  // 11-12: bring the repository, or its NCOA part, up to the current schema,
  // in one transaction: a failed upgrade leaves the repository as it was.
  // upgradeRepository answers false with "Repository Library" message 1314
  // when nothing needs doing (not logged); upgradeNCOA then answers true. An
  // old file-based profile repository is moved into a new file of the current
  // schema, the old file kept beside it as
  // "<path>.backup". upgradeNCOA refuses a repository that is not unified
  // yet (message 1052; 1050 when it was never created). Both refuse a
  // repository of a version newer than the engine's (a newer major version,
  // or version 7 with a minor version above 4), with a text that names its
  // version and the engine's: what a newer engine wrote is not rewritten.
  // Both refuse, before anything else, a repository whose version rows
  // cannot be read, with the read's reason. An upgrade that was stored but
  // whose version rows cannot be read back answers false with "The upgrade
  // was stored, but the repository's version rows could not be read back:
  // <reason>"; the next call that needs them reads them again.
  // A step that the status callback stops ends either upgrade, and the
  // move, there (see repository_status_callback.h).
  virtual bool upgradeRepository() = 0;
  virtual bool upgradeNCOA() = 0;
  // 13: the longest inline text of the connection; 0 without one.
  virtual int getMaxTextLength() = 0;
  // 14: reserved; true without effect.
  virtual bool reserved14(void*, void*, void*, void*, void*) = 0;
  // 15-20: write per-id distribution tables to XML files in `folder`, by the
  // dates of their runs (both bounds included) or by an id range [from,
  // to); with `drop` each table is dropped once its file is complete. Ids
  // without a table are skipped; a range ends at the largest id of the
  // table that owns the ids; a negative or reversed range is refused.
  virtual bool exportFrqdstTablesByJobDate(const KvbDate& from,
                                           const KvbDate& to,
                                           const KvbString& folder,
                                           bool drop) = 0;
  virtual bool exportFrqdstTables(int from, int to, const KvbString& folder,
                                  bool drop) = 0;
  virtual bool exportHsmTablesByExecDate(const KvbDate& from, const KvbDate& to,
                                         const KvbString& folder,
                                         bool drop) = 0;
  virtual bool exportHsmTables(int from, int to, const KvbString& folder,
                               bool drop) = 0;
  virtual bool exportHcmTablesByExecDate(const KvbDate& from, const KvbDate& to,
                                         const KvbString& folder,
                                         bool drop) = 0;
  virtual bool exportHcmTables(int from, int to, const KvbString& folder,
                               bool drop) = 0;
  // 21: replaces the table named in a table XML file by the file's content,
  // in one transaction. The whole file is checked first (names, types, one
  // value of its column's type per column, indexes on its columns); a file
  // that names one of the repository's own tables is refused, and so is one
  // that names a table of another repository of the schema (see
  // RepositoryAdmin::deleteRepositoryTables): "The table file names the
  // table <table>, which is also a table of the repository under the table
  // prefix "<prefix>"; a table file cannot replace it" (the table without
  // its schema, the other prefix as the database's catalogue spells it).
  // An index that the file names as the engine names it under some prefix
  // (a default index name, a field's frequency indexes) is made under this
  // repository's prefix; other index names stay as the file gives them.
  virtual bool importTable(const KvbString& path) = 0;
  // 22: reserved; true without effect.
  virtual bool reserved22(void*) = 0;
  // 23-30: factories. Each call gives a new object that the caller owns and
  // ends with its release(); null when the object cannot be made. Each
  // keeps the repository's connection open while it lives.
  virtual CommonRepositoryDataAccess* createCommonDataAccess() = 0;
  virtual ProfileRepositoryDataAccess* createProfileDataAccess() = 0;
  virtual ExplorerRepositoryDataAccess* createExplorerDataAccess() = 0;
  virtual MetadataRepositoryDataAccess* createMetadataDataAccess() = 0;
  virtual MonitorRepositoryDataAccess* createMonitorDataAccess() = 0;
  virtual RefDataRepositoryDataAccess* createRefDataDataAccess() = 0;
  virtual RepositoryFolderManager* createFolderManager() = 0;
  virtual RepositoryImpactAnalysis* createImpactAnalysis() = 0;
  // 31: I_UUID of the "KVREPOSITORY" INFO row; empty without a connection,
  // such a row or, in an older repository, an I_UUID column (no failure),
  // and when the row cannot be read, with the reason in getErrorMessage().
  virtual KvbString getRepositoryUUID() = 0;
  // 32: the caller ends the manager with `delete` (its interface has no
  // release(); position 0 is its destructor).
  virtual RepositoryImportExportManager* createImportExportManager() = 0;
  // 33-37: the key/value store (table KEYVAL); deleteKey answers false,
  // not logged, when no value is stored under the key. The empty key is a
  // key like any other: a value is stored under it as given.
  virtual bool setKeyValue(const KvbString& key, const KvbString& value) = 0;
  virtual bool getKeyValue(const KvbString& key, KvbString* value) = 0;
  virtual bool deleteKey(const KvbString& key) = 0;
  virtual ReposDataAccessCursor* getKeys() = 0;
  virtual ReposDataAccessCursor* getKeyValues() = 0;
  // 38: the caller ends the manager with `delete`, as the import/export
  // manager.
  virtual RepositoryEventQueueManager* createEventQueueManager() = 0;
  // 39-40: factories as 23-30; the caller ends each object with release().
  virtual NCOARepositoryDataAccess* createNCOADataAccess() = 0;
  virtual FieldMappingAdminObject* createFieldMappingAdmin() = 0;
  // 41: I_MVER of the "KVREPOSITORY" row; 0 for a repository written
  // before the minor version, whose INFO table has no I_MVER column. An
  // I_MVER that is there but cannot be read makes the version rows
  // unreadable (see getVersionInfo).
  virtual int getMinorVersion() = 0;
  // 42: the version row of an INFO type (0 when there is none). False,
  // with the reason, when the version rows cannot be read. The third
  // argument is not read.
  virtual bool getInfoVersion(const KvbString& infoType, int* version,
                              void* unused) = 0;
  // 43-44: ids of the counter `key` (UCURID); a count below 1 gives one.
  virtual bool getNextID(const KvbString& key, int* id,
                         KvbString* errorText) = 0;
  virtual bool getNextIDs(const KvbString& key, int count, int* firstId,
                          KvbString* errorText) = 0;
  // 45: the data-access-library connection; null for a SQLite file.
  virtual DacConnection* getDacConnection() = 0;
  // 46-48: names; a null result pointer answers true without work. The
  // last argument of 46 and 47 is not read.
  virtual bool getTableName(const KvbString& name, bool quote,
                            KvbString* tableName, void* unused) = 0;
  virtual bool getSchemaName(KvbString* schema, void* unused) = 0;
  virtual bool getTablePrefix(bool withoutSchema, KvbString* prefix,
                              KvbString* errorText) = 0;
  // 49-50: long texts, as the connection's readLongText and writeLongText.
  virtual bool readLongText(const KvbString& text, KvbString* full, int) = 0;
  virtual bool writeLongText(const KvbString& text, KvbString* marker, int) = 0;
  // 51: a query with n `KvbDatavar*` values bound to its markers; null on
  // failure with errorText (when given) set.
  virtual ReposDataAccessCursor* paramSelect(const char* sql,
                                             KvbString* errorText, int n,
                                             ...) = 0;
};

#endif  // REPOSADMIN_REPOSITORY_H_
