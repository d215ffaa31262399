#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the x86_64 Windows
# build (the programs for 64-bit Windows, and the tests, which run under
# Wine on a private Xvfb display), the i686 programs for 32-bit Windows
# (built, never run: this machine's kernel cannot execute 32-bit programs;
# the DLLs both builds' programs import are checked), and the native build of
# the portable code under sanitizers with its fuzz targets; then runs the
# tests, each fuzz target for a bounded time, the dream benchmark (natively
# and under Wine) and the program benchmark (both programs, each against a
# bare window of its graphics API, under Wine).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
build=$top/build
jobs=${QV_JOBS:-$(nproc)}

tools/setup.sh

configure() {  # folder, extra cmake arguments...
  local dir=$1
  shift
  if [ -f "$dir/build.ninja" ]; then
    # Options added since the folder was made take effect too (quietly: the
    # toolchain file is reported as unused on a second configure).
    cmake "$dir" "$@" >/dev/null 2>&1 || cmake "$dir" "$@"
  else
    cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
  fi
}

echo "== x86_64 Windows build"
configure "$build/x86_64" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-x86_64.cmake"
cmake --build "$build/x86_64" -j "$jobs"

echo "== i686 Windows build (the programs for 32-bit Windows; built, not run)"
configure "$build/i686" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686.cmake"
cmake --build "$build/i686" -j "$jobs"

# The README tells a player what the programs need: Windows' own DLLs, and
# for quorvex-dx the DirectX runtime's d3dx9_43.dll. Both builds keep to it.
echo "== DLLs the programs import"
tools/check-imports.sh x86_64 "$build/x86_64"
tools/check-imports.sh i686 "$build/i686"

echo "== native build (sanitizers, fuzz targets)"
configure "$build/native" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DQV_SANITIZE=ON -DQV_FUZZ=ON
cmake --build "$build/native" -j "$jobs"

echo "== native benchmark build (optimised, no sanitizers)"
configure "$build/bench" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DCMAKE_BUILD_TYPE=Release \
  -DQV_TESTS=OFF -DQV_BENCH=ON
cmake --build "$build/bench" -j "$jobs" --target dream_bench

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

# Each fuzz target runs ${QV_FUZZ_SECONDS:-30} s from the generated seeds
# plus the corpus it kept from earlier runs, in a working folder inside a
# folder of its own (the dream target checks that nothing appears beside it).
echo "== fuzz targets (${QV_FUZZ_SECONDS:-30} s each)"
fuzz_dir=$build/native/fuzzrun
fuzz_failed=()
run_fuzz() {  # target; leaves its exit code in <dir>/rc
  local t=$1 dir=$fuzz_dir/$1 rc=0 seeds=$build/native/fixtures/seeds/$1
  # Targets without generated fixtures keep their seeds in the tree.
  [ -d "$seeds" ] || seeds=$top/tests/fuzz/seeds/$t
  local options=()  # a dictionary of the format's words, where it has one
  [ -f "$top/tests/fuzz/$t.dict" ] && options+=(-dict="$top/tests/fuzz/$t.dict")
  rm -rf "$dir/sandbox" "$dir/rc"
  mkdir -p "$dir/sandbox/work" "$dir/corpus"
  (cd "$dir/sandbox/work" &&
    "$build/native/tests/fuzz/${t}_fuzz" -max_total_time="${QV_FUZZ_SECONDS:-30}" -timeout=20 \
      -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$dir/" "${options[@]}" \
      "$dir/corpus" "$seeds" >"$dir/log.txt" 2>&1) || rc=$?
  echo "$rc" >"$dir/rc"
}
targets=(lzw dream map shape shape_patch palette color_tables player protocol mbm bmbm)
fuzz_pids=()
for t in "${targets[@]}"; do
  # At most $jobs at once (Xvfb is a job of this shell too: count ours).
  while true; do
    live=0
    for pid in "${fuzz_pids[@]}"; do kill -0 "$pid" 2>/dev/null && live=$((live + 1)); done
    [ "$live" -lt "$jobs" ] && break
    sleep 1
  done
  run_fuzz "$t" &
  fuzz_pids+=($!)
done
for pid in "${fuzz_pids[@]}"; do wait "$pid" || true; done
for t in "${targets[@]}"; do
  if [ "$(cat "$fuzz_dir/$t/rc" 2>/dev/null)" = 0 ]; then
    printf '  %-14s %s\n' "$t" "$(grep -E '^stat::number_of_executed_units' "$fuzz_dir/$t/log.txt" | awk '{print $2 " runs, no finding"}')"
  else
    fuzz_failed+=("$t")
    echo "  $t: FINDING (artifacts and log in $fuzz_dir/$t)"
    tail -n 40 "$fuzz_dir/$t/log.txt"
  fi
done

echo "== dream benchmark (native)"
mkdir -p "$build/bench/benchrun"
(cd "$build/bench/benchrun" && ../tools/bench/dream_bench "$build/bench/bench-data")
echo "== dream benchmark (Wine)"
mkdir -p "$build/x86_64/benchrun"
(cd "$build/x86_64/benchrun" && "$top/tools/wine-run.sh" ../tools/bench/dream_bench.exe "$build/x86_64/bench-data")
echo "== program benchmark (Wine)"
python3 "$top/tools/bench/program_bench.py" "$build/x86_64"

if [ ${#fuzz_failed[@]} -gt 0 ]; then
  echo "fuzz targets with findings: ${fuzz_failed[*]}"
  exit 1
fi
