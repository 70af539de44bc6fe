#!/usr/bin/env bash
# Installs what the builds need. `install-deps.sh host`: the host library and tavikctl.
# `install-deps.sh` (or `all`): also what the tests use (browser, Mono, documentation), the win32
# cross build and wine.
# Safe to run again: apt-get skips what is already there. A failed run installs nothing of its
# set (apt resolves and downloads everything before it unpacks) and a later run picks up from there.
set -euo pipefail

scope="${1:-all}"
case "$scope" in host|all) ;; *) echo "usage: install-deps.sh [host|all]" >&2; exit 2 ;; esac
here="$(cd "$(dirname "$0")" && pwd)"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
started=$(date +%s)

pkgs=(
  build-essential cmake ninja-build pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libsqlite3-dev libvalijson-dev
  # tavikctl's panel server and scenario files
  libcpp-httplib-dev libyaml-cpp-dev
)
if [ "$scope" = all ]; then
  pkgs+=(
    # an independent bitmap decoder for the video tests
    python3-pil
    # the HTML reference of the public headers (target api_reference, test api_reference_complete)
    doxygen
    # the panel's tests in a real browser
    chromium chromium-driver python3-selenium
    # the .NET binding's tests and example
    mono-mcs mono-runtime
    g++-mingw-w64-i686 mingw-w64-i686-dev
    wine wine32:i386 wine64 wine64-tools
    # 32-bit programs on kernels without IA-32 support (scripts/enable-i386-emulation.sh)
    qemu-user-static binutils
    # the Windows SDK's MSVC import library (lld-link) and its check (llvm-readobj)
    lld llvm
  )
fi

# A run killed while dpkg was unpacking leaves packages half configured: finish them first.
if [ -n "$(dpkg --audit 2>/dev/null)" ]; then
  echo "install-deps: finishing an interrupted package installation (dpkg --configure -a)"
  $SUDO dpkg --configure -a
fi

need_i386=0
if [ "$scope" = all ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The win32 build needs the win32 thread model of the cross compiler (std::thread over Win32 calls).
select_win32_threads() {
  if update-alternatives --list i686-w64-mingw32-g++ >/dev/null 2>&1; then
    $SUDO update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-win32 >/dev/null 2>&1 || true
    $SUDO update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-win32 >/dev/null 2>&1 || true
  fi
}
if [ "${#missing[@]}" -eq 0 ] && [ "$need_i386" -eq 0 ]; then
  select_win32_threads
  exit 0
fi

log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT

# A mirror in the middle of a sync makes "apt-get update" fail for one index while the others are
# fine: try again a few times, then go on with what was fetched and let the install decide.
apt_update() {
  for attempt in 1 2 3; do
    if $SUDO apt-get update -qq 2>"$log/update"; then return 0; fi
    grep -E '^(E|W):' "$log/update" >&2 || true
    echo "install-deps: apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" -lt 3 ] && sleep $((attempt * 5))
  done
  return 0
}

apt_install() {
  # --no-remove: a plan that would remove an installed package is refused, never carried out
  $SUDO apt-get install -y -qq --no-install-recommends --no-remove "$@" "${missing[@]}" 2>&1 | tee "$log/install"
  return "${PIPESTATUS[0]}"
}

if [ "$need_i386" -eq 1 ]; then
  $SUDO dpkg --add-architecture i386
fi

echo "install-deps: installing ${missing[*]}"
installed=0
for attempt in 1 2 3; do
  apt_update
  if apt_install; then installed=1; break; fi
  echo "install-deps: apt-get install failed (attempt $attempt of 3)" >&2

  # The i386 and amd64 copies of a shared library must have the same version. When one
  # architecture's index of a suite could not be fetched (or is older), apt finds no plan: pin
  # just the packages whose two candidates differ to the newest version both offer.
  if dpkg --print-foreign-architectures | grep -qx i386 && command -v python3 >/dev/null; then
    python3 "$here/apt_plan.py" "${missing[@]}" >"$log/preferences" 2>"$log/plan" || true
    if [ -s "$log/preferences" ]; then
      echo "install-deps: the amd64 and i386 package indexes disagree (an index could not be fetched" \
           "or is older, see above); installing the versions both architectures offer for:"
      cat "$log/plan"
      if apt_install --allow-downgrades -o "Dir::Etc::Preferences=$log/preferences"; then
        echo "install-deps: installed with matched versions"
        installed=1
        break
      fi
      echo "install-deps: apt-get install with matched versions failed too" >&2
    fi
  fi
  [ "$attempt" -lt 3 ] && sleep $((attempt * 10))
done

if [ "$installed" -ne 1 ]; then
  echo "install-deps: could not install: ${missing[*]}" >&2
  echo "install-deps: apt said:" >&2
  grep -E '^(E:| )' "$log/install" | tail -20 >&2 || true
  echo "install-deps: nothing of this set was installed; run the script again when the mirror has recovered" >&2
  exit 1
fi

select_win32_threads
echo "install-deps: packages installed in $(( $(date +%s) - started )) s"
