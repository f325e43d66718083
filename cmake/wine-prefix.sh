#!/usr/bin/env bash
# Creates a quiet Wine prefix once (under a lock) with the fixes it needs: Wine's own
# fonts linked in (classic dialog metrics) and a virtual desktop (captions, and no
# two-second stall on every hide or close when no window manager runs). A display scale
# other than 100 % (LOGPIXELS 144 is 150 %) is the prefix's for good, with a desktop of
# 1920 x 1080 pixels, where a window at that scale has room.
# wine-prefix.sh PREFIX win32|win64 [LOGPIXELS]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
prefix="$1"
logpixels="${3:-96}"
# shellcheck source=cmake/wine-env.sh
source "$here/wine-env.sh"
quillmark_wine_env "$2"
export WINEPREFIX="$prefix"

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.quillmark-ready" ] && exit 0

"$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1
ln -sf /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
desktop=1024x768
if [ "$logpixels" != 96 ]; then
  desktop=1920x1080
  # Both keys: Wine reads the scale from either, depending on its version and the caller.
  for key in 'HKCU\Control Panel\Desktop' \
             'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    "$WINELOADER" reg add "$key" /v LogPixels /t REG_DWORD /d "$logpixels" /f </dev/null >/dev/null 2>&1
  done
fi
"$WINELOADER" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
"$WINELOADER" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$desktop" /f </dev/null >/dev/null 2>&1
wineserver -w
touch "$prefix/.quillmark-ready"
