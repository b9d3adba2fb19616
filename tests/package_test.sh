#!/bin/sh
# The download as a Windows user gets it: builds the zip, unpacks it into an
# empty folder, checks that every program imports only DLLs that Windows
# itself provides, and runs mandel-render.exe from there under Wine.
# Arguments: the build folder, the zip's name (this version and word size),
# objdump, the emulator script.
set -u
export LC_ALL=C  # objdump's own words, untranslated
build=$1 zip=$build/$2 objdump=$3 emulator=$4
dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -f "$zip"
cmake --build "$build" --target package >"$dir/build.log" 2>&1 || { cat "$dir/build.log"; fail "package"; exit 1; }
[ -f "$zip" ] || { fail "the package did not make $zip"; exit 1; }
mkdir "$dir/unpacked"
python3 -m zipfile -e "$zip" "$dir/unpacked" || fail "cannot unpack $zip"
for name in mandel.exe mandel-render.exe mandel-bench.exe README.md; do
  [ -f "$dir/unpacked/$name" ] || fail "$name is not in $(basename "$zip")"
done
[ "$(ls -A "$dir/unpacked" | wc -l)" -eq 4 ] || fail "unexpected files: $(ls -A "$dir/unpacked")"

# Only DLLs of every Windows installation: no MinGW runtime, no C++ library.
for exe in "$dir"/unpacked/*.exe; do
  "$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | while read -r dll; do
    case $(echo "$dll" | tr 'A-Z' 'a-z') in
      kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|msvcrt.dll|advapi32.dll|shell32.dll) ;;
      *) echo "$(basename "$exe") imports $dll" ;;
    esac
  done
done >"$dir/imports"
[ ! -s "$dir/imports" ] || fail "$(cat "$dir/imports")"

# The zip's word size is its programs'; the 32-bit ones may use 4 GB of
# address space on 64-bit Windows.
case $zip in *-win64.zip) format=pei-x86-64 ;; *) format=pei-i386 ;; esac
for exe in "$dir"/unpacked/*.exe; do
  "$objdump" -f "$exe" | grep -q "file format $format" || fail "$(basename "$exe") is not $format"
  [ $format = pei-x86-64 ] || "$objdump" -p "$exe" | grep -qi "large address aware" ||
    fail "$(basename "$exe") is not large-address-aware"
done

cd "$dir/unpacked" || exit 1
"$emulator" ./mandel-render.exe --version >"$dir/version" 2>&1 || fail "mandel-render.exe --version"
grep -q "^mandel-render [0-9]" "$dir/version" || fail "version: $(cat "$dir/version")"
# The viewer's version resource (what Explorer's Properties show) says the same.
version=$(sed -n 's/^mandel-render //p' "$dir/version" | tr -d '\r')
strings -el mandel.exe | grep -qx "$version" || fail "mandel.exe has no version resource of $version"
"$emulator" ./mandel-bench.exe --version | grep -qx "mandel-bench $version.\{0,1\}" || fail "mandel-bench.exe --version"
"$emulator" ./mandel-render.exe --size 32 24 --output small.bmp >/dev/null 2>&1 || fail "a render from the unpacked folder"
[ "$(wc -c <small.bmp)" -eq $((54 + 32 * 24 * 4)) ] || fail "the unpacked renderer wrote no image"

[ "$failures" -eq 0 ] && echo "the package runs on its own: $(basename "$zip")"
exit "$failures"
