#!/usr/bin/env bash
# The loopback test bed: a Wine prefix that plays the remote computer, with the bed's
# network provider registered and the bed's services installed (see testbed/README.md).
#   bed.sh up PREFIX [--build DIR] [--build32 DIR] [--extra N] [-v]
#   bed.sh down PREFIX [--remove]
#   bed.sh log PREFIX [--clear]
#   bed.sh probe PREFIX ARGS...     runs the installed probe in the bed
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
# shellcheck source=testbed/bed.env
source "$here/bed.env"
# shellcheck source=cmake/wine-env.sh
source "$root/cmake/wine-env.sh"

readonly max_extra=3000
# Bumped whenever the bed's registration changes, so older beds are made again.
readonly bed_layout=2
verbose=0

die() {
  echo "bed.sh: $*" >&2
  exit 1
}
say() { [ "$verbose" = 0 ] || echo "bed: $*"; }

usage() {
  sed -n '4,7p' "${BASH_SOURCE[0]}" | sed 's/^# */usage: /' >&2
  exit 2
}

# Sets the Wine variables for the bed at $1.
bed_env() {
  prefix="$(realpath -m "$1")"
  arch="$("$root/scripts/windows-arch.sh")"
  quillmark_wine_env "$arch"
  export WINEPREFIX="$prefix"
  bed_dir="$prefix/drive_c/$BED_DIR"
  stamp="$prefix/.quillmark-bed"
}

# Runs a Windows program in the bed with no terminal attached; Wine's background
# processes would otherwise hold our output open after the program ends.
wine_quiet() {
  "$WINELOADER" "$@" </dev/null >/dev/null 2>&1
}

# Stops the prefix's Wine server gracefully (services.exe saves nothing it has not
# saved already), then waits until it is gone; -k only if it does not end by itself.
server_restart_wait() {
  if ! timeout 30 wineserver -w </dev/null >/dev/null 2>&1; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
}

# The PE machine of a built file: x86-64 or i386.
pe_machine() {
  case "$(file -b "$1")" in
    *x86-64*) echo x86-64 ;;
    *80386*) echo i386 ;;
    *) echo unknown ;;
  esac
}

# REG_EXPAND_SZ as .reg writes it: hex(2): and the UTF-16LE bytes with the terminator.
reg_expand_sz() {
  printf 'hex(2):'
  printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | xxd -p -c 1 | tr '\n' ','
  printf '00,00'
}

# REG_MULTI_SZ as .reg writes it: each text's UTF-16LE bytes and terminator, then the list's.
reg_multi_sz() {
  printf 'hex(7):'
  printf '%s\0' "$@" | iconv -f UTF-8 -t UTF-16LE | xxd -p -c 1 | tr '\n' ','
  printf '00,00'
}

# One service key: name, display name, start type (3 demand, 4 disabled), image path.
reg_service() {
  local path="${4//\\/\\\\}"
  printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\%s]\n' "$1"
  printf '"Type"=dword:00000010\n"Start"=dword:%08x\n"ErrorControl"=dword:00000001\n' "$3"
  printf '"ImagePath"="%s"\n"DisplayName"="%s"\n"ObjectName"="LocalSystem"\n\n' "$path" "$2"
}

