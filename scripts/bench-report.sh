#!/usr/bin/env bash
# Regenerates the benchmark figures: builds mandel-bench for the native build,
# the 32-bit register model and both Windows builds, runs it in each (the
# Windows programs under Wine of their word size; the 32-bit one only where
# the machine runs 32-bit code), and writes the tables between the markers of
# docs/benchmark.md and README.md, stamped with the processor, date and commit.
#
#   bash scripts/bench-report.sh            full run, about ten minutes
#   bash scripts/bench-report.sh --quick    small images (the test run)
#        [--doc FILE] [--readme FILE]       write these instead of the committed ones
#
# Fails when a build's pixels differ from the reference (mandel-bench's exit
# status) or when a file lacks its markers.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=no doc=docs/benchmark.md readme=README.md
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=yes ;;
    --doc) doc=$2; shift ;;
    --readme) readme=$2; shift ;;
    *) echo "usage: bench-report.sh [--quick] [--doc FILE] [--readme FILE]" >&2; exit 2 ;;
  esac
  shift
done

bash scripts/install-deps.sh
jobs=$(nproc)
runs=$(mktemp -d)

for preset in native native-32bit-registers windows windows64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" --target mandel-bench >/dev/null
done

source scripts/wine-prefix.sh
source scripts/headless.sh
trap 'mandel_cleanup; rm -rf "$runs"' EXIT
start_headless_display
can_run_32_bit=$MANDEL_WINE_BITS

# One build's figures into $runs/NAME: in a quick run every path on small
# images; in a full run every case on the path the program would choose, then
# boundary-4096 alone on each narrower path the machine runs.
bench() {
  local name=$1; shift
  local out=$runs/$name
  local args=(); [ $quick = yes ] && args=(--quick)
  if ! "$@" "${args[@]}" >"$out"; then
    cat "$out" >&2
    echo "bench-report: $name: mandel-bench failed (a line with identical=no differs from the reference)" >&2
    return 1
  fi
  [ $quick = yes ] && return
  local widest; widest=$(sed -n 's/^case=.* path=\([a-z0-9]*\)$/\1/p' "$out" | head -n1)
  for path in avx512 avx2 sse2; do
    [ "$path" = "$widest" ] && continue
    local status=0
    "$@" --path "$path" --case boundary-4096 >>"$out" 2>"$runs/stderr" || status=$?
    if [ $status = 2 ] && grep -q 'is not available' "$runs/stderr"; then continue; fi
    [ $status = 0 ] || { cat "$runs/stderr" >&2; return $status; }
  done
}

echo "bench-report: native build"
bench native build/native/mandel-bench
echo "bench-report: 32-bit register model"
bench model build/native-32bit-registers/mandel-bench
for bits in 32 64; do
  if [ $bits = 32 ] && [ "$can_run_32_bit" != 32 ]; then
    echo "bench-report: the 32-bit program is left out: MANDEL_WINE_BITS=$can_run_32_bit (set so, or this machine cannot execute 32-bit code)"
    continue
  fi
  (
    mandel_use_wine $bits
    mandel_prepare_prefix
    echo "bench-report: $MANDEL_WINDOWS_PRESET build under $bits-bit Wine"
    bench "exe$bits" "$MANDEL_WINE" "build/$MANDEL_WINDOWS_PRESET/mandel-bench.exe"
    wineserver -k 2>/dev/null || true
  )
done

processor=$(LC_ALL=C lscpu | awk -F: '
  /^Model name/ { gsub(/^ +/, "", $2); name = $2 }
  /^CPU family/ { gsub(/ /, "", $2); family = $2 }
  /^Model:/     { gsub(/ /, "", $2); model = $2 }
  END { printf "%s (family %s, model %s)", name, family, model }')
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
git diff --quiet HEAD 2>/dev/null || commit="$commit with uncommitted changes"

python3 scripts/bench_tables.py "$runs" "$doc" "$readme" \
  --processor "$processor" --commit "$commit" --date "$(date -u +%Y-%m-%d)" --quick "$quick"
echo "bench-report: wrote $doc and $readme"
