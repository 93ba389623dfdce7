// Tests of kvlexer on real list files.
#include "kvlexer/kvlexer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "kvfileio/kvfileio.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Tokens = std::vector<std::string>;
using Split = std::pair<int, int>;  // name and value counts; -1 on failure

class LexerTest : public ::testing::Test {
 protected:
  void TearDown() override { np_lex_clean(&state_); }

  // Writes `content` to a file and starts the lexer on it.
  void open(const std::string& content) {
    std::ofstream(dir_ / "list", std::ios::binary) << content;
    ASSERT_EQ(np_lex_init(&state_, (dir_ / "list").c_str()), NP_LEX_OK);
  }

  // The next line's tokens; fails the test when the result is not 0.
  Tokens next() {
    EXPECT_EQ(np_lex_line(&state_, 0), NP_LEX_OK) << state_.lineNumber;
    Tokens tokens(state_.tokens, state_.tokens + state_.tokenCount);
    if (state_.tokens) {
      EXPECT_EQ(state_.tokens[state_.tokenCount], nullptr);
    }
    return tokens;
  }

  Split split() {
    int names = 0, values = 0;
    if (np_lex_split(state_.tokens, state_.tokenCount, &names, &values) != 0)
      return {-1, -1};
    return {names, values};
  }

  TempDir temp_;
  const fs::path dir_ = temp_.path();
  NpLexState state_{};
};

// The writer's own form (quoted, doubled quotes, CRLF) is read back by the
// list-file tests.
TEST_F(LexerTest, BareTokensBlanksCommentsAndLineNumbers) {
  open(
      "\n   \r\n# a comment = 'x\nmy repo name=DSN1 pfx\r\n"
      "\t'#not a comment'=\nlast=line 'without' end");
  EXPECT_EQ(next(), (Tokens{"my", "repo", "name", "=", "DSN1", "pfx"}));
  EXPECT_EQ(state_.lineNumber, 4);
  EXPECT_EQ(split(), Split(3, 2));
  EXPECT_EQ(next(), (Tokens{"#not a comment", "="}));
  EXPECT_EQ(split(), Split(1, 0));  // the reader refuses a line without value
  EXPECT_EQ(next(), (Tokens{"last", "=", "line", "without", "end"}));
  EXPECT_EQ(state_.lineNumber, 6);
  EXPECT_EQ(np_lex_line(&state_, 0), NP_LEX_EOF);
  EXPECT_EQ(np_lex_line(&state_, 0), NP_LEX_EOF);
  EXPECT_EQ(state_.lineNumber, 6);
}

TEST_F(LexerTest, SplitNeedsOneOperatorAfterAName) {
  open("a b\n=v\na=b=c\n'='='=' ''\n");
  for (int line = 1; line <= 3; ++line) {
    next();
    EXPECT_EQ(split(), Split(-1, -1)) << line;
  }
  // Quoted "=" texts are names and values, not operators.
  EXPECT_EQ(next(), (Tokens{"=", "=", "=", ""}));
  EXPECT_EQ(split(), Split(1, 2));
}

TEST_F(LexerTest, SyntaxErrorsNameTheirLine) {
  // Unterminated quote, text after a closing quote, quote inside a bare
  // token, and a NUL byte.
  open("a='ok'\r\nb='unterminated\r\nc='x'y\nd=ab'c\ne='it''s'\n" +
       std::string("f='nul\0byte'\n", 13));
  next();
  for (int line = 2; line <= 4; ++line) {
    EXPECT_EQ(np_lex_line(&state_, 0), NP_LEX_ESYNTAX);
    EXPECT_EQ(state_.lineNumber, line);
    EXPECT_EQ(state_.tokenCount, 0);
  }
  EXPECT_EQ(next(), (Tokens{"e", "=", "it's"}));
  EXPECT_EQ(np_lex_line(&state_, 0), NP_LEX_ESYNTAX);
  EXPECT_EQ(state_.lineNumber, 6);
  EXPECT_EQ(np_lex_line(&state_, 0), NP_LEX_EOF);
}

TEST_F(LexerTest, OpenReadAndEmptyFile) {
  EXPECT_EQ(np_lex_init(&state_, (dir_ / "absent").c_str()), NP_LEX_EOPEN);
  np_lex_clean(&state_);
  EXPECT_EQ(np_lex_init(&state_, dir_.c_str()), NP_LEX_EOPEN);
  EXPECT_EQ(np_lex_line(&state_, 0), NP_LEX_EREAD);
  np_lex_clean(&state_);
  np_lex_clean(&state_);  // twice is harmless

  open("");
  EXPECT_EQ(np_lex_line(&state_, 0), NP_LEX_EOF);
  EXPECT_EQ(state_.lineNumber, 0);
  np_lex_clean(&state_);

  // Reading this process's memory at offset 0 fails with an I/O error: the
  // start fails, rather than the lines ending early.
  EXPECT_EQ(np_lex_init(&state_, "/proc/self/mem"), NP_LEX_EREAD);
  EXPECT_EQ(state_.fileError, NP_FIO_EIO);
  EXPECT_EQ(np_lex_line(&state_, 0), NP_LEX_EREAD);
}

}  // namespace
