// RepositoryImportExportManagerImpl: the import/export manager. It owns the
// serialization context and one object manager per object type, resets the
// context before each call, tells it which object is being written, picks
// the object manager by type name and runs every import in one transaction.
#ifndef IMPEXP_REPIMPEXPMGR_H_
#define IMPEXP_REPIMPEXPMGR_H_

#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "access/held_repository.h"
#include "kvlogging/kvlogging.h"
#include "reposadmin/import_export_manager.h"

class Repository;
class RepositoryFolderManager;
class RepositoryObjectManagerImpl;

class RepositoryImportExportManagerImpl : public RepositoryImportExportManager {
 public:
  explicit RepositoryImportExportManagerImpl(Repository* repository);
  ~RepositoryImportExportManagerImpl() override;
  RepositoryImportExportManagerImpl(const RepositoryImportExportManagerImpl&) =
      delete;
  RepositoryImportExportManagerImpl& operator=(
      const RepositoryImportExportManagerImpl&) = delete;

  bool exportObject(int objectId, const KvbString& typeName,
                    const KvbString& uuid, KvbString& output,
                    KvbString& errorText,
                    RepositoryActionEvent* listener) override;
  bool exportObjectByPath(const KvbString& objectPath,
                          const KvbString& typeName, KvbString& output,
                          KvbString& errorText) override;
  bool importObjectToPath(const KvbString& objectPath, const KvbString& input,
                          KvbString& errorText) override;
  bool deleteObjectByPath(const KvbString& objectPath,
                          const KvbString& typeName,
                          KvbString& errorText) override;
  bool setSerializationOption(bool pretty) override;
  bool importObject(const KvbString& input, int folderId,
                    KvbString& errorText) override;
  bool updateObject(int objectId, const KvbString& typeName,
                    const KvbString& uuid, const KvbString& input, int folderId,
                    KvbString& errorText,
                    RepositoryActionEvent* listener) override;

  // What the object managers and metadata objects reach through the owner.
  Repository* repository() const { return repository_.get(); }
  MetadataSerializationContext* context() const { return context_; }
  KvLogger* logger() const { return logger_; }
  // Writes `record` with the current serialization option.
  bool serializeObject(MetadataRecord* record, KvbString& output,
                       KvbString& errorText);
  // Tells the context the path of object `objectId` of `typeName`, or
  // "[UNKNOWN type Id=id UUID=uuid]" when it has none. An object of a type
  // kept in folders whose path cannot be found is logged, with the reason,
  // by the call that writes it once that call has succeeded: when it fails,
  // its own record says why. False, with the database's reason in
  // *errorText (when given), when the path cannot be read: a caller that
  // is told so fails.
  bool setObjectPath(int objectId, const KvbString& typeName,
                     const KvbString& uuid, KvbString* errorText = nullptr);
  // Logs `text` at level 5 (unless `logged`: the call that failed logged
  // the failure already), sends it as an error event, puts it into
  // errorText and answers false.
  bool fail(KvbString& errorText, const KvbString& text, bool logged = false);

 private:
  // Compares type names on their first 255 characters, exactly.
  struct TypeLess {
    bool operator()(const std::string& a, const std::string& b) const {
      return std::strncmp(a.c_str(), b.c_str(), 255) < 0;
    }
  };
  RepositoryObjectManagerImpl* managerOf(const KvbString& typeName) const;
  // The start of every call: true, with the context reset, when the
  // manager has its repository and its serialization context; else false,
  // logged once, with "<doing>: <what the manager lacks>" in errorText.
  bool begin(const KvbString& doing, KvbString& errorText);
  // A new folder manager of the repository, which the caller releases; null
  // when there is none, with a text naming `objectPath`, logged once.
  RepositoryFolderManager* folderManager(const KvbString& objectPath,
                                         KvbString& errorText);
  bool resolveObjectPath(const KvbString& objectPath, const KvbString& typeName,
                         int& folderId, int& objectId, KvbString& itemName,
                         KvbString& uuid, KvbString& errorText);
  // Runs `work` in one transaction of the repository's connection: what
  // it wrote stays only when it answers true. A failure is reported as
  // `reported` does, unless `work` logged it itself and said so in
  // *logged.
  bool inTransaction(const KvbString& doing, KvbString& errorText,
                     const std::function<bool()>& work,
                     const bool* logged = nullptr);
  // Answers `done`. A failure of an object manager's work becomes
  // "<doing>: <errorText>" (an empty errorText becomes `doing`), logged
  // here once: the data-access objects of the object managers are quiet.
  // A success logs the object path that setObjectPath could not find.
  bool reported(bool done, const KvbString& doing, KvbString& errorText);

  HeldRepository repository_;
  MetadataSerializationContext* context_;
  bool serializationOption_ = true;
  KvLogger* logger_;
  KvbString unfoundPath_;  // see setObjectPath
  std::map<std::string, RepositoryObjectManagerImpl*, TypeLess> managers_;
};

#endif  // IMPEXP_REPIMPEXPMGR_H_
