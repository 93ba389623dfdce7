#!/usr/bin/env bash
# Builds the host developer's guide alone with Doxygen, as the docs target
# builds it for the reference's main page, and fails on any warning and on
# a backtick or code markup (<tt>, which a code span in a heading may
# become) that shows in the page's text. Doxygen gives up a code span
# that runs over more than two lines, or one with a single quote in it
# (write it between double backticks), and shows its backticks instead.
set -euo pipefail
usage="usage: check_doc_warnings.sh <doxygen> <guide.md>"
doxygen=${1:?$usage}
guide=${2:?$usage}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cat >"$out/Doxyfile" <<EOF
INPUT = "$guide"
USE_MDFILE_AS_MAINPAGE = "$guide"
OUTPUT_DIRECTORY = "$out"
GENERATE_LATEX = NO
HAVE_DOT = NO
QUIET = YES
WARN_LOGFILE = "$out/warnings"
EOF
"$doxygen" "$out/Doxyfile"
if [ -s "$out/warnings" ]; then
  cat "$out/warnings" >&2
  exit 1
fi
# The page's text without its code, each backtick shown with its context.
shown=$(perl -0777 -ne '
  s{<pre.*?</pre>|<code>.*?</code>|<div class="fragment">.*?</div><!-- fragment -->}{}gs;
  s{<[^>]+>}{}g;
  print "$1\n" while /(.{0,60}(?:`|&lt;\/?(?:tt|code)&gt;).{0,30})/g' "$out/html/index.html")
if [ -n "$shown" ]; then
  echo "backticks or code markup shown as text in the guide:" >&2
  echo "$shown" >&2
  exit 1
fi
echo "Doxygen gives no warning on the guide, and every code span is shown as code"
