// kvlexer: reads a file line by line with getline and splits each line into
// tokens, copying their texts into one buffer per line.
#include "kvlexer/kvlexer.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

// The "=" operator token. np_lex_split tells it from a quoted "=" by its
// address.
char kEqualsToken[] = "=";

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

struct NpLexImpl {
  FILE* file = nullptr;
  char* line = nullptr;  // getline's buffer
  size_t lineCapacity = 0;
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
  state->impl = nullptr;
  if (!path) return NP_LEX_EOPEN;

  NpLexImpl* impl = new (std::nothrow) NpLexImpl;
  if (!impl) return NP_LEX_ENOMEM;
  impl->file = std::fopen(path, "rbe");
  if (!impl->file) {
    const int err = errno;
    delete impl;
    return err == ENOMEM ? NP_LEX_ENOMEM : NP_LEX_EOPEN;
  }
  struct stat info;
  if (::fstat(fileno(impl->file), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(impl->file);
    delete impl;
    return NP_LEX_EOPEN;
  }
  state->impl = impl;
  return NP_LEX_OK;
}

int np_lex_line(NpLexState* state, int flags) {
  if (!state) return NP_LEX_EREAD;
  resetTokens(state);
  NpLexImpl* impl = state->impl;
  if (!impl || !impl->file) return NP_LEX_EREAD;

  for (;;) {
    errno = 0;
    const ssize_t read =
        ::getline(&impl->line, &impl->lineCapacity, impl->file);
    if (read < 0) {
      if (std::ferror(impl->file))
        return errno == ENOMEM ? NP_LEX_ENOMEM : NP_LEX_EREAD;
      return NP_LEX_EOF;
    }
    ++state->lineNumber;
    size_t length = static_cast<size_t>(read);
    if (length > 0 && impl->line[length - 1] == '\n') {
      --length;
      if (length > 0 && impl->line[length - 1] == '\r') --length;
    }

    Lexed result;
    try {
      result = lexLine(impl, impl->line, length);
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
    if (impl->file) std::fclose(impl->file);
    std::free(impl->line);
    delete impl;
  }
  state->impl = nullptr;
  resetTokens(state);
}
