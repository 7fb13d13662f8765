#!/usr/bin/env bash
# Lets a machine whose kernel cannot run 32-bit x86 Linux programs run them
# through qemu's user-mode emulator: Wine's 32-bit loader is such a program.
# Registers the emulator with the kernel's binfmt_misc, which changes the
# whole machine, so it needs root and runs only when asked for; the caller
# removes the handler (/proc/sys/fs/binfmt_misc/qemu-i386) when done.
set -euo pipefail
cd "$(dirname "$0")/.."

case "$(scripts/i386-support.sh)" in
  native)
    echo "32-bit programs already run here"
    exit 0
    ;;
  emulated)
    echo "32-bit programs already run through an emulator"
    exit 0
    ;;
esac
if [ "$(id -u)" -ne 0 ]; then
  echo "enable-i386-emulation: registering an emulator needs root" >&2
  exit 1
fi
scripts/setup-deps.sh qemu-user-static
binfmt=/proc/sys/fs/binfmt_misc
mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$binfmt/qemu-i386" ]; then
  # 32-bit little-endian x86 executables and shared objects; F keeps the
  # emulator open for programs started in other mount namespaces.
  echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    >"$binfmt/register"
fi
if [ "$(scripts/i386-support.sh)" != emulated ]; then
  echo "enable-i386-emulation: 32-bit programs still do not run" >&2
  exit 1
fi
echo "32-bit programs now run through qemu-i386"
