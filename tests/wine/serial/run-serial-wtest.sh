#!/usr/bin/env bash
# serial_wtest: serves the simulated system supervisor's bootloader on a terminal with the host
# build's tavikctl, maps wine's COM1 to it (the prefix's dosdevices/com1 link, which wine follows
# at each open: the running wine server and its session stay up), runs the test program, and
# checks that the bootloader saw the image written.
#   run-serial-wtest.sh WINE_RUN PREFIX EXE TAVIKCTL
# Needs gcc able to build a 32-bit shared object (no C library needed) for pty_line_shim.c.
set -uo pipefail
wine_run=$1 prefix=$2 exe=$3 tavikctl=$4

if [ ! -x "$tavikctl" ]; then
  echo "the host build's tavikctl is needed ($tavikctl): build the host preset first; skipped"
  exit 77
fi
"$wine_run" check "$prefix" || exit $?
home=$(mktemp -d)
export TAVIK_HOME=$home
serve_pid=
finish() {
  [ -n "$serve_pid" ] && kill "$serve_pid" 2>/dev/null && wait "$serve_pid" 2>/dev/null
  rm -rf "$home"
}
trap finish EXIT

"$tavikctl" sim reset >/dev/null || exit 1
"$tavikctl" --json sim bootloader serve ss >"$home/serve.json" 2>&1 &
serve_pid=$!
path=
for _ in $(seq 100); do
  path=$(sed -n 's/.*"path":"\([^"]*\)".*/\1/p' "$home/serve.json")
  [ -n "$path" ] && break
  sleep 0.1
done
[ -n "$path" ] || { echo "tavikctl sim bootloader serve gave no terminal"; cat "$home/serve.json"; exit 1; }
echo "COM1 -> $path"

ln -sfn "$path" "$prefix/dosdevices/com1" || exit 1

# A pty refuses the 8E1 setting that wine's SetCommState asks for (see pty_line_shim.c).
shim="$home/pty_line_shim.so"
# A fixed load address: under i386 emulation the loader otherwise puts it where wine keeps its
# shared user data, and wine does not start.
if ! gcc -m32 -shared -nostdlib -fPIC -O2 -Wl,-Ttext-segment=0x68000000 -o "$shim" "$(dirname "$0")/pty_line_shim.c" 2>"$home/shim.log"; then
  echo "no 32-bit compiler for the pty line shim; skipped"
  cat "$home/shim.log"
  exit 77
fi
LD_PRELOAD="$shim" "$wine_run" run "$prefix" "$exe" 2> >(grep -v 'wrong ELF class' >&2)
rc=$?
[ "$rc" -ne 0 ] && exit "$rc"

writes=$("$tavikctl" --json sim log --target bootloader:ss --code 0x31 | grep -c '"code": 49')
echo "the bootloader served $writes write commands"
[ "$writes" -eq 160 ] || exit 1 # 40 KiB in blocks of 256 bytes

# A product id not in the device table: the verification fails before reading any flash.
reads() { "$tavikctl" --json sim log --target bootloader:ss --code 0x11 | grep -c '"code": 17'; }
reads_before=$(reads)
"$tavikctl" sim set bootloader.ss.product_id 1043 >/dev/null || exit 1
LD_PRELOAD="$shim" "$wine_run" run "$prefix" "$exe" unknown-id 2> >(grep -v 'wrong ELF class' >&2)
rc=$?
[ "$rc" -ne 0 ] && exit "$rc"
reads_after=$(reads)
echo "read commands: $reads_before before, $reads_after after the verification against 0x413"
[ "$reads_after" -eq "$reads_before" ] || exit 1
exit 0
