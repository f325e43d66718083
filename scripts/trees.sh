# shellcheck shell=bash
# Sourced: how each build tree under build/ is configured, for every script that builds.
#   configure_tree native|win32|win64
configure_tree() {
  local root dir args
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  dir="$root/build/$1"
  case "$1" in
    native) args=(-DCMAKE_BUILD_TYPE=Debug) ;;
    win32) args=(-DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake") ;;
    win64) args=(-DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake") ;;
    *) echo "configure_tree: no tree $1" >&2; return 2 ;;
  esac
  # Configuring again is cheap and picks up folders that appeared since the last time.
  if [ -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" >/dev/null
  else
    cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >/dev/null
  fi
}
