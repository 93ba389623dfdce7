// RepositoryAdminImpl: the administration object behind RepositoryAdmin. It
// keeps the host's repository list file, opens repositories by file path,
// connection string or registered name, and creates them or writes their
// statements to a DDL script. Its operations are spread over files by
// subject: repositoryadminimpl.cpp (the object, small operations, opening),
// repos_list_file.cpp (the list file), repos_create.cpp (creating and DDL
// scripts).
#ifndef ADMIN_REPOSITORYADMINIMPL_H_
#define ADMIN_REPOSITORYADMINIMPL_H_

#include <functional>
#include <mutex>
#include <vector>

#include "rda/rda_thread_texts.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository_admin.h"
#include "schema/staged_file.h"

class DDLCB;
class KvLogger;
class RepositoryImpl;

// One repository of the list file.
struct RepositoryEntry {
  KvbString name{""};
  KvbString connection{""};  // connection string, or the path of a file entry
  KvbString tablePrefix{""};
  KvbString typeText{""};     // filled by listRepositories
  KvbString versionText{""};  // filled by listRepositories
  int version = -1;           // -1 while not learnt
  int kind = 0;               // repository kind; 0 while not learnt
  bool unreadable = false;    // its version rows could not be read
  bool isDefault = false;
  bool isFile = false;  // a SQLite file rather than a connection string
};

// The name of the list file's line that names the default repository.
constexpr char kDefaultReposName[] = "$defaultrepos";

class RepositoryAdminImpl : public RepositoryAdmin {
 public:
  // Bit 0 of `flags`: use no list file (`path` is then ignored). A list
  // file that can be neither found nor ruled out leaves the reason in the
  // error text, which makes the creating export fail.
  RepositoryAdminImpl(int flags, const KvbString& path);
  ~RepositoryAdminImpl() override;
  RepositoryAdminImpl(const RepositoryAdminImpl&) = delete;
  RepositoryAdminImpl& operator=(const RepositoryAdminImpl&) = delete;

  // --- RepositoryAdmin (positions in repository_admin.h) ---
  // The calling thread's last failure on this object; "" when it has none.
  KvbString getErrorMessage() override { return texts_.lastOr(KvbString("")); }
  void release() override;
  void setStatusCallback(RepositoryStatusCallback* callback) override;
  int getCurrentVersion() override;
  KvbString getConfigFile() override { return listFilePath_; }
  bool listRepositories(bool connect, bool currentOnly) override;
  bool getNextRepository(KvbString* name, bool* isDefault,
                         KvbString* connection, KvbString* tablePrefix,
                         KvbString* typeText, KvbString* versionText,
                         bool* isFile) override;
  bool createRepository(const KvbString& connection,
                        const KvbString& tablePrefix) override;
  bool createFileRepository(const KvbString& path) override;
  bool deleteRepositoryTables(const KvbString& connection,
                              const KvbString& tablePrefix) override;
  bool deleteFile(const KvbString& path) override;
  bool addRepository(const KvbString& connection, const KvbString& tablePrefix,
                     const KvbString& name, bool isFile) override;
  bool removeRepository(const KvbString& name) override;
  bool setDefaultRepository(const KvbString& name) override;
  Repository* openFileRepository(const KvbString& path, bool check) override;
  Repository* openRepository(const KvbString& name, bool check,
                             const char* poolId) override;
  Repository* openRepositoryConnection(const KvbString& connection,
                                       const KvbString& tablePrefix, bool check,
                                       const char* poolId) override;
  bool lookupRepository(const KvbString& name, KvbString* connection,
                        KvbString* tablePrefix, bool* isFile) override;
  bool createRepositoryWithDDLFile(const KvbString& connection,
                                   const KvbString& tablePrefix,
                                   const KvbString& ddlFile) override;
  bool copyRepository(Repository* source, Repository* target) override;

  // --- the list file (repos_list_file.cpp) ---
  // Reads the list file into the entries, replacing them. A missing file is
  // an empty list. On failure the entries read so far stay.
  bool loadRepositoryList();
  // Writes the entries to the list file through a temporary file that
  // replaces it in one step; a failure leaves the old file as it was.
  bool saveRepositoryList();
  const std::vector<RepositoryEntry>& entries() const { return entries_; }

 private:
  // The two routes of opening: a SQLite file, or a connection string.
  // Null on failure with the error text set.
  RepositoryImpl* openFileImpl(const KvbString& path, bool check);
  RepositoryImpl* openConnectionImpl(const KvbString& connection,
                                     const KvbString& tablePrefix, bool check,
                                     const KvbString& poolId);
  // A new repository on `connection` of `connectionKind` (0 a SQLite file,
  // 1 a connection string), opened with the kInit* `flags` of
  // RepositoryImpl::init; null when its init fails, which it logs.
  RepositoryImpl* initRepository(int flags, int connectionKind,
                                 const KvbString& connection,
                                 const KvbString& tablePrefix,
                                 const KvbString& poolId);
  // With `check`, releases a repository that is not usableAsItIs, logs why
  // and answers null; otherwise answers the repository, warning of what
  // the open lacks (RepositoryImpl::warnOfWhatTheOpenLacks).
  RepositoryImpl* checkedVersion(RepositoryImpl* repository, bool check);
  // Whether the engine supports the repository's database and the
  // repository is of the engine's version; false with the reason: the
  // database holds no repository (noRepositoryText), or "The repository in
  // the <place> could not be opened: " followed by why its version is not
  // the engine's: an older one (message 1052), one of a newer engine, or
  // one whose versions cannot be read.
  bool usableAsItIs(RepositoryImpl* repository);
  // False, with the text of the connection's isDBMSSupported, when the
  // engine does not support the repository's database: its tables could be
  // neither created, listed nor dropped there.
  bool supportedDatabase(RepositoryImpl* repository);

