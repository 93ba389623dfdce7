#!/usr/bin/env bash
# Checks the input filter of the API reference (cmake/doxygen_comments.awk)
# on a small header: placeholders show as written, inside and outside
# quoted texts, and the header's opening block is also its class's
# overview.
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
  // Refused with "Folder <id> does not exist"; MET_<n> is a column.
  virtual bool add(int id) = 0;
  // A text over two lines, "The database \"<name>\" is not
  // supported: <reason>", then <table> again outside.
  virtual bool drop() = 0;
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

#endif'
found=$(awk -f "$filter" "$header")
if [ "$found" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$found") >&2 || true
  exit 1
fi
echo "the reference filter keeps placeholders and class overviews"
