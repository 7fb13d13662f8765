#!/usr/bin/env bash
# Prints how this machine runs 32-bit x86 Linux programs, in one word:
#   native    the kernel runs them itself
#   emulated  an emulator registered with binfmt_misc runs them (it takes
#             precedence over the kernel's own loader)
#   none      they do not run
# Takes a second. VELLMAR_NO_NATIVE_32BIT=1 makes it answer as on a kernel
# without 32-bit support, to exercise that road on any machine.
set -uo pipefail

loader=/lib/ld-linux.so.2 # the i386 C library's loader, itself a 32-bit program

# An enabled binfmt_misc handler whose magic is that of a 32-bit x86 ELF
# file (class 1, machine 3).
emulator_registered() {
  local dir=/proc/sys/fs/binfmt_misc handler magic
  [ "$(cat "$dir/status" 2>/dev/null)" = enabled ] || return 1
  for handler in "$dir"/*; do
    case "${handler##*/}" in status | register) continue ;; esac
    grep -qx enabled "$handler" 2>/dev/null || continue
    grep -qx 'offset 0' "$handler" || continue
    magic=$(sed -n 's/^magic //p' "$handler")
    [[ "$magic" == 7f454c4601* && "${magic:36:4}" == 0300 ]] && return 0
  done
  return 1
}

runs_32bit() { [ -x "$loader" ] && timeout 20 "$loader" --version >/dev/null 2>&1; }

if emulator_registered; then
  if runs_32bit; then echo emulated; else echo none; fi
elif [ "${VELLMAR_NO_NATIVE_32BIT:-0}" != 0 ]; then
  echo none
elif runs_32bit; then
  echo native
else
  echo none
fi
