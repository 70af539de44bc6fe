#!/usr/bin/env bash
# Runs the win32 test programs under wine, headless, in one wine prefix per test run.
#
#   wine-run.sh setup   PREFIX          new prefix (wineboot, or a copy of the template kept from
#                                       an earlier wineboot), then a wineserver that stays up
#   wine-run.sh run     PREFIX EXE [ARG...]  EXE under wine from its own folder, so the DLLs
#                                       built beside it (Tavik2.dll) are the ones it loads
#   wine-run.sh cleanup PREFIX          ends the prefix's wineserver and every program in it
#   wine-run.sh check   PREFIX          77 when setup found that wine cannot make a prefix here
#                                       (scripts that run wine themselves skip), 0 otherwise
#
# Works as root and without a display. Exit code: the program's for run (77: skipped, the prefix
# could not be made under emulation, or the test run's deadline came), 0/1 otherwise.
#
# TAVIK_TEST_DEADLINE (seconds since the epoch; scripts/test.sh sets it) bounds the wine part of
# a test run: set-up and programs stop at it, and programs that would start after it are
# reported skipped. Under emulation a wine program takes a minute or more just to start.
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

# Whether 32-bit programs run through qemu's user-mode emulator (scripts/enable-i386-emulation.sh).
emulated() {
  [ -f /proc/sys/fs/binfmt_misc/qemu-i386 ] && grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386
}

# Seconds until the test run's deadline (none: a day), never below 0.
until_deadline() {
  local rest=86400
  [ -n "${TAVIK_TEST_DEADLINE:-}" ] && rest=$((TAVIK_TEST_DEADLINE - $(date +%s)))
  echo $((rest < 0 ? 0 : rest))
}

# Seconds left of the set-up's budget (TAVIK_WINE_SETUP_BUDGET; under emulation 30 min by
# default, where qemu may crash in wine's start-up over and over: the suite must still end),
# and never past the test run's deadline. Natively there is no budget of its own.
setup_start=$(date +%s)
setup_budget=${TAVIK_WINE_SETUP_BUDGET:-}
left() { # left LIMIT: the smaller of LIMIT, what the budget has left and the deadline (>= 0)
  local limit=$1 rest
  rest=$(until_deadline)
  [ "$rest" -lt "$limit" ] && limit=$rest
  if [ -n "$setup_budget" ]; then
    rest=$((setup_budget - ($(date +%s) - setup_start)))
    [ "$rest" -lt "$limit" ] && limit=$rest
  fi
  echo $((limit < 0 ? 0 : limit))
}

# Waits (at most 30 min, or what the budget has left) until no "wineboot --init" of this prefix
# runs any more.
wait_for_init() {
  local waited=0 pid running limit
  limit=$(left 1800)
  while [ "$waited" -lt "$limit" ]; do
    running=0
    for pid in $(pgrep -f 'wineboot.exe --init' 2>/dev/null); do
      if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then running=1; fi
    done
    [ "$running" -eq 0 ] && return 0
    sleep 5
    waited=$((waited + 5))
  done
  return 1
}

# Whether a prefix folder holds a whole prefix: its registry and its system folder.
prefix_complete() {
  [ -f "$1/system.reg" ] && [ -f "$1/drive_c/windows/system32/kernel32.dll" ]
}

# Whether the prefix is complete and a program runs in it.
prefix_works() {
  local limit
  limit=$(left 900)
  [ "$limit" -gt 0 ] || return 1
  prefix_complete "$prefix" && timeout "$limit" wine cmd /c exit 0 </dev/null >>"$log_dir/wineboot-check.log" 2>&1
}

# Prefixes made by wineboot are kept as a template per wine version, outside the build folder so
# that a fresh checkout finds it too. TAVIK_WINE_CACHE overrides where.
template_mark=.tavik-template
template_dir() {
  local root=${TAVIK_WINE_CACHE:-}
  if [ -z "$root" ]; then
    if [ -w /var/cache ]; then root=/var/cache/tavik; else root=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/tavik; fi
  fi
  local version
  version=$(wine --version 2>/dev/null | tr -c 'A-Za-z0-9.\n' '_')
  echo "$root/wineprefix-$WINEARCH-$version"
}

template_ok() {
  [ -f "$1/$template_mark" ] && prefix_complete "$1"
}

# Ends the prefix's server and waits until every program of the prefix is gone, so that nothing
# still writes into the prefix folder.
end_prefix() {
  wineserver -k >/dev/null 2>&1 || true
  timeout 60 wineserver -w >/dev/null 2>&1 || true
}

# Stores the prefix just made as the template: its server is ended first so that the registry
# files are written out, then started again for the test run.
save_template() {
  local template=$1
  end_prefix
  if mkdir -p "$(dirname "$template")" 2>/dev/null; then
    local temp="$template.new.$$"
    rm -rf "$temp"
    if cp -a "$prefix" "$temp" && touch "$temp/$template_mark"; then
      rm -rf "$template"
      mv "$temp" "$template" && echo "kept as template in $template"
    else
      rm -rf "$temp"
    fi
  fi
  wineserver -p </dev/null >/dev/null 2>&1
  start_session || true
}

