#!/usr/bin/env bash
# Runs the win32 test programs under wine, headless, in one wine prefix per test run.
#
#   wine-run.sh setup   PREFIX          new prefix (wineboot), then a wineserver that stays up
#   wine-run.sh run     PREFIX EXE [ARG...]  EXE under wine from its own folder, so the DLLs
#                                       built beside it (Tavik2.dll) are the ones it loads
#   wine-run.sh cleanup PREFIX          ends the prefix's wineserver and every program in it
#
# Works as root and without a display. Exit code: the program's for run, 0/1 otherwise.
set -uo pipefail

mode=${1:?mode: setup, run or cleanup}
prefix=${2:?wine prefix folder}
shift 2

export WINEPREFIX="$prefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no mono or gecko install dialogs
export DISPLAY=
unset WAYLAND_DISPLAY

# Wine's helper processes (services, explorer, ...) outlive the program; they must not keep the
# caller's output pipe open, or ctest would wait for them. So every wine command writes to a file.
log_dir="$prefix.logs"

# The 32-bit loader must be able to start: a kernel without 32-bit support refuses it.
check_loader() {
  if ! command -v wine >/dev/null 2>&1 || ! command -v wineserver >/dev/null 2>&1; then
    echo "wine is not installed (scripts/install-deps.sh installs it)" >&2
    return 1
  fi
  if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "the 32-bit wine loader cannot start on this machine (no 32-bit program support;" >&2
    echo "scripts/install-deps.sh sets up user-mode emulation for that case)" >&2
    return 1
  fi
}

case "$mode" in
setup)
  check_loader || exit 1
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix" "$log_dir"
  mkdir -p "$prefix" "$log_dir"
  start=$(date +%s)
  # One server for the whole test run: the prefix's services started by wineboot stay up with
  # it, so the test programs do not start them again.
  # Under i386 emulation wineboot now and then dies of an emulator crash: start afresh, 3 tries.
  booted=0
  for attempt in 1 2 3; do
    wineserver -p </dev/null >/dev/null 2>&1
    if wineboot -i </dev/null >"$log_dir/wineboot.log" 2>&1; then booted=1; break; fi
    echo "wineboot -i failed in $prefix (attempt $attempt)" >&2
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
    mkdir -p "$prefix"
  done
  if [ "$booted" -ne 1 ]; then
    cat "$log_dir/wineboot.log"
    exit 1
  fi
  echo "wine prefix $prefix ready in $(($(date +%s) - start)) s"
  ;;
run)
  exe=${1:?program to run}
  shift
  check_loader || exit 1
  [ -d "$prefix/drive_c" ] || { echo "no wine prefix in $prefix (run setup first)" >&2; exit 1; }
  mkdir -p "$log_dir"
  dir=$(cd "$(dirname "$exe")" && pwd)
  name=$(basename "$exe")
  log="$log_dir/$name.log"
  (cd "$dir" && wine "$name" "$@") </dev/null >"$log" 2>&1
  rc=$?
  # A death by signal is the emulator crashing, not a test verdict: run the program once more.
  # A test that fails its checks exits 1 and is never repeated.
  if [ "$rc" -ge 128 ]; then
    echo "$name died with status $rc; running it once more" >&2
    (cd "$dir" && wine "$name" "$@") </dev/null >"$log" 2>&1
    rc=$?
  fi
  cat "$log"
  exit $rc
  ;;
cleanup)
  if [ -d "$prefix" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  exit 0
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac
