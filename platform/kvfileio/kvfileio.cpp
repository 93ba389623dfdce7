// kvfileio: file I/O over POSIX calls and stdio buffering, with errno mapped
// to the NP_FIO_* codes and write errors kept on the handle until close.
#include "kvfileio/kvfileio.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

struct NpFioFile {
  FILE* stream = nullptr;
  int mode = 0;
  int error = NP_FIO_OK;  // first failure; later writes are refused with it
};

struct NpFioTextFile {
  NpFioFile file;
};

struct NpFioLock {
  int fd = -1;
};

namespace {

int codeFromErrno(int err) {
  switch (err) {
    case 0:
      return NP_FIO_ESYSTEM;  // a failure without a reason
    case EINVAL:
    case EBADF:
    case EFAULT:
      return NP_FIO_EARG;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return NP_FIO_EACCESS;
    case ENOENT:
    case ENOTDIR:
      return NP_FIO_ENOTFOUND;
    case EIO:
      return NP_FIO_EIO;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return NP_FIO_ENOSPACE;
    case EISDIR:
      return NP_FIO_EISDIR;
    case EEXIST:
    case ENOTEMPTY:
      return NP_FIO_EEXIST;
    case ENOMEM:
      return NP_FIO_ENOMEM;
    case ENAMETOOLONG:
      return NP_FIO_ENAMETOOLONG;
    case EMFILE:
    case ENFILE:
      return NP_FIO_ETOOMANY;
    case EXDEV:
      return NP_FIO_EXDEV;
    default:
      return NP_FIO_ESYSTEM;
  }
}

// open(2), tried again when a signal interrupts it.
int openRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

constexpr int kKnownModeBits =
    NP_FIO_READ | NP_FIO_WRITE | NP_FIO_CREATE | NP_FIO_TEXT | NP_FIO_TRUNC;

int openInto(const char* path, int mode, NpFioFile* file) {
  if (!path || (mode & ~kKnownModeBits) != 0) return NP_FIO_EARG;
  const bool read = (mode & NP_FIO_READ) != 0;
  const bool write = (mode & NP_FIO_WRITE) != 0;
  if (!read && !write) return NP_FIO_EARG;
  if ((mode & NP_FIO_TRUNC) && !write) return NP_FIO_EARG;

  int flags = O_CLOEXEC | (read && write ? O_RDWR
                           : write       ? O_WRONLY
                                         : O_RDONLY);
  if (mode & NP_FIO_CREATE) flags |= O_CREAT;
  if (mode & NP_FIO_TRUNC) flags |= O_TRUNC;

  const int fd = openRetrying(path, flags, 0666);
  if (fd < 0) return codeFromErrno(errno);

  // A folder opened for reading only is not refused by open(2).
  struct stat info;
  int code = NP_FIO_OK;
  if (::fstat(fd, &info) != 0)
    code = codeFromErrno(errno);
  else if (S_ISDIR(info.st_mode))
    code = NP_FIO_EISDIR;
  if (code != NP_FIO_OK) {
    ::close(fd);
    return code;
  }

  FILE* stream = ::fdopen(fd, read && write ? "r+" : write ? "w" : "r");
  if (!stream) {
    code = codeFromErrno(errno);
    ::close(fd);
    return code;
  }
  file->stream = stream;
  file->mode = mode;
  file->error = NP_FIO_OK;
  return NP_FIO_OK;
}

// Writes `length` bytes; on failure the code is kept on the handle.
int writeBytes(NpFioFile* file, const char* data, size_t length) {
  if (file->error != NP_FIO_OK) return file->error;
  if (!(file->mode & NP_FIO_WRITE)) return NP_FIO_EARG;
  if (length == 0) return NP_FIO_OK;
  errno = 0;
  if (std::fwrite(data, 1, length, file->stream) != length) {
    file->error = codeFromErrno(errno);
    return file->error;
  }
  return NP_FIO_OK;
}

int closeFile(NpFioFile* file) {
  int code = file->error;
  errno = 0;
  // fclose flushes and releases the stream even when the flush fails.
  if (std::fclose(file->stream) != 0 && code == NP_FIO_OK)
    code = codeFromErrno(errno);
  file->stream = nullptr;
  return code;
}

// Reads the open regular file `fd` whole into a malloc'ed buffer, stopping
// past NP_FIO_READ_LIMIT. `expected` (the size fstat gave, at most the
// limit) only sizes the first buffer: the file may change while it is read.
int readWhole(int fd, size_t expected, char** data, size_t* size) {
  size_t capacity = expected + 4096;
  char* buffer = static_cast<char*>(std::malloc(capacity + 1));
  size_t length = 0;
  while (buffer) {
    if (length == capacity) {
      if (length > NP_FIO_READ_LIMIT) break;
      capacity = std::min(capacity * 2, NP_FIO_READ_LIMIT + 1);
      char* grown = static_cast<char*>(std::realloc(buffer, capacity + 1));
      if (!grown) break;
      buffer = grown;
    }
    const ssize_t got = ::read(fd, buffer + length, capacity - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int code = codeFromErrno(errno);
      std::free(buffer);
      return code;
    }
    if (got == 0) {
      if (length > NP_FIO_READ_LIMIT) break;
      buffer[length] = '\0';
      *data = buffer;
      *size = length;
      return NP_FIO_OK;
    }
    length += static_cast<size_t>(got);
  }
  if (!buffer) return NP_FIO_ENOMEM;
  const bool tooLarge = length > NP_FIO_READ_LIMIT;
  std::free(buffer);
  return tooLarge ? NP_FIO_ETOOLARGE : NP_FIO_ENOMEM;
}

// Flushes the folder that holds `path`, so that a rename into it survives a
// crash. File systems that cannot flush a folder (EINVAL) are no failure.
int syncFolderOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const std::string folder = !slash          ? std::string(".")
                             : slash == path ? std::string("/")
                                             : std::string(path, slash - path);
  const int fd =
      openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return codeFromErrno(errno);
  int code = NP_FIO_OK;
  if (::fsync(fd) != 0 && errno != EINVAL) code = codeFromErrno(errno);
  ::close(fd);
  return code;
}

