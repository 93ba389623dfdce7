// HeldRepository: a manager's pointer to the repository that made it. While
// it points to a repository of this engine it holds it, so that the
// repository, and the connection it owns, stay alive until the last object
// it handed out is gone, whatever the order in which the host releases them.
#ifndef ADMIN_HELD_REPOSITORY_H_
#define ADMIN_HELD_REPOSITORY_H_

class Repository;
class RepositoryImpl;

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
  RepositoryImpl* held_ = nullptr;  // repository_ when it is this engine's
};

#endif  // ADMIN_HELD_REPOSITORY_H_
