#!/usr/bin/env bash
# Builds everything and runs every test: the host build, the sanitizer builds,
# the 32-bit Windows build under Wine on a private headless X server, the
# check that both builds compute the same pixels, and mandel-bench --quick in
# both builds, which fails when the fast kernel differs from the reference.
# Installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
step() { printf '\n=== %s\n' "$*"; }

for preset in native asan tsan; do
  step "$preset build and tests"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done

step "fast kernel against the reference (native mandel-bench --quick)"
build/native/mandel-bench --quick

step "windows build (32-bit)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"

source scripts/wine-prefix.sh
source scripts/headless.sh
windows=$MANDEL_WINDOWS_PRESET
if [ "$windows" != windows ]; then
  step "this machine cannot run 32-bit programs: the Windows tests run on the 64-bit build of the same code"
  cmake --preset "$windows" >/dev/null
  cmake --build --preset "$windows" -j"$jobs"
fi
start_headless_display
mandel_prepare_prefix
start_wine_keepalive

step "$windows tests under Wine"
ctest --preset "$windows"

step "fast kernel against the reference ($windows mandel-bench.exe --quick under Wine)"
scripts/wine-run.sh "build/$windows/mandel-bench.exe" --quick

step "the same pixels from the native and the $windows build"
sh tests/same_pixels_both_builds.sh build/native/mandel-render "build/$windows/mandel-render.exe"

step "all tests passed"
