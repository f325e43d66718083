#!/bin/sh
# Screenshot helper for the end-to-end driver, which Wine starts as a Unix program:
# shot.sh FILE.png. The finished picture is renamed into place, so the driver (which
# cannot wait for a Unix process) takes its appearance as the signal.
set -eu
out="$1"
mkdir -p "$(dirname "$out")"
import -window root "png:$out.part"
mv -f "$out.part" "$out"
