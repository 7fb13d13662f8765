#!/usr/bin/env bash
# The largest N x N textured torus (bench/make_torus.py) that the shipped
# 32-bit command line (vellmar.exe with Vellmar.dll and vellmar_host.dll)
# exports under Wine, found by bisection, in the address space that Wine
# gives a 32-bit program: 2 GiB as the program is shipped (not marked
# large-address-aware), and, with --laa, 4 GiB for a copy of vellmar.exe
# with the large-address-aware flag set (Wine gives a 32-bit program the
# whole 4 GiB on a 64-bit system when the flag is set).
#
# For the largest N that passes it also prints the peak memory of `export`
# and, from it, the plug-in's peak above the host's document (less the
# stand-in's document and the tool's own start): inside the real host that
# copy is there already, so this is what must fit beside the host's document.
#
# A run that fails prints the last lines of Wine's heap and address-space
# warnings: the size of the allocation that could not be made tells whether
# one large block (a record array grown by realloc, in an address space cut
# into pieces) is what stops it.
#
# Usage: bench/largest_torus.sh [--laa] [--bin DIR] [LOW HIGH [STEP]]
#   --bin DIR  the three modules (default: build/win32/bin, built with the
#              win32 preset; scripts/third-party.sh mingw-i686 supplies the
#              libraries that it links)
#   LOW HIGH   N that is expected to pass and N expected to fail (default
#              1800 2600); both are tried first, the bisection runs between
#   STEP       the precision of N (default 10)
# Environment: VELLMAR_BENCH_DIR (work folder, default build/largest-torus;
# the tori take up to a few GB there), VELLMAR_WINE_RUN_TIMEOUT (seconds for
# one export, default 600: a run past it counts as failed).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

laa=0
bin=""
while [ $# -gt 0 ]; do
  case "$1" in
    --laa) laa=1 ;;
    --bin) bin=$2; shift ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
  shift
done
low=${1:-1800}
high=${2:-2600}
step=${3:-10}
work=$(realpath -m "${VELLMAR_BENCH_DIR:-build/largest-torus}")
run_timeout=${VELLMAR_WINE_RUN_TIMEOUT:-600}
mkdir -p "$work"

if [ -z "$bin" ]; then
  cmake --preset win32 -DVELLMAR_TESTS=OFF >/dev/null
  cmake --build build/win32 --target vellmar Vellmar vellmar_host >/dev/null
  bin=build/win32/bin
fi
bin=$(realpath "$bin")
for module in vellmar.exe Vellmar.dll vellmar_host.dll; do
  [ -f "$bin/$module" ] || { echo "largest_torus: $bin/$module is missing" >&2; exit 2; }
done

# The modules in a folder of their own; with --laa the tool's copy carries
# the flag IMAGE_FILE_LARGE_ADDRESS_AWARE (0x20) in its file header.
modules="$work/modules-$([ "$laa" = 1 ] && echo laa || echo shipped)"
rm -rf "$modules"
mkdir -p "$modules"
cp "$bin/vellmar.exe" "$bin/Vellmar.dll" "$bin/vellmar_host.dll" "$modules/"
# Sets IMAGE_FILE_LARGE_ADDRESS_AWARE on an executable when --laa is given.
laa_flag() {
  [ "$laa" = 1 ] || return 0
  python3 - "$1" <<'EOF'
import struct, sys
with open(sys.argv[1], "r+b") as exe:
    exe.seek(0x3C)
    pe = struct.unpack("<I", exe.read(4))[0]
    exe.seek(pe)
    if exe.read(4) != b"PE\0\0":
        sys.exit("not a PE file")
    exe.seek(pe + 4 + 18)
    flags = struct.unpack("<H", exe.read(2))[0] | 0x20
    exe.seek(pe + 4 + 18)
    exe.write(struct.pack("<H", flags))
EOF
}
laa_flag "$modules/vellmar.exe"

# A Wine prefix of the bench's own, made once: 32-bit Wine's own loader.
export WINEPREFIX="$work/wine-prefix" WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml="
wine=${VELLMAR_WINE:-wine}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix ..."
  WINEDEBUG=-all "$wine" wineboot --init >"$work/wineboot.out" 2>&1
  wineserver -w
fi
WINEDEBUG=-all wineserver -p >/dev/null 2>&1 || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
version=$(WINEDEBUG=-all "$wine" "$modules/vellmar.exe" --version 2>/dev/null | tr -d '\r')
[ -n "$version" ] || { echo "largest_torus: vellmar.exe does not run under $wine" >&2; exit 2; }
echo "$version under $("$wine" --version), $([ "$laa" = 1 ] && echo "large-address-aware copy (4 GiB)" || echo "as shipped, not large-address-aware (2 GiB)")"

