# shellcheck shell=bash
# Sourced: starts a private Xvfb display for this shell and ends it on exit.
# A script that sets its own EXIT trap calls stop_xvfb from it.
start_xvfb() {
  local fifo number=""
  fifo="$(mktemp -u)"
  mkfifo "$fifo"
  # Only Xvfb's own descriptor 3 is the pipe; the caller's descriptors stay as they were.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  read -r number <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$number" ]; then
    echo "xvfb.sh: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$number"
  trap stop_xvfb EXIT
}

stop_xvfb() {
  [ -z "${XVFB_PID:-}" ] || kill "$XVFB_PID" 2>/dev/null || true
}
