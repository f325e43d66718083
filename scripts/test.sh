#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh

# Windows-side tests open real windows: give them a display of their own.
# shellcheck source=scripts/xvfb.sh
source scripts/xvfb.sh
start_xvfb

status=0
echo "== native tests (sanitizers) =="
ctest --test-dir build/native --output-on-failure || status=1
arch="$(scripts/windows-arch.sh)"
echo "== Windows tests (Wine, $arch build) =="
ctest --test-dir "build/$arch" --output-on-failure || status=1
exit $status
