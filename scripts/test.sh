#!/usr/bin/env bash
# Builds and runs every test: the host suite (plain, ASan+UBSan, TSan) and the win32 suite
# under wine. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
for preset in host host-asan host-tsan; do
  echo "== ${preset}"
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "${jobs}"
  ctest --preset "${preset}" -j "${jobs}"
done

echo "== win32 (wine)"
bash scripts/test-win32.sh