  // deleteFile without its answer logged.
  bool removeFile(const KvbString& path);
  // Makes `text` the calling thread's error text and answers false (or null
  // through the callers).
  bool fail(const KvbString& text);
  // "Repository Library" message `id`, raised at `line`.
  template <typename... Args>
  static KvbString message(int line, int id, const Args&... args) {
    return kvb_get_message("repositoryadminimpl", line, "Repository Library",
                           id, args...);
  }
  // fail() with that message.
  template <typename... Args>
  bool failMessage(int line, int id, const Args&... args) {
    return fail(message(line, id, args...));
  }
  // Logs the calling thread's error text at level 5, unless it was
  // logged already.
  void logError(int line);
  // The answer of a public operation: when it failed, the calling thread's
  // text is logged once at level 5, unless a step of the operation logged
  // the failure already (logError, or the repository it opened).
  bool answered(bool ok, int line = __builtin_LINE());

  // The list operations' helpers.
  // Runs `operation`, a list operation or a step of one, and logs its
  // failure once at level 5. The list's own steps (checking an entry,
  // reading, locking and writing the file) only leave their reason in the
  // error text, so every failure of the list is logged here, once.
  bool listOperation(const std::function<bool()>& operation);
  // As a listOperation, holding the list's lock: reads the list, runs
  // `change` on the entries and saves them. Nothing is saved when a step
  // fails.
  bool changeRepositoryList(const std::function<bool()>& change);
  // Fails with the message of lexer result `code`, followed by the text of
  // the NP_FIO_* code `fileCode` when it is not 0.
  bool lexerFailure(int code, int lineNumber, int fileCode = 0);
  // Adds the text of the NP_FIO_* code `fileCode` to the error text and
  // answers false.
  bool addFileReason(int fileCode);
  void learnRepositoryKind(RepositoryEntry* entry);
  // False with the reason when the list file cannot take the entry: a name
  // or a connection (a file path when `isFile`) that is empty, a reserved
  // name, a line break.
  bool checkNewEntry(const KvbString& name, const KvbString& connection,
                     const KvbString& tablePrefix, bool isFile);
  // False with the reason, as a refusal of the entry `name`, when
  // `connection` does not open a database that the engine supports.
  bool checkNewConnection(const KvbString& name, const KvbString& connection,
                          const KvbString& tablePrefix);

  // copyRepository without its answer logged (repos_copy.cpp).
  bool copy(Repository* source, Repository* target);

  // The creation's steps.
  // Creates the repository in the database that `repository` was opened on
  // to be created, or writes its statements to `ddlFile` when that is not
  // null; releases the repository. A null `repository` (its open failed
  // and logged why) answers false.
  bool createIn(RepositoryImpl* repository, const KvbString& ddlFile);
  bool mayCreateIn(RepositoryImpl* repository);
  // The refusal of a database in which `existing`, a table that the
  // creation would make, shows a repository; false.
  bool refuseHeld(RepositoryImpl* repository, const KvbString& existing);
  bool startScript(RepositoryImpl* repository, const KvbString& path,
                   DDLCB* script);
  bool createStructure(RepositoryImpl* repository, bool checkEmpty);
  void removeEmptyFile(const KvbString& path);
  bool createBuiltInTables(RepositoryImpl* repository, bool ncoa);
  bool failOnRepository(RepositoryImpl* repository);

  // The error texts, one per thread: threads that open repositories share
  // the object.
  RDA_ThreadTexts texts_;
  // The list as last read, and the walk over it, under listMutex_: threads
  // that share the object take turns at them (a walk is the object's, not
  // the thread's).
  std::mutex listMutex_;
  std::vector<RepositoryEntry> entries_;
  int nextIndex_ = 0;
  bool currentOnly_ = false;
  KvLogger* logger_;
  KvbString listFilePath_{""};
  // The host's callback; null while it installed none. Repositories get
  // this pointer, never one into this object, because they may outlive it.
  RepositoryStatusCallback* statusCallback_ = nullptr;  // not owned
};

// A list-file value with each single quote doubled.
KvbString quoteListValue(const KvbString& value);

// The text of a DDL script's line prefix or suffix with every "^p" turned
// into a line feed; `size` counts the text's terminating NUL. A size below
// 2 gives the null string. `out` may be the string the text came from.
void expandLineBreakMarks(const char* text, int size, KvbString* out);

// Writes the statements of a repository's creation to a script file, one
// per line between the configured prefix and suffix
// ("BASE/REPOS_DDL_LINE_PREFIX", "BASE/REPOS_DDL_LINE_SUFFIX"). The script
// takes the place of an older file only once it is complete.
class DDLCB : public ReposDDLCallback {
 public:
  DDLCB() = default;
  DDLCB(const DDLCB&) = delete;
  DDLCB& operator=(const DDLCB&) = delete;

  // Starts the script and reads the prefix and suffix. False with
  // *errorText set when the file cannot be opened.
  bool open(const KvbString& path, KvbString* errorText);
  // Appends prefix, statement, suffix and a line feed; false once a write
  // has failed.
  bool writeStatement(const KvbString& statement) override;
  // With `complete`, puts the script in place; false with *errorText set
  // when some part of it did not reach the file. Without, drops it.
  bool close(bool complete, KvbString* errorText);

 private:
  StagedFile file_;
  KvbString linePrefix_{""};
  KvbString lineSuffix_{""};
};

#endif  // ADMIN_REPOSITORYADMINIMPL_H_
