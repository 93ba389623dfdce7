// HeldRepository: a manager's pointer to the repository that made it. While
// it points to a repository of this engine it holds it, so that the
// repository, and the connection it owns, stay alive until the last object
// it handed out is gone, whatever the order in which the host releases them.
//
// The managers that keep a repository (folders, events, impact analysis,
// import and export, field mappings) see it only through
// HoldableRepository, which the engine's repository implements.
#ifndef ACCESS_HELD_REPOSITORY_H_
#define ACCESS_HELD_REPOSITORY_H_

class ReposDataAccess;
class Repository;

// What a repository of this engine offers the objects it hands out.
class HoldableRepository {
 public:
  virtual ~HoldableRepository() = default;
  // One more hold. The host's own hold is ended by release(); the last hold
  // to end closes the connection and deletes the repository.
  virtual void hold() = 0;
  // Ends one hold.
  virtual void letGo() = 0;
  // The connection the repository owns; null when it has none.
  virtual ReposDataAccess* getDataAccess() const = 0;
};

class HeldRepository {
 public:
  explicit HeldRepository(Repository* repository = nullptr) {
    reset(repository);
  }
  ~HeldRepository() { reset(nullptr); }
  HeldRepository(const HeldRepository&) = delete;
  HeldRepository& operator=(const HeldRepository&) = delete;

  // Gives up the current repository and holds `repository` (may be null).
  void reset(Repository* repository);
  Repository* get() const { return repository_; }
  Repository* operator->() const { return repository_; }
  explicit operator bool() const { return repository_ != nullptr; }

 private:
  Repository* repository_ = nullptr;
  HoldableRepository* held_ = nullptr;  // repository_ when it is this engine's
};

// The connection of `repository` when it is one of this engine's; null for
// any other, and for null.
ReposDataAccess* repositoryConnection(Repository* repository);

#endif  // ACCESS_HELD_REPOSITORY_H_
