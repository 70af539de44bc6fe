#!/usr/bin/env bash
# The demonstration of scripts/run.sh: tavikctl against a simulated unit of its own (a home
# beside the build, <build>/demo-home), so that the unit in ~/.tavik is left alone. With
# TAVIK_HOME set, that unit is used (and reset) instead.
# Usage: demo.sh PATH/TO/tavikctl
set -euo pipefail
ctl="$1"
if [ -z "${TAVIK_HOME:-}" ]; then
  TAVIK_HOME="$(cd "$(dirname "$ctl")/.." && pwd)/demo-home"
  export TAVIK_HOME
fi
echo "simulated unit: $TAVIK_HOME"

"$ctl" sim reset
"$ctl" sim log --clear >/dev/null
"$ctl" versions
"$ctl" about || true
"$ctl" sim log
