#!/usr/bin/env bash
# Runs one Quorvex program under Wine on $DISPLAY, in a working folder of its
# own that holds a copy of the program's data/ folder.
#
#   run-program.sh [--install DIR] [--servers | --session] [--dream NAME]
#                  [--close-after S] [--screenshot FILE] [--check]
#                  PROGRAM.exe FOLDER
#
# --install DIR     the folder becomes a copy of the service's installation
#                   DIR (player files, palettes, maps, dreams...) with the
#                   program's data/ folder laid over it.
# --servers         run the stand-in game and file servers (tools/standin)
#                   on the folder while the program runs: they write the
#                   folder's server address files and play a short session
#                   (the game server greets, logs the player in, shows a bit
#                   of world and answers the first chat line and step; the
#                   file server serves the installation's dreams/).
# --session         --servers, and play that session as a player would, with
#                   xdotool: pick the second character, Enter, wait for the
#                   login, say a line, take a step north (which leads into a
#                   dream: downloaded, unpacked, loaded). Then the close as
#                   with --close-after (3 s when not given). With --check, the
#                   game server must have received exactly the session's
#                   bytes.
# --dream NAME      the dream that the session's portal and step lead into:
#                   NAME.dream of the installation's dreams/ (Meadow when
#                   not given).
# --close-after S   after S seconds, close the window as a player does
#                   (Alt+F4); without it, wait for the player to close it.
# --screenshot FILE save a picture of the display just before closing.
# --check           then check the run: exit code 0, the per-scene
#                   statistics in "_stat.txt", no leak in "_error.txt".
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

closeAfter= screenshot= check= install= servers= session= inside= dream=Meadow
while [ $# -gt 2 ]; do
  case $1 in
    --close-after) closeAfter=$2; shift 2 ;;
    --screenshot) screenshot=$2; shift 2 ;;
    --check) check=1; shift ;;
    --install) install=$2; shift 2 ;;
    --servers) servers=1; shift ;;
    --session) servers=1 session=1; shift ;;
    --dream) dream=$2; shift 2 ;;
    --inside-servers) inside=1; shift ;;  # this script again, under the servers
    *) echo "run-program: unknown option $1" >&2; exit 2 ;;
  esac
done
usage="usage: run-program.sh [--install DIR] [--servers | --session] [--dream NAME] [--close-after S] [--screenshot FILE] [--check] PROGRAM.exe FOLDER"
[ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
folder=$2
[ -n "${DISPLAY:-}" ] || { echo "run-program: no DISPLAY" >&2; exit 2; }
if [ -n "$session" ] && [ -z "$closeAfter" ]; then closeAfter=3; fi
if [ -n "$screenshot" ]; then
  mkdir -p "$(dirname "$screenshot")"
  screenshot=$(cd "$(dirname "$screenshot")" && pwd)/$(basename "$screenshot")
fi

export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}

if [ -z "$inside" ]; then
  mkdir -p "$folder"
  folder=$(cd "$folder" && pwd)
  if [ -n "$install" ]; then
    # A fresh copy of the installation: nothing of an earlier run is left.
    [ -d "$install" ] || { echo "run-program: no installation at $install" >&2; exit 2; }
    find "$folder" -mindepth 1 -delete
    cp -r "$install"/. "$folder"/
    rm -f "$folder/.generated"
  else
    # What an earlier run left goes: the logs are the program's own report
    # of this run, and data/ is copied afresh.
    rm -rf "$folder/data" "$folder/gen" "$folder/qvrx_tmp" "$folder"/_*.txt "$folder/wine-output.txt"
  fi
  if [ -d "$top/data" ]; then
    mkdir -p "$folder/data"
    cp -r "$top/data"/. "$folder/data"/
  fi
  if [ -n "$servers" ]; then
    # The servers write the address files into the folder's data/ once they
    # listen, then this script runs again (without preparing) under them.
    options=(--inside-servers --dream "$dream")
    [ -n "$closeAfter" ] && options+=(--close-after "$closeAfter")
    [ -n "$screenshot" ] && options+=(--screenshot "$screenshot")
    [ -n "$check" ] && options+=(--check)
    if [ -n "$session" ]; then options+=(--session); else options+=(--servers); fi
    cd "$folder"
    exec "$top/tools/standin/with-standins.sh" "$top/tools/run-program.sh" "${options[@]}" "$program" "$folder"
  fi
fi
folder=$(cd "$folder" && pwd)
cd "$folder"

