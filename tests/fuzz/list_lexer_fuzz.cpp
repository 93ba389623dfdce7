// Fuzz target: the line lexer of the repository list file, line by line
// to the end, with each line's split at "=".
#include "fuzz/fuzz_input.h"
#include "kvlexer/kvlexer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NpLexState state{};
  if (np_lex_init(&state, inputFile("list.lex", data, size).c_str()) == 0) {
    int result;
    int lines = 0;
    while ((result = np_lex_line(&state, 0)) != NP_LEX_EOF &&
           result != NP_LEX_EREAD && result != NP_LEX_ENOMEM) {
      require(++lines <= static_cast<int>(size) + 1, "the lexer ends");
      if (result != NP_LEX_OK) continue;
      require(state.tokenCount > 0 && state.tokens[state.tokenCount] == nullptr,
              "a line's tokens end in a null pointer");
      int names = 0, values = 0;
      np_lex_split(state.tokens, state.tokenCount, &names, &values);
    }
  }
  np_lex_clean(&state);
  return 0;
}
