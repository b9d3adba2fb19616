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
            "--bounds 1e-400 1 -1 1" "--frobnicate" "--iterations"; do
  # shellcheck disable=SC2086
  check 2 "refused: $args" render $args --output "$dir/bad.bmp"
  expect_text "$dir/err" "usage:" "usage after '$args'"
  [ ! -e "$dir/bad.bmp" ] || { echo "FAIL: '$args' left a file"; failures=$((failures + 1)); rm -f "$dir/bad.bmp"; }
done
# An option whose value is missing at the very end of the command line.
for args in "--iterations" "--colors" "--threads" "--size 10" "--size abc" "--bounds -2 1 -1" \
            "--bounds x" "--output"; do
  # shellcheck disable=SC2086
  check 2 "value missing at the end: $args" render --output "$dir/bad.bmp" $args
  expect_text "$dir/err" "missing value" "names the missing value of '$args'"
done
[ ! -e "$dir/bad.bmp" ] || { echo "FAIL: an incomplete option left a file"; failures=$((failures + 1)); }
# ソ, whose second byte in code page 932 is a backslash, separates no folder
# (the Windows build reads its command line as wide text).
for name in bad.jpg bad.ソ; do
  check 2 "unknown output format: $name" render --size 8 8 --output "$dir/$name"
  expect_text "$dir/err" "use .bmp or .png" "names the formats for $name"
done
[ -z "$(ls -A "$dir" | grep bad)" ] || { echo "FAIL: a refused format left $(ls -A "$dir")"; failures=$((failures + 1)); }
check 2 "missing output" render --size 8 8
expect_text "$dir/err" "--output" "names the missing option"
check 2 "empty output name" render --size 8 8 --output ""
expect_text "$dir/err" "usage:" "usage after an empty output name"

check 1 "unwritable path" render --size 8 8 --output "$dir/no-such-dir/c.bmp"
expect_text "$dir/err" "cannot create '.*c.bmp': ." "names the failure and the system's reason"
# Whole numbers take a sign as the bounds do, and blanks nowhere.
check 0 "a size with a sign" render --size +8 8 --output "$dir/sign.bmp"
for size in " 8" "8 "; do
  check 2 "a size with a blank: '$size'" render --size 8 "$size" --output "$dir/sign.bmp"
done
# --help and --version whose text cannot be written fail.
if [ -w /dev/full ]; then
  for option in --help --version; do
    # shellcheck disable=SC2016
    check 1 "$option to a full device" sh -c '"$@" >/dev/full' sh ${MANDEL_EMULATOR:-} "$MANDEL_RENDER" $option
  done
fi

# Names that cannot be replaced are refused before the render ("cannot
# create"), with the system's reason: folders (a name that ends in a
# separator, the current folder, a drive), a name part longer than a file
# system takes, and on Windows the characters no file name holds.
mkdir "$dir/folder"
targets="$dir/folder . $dir/folder/ $dir/$(printf "%256s" "" | tr ' ' n).bmp"
[ -z "${MANDEL_EMULATOR:-}" ] || targets="$targets C:\\windows C: a*b.bmp a?b.bmp a|b.bmp a\"b.bmp a<b.bmp"
for target in $targets; do
  check 1 "not a file name: ${target#"$dir/"}" render --size 8 8 --output "$target"
  expect_text "$dir/err" "cannot create '.*': [A-Za-z]" "refused before the render: ${target#"$dir/"}"
done
# Names the user typed reach the file exactly, also those the Windows code
# page cannot hold (read as 'e.bmp', 'cafe.png', 'X.png' and '?.bmp' there).
for name in e.bmp cafe.png X.png; do cp "$dir/a.bmp" "$dir/$name"; done
for name in é.bmp café.png Ｘ.png 한.bmp; do
  check 0 "the name typed: $name" render --size 8 8 --output "$dir/$name"
  [ -s "$dir/$name" ] || { echo "FAIL: no file named $name: $(ls "$dir")"; failures=$((failures + 1)); }
done
for name in e.bmp cafe.png X.png; do
  cmp -s "$dir/a.bmp" "$dir/$name" || { echo "FAIL: $name was replaced"; failures=$((failures + 1)); }
done