# The largest free block once the modules are loaded, with the same flag as
# the tool: no one allocation can be larger than it, whatever the total.
if command -v i686-w64-mingw32-gcc >/dev/null; then
  i686-w64-mingw32-gcc -O1 "$root/bench/largest_free_block.c" -o "$modules/largest_free_block.exe"
  laa_flag "$modules/largest_free_block.exe"
  read -r largest free_total < <(cd "$modules" && WINEDEBUG=-all "$wine" largest_free_block.exe vellmar_host.dll Vellmar.dll |
    tr -d '\r') || true
  echo "address space at the start: ${free_total:-?} MB can be reserved, ${largest:-?} MB of it in one block"
fi

torus() {
  local n=$1
  if [ ! -f "$work/torus_$n.mqo" ]; then
    # Only the last few tori are kept: each is about 140 bytes a quad.
    ls -t "$work"/torus_*.mqo 2>/dev/null | tail -n +4 | xargs -r rm -f
    python3 "$root/bench/make_torus.py" --mqo-only "$n" "$n" "$work/torus_$n"
  fi
  echo "$work/torus_$n.mqo"
}

# Runs one command of the tool under Wine; prints "seconds kilobytes" and
# returns its status (124 past the time limit).
run() {
  local log=$1
  shift
  rm -f "$work/out.xsi"
  set +e
  (cd "$work" && WINEDEBUG=-all,warn+heap timeout -k 10 "$run_timeout" /usr/bin/time -f "%e %M" -o "$log.time" \
    "$wine" "$modules/vellmar.exe" "$@") >"$log.out" 2>"$log.err"
  local status=$?
  set -e
  tail -n 1 "$log.time" 2>/dev/null || echo "- -"
  return $status
}

# Whether the export of the N x N torus passes: exit status 0 and a file.
passes() {
  local n=$1 mqo status line
  mqo=$(torus "$n")
  set +e
  line=$(run "$work/export_$n" export -q "$mqo" "$work/out.xsi")
  status=$?
  set -e
  local quads=$((n * n))
  if [ "$status" = 0 ] && [ -s "$work/out.xsi" ]; then
    printf '%5d x %-5d %9d quads  ok      %8s s %6d MB\n' "$n" "$n" "$quads" "${line% *}" $((${line#* } / 1024))
    return 0
  fi
  local why
  why=$(grep -v -e ':warn:' -e '^wine: ' "$work/export_$n.err" | tail -n 1 | tr -d '\r')
  [ "$status" = 124 ] && why="did not finish in $run_timeout s"
  printf '%5d x %-5d %9d quads  failed  (status %s: %s)\n' "$n" "$n" "$quads" "$status" "${why:-no message}"
  # The allocations that could not be made, largest last.
  # (mawk, Debian's default awk, reads no hexadecimal: the shell does.)
  grep -o -e 'Could not allocate 0x[0-9a-f]* bytes' "$work/export_$n.err" | sort -u |
    while read -r _ _ _ size _; do echo $((size)); done |
    awk '{printf "             could not allocate %.1f MB\n", $1 / 1048576}' | sort -g -k4 | tail -n 3
  return 1
}

# N stays a multiple of step.
low=$((low / step * step))
high=$((high / step * step))
passes "$low" || { echo "largest_torus: $low x $low does not pass; give a lower LOW" >&2; exit 1; }
if passes "$high"; then
  echo "largest_torus: $high x $high passes too; give a higher HIGH" >&2
  exit 1
fi
while [ $((high - low)) -gt "$step" ]; do
  mid=$(((low + high) / 2 / step * step))
  [ "$mid" -gt "$low" ] || mid=$((low + step))
  if passes "$mid"; then low=$mid; else high=$mid; fi
done

echo
echo "Largest torus exported: $low x $low = $((low * low)) quads"
# The stand-in's document of the torus: 12 bytes a vertex for its position
# and 8 for its texture coordinate (shared by its corners once read), 4 a
# corner for its vertex index and a bit and a half for its coordinate's
# place, nothing a face (every face is a quad of one material), about 37
# bytes a quad; the process without any document is what `--version` takes.
base=$(run "$work/version" --version) || true
base_kb=${base#* }
export_line=$(tail -n 1 "$work/export_$low.time")
export_kb=${export_line#* }
doc_kb=$((37 * low * low / 1024))
plugin_kb=$((export_kb - base_kb - doc_kb))
echo "  peak of export:                          $((export_kb / 1024)) MB"
echo "  the tool without a document:             $((base_kb / 1024)) MB"
echo "  the stand-in's document (37 B a quad):   $((doc_kb / 1024)) MB"
echo "  the plug-in's peak above the document:   $((plugin_kb / 1024)) MB," \
  "$(awk "BEGIN {printf \"%.0f\", $plugin_kb * 1024 / ($low * $low)}") bytes a quad"
