#!/usr/bin/env bash
# Runs a Windows executable of the build under Wine in the project's prefix;
# CMake's emulator for the windows presets.
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
mandel_prepare_prefix
exec "$MANDEL_WINE" "$@"
