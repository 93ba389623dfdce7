// kvsysinfo: facts about the operating system that the engine records, such
// as the user name written as creator or editor of stored objects.
#ifndef KVSYSINFO_KVSYSINFO_H_
#define KVSYSINFO_KVSYSINFO_H_

#include <cstddef>

// Result codes.
constexpr int NP_OSINF_OK = 0;
constexpr int NP_OSINF_EARG = 1;  // a null buffer or size 0
// The name does not fit in the buffer, which then holds the empty text.
constexpr int NP_OSINF_EOVERFLOW = 10;

// Writes the name of the process's effective user into `buffer` of `size`
// bytes: the user database's entry for the effective user id, or else the
// USER environment variable, or else the empty text (which answers 0).
// Thread-safe.
int np_osinf_user(char* buffer, size_t size);

#endif  // KVSYSINFO_KVSYSINFO_H_
