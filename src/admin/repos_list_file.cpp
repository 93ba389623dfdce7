// The repository list file: its reader and writer, and the list operations
// of the administration object. Each line is
//   'name'='connection' 'table prefix' 'C' (or 'F' for a SQLite file)
// and the line "$defaultrepos='name'" names the default repository. Every
// operation reads the file again, so the file on disk is the truth. Changes
// are made under a lock file beside the list ("<list>.lock"), so that
// writers in several processes take turns; readers need no lock, since the
// list is replaced in one step.
#include <cctype>
#include <string>

#include "admin/repositoryadminimpl.h"
#include "admin/repositoryimpl.h"
#include "kvfileio/kvfileio.h"
#include "kvlexer/kvlexer.h"
#include "kvsync/kvnocancellation.h"

namespace {

// The lexer state, ended when it goes out of scope.
class ListLexer {
 public:
  ListLexer() : state_() {}
  ~ListLexer() { np_lex_clean(&state_); }
  ListLexer(const ListLexer&) = delete;
  ListLexer& operator=(const ListLexer&) = delete;
  NpLexState* operator->() { return &state_; }
  NpLexState* get() { return &state_; }

 private:
  NpLexState state_;
};

// The name tokens of a line joined with one blank.
KvbString joinedName(char** tokens, int count) {
  KvbString name("");
  for (int i = 0; i < count; ++i) {
    if (i > 0) name.append(' ');
    name.append(tokens[i]);
  }
  return name;
}

// An entry from a line's one to three values: the connection (or data
// source name, or file path), the table prefix and the type letter.
RepositoryEntry entryFromValues(const KvbString& name, char** values,
                                int count) {
  RepositoryEntry entry;
  entry.name = name;
  entry.tablePrefix = count > 1 ? values[1] : "";
  const KvbString type = count > 2 ? values[2] : "";
  if (type == "C") {
    entry.connection = values[0];
  } else if (type == "F") {
    entry.connection = values[0];
    entry.isFile = true;
  } else {
    entry.connection = kvbStringFormat("DSN=%s;KVXTYPE=ODBC;", values[0]);
  }
  return entry;
}

// The writer's form of the whole list.
KvbString listFileText(const std::vector<RepositoryEntry>& entries) {
  KvbString text("");
  if (entries.empty()) return text;
  const RepositoryEntry* byDefault = &entries.front();
  for (const RepositoryEntry& entry : entries)
    if (entry.isDefault) byDefault = &entry;
  text.append(kDefaultReposName)
      .append("='")
      .append(quoteListValue(byDefault->name))
      .append("'\r\n");
  for (const RepositoryEntry& entry : entries) {
    text.append('\'')
        .append(quoteListValue(entry.name))
        .append("'='")
        .append(quoteListValue(entry.connection))
        .append("' '")
        .append(quoteListValue(entry.tablePrefix))
        .append(entry.isFile ? "' 'F'\r\n" : "' 'C'\r\n");
  }
  return text;
}

// What of `value` a list-file line cannot hold as written, named for the
// refusal's text, or null when it holds the whole value: the lexer reads
// one line at a time, so a line break would cut the entry in two, and it
// takes a NUL byte for a syntax error, which fails every later list call.
// A quote is doubled and a blank or "=" is quoted, so both read back.
const char* unlistable(const KvbString& value) {
  for (char c : value.str()) {
    if (c == '\n' || c == '\r') return "a line break";
    if (c == '\0') return "a NUL byte";
  }
  return nullptr;
}

// The start of the text of a list that cannot be written, which names the
// file; the reason follows.
KvbString notWritten(const KvbString& path) {
  return kvbStringFormat(
      "The repository list file \"%S\" could not be written.", path);
}

// The text of an entry that is not added, which names the repository when
// it has a name.
KvbString notAdded(const KvbString& name, const KvbString& reason) {
  const KvbString subject =
      name.isEmpty() ? KvbString("The repository")
                     : kvbStringFormat("The repository \"%S\"", name);
  return subject + " cannot be added to the list: " + reason;
}

// A text that begins with a capital, as a reason after a colon: its first
// letter in lower case, unless the word is all capitals ("ODBC").
KvbString asReason(const KvbString& text) {
  std::string reason = text.str();
  if (reason.size() > 1 &&
      std::isupper(static_cast<unsigned char>(reason[0])) &&
      std::islower(static_cast<unsigned char>(reason[1])))
    reason[0] =
        static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  return KvbString(reason);
}
}  // namespace

