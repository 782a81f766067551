#!/usr/bin/env bash
# libvantor.so exports exactly CVantor's three members and runs nothing at load but its entry.
set -euo pipefail
got=$(nm -D --defined-only "$1" | awk '$2 ~ /^[TW]$/ {print $3}' | sort)
want=$(printf '%s\n' _ZN7CVantor4StopEv _ZN7CVantor5StartEv _ZN7CVantoraSERKS_ | sort)
if [ "$got" != "$want" ]; then
  echo "libvantor.so exports differ:"; diff <(echo "$want") <(echo "$got") || true; exit 1
fi
# Nothing of the module runs at load or unload but its entry point's steps: no static
# constructor, and no destructor registered behind them.
if nm "$1" | grep -E '_GLOBAL__sub_I|__cxa_atexit'; then
  echo "libvantor.so has static constructors or registers destructors"; exit 1
fi
echo "ok: exactly the three CVantor members; no static constructors or registered destructors"
