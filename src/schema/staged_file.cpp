// StagedFile: writing a file beside its target, then renaming it.
#include "schema/staged_file.h"

#include <filesystem>

#include "kvfileio/kvfileio.h"

StagedFile::~StagedFile() {
  if (!file_) return;
  np_fio_close(file_);
  if (!temporary_.isNull()) np_fio_unlink(temporary_.asCstr());
}

int StagedFile::open(const KvbString& path) {
  target_ = path;
  std::error_code ignored;
  const auto status = std::filesystem::status(path.str(), ignored);
  const bool replaceable = !std::filesystem::exists(status) ||
                           std::filesystem::is_regular_file(status);
  // The UUID keeps writers of the same target apart.
  temporary_ = replaceable ? path + ".t" + kvbGetUUID() : KvbString();
  return np_fio_open(replaceable ? temporary_.asCstr() : path.asCstr(),
                     NP_FIO_WRITE | NP_FIO_CREATE | NP_FIO_TRUNC, &file_);
}

int StagedFile::puts(const char* text) { return np_fio_puts(file_, text); }

int StagedFile::commit() {
  if (!file_) return NP_FIO_EARG;
  int code = np_fio_close(file_);
  file_ = nullptr;
  if (temporary_.isNull()) return code;
  if (code == NP_FIO_OK)
    code = np_fio_rename(temporary_.asCstr(), target_.asCstr());
  if (code != NP_FIO_OK) np_fio_unlink(temporary_.asCstr());
  return code;
}
