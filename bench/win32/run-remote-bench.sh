#!/usr/bin/env bash
# Cost of a remote request through Tavik2.dll under wine on loopback: serves a fresh default unit
# with the host build's tavikctl and runs remote_call_bench.exe against it.
# Build both presets first (host: tavikctl; win32: the DLL and the bench).
#   bench/win32/run-remote-bench.sh [CALLS]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tavikctl=$root/build/host/bin/tavikctl
exe=$root/build/win32/bin/remote_call_bench.exe
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
TAVIK_SIM="127.0.0.1:$port" "$wine_run" run "$prefix" "$exe" "${1:-2000}"
