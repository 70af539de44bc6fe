#!/usr/bin/env bash
# record_wtest: serves a fresh default unit with the host build's `tavikctl sim serve`, puts
# faults on it (the supervisor temperature request fails, the service refuses), runs the test
# calls under wine through Tavik2.dll with TAVIK_RECORD set; then a second fresh unit replays that
# trace (strict) and the same calls through libtavik2.so (record_cases_run of the host build)
# must give the same results, faults included, with every request answered from the trace.
#   run-record-wtest.sh WINE_RUN PREFIX EXE TAVIKCTL SERVE_UNIT
set -uo pipefail
wine_run=$1 prefix=$2 exe=$3 tavikctl=$4 serve_unit=$5
host_run=$(dirname "$tavikctl")/record_cases_run

if [ ! -x "$tavikctl" ] || [ ! -x "$host_run" ]; then
  echo "the host build's tavikctl and record_cases_run are needed: build the host preset first; skipped"
  exit 77
fi
"$wine_run" check "$prefix" || exit $?
work=$(mktemp -d)
serve_pid=
finish() {
  [ -n "$serve_pid" ] && kill "$serve_pid" 2>/dev/null && wait "$serve_pid" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

export TAVIK_HOME=$work/field
"$tavikctl" sim reset >/dev/null || exit 1
"$tavikctl" sim fault add --code 0x222468 --action fail >/dev/null || exit 1
"$tavikctl" sim fault add --target service --action refusing >/dev/null || exit 1
port=$(bash "$serve_unit" "$tavikctl" "$work/serve.json") || { cat "$work/serve.json"; exit 1; }
serve_pid=$(cat "$work/serve.json.pid")

TAVIK_SIM="127.0.0.1:$port" TAVIK_RECORD="Z:${work//\//\\}\\trace.jsonl" \
  "$wine_run" run "$prefix" "$exe" "Z:${work//\//\\}\\wine.txt" || exit $? # 77 stays a skip
kill "$serve_pid" && wait "$serve_pid" 2>/dev/null
serve_pid=

grep -q '^Diagnostic_getSSTemp 0$' "$work/wine.txt" && { echo "the device fault did not act"; exit 1; }
grep -q '^Backlight_setLedDimming 0$' "$work/wine.txt" && { echo "the service fault did not act"; exit 1; }

export TAVIK_HOME=$work/desk
"$tavikctl" sim reset >/dev/null || exit 1
"$tavikctl" sim replay "$work/trace.jsonl" || exit 1
"$host_run" >"$work/host.txt" || exit 1
if ! diff -u "$work/wine.txt" "$work/host.txt"; then
  echo "the replayed results differ from the recorded ones"
  "$tavikctl" sim replay --status
  exit 1
fi
"$tavikctl" --json sim replay --status >"$work/status.json" || exit 1
python3 - "$work/status.json" <<'PY' || exit 1
import json, sys
s = json.load(open(sys.argv[1]))
if s["failed"] != 0 or s["matched"] != s["requests"] or s["first_difference"] is not None:
    sys.exit("replay incomplete: %s" % json.dumps(s))
print("replayed %d requests of the wine trace" % s["matched"])
PY
