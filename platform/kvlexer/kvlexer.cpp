// kvlexer: reads a file whole with np_fio_read_file, then splits it line by
// line into tokens, copying their texts into one buffer per line.
#include "kvlexer/kvlexer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "kvfileio/kvfileio.h"

namespace {

// The "=" operator token. np_lex_split tells it from a quoted "=" by its
// address.
char kEqualsToken[] = "=";

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

struct NpLexImpl {
  char* data = nullptr;  // the whole file, from np_fio_read_file
  size_t size = 0;
  size_t next = 0;   // where the next line starts
  std::string text;  // token texts of the current line, NUL-separated
  std::vector<size_t>
      offsets;  // start of each token in `text`, or npos for "="
  std::vector<char*> tokens;
};

namespace {

void resetTokens(NpLexState* state) {
  state->tokenCount = 0;
  state->tokens = nullptr;
}

enum class Lexed { kTokens, kEmpty, kSyntax };

// Splits `line` (`length` bytes, without its line end) into impl->text and
// impl->offsets.
Lexed lexLine(NpLexImpl* impl, const char* line, size_t length) {
  impl->text.clear();
  impl->offsets.clear();
  size_t i = 0;
  while (i < length && isBlank(line[i])) ++i;
  if (i == length || line[i] == '#') return Lexed::kEmpty;

  while (i < length) {
    const char c = line[i];
    if (c == '\0') return Lexed::kSyntax;
    if (isBlank(c)) {
      ++i;
    } else if (c == '=') {
      impl->offsets.push_back(std::string::npos);
      ++i;
    } else if (c == '\'') {
      impl->offsets.push_back(impl->text.size());
      ++i;
      for (;;) {
        if (i == length || line[i] == '\0') return Lexed::kSyntax;
        if (line[i] == '\'') {
          if (i + 1 < length && line[i + 1] == '\'') {
            impl->text += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        impl->text += line[i++];
      }
      impl->text += '\0';
      if (i < length && !isBlank(line[i]) && line[i] != '=')
        return Lexed::kSyntax;
    } else {
      impl->offsets.push_back(impl->text.size());
      while (i < length && !isBlank(line[i]) && line[i] != '=') {
        if (line[i] == '\'' || line[i] == '\0') return Lexed::kSyntax;
        impl->text += line[i++];
      }
      impl->text += '\0';
    }
  }
  return Lexed::kTokens;
}

}  // namespace

int np_lex_init(NpLexState* state, const char* path) {
  if (!state) return NP_LEX_EOPEN;
  resetTokens(state);
  state->lineNumber = 0;
  state->fileError = 0;
  state->impl = nullptr;
  if (!path) return NP_LEX_EOPEN;

  NpLexImpl* impl = new (std::nothrow) NpLexImpl;
  if (!impl) return NP_LEX_ENOMEM;
  const int code = np_fio_read_file(path, &impl->data, &impl->size);
  if (code != NP_FIO_OK) {
    delete impl;
    state->fileError = code;
    switch (code) {
      case NP_FIO_ENOMEM:
        return NP_LEX_ENOMEM;
      case NP_FIO_EIO:
      case NP_FIO_ETOOLARGE:
      case NP_FIO_ESYSTEM:
        return NP_LEX_EREAD;
      default:
        return NP_LEX_EOPEN;
    }
  }
  state->impl = impl;
  return NP_LEX_OK;
}

int np_lex_line(NpLexState* state, int /*flags*/) {
  if (!state) return NP_LEX_EREAD;
  resetTokens(state);
  NpLexImpl* impl = state->impl;
  if (!impl || !impl->data) return NP_LEX_EREAD;

  while (impl->next < impl->size) {
    const char* line = impl->data + impl->next;
    const size_t rest = impl->size - impl->next;
    const char* newline =
        static_cast<const char*>(std::memchr(line, '\n', rest));
    size_t length = newline ? static_cast<size_t>(newline - line) : rest;
    impl->next += newline ? length + 1 : length;
    if (newline && length > 0 && line[length - 1] == '\r') --length;
    ++state->lineNumber;

    Lexed result;
    try {
      result = lexLine(impl, line, length);
    } catch (const std::bad_alloc&) {
      return NP_LEX_ENOMEM;
    }
    if (result == Lexed::kSyntax) return NP_LEX_ESYNTAX;
    if (result == Lexed::kEmpty) continue;

    try {
      impl->tokens.resize(impl->offsets.size() + 1);
    } catch (const std::bad_alloc&) {
      return NP_LEX_ENOMEM;
    }
    for (size_t t = 0; t < impl->offsets.size(); ++t) {
      impl->tokens[t] = impl->offsets[t] == std::string::npos
                            ? kEqualsToken
                            : &impl->text[impl->offsets[t]];
    }
    impl->tokens.back() = nullptr;
    state->tokenCount = static_cast<int>(impl->offsets.size());
    state->tokens = impl->tokens.data();
    return NP_LEX_OK;
  }
  return NP_LEX_EOF;
}

int np_lex_split(char** tokens, int count, int* nameCount, int* valueCount) {
  if (!tokens || count <= 0 || !nameCount || !valueCount) return NP_LEX_ESYNTAX;
  int position = -1;
  for (int i = 0; i < count; ++i) {
    if (tokens[i] != kEqualsToken) continue;
    if (position >= 0) return NP_LEX_ESYNTAX;
    position = i;
  }
  if (position <= 0) return NP_LEX_ESYNTAX;
  *nameCount = position;
  *valueCount = count - position - 1;
  return NP_LEX_OK;
}

void np_lex_clean(NpLexState* state) {
  if (!state) return;
  NpLexImpl* impl = state->impl;
  if (impl) {
    std::free(impl->data);
    delete impl;
  }
  state->impl = nullptr;
  resetTokens(state);
}
