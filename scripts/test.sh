#!/usr/bin/env bash
# Builds everything and runs every test: the host build, the host build that
# models the registers of 32-bit code (its vector kernels are the 32-bit
# program's, hand-allocated block included), the sanitizer builds,
# the 32-bit and the 64-bit Windows builds with their tests under Wine on a
# private headless X server, the check that the host and Windows builds
# compute the same pixels, and the benchmark report's quick run, whose
# mandel-bench fails in any build where the fast kernel differs from the
# reference. Installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
step() { printf '\n=== %s\n' "$*"; }

for preset in native native-32bit-registers asan tsan; do
  step "$preset build and tests"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done

for preset in windows windows64; do
  step "$preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
done

source scripts/wine-prefix.sh
source scripts/headless.sh
start_headless_display

# One word size's Windows tests, in a subshell with that size's Wine, prefix
# and idle keep-alive process.
windows_tests() (
  mandel_use_wine "$1"
  source scripts/headless.sh
  local preset=$MANDEL_WINDOWS_PRESET
  mandel_prepare_prefix
  start_wine_keepalive

  step "$preset tests under $1-bit Wine"
  ctest --preset "$preset"

  step "the same pixels from the native and the $preset build"
  sh tests/same_pixels_both_builds.sh build/native/mandel-render "build/$preset/mandel-render.exe"
)

# MANDEL_WINE_BITS is 32 where this machine runs 32-bit programs.
ran_32_bit=no
if [ "$MANDEL_WINE_BITS" = 32 ]; then
  windows_tests 32
  ran_32_bit=yes
fi
windows_tests 64

step "every build's fast kernel against the reference: the benchmark report's quick run"
report=$(mktemp -d)
cp docs/benchmark.md README.md "$report"
bash scripts/bench-report.sh --quick --doc "$report/benchmark.md" --readme "$report/README.md"
rm -rf "$report"

step "all tests passed"
if [ "$ran_32_bit" = no ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "The 32-bit program was built but not run: MANDEL_WINE_BITS=$MANDEL_WINE_BITS chose"
    echo "64-bit Wine, so its Windows tests ran on the 64-bit build of the same code."
  else
    echo "The 32-bit program was built but not run on this machine: it cannot execute"
    echo "32-bit code, so its Windows tests ran on the 64-bit build of the same code."
  fi
fi
