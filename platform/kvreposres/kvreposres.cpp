// kvreposres: in-process repository resource services: a registry of named
// repositories filled by the host, an event manager that records change
// notifications and forwards them to listeners, the name rules, and the
// resource manager of lineage identities.
#include "kvreposres/kvreposres.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <deque>
#include <initializer_list>
#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "kvsync/kvnocancellation.h"

// ---------------------------------------------------------------------------
// Repository configuration.

namespace {

struct RepositorySettings {
  int type = 0;
  KvbString connection;
  KvbString tablePrefix;
};

class ConfigurationEntryImpl : public RepositoryConfigurationEntry {
 public:
  explicit ConfigurationEntryImpl(RepositorySettings settings)
      : settings_(std::move(settings)) {}

  int getType() const override { return settings_.type; }
  void getConnection(KvbString& out) const override {
    out = settings_.connection;
  }
  void getTablePrefix(KvbString& out) const override {
    out = settings_.tablePrefix;
  }
  void release() override { delete this; }

 private:
  RepositorySettings settings_;
};

class ConfigurationManagerImpl : public RepositoryConfigurationManager {
 public:
  RepositoryConfigurationEntry* findRepository(const KvbString& name) override {
    if (name.isNull()) return nullptr;
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = entries_.find(name.str());
    if (found == entries_.end()) return nullptr;
    return new ConfigurationEntryImpl(found->second);
  }

  void release() override {}

  bool registerRepository(const KvbString& name, int type,
                          const KvbString& connection,
                          const KvbString& tablePrefix) override {
    if (name.isEmpty() || (type != 0 && type != 1) || connection.isEmpty())
      return false;
    RepositorySettings settings;
    settings.type = type;
    settings.connection = connection;
    settings.tablePrefix = tablePrefix.isNull() ? KvbString("") : tablePrefix;
    std::lock_guard<std::mutex> guard(mutex_);
    entries_[name.str()] = std::move(settings);
    return true;
  }

  bool unregisterRepository(const KvbString& name) override {
    if (name.isNull()) return false;
    std::lock_guard<std::mutex> guard(mutex_);
    return entries_.erase(name.str()) > 0;
  }

  void clear() override {
    std::lock_guard<std::mutex> guard(mutex_);
    entries_.clear();
  }

 private:
  std::mutex mutex_;
  std::map<std::string, RepositorySettings> entries_;
};

}  // namespace

RepositoryConfigurationManager* getRepositoryConfigurationManager() {
  // Never destroyed, so that it outlives every static user.
  static auto* manager = new ConfigurationManagerImpl;
  return manager;
}

// ---------------------------------------------------------------------------
// Repository events.

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// `text` with each "%XX" escape turned back into its byte.
std::string percentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const int high =
        text[i] == '%' && i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
    const int low = high < 0 ? -1 : hexDigit(text[i + 2]);
    if (low < 0) {
      out += text[i];
    } else {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return out;
}

// The object type that a repository URI names in its query
// ("repos://<server>/<path>?type=<type>", see getReposURIFromComponents),
// decoded; null when it names none. The path's own "?" is escaped, so the
// first one starts the query.
KvbString uriObjectType(const KvbString& uri) {
  const std::string& text = uri.str();
  size_t at = text.find('?');
  if (at == std::string::npos) return KvbString();
  for (++at; at < text.size();) {
    const size_t end = std::min(text.find('&', at), text.size());
    if (text.compare(at, 5, "type=") == 0)
      return KvbString(percentDecoded(text.substr(at + 5, end - at - 5)));
    at = end + 1;
  }
  return KvbString();
}

// The fields that every notification has.
RepositoryEvent objectEvent(const char* operation, const KvbString& reposUUID,
                            int changeType, const KvbString& objectType,
                            int objectId) {
  RepositoryEvent event;
  event.operation = operation;
  event.reposUUID = reposUUID;
  event.changeType = changeType;
  event.objectType = objectType;
  event.objectId = objectId;
  return event;
}

class EventManagerImpl : public RepositoryEventManager {
 public:
  bool objectChanged(const KvbString& reposUUID, int changeType,
                     const KvbString& objectType, int objectId,
                     const KvbString& objectUUID) override {
    RepositoryEvent event = objectEvent("objectChanged", reposUUID, changeType,
                                        objectType, objectId);
    event.objectUUID = objectUUID;
    return post(event);
  }

  bool postObjectEvent(const KvbString& reposUUID, int changeType,
                       const KvbString& objectType, int objectId,
                       const KvbString& keyText) override {
    RepositoryEvent event = objectEvent("postObjectEvent", reposUUID,
                                        changeType, objectType, objectId);
    event.keyText = keyText;
    return post(event);
  }

  bool postObjectChange(const KvbString& reposUUID, int changeType,
                        const KvbString& typeName, int objectId,
                        const KvbString& objectUUID) override {
    RepositoryEvent event = objectEvent("postObjectChange", reposUUID,
                                        changeType, typeName, objectId);
    event.objectUUID = objectUUID;
    return post(event);
  }

