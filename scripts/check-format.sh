#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what .clang-format makes of it. Takes no arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 0 ] || { echo "check-format: takes no arguments" >&2; exit 2; }
for tool in git clang-format; do
  command -v "$tool" >/dev/null || {
    echo "check-format: $tool is not installed (bash scripts/deps.sh installs it)" >&2; exit 2; }
done
mapfile -t files < <(git ls-files -- '*.h' '*.cpp')
[ ${#files[@]} -eq 0 ] && exit 0
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if ! clang-format --dry-run --Werror "${files[@]}" 2>"$report"; then
  grep -E "^[^ ].*(warning|error):" "$report" | cut -d: -f1 | sort -u | sed 's/^/unformatted: /'
  echo "run: clang-format -i \$(git ls-files '*.h' '*.cpp')"
  exit 1
fi
echo "format: ${#files[@]} files clean"
