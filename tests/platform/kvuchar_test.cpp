// Tests of kvuchar; truncated sequences sit in exact-size heap blocks for ASan.
#include "kvuchar/kvuchar.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// An exactly sized heap copy of `text` with its NUL.
std::unique_ptr<char[]> exact(const std::string& text) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

TEST(UcharTest, ClassifiesAsciiAndNonAsciiCharacters) {
  struct Case {
    const char* text;
    int length, codePoint, alpha, space;
  };
  const Case cases[] = {
      {"Abc", 1, 'A', 1, 0},
      {"1", 1, '1', 0, 0},
      {" x", 1, ' ', 0, 1},
      {"\t", 1, '\t', 0, 1},
      {"\xC3\x89t\xC3\xA9", 2, 0xC9, 1, 0},     // É
      {"\xD0\xB6", 2, 0x436, 1, 0},             // ж
      {"\xE4\xB8\xAD", 3, 0x4E2D, 1, 0},        // 中
      {"\xE2\x82\xAC", 3, 0x20AC, 0, 0},        // €
      {"\xE3\x80\x80", 3, 0x3000, 0, 1},        // ideographic space
      {"\xF0\x9F\x98\x80", 4, 0x1F600, 0, 0},   // emoji
      {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF, 0, 0},  // the last code point
  };
  for (const Case& c : cases) {
    int alpha = -1, space = -1, codePoint = -1;
    EXPECT_EQ(np_uchar_toint(c.text, &codePoint), c.length) << c.text;
    EXPECT_EQ(codePoint, c.codePoint) << c.text;
    EXPECT_EQ(np_uchar_isalpha(c.text, &alpha), c.length) << c.text;
    EXPECT_EQ(alpha != 0, c.alpha != 0) << c.text;
    EXPECT_EQ(np_uchar_isspace(c.text, &space), c.length) << c.text;
    EXPECT_EQ(space != 0, c.space != 0) << c.text;
  }
}

TEST(UcharTest, InvalidSequencesAnswerZeroWithoutOverreading) {
  const std::string invalid[] = {
      "",
      "\x80",              // stray continuation byte
      "\xC0\x80",          // overlong NUL
      "\xE0\x80\x80",      // overlong
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF5\x80\x80\x80",
      "\xFF",
      "\xC3",  // cut short by the NUL
      "\xE2\x82",
      "\xF0\x9F\x98",
      "\xE2"
      "A\x82",  // a non-continuation byte inside
  };
  for (const std::string& text : invalid) {
    auto copy = exact(text);
    int flag = -1, codePoint = -1;
    EXPECT_EQ(np_uchar_isalpha(copy.get(), &flag), 0) << text;
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(np_uchar_isspace(copy.get(), &flag), 0) << text;
    EXPECT_EQ(np_uchar_toint(copy.get(), &codePoint), 0) << text;
    EXPECT_EQ(codePoint, 0);
    EXPECT_EQ(np_uchar_seek(copy.get(), 100), copy.get() + text.size()) << text;
  }
  int flag = -1;
  EXPECT_EQ(np_uchar_isalpha(nullptr, &flag), 0);
  EXPECT_EQ(np_uchar_isalpha("a", nullptr), 1);
}

TEST(UcharTest, SeekCountsCharactersNotBytes) {
  auto text = exact(
      "a\xD0\xB6"
      "b\xE2\x82\xAC\xFF"
      "c");  // a ж b € <bad> c
  const char* s = text.get();
  const int offsets[] = {0, 1, 3, 4, 7};  // the invalid byte counts as one
  for (int n = 0; n < 5; ++n) EXPECT_EQ(np_uchar_seek(s, n), s + offsets[n]);
  EXPECT_EQ(np_uchar_seek(s, 6), s + 9);
  EXPECT_EQ(np_uchar_seek(s, 1000), s + 9);
  EXPECT_EQ(np_uchar_seek(nullptr, 1), nullptr);
}

}  // namespace
