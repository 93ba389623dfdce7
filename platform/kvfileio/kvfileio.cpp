// kvfileio: file I/O over POSIX calls and stdio buffering, with errno mapped
// to the NP_FIO_* codes and write errors kept on the handle until close.
#include "kvfileio/kvfileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

struct NpFioFile {
  FILE* stream = nullptr;
  int mode = 0;
  int error = NP_FIO_OK;  // first failure; later writes are refused with it
};

struct NpFioTextFile {
  NpFioFile file;
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

  int fd;
  do {
    fd = ::open(path, flags, 0666);
  } while (fd < 0 && errno == EINTR);
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
