#!/usr/bin/env bash
# Runs a Windows test program under Wine in the build tree's own quiet prefix.
# CMake's cross-compiling emulator: wine-run.sh win32|win64 program [args...]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
arch="$1"
shift
# shellcheck source=cmake/wine-env.sh
source "$here/wine-env.sh"
quillmark_wine_env "$arch"
# One prefix per build tree, whichever folder ctest runs a test in, so that the
# cleanup fixture's wineserver -k reaches every test's Wine processes. A test that
# sets QUILLMARK_WINE_LOGPIXELS (144: 150 %) runs in the tree's prefix of that scale;
# one that sets QUILLMARK_WINE_CODEPAGE=932, in its prefix of that (double-byte) code page.
tree="$PWD"
while [ "$tree" != / ] && [ ! -f "$tree/CMakeCache.txt" ]; do tree="$(dirname "$tree")"; done
[ -f "$tree/CMakeCache.txt" ] || tree="$PWD"
logpixels="${QUILLMARK_WINE_LOGPIXELS:-96}"
prefix="$tree/wineprefix"
[ "$logpixels" = 96 ] || prefix="$tree/wineprefix-$logpixels"
if [ "${QUILLMARK_WINE_CODEPAGE:-}" = 932 ]; then
  # Wine takes each process's code page from LC_ALL, Japanese locale installed or not;
  # every process of the prefix, its server and services too, must have the same.
  export LC_ALL=ja_JP.UTF-8
  prefix="$tree/wineprefix-cp932"
fi
export WINEPREFIX="${QUILLMARK_WINEPREFIX:-$prefix}"
"$here/wine-prefix.sh" "$WINEPREFIX" "$arch" "$logpixels"

# Wine's server and helpers must not hold the test's output open, or ctest waits on them.
wineserver -p30 </dev/null >/dev/null 2>&1 || true
"$WINELOADER" wineboot </dev/null >/dev/null 2>&1 || true
exec "$WINELOADER" "$@"
