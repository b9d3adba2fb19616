#!/usr/bin/env bash
# Prepares the Wine prefix the program and its tests run in, once: Japanese
# locale, a virtual desktop (message boxes get keyboard focus and
# closing windows costs no 2 s wait without a window manager), and the dialog
# font "ＭＳ Ｐゴシック" mapped to the installed IPAPGothic face, and no crash
# dialog.
# Source it to get the environment and the commands wine and wineserver; run
# it to create the prefix.
#
# The program is 32-bit and runs in a 32-bit prefix; its 64-bit build runs in
# a 64-bit prefix of its own. Some machines (virtual machines without IA-32
# emulation) cannot execute 32-bit programs at all, so neither can 32-bit
# Wine: there MANDEL_WINE_BITS defaults to 64 and the Windows tests run on
# the 64-bit build of the same code.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Chooses the Wine of one word size (32 or 64): its loader, server, prefix
# (MANDEL_WINEPREFIX names the 32-bit one; the 64-bit one has 64 appended)
# and the Windows preset whose programs it runs. The helpers call them by
# their full paths: a function named wine that called plain `wine` would
# call itself.
mandel_use_wine() {
  MANDEL_WINE_BITS=$1
  export MANDEL_WINE_BITS
  if [ "$MANDEL_WINE_BITS" = 64 ]; then
    export WINEPREFIX=${MANDEL_WINEPREFIX:-$repo_root/build/wineprefix}64
    export WINEARCH=win64
    export WINELOADER=/usr/lib/wine/wine64
    MANDEL_WINESERVER=/usr/lib/wine/wineserver64
    MANDEL_WINDOWS_PRESET=windows64
  else
    export WINEPREFIX=${MANDEL_WINEPREFIX:-$repo_root/build/wineprefix}
    export WINEARCH=win32
    export WINELOADER=/usr/lib/wine/wine
    MANDEL_WINESERVER=/usr/lib/wine/wineserver
    MANDEL_WINDOWS_PRESET=windows
  fi
  MANDEL_WINE=$WINELOADER
}

# The word size of a Windows program, from the machine field of its PE
# header; nothing for a file that is not one.
mandel_program_bits() {
  local pe machine
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$pe" ] || return 0
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case $machine in 014c) echo 32 ;; 8664) echo 64 ;; esac
}

# Chooses the Wine that runs the given program, when it is a Windows one.
mandel_use_wine_for() {
  local bits; bits=$(mandel_program_bits "$1")
  [ -z "$bits" ] || mandel_use_wine "$bits"
}

if [ -z "${MANDEL_WINE_BITS:-}" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then MANDEL_WINE_BITS=32; else MANDEL_WINE_BITS=64; fi
fi
mandel_use_wine "$MANDEL_WINE_BITS"
wine() { "$MANDEL_WINE" "$@"; }
wineserver() { "$MANDEL_WINESERVER" "$@"; }
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

mandel_prepare_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/.mandel-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$WINEPREFIX/.mandel-ready" ] && exit 0
    wine wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x800 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f >/dev/null 2>&1
    # A crash ends the process with a backtrace instead of waiting on a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.mandel-ready"
  ) 9>"$WINEPREFIX.lock"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -e
  mandel_prepare_prefix
fi
