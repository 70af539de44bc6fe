#!/usr/bin/env bash
# Lets 32-bit x86 Linux programs (the wine loader of the win32 tests) run on a kernel that
# refuses them: registers qemu's user-mode emulator as the handler of i386 ELF files.
# Does nothing where they run natively. Needs root and qemu-user-static (scripts/install-deps.sh).
set -euo pipefail

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT

# A minimal static i386 program that exits with 0.
printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$probe/p.s"
if ! as --32 "$probe/p.s" -o "$probe/p.o" 2>/dev/null || ! ld -m elf_i386 "$probe/p.o" -o "$probe/p" 2>/dev/null; then
  echo "cannot build the i386 probe (binutils missing); assuming 32-bit programs run" >&2
  exit 0
fi
if "$probe/p" 2>/dev/null; then exit 0; fi

emulator=/usr/bin/qemu-i386-static
if [ ! -x "$emulator" ]; then
  echo "this kernel cannot run 32-bit programs and $emulator is missing (scripts/install-deps.sh)" >&2
  exit 1
fi
binfmt=/proc/sys/fs/binfmt_misc
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$binfmt/qemu-i386" ]; then
  # ELF class 32, little endian, executable or shared object, machine 3 (i386). F: the emulator
  # is opened now, so it also serves programs started in other mount namespaces.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$emulator"':F' \
    >"$binfmt/register"
fi
echo 1 >"$binfmt/qemu-i386"
"$probe/p" || { echo "32-bit programs still do not run under $emulator" >&2; exit 1; }
echo "32-bit programs run through $emulator (slow: wine tests take minutes, not seconds)"
