#!/usr/bin/env bash
# The Wine end-to-end test's own decisions, with stand-in loaders instead of
# Wine (seconds, on any machine): which road 32-bit Wine takes and with
# what environment, that a skip names its reason, and that only what a
# program printed counts, never the loader's exit status (Wine's loader
# exits 0 when it ran nothing at all).
# usage: wine_test_roads.sh WINE_END_TO_END_SCRIPT SCRATCH_DIR
set -uo pipefail
script=$1
scratch=$(realpath -m "$2")
rm -rf "$scratch"
mkdir -p "$scratch/bin" "$scratch/examples" "$scratch/wow64/i386-windows"
touch "$scratch/wow64/i386-windows/ntdll.dll"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A loader that records each start and its Wine environment, makes prefixes,
# and then behaves as LOADER_MODE says:
#   silent      runs nothing and exits 0, with a hint on stderr
#   probe-only  runs the trivial probe, and nothing else (silently, status 0)
cat >"$scratch/loader" <<'EOF'
#!/usr/bin/env bash
echo "$(basename "$0") $1 WINEARCH=$WINEARCH WINEDLLPATH=${WINEDLLPATH-unset}" >>"$LOADER_LOG"
case "$1" in
  wineboot) exit 0 ;;
  --version) echo "stand-in loader" ;;
  *wine_probe.exe)
    if [ "$LOADER_MODE" = silent ]; then
      echo "it looks like 32-bit support is missing (WINEARCH=$WINEARCH WINEDLLPATH=${WINEDLLPATH-unset})" >&2
    else
      echo "wine probe: a Windows console program ran"
    fi
    ;;
esac
exit 0
EOF
chmod +x "$scratch/loader"
cp "$scratch/loader" "$scratch/wine32"
cp "$scratch/loader" "$scratch/wine64"
# No server of a real Wine is started for the stand-in prefixes.
printf '#!/bin/sh\nexit 0\n' >"$scratch/bin/wineserver"
printf '#!/bin/sh\necho "vellmar 1.00"\n' >"$scratch/native-tool"
chmod +x "$scratch/bin/wineserver" "$scratch/native-tool"
export PATH=$scratch/bin:$PATH LOADER_LOG=$scratch/loader.log

# Runs the end-to-end test as case NAME with the loader mode and options;
# sets status and output, and the loader's log of starts in starts.
run_case() {
  local name=$1
  export LOADER_MODE=$2
  shift 2
  : >"$LOADER_LOG"
  output=$(bash "$script" --bits 32 --windows-bin "$scratch/windows" --probe "$scratch/windows/wine_probe.exe" \
    --native-tool "$scratch/native-tool" --examples "$scratch/examples" --work "$scratch/$name/work" \
    --prefix "$scratch/$name/prefix" --start-timeout 20 --run-timeout 20 "$@" 2>&1)
  status=$?
  starts=$(cat "$LOADER_LOG")
}

# expect NAME STATUS PATTERN...: the exit status, and each pattern (an
# extended regular expression) in the output.
expect() {
  local name=$1 expected=$2 pattern
  shift 2
  [ "$status" -eq "$expected" ] || fail "$name: exit status $status, expected $expected; output:"$'\n'"$output"
  for pattern in "$@"; do
    grep -qE -- "$pattern" <<<"$output" || fail "$name: no '$pattern' in the output:"$'\n'"$output"
  done
}

# Neither road can start: skipped, and the reason names both.
run_case nothing silent --wine "$scratch/missing-wine32" --wow64-loader "$scratch/wine64" \
  --wow64-dlls "$scratch/no-dlls"
expect nothing 77 "^SKIPPED: no 32-bit Wine: Wine's 32-bit loader .*missing-wine32 is not installed" \
  "no-dlls/i386-windows \(scripts/wine-wow64-dlls.sh unpacks them\)"
[ -z "$starts" ] || fail "nothing: a loader was started: $starts"

# The wow64 road: wine64 with a 64-bit prefix and the DLLs on WINEDLLPATH.
# A loader that exits 0 having run nothing makes the test skip, not pass.
run_case wow64-silent silent --wine "$scratch/missing-wine32" --wow64-loader "$scratch/wine64" \
  --wow64-dlls "$scratch/wow64"
expect wow64-silent 77 "^Wine road: wow64$" \
  "^SKIPPED: Wine \(32-bit, wow64\) cannot run a trivial Windows console program on this machine \(it exited with status 0: it looks like 32-bit support is missing \(WINEARCH=win64 WINEDLLPATH=$scratch/wow64\)\)"
grep -q "^wine64 wineboot WINEARCH=win64 WINEDLLPATH=$scratch/wow64$" <<<"$starts" ||
  fail "wow64-silent: the prefix was not made by wine64 as a 64-bit prefix with the DLLs: $starts"

# A probe that runs, then a tool that prints nothing: a failure at once,
# not a run of every command that each waits out its time.
run_case tool-silent probe-only --wine "$scratch/missing-wine32" --wow64-loader "$scratch/wine64" \
  --wow64-dlls "$scratch/wow64"
expect tool-silent 1 "^FAIL: version: .*vellmar.exe --version exited with 0 and printed '', not 'vellmar 1.00'" \
  "^The Windows tool does not start under Wine \(32-bit, wow64\)$"
[ "$(grep -c 'vellmar.exe' <<<"$starts")" -eq 1 ] || fail "tool-silent: the tool was started more than once: $starts"

# Wine's 32-bit loader where the machine cannot run 32-bit programs: wow64
# where its DLLs are there; else a skip that says why.
VELLMAR_NO_NATIVE_32BIT=1 run_case no-32bit-wow64 silent --wine "$scratch/wine32" \
  --wow64-loader "$scratch/wine64" --wow64-dlls "$scratch/wow64"
expect no-32bit-wow64 77 "^Wine road: wow64$"
VELLMAR_NO_NATIVE_32BIT=1 run_case no-32bit silent --wine "$scratch/wine32" \
  --wow64-loader "$scratch/wine64" --wow64-dlls "$scratch/no-dlls"
expect no-32bit 77 "^SKIPPED: no 32-bit Wine: this machine cannot run 32-bit Linux programs, which Wine's 32-bit loader is"

# The prefix follows the road: one made for wow64 is made again for wine32.
if [ "$("$(dirname "$(realpath "$script")")/../../scripts/i386-support.sh")" = native ]; then
  mkdir -p "$scratch/switch/prefix"
  echo wow64 >"$scratch/switch/prefix/.vellmar-prefix-ready"
  run_case switch silent --wine "$scratch/wine32" --wow64-loader "$scratch/wine64" --wow64-dlls "$scratch/wow64"
  expect switch 77 "^Wine road: wine32$" "\(WINEARCH=win32 WINEDLLPATH=unset\)"
  grep -q "^wine32 wineboot WINEARCH=win32 WINEDLLPATH=unset$" <<<"$starts" ||
    fail "switch: the wow64 prefix was not made again for wine32: $starts"
else
  echo "wine32 road: not tried, this machine cannot run 32-bit Linux programs"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "The Wine test chose its roads and read its programs' output as expected"
