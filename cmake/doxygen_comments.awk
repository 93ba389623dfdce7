# Input filter of the API reference. The headers document their interfaces
# in plain // comments, which Doxygen does not read; this turns them into
# /// comments by what they stand before:
# - the file's opening block becomes the file's description, and also the
#   overview of the class it opens by naming ("Repository: ...");
# - a block directly above a declaration documents it. When it opens with
#   the operation's position ("3: ..." or "18-21: ..."; hosts call the
#   operations by position), the position moves out of the brief to a line
#   of its own. A block over a range of positions opens a member group
#   titled by the range, whose description is the block's text (once, for
#   the group), and each operation of the range gets its position; an
#   operation of the range may still have a block of its own;
# - a "// --- Title ---" rule opens a member group of that title, whose
#   description is the comment below the rule when a blank line separates
#   that comment from the next declaration; the group ends at the next such
#   rule or at the end of the class;
# - any other block that a blank line separates from what follows, and
#   rules without a title, stay plain comments.
# Placeholders such as <id> are written so that they show as they stand,
# and a text that opens with a plain word opens with a capital, as a brief
# does ("the list file's entries" becomes "The list file's entries"; an
# identifier such as getLockInfo stays as written).
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

# `text` with its first letter capitalised when it opens with a plain
# lower-case word.
function capital(text) {
  if (text !~ /^[a-z][a-z'\/.,;:-]*( |$)/) return text
  return toupper(substr(text, 1, 1)) substr(text, 2)
}

# Writes lines[from..to] as documentation, the first opening with a
# capital.
function docLines(indent, lines, from, to,   i) {
  for (i = from; i <= to; ++i)
    doc(indent, i == from ? capital(lines[i]) : lines[i])
}

function plain(indent, text) {
  print indent (text == "" ? "//" : "// " text)
}

# A block's texts are kept without their "//"; a rule's opens with "---".
function isRule(text) {
  return text ~ /^---/
}

# "Title" of "--- Title -----"; empty for a rule of dashes alone.
function ruleTitle(text) {
  sub(/^-+ */, "", text)
  sub(/ *-*$/, "", text)
  return text
}

function closeGroup() {
  if (!groupOpen) return
  print groupIndent "//@}"
  groupOpen = 0
}

# Opens a member group titled `title` and described by lines[1..count].
function openGroup(indent, title, lines, count) {
  closeGroup()
  inQuote = 0
  doc(indent, "@name " title)
  docLines(indent, lines, 1, count)
  print indent "//@{"
  groupOpen = 1
  groupIndent = indent
}

function openPendingGroup() {
  openGroup(pendingIndent, pendingTitle, pending, pendingLines)
  pendingTitle = ""
  pendingLines = 0
}

# The documentation of the operation at `position`: the block's text, then
# the position. A block that gives nothing but the position, or one over a
# range (its text describes the range's group), leaves the brief empty.
function emitPositioned(position) {
  if (slotLines == 0 || rangeGroup) {
    doc(slotIndent, "\\details Position " position " in the interface.")
    return
  }
  docLines(slotIndent, slot, 1, slotLines)
  doc(slotIndent, "")
  doc(slotIndent, "Position " position " in the interface.")
}

# Ends the range being documented, and its group.
function endRange() {
  if (rangeGroup) closeGroup()
  rangeGroup = 0
  positionsLeft = 0
}

# A block directly above a declaration. A block of its own inside a range
# documents that operation, which keeps its position in the range.
function emitAttached(i, text, spec, dash, first, last) {
  text = block[1]
  if (text !~ /^[0-9]+(-[0-9]+)?(: |$)/) {
    docLines(blockIndent, block, 1, blockLines)
    return
  }
  endRange()
  spec = text
  sub(/[: ].*$/, "", spec)
  sub(/^[0-9-]+:? ?/, "", text)
  dash = index(spec, "-")
  first = dash ? substr(spec, 1, dash - 1) + 0 : spec + 0
  last = dash ? substr(spec, dash + 1) + 0 : first
  slotIndent = blockIndent
  slotLines = 0
  if (text != "") slot[++slotLines] = text
  for (i = 2; i <= blockLines; ++i) slot[++slotLines] = block[i]
  positionsLeft = last - first
  if (positionsLeft > 0 && slotLines > 0) {
    openGroup(slotIndent, "Positions " spec, slot, slotLines)
    rangeGroup = 1
  }
  emitPositioned(first)
  nextPosition = first + 1
  declarationEnded = 0
}

# The file's opening block, when it opens with the name of the class that
# the header declares ("Repository: one open repository. ..."), is also
# that class's overview, for its page to show what the header says of it
# as a whole (release order, optional ids, what failures leave).
function keepOverview(   i) {
  overviewClass = ""
  if (!match(block[1], /^[A-Za-z_][A-Za-z0-9_]*:/)) return
  overviewClass = substr(block[1], 1, RLENGTH - 1)
  overviewLines = blockLines
  for (i = 1; i <= blockLines; ++i) overview[i] = block[i]
}

# Writes the kept overview before `line` when the line opens the
# definition of its class (not a forward declaration).
function emitOverview(line) {
  if (overviewClass == "") return
  if (line !~ ("^(class|struct) " overviewClass "([ \t:{]|$)")) return
  if (line ~ /;[ \t]*$/) return
  inQuote = 0
  docLines("", overview, 1, overviewLines)
  overviewClass = ""
}

# Writes the comment block that stands before `following`, a line that is
# not a comment ("" at the end of the file).
function flush(following,   blank, i) {
  if (blockLines == 0) return
  inQuote = 0
  blank = following ~ /^[ \t]*$/
  if (blockStart == 1) {
    print "/// \\file"
    docLines(blockIndent, block, 1, blockLines)
    keepOverview()
  } else if (isRule(block[1]) && ruleTitle(block[1]) != "") {
    endRange()
    closeGroup()
    pendingTitle = ruleTitle(block[1])
    pendingIndent = blockIndent
    pendingLines = 0
    if (blank) {
      for (i = 2; i <= blockLines; ++i) pending[++pendingLines] = block[i]
    } else {
      openPendingGroup()
      docLines(blockIndent, block, 2, blockLines)
    }
  } else if (isRule(block[1])) {
    plain(blockIndent, block[1])
    if (blank) {
      for (i = 2; i <= blockLines; ++i) plain(blockIndent, block[i])
    } else {
      docLines(blockIndent, block, 2, blockLines)
    }
  } else if (blank && pendingTitle != "") {
    for (i = 1; i <= blockLines; ++i) pending[++pendingLines] = block[i]
  } else if (blank) {
    for (i = 1; i <= blockLines; ++i) plain(blockIndent, block[i])
  } else {
    if (pendingTitle != "") openPendingGroup()
    emitAttached()
  }
  blockLines = 0
}

/^[ \t]*\/\/( |$)/ {
  if (blockLines == 0) {
    blockStart = NR
    blockIndent = indentOf($0)
  }
  block[++blockLines] = textOf($0)
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
    endRange()
    closeGroup()
  }
  print
  # A declaration ends with ";", an inline definition with "}".
  if ($0 ~ /[;}][ \t]*(\/\/.*)?$/) {
    declarationEnded = 1
    if (positionsLeft == 0) endRange()
  }
}

END {
  flush("")
  closeGroup()
}
