#!/usr/bin/env bash
# Checks the input filter of the API reference (cmake/doxygen_comments.awk)
# on a small header: placeholders show as written, inside and outside
# quoted texts, the header's opening block is also its class's overview,
# a comment over a range of positions describes its member group once,
# and a brief opens with a capital unless it opens with a name.
set -euo pipefail
filter=${1:?usage: check_doc_filter.sh <doxygen_comments.awk>}
header=$(mktemp)
trap 'rm -f "$header"' EXIT
cat >"$header" <<'HEADER'
// Thing: one thing. Its release order is fixed; -1 is an absent id.
#ifndef THING_H_
#define THING_H_

class Thing;

class Thing {
 public:
  // refused with "Folder <id> does not exist"; MET_<n> is a column.
  virtual bool add(int id) = 0;
  // A text over two lines, "The database \"<name>\" is not
  // supported: <reason>", then <table> again outside.
  virtual bool drop() = 0;
};

class Cursor {
 public:
  // 0-2: the row: next moves to it, and
  // row gives it.
  virtual bool next() = 0;
  // Its own text.
  virtual int row() = 0;
  virtual int width() {}
  virtual void release() = 0;
  // 4: rowCount of the list.
  virtual int count() = 0;
  // 5-6
  virtual void a() = 0;
  virtual void b() = 0;
  // 7-9: a range cut short
  // by the next position.
  virtual void c() = 0;
  // 10: after it.
  virtual void d() = 0;
};

#endif
HEADER
expected='/// \file
/// Thing: one thing. Its release order is fixed; -1 is an absent id.
#ifndef THING_H_
#define THING_H_

class Thing;

/// Thing: one thing. Its release order is fixed; -1 is an absent id.
class Thing {
 public:
  /// Refused with "Folder <id> does not exist"; MET_\<n\> is a column.
  virtual bool add(int id) = 0;
  /// A text over two lines, "The database \"<name>\" is not
  /// supported: <reason>", then \<table\> again outside.
  virtual bool drop() = 0;
};

class Cursor {
 public:
  /// @name Positions 0-2
  /// The row: next moves to it, and
  /// row gives it.
  //@{
  /// \details Position 0 in the interface.
  virtual bool next() = 0;
  /// Its own text.
  /// \details Position 1 in the interface.
  virtual int row() = 0;
  /// \details Position 2 in the interface.
  virtual int width() {}
  //@}
  virtual void release() = 0;
  /// rowCount of the list.
  ///
  /// Position 4 in the interface.
  virtual int count() = 0;
  /// \details Position 5 in the interface.
  virtual void a() = 0;
  /// \details Position 6 in the interface.
  virtual void b() = 0;
  /// @name Positions 7-9
  /// A range cut short
  /// by the next position.
  //@{
  /// \details Position 7 in the interface.
  virtual void c() = 0;
  //@}
  /// After it.
  ///
  /// Position 10 in the interface.
  virtual void d() = 0;
};

#endif'
found=$(awk -f "$filter" "$header")
if [ "$found" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$found") >&2 || true
  exit 1
fi
echo "the reference filter keeps placeholders, class overviews and range groups"
