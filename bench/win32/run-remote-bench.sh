#!/usr/bin/env bash
# Runs a win32 bench program under wine against a fresh default unit that the host build's tavikctl
# serves on loopback. Build both presets first (host: tavikctl; win32: the DLL and the benches).
#   bench/win32/run-remote-bench.sh [CALLS]                the cost of a remote request (remote_call_bench.exe)
#   bench/win32/run-remote-bench.sh PROGRAM.exe [ARG...]   another program of build/win32/bin (bitmap_bench.exe)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tavikctl=$root/build/host/bin/tavikctl
program=remote_call_bench.exe
case "${1:-}" in *.exe) program=$1; shift ;; esac
args=("$@")
[ "$program" = remote_call_bench.exe ] && [ ${#args[@]} -eq 0 ] && args=(2000)
exe=$root/build/win32/bin/$program
prefix=$root/build/win32/wineprefix
wine_run=$root/scripts/wine-run.sh
for f in "$tavikctl" "$exe"; do [ -e "$f" ] || { echo "missing $f: build the host and win32 presets" >&2; exit 1; }; done
[ -d "$prefix/drive_c" ] || "$wine_run" setup "$prefix" || exit 1

home=$(mktemp -d)
export TAVIK_HOME=$home
serve_pid=
finish() {
  [ -n "$serve_pid" ] && kill "$serve_pid" 2>/dev/null && wait "$serve_pid" 2>/dev/null
  rm -rf "$home"
}
trap finish EXIT
"$tavikctl" sim reset >/dev/null || exit 1
port=$(bash "$root/tests/wine/sim_remote/serve-unit.sh" "$tavikctl" "$home/serve.json") || exit 1
serve_pid=$(cat "$home/serve.json.pid")
TAVIK_SIM="127.0.0.1:$port" "$wine_run" run "$prefix" "$exe" "${args[@]}"
