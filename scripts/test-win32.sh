#!/usr/bin/env bash
# Cross-builds Tavik2.dll and the win32 test programs, then runs the win32 suite: the static
# checks of the DLL and the programs under wine, in a wine prefix made fresh for this run.
# Run scripts/install-deps.sh first on a new machine. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/enable-i386-emulation.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc 2>/dev/null || echo 2)"
ctest --preset win32
