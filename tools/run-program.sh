#!/usr/bin/env bash
# Runs one Quorvex program under Wine on $DISPLAY, in a working folder of its
# own that holds a copy of the program's data/ folder.
#
#   run-program.sh [--close-after S] [--screenshot FILE] [--check] PROGRAM.exe FOLDER
#
# --close-after S   after S seconds, close the window as a player does
#                   (Alt+F4); without it, wait for the player to close it.
# --screenshot FILE save a picture of the display just before closing.
# --check           then check the run: exit code 0, the per-scene
#                   statistics in "_stat.txt", no leak in "_error.txt".
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

closeAfter= screenshot= check=
while [ $# -gt 2 ]; do
  case $1 in
    --close-after) closeAfter=$2; shift 2 ;;
    --screenshot) screenshot=$2; shift 2 ;;
    --check) check=1; shift ;;
    *) echo "run-program: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -eq 2 ] || { echo "usage: run-program.sh [--close-after S] [--screenshot FILE] [--check] PROGRAM.exe FOLDER" >&2; exit 2; }
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
folder=$2
[ -n "${DISPLAY:-}" ] || { echo "run-program: no DISPLAY" >&2; exit 2; }

export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}

mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
# What an earlier run left goes: the logs are the program's own report of
# this run, and data/ is copied afresh.
rm -rf "$folder/data" "$folder/gen" "$folder/qvrx_tmp" "$folder"/_*.txt "$folder/wine-output.txt"
if [ -d "$top/data" ]; then cp -r "$top/data" "$folder/data"; fi

cd "$folder"
wine "$program" >wine-output.txt 2>&1 &
pid=$!

title='^Quorvex - '
window=
for _ in $(seq 300); do
  window=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done

if [ -n "$closeAfter" ]; then
  if [ -z "$window" ]; then
    echo "run-program: the program's window did not appear" >&2
    kill "$pid" 2>/dev/null
  else
    sleep "$closeAfter"
    if [ -n "$screenshot" ]; then
      mkdir -p "$(dirname "$screenshot")"
      import -window root "$screenshot" && echo "run-program: screenshot saved to $screenshot"
    fi
    # Alt+F4, as a player closes a window: the system's close command.
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool key --clearmodifiers alt+F4
  fi
fi

rc=
if [ -z "$closeAfter" ]; then
  wait "$pid"
  rc=$?
else
  # Closed, the program ends itself; one that has not within a minute (a
  # leak report's message box, a hang) is stopped.
  for _ in $(seq 600); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      rc=$?
      break
    fi
    sleep 0.1
  done
  if [ -z "$rc" ]; then
    echo "run-program: the program did not end after its window was closed" >&2
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    rc=124
  fi
fi
echo "run-program: exit code $rc; logs in $folder"

[ -n "$check" ] || exit "$rc"

failed=0
fail() {
  echo "run-program: $*" >&2
  failed=1
}
[ "$rc" = 0 ] || fail "exit code $rc, not 0"
# Text mode logs: CR LF on disk.
stats=$(tr -d '\r' <_stat.txt 2>/dev/null)
grep -q '^average FPS for invididual scenes:$' <<<"$stats" || fail "no per-scene statistics in _stat.txt"
grep -Eq '^  -.+ \(over [0-9]+ seconds\): [0-9]+ frames/sec$' <<<"$stats" || fail "no scene line in _stat.txt"
errors=$(tr -d '\r' <_error.txt 2>/dev/null)
if grep -q 'memory leaks' <<<"$errors"; then fail "_error.txt reports leaks"; fi
if [ "$failed" != 0 ]; then
  echo "--- _stat.txt"; echo "$stats"
  echo "--- _error.txt"; echo "$errors"
  echo "--- wine"; cat wine-output.txt
  exit 1
fi
echo "run-program: clean run: statistics written, no leak"
