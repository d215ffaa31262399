#!/usr/bin/env bash
# Runs a Quorvex program under Wine the way a player meets it: in a copy of
# the service's installation (the sample one that tools/fixtures makes, with
# the program's data/ folder laid over it), against the stand-in game and
# file servers (tools/standin), which write the folder's server address files
# and play a short session.
#
#   tools/run-client.sh       the OpenGL program, quorvex-gl (in build/demo)
#   tools/run-client.sh dx    the Direct3D 9 program, quorvex-dx (in build/demo-dx)
#
# On first use it installs what is missing (tools/setup.sh) and builds the
# program (the x86_64 Windows build: the i686 programs cannot run here, the
# machine's kernel cannot execute 32-bit programs). Then:
#  - on $DISPLAY when one is set, the program runs until you close its
#    window: pick a character, press Enter, talk, walk;
#  - otherwise on a private X display, where the script plays the session as
#    a player would (xdotool: picks the second character, Enter, waits for
#    the login, says a line, takes a step that leads into a dream),
#    photographs the display (screenshot.png in the program's folder) and
#    closes the window as a player closes it (Alt+F4), so the run ends with
#    the program's own shut-down, and checks the run.
# The servers stop with the program.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
build=$top/build
jobs=${QV_JOBS:-$(nproc)}

case ${1:-gl} in
  gl) target=quorvex-gl demo=$build/demo ;;
  dx) target=quorvex-dx demo=$build/demo-dx ;;
  *) echo "usage: tools/run-client.sh [gl|dx]" >&2; exit 2 ;;
esac

road=(--session)

tools/setup.sh

[ -f "$build/x86_64/build.ninja" ] ||
  cmake -S "$top" -B "$build/x86_64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-x86_64.cmake" >/dev/null
cmake --build "$build/x86_64" -j "$jobs" --target "$target" sample_data

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
program=$build/x86_64/$target.exe
sample=$build/x86_64/sample

if [ -n "${DISPLAY:-}" ]; then
  exec tools/run-program.sh --install "$sample" --servers --check "$program" "$demo"
fi

source tools/xvfb.sh
trap stop_xvfb EXIT
start_xvfb
tools/run-program.sh --install "$sample" "${road[@]}" --screenshot "$demo/screenshot.png" --check "$program" "$demo"
