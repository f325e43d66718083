#!/usr/bin/env bash
# Benchmark: how fast Quillmark fills its list, answers while filling and starts, and how
# big it is, each beside a reference program measured in the same run on the same bed.
# Prints figures; it passes or fails nothing. About 6 to 10 minutes on 2 cores.
#   scripts/bench.sh [--reps N]      (timed repetitions; default 7, and 5 for 3,000 rows)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

reps=7
while [ $# -gt 0 ]; do
  case "$1" in
    --reps) reps="$2"; shift 2 ;;
    *) echo "usage: scripts/bench.sh [--reps N]" >&2; exit 2 ;;
  esac
done

arch="$(scripts/windows-arch.sh)"
tree="build/$arch"
started=$(date +%s)

# Only what the benchmark runs is built; the shipped 32-bit exe is built for its size.
echo "== building ($tree; build/win32 for the shipped exe) =="
# shellcheck source=scripts/trees.sh
source scripts/trees.sh
configure_tree "$arch"
cmake --build "$tree" --target bench_driver >/dev/null
configure_tree win32
cmake --build build/win32 --target Quillmark >/dev/null

# The driver reads the screen: a display of our own, which nothing else covers.
# shellcheck source=scripts/xvfb.sh
source scripts/xvfb.sh
start_xvfb

export QUILLMARK_E2E_PRODUCT="$root/$tree/Quillmark.exe"
export QUILLMARK_BENCH_REF_PROTOCOL="$root/$tree/bench/ref_protocol.exe"
export QUILLMARK_BENCH_REF_DIALOG="$root/$tree/bench/ref_dialog.exe"

uname -srm
echo "cores: $(nproc); $(wine --version 2>/dev/null || true); $arch build under Wine"
for extra in 300 1000 3000; do
  bed="$tree/bench-beds/bed-$extra"
  # A bed made with the same count is reused (about 1 s); a new one takes about 30 s.
  testbed/bed.sh up "$bed" --build "$tree" --extra "$extra" >/dev/null
  # A fresh Wine server, so the bed's desktop opens on this run's display.
  testbed/bed.sh down "$bed"
  # A 3,000-row fill takes about 20 s here: five runs of it keep the command near 8 minutes.
  phases=fill fill_reps="$reps"
  if [ "$extra" = 3000 ]; then phases="fill startup"; fill_reps=$(( reps < 5 ? reps : 5 )); fi
  echo
  echo "######## bed with $extra extra services ($bed) ########"
  # shellcheck disable=SC2086
  QUILLMARK_WINEPREFIX="$root/$bed" bash cmake/wine-run.sh "$arch" "$tree/bench/bench_driver.exe" \
    --reps "$fill_reps" --startup-reps "$reps" $phases || echo "(the driver failed on this bed)"
  testbed/bed.sh down "$bed"
done

echo
echo "== Footprint =="
size_of() { if [ -f "$1" ]; then stat -c %s "$1"; else echo 0; fi; }
for exe in build/win32/Quillmark.exe "$tree/Quillmark.exe"; do
  [ -f "$exe" ] || { echo "  $exe: not built"; continue; }
  bytes=$(size_of "$exe")
  verdict=""
  [ "$exe" = build/win32/Quillmark.exe ] &&
    verdict="  (the shipped exe; goal <= 1 MiB: $([ "$bytes" -le 1048576 ] && echo "goal met" || echo "GOAL MISSED"))"
  printf '  %-28s %9d bytes = %6.1f KiB%s\n' "$exe" "$bytes" "$(echo "$bytes / 1024" | bc -l)" "$verdict"
done
printf '  %-28s %9d bytes (reference dialog)\n' "$tree/bench/ref_dialog.exe" "$(size_of "$tree/bench/ref_dialog.exe")"
echo "  private memory: see 'memory after the fill' (3,000-service bed) above"
echo
echo "bench: done in $(( $(date +%s) - started )) s"
