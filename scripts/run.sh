#!/usr/bin/env bash
# Builds the command-line renderer and renders the default view to a bitmap.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target mandel-render
output=${1:-build/mandelbrot.bmp}
build/native/mandel-render --output "$output"
echo "The default view is in $output"
