#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Quillmark.
# Idempotent: when every tool is present it changes nothing and prints one line.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed'; }

# fonts-wqy-microhei: Chinese and Japanese characters for the test bed's remote names,
# which Wine's own fonts lack.
packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 cmake ninja-build googletest libgtest-dev g++
          wine wine32:i386 fonts-wine fonts-wqy-microhei xvfb xauth xdotool imagemagick icoutils x11-apps
          python3 util-linux osslsigncode openssl
          clang-14 libclang-rt-14-dev)
for p in "${packages[@]}"; do have_pkg "$p" || need+=("$p"); done

if [ ${#need[@]} -eq 0 ]; then
  echo "setup: all build and test tools are installed"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# Tries and the pause between them; the test of this script shortens the pause.
update_tries=3
update_pause="${SETUP_RETRY_PAUSE:-10}"

echo "setup: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi

# apt's own words are kept from each step's last try and shown only if the set-up fails:
# a try that a later one mends would only mislead.
update_said=""
install_said=""

# A mirror in the middle of an update serves one index stale (seen: the security suite's
# i386 one). apt then keeps the index it had, or none, and says so with exit code 100;
# another try a little later often finds the mirror whole again.
updated=false
for ((try = 1; try <= update_tries; try++)); do
  if update_said="$($sudo apt-get update -qq 2>&1)"; then
    updated=true
    break
  fi
  if ((try < update_tries)); then sleep "$update_pause"; fi
done

# sudo resets the environment, so the front end is set on apt's side of it.
install() {
  install_said="$($sudo env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" 2>&1)"
}
# With one architecture's index of a suite stale, the other's newer versions of the
# multi-arch libraries cannot be paired and apt reports held broken packages. Preferring
# the release's own versions, which both architectures have, pairs them again.
if install; then
  how="from the current indexes"
elif install -o APT::Default-Release=bookworm; then
  how="preferring bookworm's own versions, since the current indexes did not agree"
else
  failed="apt-get install failed, also preferring bookworm's own versions"
  $updated || failed="$failed, after the index update failed $update_tries times"
  {
    echo "setup: $failed; the usual cause is a package mirror in the middle of an update: try again in a few minutes"
    $updated || printf '%s\n' "$update_said" | sed 's/^/  update: /'
    printf '%s\n' "$install_said" | sed 's/^/  install: /'
  } >&2
  exit 1
fi
$updated || how="$how (the index update failed $update_tries times)"
echo "setup: done, installed $how"
