#!/usr/bin/env bash
# One session with the real viewer, driven from outside as a user would, on the
# X display in DISPLAY with the project's Wine prefix (virtual desktop):
#   start; pick 512 iterations and 4096 colours from the menu by keyboard;
#   drag a band with the window-zoom tool; read the bounds back from the
#   coordinate dialog through the clipboard, type them back with one more
#   digit so that the view is known exactly, OK; save through Save As by
#   typing a file name; exit. Every computation's time box is answered with
#   Return. The saved file must equal mandel-render's for the same bounds
#   (refitted to the image's aspect as the dialog's OK does), size,
#   iterations and colours.
#
# usage: user_session.sh MANDEL_EXE MANDEL_RENDER SCRIPTS_DIR
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "--- $*"; }

[ $# -eq 3 ] || fail "usage: $0 MANDEL_EXE MANDEL_RENDER SCRIPTS_DIR"
exe=$1 render=$2 scripts=$3
[ -f "$exe" ] || fail "no viewer at $exe"
[ -x "$render" ] || fail "no native mandel-render at $render: build it first with" \
  "'cmake --preset native && cmake --build --preset native --target mandel-render'"
for tool in xdotool xclip python3 wine cmp; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
[ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1 ||
  fail "no X display: run under scripts/test.sh, or see README.md for running Wine tests by hand"

source "$scripts/wine-prefix.sh"
mandel_use_wine_for "$exe"
mandel_prepare_prefix

work=$(mktemp -d /tmp/mandel-e2e.XXXXXX)
mandel_pid=
cleanup() {
  local status=$?
  if [ -n "$mandel_pid" ] && kill -0 "$mandel_pid" 2>/dev/null; then
    echo "visible windows left:" >&2
    for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
      echo "  $(xdotool getwindowname "$w" 2>/dev/null)" >&2
    done
    kill "$mandel_pid" 2>/dev/null || true
  fi
  if [ -s "$work/wine.log" ] && [ "$status" -ne 0 ]; then
    echo "Wine's output:" >&2
    cat "$work/wine.log" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Waits for a visible window whose whole title is $1 and prints its id.
wait_window() {
  local title=$1 limit=${2:-30} ids
  local deadline=$((SECONDS + limit))
  while :; do
    ids=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null || true)
    [ -n "$ids" ] && { echo "$ids" | head -n1; return 0; }
    kill -0 "$mandel_pid" 2>/dev/null || fail "the viewer ended while waiting for '$title'"
    [ $SECONDS -lt $deadline ] || fail "no window '$title' within ${limit}s"
    sleep 0.05
  done
}

# Waits until window $1 is no longer visible.
wait_gone() {
  local id=$1 what=$2 deadline=$((SECONDS + 10))
  while xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$id"; do
    [ $SECONDS -lt $deadline ] || fail "$what did not close"
    sleep 0.05
  done
}

# Each computation ends with the box "計算時間 N秒"; Return answers it.
answer_time_box() {
  local box; box=$(wait_window Message 30)
  xdotool key Return
  wait_gone "$box" "the computation-time box after $1"
}

clipboard() { timeout 2 xclip -o -selection clipboard 2>/dev/null || true; }

step "start the viewer"
"$MANDEL_WINE" "$exe" >"$work/wine.log" 2>&1 &
mandel_pid=$!
answer_time_box "the start"
main=$(wait_window Mandelbrot 10)

desktop=$(xdotool search --onlyvisible --name ' - Wine desktop$' | head -n1)
[ -n "$desktop" ] || fail "Wine shows no virtual desktop: the prefix is not prepared"
eval "$(xdotool getwindowgeometry --shell "$desktop")"
image_width=$WIDTH image_height=$HEIGHT   # the image is the desktop's size
eval "$(xdotool getwindowgeometry --shell "$main")"
# Inside the virtual desktop the client area starts at (4, 42) of the window
# (frame and caption, then the menu) and has a 4-pixel frame on the other sides.
client_left=4 client_top=42
client_width=$((WIDTH - 8)) client_height=$((HEIGHT - 46))
echo "image ${image_width}x${image_height}, client area ${client_width}x${client_height}"

step "iterations 512 and colours 4096 from the menu"
xdotool key alt+v n 5
answer_time_box "choosing 512 iterations"
xdotool key alt+v c 4
answer_time_box "choosing 4096 colours"

step "drag a band with the window-zoom tool"
# In client coordinates: from (x0, y0) rightwards by dx; the band's height
# follows from the client area's proportions.
x0=$((client_width * 3 / 10)) y0=$((client_height * 3 / 10)) dx=$((client_width / 5))
xdotool key alt+v z
xdotool mousemove --window "$main" $((client_left + x0)) $((client_top + y0)) mousedown 1
xdotool mousemove --window "$main" $((client_left + x0 + dx / 2)) $((client_top + y0 + 5))
xdotool mousemove --window "$main" $((client_left + x0 + dx)) $((client_top + y0 + 10))
xdotool mouseup 1
answer_time_box "the zoom"

step "read the bounds back from the coordinate dialog and type them back edited"
xdotool key alt+v s
dialog=$(wait_window 座標設定 10)
# Focus starts on OK; Tab Tab reaches Xmin, each Tab the next bound, and
# tabbing into a box selects its text, so typing replaces it.
xdotool key Tab
shown=() previous=$(clipboard)
for name in Xmin Xmax Ymin Ymax; do
  xdotool key Tab ctrl+c
  deadline=$((SECONDS + 5))
  while text=$(clipboard); [ "$text" = "$previous" ]; do
    [ $SECONDS -lt $deadline ] || fail "copying $name did not reach the X clipboard (still '$text')"
    sleep 0.05
  done
  [[ $text =~ ^-?[0-9]+\.[0-9]{6}$ ]] || fail "$name is shown as '$text', not with six decimals"
  shown+=("$text")
  previous=$text
  # One more digit: the text changes, so OK reads it whole, and the value
  # (eight significant digits at most) is known exactly.
  xdotool type -- "${text}5"
done
echo "shown after the zoom: ${shown[*]}"
xdotool key Return
wait_gone "$dialog" "the coordinate dialog"
answer_time_box "the coordinate dialog's OK"

# The bounds the viewer now uses, and checks that the drag set them.
bounds=$(python3 - "$image_width" "$image_height" "$client_width" "$client_height" \
                   "$x0" "$y0" "$dx" "${shown[@]}" <<'EOF'
import sys
iw, ih, cw, ch, x0, y0, dx = map(int, sys.argv[1:8])
shown = [float(t) for t in sys.argv[8:12]]
xmin, xmax, ymin, ymax = (float(t + "5") for t in sys.argv[8:12])

# The start view is -1..1 high, widened to the image's aspect.
sx, sy = 2.0 * iw / ih, 2.0
start = (-sx / 2, sx / 2, -1.0, 1.0)
if shown == list(start) or not (shown[0] < shown[1] and shown[2] < shown[3]):
    sys.exit("the drag did not set a view: %r" % shown)
# The band starts where the button went down and ends at the pointer's x;
# its height on the plane follows its width in the client area's
# proportions. Allow 3 pixels for the window-frame assumptions.
left, right, top = start[0] + sx * x0 / cw, start[0] + sx * (x0 + dx) / cw, -1 + sy * y0 / ch
expected = (left, right, top, top + (right - left) * ch / cw)
for name, got, want, pixel in zip(("Xmin", "Xmax", "Ymin", "Ymax"), shown, expected,
                                  (sx / cw, sx / cw, sy / ch, sy / ch)):
    if abs(got - want) > 3 * pixel:
        sys.exit("%s after the drag is %.6f, expected about %.6f" % (name, got, want))

# OK refits the view to the image's aspect, keeping one axis's span.
if iw / ih >= (xmax - xmin) / (ymax - ymin):
    span = (ymax - ymin) * iw / ih
    centre = (xmax + xmin) * 0.5
    xmin, xmax = centre - span * 0.5, centre - span * -0.5
else:
    span = (xmax - xmin) * ih / iw
    centre = (ymax + ymin) * 0.5
    ymin, ymax = centre - span * 0.5, centre - span * -0.5
print(" ".join("%.17g" % v for v in (xmin, xmax, ymin, ymax)))
EOF
) || fail "the bounds after the drag are wrong"
echo "view saved: $bounds"

step "save through Save As"
saved=$work/session.bmp
xdotool key alt+f a
save_dialog=$(wait_window 名前を付けて保存 10)
xdotool type -- "Z:${saved//\//\\}"
xdotool key Return
wait_gone "$save_dialog" "the Save As dialog"
expected_size=$((54 + image_width * image_height * 4))
deadline=$((SECONDS + 10))
until [ -f "$saved" ] && [ "$(stat -c %s "$saved")" -eq "$expected_size" ]; do
  [ $SECONDS -lt $deadline ] ||
    fail "no file of $expected_size bytes at $saved ($(stat -c %s "$saved" 2>/dev/null || echo none))"
  sleep 0.05
done

step "exit from the menu"
xdotool key alt+f x
deadline=$((SECONDS + 20))
while kill -0 "$mandel_pid" 2>/dev/null; do
  [ $SECONDS -lt $deadline ] || fail "the viewer did not end after Alt+F X"
  sleep 0.05
done
status=0
wait "$mandel_pid" || status=$?
mandel_pid=
[ "$status" -eq 0 ] || fail "the viewer ended with status $status"

step "compare with mandel-render"
# shellcheck disable=SC2086  # four numbers
"$render" --bounds $bounds --size "$image_width" "$image_height" \
  --iterations 512 --colors 4096 --output "$work/expected.bmp"
if ! cmp "$saved" "$work/expected.bmp"; then
  echo "$(cmp -l "$saved" "$work/expected.bmp" | wc -l) bytes differ" >&2
  fail "the saved image differs from mandel-render's"
fi
echo "user session passed"
