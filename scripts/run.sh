#!/usr/bin/env bash
# Builds the host library and tavikctl and runs tavikctl against a simulated unit of its own
# (build/host/demo-home, or TAVIK_HOME when set): versions, identity, and the requests the unit
# served (scripts/demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh host
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc 2>/dev/null || echo 2)" --target tavikctl

bash scripts/demo.sh build/host/bin/tavikctl
