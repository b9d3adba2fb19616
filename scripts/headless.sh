# Sourced by the scripts that run Wine: a private Xvfb when there is no
# display, and one idle Wine process kept alive while tests run, so that the
# Wine server does not hold the test runner's output pipes open after every
# test. Both are stopped by their pids when the calling script exits.
mandel_cleanup_pids=()
mandel_cleanup() {
  for pid in "${mandel_cleanup_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  exec 8>&- 2>/dev/null || true
  wineserver -k 2>/dev/null || true
}
trap mandel_cleanup EXIT

has_display() {
  [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}

start_headless_display() {
  if has_display; then return 0; fi
  local fd_file; fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
  mandel_cleanup_pids+=($!)
  for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.1; done
  [ -s "$fd_file" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$fd_file")"
  rm -f "$fd_file"
}

start_wine_keepalive() {
  local fifo; fifo=$(mktemp -u)
  mkfifo "$fifo"
  "$MANDEL_WINE" cmd /c pause <"$fifo" >/dev/null 2>&1 &
  mandel_cleanup_pids+=($!)
  exec 8>"$fifo"   # cmd waits on this pipe until the script ends
  rm -f "$fifo"
  # Make sure the Wine server is up before any test starts one that would
  # inherit the test runner's pipes.
  wine cmd /c exit </dev/null >/dev/null 2>&1
}