// Creates a new file of a unique name "<path>.t" + 6 random characters,
// with mode 0666 less the umask (mkstemp would give 0600).
int createUnique(const char* path, std::string* name, int* fd) {
  static const char kChars[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (::getrandom(random, sizeof random, 0) != sizeof random)
      return codeFromErrno(errno);
    *name = std::string(path) + ".t";
    for (unsigned char r : random) *name += kChars[r % (sizeof kChars - 1)];
    *fd = openRetrying(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                       0666);
    if (*fd >= 0) return NP_FIO_OK;
    if (errno != EEXIST) return codeFromErrno(errno);
  }
  return NP_FIO_EEXIST;
}

// Writes all `size` bytes of `data` to `fd` and flushes them to the disk.
int writeAndSync(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return codeFromErrno(errno);
    data += written;
    size -= static_cast<size_t>(written);
  }
  return ::fsync(fd) == 0 ? NP_FIO_OK : codeFromErrno(errno);
}

}  // namespace

int np_fio_stat(const char* path) {
  if (!path) return NP_FIO_EARG;
  struct stat info;
  if (::stat(path, &info) == 0) return NP_FIO_OK;
  return codeFromErrno(errno);
}

int np_fio_open(const char* path, int mode, NpFioFile** handle) {
  if (!handle) return NP_FIO_EARG;
  *handle = nullptr;
  NpFioFile* file = new (std::nothrow) NpFioFile;
  if (!file) return NP_FIO_ENOMEM;
  const int code = openInto(path, mode, file);
  if (code != NP_FIO_OK) {
    delete file;
    return code;
  }
  *handle = file;
  return NP_FIO_OK;
}

int np_fio_puts(NpFioFile* handle, const char* text) {
  if (!handle || !handle->stream || !text) return NP_FIO_EARG;
  return writeBytes(handle, text, std::strlen(text));
}

int np_fio_close(NpFioFile* handle) {
  if (!handle || !handle->stream) return NP_FIO_EARG;
  const int code = closeFile(handle);
  delete handle;
  return code;
}

