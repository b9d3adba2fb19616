#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, skipping what is
# already there: the host and MinGW-w64 compilers (32-bit, and 64-bit for
# machines that cannot run 32-bit programs), CMake, GoogleTest, 32-bit
# Wine, Xvfb, the ja_JP.UTF-8 locale, a Japanese font and zlib (the host's and
# MinGW-w64's, for the PNG writer).
set -euo pipefail

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then echo sudo; else
      echo "install-deps: run as root or install sudo" >&2; exit 1
    fi
  fi
}
SUDO=$(need_root)

packages=(g++ cmake make googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix
          wine wine32:i386 wine64
          xvfb xauth x11-utils locales fonts-ipafont-gothic xdotool imagemagick
          xclip python3 zlib1g-dev libz-mingw-w64-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qiE '^ja_JP\.utf-?8$'; then
  $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
