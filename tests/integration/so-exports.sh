#!/usr/bin/env bash
# libvantor.so exports exactly CVantor's three members.
set -euo pipefail
got=$(nm -D --defined-only "$1" | awk '$2 ~ /^[TW]$/ {print $3}' | sort)
want=$(printf '%s\n' _ZN7CVantor4StopEv _ZN7CVantor5StartEv _ZN7CVantoraSERKS_ | sort)
if [ "$got" != "$want" ]; then
  echo "libvantor.so exports differ:"; diff <(echo "$want") <(echo "$got") || true; exit 1
fi
echo "ok: exactly the three CVantor members"
