// kvlexer: the line lexer of the repository list file. It reads a text file
// whole, then hands it out line by line split into tokens, and splits a
// line's tokens at its "=" into names and values. Reading the file whole
// first means that a read error or a lack of memory fails the start, and is
// never taken for the end of the file.
//
// Lines end in "\n" or "\r\n". Blank lines, and comment lines whose first
// non-blank character is "#", are skipped. Blanks (space, tab, CR, FF, VT)
// separate tokens. A token is one of:
//   - the operator "=": every "=" outside quotes is a token of its own, so
//     "name=value" gives three tokens;
//   - a quoted token: text between single quotes, which may hold blanks, "="
//     and "#"; two single quotes inside stand for one quote, and '' is the
//     empty token;
//   - a bare token: a run of characters other than blanks, "=" and quotes.
// A line is a syntax error when a quote is not closed on its line, when a
// quote appears inside a bare token, when a closing quote is followed by
// anything but a blank, "=" or the end of the line, or when it holds a NUL
// byte. The writer's form "'Ma''in'='DSN=x;' 'PFX' 'C'" thus reads back as
// the tokens Ma'in, =, DSN=x;, PFX and C.
#ifndef KVLEXER_KVLEXER_H_
#define KVLEXER_KVLEXER_H_

// Result codes.
constexpr int NP_LEX_OK = 0;
constexpr int NP_LEX_ENOMEM = 1;   // out of memory
constexpr int NP_LEX_ESYNTAX = 2;  // syntax error in the current line
// The file cannot be opened: missing, not allowed, a folder, or not a
// regular file (a FIFO, a device).
constexpr int NP_LEX_EOPEN = 3;
// The file cannot be read: a read error, or larger than NP_FIO_READ_LIMIT.
constexpr int NP_LEX_EREAD = 4;
constexpr int NP_LEX_EOF = 5;  // no more lines

struct NpLexImpl;

struct NpLexState {
  // The tokens of the current line: tokenCount texts followed by a null
  // pointer. They stay valid until the next np_lex_line or np_lex_clean and
  // must not be written to. The "=" operator token is a shared text that
  // np_lex_split recognises; a quoted '=' is an ordinary token.
  int tokenCount;
  char** tokens;
  // The 1-based number of the line last read (the one with the tokens or
  // the syntax error); 0 before the first line. At the end of the file it
  // is the number of lines in the file.
  int lineNumber;
  // The NP_FIO_* code (kvfileio) behind a failed np_lex_init, for the
  // reason's text; 0 otherwise.
  int fileError;
  NpLexImpl* impl;  // private
};

// Reads the file `path` whole (through np_fio_read_file, so only a regular
// file, without blocking, and at most NP_FIO_READ_LIMIT bytes) and readies
// `state`. Answers 0, NP_LEX_EOPEN (also for a null state or path),
// NP_LEX_EREAD or NP_LEX_ENOMEM. The state is always left valid for
// np_lex_clean, also after a failure.
int np_lex_init(NpLexState* state, const char* path);

// Reads the next line that holds tokens into state->tokenCount and
// state->tokens. Answers 0, NP_LEX_EOF at the end of the file,
// NP_LEX_ESYNTAX (state->lineNumber names the line; the next call goes on
// with the following line) or NP_LEX_ENOMEM. `flags` is reserved; pass 0.
// Without a successful np_lex_init it answers NP_LEX_EREAD.
int np_lex_line(NpLexState* state, int flags);

// Splits a line's tokens at its "=" operator token: *nameCount tokens come
// before it and *valueCount after it. Answers 0 when the line holds exactly
// one "=" and at least one token before it (no value is allowed), and
// NP_LEX_ESYNTAX otherwise or for a null argument. `tokens` must come from
// np_lex_line.
int np_lex_split(char** tokens, int count, int* nameCount, int* valueCount);

// Frees the file's text and the tokens; the state can then be passed to
// np_lex_init again. Safe on a state whose np_lex_init failed, and twice.
void np_lex_clean(NpLexState* state);

#endif  // KVLEXER_KVLEXER_H_