# The whole registration in one .reg file (UTF-8 here, converted for regedit).
write_reg() { # extra-count
  local exe="C:\\$BED_DIR\\qmbedsvc.exe" i
  echo 'Windows Registry Editor Version 5.00'
  echo
  echo '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\NetworkProvider\Order]'
  echo '"ProviderOrder"="QmBedProvider"'
  echo
  echo '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\QmBedProvider\NetworkProvider]'
  echo '"Name"="Quillmark Bed Network"'
  echo "\"ProviderPath\"=$(reg_expand_sz '%SystemRoot%\System32\qmbednp.dll')"
  echo '"Class"=dword:00000001'
  echo
  # Names in any script on screen: the dialog's bitmap font borrows what it lacks from
  # Wine's TrueType face of that name (Cyrillic, Greek) and WenQuanYi Micro Hei (CJK).
  echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]'
  echo "\"MS Sans Serif Regular\"=$(reg_multi_sz 'ms_sans_serif.ttf,MS Sans Serif' 'wqy-microhei.ttc,WenQuanYi Micro Hei')"
  echo
  reg_service QmBedRunning "Bed service that runs" 3 "$exe running"
  reg_service QmBedNoStop "Bed service that refuses to stop" 3 "$exe nostop"
  reg_service QmBedSlowStop "Bed service that stops slowly" 3 "$exe slowstop 3000"
  reg_service QmBedDisabled "Bed service that is disabled" 4 "$exe running"
  reg_service QmBedMissing "Bed service whose program is missing" 3 "C:\\$BED_DIR\\absent.exe running"
  reg_service QmBedMissingDir "Bed service whose folder is missing" 3 "C:\\$BED_DIR\\absent\\qmbedsvc.exe running"
  reg_service 'QmBedÄÖü' 'Bed service ÄÖü ß' 3 "$exe running"
  for ((i = 1; i <= $1; i++)); do
    printf -v n '%04d' "$i"
    reg_service "QmLoad$n" "Bed load service $n" 3 "$exe running"
  done
}

# Copies a file into the prefix by rename, so a program that has it open or mapped
# keeps its old copy.
install_file() { # source destination
  cp "$1" "$2.new"
  mv -f "$2.new" "$2"
}

install_binaries() { # build-dir build32-dir
  local bin="$1/testbed/bin" f want
  for f in qmbednp.dll qmbedsvc.exe qmbedprobe.exe; do
    [ -f "$bin/$f" ] || die "$bin/$f is missing: build the bed first (cmake --build $1 --target bed_provider bed_service bed_probe)"
  done
  want=x86-64
  [ "$arch" = win64 ] || want=i386
  [ "$(pe_machine "$bin/qmbednp.dll")" = "$want" ] || die "$1 is not a $arch build tree"
  mkdir -p "$bed_dir"
  install_file "$bin/qmbedsvc.exe" "$bed_dir/qmbedsvc.exe"
  install_file "$bin/qmbedprobe.exe" "$bed_dir/qmbedprobe.exe"
  install_file "$bin/qmbednp.dll" "$prefix/drive_c/windows/system32/qmbednp.dll"
  # A 32-bit caller in a 64-bit prefix loads providers from syswow64.
  if [ "$arch" = win64 ] && [ -d "$prefix/drive_c/windows/syswow64" ] && [ -n "$2" ] &&
    [ -f "$2/testbed/bin/qmbednp.dll" ] && [ "$(pe_machine "$2/testbed/bin/qmbednp.dll")" = i386 ]; then
    install_file "$2/testbed/bin/qmbednp.dll" "$prefix/drive_c/windows/syswow64/qmbednp.dll"
    say "32-bit provider from $2 in syswow64"
  fi
}

# Runs the installed probe; its output goes to a file, never to a pipe that Wine's
# background processes could keep open.
run_probe() {
  local out rc=0
  out="$(mktemp)"
  "$WINELOADER" "C:\\$BED_DIR\\qmbedprobe.exe" "$@" </dev/null >"$out" 2>&1 || rc=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  return "$rc"
}

count_services() { # prefix-of-names
  run_probe count 127.0.0.1 "$1" | tail -n 1
}