  bool postRenameEvent(const KvbString& reposUUID, const KvbString& objectType,
                       int objectId, const KvbString& objectUUID,
                       const KvbString& oldName,
                       const KvbString& newName) override {
    RepositoryEvent event =
        objectEvent("postRenameEvent", reposUUID, -1, objectType, objectId);
    event.objectUUID = objectUUID;
    event.oldName = oldName;
    event.newName = newName;
    return post(event);
  }

  bool postUriEvent(const KvbString& reposUUID, const KvbString& uriText,
                    int changeType, const KvbString& identity) override {
    RepositoryEvent event = objectEvent("postUriEvent", reposUUID, changeType,
                                        uriObjectType(uriText), -1);
    event.uriText = uriText;
    event.identity = identity;
    return post(event);
  }

  std::vector<RepositoryEvent> getEvents() const override {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return std::vector<RepositoryEvent>(events_.begin(), events_.end());
  }

  void clearEvents() override {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    events_.clear();
  }

  void addListener(RepositoryEventListener* listener) override {
    if (!listener) return;
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (!isListening(listener)) listeners_.push_back(listener);
  }

  // Taking the same lock as post() makes the call wait for a notification
  // in flight on another thread.
  void removeListener(RepositoryEventListener* listener) override {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    listeners_.erase(
        std::remove(listeners_.begin(), listeners_.end(), listener),
        listeners_.end());
  }

 private:
  bool isListening(RepositoryEventListener* listener) const {
    return std::find(listeners_.begin(), listeners_.end(), listener) !=
           listeners_.end();
  }

  // Records the event and forwards it while holding the lock, so that
  // listeners see events one at a time and in the recorded order. The lock
  // is recursive: a listener may post, read the record or change the
  // listeners. A listener removed during the forwarding is not called.
  bool post(const RepositoryEvent& event) {
    // A listener's thread is cancelled after the call that posts, not
    // unwound through the handler below, which would end the process.
    KvNoCancellation noCancellation;
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (events_.size() == kRepositoryEventsKept) events_.pop_front();
    events_.push_back(event);
    std::vector<RepositoryEventListener*> listeners = listeners_;
    for (RepositoryEventListener* listener : listeners) {
      if (!isListening(listener)) continue;
      try {
        listener->onRepositoryEvent(event);
      } catch (...) {
        // A failing listener must not fail the poster's operation.
      }
    }
    return true;
  }

  mutable std::recursive_mutex mutex_;
  std::deque<RepositoryEvent> events_;  // the latest kRepositoryEventsKept
  std::vector<RepositoryEventListener*> listeners_;
};

std::atomic<bool> g_eventManagerEnabled{true};

}  // namespace

RepositoryEventManager* getRepositoryEventManager() {
  // Never destroyed, so that it outlives every static user.
  static auto* manager = new EventManagerImpl;
  return g_eventManagerEnabled.load() ? manager : nullptr;
}

void setRepositoryEventManagerEnabled(bool enabled) {
  g_eventManagerEnabled.store(enabled);
}

const char* getRepositoryEventChangeTypeString(int changeType) {
  switch (changeType) {
    case kChangeAdded:
      return "ADDED";
    case kChangeDeleted:
      return "DELETED";
    case kChangeUpdated:
      return "UPDATED";
    default:
      return "UNKNOWN";
  }
}

// ---------------------------------------------------------------------------
// Object names.

namespace {

// Bytes of 0x80 and above belong to multi-byte UTF-8 characters and are
// always allowed, so a replacement never splits a character.
bool isInvalidNameByte(unsigned char c) {
  return c == '/' || c == '\\' || c < 0x20 || c == 0x7F;
}

}  // namespace

bool isInvalidCharInName(const KvbString& name) {
  const std::string& text = name.str();
  return std::any_of(text.begin(), text.end(), [](char c) {
    return isInvalidNameByte(static_cast<unsigned char>(c));
  });
}

bool getNormalizedNameValue(const KvbString& name, KvbString& out) {
  if (name.isEmpty()) return false;
  std::string text = name.str();
  for (char& c : text) {
    if (isInvalidNameByte(static_cast<unsigned char>(c))) c = '_';
  }
  out = KvbString(std::move(text));
  return true;
}

// ---------------------------------------------------------------------------
// Resource identities: "<kind>:" and the parts joined by "|", with "\" and
// "|" inside a part escaped by a "\", so that every identity splits back
// into exactly the parts it was made of.

namespace {

KvbString joinIdentity(const char* kind,
                       std::initializer_list<KvbString> parts) {
  std::string text = std::string(kind) + ":";
  bool first = true;
  for (const KvbString& part : parts) {
    if (!first) text += '|';
    first = false;
    for (char c : part.str()) {
      if (c == '\\' || c == '|') text += '\\';
      text += c;
    }
  }
  return KvbString(std::move(text));
}

// The parts of an identity of `kind`; false when it is of another kind or
// has another number of parts.
bool splitIdentity(const KvbString& identity, const char* kind, size_t count,
                   std::vector<KvbString>& parts) {
  const std::string prefix = std::string(kind) + ":";
  const std::string& text = identity.str();
  if (text.compare(0, prefix.size(), prefix) != 0) return false;
  std::vector<std::string> found(1);
  for (size_t i = prefix.size(); i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      found.back() += text[++i];
    } else if (text[i] == '|') {
      found.emplace_back();
    } else {
      found.back() += text[i];
    }
  }
  if (found.size() != count) return false;
  parts.assign(found.begin(), found.end());
  return true;
}

