#!/usr/bin/env bash
# Runs the Quorvex OpenGL program under Wine. On first use it installs what
# is missing (tools/setup.sh) and builds the program (the x86_64 Windows
# build: the shipped i686 programs cannot run here, there is no 32-bit Wine).
# The program runs in build/demo, beside a copy of its data/ folder:
#  - on $DISPLAY when one is set, until you close its window;
#  - otherwise on a private X display, where after a few seconds it is
#    photographed (build/demo/screenshot.png) and closed as a player closes
#    it (Alt+F4), so the run ends with the program's own shut-down.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
build=$top/build
jobs=${QV_JOBS:-$(nproc)}

tools/setup.sh

[ -f "$build/x86_64/build.ninja" ] ||
  cmake -S "$top" -B "$build/x86_64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-x86_64.cmake" >/dev/null
cmake --build "$build/x86_64" -j "$jobs" --target quorvex-gl

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
program=$build/x86_64/quorvex-gl.exe
demo=$build/demo

if [ -n "${DISPLAY:-}" ]; then
  exec tools/run-program.sh --check "$program" "$demo"
fi

source tools/xvfb.sh
trap stop_xvfb EXIT
start_xvfb
tools/run-program.sh --close-after "${QV_RUN_SECONDS:-5}" --screenshot "$demo/screenshot.png" --check "$program" "$demo"