KvbString quoteListValue(const KvbString& value) {
  KvbString quoted("");
  for (char c : value.str()) {
    quoted.append(c);
    if (c == '\'') quoted.append(c);
  }
  return quoted;
}

// ---------------------------------------------------------------------------
// Reading and writing

bool RepositoryAdminImpl::lexerFailure(int code, int lineNumber, int fileCode) {
  const char* path = listFilePath_.asCstr();
  switch (code) {
    case NP_LEX_ENOMEM:
      failMessage(__LINE__, 1298);
      break;
    case NP_LEX_ESYNTAX:
      failMessage(__LINE__, 1300, path, lineNumber);
      break;
    case NP_LEX_EOPEN:
      failMessage(__LINE__, 1301, path);
      break;
    case NP_LEX_EREAD:
      failMessage(__LINE__, 1302, path);
      break;
    default:
      failMessage(__LINE__, 1299);
  }
  if (fileCode != NP_FIO_OK) addFileReason(fileCode);
  return false;
}

bool RepositoryAdminImpl::addFileReason(int fileCode) {
  return fail(getErrorMessage() + " " + np_fio_errdesc(fileCode));
}

bool RepositoryAdminImpl::loadRepositoryList() {
  entries_.clear();
  if (listFilePath_.isEmpty()) return failMessage(__LINE__, 1295);
  const char* path = listFilePath_.asCstr();
  if (np_fio_stat(path) == NP_FIO_ENOTFOUND) return true;
  ListLexer lexer;
  int result = np_lex_init(lexer.get(), path);
  if (result != NP_LEX_OK) return lexerFailure(result, 0, lexer->fileError);
  KvbString defaultName;  // null until a "$defaultrepos" line names one
  while ((result = np_lex_line(lexer.get(), 0)) != NP_LEX_EOF) {
    // The lexer counts the lines of the file, so the number names the line
    // even where blank and comment lines were skipped.
    const int line = lexer->lineNumber;
    if (result != NP_LEX_OK) return lexerFailure(result, line);
    int nameCount = 0;
    int valueCount = 0;
    if (np_lex_split(lexer->tokens, lexer->tokenCount, &nameCount,
                     &valueCount) != 0)
      return lexerFailure(0, line);
    if (valueCount > 3) return failMessage(__LINE__, 1296, path, line);
    if (valueCount < 1) return failMessage(__LINE__, 1297, path, line);
    const KvbString name = joinedName(lexer->tokens, nameCount);
    char** values = lexer->tokens + nameCount + 1;
    if (name == kDefaultReposName)
      defaultName = values[0];
    else
      entries_.push_back(entryFromValues(name, values, valueCount));
  }
  for (RepositoryEntry& entry : entries_)
    entry.isDefault = entry.name == defaultName;
  return true;
}

bool RepositoryAdminImpl::saveRepositoryList() {
  if (listFilePath_.isEmpty()) return failMessage(__LINE__, 1295);
  const KvbString text = listFileText(entries_);
  // The reader refuses a larger file, which would fail every later list
  // call.
  if (text.length() > NP_FIO_READ_LIMIT)
    return fail(notWritten(listFilePath_) +
                kvbStringFormat(" It would be larger than the %zu bytes that "
                                "a list file may hold.",
                                NP_FIO_READ_LIMIT));
  // The list is replaced in one step: at every moment either the old or
  // the new list is on disk, and a failure leaves the old one.
  const int result =
      np_fio_replace(listFilePath_.asCstr(), text.asCstr(), text.length());
  if (result == NP_FIO_OK) return true;
  fail(notWritten(listFilePath_));
  return addFileReason(result);
}

