#!/usr/bin/env bash
# Builds the viewer and starts it: under Wine with the Japanese locale on
# Linux. With no display it starts a private Xvfb, waits for the first
# picture, saves a screenshot and says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/wine-prefix.sh
source scripts/headless.sh
# The 32-bit program, or where this machine cannot run 32-bit code, the
# 64-bit build of the same code (see scripts/wine-prefix.sh).
cmake --preset "$MANDEL_WINDOWS_PRESET" >/dev/null
cmake --build --preset "$MANDEL_WINDOWS_PRESET" -j"$(nproc)" --target mandel
program=build/$MANDEL_WINDOWS_PRESET/app/mandel.exe
[ "$MANDEL_WINE_BITS" = 32 ] ||
  echo "Starting the 64-bit build of the viewer (32-bit programs do not run here, or MANDEL_WINE_BITS=64)."

if has_display; then
  mandel_prepare_prefix
  wine "$program"
  exit 0
fi

start_headless_display
mandel_prepare_prefix
screenshot=${1:-build/screenshot.png}
"$MANDEL_WINE" "$program" &
mandel_cleanup_pids+=($!)

# The window stays white until the computation-time box is answered.
timeout 120 xdotool search --sync --onlyvisible --name '^Message$' >/dev/null
xdotool key Return
sleep 1
import -window root "$screenshot"
xdotool key alt+f x
timeout 10 tail --pid="${mandel_cleanup_pids[-1]}" -f /dev/null || true
echo "The viewer ran headless; its first picture is in $screenshot"
