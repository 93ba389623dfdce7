// What the fuzz targets share: the fuzzer's bytes as a file, for readers
// that take a path, and a check that stops the run when a property fails.
#ifndef TESTS_FUZZ_FUZZ_INPUT_H_
#define TESTS_FUZZ_FUZZ_INPUT_H_

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A file of this process under $TMPDIR (or /tmp) named after `name`,
// holding `size` bytes of `data`; rewritten for every input.
inline std::string inputFile(const char* name, const uint8_t* data,
                             size_t size) {
  const char* dir = std::getenv("TMPDIR");
  const std::string path = std::string(dir && *dir ? dir : "/tmp") +
                           "/kvfuzz-" + std::to_string(getpid()) + "-" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  return path;
}

// Stops the run as a finding when a property does not hold.
inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

#endif  // TESTS_FUZZ_FUZZ_INPUT_H_