# A report that cannot be written is a failure too, which says the image was.
if [ -w /dev/full ]; then
    # shellcheck disable=SC2016
  check 1 "report to a full device" sh -c '"$@" >/dev/full' sh ${MANDEL_EMULATOR:-} "$MANDEL_RENDER" \
        --size 8 8 --output "$dir/d.bmp"
fi
rm -f "$dir/d.bmp"
# shellcheck disable=SC2016
check 1 "report to a closed output" sh -c '"$@" >&-' sh ${MANDEL_EMULATOR:-} "$MANDEL_RENDER" \
      --size 8 8 --output "$dir/d.bmp"
expect_text "$dir/err" "wrote '.*d.bmp', but could not write the report" "says the image was written"
[ "$(wc -c <"$dir/d.bmp")" -eq 310 ] || { echo "FAIL: no image beside the lost report"; failures=$((failures + 1)); }
# A pipe whose reader has gone (as in `| head -c0`): the same, not a SIGPIPE.
if [ -z "${MANDEL_EMULATOR:-}" ]; then
  rm -f "$dir/d.bmp"
  check 1 "report to a pipe without a reader" python3 -c '
import os, subprocess, sys
reader, writer = os.pipe()
os.close(reader)
sys.exit(subprocess.call(sys.argv[1:], stdout=writer) % 256)' "$MANDEL_RENDER" --size 8 8 --output "$dir/d.bmp"
  expect_text "$dir/err" "wrote '.*d.bmp', but could not write the report" "says the image was written before a closed pipe"
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

