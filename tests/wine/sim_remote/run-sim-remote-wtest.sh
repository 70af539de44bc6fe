#!/usr/bin/env bash
# sim_remote_wtest: serves a fresh default unit with the host build's `tavikctl sim serve` on a
# free loopback port, sets faults on it, runs the test program under wine with TAVIK_SIM naming
# the server (through a proxy that breaks the connections when the program asks, for its
# reconnection check), then checks the unit's request log against what the program expects
# there: its driver requests byte for byte, under its process id and name.
#   run-sim-remote-wtest.sh WINE_RUN PREFIX EXE TAVIKCTL
set -uo pipefail
wine_run=$1 prefix=$2 exe=$3 tavikctl=$4
here=$(cd "$(dirname "$0")" && pwd)

if [ ! -x "$tavikctl" ]; then
  echo "the host build's tavikctl is needed ($tavikctl): build the host preset first; skipped"
  exit 77
fi
"$wine_run" check "$prefix" || exit $?
home=$(mktemp -d)
export TAVIK_HOME=$home
serve_pid= proxy_pid=
finish() {
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null && wait "$proxy_pid" 2>/dev/null
  [ -n "$serve_pid" ] && kill "$serve_pid" 2>/dev/null && wait "$serve_pid" 2>/dev/null
  rm -rf "$home"
}
trap finish EXIT

"$tavikctl" sim reset >/dev/null || exit 1
port=$(bash "$here/serve-unit.sh" "$tavikctl" "$home/serve.json") || { cat "$home/serve.json"; exit 1; }
serve_pid=$(cat "$home/serve.json.pid")
echo "tavikctl sim serve on 127.0.0.1:$port"

# A fault set on the host: the first SS version read gives 9.8.7.6.
"$tavikctl" sim fault add --code 0x2224F4 --action reply --reply 09080706 --times 1 >/dev/null || exit 1
# And the one the shared family cases expect: read from their definition, never restated here.
fault=$(python3 -c 'import re, sys
m = re.search(r"kDiagnosticFault = \{(0x[0-9A-Fa-f]+), \"([0-9a-f]+)\"\}", open(sys.argv[1]).read())
print(m.group(1), m.group(2))' "$here/../../shared/family_cases.h") || exit 1
read -r fault_code fault_reply <<<"$fault"
"$tavikctl" sim fault add --code "$fault_code" --action reply --reply "$fault_reply" --times 1 >/dev/null || exit 1

# A port nobody serves, for the program's child that checks the unreachable server.
dead_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

python3 "$here/cutting_proxy.py" "$port" "$home/cut" >"$home/proxy.port" 2>"$home/proxy.log" &
proxy_pid=$!
proxy_port=
for _ in $(seq 100); do
  proxy_port=$(head -n 1 "$home/proxy.port")
  [ -n "$proxy_port" ] && break
  sleep 0.1
done
[ -n "$proxy_port" ] || { echo "the proxy did not start"; cat "$home/proxy.log"; exit 1; }

export TAVIK_SIM="127.0.0.1:$proxy_port"
"$wine_run" run "$prefix" "$exe" "Z:${home//\//\\}" "$dead_port"
rc=$?
[ "$rc" -ne 0 ] && exit "$rc"

"$tavikctl" --json sim log >"$home/log.json" || exit 1
python3 "$here/check_log.py" "$home/expected.txt" "$home/log.json"
