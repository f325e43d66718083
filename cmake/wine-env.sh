# Sourced: Wine's settings for one build tree's prefix. $1 is win32 or win64.
quillmark_wine_env() {
  export WINEARCH="$1"
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ "$1" = win64 ]; then
    # Debian's wine script prefers the 32-bit loader whenever it is installed.
    export WINELOADER=/usr/lib/wine/wine64
  else
    export WINELOADER=/usr/lib/wine/wine
  fi
}
