#!/usr/bin/env bash
# Benchmark: how fast Quillmark fills its list, answers while filling and starts, how fast
# a typed name and a copy of the list answer, and how big it is, each beside a reference
# program measured in the same run on the same bed; and its fill through a manager that
# answers in bounded calls, as a remote Windows one does, beside the same fill in one call.
# Each program and its reference take turns rep by rep, and a ratio never mixes builds.
# Prints figures; it passes or fails nothing. About 4 to 6 minutes on 2 cores.
#   scripts/bench.sh [--reps N] [--only PHASES]
#     --reps: timed repetitions of each fill and start (default 11); --only: these phases of
#     the driver ("fill startup keys bounded") on the 3,000-service bed alone, no footprint.
# Every list message and every start goes through the Wine server, so where the scheduler
# puts the threads weighs heavily: on a virtual machine whose cores wake each other
# slowly, `taskset -c 0 bash scripts/bench.sh` measures the programs rather than that.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

# Two cores shared with builds and tests: 11 turns steady the medians.
reps=11
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --reps) reps="$2"; shift 2 ;;
    --only) only="$2"; shift 2 ;;
    *) echo "usage: scripts/bench.sh [--reps N] [--only PHASES]" >&2; exit 2 ;;
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
export QUILLMARK_BENCH_REF_TEMPLATE="$root/$tree/bench/ref_template.exe"
export QUILLMARK_BENCH_REMOTE_MANAGER="$root/$tree/bench/remote_manager.exe"

uname -srm
echo "cores: $(nproc); $(wine --version 2>/dev/null || true)"
echo "build measured: $tree ($arch), under Wine; every ratio below compares programs of this build"
beds="300 1000 3000"
[ -z "$only" ] || beds=3000
for extra in $beds; do
  bed="$tree/bench-beds/bed-$extra"
  # A bed made with the same count is reused (about 1 s); a new one takes about 30 s.
  testbed/bed.sh up "$bed" --build "$tree" --extra "$extra" >/dev/null
  # A fresh Wine server, so the bed's desktop opens on this run's display.
  testbed/bed.sh down "$bed"
  phases=fill
  if [ "$extra" = 3000 ]; then phases="${only:-fill startup keys bounded}"; fi
  echo
  echo "######## bed with $extra extra services ($bed) ########"
  # shellcheck disable=SC2086
  QUILLMARK_WINEPREFIX="$root/$bed" bash cmake/wine-run.sh "$arch" "$tree/bench/bench_driver.exe" \
    --reps "$reps" --startup-reps "$reps" $phases || echo "(the driver failed on this bed)"
  testbed/bed.sh down "$bed"
done

if [ -n "$only" ]; then
  echo "bench: done in $(( $(date +%s) - started )) s"
  exit 0
fi

echo
echo "== Footprint =="
size_of() { if [ -f "$1" ]; then stat -c %s "$1"; else echo 0; fi; }
kib() { echo "scale=1; $1 / 1024" | bc -l; }
shipped=build/win32/Quillmark.exe
bytes=$(size_of "$shipped")
printf '  %-28s %9d bytes = %6s KiB  (the shipped exe; goal <= 512 KiB: %s)\n' "$shipped" "$bytes" \
  "$(kib "$bytes")" "$([ "$bytes" -gt 0 ] && [ "$bytes" -le 524288 ] && echo "goal met" || echo "GOAL MISSED")"
if [ "$tree" != build/win32 ]; then
  printf '  %-28s %9d bytes = %6s KiB  (the build measured above)\n' "$tree/Quillmark.exe" \
    "$(size_of "$tree/Quillmark.exe")" "$(kib "$(size_of "$tree/Quillmark.exe")")"
fi
printf '  %-28s %9d bytes (reference dialog, %s)\n' "$tree/bench/ref_dialog.exe" "$(size_of "$tree/bench/ref_dialog.exe")" "$arch"
echo "  private memory: see 'memory after the fills' (3,000-service bed) above"
echo
echo "bench: done in $(( $(date +%s) - started )) s"
