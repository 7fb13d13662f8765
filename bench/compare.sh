#!/usr/bin/env bash
# Side-by-side benchmark: builds the release tool, makes a textured torus of
# U x V quads (default 1000 x 1000) as .mqo and as .obj, and runs, in turns,
# `vellmar export` to .xsi, `vellmar convert` to .x, .obj, .glb and .dxf,
# `vellmar convert` of the export's .xsi to .glb, and
# `assimp export` of the same mesh from .obj to .x and to .glb. Prints each one's wall
# time and peak resident memory (median of RUNS runs, default 3, after one
# untimed warm-up run of each) and the ratios against assimp.
#
# Usage: bench/compare.sh [U V] [RUNS]
# Installs assimp-utils (and the build tools) with apt when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

u=${1:-1000}
v=${2:-1000}
runs=${3:-3}
work=${VELLMAR_BENCH_DIR:-build/compare}

scripts/setup-deps.sh g++ cmake ninja-build zlib1g-dev libosd-dev python3 time assimp-utils \
  libtinygltf-dev nlohmann-json3-dev libstb-dev
cmake --preset app >/dev/null
cmake --build --preset app -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
tool=build/app/bin/vellmar

mkdir -p "$work"
if [ ! -f "$work/torus_${u}x${v}.mqo" ] || [ ! -f "$work/torus_${u}x${v}.obj" ] || [ ! -f "$work/torus.png" ]; then
  echo "Making the ${u} x ${v} torus ..."
  python3 bench/make_torus.py "$u" "$v" "$work/torus_${u}x${v}"
fi
mqo="$work/torus_${u}x${v}.mqo"
obj="$work/torus_${u}x${v}.obj"
# The export's own file, read back by convert.
xsi="$work/torus_${u}x${v}.xsi"
[ -f "$xsi" ] || "$tool" export -q "$mqo" "$xsi"

# Each case: a name and its command; the outputs go to $work/out.*.
names=("vellmar export .xsi" "vellmar convert .x" "vellmar convert .obj" "assimp export .obj to .x"
  "vellmar convert .glb" "assimp export .obj to .glb" "vellmar convert .dxf" "vellmar convert .xsi to .glb")
commands=(
  "$tool export $mqo $work/out.xsi"
  "$tool convert $mqo $work/out.x"
  "$tool convert $mqo $work/out_v.obj"
  "assimp export $obj $work/out_assimp.x"
  "$tool convert $mqo $work/out_v.glb"
  "assimp export $obj $work/out_assimp.glb"
  "$tool convert $mqo $work/out_v.dxf"
  "$tool convert $xsi $work/out_xsi.glb"
)

declare -A times mems
# Round 0 is a warm-up, not timed: it brings the inputs into the file cache
# and checks that every command runs.
for ((r = 0; r <= runs; r++)); do
  for i in "${!commands[@]}"; do
    # Each run writes a new file: the outputs of the runs before are removed
    # (a run that replaces a large file also pays for dropping the old one),
    # and flushed first, so that their write-back (hundreds of megabytes)
    # does not run on the cores of the next one.
    rm -f "$work"/out*
    sync
    # The last line that /usr/bin/time writes: seconds and kilobytes.
    if ! /usr/bin/time -f "%e %M" -o "$work/time.$i" ${commands[$i]} >/dev/null 2>"$work/err.$i"; then
      echo "warning: ${names[$i]} failed: $(head -n 1 "$work/err.$i")" >&2
    fi
    [ "$r" -gt 0 ] || continue
    line=$(tail -n 1 "$work/time.$i")
    times[$i]+="${line% *} "
    mems[$i]+="${line#* } "
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
calc() { awk "BEGIN {printf \"%.2f\", $1}"; }

echo
echo "Torus of ${u} x ${v} quads, median of ${runs} runs, on $(nproc) cores ($(uname -m)):"
printf '%-28s %10s %12s   %s\n' "work" "wall (s)" "peak (MB)" "every run's wall (s)"
declare -a t m
for i in "${!commands[@]}"; do
  t[$i]=$(echo "${times[$i]}" | median)
  m[$i]=$(echo "${mems[$i]}" | median)
  printf '%-28s %10.2f %12.0f   %s\n' "${names[$i]}" "${t[$i]}" "$(calc "${m[$i]} / 1024")" "${times[$i]}"
done
echo
echo "assimp time / vellmar convert .x time:  $(calc "${t[3]} / ${t[1]}")  (goal: 5 or more)"
echo "vellmar convert .x memory / assimp's:    $(calc "${m[1]} / ${m[3]}")  (goal: 0.5 or less)"
echo "vellmar export:       ${t[0]} s, $(calc "${m[0]} / 1024") MB  (goal: 1.8 s, 450 MB)"
echo "vellmar convert .obj: ${t[2]} s, $(calc "${m[2]} / 1024") MB  (goal: 1.8 s, 450 MB)"
echo "vellmar convert .dxf: ${t[6]} s, $(calc "${m[6]} / 1024") MB  (goal: 1.8 s, 450 MB)"
echo "vellmar convert .glb: ${t[4]} s, $(calc "${m[4]} / 1024") MB  (goal: 2 s, 500 MB; assimp's .obj to .glb: ${t[5]} s)"
echo ".xsi to .glb / export: $(calc "${t[7]} / ${t[0]}"), $(calc "${m[7]} / 1024") MB  (goal: 2 or less, 500 MB)"
