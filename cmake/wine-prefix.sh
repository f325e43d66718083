#!/usr/bin/env bash
# Creates a quiet Wine prefix once (under a lock) with the fixes it needs: Wine's own
# fonts linked in (classic dialog metrics) and a virtual desktop (captions, and no
# two-second stall on every hide or close when no window manager runs).
# wine-prefix.sh PREFIX win32|win64
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
prefix="$1"
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
"$WINELOADER" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
"$WINELOADER" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
wineserver -w
touch "$prefix/.quillmark-ready"
