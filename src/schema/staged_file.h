// StagedFile: a file that is written beside its target under a unique
// temporary name and renamed over the target only once all of it was
// written, so that a write that fails part-way leaves no truncated file
// behind (and an older file at the target as it was).
#ifndef SCHEMA_STAGED_FILE_H_
#define SCHEMA_STAGED_FILE_H_

#include "kvbase/kvbase.h"

struct NpFioFile;

class StagedFile {
 public:
  StagedFile() = default;
  // Removes the temporary file when it was not committed.
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Opens the temporary file beside `path`. A `path` that names something
  // other than a regular file (a device, a FIFO) is written directly,
  // since a rename would replace it rather than write to it. Answers an
  // NP_FIO_* code.
  int open(const KvbString& path);
  // Appends `text`; a failure sticks, as np_fio_puts says.
  int puts(const char* text);
  // Closes the file and renames it over the target; on failure removes it.
  // Answers the first failure's NP_FIO_* code, else 0.
  int commit();

 private:
  NpFioFile* file_ = nullptr;
  KvbString target_;
  KvbString temporary_;  // null when the target is written directly
};

#endif  // SCHEMA_STAGED_FILE_H_