cmd_up() {
  local build="" build32="" extra=0
  bed_env "$1"
  shift
  while [ $# -gt 0 ]; do
    case "$1" in
      --build) build="$(realpath -m "$2")"; shift 2 ;;
      --build32) build32="$(realpath -m "$2")"; shift 2 ;;
      --extra) extra="$2"; shift 2 ;;
      -v) verbose=1; shift ;;
      *) usage ;;
    esac
  done
  if ! [[ "$extra" =~ ^[0-9]{1,5}$ ]] || [ "$((10#$extra))" -gt "$max_extra" ]; then
    die "--extra takes 0 to $max_extra"
  fi
  extra=$((10#$extra))
  [ -n "$build" ] || build="$root/build/$arch"
  [ -n "$build32" ] || build32="$(dirname "$build")/win32"
  [ "$build32" != "$build" ] || build32=""
  local wanted="layout=$bed_layout arch=$arch extra=$extra"
  local started=$SECONDS

  # Only a prefix this script made is ever removed or changed.
  if [ -e "$prefix" ] && [ ! -f "$stamp" ] && [ -n "$(ls -A "$prefix")" ]; then
    die "$prefix exists and is not a bed; choose another path"
  fi
  mkdir -p "$(dirname "$prefix")"
  exec 8>"$prefix.bed-lock"
  flock 8

  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then
    install_binaries "$build" "$build32"
    say "reused"
  else
    if [ -e "$prefix" ]; then
      say "remaking ($(cat "$stamp" 2>/dev/null || echo empty) -> $wanted)"
      wineserver -k </dev/null >/dev/null 2>&1 || true
      wineserver -w </dev/null >/dev/null 2>&1 || true
      rm -rf "$prefix"
    fi
    say "making the prefix"
    "$root/cmake/wine-prefix.sh" "$prefix" "$arch"
    install_binaries "$build" "$build32"
    say "registering the provider and $((7 + extra)) services"
    write_reg "$extra" | sed 's/$/\r/' | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$bed_dir/bed.reg"
    wine_quiet regedit /S "C:\\$BED_DIR\\bed.reg" || die "regedit could not import $bed_dir/bed.reg"
    # services.exe reads its database when it starts: restart the server under it.
    server_restart_wait
    local bed load
    bed="$(count_services QmBed)"
    load="$(count_services QmLoad)"
    [ "$bed" = 7 ] || die "the service manager lists $bed of the 7 bed services"
    [ "$load" = "$extra" ] || die "the service manager lists $load of the $extra extra services"
    echo "$wanted" >"$stamp"
  fi
  echo "bed up in $((SECONDS - started)) s: $prefix ($arch, 7 bed services + $extra extra)"
  echo "  provider: C:\\windows\\system32\\qmbednp.dll, log $bed_dir/provider.log"
  echo "  services: $bed_dir/qmbedsvc.exe; probe: $bed_dir/qmbedprobe.exe"
  echo "  account: $BED_USER / $BED_PASSWORD (or the caller's own logon)"
}

cmd_down() {
  local remove=0
  bed_env "$1"
  shift
  while [ $# -gt 0 ]; do
    case "$1" in
      --remove) remove=1; shift ;;
      *) usage ;;
    esac
  done
  [ -d "$prefix" ] || { echo "bed down: $prefix does not exist"; return 0; }
  [ -f "$stamp" ] || die "$prefix is not a bed"
  # Only this prefix's server and the processes under it.
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  if [ "$remove" = 1 ]; then
    rm -rf "$prefix"
    rm -f "$prefix.lock" "$prefix.bed-lock"
    echo "bed down: $prefix removed"
  else
    echo "bed down: $prefix stopped (kept)"
  fi
}

cmd_log() {
  bed_env "$1"
  local log="$bed_dir/provider.log"
  if [ "${2:-}" = --clear ]; then
    rm -f "$log"
  elif [ -f "$log" ]; then
    cat "$log"
  else
    echo "bed log: no provider calls yet ($log)" >&2
  fi
}

cmd_probe() {
  bed_env "$1"
  shift
  [ -f "$stamp" ] || die "$prefix is not a bed"
  run_probe "$@"
}

[ $# -ge 2 ] || usage
command="$1"
shift
case "$command" in
  up) cmd_up "$@" ;;
  down) cmd_down "$@" ;;
  log) cmd_log "$@" ;;
  probe) cmd_probe "$@" ;;
  *) usage ;;
esac
