#!/usr/bin/env bash
# The catalogue of log lines in the kit must list exactly the messages the module's sources log,
# each at its level.
#   log-lines-check.sh SOURCE_DIR CATALOGUE
# A message is a wide literal (adjacent literals joined) that begins with a component's tag. Its
# level is that of the GuardLog call it is written in; a literal handed to a helper takes the
# level of the one GuardLog call in its file that logs a variable message.
set -uo pipefail
src=$1 doc=$2
from_source=$(find "$src" -name '*.cpp' | sort | xargs perl -0777 -ne '
  my @indirect = /GuardLog\(\s*(\d+)\s*,\s*[A-Za-z_]\w*\s*\)/g;
  my %levels = map { $_ => 1 } @indirect;
  while (/(GuardLog\(\s*(\d+)\s*,\s*)?((?:u"(?:[^"\\]|\\.)*"\s*)+)/g) {
    my ($level, $literals) = ($2, $3);
    my $message = join("", $literals =~ /u"((?:[^"\\]|\\.)*)"/g);
    next unless $message =~ /^[A-Za-z]+\\t /;
    if (!defined $level) {
      die "$ARGV: cannot tell the level of \"$message\"\n" unless keys(%levels) == 1;
      ($level) = keys %levels;
    }
    print "$level $message\n";
  }' | sort -u) || exit 1
# Catalogue rows: | LEVEL | `MESSAGE` | when |
from_doc=$(sed -nE 's/^\| ([0-9]+) \| `([^`]*)` \|.*/\1 \2/p' "$doc" | sort -u)
if [ "$from_source" != "$from_doc" ]; then
  echo "the catalogue $doc differs from the messages in $src (< sources, > catalogue):"
  diff <(echo "$from_source") <(echo "$from_doc")
  exit 1
fi
echo "catalogue matches the sources: $(wc -l <<<"$from_doc") messages"
