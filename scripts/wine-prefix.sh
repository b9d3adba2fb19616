#!/usr/bin/env bash
# Prepares the Wine prefix the program and its tests run in, once: 32-bit,
# Japanese locale, a virtual desktop (message boxes get keyboard focus and
# closing windows costs no 2 s wait without a window manager), and the dialog
# font "ＭＳ Ｐゴシック" mapped to the installed IPAPGothic face, and no crash
# dialog.
# Source it to get the environment; run it to create the prefix.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${MANDEL_WINEPREFIX:-$repo_root/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

mandel_prepare_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/.mandel-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$WINEPREFIX/.mandel-ready" ] && exit 0
    wineboot -i >/dev/null 2>&1
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
