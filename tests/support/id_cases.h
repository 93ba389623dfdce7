// A table of id cases for the writes of one data-access interface: each
// write is called once with every id it takes naming a stored row, and
// once for each of its id arguments set to each value of a list (an id
// that names no row, the value that means none, 0, a negative one) with
// the others as they were. Each call answers as the interface's rule on
// ids says: stored, or refused with its text and one level-5 record equal
// to it, storing nothing.
#ifndef TESTS_SUPPORT_ID_CASES_H_
#define TESTS_SUPPORT_ID_CASES_H_

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/log_capture.h"

struct IdWrite {
  const char* name;
  const char* code;                // the table it writes
  std::vector<const char*> kinds;  // what each id argument names
  std::vector<int> ids;            // ids that name stored rows
  std::function<bool(const std::vector<int>&)> call;
  int added = 1;  // the rows that a stored call adds
};

// The refusal of id argument `arg` of `write` set to `value`; empty when
// the call stores its row.
using IdRefusal =
    std::function<std::string(const IdWrite& write, size_t arg, int value)>;

// Runs the cases; `rows` counts a table's rows, `error` gives the text of
// the last failure.
inline void expectIdAnswers(const std::vector<IdWrite>& writes,
                            const std::vector<int>& values,
                            const IdRefusal& refusal,
                            const std::function<int(const char*)>& rows,
                            const std::function<std::string()>& error,
                            const LogCapture& log) {
  for (const IdWrite& write : writes) {
    const auto expect = [&](const std::vector<int>& ids,
                            const std::string& text) {
      const std::string cell =
          std::string(write.name) + testing::PrintToString(ids);
      const int before = rows(write.code);
      bool answer = false;
      const std::vector<std::string> records =
          log.failuresDuring([&] { answer = write.call(ids); }, true);
      if (text.empty()) {
        EXPECT_TRUE(answer) << cell << ": " << error();
        EXPECT_EQ(rows(write.code), before + write.added) << cell;
        return;
      }
      EXPECT_FALSE(answer) << cell;
      EXPECT_EQ(error(), text) << cell;
      EXPECT_EQ(records, std::vector<std::string>{"5 " + text}) << cell;
      EXPECT_EQ(rows(write.code), before) << cell;
    };
    expect(write.ids, "");
    for (size_t arg = 0; arg < write.ids.size(); ++arg)
      for (int value : values) {
        std::vector<int> ids = write.ids;
        ids[arg] = value;
        expect(ids, refusal(write, arg, value));
      }
  }
}

// "<Kind> <id> does not exist", the kind with a capital.
inline std::string missing(const char* kind, int id) {
  std::string text = kind;
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] -= 'a' - 'A';
  return text + " " + std::to_string(id) + " does not exist";
}

#endif  // TESTS_SUPPORT_ID_CASES_H_