int np_fio_read_file(const char* path, char** data, size_t* size) {
  if (!data || !size) return NP_FIO_EARG;
  *data = nullptr;
  *size = 0;
  if (!path) return NP_FIO_EARG;
  // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
  const int fd = openRetrying(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return codeFromErrno(errno);
  struct stat info;
  int code = NP_FIO_OK;
  if (::fstat(fd, &info) != 0)
    code = codeFromErrno(errno);
  else if (S_ISDIR(info.st_mode))
    code = NP_FIO_EISDIR;
  else if (!S_ISREG(info.st_mode))
    code = NP_FIO_ENOTREG;
  else if (static_cast<unsigned long long>(info.st_size) > NP_FIO_READ_LIMIT)
    code = NP_FIO_ETOOLARGE;
  else
    code = readWhole(fd, static_cast<size_t>(info.st_size), data, size);
  ::close(fd);
  return code;
}

int np_fio_replace(const char* path, const char* data, size_t size) {
  if (!path || (!data && size > 0)) return NP_FIO_EARG;
  std::string temporary;
  int fd = -1;
  int code = createUnique(path, &temporary, &fd);
  if (code != NP_FIO_OK) return code;
  code = writeAndSync(fd, data, size);
  if (::close(fd) != 0 && code == NP_FIO_OK) code = codeFromErrno(errno);
  if (code == NP_FIO_OK && std::rename(temporary.c_str(), path) != 0)
    code = codeFromErrno(errno);
  if (code != NP_FIO_OK) {
    ::unlink(temporary.c_str());
    return code;
  }
  return syncFolderOf(path);
}

int np_fio_lock(const char* path, NpFioLock** lock) {
  if (!lock) return NP_FIO_EARG;
  *lock = nullptr;
  if (!path) return NP_FIO_EARG;
  // flock, not fcntl: its lock belongs to the open file, so two handles in
  // one process exclude each other too, and closing another descriptor of
  // the file does not drop it.
  const int fd = openRetrying(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return codeFromErrno(errno);
  int result;
  do {
    result = ::flock(fd, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  NpFioLock* held = result == 0 ? new (std::nothrow) NpFioLock : nullptr;
  if (!held) {
    const int code = result == 0 ? NP_FIO_ENOMEM : codeFromErrno(errno);
    ::close(fd);
    return code;
  }
  held->fd = fd;
  *lock = held;
  return NP_FIO_OK;
}

void np_fio_unlock(NpFioLock* lock) {
  if (!lock) return;
  // Unlocked explicitly: a child forked meanwhile shares the open file, and
  // closing this descriptor alone would leave the lock held through it.
  ::flock(lock->fd, LOCK_UN);
  ::close(lock->fd);
  delete lock;
}

int np_fio_rename(const char* from, const char* to) {
  if (!from || !to) return NP_FIO_EARG;
  if (std::rename(from, to) == 0) return NP_FIO_OK;
  return codeFromErrno(errno);
}

int np_fio_unlink(const char* path) {
  if (!path) return NP_FIO_EARG;
  if (::unlink(path) == 0) return NP_FIO_OK;
  return codeFromErrno(errno);
}

int np_fio_pcat(char* buffer, size_t bufferSize, const char* folder,
                const char* name) {
  if (!buffer || !name) return NP_FIO_EARG;
  const size_t folderLength = folder ? std::strlen(folder) : 0;
  const size_t nameLength = std::strlen(name);
  const bool slash = folderLength > 0 && folder[folderLength - 1] != '/';
  const size_t total = folderLength + (slash ? 1 : 0) + nameLength;
  if (total >= bufferSize) {
    if (bufferSize > 0) buffer[0] = '\0';
    return NP_FIO_EOVERFLOW;
  }
  // memmove: the caller may pass its buffer as folder or name.
  std::memmove(buffer + folderLength + (slash ? 1 : 0), name, nameLength + 1);
  if (folderLength > 0) std::memmove(buffer, folder, folderLength);
  if (slash) buffer[folderLength] = '/';
  return NP_FIO_OK;
}

const char* np_fio_errdesc(int code) {
  switch (code) {
    case NP_FIO_OK:
      return "No error";
    case NP_FIO_EARG:
      return "Invalid argument";
    case NP_FIO_EACCESS:
      return "Access denied";
    case NP_FIO_ENOTFOUND:
      return "File or folder not found";
    case NP_FIO_EIO:
      return "Input/output error";
    case NP_FIO_ENOSPACE:
      return "No space left on the device, quota exceeded or file too large";
    case NP_FIO_EISDIR:
      return "The path names a folder";
    case NP_FIO_EEXIST:
      return "The target already exists";
    case NP_FIO_ENOMEM:
      return "Out of memory";
    case NP_FIO_ENAMETOOLONG:
      return "File name too long";
    case NP_FIO_EOVERFLOW:
      return "The path does not fit in the buffer";
    case NP_FIO_ETOOMANY:
      return "Too many open files";
    case NP_FIO_EXDEV:
      return "Cannot rename across file systems";
    case NP_FIO_ESYSTEM:
      return "Operating system error";
    case NP_FIO_ENOTREG:
      return "Not a regular file";
    case NP_FIO_ETOOLARGE:
      return "The file is larger than 64 MiB, the most that is read";
    default:
      return "Unknown file error";
  }
}

int np_fio_text_open(const char* path, int mode, int encoding, int lineEnd,
                     NpFioTextFile** handle) {
  if (!handle) return NP_FIO_EARG;
  *handle = nullptr;
  if (!(mode & NP_FIO_WRITE) || encoding != NP_FIO_ENC_UTF8 ||
      (lineEnd != NP_FIO_LE_NATIVE && lineEnd != NP_FIO_LE_ASIS))
    return NP_FIO_EARG;
  NpFioTextFile* text = new (std::nothrow) NpFioTextFile;
  if (!text) return NP_FIO_ENOMEM;
  const int code = openInto(path, mode | NP_FIO_TEXT, &text->file);
  if (code != NP_FIO_OK) {
    delete text;
    return code;
  }
  *handle = text;
  return NP_FIO_OK;
}

long np_fio_text_write(NpFioTextFile* handle, const char* text, long length) {
  if (!handle || !handle->file.stream || !text || length < -1)
    return -NP_FIO_EARG;
  const size_t size =
      length == -1 ? std::strlen(text) : static_cast<size_t>(length);
  const int code = writeBytes(&handle->file, text, size);
  return code == NP_FIO_OK ? static_cast<long>(size) : -code;
}

int np_fio_text_close(NpFioTextFile* handle) {
  if (!handle || !handle->file.stream) return NP_FIO_EARG;
  const int code = closeFile(&handle->file);
  delete handle;
  return code;
}
