#!/usr/bin/env bash
# Prepares the Wine prefix the program and its tests run in, once: Japanese
# locale, a virtual desktop (message boxes get keyboard focus and
# closing windows costs no 2 s wait without a window manager), and the dialog
# font "ＭＳ Ｐゴシック" mapped to the installed IPAPGothic face, and no crash
# dialog.
# Source it to get the environment and the commands wine and wineserver; run
# it to create the prefix.
#
# The program is 32-bit and runs in a 32-bit prefix. Some machines (virtual
# machines without IA-32 emulation) cannot execute 32-bit programs at all, so
# neither can 32-bit Wine: there MANDEL_WINE_BITS is 64, the prefix is 64-bit
# and the Windows tests run on the 64-bit build of the same code.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -z "${MANDEL_WINE_BITS:-}" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then MANDEL_WINE_BITS=32; else MANDEL_WINE_BITS=64; fi
fi
export MANDEL_WINE_BITS
if [ "$MANDEL_WINE_BITS" = 64 ]; then
  export WINEPREFIX=${MANDEL_WINEPREFIX:-$repo_root/build/wineprefix64}
  export WINEARCH=win64
  export WINELOADER=/usr/lib/wine/wine64
  MANDEL_WINE=/usr/lib/wine/wine64
  MANDEL_WINESERVER=/usr/lib/wine/wineserver64
  MANDEL_WINDOWS_PRESET=windows64
else
  export WINEPREFIX=${MANDEL_WINEPREFIX:-$repo_root/build/wineprefix}
  export WINEARCH=win32
  MANDEL_WINE=wine
  MANDEL_WINESERVER=wineserver
  MANDEL_WINDOWS_PRESET=windows
fi
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
