#!/usr/bin/env bash
# Installs what is missing, builds, and opens Quillmark under Wine on the test bed. With a
# display (DISPLAY set) the window opens there. Without one, Quillmark runs on a private
# Xvfb, lists the bed, and the script writes a screenshot and prints its path.
# It says so only after checking it: the window on screen, the bed's services in its list,
# a picture that is not blank. Otherwise it exits 1 with one line that says what did not
# happen, followed by Wine's own output.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh

arch="$(scripts/windows-arch.sh)"
exe="$root/build/$arch/Quillmark.exe"
prefix="$root/build/$arch/demo-prefix"
shot="$root/build/quillmark-demo.png"
log="$root/build/quillmark-demo.log"
# Quillmark's run keeps Wine's error messages (a window it could not create, say) for
# the report below; everything else of Wine stays quiet.
app_winedebug="${WINEDEBUG:--all,err+all}"
# shellcheck source=cmake/wine-env.sh
source cmake/wine-env.sh
quillmark_wine_env "$arch"
export WINEPREFIX="$prefix"

testbed/bed.sh up "$prefix" --build "build/$arch"
# up leaves the prefix's Wine server running for a few seconds after its last probe, and
# that server keeps the desktop it made for up's display, or for none at all. Quillmark
# started into it gets no window anywhere; a fresh server makes its desktop on this
# run's display.
testbed/bed.sh down "$prefix" >/dev/null

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  rm -f "$shot"
  # shellcheck source=scripts/xvfb.sh
  source scripts/xvfb.sh
  start_xvfb
fi

app=""
finish() {
  if [ -n "$app" ] && kill -0 "$app" 2>/dev/null; then
    kill "$app" 2>/dev/null || true
    wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
  if [ "$headless" = 1 ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
    stop_xvfb
  fi
}
trap finish EXIT

# One line for what did not happen, then what Wine said while it ran Quillmark.
fail() {
  echo "run.sh: $*" >&2
  if [ -s "$log" ]; then
    echo "Wine's output (last 40 lines of $log):" >&2
    tail -n 40 "$log" | sed 's/^/  /' >&2
  else
    echo "Wine printed nothing ($log is empty)" >&2
  fi
  exit 1
}

probe() { testbed/bed.sh probe "$prefix" "$@" | tail -n 1; }

WINEDEBUG="$app_winedebug" "$WINELOADER" "$exe" </dev/null >"$log" 2>&1 &
app=$!

# X knows the window by its caption, under the Wine desktop's own window.
on_display() { xwininfo -root -tree 2>/dev/null | grep -q '"Quillmark"'; }
for _ in $(seq 1 60); do
  if ! kill -0 "$app" 2>/dev/null; then
    code=0
    wait "$app" || code=$?
    app=""
    fail "Quillmark ended (exit code $code) before its window appeared on display $DISPLAY"
  fi
  on_display && break
  sleep 0.5
done
on_display || fail "Quillmark's window did not appear on display $DISPLAY within 30 s"
# And Wine's own view of it: shown, not minimised, on its screen.
seen="$(probe window 10)" || fail "$seen"

if [ "$headless" = 0 ]; then
  echo "Quillmark: its window is open on display $DISPLAY ($exe); close it to end"
  code=0
  wait "$app" || code=$?
  app=""
  exit "$code"
fi

# Show what a user would: the bed listed. Focus starts on Run; two Tabs reach the
# remote-computer box, and Enter runs the refresh.
sleep 1
xdotool key Tab Tab
xdotool type 127.0.0.1
xdotool key Return
listed="$(probe window 30 list)" || fail "$listed"
# The last rows come after the bed's, and the list repaints a moment after the pass.
sleep 1
import -window root "$shot" || fail "no screenshot of display $DISPLAY was written to $shot"
colours="$(identify -format '%k' "$shot")"
[ "$colours" -ge 16 ] || fail "the screenshot $shot is blank ($colours colours)"
echo "$listed"
echo "No display: Quillmark ran on a private Xvfb, listing the bed at 127.0.0.1; screenshot: $shot"
