#!/usr/bin/env bash
# The Windows vellmar tool under Wine against the native tool (see
# tests/tools/tool_comparison.sh for what is compared). The 32-bit build runs
# on Wine's 32-bit loader, the 64-bit one on wine64. Each Wine start is slow,
# so the Windows tool runs once per command and format with all inputs.
# Exit status: 0 passed, 1 failed, 77 skipped (no Wine, or a Wine that cannot
# run programs on this machine), with the reason on one line.
set -uo pipefail

usage() {
  echo "usage: $0 --wine LOADER --bits 32|64 --windows-bin DIR --probe EXE --native-tool PATH --examples DIR" >&2
  echo "          [--samples DIR] [--mqoz supported|unsupported] --work DIR --prefix DIR" >&2
  echo "          [--start-timeout SECONDS] [--run-timeout SECONDS] [--package ZIP]" >&2
  exit 1
}

wine="" bits="" windows_bin="" probe="" native_tool="" examples="" samples="" mqoz=supported work="" prefix="" package=""
# Making the prefix and running the probe may take start_timeout seconds
# each; each run of the Windows tool run_timeout.
start_timeout=300 run_timeout=900
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case "$1" in
    --wine) wine=$2 ;;
    --bits) bits=$2 ;;
    --windows-bin) windows_bin=$2 ;;
    --probe) probe=$2 ;;
    --native-tool) native_tool=$2 ;;
    --examples) examples=$2 ;;
    --samples) samples=$2 ;;
    --mqoz) mqoz=$2 ;;
    --work) work=$2 ;;
    --prefix) prefix=$2 ;;
    --start-timeout) start_timeout=$2 ;;
    --run-timeout) run_timeout=$2 ;;
    --package) package=$2 ;;
    *) usage ;;
  esac
  shift 2
done
[ -n "$wine" ] && [ -n "$windows_bin" ] && [ -n "$probe" ] && [ -n "$native_tool" ] && [ -n "$examples" ] &&
  [ -n "$work" ] && [ -n "$prefix" ] || usage
[ "$bits" = 32 ] || [ "$bits" = 64 ] || usage
# Absolute paths: the runs start in the work folder.
windows_bin=$(realpath -m "$windows_bin") probe=$(realpath -m "$probe") native_tool=$(realpath -m "$native_tool")
examples=$(realpath -m "$examples") work=$(realpath -m "$work") prefix=$(realpath -m "$prefix")
[ -z "$samples" ] || samples=$(realpath -m "$samples")
[ -z "$package" ] || package=$(realpath -m "$package")
here=$(dirname "$(realpath "$0")")
source "$here/../tools/tool_comparison.sh"

skip() {
  echo "SKIPPED: $*"
  exit 77
}

[ -x "$wine" ] || skip "Wine's $bits-bit loader $wine is not installed (scripts/test.sh --windows installs it)"
if [ ! -x "$native_tool" ]; then
  echo "FAIL: the native tool $native_tool is missing: build the release preset first"
  exit 1
fi
if [ "$bits" = 32 ]; then
  # Wine's 32-bit loader is a 32-bit Linux program: without the kernel's or
  # an emulator's help it cannot start, and there is nothing to wait for.
  case "$("$here/../../scripts/i386-support.sh")" in
    none) skip "this machine cannot run 32-bit Linux programs, which Wine's 32-bit loader is" \
      "(scripts/test.sh --wine-emulation runs them through qemu)" ;;
    emulated) echo "32-bit programs run through an emulator here: Wine gets $start_timeout s to start" ;;
  esac
fi

export WINEPREFIX=$prefix WINEARCH=win$bits WINEDEBUG=-all WINELOADER=$wine
# No Mono or Gecko installer prompts when the prefix is made; console
# programs need no display.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# Ends the wineserver of this prefix with every Windows process under it,
# then any process still carrying this prefix in its environment (one that
# Wine started but that never reached the server). Nothing else is touched.
stop_wine() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  local env pid
  for env in /proc/[0-9]*/environ; do
    pid=${env#/proc/}
    pid=${pid%/environ}
    [ "$pid" != "$$" ] || continue
    if tr '\0' '\n' 2>/dev/null <"$env" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      kill -KILL "$pid" 2>/dev/null
    fi
  done
}
trap stop_wine EXIT

