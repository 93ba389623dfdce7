// FaultVfs: a SQLite VFS that wraps the default one and fails one chosen
// write or read, for tests of what the engine does when a disk fails, fills
// up or gives a damaged page. While a FaultVfs lives it is SQLite's default
// VFS, so every database the engine opens in that time goes through it.
// Writes of every file (database and journals) are counted from arm(); the
// k-th fails with the chosen error, and the writes after it succeed again.
// Reads of database files (not journals) are counted from armReads() the
// same way. A connection reads a page from the file only when its cache
// lacks it: at the start of each transaction it reads the file's change
// counter, and keeps its cached pages unless another connection changed
// the file meanwhile (see invalidateCaches in the tests).
#ifndef TESTS_FAULT_FAULT_VFS_H_
#define TESTS_FAULT_FAULT_VFS_H_

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <functional>

class FaultVfs {
 public:
  FaultVfs() : real_(sqlite3_vfs_find(nullptr)) {
    instance_ = this;
    vfs_ = *real_;
    vfs_.zName = "kvfault";
    vfs_.szOsFile = static_cast<int>(sizeof(File)) + real_->szOsFile;
    vfs_.pNext = nullptr;
    vfs_.xOpen = &FaultVfs::open;
    sqlite3_vfs_register(&vfs_, 1);
  }
  ~FaultVfs() {
    sqlite3_vfs_register(real_, 1);
    sqlite3_vfs_unregister(&vfs_);
    instance_ = nullptr;
  }
  FaultVfs(const FaultVfs&) = delete;
  FaultVfs& operator=(const FaultVfs&) = delete;

  // Counts writes from now on; write `failAt` (from 1) fails with `error`
  // (SQLITE_IOERR_WRITE or SQLITE_FULL). 0 fails none.
  void arm(int failAt, int error) {
    writes_ = 0;
    fired_ = false;
    error_ = error;
    failAt_ = failAt;
  }
  void disarm() { failAt_ = 0; }
  bool fired() const { return fired_; }
  int writes() const { return writes_; }

  // Counts reads of database files from now on; read `failAt` (from 1)
  // fails with `error` (SQLITE_IOERR_READ, or SQLITE_CORRUPT for a page
  // that cannot be read as written). 0 only counts.
  void armReads(int failAt, int error) {
    reads_ = 0;
    readFired_ = false;
    readError_ = error;
    readFailAt_ = failAt;
    countingReads_ = true;
  }
  void disarmReads() {
    readFailAt_ = 0;
    countingReads_ = false;
  }
  bool readFired() const { return readFired_; }
  int reads() const { return reads_; }

  // Runs `operation` with its k-th write failing with `error`, for k =
  // first, first + step, ... until a run in which the fault did not fire;
  // `check(k, fired, answer)` follows each run and answers whether to go
  // on. Returns the number of runs in which the fault fired.
  int failEachWrite(int error, int first, int step,
                    const std::function<bool()>& operation,
                    const std::function<bool(int, bool, bool)>& check) {
    int faults = 0;
    for (int k = first;; k += step) {
      arm(k, error);
      const bool answer = operation();
      disarm();
      faults += fired_;
      if (!check(k, fired_, answer) || !fired_) return faults;
    }
  }

 private:
  // An open file: our methods in front of the real VFS's file, which
  // follows this struct in the same allocation.
  struct File {
    sqlite3_file base;
    sqlite3_io_methods methods;
    bool database;  // a database file, not a journal
    sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
  };
  static sqlite3_file* real(sqlite3_file* file) {
    return reinterpret_cast<File*>(file)->real();
  }

