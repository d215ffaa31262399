#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the x86_64 Windows
# build (tests run under Wine on a private Xvfb display), the i686 programs
# that ship (compile and link: no 32-bit Wine here), and the native build of
# the portable code under sanitizers.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
build=$top/build
jobs=${QV_JOBS:-$(nproc)}

tools/setup.sh

configure() {  # folder, extra cmake arguments...
  local dir=$1
  shift
  [ -f "$dir/build.ninja" ] || cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
}

echo "== x86_64 Windows build"
configure "$build/x86_64" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-x86_64.cmake"
cmake --build "$build/x86_64" -j "$jobs"

echo "== i686 Windows build (the programs that ship)"
configure "$build/i686" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686.cmake"
cmake --build "$build/i686" -j "$jobs"

echo "== native build (sanitizers)"
configure "$build/native" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DQV_SANITIZE=ON
cmake --build "$build/native" -j "$jobs"

source tools/xvfb.sh
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
cleanup() {
  wineserver -k 2>/dev/null || true
  stop_xvfb
}
trap cleanup EXIT
start_xvfb
# One Wine session for all tests: its services start once, here.
wineserver -p 30
wine cmd /c exit >/dev/null 2>&1 </dev/null || true

echo "== native tests"
ctest --test-dir "$build/native" -j "$jobs" --output-on-failure
echo "== Windows tests (Wine)"
ctest --test-dir "$build/x86_64" -j "$jobs" --output-on-failure
