#!/usr/bin/env bash
# Runs every fuzz target of tests/fuzz for SECONDS each (default 60): built
# with the fuzz preset (clang-14 with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), from its stored corpus (the inputs that once
# failed replay in the test suite), growing a scratch corpus in the build
# folder. Fails when a target crashes, a sanitizer reports, a run takes more
# than a minute or memory runs out; the input that did it is kept under
# build/fuzz/fuzz-findings/, to be fixed and then added to
# tests/fuzz/regressions/. --check prints why fuzzing cannot run here and
# fails, or prints nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

# Why the fuzz targets cannot be built here, or nothing.
missing() {
  if ! command -v clang++-14 >/dev/null 2>&1; then
    echo "no clang++-14 for the fuzz preset; apt install clang-14 libclang-rt-14-dev"
    return
  fi
  local probe
  probe=$(mktemp -d)
  echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/probe.cpp"
  if ! clang++-14 -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1; then
    echo "clang++-14 cannot link libFuzzer with the sanitizers; apt install libclang-rt-14-dev"
  fi
  rm -rf "$probe"
}

case "${1:-}" in
  -h | --help)
    echo "usage: scripts/fuzz.sh [SECONDS]   run every fuzz target for SECONDS (default 60)"
    echo "       scripts/fuzz.sh --check     print why fuzzing cannot run here, or nothing"
    exit 0
    ;;
  --check)
    reason=$(missing)
    [ -z "$reason" ] || { echo "$reason"; exit 1; }
    exit 0
    ;;
esac
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "scripts/fuzz.sh: SECONDS must be a whole number of 1 or more, not '$seconds'" >&2
  exit 2
fi
reason=$(missing)
if [ -n "$reason" ]; then
  echo "scripts/fuzz.sh: cannot fuzz: $reason" >&2
  exit 2
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" --target fuzzers
list=build/fuzz/fuzz_targets.txt
findings=build/fuzz/fuzz-findings
mkdir -p "$findings"
failed=()
while read -r name program corpus; do
  [ -n "$name" ] || continue
  work=build/fuzz/fuzz-corpus/$name
  log=build/fuzz/fuzz-$name.log
  rm -rf "$work"
  mkdir -p "$work"
  inputs=()
  [ -d "$corpus" ] && inputs+=("$corpus")
  echo "=== fuzzing $name for $seconds s ==="
  status=0
  "$program" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/$name-" "$work" "${inputs[@]}" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log" >&2
    echo "FAILED: fuzz target $name (exit status $status); its input is in $findings/, the whole log in $log" >&2
    failed+=("$name")
  else
    echo "$name: ${runs:-?} runs, ${rate:-?} a second, no crash and no sanitizer report"
  fi
done <"$list"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