# The session the stand-in servers play. Positions are file tiles in base 95
# (each character's code minus 32), two characters for x and two for y. The
# portal and the step lead into the dream named Meadow here.
if [ -n "$servers" ]; then
  sed "s/Meadow/$dream/g" >standin/game.json <<'EOF'
{"transcript": "session",
 "script": [
  {"send": "Welcome to the stand-in game server.\nEND\n"},
  {"expect": "connect "}, {"expect": "\n"},
  {"send": "&&&&&&&&&&&&& You are logged in.\n"},
  {"expect": "color "}, {"expect": "\n"},
  {"send": ";maps\\vinca.map\n]ccdefault.pcx\n@ * 4\n<%)'#$*+,-. + 4 1\n<+,-./01234 ) 6 %\n]s , 2xxMeadow The|Meadow\n[You wake up on the stand-in island. Type to talk; the arrow keys walk.\n"},
  {"expect": "\n\n"},
  {"send": "(You say it aloud, but nobody is here to hear it.\n"},
  {"expect": "m 9\n"},
  {"send": "@ * 3\n(You take a step north, into a dream.\n]q Meadow\n"},
  {"expect": "saltmarrows\n"},
  {"send": "@ & &\n(You are in the Meadow.\n"}
 ]}
EOF
  echo '{"transcript": "session-file", "dreams": "dreams"}' >standin/file.json
fi
rm -f wine-output.txt

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

focus() {
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window" 2>/dev/null
}
# Held long enough for the program's once-a-frame keyboard snapshot to see.
press() {
  xdotool keydown "$1"
  sleep 0.25
  xdotool keyup "$1"
  sleep 0.25
}
# Waits until the game server has received this text (printf format).
received() {
  local want got
  want=$(printf "$1"; echo x)
  want=${want%x}
  for _ in $(seq 300); do
    got=$(cat standin/session-1.bin 2>/dev/null; echo x)
    if [[ "$got" == *"$want"* ]]; then return 0; fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Whether the chooser's pointer (yellow, left of the names) stands at entry
# ROW (0 the first), read back from the window. The window shows before the
# graphics and the keyboard are set up, and the chooser reads the keys once a
# frame: on a busy machine a key pressed too early, or released between two
# slow frames, is lost. So the session waits for the pointer, and repeats a
# key that did not move it.
pointer_at() {
  local bright
  bright=$(import -window "$window" -crop 48x24+256+$((234 + 32 * $1)) +repage -format '%[fx:maxima]' info:- 2>/dev/null)
  [ -n "$bright" ] && [ "$bright" != 0 ]
}
wait_pointer_at() {  # row, tenths of a second
  for _ in $(seq "$2"); do
    pointer_at "$1" && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

sessionFailed=
if [ -n "$session" ] && [ -n "$window" ]; then
  focus
  wait_pointer_at 0 600 || echo "run-program: session: the chooser did not appear" >&2
  for _ in 1 2 3; do
    press Down
    wait_pointer_at 1 50 && break
  done
  # Enter leaves the chooser, and the pointer with it. A second Enter that
  # reaches the game instead is an empty line, which sends nothing.
  for _ in 1 2 3; do
    press Return
    for _ in $(seq 50); do
      pointer_at 1 || break
      sleep 0.1
    done
    pointer_at 1 || break
  done
  if received 'color '; then
    received ' \n' || true
    sleep 0.5
    xdotool type --delay 60 "Hello from the player."
    xdotool key Return
    received '\n\n' || sessionFailed="the chat line did not arrive"
    sleep 0.5
    xdotool key Up
    if received 'm 9\n'; then
      # The step leads into the Meadow dream: downloaded, unpacked, loaded.
      received 'saltmarrows\n' || sessionFailed="the dream was not loaded"
    else
      sessionFailed="the step did not arrive"
    fi
  else
    sessionFailed="the program did not log in"
  fi
  [ -n "$sessionFailed" ] && echo "run-program: session: $sessionFailed" >&2
fi

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
    focus
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
if [ -n "$session" ]; then
  [ -z "$sessionFailed" ] || fail "session: $sessionFailed"
  # The second character of the sample installation (the search lists the
  # player files by name), its login, the line, the step and the dream's
  # acknowledgement: byte for byte.
  expected=$(printf 'connect Bramble thorns\ndesc Keeps to the hedges.\ncolor !!!!!!!!!! '"'"' \n"Hello from the player.\n\nm 9\nsaltmarrows\n' | od -An -tx1)
  got=$(od -An -tx1 <standin/session-1.bin 2>/dev/null)
  if [ "$got" != "$expected" ]; then
    fail "the game server received other bytes than the session's"
    echo "--- received"; cat -A standin/session-1.bin 2>/dev/null
  fi
  grep -Eq '^  -CMain \(over [0-9]+ seconds\)' <<<"$stats" || fail "no statistics line for the in-game scene"
fi
if [ "$failed" != 0 ]; then
  echo "--- _stat.txt"; echo "$stats"
  echo "--- _error.txt"; echo "$errors"
  echo "--- wine"; cat wine-output.txt
  exit 1
fi
echo "run-program: clean run: statistics written, no leak"
