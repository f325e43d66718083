#!/usr/bin/env bash
# Builds the libFuzzer harness of the remote logic with clang (build/fuzz) and runs it for
# a bounded time on a copy of tests/fuzz/corpus, then prints libFuzzer's closing stats.
#   scripts/fuzz.sh [SECONDS] [--update]
# --update adds to the committed corpus the inputs that reach new code; without
# it the committed corpus is never written. Crashing inputs land in build/fuzz/artifacts.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

seconds=60
update=0
for arg in "$@"; do
  case "$arg" in
    --update) update=1 ;;
    ''|*[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS] [--update]" >&2; exit 2 ;;
    *) seconds="$arg" ;;
  esac
done

cxx="$(command -v clang++ || command -v clang++-14)"
cc="$(command -v clang || command -v clang-14)"
if [ ! -f build/fuzz/CMakeCache.txt ]; then
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DQUILLMARK_FUZZ=ON >/dev/null
fi
cmake --build build/fuzz --target fuzz_remote

corpus="$root/tests/fuzz/corpus"
work="$root/build/fuzz/corpus"
artifacts="$root/build/fuzz/artifacts"
log="$root/build/fuzz/fuzz.log"
rm -rf "$work"
mkdir -p "$work" "$artifacts"
cp "$corpus"/* "$work"/ 2>/dev/null || true

echo "fuzz: ${seconds}s on a copy of tests/fuzz/corpus ($(ls "$work" | wc -l) inputs); log in build/fuzz/fuzz.log"
status=0
build/fuzz/tests/fuzz/fuzz_remote "$work" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$artifacts/" -max_len=4096 -timeout=10 >"$log" 2>&1 || status=$?

if [ "$status" -ne 0 ]; then
  # A crash or a broken invariant: show the report and where the input was kept.
  grep -E 'invariant broken|ERROR: (AddressSanitizer|libFuzzer)|runtime error|SUMMARY|artifact' "$log" | head -40 || true
  echo "fuzz: FAILED (exit $status); full report in build/fuzz/fuzz.log" >&2
  exit "$status"
fi
# The last status line, the closing line and the final stats.
grep -E '^#[0-9]+' "$log" | tail -1
grep -E '^(Done |stat::)' "$log"

if [ "$update" -eq 1 ]; then
  # The committed inputs stay as they are; only inputs that reach code none of them
  # reaches are added (edges only, not hit counts, so that the corpus stays small).
  before="$(ls "$corpus" | wc -l)"
  build/fuzz/tests/fuzz/fuzz_remote -merge=1 -use_counters=0 "$corpus" "$work" >>"$log" 2>&1
  echo "fuzz: tests/fuzz/corpus grew from $before to $(ls "$corpus" | wc -l) inputs"
fi
