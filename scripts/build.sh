#!/usr/bin/env bash
# Configures and builds the trees under build/: native (remote logic and its tests),
# win32 (the shipped 32-bit Quillmark.exe and its tests) and, where 32-bit programs
# cannot run here, win64 (the same sources, whose tests then run under 64-bit Wine).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="$(nproc)"
# shellcheck source=scripts/trees.sh
source scripts/trees.sh

configure_tree native
cmake --build build/native -j "$jobs"

configure_tree win32
cmake --build build/win32 -j "$jobs"

built=(build/win32/Quillmark.exe)
if [ "$(scripts/windows-arch.sh)" = win64 ]; then
  configure_tree win64
  cmake --build build/win64 -j "$jobs"
  built+=(build/win64/Quillmark.exe)
fi

# Two builds of one commit give the same exe, whatever the folder or the hour: these
# checksums are what another build of the commit must match.
sha256sum "${built[@]}"