  static int open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file,
                  int flags, int* outFlags) {
    File* ours = reinterpret_cast<File*>(file);
    std::memset(ours, 0, sizeof(File));
    const int rc = instance_->real_->xOpen(instance_->real_, name, ours->real(),
                                           flags, outFlags);
    // A real file with methods is closed through ours, also when its open
    // failed.
    if (!ours->real()->pMethods) return rc;
    ours->methods = *ours->real()->pMethods;
    ours->methods.xClose = &FaultVfs::close;
    ours->methods.xWrite = &FaultVfs::write;
    ours->database = (flags & SQLITE_OPEN_MAIN_DB) != 0;
    forward(ours->methods);
    ours->methods.xRead = &FaultVfs::read;
    ours->base.pMethods = &ours->methods;
    return rc;
  }

  static int close(sqlite3_file* file) {
    const int rc = real(file)->pMethods->xClose(real(file));
    file->pMethods = nullptr;
    return rc;
  }

  static int write(sqlite3_file* file, const void* data, int amount,
                   sqlite3_int64 offset) {
    FaultVfs* self = instance_;
    if (self->failAt_ > 0 && ++self->writes_ == self->failAt_) {
      self->fired_ = true;
      return self->error_;
    }
    return real(file)->pMethods->xWrite(real(file), data, amount, offset);
  }

  static int read(sqlite3_file* file, void* data, int amount,
                  sqlite3_int64 offset) {
    FaultVfs* self = instance_;
    if (self->countingReads_ && reinterpret_cast<File*>(file)->database &&
        ++self->reads_ == self->readFailAt_) {
      self->readFired_ = true;
      return self->readError_;
    }
    return real(file)->pMethods->xRead(real(file), data, amount, offset);
  }

  // Every other method passes the call to the real file.
  static void forward(sqlite3_io_methods& m) {
    m.xTruncate = [](sqlite3_file* f, sqlite3_int64 size) {
      return real(f)->pMethods->xTruncate(real(f), size);
    };
    m.xSync = [](sqlite3_file* f, int flags) {
      return real(f)->pMethods->xSync(real(f), flags);
    };
    m.xFileSize = [](sqlite3_file* f, sqlite3_int64* size) {
      return real(f)->pMethods->xFileSize(real(f), size);
    };
    m.xLock = [](sqlite3_file* f, int level) {
      return real(f)->pMethods->xLock(real(f), level);
    };
    m.xUnlock = [](sqlite3_file* f, int level) {
      return real(f)->pMethods->xUnlock(real(f), level);
    };
    m.xCheckReservedLock = [](sqlite3_file* f, int* out) {
      return real(f)->pMethods->xCheckReservedLock(real(f), out);
    };
    m.xFileControl = [](sqlite3_file* f, int op, void* arg) {
      return real(f)->pMethods->xFileControl(real(f), op, arg);
    };
    m.xSectorSize = [](sqlite3_file* f) {
      return real(f)->pMethods->xSectorSize(real(f));
    };
    m.xDeviceCharacteristics = [](sqlite3_file* f) {
      return real(f)->pMethods->xDeviceCharacteristics(real(f));
    };
    if (m.iVersion < 2) return;
    m.xShmMap = [](sqlite3_file* f, int page, int size, int extend,
                   void volatile** out) {
      return real(f)->pMethods->xShmMap(real(f), page, size, extend, out);
    };
    m.xShmLock = [](sqlite3_file* f, int offset, int n, int flags) {
      return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
    };
    m.xShmBarrier = [](sqlite3_file* f) {
      real(f)->pMethods->xShmBarrier(real(f));
    };
    m.xShmUnmap = [](sqlite3_file* f, int remove) {
      return real(f)->pMethods->xShmUnmap(real(f), remove);
    };
    if (m.iVersion < 3) return;
    m.xFetch = [](sqlite3_file* f, sqlite3_int64 o, int n, void** out) {
      return real(f)->pMethods->xFetch(real(f), o, n, out);
    };
    m.xUnfetch = [](sqlite3_file* f, sqlite3_int64 o, void* p) {
      return real(f)->pMethods->xUnfetch(real(f), o, p);
    };
  }

  static inline FaultVfs* instance_ = nullptr;
  sqlite3_vfs* real_;
  sqlite3_vfs vfs_;
  std::atomic<int> failAt_{0};
  std::atomic<int> writes_{0};
  std::atomic<bool> fired_{false};
  int error_ = SQLITE_IOERR_WRITE;
  std::atomic<bool> countingReads_{false};
  std::atomic<int> readFailAt_{0};
  std::atomic<int> reads_{0};
  std::atomic<bool> readFired_{false};
  int readError_ = SQLITE_IOERR_READ;
};

#endif  // TESTS_FAULT_FAULT_VFS_H_
