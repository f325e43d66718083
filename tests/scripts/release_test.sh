#!/usr/bin/env bash
# scripts/release.sh packaging the exes scripts/build.sh has just built: unsigned, twice; signed
# with a throwaway certificate; with a wrong password.
# shellcheck disable=SC2317
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

# release DIR [VAR=VALUE...]: a release into $work/DIR; its output is kept in out and err.
release() { env "${@:2}" bash "$root/scripts/release.sh" --out "$work/$1" >"$work/out" 2>"$work/err"; }
# expect WHAT CHECK: one line per case; a failing case also shows what the release printed.
expect() {
  if "$2"; then echo "[ OK ] release: $1"; return; fi
  echo "[ FAILED ] release: $1"; sed 's/^/  out: /' "$work/out"; sed 's/^/  err: /' "$work/err"
  failures=$((failures + 1))
}
# zip_entry DIR ARCH: unpacks that build's zip of $work/DIR into $work/x.
zip_entry() { rm -rf "$work/x" && python3 -m zipfile -e "$work/$1/"*"-$2.zip" "$work/x"; }

# The second run comes seconds later, in another folder, time zone and umask: none of that may
# reach a zip. Each zip holds the built exe, and SHA256SUMS names all four files.
unsigned_twice() {
  release a && (umask 077 && release b TZ=Pacific/Kiritimati) &&
    grep -qx "release: no signing key (QUILLMARK_SIGN_PKCS12 is not set): the exes are unsigned" "$work/out" &&
    (cd "$work/a" && [ "$(wc -l <SHA256SUMS)" -eq 4 ] && sha256sum --quiet -c SHA256SUMS) || return 1
  for arch in win32 win64; do
    cmp "$work"/{a,b}/"Quillmark-"*"-$arch.zip" && zip_entry a "$arch" &&
      cmp "$work/x/Quillmark.exe" "$root/build/$arch/Quillmark.exe" || return 1
  done
}
signed() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Quillmark release test" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null &&
    openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:Test-7 -out "$work/key.p12" &&
    release signed QUILLMARK_SIGN_PKCS12="$work/key.p12" QUILLMARK_SIGN_PASSWORD=Test-7 || return 1
  for arch in win32 win64; do
    zip_entry signed "$arch" &&
      osslsigncode verify -CAfile "$work/cert.pem" -in "$work/x/Quillmark.exe" >"$work/verify" 2>&1 &&
      grep -q "Text description: Quillmark" "$work/verify" &&
      grep -q "URL description: http://www.quillmark.example/" "$work/verify" &&
      osslsigncode remove-signature -in "$work/x/Quillmark.exe" -out "$work/x/removed.exe" >/dev/null &&
      cmp "$work/x/removed.exe" "$root/build/$arch/Quillmark.exe" || return 1
  done
}
# Into the first release's folder: it must stay that release, with no staging folder left.
wrong_password() {
  ! release a QUILLMARK_SIGN_PKCS12="$work/key.p12" QUILLMARK_SIGN_PASSWORD=not-it &&
    [ "$(cat "$work/err")" = "release: QUILLMARK_SIGN_PASSWORD is not the password of $work/key.p12" ] &&
    (cd "$work/a" && sha256sum --quiet -c SHA256SUMS) && ! compgen -G "$root/build/release.*" >/dev/null
}

expect "two unsigned runs, elsewhere, later, in another time zone and umask: the same zips" unsigned_twice
expect "signed: both exes verify, and with the signature removed are the built exes" signed
expect "a wrong password: one line, and the last release left whole" wrong_password
exit $((failures > 0))
