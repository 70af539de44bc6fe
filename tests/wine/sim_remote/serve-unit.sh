#!/usr/bin/env bash
# Starts `tavikctl sim serve` for the unit of $TAVIK_HOME on a free loopback port, in the
# background; prints the port once it listens. The server's process id is left in OUT.pid.
#   serve-unit.sh TAVIKCTL OUT
set -uo pipefail
tavikctl=$1 out=$2
"$tavikctl" --json sim serve --listen 127.0.0.1:0 >"$out" 2>&1 </dev/null &
echo $! >"$out.pid"
for _ in $(seq 100); do
  port=$(sed -n 's/.*"port": *\([0-9][0-9]*\).*/\1/p' "$out" | head -n 1)
  [ -n "$port" ] && { echo "$port"; exit 0; }
  kill -0 "$(cat "$out.pid")" 2>/dev/null || break
  sleep 0.1
done
echo "tavikctl sim serve did not report its port" >&2
exit 1
