#!/bin/sh
# mandel-render as a script would use it: exit statuses, messages, and that a
# refused command line leaves no file. MANDEL_EMULATOR runs a Windows build.
set -u
render() { ${MANDEL_EMULATOR:-} "$MANDEL_RENDER" "$@"; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
check() {  # expected-status description command...
  expected=$1; what=$2; shift 2
  "$@" >"$dir/out" 2>"$dir/err"; status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL: $what: exit $status, expected $expected"; cat "$dir/out" "$dir/err"
    failures=$((failures + 1))
  fi
}
expect_text() {  # file pattern description
  grep -q -- "$2" "$1" || { echo "FAIL: $3: no '$2' in:"; cat "$1"; failures=$((failures + 1)); }
}

check 0 "help" render --help
expect_text "$dir/out" "usage: mandel-render" "help text"

check 0 "small render" render --size 40 30 --iterations 512 --colors 4096 --threads 4 --output "$dir/a.bmp"
expect_text "$dir/out" "bounds -1.3333333333333333 1.3333333333333333 -1 1 size 40x30" "result line"
size=$(wc -c <"$dir/a.bmp")
[ "$size" -eq $((54 + 40 * 30 * 4)) ] || { echo "FAIL: file size $size"; failures=$((failures + 1)); }

check 0 "explicit bounds" render --bounds -2 1 -1.5 1.5 --size 8 8 --output "$dir/b.bmp"
expect_text "$dir/out" "bounds -2 1 -1.5 1.5 size 8x8" "bounds used as given"

for args in "--iterations 100" "--colors 63" "--threads 3" "--size 0 10" "--size 65536 65536" \
            "--size 10" "--bounds 1 2 x 4" "--frobnicate" "--iterations"; do
  # shellcheck disable=SC2086
  check 2 "refused: $args" render $args --output "$dir/bad.bmp"
  expect_text "$dir/err" "usage:" "usage after '$args'"
  [ ! -e "$dir/bad.bmp" ] || { echo "FAIL: '$args' left a file"; failures=$((failures + 1)); rm -f "$dir/bad.bmp"; }
done
check 2 "missing output" render --size 8 8
expect_text "$dir/err" "--output" "names the missing option"

check 1 "unwritable path" render --size 8 8 --output "$dir/no-such-dir/c.bmp"
expect_text "$dir/err" "cannot create" "names the failure"

[ "$failures" -eq 0 ] && echo "mandel-render command line: all checks passed"
exit "$failures"