# The first program of a new server session starts the prefix's session start-up ("wineboot
# --init": services, run keys). Done here, so that it does not count against the first test.
start_session() {
  prefix_works && wait_for_init
}

case "$mode" in
setup)
  check_loader || exit 1
  end_prefix
  rm -rf "$prefix" "$log_dir" "$prefix.unusable"
  mkdir -p "$prefix" "$log_dir"
  start=$(date +%s)
  template=$(template_dir)
  # Under emulation no template: a copied prefix starts its session (the prefix's services) with
  # the first program, which there takes as long as making a prefix (7 to 8 min), and keeping a
  # template means ending the server that wineboot started and paying that start once more.
  use_template=1
  emulated && use_template=0
  if [ "$use_template" -eq 1 ] && template_ok "$template"; then
    # A prefix is only configuration: one made earlier with the same wine serves as well as a
    # new one and saves the slowest, and under emulation the least reliable, step.
    cp -a "$template/." "$prefix/"
    rm -f "$prefix/$template_mark"
    wineserver -p </dev/null >/dev/null 2>&1
    start_session || { echo "the wine prefix copied from $template does not run programs" >&2; exit 1; }
    echo "wine prefix $prefix copied from $template in $(($(date +%s) - start)) s"
    exit 0
  fi
  # One server for the whole test run: the prefix's services started by wineboot stay up with
  # it, so the test programs do not start them again.
  # Under i386 emulation wineboot now and then dies of an emulator crash: start afresh, 3 tries.
  booted=0
  if emulated; then setup_budget=${setup_budget:-1800}; fi
  for attempt in 1 2 3; do
    limit=$(left 900)
    if [ "$limit" -le 0 ]; then
      echo "the wine set-up used its budget of ${setup_budget} s (TAVIK_WINE_SETUP_BUDGET)" >&2
      break
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    if timeout "$limit" wineboot -i </dev/null >"$log_dir/wineboot-$attempt.log" 2>&1; then booted=1; break; fi
    # The first program of a new prefix waits only a few minutes for its initialisation and then
    # fails to load kernel32.dll, while the initialisation goes on: under emulation it takes
    # longer. Let it finish, and take the prefix when a program then runs in it.
    if wait_for_init && prefix_works; then booted=1; break; fi
    echo "wineboot -i failed in $prefix (attempt $attempt); its output:" >&2
    tail -n 20 "$log_dir/wineboot-$attempt.log" >&2
    end_prefix
    rm -rf "$prefix"
    mkdir -p "$prefix"
  done
  if [ "$booted" -ne 1 ]; then
    # Natively a prefix that cannot be made is a failure. Under emulation it is the emulator
    # (qemu's user mode crashes in wine's start-up on some machines): the wine programs then
    # report themselves skipped, not passed, and the static checks of the DLL still run.
    if emulated; then
      echo "wine cannot make a prefix under i386 emulation on this machine: the wine programs are skipped" |
        tee "$prefix.unusable"
      exit 0
    fi
    exit 1
  fi
  echo "wine prefix $prefix made in $(($(date +%s) - start)) s (attempt $attempt)"
  if [ "$use_template" -eq 1 ]; then
    save_template "$template"
  elif ! wait_for_init; then
    # The programs would each wait for the session start-up and time out one after the other.
    echo "the wine session did not finish starting within the set-up's budget: the wine programs are skipped" |
      tee "$prefix.unusable"
  fi
  ;;
run)
  exe=${1:?program to run}
  shift
  check_loader || exit 1
  if [ -f "$prefix.unusable" ]; then
    cat "$prefix.unusable"
    exit 77
  fi
  [ -d "$prefix/drive_c" ] || { echo "no wine prefix in $prefix (run setup first)" >&2; exit 1; }
  mkdir -p "$log_dir"
  dir=$(cd "$(dirname "$exe")" && pwd)
  name=$(basename "$exe")
  log="$log_dir/$name.log"
  # Under emulation a program takes a minute or more to start: one that cannot finish before the
  # test run's deadline is reported skipped, and one still running at the deadline is stopped.
  min_left=${TAVIK_WINE_MIN_LEFT:-120}
  run_once() {
    local rest
    rest=$(until_deadline)
    if [ "$rest" -lt "$min_left" ]; then
      echo "$name: skipped at the test run's deadline (TAVIK_TEST_DEADLINE, ${rest} s away)" >"$log"
      return 77
    fi
    (cd "$dir" && timeout -k 10 "$rest" wine "$name" "$@") </dev/null >"$log" 2>&1
    local status=$?
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
      echo "$name: stopped, skipped at the test run's deadline (TAVIK_TEST_DEADLINE)" >>"$log"
      return 77
    fi
    return "$status"
  }
  run_once "$@"
  rc=$?
  # A death by signal is the emulator crashing, not a test verdict: run the program once more.
  # A test that fails its checks exits 1 and is never repeated.
  if [ "$rc" -ge 128 ]; then
    echo "$name died with status $rc; running it once more" >&2
    run_once "$@"
    rc=$?
  fi
  cat "$log"
  exit $rc
  ;;
cleanup)
  if [ -d "$prefix" ]; then end_prefix; fi
  exit 0
  ;;
check)
  if [ -f "$prefix.unusable" ]; then
    cat "$prefix.unusable"
    exit 77
  fi
  exit 0
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac
