# Input filter of the API reference. The headers document their interfaces
# in plain // comments, which Doxygen does not read; this turns them into
# /// comments by what they stand before:
# - the file's opening block becomes the file's description, and also the
#   overview of the class it opens by naming ("Repository: ...");
# - a block directly above a declaration documents it. When it opens with
#   the operation's position ("3: ..." or "18-21: ..."; hosts call the
#   operations by position), the position moves out of the brief to a line
#   of its own, and a block over a range of positions documents each
#   operation of the range;
# - a "// --- Title ---" rule opens a member group of that title, whose
#   description is the comment below the rule when a blank line separates
#   that comment from the next declaration; the group ends at the next such
#   rule or at the end of the class;
# - any other block that a blank line separates from what follows, and
#   rules without a title, stay plain comments.
# Placeholders such as <id> are written so that they show as they stand.
# Written in POSIX awk.

function indentOf(line) {
  match(line, /^[ \t]*/)
  return substr(line, 1, RLENGTH)
}

# The text of a comment line, without its indentation and "//".
function textOf(line) {
  sub(/^[ \t]*\/\/ ?/, "", line)
  return line
}

function doc(indent, text) {
  if (text == "") inQuote = 0  # a paragraph ends every quoted passage
  print indent (text == "" ? "///" : "/// " escapePlaceholders(text))
}

# A text with its placeholders ("Folder <id> does not exist") shown as
# written. Doxygen takes a bare <word> for an HTML tag, and shows a quoted
# passage as it stands, escapes included: so a placeholder outside double
# quotes (MET_<n>) gets its angle brackets escaped, and one inside them is
# left alone. A quoted passage may go on over the next lines of its
# paragraph; a quote after a backslash neither opens nor closes one.
function escapePlaceholders(text,   out, i, c, rest) {
  out = ""
  for (i = 1; i <= length(text); ++i) {
    c = substr(text, i, 1)
    if (c == "\"" && (i == 1 || substr(text, i - 1, 1) != "\\"))
      inQuote = !inQuote
    rest = substr(text, i)
    if (c == "<" && !inQuote && match(rest, /^<[a-z][a-zA-Z0-9 _|.-]*>/)) {
      out = out "\\<" substr(rest, 2, RLENGTH - 2) "\\>"
      i += RLENGTH - 1
    } else {
      out = out c
    }
  }
  return out
}

function plain(indent, text) {
  print indent (text == "" ? "//" : "// " text)
}

function isRule(line) {
  return line ~ /^[ \t]*\/\/ ---/
}

# "Title" of "// --- Title -----"; empty for a rule of dashes alone.
function ruleTitle(line, title) {
  title = textOf(line)
  sub(/^-+ */, "", title)
  sub(/ *-*$/, "", title)
  return title
}

function closeGroup() {
  if (!groupOpen) return
  print groupIndent "//@}"
  groupOpen = 0
}

function openPendingGroup(i) {
  closeGroup()
  inQuote = 0
  doc(pendingIndent, "@name " pendingTitle)
  for (i = 1; i <= pendingLines; ++i) doc(pendingIndent, pending[i])
  print pendingIndent "//@{"
  groupOpen = 1
  groupIndent = pendingIndent
  pendingTitle = ""
  pendingLines = 0
}

# The documentation of the operation at `position`: the block's text, then
# the position. A block that gives nothing but the position leaves the
# brief empty.
function emitPositioned(position, i) {
  if (slotLines == 0) {
    doc(slotIndent, "\\details Position " position " in the interface.")
    return
  }
  for (i = 1; i <= slotLines; ++i) doc(slotIndent, slot[i])
  doc(slotIndent, "")
  doc(slotIndent, "Position " position " in the interface.")
}

