#!/usr/bin/env bash
# The 32-bit Linux vellmar tool, run natively or through an emulator, against
# the native tool (see tests/tools/tool_comparison.sh for what is compared).
# Exit status: 0 passed, 1 failed.
set -uo pipefail

usage() {
  echo "usage: $0 --tool PATH [--emulator COMMAND] --native-tool PATH --examples DIR [--samples DIR]" >&2
  echo "          [--mqoz supported|unsupported] --work DIR" >&2
  exit 1
}

tool="" emulator="" native_tool="" examples="" samples="" mqoz=supported work=""
source "$(dirname "$(realpath "$0")")/../tools/tool_comparison.sh"
read_options tool emulator native-tool examples samples mqoz work -- "$@" || usage
[ -n "$tool" ] && [ -n "$native_tool" ] && [ -n "$examples" ] && [ -n "$work" ] || usage
# Absolute paths: the runs start in the work folder.
tool=$(realpath -m "$tool") native_tool=$(realpath -m "$native_tool") examples=$(realpath -m "$examples")
work=$(realpath -m "$work")
[ -z "$samples" ] || samples=$(realpath -m "$samples")

if [ ! -x "$native_tool" ]; then
  echo "FAIL: the native tool $native_tool is missing: build the release preset first"
  exit 1
fi
rm -rf "$work"
mkdir -p "$work"

candidate_name=32-bit
line_ends=unix
read -r -a emulator_command <<<"$emulator"
# The tool restarts itself once to give the C library's allocator its
# settings; under an emulator the restarted tool would leave the emulator
# where the kernel can run it, and fail where it cannot. Given the settings
# from the start, it does not restart.
run_candidate() {
  local log=$1
  shift
  (cd "$work" && GLIBC_TUNABLES=glibc.malloc.hugetlb=0 timeout -k 10 900 "${emulator_command[@]}" "$tool" "$@") \
    >"$log.out" 2>"$log.err"
  status=$?
}
candidate_path() { printf '%s' "$1"; }

echo "the 32-bit tool runs ${emulator:+through $emulator}${emulator:-natively}"
compare_tools
if [ "$failures" -ne 0 ]; then
  echo "$failures comparison(s) failed"
  exit 1
fi
echo "The 32-bit tool wrote the same files as the native tool"
