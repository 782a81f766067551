#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.h' '*.cpp')
[ ${#files[@]} -eq 0 ] && exit 0
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/vantor-format.$$; then
  grep -E "^[^ ].*(warning|error):" /tmp/vantor-format.$$ | cut -d: -f1 | sort -u | sed 's/^/unformatted: /'
  rm -f /tmp/vantor-format.$$
  echo "run: clang-format -i \$(git ls-files '*.h' '*.cpp')"
  exit 1
fi
rm -f /tmp/vantor-format.$$
echo "format: ${#files[@]} files clean"
