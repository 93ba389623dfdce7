// kvfileio: plain file I/O for the engine: existence checks, reading files
// from outside (table sets, the repository list file, configuration) within
// bounds, writing files (DDL scripts, the repository list file, XML dumps),
// replacing a file in one step under a lock shared with other processes,
// renaming, removing, joining paths, and a text of every error code.
//
// Every call answers 0 or one of the NP_FIO_* codes below. Failures of the
// operating system are mapped from errno. Nothing written is lost without a
// report: a write error, a failed flush or a failed close is always given
// back, at the latest by the close call.
#ifndef KVFILEIO_KVFILEIO_H_
#define KVFILEIO_KVFILEIO_H_

#include <cstddef>

// Result codes.
constexpr int NP_FIO_OK = 0;
// Bad argument: a null pointer, a bad mode, a bad handle.
constexpr int NP_FIO_EARG = 1;
// Access denied, or a read-only file system.
constexpr int NP_FIO_EACCESS = 2;
// The file, or a folder of its path, does not exist.
constexpr int NP_FIO_ENOTFOUND = 3;
constexpr int NP_FIO_EIO = 4;
// No space left on the device, quota exceeded, or the file is too large.
constexpr int NP_FIO_ENOSPACE = 5;
// The path names a folder.
constexpr int NP_FIO_EISDIR = 6;
// The target exists and cannot be replaced.
constexpr int NP_FIO_EEXIST = 7;
constexpr int NP_FIO_ENOMEM = 8;
constexpr int NP_FIO_ENAMETOOLONG = 9;
// A joined path does not fit in the caller's buffer.
constexpr int NP_FIO_EOVERFLOW = 10;
// Too many open files.
constexpr int NP_FIO_ETOOMANY = 11;
// A rename across file systems.
constexpr int NP_FIO_EXDEV = 12;
// Any other operating-system error.
constexpr int NP_FIO_ESYSTEM = 13;
// The path names something other than a regular file (a FIFO, a device, a
// socket), also after following symbolic links.
constexpr int NP_FIO_ENOTREG = 14;
// The file is larger than NP_FIO_READ_LIMIT.
constexpr int NP_FIO_ETOOLARGE = 15;

// The most bytes np_fio_read_file reads: 64 MiB.
constexpr size_t NP_FIO_READ_LIMIT = size_t{64} << 20;

// Mode bits of np_fio_open and np_fio_text_open. NP_FIO_CREATE creates a
// missing file; NP_FIO_TRUNC empties an existing one (with NP_FIO_WRITE
// only); NP_FIO_TEXT marks a text file, whose bytes are written unchanged on
// this system.
constexpr int NP_FIO_READ = 0x01;
constexpr int NP_FIO_WRITE = 0x02;
constexpr int NP_FIO_CREATE = 0x04;
constexpr int NP_FIO_TEXT = 0x08;
constexpr int NP_FIO_TRUNC = 0x40;

// np_fio_text_open: the only encoding, and the line-end choices: the
// system's ("\n") and "as written"; both leave the text's bytes unchanged.
constexpr int NP_FIO_ENC_UTF8 = 0;
constexpr int NP_FIO_LE_NATIVE = 0;
constexpr int NP_FIO_LE_ASIS = 2;

struct NpFioFile;
struct NpFioTextFile;
struct NpFioLock;

// 0 when `path` exists (file, folder or anything else), NP_FIO_ENOTFOUND
// when it or a folder of it does not, another code when it cannot be told
// (for example NP_FIO_EACCESS for a folder that cannot be searched), and
// NP_FIO_EARG for a null path.
int np_fio_stat(const char* path);

// Opens `path` with the NP_FIO_* bits of `mode` and stores a new handle in
// *handle (null on failure). At least one of read and write must be set;
// unknown bits and truncate without write give NP_FIO_EARG. 0x46 opens for
// writing and creates or empties the file; 0x4E is the same for a text file.
// A folder gives NP_FIO_EISDIR. New files get mode 0666 less the umask.
int np_fio_open(const char* path, int mode, NpFioFile** handle);

// Writes the NUL-terminated `text`. After a first failure the handle keeps
// its code: every later write answers it without writing, and so does
// np_fio_close.
int np_fio_puts(NpFioFile* handle, const char* text);

// Flushes and closes the file and frees the handle, also on failure. Answers
// the first write error of the handle, else a flush or close error, else 0.
int np_fio_close(NpFioFile* handle);

// Reads the whole regular file `path` into a new buffer of *size bytes plus
// a NUL, which the caller frees with free(); *data is null on failure. Only
// a regular file is read (after following symbolic links): a FIFO, a
// device or a socket gives NP_FIO_ENOTREG without waiting for a writer, a
// folder NP_FIO_EISDIR. A file larger than NP_FIO_READ_LIMIT, also one
// that grows beyond it while being read, gives NP_FIO_ETOOLARGE. A failed
// read gives its code: a file is never handed back cut short.
int np_fio_read_file(const char* path, char** data, size_t* size);

// Replaces the file `path` with `size` bytes of `data` in one step, so that
// a reader finds either the old or the new content. The bytes go to a new
// file of a unique name in the same folder, which is flushed to the disk
// before it is renamed over `path`; the folder is then flushed too. On
// failure `path` is untouched and the new file is removed. The new file
// gets mode 0666 less the umask.
int np_fio_replace(const char* path, const char* data, size_t size);

// Takes an exclusive lock on the file `path` (created when missing, and
// never removed), waiting while another process, or another handle of this
// process, holds it. *lock receives the handle, null on failure. The lock
// ends with np_fio_unlock, or when the process ends.
int np_fio_lock(const char* path, NpFioLock** lock);

// Releases the lock and frees the handle; a null handle is ignored.
void np_fio_unlock(NpFioLock* lock);

// Renames `from` to `to`, replacing a file `to` in one step.
int np_fio_rename(const char* from, const char* to);

// Removes the file `path`; NP_FIO_ENOTFOUND when there is none.
int np_fio_unlink(const char* path);

// Joins `folder` and `name` with one "/" into `buffer` of `bufferSize`
// bytes. No "/" is added when the folder is empty or already ends in "/"; a
// null folder counts as empty. NP_FIO_EOVERFLOW when the result and its NUL
// do not fit; the buffer then holds the empty text (when it has a byte).
// NP_FIO_EARG for a null buffer or name.
int np_fio_pcat(char* buffer, size_t bufferSize, const char* folder,
                const char* name);

// A static English text for `code`; every code has one, unknown codes share
// a generic text. Never null.
const char* np_fio_errdesc(int code);

// Opens a text file for writing, as np_fio_open does with `mode`, which must
// include NP_FIO_WRITE (the engine passes 0x4E: create or replace).
// `encoding` must be NP_FIO_ENC_UTF8 and `lineEnd` NP_FIO_LE_NATIVE or
// NP_FIO_LE_ASIS; both write the bytes of the text unchanged on this system,
// so "\r\n" in the text stays "\r\n". Other values give NP_FIO_EARG.
int np_fio_text_open(const char* path, int mode, int encoding, int lineEnd,
                     NpFioTextFile** handle);

// Writes `length` bytes of `text`, or up to its NUL when `length` is -1.
// Answers the number of bytes written, or minus an NP_FIO_* code on failure
// (a failure is also kept for np_fio_text_close, as with np_fio_puts).
long np_fio_text_write(NpFioTextFile* handle, const char* text, long length);

// Flushes and closes like np_fio_close and frees the handle.
int np_fio_text_close(NpFioTextFile* handle);

#endif  // KVFILEIO_KVFILEIO_H_
