#!/usr/bin/env bash
# Runs a Windows executable of the build under Wine in the project's prefix,
# with the Wine of the program's own word size; CMake's emulator for the
# windows presets.
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
mandel_use_wine_for "$1"
mandel_prepare_prefix
exec "$MANDEL_WINE" "$@"
