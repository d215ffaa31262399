#!/usr/bin/env bash
# Prepares a Debian machine to build and run Quorvex: installs the cross
# compilers, Wine, Xvfb and the other tools, builds libbz2 for both Windows
# targets from Debian's own source package, and makes a Wine prefix inside the
# build folder. Safe to run again: every step is skipped once it is done.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QV_BUILD:-$top/build}
mkdir -p "$build"

packages=(
  cmake ninja-build make
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine64
  xvfb xauth x11-utils libgl1-mesa-dri xdotool imagemagick
  fonts-dejavu-core fonts-liberation
  googletest
  g++ clang libclang-rt-14-dev
  python3
  xz-utils ca-certificates
)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -qq
  as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# libbz2 for both targets, from Debian's source package. The machine's own
# apt entries are copied with deb-src added, into a private apt configuration,
# so the system's settings stay as they were.
bz=$build/deps/bzip2
if [ ! -f "$bz/x86_64/lib/libbz2.a" ] || [ ! -f "$bz/i686/lib/libbz2.a" ] || [ ! -f "$bz/native/lib/libbz2.a" ]; then
  apt_dir=$build/deps/apt
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$bz/src"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -e 's/^Types:.*/Types: deb deb-src/' "$f" > "$apt_dir/sources/$(basename "$f")"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' > "$apt_dir/sources/extra-src.list" || true
    grep -E '^deb ' /etc/apt/sources.list >> "$apt_dir/sources/extra-src.list" || true
  fi
  apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/sources"
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -qq)
  apt-get "${apt_opts[@]}" update
  (cd "$bz/src" && apt-get "${apt_opts[@]}" source --download-only bzip2)
  orig=$(ls "$bz"/src/bzip2_*.orig.tar.* | head -n 1)
  rm -rf "$bz/src/tree" && mkdir -p "$bz/src/tree"
  tar -xf "$orig" -C "$bz/src/tree" --strip-components=1
  # The native copy serves the sanitizer and fuzzing builds of the readers.
  for arch in x86_64 i686 native; do
    out=$bz/$arch
    rm -rf "$out" && mkdir -p "$out/obj" "$out/lib" "$out/include"
    case $arch in
      native) cc=gcc; ar=ar; extra="-fPIC" ;;
      i686)   cc=$arch-w64-mingw32-gcc-posix; ar=$arch-w64-mingw32-ar; extra="-msse2 -mfpmath=sse -gdwarf-4" ;;
      *)      cc=$arch-w64-mingw32-gcc-posix; ar=$arch-w64-mingw32-ar; extra="-gdwarf-4" ;;
    esac
    for c in blocksort huffman crctable randtable compress decompress bzlib; do
      $cc -O2 $extra -D_FILE_OFFSET_BITS=64 -c "$bz/src/tree/$c.c" -o "$out/obj/$c.o"
    done
    $ar rcs "$out/lib/libbz2.a" "$out"/obj/*.o
    cp "$bz/src/tree/bzlib.h" "$out/include/"
  done
  echo "setup: libbz2 built for x86_64, i686 and the native build"
fi

# A Wine prefix of our own, booted once, with the crash dialog off so that a
# crashing test ends instead of waiting for someone to close a window.
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/.quorvex-ready" ]; then
  echo "setup: making the Wine prefix"
  rm -rf "$WINEPREFIX"
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # The program asks for Arial and Courier New; map them to fonts we install
  # so text renders the same on every machine.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Ariel /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /t REG_SZ /d 'Liberation Mono' /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.quorvex-ready"
fi
