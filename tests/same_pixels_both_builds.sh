#!/bin/sh
# The host build and a Windows build must compute the same pixels:
# renders views in every colour mode, iteration limit and thread count with
# both and compares the files byte for byte, bitmaps and, decoded, PNGs
# (whose bands come in the other order), over images of several bands.
set -u
native=$1; windows=$2
dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
failures=0; n=0; ext=bmp
same_files() {
  if [ "$ext" = png ]; then
    convert "$1" -depth 8 rgb:"$1.rgb" && convert "$2" -depth 8 rgb:"$2.rgb" && cmp -s "$1.rgb" "$2.rgb"
  else
    cmp -s "$1" "$2"
  fi
}
compare() {
  n=$((n + 1))
  "$native" "$@" --output "$dir/n$n.$ext" >/dev/null &&
    "$(dirname "$0")/../scripts/wine-run.sh" "$windows" "$@" --output "$dir/w$n.$ext" >/dev/null &&
    same_files "$dir/n$n.$ext" "$dir/w$n.$ext" ||
    { echo "FAIL: pixels differ for $* ($ext)"; failures=$((failures + 1)); }
}
compare --size 320 180 --iterations 64 --colors 64
compare --size 321 179 --iterations 512 --colors 512 --threads 2
compare --size 203 97 --iterations 4096 --colors 4096 --threads 8 --bounds -0.8 -0.6 -0.2 -0.1
compare --size 160 90 --iterations 32768 --colors 32768 --threads 4 --bounds 0.74 0.76 0.09 0.1
compare --size 64 48 --bounds -1.7e308 1.7e308 -1e308 1e308 --threads 2
compare --size 33 17 --bounds 2 -2 1.5 -1.5 --iterations 512 --colors 32768
compare --size 1501 1399 --iterations 512 --colors 4096 --threads 8
if command -v convert >/dev/null; then
  ext=png
  compare --size 1501 1399 --iterations 512 --colors 4096 --threads 8
  compare --size 1100 1000 --iterations 4096 --colors 4096 --threads 2 --bounds 0.74 0.76 0.09 0.1
else
  echo "skipped: the PNG comparisons need ImageMagick's convert"
fi
[ "$failures" -eq 0 ] && echo "same pixels in $n views"
exit "$failures"
