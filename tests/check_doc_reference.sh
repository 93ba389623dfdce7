#!/usr/bin/env bash
# Builds the API reference as the docs target does (its Doxyfile), as XML,
# and fails on any Doxygen warning, on a brief or member group description
# that opens in lower case, and on a member whose documentation repeats
# its group's (a comment over several operations is written once, for
# their group, not copied onto each of them), and on a backtick shown as
# text, where Doxygen gave up a code span.
set -euo pipefail
usage="usage: check_doc_reference.sh <doxygen> <Doxyfile of the docs target>"
doxygen=${1:?$usage}
doxyfile=${2:?$usage}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
{
  cat "$doxyfile"
  echo "OUTPUT_DIRECTORY = \"$out\""
  echo "GENERATE_HTML = NO"
  echo "GENERATE_XML = YES"
  echo "WARN_LOGFILE = \"$out/warnings\""
} | "$doxygen" -
if [ -s "$out/warnings" ]; then
  cat "$out/warnings" >&2
  exit 1
fi
# One line per fault: the page, the member or group, and its text.
faults=$(perl -0777 -ne '
  sub text { my $t = shift; $t =~ s{<[^>]+>}{}g; $t =~ s/\s+/ /g;
             $t =~ s/^ | $//g; $t =~ s/&lt;/</g; $t =~ s/&gt;/>/g;
             $t =~ s/&quot;/"/g; $t =~ s/&amp;/&/g; return $t }
  my ($page) = $ARGV =~ m{([^/]+)\.xml$};
  my %group;
  while (m{<sectiondef kind="user-defined">\s*<header>(.*?)</header>\s*<description>(.*?)</description>}gs) {
    my ($header, $described) = ($1, text($2));
    $group{$described} = $header;
    print "$page group $header: description in lower case: $described\n"
      if $described =~ /^[a-z]/;
  }
  while (m{<memberdef\b.*?<name>(.*?)</name>.*?<briefdescription>(.*?)</briefdescription>\s*<detaileddescription>(.*?)</detaileddescription>}gs) {
    my ($name, $brief, $details) = ($1, text($2), text($3));
    print "$page $name: brief in lower case: $brief\n" if $brief =~ /^[a-z]/;
    for my $described (grep { $_ ne "" } keys %group) {
      print "$page $name: repeats the description of group $group{$described}\n"
        if index("$brief $details", substr($described, 0, 60)) >= 0;
    }
  }
  # A code span that Doxygen gave up shows its backticks as text.
  (my $prose = $_) =~ s{<computeroutput>.*?</computeroutput>|<programlisting>.*?</programlisting>}{}gs;
  $prose = text($prose);
  print "$page: backtick shown as text: $1\n" while $prose =~ /(.{0,60}`.{0,30})/g;
  (my $own = $_) =~ s{<sectiondef\b.*?</sectiondef>}{}gs;
  while ($own =~ m{<briefdescription>(.*?)</briefdescription>}gs) {
    my $brief = text($1);
    print "$page: brief in lower case: $brief\n" if $brief =~ /^[a-z]/;
  }' "$out"/xml/*.xml)
if [ -n "$faults" ]; then
  echo "$faults" >&2
  exit 1
fi
echo "the API reference builds without warnings; briefs open with a capital and are written once"