# Folders whose names leave little or no room for a temporary name beside the
# file, by their length as the Windows build sees them (Z: and the path):
# the longest a Save As dialog takes (257 with a one-letter name) and past it.
# The viewer's Save As hands its path to the same file writer.
for length in 247 248 256 257 259 300; do
  folder=$dir/long
  while [ $((${#folder} + 2)) -lt "$length" ]; do
    part=$((length - ${#folder} - 3))
    [ "$part" -le 100 ] || part=100
    [ $((length - ${#folder} - 3 - part)) -ne 1 ] || part=$((part - 1))
    folder=$folder/$(printf "%${part}s" "" | tr ' ' d)
  done
  mkdir -p "$folder"
  check 0 "a folder of $length characters" render --size 8 8 --output "${MANDEL_EMULATOR:+Z:}$folder/x"
  [ "$(ls -A "$folder" | grep -v '^d*$')" = x ] && [ "$(wc -c <"$folder/x")" -eq 310 ] ||
    { echo "FAIL: a folder of $length characters holds: $(ls -A "$folder")"; failures=$((failures + 1)); }
  rm -rf "$dir/long"
done

# Devices are written in place, never replaced; on Windows one that cannot be
# opened (CON without a console) is refused before the render.
if [ -n "${MANDEL_EMULATOR:-}" ]; then
  devices="NUL $dir/nul.bmp COM1 CON"
else
  devices="/dev/null /dev/stdout /dev/stderr"
fi
for device in $devices; do
  render --size 8 8 --output "$device" >"$dir/out" 2>"$dir/err" </dev/null; status=$?
  if [ "$status" -eq 0 ]; then
    expect_text "$dir/out" "size 8x8" "report after writing to $device"
  elif [ -z "${MANDEL_EMULATOR:-}" ] || [ "$status" -ne 1 ] || ! grep -q "cannot create" "$dir/err"; then
    echo "FAIL: $device: exit $status"; cat "$dir/err"; failures=$((failures + 1))
  fi
done
[ -z "$(ls -A "$dir" | grep -i 'nul\|^mnd')" ] || { echo "FAIL: a device left $(ls -A "$dir")"; failures=$((failures + 1)); }
[ -c /dev/null ] || { echo "FAIL: /dev/null was replaced"; failures=$((failures + 1)); }
# \\.\ before a drive (or Wine's unix\ folder) names a file, not a device: a
# longer old file is replaced whole, not overwritten at its start.
if [ -n "${MANDEL_EMULATOR:-}" ]; then
  for name in "Z:$dir/drive.bmp" "unix$dir/drive.bmp"; do
    head -c 1000 /dev/zero >"$dir/drive.bmp"
    check 0 "a file named through \\\\.\\$name" render --size 8 8 --output "\\\\.\\$name"
    [ "$(wc -c <"$dir/drive.bmp")" -eq 310 ] || { echo "FAIL: \\\\.\\$name wrote into the old file"; failures=$((failures + 1)); }
  done
fi
# A name that reaches a stream the program holds is written through that
# stream, never replaced: what the stream held stays, the image follows it
# and the report the image; a pipe takes it as well. A stream whose reader
# goes away says that part of the image went out.
if [ -z "${MANDEL_EMULATOR:-}" ]; then
  for stream in '/dev/stdout >>"$1"' '/proc/self/fd/3 3>>"$1" >&3' '/dev/fd/3 3>>"$1" >&3'; do
    echo KEEP >"$dir/log"
    sh -c "exec \"\$0\" --size 8 8 --quiet --output $stream" "$MANDEL_RENDER" "$dir/log" 2>"$dir/err"
    [ "$(head -c 7 "$dir/log" | od -An -c | tr -d ' ')" = 'KEEP\nBM' ] && [ "$(wc -c <"$dir/log")" -gt 315 ] &&
      tail -n 1 "$dir/log" | grep -q "^bounds" ||
      { echo "FAIL: written through $stream: $(head -c 20 "$dir/log" | od -An -c)"; cat "$dir/err"; failures=$((failures + 1)); }
  done
  { render --size 8 8 --output /dev/fd/3 3>&1 >/dev/null 2>"$dir/err"; echo $? >"$dir/status"; } | cat >"$dir/piped"
  [ "$(cat "$dir/status")" -eq 0 ] && [ "$(wc -c <"$dir/piped")" -eq 310 ] ||
    { echo "FAIL: into a pipe: status $(cat "$dir/status"), $(wc -c <"$dir/piped") bytes"; cat "$dir/err"; failures=$((failures + 1)); }
  mkfifo "$dir/fifo"
  head -c 100 "$dir/fifo" >/dev/null &
  check 1 "a stream whose reader went away" render --size 1000 1000 --output "$dir/fifo"
  expect_text "$dir/err" "part of the image went out" "says the stream holds part of the image"
  wait
fi
# Renders to one target at once on Windows: one meets another's replace (a
# sharing violation for a moment) and waits for it.
if [ -n "${MANDEL_EMULATOR:-}" ]; then
  for round in 1 2 3 4 5 6 7 8 9 10; do
    for writer in 1 2 3 4; do
      render --size 100 100 --output "$dir/shared.bmp" >/dev/null 2>"$dir/err$writer" &
    done
    wait
    for writer in 1 2 3 4; do
      [ ! -s "$dir/err$writer" ] || { echo "FAIL: round $round, writer $writer: $(cat "$dir/err$writer")"; failures=$((failures + 1)); }
    done
  done
  rm -f "$dir"/err[1-4] "$dir/shared.bmp"
fi

# Interrupts, one row each: an interrupt while the render runs (the output
# exists, empty) or while the bytes go out leaves the old file as it was and
# no temporary file, and the program ends as the interrupt ends it (a
# signal's own status; on Windows STATUS_CONTROL_C_EXIT, of which Wine passes
# the low byte). Natively HUP and QUIT as well as INT and TERM, and a write
# past the file-size limit, which fails with the reason. The Windows build:
# SIGINT to its Wine process arrives as Ctrl+C, and console-event delivers
# Ctrl+Break and the console's closing as the console does; Wine ends the
# program on TERM, HUP and QUIT without running any of its code, as
# TerminateProcess would, so those cannot be tested there.
if [ -n "${MANDEL_EMULATOR:-}" ]; then
  temporary='mnd*.tmp'
  interrupts="INT:render INT:write C:write BREAK:render BREAK:write CLOSE:write"
else
  temporary='.mandel-*'
  interrupts="INT:render TERM:render HUP:render QUIT:write TERM:write XFSZ:write"
fi
long_render="--size 4000 4000 --iterations 32768 --bounds 0.7500003 0.7500014 0.0019651 0.0019657"
long_write="--size 8000 8000"
# Waits for the temporary file (with bytes in it for a write); 1 if none came.
wait_for_temporary() {  # moment
  size=-size\ +0c; [ "$1" = write ] || size=
  tries=0
  # shellcheck disable=SC2086
  while [ -z "$(find "$dir" -maxdepth 1 -name "$temporary" $size)" ]; do
    tries=$((tries + 1)); [ "$tries" -lt 2000 ] || return 1
    sleep 0.01
  done
}
for interrupt in $interrupts; do
  what=${interrupt%:*}; when=${interrupt#*:}
  cp "$dir/a.bmp" "$dir/old.bmp"
  if [ "$when" = render ]; then args=$long_render; else args=$long_write; fi
  : >"$dir/err"
  case $what in
    C|BREAK|CLOSE)
      # shellcheck disable=SC2086
      $MANDEL_EMULATOR "$MANDEL_CONSOLE_EVENT" "$what" "$([ "$when" = write ] && echo 1 || echo 0)" \
        "$dir/$temporary" "$MANDEL_RENDER" $args --output "$dir/old.bmp" >"$dir/out" 2>"$dir/err"
      expect_text "$dir/out" "^exit c000013a" "$interrupt: ends with STATUS_CONTROL_C_EXIT"
      ;;
    XFSZ)
      # shellcheck disable=SC2086
      (ulimit -f 1000; exec env --default-signal=XFSZ "$MANDEL_RENDER" $args --output "$dir/old.bmp") \
        >"$dir/out" 2>"$dir/err"
      status=$?
      [ "$status" -eq 1 ] || { echo "FAIL: $interrupt: exit $status, expected 1"; failures=$((failures + 1)); }
      expect_text "$dir/err" "File too large" "$interrupt: gives the reason"
      ;;
    *)
      # Signals start at their defaults (a background job's INT and QUIT
      # would start ignored); stopped while it is signalled, so that the
      # moment cannot pass.
      # shellcheck disable=SC2086
      (ulimit -c 0; exec env --default-signal=HUP,INT,QUIT,TERM ${MANDEL_EMULATOR:-} "$MANDEL_RENDER" $args \
         --output "$dir/old.bmp") >/dev/null 2>&1 &
      pid=$!
      if wait_for_temporary "$when"; then
        kill -STOP "$pid"
        [ -n "$(find "$dir" -maxdepth 1 -name "$temporary")" ] ||
          { echo "FAIL: $interrupt: the $when was over before the signal"; failures=$((failures + 1)); }
        kill -"$what" "$pid"; kill -CONT "$pid"
      else
        echo "FAIL: $interrupt: no temporary file came"; failures=$((failures + 1)); kill -KILL "$pid"
      fi
      { wait "$pid"; } 2>/dev/null; status=$?
      case $what in HUP) number=1 ;; INT) number=2 ;; QUIT) number=3 ;; TERM) number=15 ;; esac
      if [ -n "${MANDEL_EMULATOR:-}" ]; then expected=$((0x3a)); else expected=$((128 + number)); fi
      [ "$status" -eq "$expected" ] ||
        { echo "FAIL: $interrupt: exit $status, expected $expected"; failures=$((failures + 1)); }
      ;;
  esac
  cmp -s "$dir/a.bmp" "$dir/old.bmp" ||
    { echo "FAIL: $interrupt: the old file changed"; cat "$dir/err"; failures=$((failures + 1)); }
  left=$(find "$dir" -maxdepth 1 -name "$temporary")
  [ -z "$left" ] || { echo "FAIL: $interrupt left $left"; failures=$((failures + 1)); rm -f "$left"; }
done

# The target named through symbolic links: the file at the end of the chain
# is replaced and the links stay (under Wine too, which sees them as links).
mkdir "$dir/real"
cp "$dir/a.bmp" "$dir/real/image.bmp"
ln -s real/image.bmp "$dir/link.bmp"
ln -s link.bmp "$dir/link2.bmp"
check 0 "a link to a link to the target" render --size 8 8 --output "$dir/link2.bmp"
[ -L "$dir/link.bmp" ] && [ -L "$dir/link2.bmp" ] && [ "$(wc -c <"$dir/real/image.bmp")" -eq 310 ] ||
  { echo "FAIL: the links were replaced: $(ls -lA "$dir" "$dir/real")"; failures=$((failures + 1)); }
[ "$(ls -A "$dir/real")" = image.bmp ] || { echo "FAIL: left beside the file: $(ls -A "$dir/real")"; failures=$((failures + 1)); }

# The rest is native only, as the owners, modes and mounts are the host's.
if [ -z "${MANDEL_EMULATOR:-}" ]; then
  # An absolute path just short of PATH_MAX, with no room for the temporary
  # name beside it in a path of that length: written all the same.
  long=$dir/long
  while [ ${#long} -lt 3880 ]; do long=$long/$(printf "%200s" "" | tr ' ' d); done
  long=$long/$(printf "%$((4093 - ${#long} - 1))s" "" | tr ' ' d)
  mkdir -p "$long"
  long=$long/x
  check 0 "an absolute path of ${#long} bytes" render --size 8 8 --output "$long"
  [ "$(wc -c <"$long")" -eq 310 ] || { echo "FAIL: no file at the path of ${#long} bytes"; failures=$((failures + 1)); }
  rm -rf "$dir/long"

  # Replacing a file needs the right to write it, not only its folder, as cp
  # or an editor without force sees it; another user's file in a sticky
  # folder and a folder that cannot be written (named in the message) are
  # refused too. All before the render, as nobody (root passes every mode).
  if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    chmod 711 "$dir"
    mkdir -m 777 "$dir/open"
    mkdir -m 1777 "$dir/sticky"
    mkdir -m 755 "$dir/closed"
    for target in open/mine444 open/root644 sticky/root666 closed/root666; do
      cp "$dir/a.bmp" "$dir/$target"
    done
    chown nobody "$dir/open/mine444" "$dir/closed"
    chmod 444 "$dir/open/mine444"
    chmod 644 "$dir/open/root644"
    chmod 666 "$dir/sticky/root666" "$dir/closed/root666"
    chmod 555 "$dir/closed"
    for target in open/mine444:"Permission denied" open/root644:"Permission denied" \
                  sticky/root666:"Operation not permitted" closed/root666:"folder '.*closed': Permission denied"; do
      reason=${target#*:}; target=${target%%:*}
      check 1 "as another user: $target" setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$MANDEL_RENDER" --size 8 8 --output "$dir/$target"
      expect_text "$dir/err" "cannot create '.*$target': $reason" "refused before the render: $target"
      cmp -s "$dir/a.bmp" "$dir/$target" || { echo "FAIL: $target was replaced"; failures=$((failures + 1)); }
    done
    chmod 700 "$dir"
  else
    echo "skipped: the checks of other users' files need root and setpriv"
  fi
  # An immutable file and a file mounted over its name: no rename can replace
  # them.
  cp "$dir/a.bmp" "$dir/fixed.bmp"
  if chattr +i "$dir/fixed.bmp" 2>/dev/null; then
    check 1 "an immutable file" render --size 8 8 --output "$dir/fixed.bmp"
    expect_text "$dir/err" "cannot create '.*fixed.bmp': Operation not permitted" "refuses the immutable file at once"
    chattr -i "$dir/fixed.bmp"
  else
    echo "skipped: the immutable file needs root and chattr"
  fi
  if mount --bind "$dir/a.bmp" "$dir/fixed.bmp" 2>/dev/null; then
    check 1 "a file mounted over its name" render --size 8 8 --output "$dir/fixed.bmp"
    expect_text "$dir/err" "cannot create '.*fixed.bmp': Device or resource busy" "refuses the mount point at once"
    umount "$dir/fixed.bmp"
  else
    echo "skipped: the bind-mounted file needs root and mount"
  fi

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

# Renders streamed to the file a band at a time. Sizes are the formats' own
# limits, refused before any file is made: a PNG side up to 2^31 - 1, a
# bitmap file under 4 GiB.
for args in "--size 2147483648 1 --output $dir/bad.png" "--size 1 2147483648 --output $dir/bad.png" \
            "--size 32768 32768 --output $dir/bad.bmp" "--size 1073741811 1 --output $dir/bad"; do
  # shellcheck disable=SC2086
  check 2 "refused: $args" render $args
  expect_text "$dir/err" "bad value for --size" "names the size after '$args'"
  [ -z "$(ls -A "$dir" | grep bad)" ] || { echo "FAIL: '$args' left $(ls -A "$dir")"; failures=$((failures + 1)); rm -f "$dir"/bad*; }
done
expect_text "$dir/err" "4 GiB" "says what a bitmap holds"
# The PNG's bands come from the picture's top, the bitmap's from its bottom:
# the same pixels on every thread count, over bands that end inside strips
# and a last band of 3 rows.
if command -v convert >/dev/null; then
  for threads in 1 2 4 8; do
    for ext in png bmp; do
      check 0 "$ext in bands on $threads threads" render --size 1501 1399 --iterations 512 --colors 4096 \
        --threads "$threads" --output "$dir/banded.$ext"
      convert "$dir/banded.$ext" -depth 8 rgb:"$dir/banded.$ext.rgb"
    done
    cmp -s "$dir/banded.png.rgb" "$dir/banded.bmp.rgb" ||
      { echo "FAIL: the PNG's pixels differ from the bitmap's on $threads threads"; failures=$((failures + 1)); }
  done
fi
# A render far larger than the memory the program may have (200 MB of
# pixels in 50 MB of address space), and a lack of memory told before the
# render, leaving the old file as it was. Native only: Wine cannot start in
# so little address space, nor can a sanitizer's build.
# shellcheck disable=SC2016
if [ -n "${MANDEL_EMULATOR:-}" ] ||
   ! sh -c 'ulimit -v 100000 && exec "$@"' sh "$MANDEL_RENDER" --version >/dev/null 2>&1; then
  echo "skipped: the renders in little memory need a program that starts under ulimit -v"
else
  for ext in png bmp; do
    # shellcheck disable=SC2016
    check 0 "a $ext far larger than the memory" sh -c 'ulimit -v 50000 && exec "$@"' sh "$MANDEL_RENDER" \
      --size 4 12500000 --threads 2 --output "$dir/tall.$ext"
    expect_text "$dir/out" "size 4x12500000" "report after the tall $ext"
  done
  [ "$(wc -c <"$dir/tall.bmp")" -eq $((54 + 4 * 12500000 * 4)) ] ||
    { echo "FAIL: the tall bitmap holds $(wc -c <"$dir/tall.bmp") bytes"; failures=$((failures + 1)); }
  cp "$dir/a.bmp" "$dir/old.png"
  # shellcheck disable=SC2016
  check 1 "not enough memory for the bands" sh -c 'ulimit -v 100000 && exec "$@"' sh "$MANDEL_RENDER" \
    --size 100000000 1 --output "$dir/old.png"
  expect_text "$dir/err" "not enough memory to render 100000000x1 pixels" "tells the lack of memory"
  cmp -s "$dir/a.bmp" "$dir/old.png" || { echo "FAIL: a lack of memory changed the old file"; failures=$((failures + 1)); }
  [ -z "$(find "$dir" -maxdepth 1 -name "$temporary")" ] || { echo "FAIL: a lack of memory left a temporary file"; failures=$((failures + 1)); }
  rm -f "$dir"/tall.* "$dir/old.png"

  # A disk that fills after some bands have gone out (16 MB of bitmap, bands
  # of 4 MB, an 8 MB tmpfs).
  mkdir "$dir/full8"
  if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=8m tmpfs "$dir/full8" 2>/dev/null; then
    cp "$dir/a.bmp" "$dir/full8/old.bmp"
    check 1 "a disk full midway" render --size 2000 2000 --output "$dir/full8/old.bmp"
    expect_text "$dir/err" "could not write '.*old.bmp': .*; no file was changed" "gives the reason"
    cmp -s "$dir/a.bmp" "$dir/full8/old.bmp" || { echo "FAIL: a disk full midway changed the old file"; failures=$((failures + 1)); }
    [ "$(ls -A "$dir/full8")" = "old.bmp" ] || { echo "FAIL: left on the full disk: $(ls -A "$dir/full8")"; failures=$((failures + 1)); }
    umount "$dir/full8"
  else
    echo "skipped: the disk full midway needs root and a tmpfs mount"
  fi
fi

[ "$failures" -eq 0 ] && echo "mandel-render command line: all checks passed"
exit "$failures"
