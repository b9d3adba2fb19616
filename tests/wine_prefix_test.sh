#!/usr/bin/env bash
# Both branches of scripts/wine-prefix.sh, whichever this machine takes: with
# each word size forced, the wine and wineserver helpers reach a real,
# executable program (a loader this machine cannot execute may fail, but
# promptly and with "Exec format error", never as a missing program, a crash
# of the shell or a hang), and the prefix, preset and loader are that word
# size's. Also reads the word size of a program from its
# PE header, which picks the Wine that runs it.
set -u
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
[ -x /usr/lib/wine/wine64 ] || { echo "skipped: Wine is not installed"; exit 77; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

in_prefix() {  # bits command...: runs the command with wine-prefix.sh sourced
  local bits=$1; shift
  env -u MANDEL_WINEPREFIX MANDEL_WINE_BITS="$bits" timeout 10 \
    bash -c 'source "$0/wine-prefix.sh" && eval "$1"' "$scripts" "$*"
}

for bits in 32 64; do
  [ $bits = 32 ] && suffix= preset=windows arch=win32 loader=/usr/lib/wine/wine
  [ $bits = 64 ] && suffix=64 preset=windows64 arch=win64 loader=/usr/lib/wine/wine64
  for helper in wine wineserver; do
    start=$SECONDS
    out=$(in_prefix $bits "$helper --version" 2>&1); status=$?
    if [ $status -eq 124 ] || [ $status -gt 128 ]; then
      fail "$bits-bit $helper --version: status $status (a crash or a hang)"
    elif [ $status -eq 127 ] || { [ $status -eq 126 ] && ! grep -q "Exec format error" <<<"$out"; }; then
      fail "$bits-bit $helper --version: status $status (no program to run): $out"
    elif [ $status -eq 0 ]; then
      grep -qi '^wine' <<<"$out" || fail "$bits-bit $helper --version printed '$out'"
    fi
    [ $((SECONDS - start)) -le 5 ] || fail "$bits-bit $helper --version took $((SECONDS - start)) s"
  done
  in_prefix $bits 'test -x "$MANDEL_WINE" && test -x "$MANDEL_WINESERVER"' ||
    fail "$bits-bit helpers: $(in_prefix $bits 'echo "$MANDEL_WINE $MANDEL_WINESERVER"') are not both executable"
  expected="$(dirname "$scripts")/build/wineprefix$suffix $arch $loader $preset $bits"
  got=$(in_prefix $bits 'echo "$WINEPREFIX $WINEARCH $WINELOADER $MANDEL_WINDOWS_PRESET $MANDEL_WINE_BITS"')
  [ "$got" = "$expected" ] || fail "$bits-bit settings: '$got', expected '$expected'"
done

dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
pe_header() {  # machine bytes: a DOS stub pointing at a PE signature and machine field
  { printf 'MZ'; head -c 58 /dev/zero; printf '\100\0\0\0'; printf 'PE\0\0'; printf "$1"; } >"$dir/p.exe"
}
pe_header '\114\001'; [ "$(in_prefix 64 "mandel_program_bits $dir/p.exe")" = 32 ] || fail "an i386 program is not 32-bit"
pe_header '\144\206'; [ "$(in_prefix 32 "mandel_program_bits $dir/p.exe")" = 64 ] || fail "an x86-64 program is not 64-bit"
[ -z "$(in_prefix 32 "mandel_program_bits $0")" ] || fail "a script has a word size"

[ $failures -eq 0 ] && echo "both Wine branches reach their own programs"
exit $failures
