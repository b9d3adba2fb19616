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

check 0 "version" render --version
expect_text "$dir/out" "^mandel-render [0-9][0-9.]*" "version line"

# A PNG holds the bitmap's pixels, both decoded by ImageMagick: a small one,
# and a detailed one whose deflated rows fill more than one chunk.
check 0 "png output" render --size 40 30 --iterations 512 --colors 4096 --threads 4 --output "$dir/a.PnG"
detailed="--size 1200 900 --iterations 4096 --colors 32768 --threads 2 --bounds 0.74 0.76 0.09 0.1"
# shellcheck disable=SC2086
check 0 "detailed png" render $detailed --output "$dir/detailed.png"
# shellcheck disable=SC2086
check 0 "detailed bitmap" render $detailed --output "$dir/detailed.bmp"
if command -v convert >/dev/null; then
  for pair in "a.PnG a.bmp" "detailed.png detailed.bmp"; do
    set -- $pair
    convert "$dir/$1" -depth 8 rgb:"$dir/png.rgb" && convert "$dir/$2" -depth 8 rgb:"$dir/bmp.rgb" &&
      cmp -s "$dir/png.rgb" "$dir/bmp.rgb" || { echo "FAIL: the pixels of $1 differ from $2's"; failures=$((failures + 1)); }
  done
else
  echo "skipped: the PNG comparison needs ImageMagick's convert"
fi

check 0 "explicit bounds" render --bounds -2 1 -1.5 1.5 --size 8 8 --output "$dir/b.bmp"
expect_text "$dir/out" "bounds -2 1 -1.5 1.5 size 8x8" "bounds used as given"

for args in "--iterations 100" "--colors 63" "--threads 3" "--threads 16" "--size 0 10" \
            "--size 65536 65536" "--size 10" "--bounds 1 2 x 4" "--bounds -2 1 -1.5 1.5x" \
            "--bounds nan 1 -1 1" "--bounds -1e400 1e400 -1 1" "--bounds 0x10 1 -1 1" \
            "--frobnicate" "--iterations"; do
  # shellcheck disable=SC2086
  check 2 "refused: $args" render $args --output "$dir/bad.bmp"
  expect_text "$dir/err" "usage:" "usage after '$args'"
  [ ! -e "$dir/bad.bmp" ] || { echo "FAIL: '$args' left a file"; failures=$((failures + 1)); rm -f "$dir/bad.bmp"; }
done
# An option whose value is missing at the very end of the command line.
for args in "--iterations" "--colors" "--threads" "--size 10" "--bounds -2 1 -1" "--output"; do
  # shellcheck disable=SC2086
  check 2 "value missing at the end: $args" render --output "$dir/bad.bmp" $args
  expect_text "$dir/err" "missing value" "names the missing value of '$args'"
done
[ ! -e "$dir/bad.bmp" ] || { echo "FAIL: an incomplete option left a file"; failures=$((failures + 1)); }
check 2 "unknown output format" render --size 8 8 --output "$dir/bad.jpg"
expect_text "$dir/err" "use .bmp or .png" "names the formats"
[ -z "$(ls -A "$dir" | grep bad)" ] || { echo "FAIL: a refused format left $(ls -A "$dir")"; failures=$((failures + 1)); }
check 2 "missing output" render --size 8 8
expect_text "$dir/err" "--output" "names the missing option"

check 1 "unwritable path" render --size 8 8 --output "$dir/no-such-dir/c.bmp"
expect_text "$dir/err" "cannot create '.*c.bmp': ." "names the failure and the system's reason"

# A report that cannot be written is a failure too.
if [ -w /dev/full ]; then
    # shellcheck disable=SC2016
  check 1 "report to a full device" sh -c '"$@" >/dev/full' sh ${MANDEL_EMULATOR:-} "$MANDEL_RENDER" \
        --size 8 8 --output "$dir/d.bmp"
fi

