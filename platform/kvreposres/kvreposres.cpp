// kvreposres: in-process repository resource services: a registry of named
// repositories filled by the host, an event manager that records change
// notifications and forwards them to listeners, and the name rules.
#include "kvreposres/kvreposres.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <utility>

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
    RepositoryEvent event =
        objectEvent("postUriEvent", reposUUID, changeType, KvbString(), -1);
    event.uriText = uriText;
    event.identity = identity;
    return post(event);
  }

  std::vector<RepositoryEvent> getEvents() const override {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return events_;
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
    std::lock_guard<std::recursive_mutex> guard(mutex_);
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
  std::vector<RepositoryEvent> events_;
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
