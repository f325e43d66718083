#!/usr/bin/env bash
# Configures and builds the trees under build/: native (remote logic and its tests),
# win32 (the shipped 32-bit Quillmark.exe and its tests) and, where 32-bit programs
# cannot run here, win64 (the same sources, whose tests then run under 64-bit Wine).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="$(nproc)"

# Configuring again is cheap and picks up folders that appeared since the last time.
configure() { # build-dir [cmake args...]
  local dir="$1"
  shift
  if [ -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" >/dev/null
  else
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  fi
}

configure build/native -DCMAKE_BUILD_TYPE=Debug
cmake --build build/native -j "$jobs"

configure build/win32 -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
cmake --build build/win32 -j "$jobs"

if [ "$(scripts/windows-arch.sh)" = win64 ]; then
  configure build/win64 -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
  cmake --build build/win64 -j "$jobs"
fi
