#!/usr/bin/env bash
# Builds the shipped exe a second time, from a copy of this tree (as it stands, uncommitted
# changes included) at another path and a later time, and fails unless the copy's exe is
# byte for byte build/win32/Quillmark.exe, which scripts/build.sh has just made.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
shipped="$root/build/win32/Quillmark.exe"
[ -f "$shipped" ] || { echo "reproducible: FAILED: no $shipped; run scripts/build.sh first"; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
copy="$work/elsewhere/quillmark"
mkdir -p "$copy"
# The copy is a clone at the same commit, as another builder's would be, so that it takes
# its link time from git the same way; the files themselves come from the tree.
if [ -e "$root/.git" ]; then
  git clone -q --shared --no-checkout "$root" "$copy"
  git -C "$copy" update-ref --no-deref HEAD "$(git -C "$root" rev-parse HEAD)"
fi
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
# shellcheck source=scripts/trees.sh
source "$copy/scripts/trees.sh"
configure_tree win32
cmake --build "$copy/build/win32" --target Quillmark -j "$(nproc)" >"$work/build.log" ||
  { echo "reproducible: FAILED: the copy did not build:"; tail -n 20 "$work/build.log"; exit 1; }
rebuilt="$copy/build/win32/Quillmark.exe"

if cmp -s "$shipped" "$rebuilt"; then
  echo "reproducible: Quillmark.exe built again at another path is the same file: $(sha256sum <"$shipped" | cut -d' ' -f1)"
else
  differing=$(cmp -l "$shipped" "$rebuilt" | wc -l || true)
  echo "reproducible: FAILED: Quillmark.exe built again at another path differs in $differing bytes:"
  sha256sum "$shipped" "$rebuilt" | sed 's/^/  /'
  exit 1
fi
