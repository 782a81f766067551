#!/usr/bin/env bash
# Makes the release zip with cpack and checks that it holds exactly the installed kit's files.
#   package-check.sh CPACK_CONFIG INSTALLED_KIT
set -uo pipefail
config=$1 kit=$2
out=$(cpack --config "$config" 2>&1) || { echo "$out"; echo "FAIL: cpack"; exit 1; }
zip=$(sed -nE 's/.*package: (.*\.zip) generated.*/\1/p' <<<"$out")
[ -f "$zip" ] || { echo "$out"; echo "FAIL: no zip reported"; exit 1; }
in_zip=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
installed=$(cd "$kit" && find . -type f | sed 's|^\./||' | sort)
if [ "$in_zip" != "$installed" ]; then
  echo "FAIL: $zip differs from $kit (< zip, > installed):"
  diff <(echo "$in_zip") <(echo "$installed")
  exit 1
fi
echo "$zip: $(wc -l <<<"$in_zip") files, as installed"
