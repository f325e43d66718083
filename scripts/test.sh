#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh

# Windows-side tests open real windows: give them a display of their own.
# shellcheck source=scripts/xvfb.sh
source scripts/xvfb.sh
start_xvfb

status=0
arch="$(scripts/windows-arch.sh)"

echo "== scripts: set-up against a mirror mid-update; the shipped exe built again elsewhere; the release =="
bash tests/scripts/setup_test.sh || status=1
bash tests/scripts/reproducible_test.sh || status=1
bash tests/scripts/release_test.sh || status=1

# The README's run command as a newcomer meets it: no demo bed yet and no display. It
# must say it listed the bed, and its picture must show more than an empty screen.
echo "== scripts/run.sh, first run without a display =="
shot="$root/build/quillmark-demo.png"
run_log="$root/build/run-first.log"
first_run() {
  testbed/bed.sh down "build/$arch/demo-prefix" --remove >/dev/null
  rm -f "$shot"
  env -u DISPLAY bash scripts/run.sh >"$run_log" 2>&1 || return 1
  listed="$(tail -n 2 "$run_log" | sed -n 1p)"
  [[ "$listed" =~ ^"Quillmark's list holds "[0-9]+" rows, the 7 bed services among them"$ ]] &&
    [ "$(tail -n 1 "$run_log")" = \
      "No display: Quillmark ran on a private Xvfb, listing the bed at 127.0.0.1; screenshot: $shot" ] &&
    [ "$(identify -format '%k' "$shot")" -ge 16 ]
}
started=$SECONDS
if first_run; then
  echo "run.sh: passed in $((SECONDS - started)) s: $listed"
else
  echo "run.sh: FAILED; the end of its output ($run_log):"
  tail -n 15 "$run_log" | sed 's/^/  /'
  status=1
fi

echo "== native tests (sanitizers) =="
ctest --test-dir build/native --output-on-failure || status=1
echo "== Windows tests (Wine, $arch build) =="
ctest --test-dir "build/$arch" --output-on-failure || status=1
exit $status