bool RepositoryAdminImpl::listOperation(
    const std::function<bool()>& operation) {
  if (operation()) return true;
  logError(__LINE__);
  return false;
}

bool RepositoryAdminImpl::changeRepositoryList(
    const std::function<bool()>& change) {
  std::lock_guard<std::mutex> guard(listMutex_);
  return listOperation([&] {
    if (listFilePath_.isEmpty()) return failMessage(__LINE__, 1295);
    NpFioLock* lock = nullptr;
    const int result = np_fio_lock((listFilePath_ + ".lock").asCstr(), &lock);
    if (result != NP_FIO_OK) {
      fail(notWritten(listFilePath_));
      return addFileReason(result);
    }
    // Read again under the lock: another writer may have changed the list
    // since this object last read it.
    const bool ok = loadRepositoryList() && change() && saveRepositoryList();
    np_fio_unlock(lock);
    return ok;
  });
}

// ---------------------------------------------------------------------------
// Walking the list

void RepositoryAdminImpl::learnRepositoryKind(RepositoryEntry* entry) {
  RepositoryImpl* repository =
      entry->isFile ? openFileImpl(entry->connection, false)
                    : openConnectionImpl(entry->connection, entry->tablePrefix,
                                         false, "");
  entry->version = -1;
  entry->kind = 0;
  if (!repository) {
    entry->typeText = "Failed to connect";
    entry->versionText = "n/a";
    return;
  }
  // Version rows that cannot be read are no sign of a database without a
  // repository: the entry says why they could not be read.
  entry->unreadable = !repository->versionsRead();
  if (entry->unreadable) {
    entry->typeText = "Unreadable repository";
    entry->versionText = repository->versionRefusal("The repository");
    repository->release();
    return;
  }
  int connectionKind = 0;
  int secondVersion = 0;
  repository->getVersionInfo(&connectionKind, &entry->kind, &entry->version,
                             &secondVersion);
  repository->release();
  entry->typeText = "Velmoran repository";
  switch (entry->kind) {
    case kKindProfile:
      entry->versionText = kvbStringFormat("Profile v.%d", entry->version);
      break;
    case kKindMonitor:
      entry->versionText = kvbStringFormat("Monitor v.%d", entry->version);
      break;
    case kKindUnified:
      entry->versionText = kvbStringFormat("Unified v.%d", entry->version);
      break;
    case kKindProfileAndMonitor:
      entry->versionText = kvbStringFormat("Profile v.%d/Monitor v.%d",
                                           entry->version, secondVersion);
      break;
    default:
      entry->typeText = "No repository";
      entry->versionText = "n/a";
  }
}

bool RepositoryAdminImpl::listRepositories(bool connect, bool currentOnly) {
  KvNoCancellation noCancellation;
  std::lock_guard<std::mutex> guard(listMutex_);
  currentOnly_ = currentOnly;
  nextIndex_ = 0;
  if (!listOperation([this] { return loadRepositoryList(); })) return false;
  for (RepositoryEntry& entry : entries_) {
    if (connect) {
      learnRepositoryKind(&entry);
    } else {
      entry.typeText = "unknown";
      entry.versionText = "unknown";
      entry.version = -1;
      entry.kind = 0;
      entry.unreadable = false;
    }
  }
  return true;
}