// The value of `key` (without regard to case) in "KEY=value;..." text.
bool connectionValue(const KvbString& connection, const char* key,
                     KvbString& value) {
  const std::string& text = connection.str();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const size_t equals = text.find('=', start);
    if (equals < end) {
      KvbString name(text.substr(start, equals - start));
      if (name.trim().equals(key, true)) {
        value = KvbString(text.substr(equals + 1, end - equals - 1));
        value.trim();
        return true;
      }
    }
    start = end + 1;
  }
  return false;
}

class ResourceManagerImpl : public KvResourceManager {
 public:
  void release() override { delete this; }

  bool getDatabaseIdentity(const KvbString& connection,
                           const KvbString& connectionType,
                           KvbString& identity) override {
    if (connection.isEmpty()) return false;
    identity = joinIdentity("database", {connectionType, connection});
    return true;
  }
  bool getTableIdentity(const KvbString& connection,
                        const KvbString& connectionType,
                        const KvbString& catalog, const KvbString& schema,
                        const KvbString& table, KvbString& identity) override {
    if (table.isEmpty()) return false;
    identity = joinIdentity(
        "table", {connectionType, connection, catalog, schema, table});
    return true;
  }
  bool getObjectIdentity(const KvbString& context, const KvbString& type,
                         const KvbString& id, const KvbString& uuid,
                         KvbString& identity) override {
    if (type.isEmpty() || (id.isEmpty() && uuid.isEmpty())) return false;
    identity = joinIdentity("object", {context, type, id, uuid});
    return true;
  }
  bool getFileIdentity(const KvbString& path, const KvbString& fileName,
                       KvbString& identity) override {
    if (path.isEmpty()) return false;
    identity = joinIdentity("file", {path, fileName});
    return true;
  }
  bool splitFileIdentity(const KvbString& identity, KvbString& path,
                         KvbString& fileName) override {
    std::vector<KvbString> parts;
    if (!splitIdentity(identity, "file", 2, parts)) return false;
    path = parts[0];
    fileName = parts[1];
    return true;
  }
  bool getDatabaseName(const KvbString& connection, KvbString& name) override {
    for (const char* key : {"DSN", "DATABASE", "FILE"}) {
      KvbString value;
      if (connectionValue(connection, key, value) && !value.isEmpty()) {
        name = value;
        return true;
      }
    }
    return false;
  }
  bool getConnectionType(const KvbString& connection,
                         KvbString& connectionType) override {
    KvbString kind;
    if (!connectionValue(connection, "KVXTYPE", kind) ||
        !kind.equals("SQLITE", true))
      return false;
    connectionType = "SQLITE";
    return true;
  }
  bool splitTableIdentity(const KvbString& identity, KvbString& connection,
                          KvbString& connectionType, KvbString& catalog,
                          KvbString& schema, KvbString& table) override {
    std::vector<KvbString> parts;
    if (!splitIdentity(identity, "table", 5, parts)) return false;
    connectionType = parts[0];
    connection = parts[1];
    catalog = parts[2];
    schema = parts[3];
    table = parts[4];
    return true;
  }
  bool splitDatabaseIdentity(const KvbString& identity, KvbString& connection,
                             KvbString& connectionType) override {
    std::vector<KvbString> parts;
    if (!splitIdentity(identity, "database", 2, parts)) return false;
    connectionType = parts[0];
    connection = parts[1];
    return true;
  }
};

bool isSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

KvResourceManager* createKvResourceManager() {
  return new (std::nothrow) ResourceManagerImpl();
}

bool generateURIReferenceFromFilename(const KvbString& fileName,
                                      KvbString& uri) {
  const std::string& text = fileName.str();
  const bool drive = text.size() > 2 &&
                     std::isalpha(static_cast<unsigned char>(text[0])) &&
                     text[1] == ':' && isSeparator(text[2]);
  if (text.empty() || !(text[0] == '/' || drive)) return false;
  std::string path = text;
  std::replace(path.begin(), path.end(), '\\', '/');
  uri = KvbString((drive ? "file:///" : "file://") + path);
  return true;
}

bool getComponentsFromFilesystemPath(const KvbString& path, KvbString& folder,
                                     KvbString& stem, KvbString& fileName) {
  const std::string& text = path.str();
  const size_t cut = text.find_last_of("/\\");
  const std::string name =
      cut == std::string::npos ? text : text.substr(cut + 1);
  if (name.empty()) return false;
  folder = KvbString(cut == std::string::npos ? "" : text.substr(0, cut));
  const size_t dot = name.rfind('.');
  stem = KvbString(dot == std::string::npos || dot == 0 ? name
                                                        : name.substr(0, dot));
  fileName = KvbString(name);
  return true;
}
