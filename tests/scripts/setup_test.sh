#!/usr/bin/env bash
# scripts/setup.sh against a package mirror in the middle of an update, played by stand-ins
# for apt-get, dpkg, dpkg-query and sudo placed first on PATH: the real apt is never run,
# and the stand-ins record every apt-get call.
# The stand-ins are written out literally, and each case runs through expect.
# shellcheck disable=SC2016,SC2317
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# apt-get: `update` fails, as a stale index makes it, until FAKE_UPDATE_FAILS tries have
# failed; `install` goes through only where FAKE_INSTALL allows: always, only preferring
# the release's own versions, or never.
cat >"$work/bin/apt-get" <<'STAND_IN'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_CALLS"
case "$1" in
  update)
    tries=$(grep -c '^update' "$FAKE_CALLS")
    if [ "$tries" -le "$FAKE_UPDATE_FAILS" ]; then
      echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
      exit 100
    fi ;;
  install)
    case "$FAKE_INSTALL:$*" in
      always:* | release:*APT::Default-Release=bookworm*) echo "Selecting previously unselected package wine32:i386." ;;
      *) echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100 ;;
    esac ;;
  *) exit 99 ;;
esac
STAND_IN
# Nothing is installed yet, and i386 is already a foreign architecture.
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$work/bin/dpkg"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

failures=0
# run_setup UPDATE_FAILS INSTALL: runs the set-up; leaves its status, its output, the
# line it ends on (stdout's last on success, stderr's first on failure) and the calls.
run_setup() {
  : >"$work/calls"
  status=0
  PATH="$work/bin:$PATH" FAKE_CALLS="$work/calls" FAKE_UPDATE_FAILS="$1" FAKE_INSTALL="$2" \
    SETUP_RETRY_PAUSE=0 bash "$root/scripts/setup.sh" >"$work/out" 2>"$work/err" || status=$?
  calls="$(cut -d' ' -f1 "$work/calls" | paste -sd' ')"
  if [ "$status" -eq 0 ]; then said="$(tail -n 1 "$work/out")"; else said="$(head -n 1 "$work/err")"; fi
}
# expect WHAT CHECK: one line per case; a failing case also shows what the set-up printed.
expect() {
  if "$2"; then
    echo "[ OK ] $1: $said"
  else
    echo "[ FAILED ] $1 (exit $status, apt-get calls: $calls)"
    sed 's/^/  out: /' "$work/out"; sed 's/^/  err: /' "$work/err"
    failures=$((failures + 1))
  fi
}
# On success only the set-up's own two lines show: the failed tries it mended stay quiet.
succeeded_quietly() { [ "$status" -eq 0 ] && [ ! -s "$work/err" ] && [ "$(wc -l <"$work/out")" -eq 2 ]; }

stale_index() {
  run_setup 99 release
  succeeded_quietly && [ "$calls" = "update update update install install" ] &&
    tail -n 1 "$work/calls" | grep -q -- "-o APT::Default-Release=bookworm" &&
    [ "$said" = "setup: done, installed preferring bookworm's own versions, since the current indexes did not agree (the index update failed 3 times)" ]
}
mirror_whole_again() {
  run_setup 1 always
  succeeded_quietly && [ "$calls" = "update update install" ] &&
    [ "$said" = "setup: done, installed from the current indexes" ]
}
nothing_installs() {
  run_setup 99 never
  [ "$status" -eq 1 ] && [ "$calls" = "update update update install install" ] &&
    ! grep -q "setup: done" "$work/out" &&
    [[ "$said" == "setup: apt-get install failed, also preferring bookworm's own versions, after the index update failed 3 times; the usual cause is a package mirror in the middle of an update"* ]] &&
    grep -q "^  update: E: Failed to fetch" "$work/err" &&
    grep -q "^  install: E: Unable to correct problems, you have held broken packages" "$work/err"
}

expect "stale index: three updates, then the install preferring the release" stale_index
expect "the mirror whole again at the second update" mirror_whole_again
expect "nothing installs: one line naming the step, then apt's words" nothing_installs
exit $((failures > 0))