bool RepositoryAdminImpl::getNextRepository(KvbString* name, bool* isDefault,
                                            KvbString* connection,
                                            KvbString* tablePrefix,
                                            KvbString* typeText,
                                            KvbString* versionText,
                                            bool* isFile) {
  std::lock_guard<std::mutex> guard(listMutex_);
  const int count = static_cast<int>(entries_.size());
  // An entry whose versions could not be read may be current: it is
  // listed, and its texts say why it is unreadable.
  auto isCurrent = [](const RepositoryEntry& entry) {
    return entry.unreadable ||
           (entry.version == kCurrentVersion && entry.kind == kKindUnified);
  };
  if (currentOnly_)
    while (nextIndex_ < count && !isCurrent(entries_[nextIndex_])) ++nextIndex_;
  if (nextIndex_ >= count) return false;
  const RepositoryEntry& entry = entries_[nextIndex_++];
  // A host may leave out the outputs it has no use for.
  if (name) *name = entry.name;
  if (isDefault) *isDefault = entry.isDefault;
  if (connection) *connection = entry.connection;
  if (tablePrefix) *tablePrefix = entry.tablePrefix;
  if (typeText) *typeText = entry.typeText;
  if (versionText) *versionText = entry.versionText;
  if (isFile) *isFile = entry.isFile;
  return true;
}

// ---------------------------------------------------------------------------
// Changing the list

bool RepositoryAdminImpl::checkNewEntry(const KvbString& name,
                                        const KvbString& connection,
                                        const KvbString& tablePrefix,
                                        bool isFile) {
  // An entry without a name cannot be chosen, and one without a database
  // fails every open.
  if (name.isEmpty()) return fail(notAdded(name, "its name is empty"));
  if (connection.isEmpty())
    return fail(notAdded(name, isFile ? "the database file path is empty"
                                      : "the connection string is empty"));
  // The file would read such an entry back as the default line.
  if (name == kDefaultReposName)
    return fail(notAdded(name,
                         "the name is reserved for the line that names the "
                         "default repository"));
  // A name that the file cannot hold is not repeated in the text, which
  // would carry its line break or NUL byte into the log.
  const struct {
    const KvbString& value;
    const char* what;
  } values[] = {
      {name, "its name"},
      {connection,
       isFile ? "the database file path" : "the connection string"},
      {tablePrefix, "the table prefix"},
  };
  for (const auto& value : values)
    if (const char* what = unlistable(value.value))
      return fail(notAdded(&value.value == &name ? KvbString("") : name,
                           kvbStringFormat("%s holds %s, which the list "
                                           "file cannot hold",
                                           value.what, what)));
  return true;
}

bool RepositoryAdminImpl::checkNewConnection(const KvbString& name,
                                             const KvbString& connection,
                                             const KvbString& tablePrefix) {
  // The open's own text becomes the reason of the refusal, logged once by
  // the caller, so the open logs nothing.
  RepositoryImpl* repository =
      initRepository(kInitUnlogged, 1, connection, tablePrefix, "");
  const bool supported = repository && supportedDatabase(repository);
  if (repository) repository->release();
  return supported || fail(notAdded(name, asReason(getErrorMessage())));
}

bool RepositoryAdminImpl::addRepository(const KvbString& connection,
                                        const KvbString& tablePrefix,
                                        const KvbString& name, bool isFile) {
  KvNoCancellation noCancellation;
  // A connection entry must reach a database that the engine supports.
  if (!listOperation([&] {
        return checkNewEntry(name, connection, tablePrefix, isFile) &&
               (isFile || checkNewConnection(name, connection, tablePrefix));
      }))
    return false;
  RepositoryEntry entry;
  entry.name = name;
  entry.connection = connection;
  entry.tablePrefix = tablePrefix.isNull() ? KvbString("") : tablePrefix;
  entry.isFile = isFile;
  return changeRepositoryList([&] {
    for (const RepositoryEntry& listed : entries_)
      if (listed.name == name)
        return fail(notAdded(name, message(__LINE__, 1305)));
    entries_.push_back(entry);
    return true;
  });
}

bool RepositoryAdminImpl::removeRepository(const KvbString& name) {
  KvNoCancellation noCancellation;
  return changeRepositoryList([&] {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->name == name) {
        entries_.erase(it);
        break;
      }
    }
    return true;
  });
}

bool RepositoryAdminImpl::setDefaultRepository(const KvbString& name) {
  KvNoCancellation noCancellation;
  return changeRepositoryList([&] {
    for (RepositoryEntry& entry : entries_)
      entry.isDefault = entry.name == name;
    return true;
  });
}