# On a terminal a progress line is drawn and blanked before the report; in a
# pipe, or with --quiet, nothing goes to standard error. Native only (`script`
# gives the terminal). The render runs well past the tenth of a second before
# the line's first drawing even at the kernel's ceiling speed.
if [ -z "${MANDEL_EMULATOR:-}" ] && command -v script >/dev/null; then
  slow="--size 2000 1200 --iterations 4096 --bounds 0.7500003 0.7500014 0.0019651 0.0019657"
  cr=$(printf '\r')
  script -qec "'$MANDEL_RENDER' $slow --output '$dir/slow.bmp'" /dev/null >"$dir/tty" 2>&1
  grep -q "% of rows, [0-9:]* elapsed, about [0-9:]* left" "$dir/tty" ||
    { echo "FAIL: no progress line on a terminal:"; cat -v "$dir/tty"; failures=$((failures + 1)); }
  grep -q "$cr *${cr}bounds " "$dir/tty" ||
    { echo "FAIL: the progress line is not blanked before the report:"; cat -v "$dir/tty"; failures=$((failures + 1)); }
  script -qec "'$MANDEL_RENDER' $slow --quiet --output '$dir/slow.bmp'" /dev/null >"$dir/tty" 2>&1
  ! grep -q "% of rows" "$dir/tty" || { echo "FAIL: --quiet showed progress"; failures=$((failures + 1)); }
  # shellcheck disable=SC2086
  check 0 "render in a pipe" render $slow --output "$dir/slow.bmp"
  [ ! -s "$dir/err" ] || { echo "FAIL: a render in a pipe wrote to standard error:"; cat "$dir/err"; failures=$((failures + 1)); }
fi

# Whatever happens to a render, the old file keeps its bytes and no temporary
# file is left beside it. Native only: these need POSIX signals and mounts.
if [ -z "${MANDEL_EMULATOR:-}" ]; then
  cp "$dir/a.bmp" "$dir/old.bmp"
  # Interrupted: the output exists (under a temporary name) before the
  # render ends, and the interrupt removes it.
  "$MANDEL_RENDER" --size 4000 4000 --iterations 32768 --bounds 0.7500003 0.7500014 0.0019651 0.0019657 \
         --output "$dir/old.bmp" >/dev/null 2>&1 &
  pid=$!
  tries=0
  while [ -z "$(ls -A "$dir" | grep '^\.mandel-')" ] && [ "$tries" -lt 100 ]; do
    sleep 0.05; tries=$((tries + 1))
  done
  [ "$tries" -lt 100 ] || { echo "FAIL: no output file was created before the render"; failures=$((failures + 1)); }
  sleep 0.3  # past the few instructions between creating the file and arming the handler
  kill -TERM "$pid"; wait "$pid"
  cmp -s "$dir/a.bmp" "$dir/old.bmp" || { echo "FAIL: an interrupt changed the old file"; failures=$((failures + 1)); }
  left=$(ls -A "$dir" | grep '^\.mandel-')
  [ -z "$left" ] || { echo "FAIL: an interrupt left $left"; failures=$((failures + 1)); }

  # A full file system (a 64 KB tmpfs): the larger image does not fit.
  full="$dir/full"
  mkdir "$full"
  if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=64k tmpfs "$full" 2>/dev/null; then
    cp "$dir/a.bmp" "$full/old.bmp"
    check 1 "overwrite on a full file system" render --size 200 200 --output "$full/old.bmp"
    cmp -s "$dir/a.bmp" "$full/old.bmp" || { echo "FAIL: a failed overwrite changed the old file"; failures=$((failures + 1)); }
    [ "$(ls -A "$full")" = "old.bmp" ] || { echo "FAIL: left on the full file system: $(ls -A "$full")"; failures=$((failures + 1)); }
    umount "$full"
  else
    echo "skipped: the full-file-system check needs root and a tmpfs mount"
  fi
fi

[ "$failures" -eq 0 ] && echo "mandel-render command line: all checks passed"
exit "$failures"
