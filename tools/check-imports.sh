#!/usr/bin/env bash
# Checks what the two programs of one Windows build need on a player's
# machine: each must be a program of the build's architecture and import
# only DLLs that every Windows has, plus d3dx9_43.dll for quorvex-dx, which
# the README tells the player to install. A program that imports anything
# else fails here, so the README's "Taking the programs to a player's
# machine" stays true: a new import is either a Windows DLL (it joins the
# list below) or something the player must get (the README says where).
#
#   tools/check-imports.sh x86_64|i686 FOLDER
#
# FOLDER holds quorvex-gl.exe and quorvex-dx.exe of that architecture.
set -euo pipefail

usage="usage: tools/check-imports.sh x86_64|i686 FOLDER"
[ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
arch=$1 folder=$2
case $arch in
  x86_64) format=pei-x86-64 ;;
  i686) format=pei-i386 ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
objdump=$arch-w64-mingw32-objdump

# DLLs of Windows itself (lower case: the import tables spell them either
# way). The C run-time is Windows' own msvcrt.dll, the C++ run-time and the
# thread library are linked in; dbghelp.dll (call-stack texts), gdiplus.dll
# (image decoding), dinput8.dll (keyboard), opengl32.dll and d3d9.dll (the
# two backends) have all come with Windows since XP.
windows=(kernel32.dll user32.dll gdi32.dll shell32.dll winmm.dll ws2_32.dll msvcrt.dll
  dbghelp.dll gdiplus.dll dinput8.dll)
allowed_gl=("${windows[@]}" opengl32.dll)
# d3dx9_43.dll is not part of Windows: it comes with Microsoft's DirectX
# End-User Runtime.
allowed_dx=("${windows[@]}" d3d9.dll d3dx9_43.dll)

failed=0
check() {  # program, allowed DLLs...
  local program=$folder/$1
  shift
  if [ ! -f "$program" ]; then
    echo "check-imports: no $program" >&2
    failed=1
    return
  fi
  local dump
  if ! dump=$("$objdump" -p "$program" 2>&1); then
    echo "check-imports: $objdump cannot read $program: $dump" >&2
    failed=1
    return
  fi
  if ! grep -q "file format $format\$" <<<"$dump"; then
    echo "check-imports: $program is not a $arch program ($(grep -m1 -o 'file format .*' <<<"$dump"))" >&2
    failed=1
    return
  fi
  local imports dll unexpected=()
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
  for dll in $imports; do
    [[ " $* " == *" $dll "* ]] || unexpected+=("$dll")
  done
  if [ ${#unexpected[@]} -gt 0 ]; then
    echo "check-imports: $program imports ${unexpected[*]}, not among the DLLs it may import." \
      "A DLL that comes with Windows joins the list in tools/check-imports.sh; any other" \
      "also needs the README to tell the player where to get it." >&2
    failed=1
  else
    echo "  $program:" $imports
  fi
}

check quorvex-gl.exe "${allowed_gl[@]}"
check quorvex-dx.exe "${allowed_dx[@]}"
exit "$failed"