# A path as Windows programs see it: Wine maps drive Z: to the root.
candidate_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

# Why a Wine start failed, from its status, the seconds since it began, and
# its last line of errors.
why_not() {
  local status=$1 began=$2 errors=$3 last
  last=$(grep -v -e '^wine: created the configuration' -e ':fixme:' "$errors" | tail -n 1 | tr -d '\r')
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ] || [ $((SECONDS - began)) -ge "$start_timeout" ]; then
    echo "it gave no answer within $start_timeout s${last:+; its last words: $last}"
  else
    echo "it exited with status $status${last:+: $last}"
  fi
}

rm -rf "$work"
mkdir -p "$work"

# The prefix is made once, in the build tree; one left half-made by an
# interrupted run is made again.
ready=$prefix/.vellmar-prefix-ready
if [ ! -e "$ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$prefix"
  started=$SECONDS
  timeout -k 10 "$start_timeout" "$wine" wineboot --init >"$work/wineboot.out" 2>&1
  boot_status=$?
  [ "$boot_status" -eq 0 ] ||
    skip "Wine ($bits-bit) cannot make its prefix on this machine ($(why_not "$boot_status" "$started" "$work/wineboot.out"))"
  wineserver -w >/dev/null 2>&1
  touch "$ready"
  echo "Wine ($bits-bit) made its prefix in $((SECONDS - started)) s"
fi

# One Wine session for all runs: a persistent server keeps the session's
# start-up (wineboot and its services) from being repeated for every run.
wineserver -p >/dev/null 2>&1

# Can Wine run anything here?
started=$SECONDS
probe_output=$(cd "$work" && timeout -k 10 "$start_timeout" "$wine" "$probe" 2>"$work/probe.err")
probe_status=$?
if [[ "$probe_output" != *"a Windows console program ran"* ]]; then
  skip "Wine ($bits-bit) cannot run a trivial Windows console program on this machine" \
    "($(why_not "$probe_status" "$started" "$work/probe.err"))"
fi
echo "Wine ($bits-bit) runs Windows console programs: $("$wine" --version 2>/dev/null)"

candidate_name=Windows
line_ends=windows
windows_tool=$windows_bin/vellmar.exe
run_candidate() {
  local log=$1
  shift
  (cd "$work" && timeout -k 10 "$run_timeout" "$wine" "$windows_tool" "$@") >"$log.out" 2>"$log.err"
  status=$?
}

compare_tools

# Wildcards: Windows shells pass them on as they are, and the tool expands
# them itself.
run_candidate "$work/candidate-wildcard" export "$(candidate_path "$examples")\\*.mqo" \
  --out-dir "$(candidate_path "$work/candidate/wildcard")"
expected=$(for input in "$examples"/*.mqo; do name=${input##*/}; echo "./${name%.*}.xsi"; done | sort)
found=$(cd "$work/candidate/wildcard" 2>/dev/null && find . -type f | sort)
if [ "$status" -ne 0 ] || [ "$found" != "$expected" ]; then
  fail "wildcard: 'export EXAMPLES\\*.mqo' exited with $status and wrote: $(echo $found)" \
    "$(tr -d '\r' <"$work/candidate-wildcard.err" | head -n 1)"
else
  echo "wildcard: expanded by the Windows tool"
fi

# The command-line package: its tool works from a folder that holds only
# what the package holds.
if [ -n "$package" ]; then
  mkdir -p "$work/package"
  if ! (cd "$work/package" && cmake -E tar xf "$package"); then
    fail "package: cannot unpack $package"
  else
    windows_tool=$work/package/vellmar.exe
    run_candidate "$work/candidate-package" export "${candidate_inputs[@]}" \
      --out-dir "$(candidate_path "$work/candidate/package")"
    [ "$status" -eq 0 ] || fail "package: its vellmar.exe exited with $status: $(tr -d '\r' <"$work/candidate-package.err")"
    compare_folders package "$work/native/export" "$work/candidate/package"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures comparison(s) failed"
  exit 1
fi
echo "The Windows tool under Wine ($bits-bit) wrote the same files as the native tool"
