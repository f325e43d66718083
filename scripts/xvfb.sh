# Sourced: starts a private Xvfb display for this shell and ends it on exit.
start_xvfb() {
  exec 3>&- 2>/dev/null || true
  local fifo
  fifo="$(mktemp -u)"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local number
  read -r number <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$number"
  trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT
}
