#!/usr/bin/env bash
# Installs what the builds need. `install-deps.sh host`: the host build, tavikctl and the host
# tests only. `install-deps.sh` (or `all`): also the win32 cross build and the wine tests.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

scope="${1:-all}"
case "$scope" in host|all) ;; *) echo "usage: install-deps.sh [host|all]" >&2; exit 2 ;; esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

need_i386=0
if [ "$scope" = all ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_i386=1
fi

pkgs=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libsqlite3-dev libvalijson-dev
  # an independent bitmap decoder for the video tests
  python3-pil
  # the HTML reference of the public headers (target api_reference, test api_reference_complete)
  doxygen
)
if [ "$scope" = all ]; then
  pkgs+=(
    g++-mingw-w64-i686 mingw-w64-i686-dev
    wine wine32:i386 wine64 wine64-tools
    # 32-bit programs on kernels without IA-32 support (scripts/enable-i386-emulation.sh)
    qemu-user-static binutils
    # the Windows SDK's MSVC import library (lld-link) and its check (llvm-readobj)
    lld llvm
  )
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# A mirror in the middle of a sync, or an unreachable extra source, makes "apt-get update" fail
# for one index while the others are fine: try again, and let the install decide.
apt_update() {
  for attempt in 1 2 3; do
    if $SUDO apt-get update -qq; then return 0; fi
    echo "apt-get update failed (attempt $attempt)" >&2
    sleep $((attempt * 5))
  done
  return 0
}

# The i386 and amd64 copies of a shared library must have the same version. When one
# architecture's security index could not be fetched, the security versions of the other cannot
# be matched: then prefer the main suite's versions, which exist for both.
match_pref=$(mktemp)
trap 'rm -f "$match_pref"' EXIT
printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$match_pref"

if [ "${#missing[@]}" -gt 0 ] || [ "$need_i386" -eq 1 ]; then
  installed=0
  for attempt in 1 2 3; do
    apt_update
    pin=()
    if [ "$attempt" -gt 1 ]; then pin=(-o "Dir::Etc::Preferences=$match_pref"); fi
    if $SUDO apt-get install -y -qq --no-install-recommends "${pin[@]}" "${missing[@]}"; then
      installed=1
      break
    fi
    echo "apt-get install failed (attempt $attempt)" >&2
    sleep $((attempt * 10))
  done
  if [ "$installed" -ne 1 ]; then
    echo "could not install: ${missing[*]}" >&2
    exit 1
  fi
fi

# The win32 build needs the win32 thread model of the cross compiler (std::thread over Win32 calls).
if update-alternatives --list i686-w64-mingw32-g++ >/dev/null 2>&1; then
  $SUDO update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-win32 >/dev/null 2>&1 || true
  $SUDO update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-win32 >/dev/null 2>&1 || true
fi
