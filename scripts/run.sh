#!/usr/bin/env bash
# Builds the host library and tavikctl and runs tavikctl against the simulated unit
# (TAVIK_HOME, default ~/.tavik): versions, identity, and the requests the unit served.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh host
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc 2>/dev/null || echo 2)" --target tavikctl

ctl=build/host/bin/tavikctl
"$ctl" sim reset
"$ctl" sim log --clear >/dev/null
"$ctl" versions
"$ctl" about || true
"$ctl" sim log
