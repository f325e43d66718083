#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Quillmark.
# Idempotent: when every tool is present it changes nothing and prints one line.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed'; }

packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 cmake ninja-build googletest libgtest-dev g++
          wine wine32:i386 fonts-wine xvfb xauth xdotool imagemagick icoutils x11-apps
          python3 util-linux
          clang-14 libclang-rt-14-dev)
for p in "${packages[@]}"; do have_pkg "$p" || need+=("$p"); done

if [ ${#need[@]} -eq 0 ]; then
  echo "setup: all build and test tools are installed"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "setup: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
echo "setup: done"
