#!/usr/bin/env bash
# Runs one Windows test program under Wine for ctest. A program that prints
# nothing has not run its tests (Wine could not start it): that fails too.
# Output goes through a file, not a pipe: Wine's own service processes
# inherit the output handles and would hold a pipe open long after the test.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
wine "$@" >"$out" 2>&1
rc=$?
cat "$out"
if [ ! -s "$out" ]; then
  echo "wine-run: $1 printed nothing (exit code $rc)"
  [ "$rc" = 0 ] && rc=1
fi
exit "$rc"