# A block directly above a declaration.
function emitAttached(i, text, spec, dash, first, last) {
  text = textOf(block[1])
  if (text !~ /^[0-9]+(-[0-9]+)?(: |$)/) {
    for (i = 1; i <= blockLines; ++i) doc(blockIndent, textOf(block[i]))
    return
  }
  spec = text
  sub(/[: ].*$/, "", spec)
  sub(/^[0-9-]+:? ?/, "", text)
  dash = index(spec, "-")
  first = dash ? substr(spec, 1, dash - 1) + 0 : spec + 0
  last = dash ? substr(spec, dash + 1) + 0 : first
  slotIndent = blockIndent
  slotLines = 0
  if (text != "") slot[++slotLines] = text
  for (i = 2; i <= blockLines; ++i) slot[++slotLines] = textOf(block[i])
  emitPositioned(first)
  nextPosition = first + 1
  positionsLeft = last - first
  declarationEnded = 0
}

# The file's opening block, when it opens with the name of the class that
# the header declares ("Repository: one open repository. ..."), is also
# that class's overview, for its page to show what the header says of it
# as a whole (release order, optional ids, what failures leave).
function keepOverview(   i) {
  overviewClass = ""
  if (!match(textOf(block[1]), /^[A-Za-z_][A-Za-z0-9_]*:/)) return
  overviewClass = substr(textOf(block[1]), 1, RLENGTH - 1)
  overviewLines = blockLines
  for (i = 1; i <= blockLines; ++i) overview[i] = textOf(block[i])
}

# Writes the kept overview before `line` when the line opens the
# definition of its class (not a forward declaration).
function emitOverview(line,   i) {
  if (overviewClass == "") return
  if (line !~ ("^(class|struct) " overviewClass "([ \t:{]|$)")) return
  if (line ~ /;[ \t]*$/) return
  inQuote = 0
  for (i = 1; i <= overviewLines; ++i) doc("", overview[i])
  overviewClass = ""
}

# Writes the comment block that stands before `next`, a line that is not a
# comment ("" at the end of the file).
function flush(following, blank, i, rest) {
  if (blockLines == 0) return
  inQuote = 0
  blank = following ~ /^[ \t]*$/
  if (blockStart == 1) {
    print "/// \\file"
    for (i = 1; i <= blockLines; ++i) doc(blockIndent, textOf(block[i]))
    keepOverview()
  } else if (isRule(block[1]) && ruleTitle(block[1]) != "") {
    closeGroup()
    pendingTitle = ruleTitle(block[1])
    pendingIndent = blockIndent
    pendingLines = 0
    if (blank) {
      for (i = 2; i <= blockLines; ++i) pending[++pendingLines] = textOf(block[i])
    } else {
      openPendingGroup()
      for (i = 2; i <= blockLines; ++i) doc(blockIndent, textOf(block[i]))
    }
  } else if (isRule(block[1])) {
    print block[1]
    for (i = 2; i <= blockLines; ++i) {
      if (blank) plain(blockIndent, textOf(block[i]))
      else doc(blockIndent, textOf(block[i]))
    }
  } else if (blank && pendingTitle != "") {
    for (i = 1; i <= blockLines; ++i) pending[++pendingLines] = textOf(block[i])
  } else if (blank) {
    for (i = 1; i <= blockLines; ++i) plain(blockIndent, textOf(block[i]))
  } else {
    if (pendingTitle != "") openPendingGroup()
    positionsLeft = 0  # a block of its own ends a range
    emitAttached()
  }
  blockLines = 0
}

/^[ \t]*\/\/( |$)/ {
  if (blockLines == 0) {
    blockStart = NR
    blockIndent = indentOf($0)
  }
  block[++blockLines] = $0
  next
}

{
  flush($0)
  if ($0 ~ /^[ \t]*$/) {
    print
    next
  }
  if (pendingTitle != "") openPendingGroup()
  emitOverview($0)
  if (positionsLeft > 0 && declarationEnded) {
    emitPositioned(nextPosition++)
    --positionsLeft
    declarationEnded = 0
  }
  if ($0 ~ /^};/) {
    closeGroup()
    positionsLeft = 0
  }
  print
  # A declaration ends with ";", an inline definition with "}".
  if ($0 ~ /[;}][ \t]*(\/\/.*)?$/) declarationEnded = 1
}

END {
  flush("")
  closeGroup()
}
