#!/usr/bin/env bash
# Builds the commit's two Quillmark.exe and writes the release: a zip per build (the exe
# and README.txt), the exes themselves, and SHA256SUMS over all four.
#   bash scripts/release.sh [--out DIR]      (DIR defaults to dist/)
# Signing, when QUILLMARK_SIGN_PKCS12 names a PKCS#12 file and QUILLMARK_SIGN_PASSWORD
# holds its password; QUILLMARK_SIGN_TIMESTAMP may name an RFC 3161 time-stamp server.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/dist"
if [ $# -eq 2 ] && [ "$1" = --out ] && [ -n "$2" ]; then
  out="$(realpath -m -- "$2")"
elif [ $# -ne 0 ]; then
  echo "usage: bash scripts/release.sh [--out DIR]" >&2
  exit 2
fi
cd "$root"
fail() { echo "release: $*" >&2; exit 1; }

# An earlier release there is replaced whole; a folder holding anything else is left alone.
if [ -n "$(ls -A "$out" 2>/dev/null)" ] && [ ! -f "$out/SHA256SUMS" ]; then
  fail "$out holds files of no earlier release: not replacing it"
fi

sign=false
if [ -n "${QUILLMARK_SIGN_PKCS12:-}" ]; then
  [ -r "$QUILLMARK_SIGN_PKCS12" ] || fail "QUILLMARK_SIGN_PKCS12: no readable file $QUILLMARK_SIGN_PKCS12"
  [ -n "${QUILLMARK_SIGN_PASSWORD+set}" ] ||
    fail "QUILLMARK_SIGN_PASSWORD is not set: it holds the password of $QUILLMARK_SIGN_PKCS12"
  command -v osslsigncode >/dev/null || fail "osslsigncode is missing: bash scripts/setup.sh installs it"
  sign=true
fi

version="$(sed -n 's/^ *FILEVERSION *\([0-9]\+\), *\([0-9]\+\), *\([0-9]\+\), *\([0-9]\+\) *$/\1.\2.\3.\4/p' \
  resources/Quillmark.rc)"
[ -n "$version" ] || fail "resources/Quillmark.rc has no FILEVERSION"
# The signature names the maker's web site: the host of the download page the program opens.
site="$(sed -n 's|.*kDownloadPageUrl\[\] = "\(https\?://[^/"]*\).*|\1/|p' controls/LinkAddresses.h)"
[ -n "$site" ] || fail "controls/LinkAddresses.h has no kDownloadPageUrl"

# The zip entries are dated as the exe's link time is (cmake/commit-time.cmake): by the
# commit, or SOURCE_DATE_EPOCH outside a git checkout, so that a rebuild dates them alike.
commit=unknown
stamp="${SOURCE_DATE_EPOCH:-}"
if [ -e .git ]; then
  commit="$(git rev-parse HEAD)"
  stamp="$(git log -1 --format=%ct)"
  git diff --quiet HEAD || echo "release: the tree has uncommitted changes: this is not commit ${commit:0:12} as it stands"
fi
[[ "$stamp" =~ ^[0-9]+$ ]] || fail "neither git history nor a numeric SOURCE_DATE_EPOCH to date the zip entries by"

echo "release: Quillmark $version, commit ${commit:0:12}: building the win32 and win64 exes"
# shellcheck source=scripts/trees.sh
source scripts/trees.sh
for arch in win32 win64; do
  configure_tree "$arch"
  log="build/release-$arch.log"
  cmake --build "build/$arch" --target Quillmark -j "$(nproc)" >"$log" 2>&1 ||
    { tail -n 20 "$log" >&2; fail "the $arch build failed: $log"; }
done

# Everything is written beside the build trees first: a failure leaves the last release as it was.
stage="$(mktemp -d "$root/build/release.XXXXXX")"
trap 'rm -rf "$stage"' EXIT

# osslsigncode reads the password from its standard input, so that no process list shows it.
sign_exe() {
  local args=(sign -pkcs12 "$QUILLMARK_SIGN_PKCS12" -readpass /dev/stdin -h sha256
              -n Quillmark -i "$site" -in "$1" -out "$2")
  [ -z "${QUILLMARK_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$QUILLMARK_SIGN_TIMESTAMP")
  printf '%s' "$QUILLMARK_SIGN_PASSWORD" | osslsigncode "${args[@]}" >"$stage/sign.log" 2>&1 && return
  grep -q 'mac verify failure' "$stage/sign.log" &&
    fail "QUILLMARK_SIGN_PASSWORD is not the password of $QUILLMARK_SIGN_PKCS12"
  fail "osslsigncode did not sign $1: $(grep -v -m 1 '^Failed$' "$stage/sign.log")"
}

# Entries in a fixed order, dated by the commit in UTC, made "on MS-DOS" with only the archive
# attribute (no Unix owner or mode), and with no extra fields: the same files give the same zip.
write_zip() {
  python3 - "$stamp" "$@" <<'PY'
import os, sys, time, zipfile
stamp, archive, files = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
with zipfile.ZipFile(archive, "w") as z:
    for path in files:
        entry = zipfile.ZipInfo(os.path.basename(path), date_time=time.gmtime(stamp)[:6])
        entry.create_system = 0
        entry.external_attr = 0x20
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(path, "rb") as f:
            z.writestr(entry, f.read(), compresslevel=9)
PY
}

for arch in win32 win64; do
  mkdir "$stage/$arch"
  exe="$stage/$arch/Quillmark.exe"
  if $sign; then sign_exe "build/$arch/Quillmark.exe" "$exe"; else cp "build/$arch/Quillmark.exe" "$exe"; fi
  # Notepad before Windows 10 shows a text without carriage returns as one long line.
  sed -e "s/@VERSION@/$version/g; s/@ARCH@/$arch/g; s/@COMMIT@/$commit/g" \
      -e "s/@BITS@/${arch#win}-bit/g; s/\$/\r/" docs/README-windows.txt >"$stage/README.txt"
  write_zip "$stage/Quillmark-$version-$arch.zip" "$exe" "$stage/README.txt"
done
rm -f "$stage/README.txt" "$stage/sign.log"
(cd "$stage" && sha256sum "Quillmark-$version-win32.zip" "Quillmark-$version-win64.zip" \
  win32/Quillmark.exe win64/Quillmark.exe >SHA256SUMS)

if $sign; then
  echo "release: both exes signed with $QUILLMARK_SIGN_PKCS12${QUILLMARK_SIGN_TIMESTAMP:+, time-stamped by $QUILLMARK_SIGN_TIMESTAMP}"
else
  echo "release: no signing key (QUILLMARK_SIGN_PKCS12 is not set): the exes are unsigned"
fi
chmod 755 "$stage"
rm -rf "$out"
mkdir -p "$(dirname "$out")"
mv "$stage" "$out"
trap - EXIT
echo "release: written to ${out#"$root"/}:"
sed 's/^/  /' "$out/SHA256SUMS"
