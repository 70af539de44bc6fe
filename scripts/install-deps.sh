#!/usr/bin/env bash
# Installs everything the host build, the win32 cross build and the wine tests need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

need_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_i386=1
fi

pkgs=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32:i386 wine64 wine64-tools
  # 32-bit programs on kernels without IA-32 support (scripts/enable-i386-emulation.sh)
  qemu-user-static binutils
)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ] || [ "$need_i386" -eq 1 ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The win32 build needs the win32 thread model of the cross compiler (std::thread over Win32 calls).
if update-alternatives --list i686-w64-mingw32-g++ >/dev/null 2>&1; then
  $SUDO update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-win32 >/dev/null 2>&1 || true
  $SUDO update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-win32 >/dev/null 2>&1 || true
fi
