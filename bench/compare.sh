#!/usr/bin/env bash
# Side-by-side benchmark: builds the release tool, makes a textured torus of
# U x V quads (default 1000 x 1000) as .mqo and as .obj, and runs, in turns,
# `vellmar export` to .xsi, `vellmar convert` to .x, .obj, .glb (as it is
# and with --compress) and .dxf, `vellmar convert` of the export's .xsi to
# .glb, `assimp export` of the same mesh from .obj to .x and to .glb, and
# gltfpack from .obj to .glb without quantisation (-noq) and compressed
# (-cc), the latter also from the .obj with the torus's normals, which
# carries what vellmar's .glb carries. Prints each one's wall time, peak
# resident memory and file size (median of RUNS runs, default 3, after one
# untimed warm-up run of each) and the ratios.
#
# Usage: bench/compare.sh [U V] [RUNS]
# Installs assimp-utils and gltfpack (and the build tools) with apt when run
# as root.
set -euo pipefail
cd "$(dirname "$0")/.."

u=${1:-1000}
v=${2:-1000}
runs=${3:-3}
work=${VELLMAR_BENCH_DIR:-build/compare}

scripts/setup-deps.sh g++ cmake ninja-build zlib1g-dev libosd-dev python3 time assimp-utils gltfpack \
  libtinygltf-dev nlohmann-json3-dev libmeshoptimizer-dev libstb-dev
cmake --preset app >/dev/null
cmake --build --preset app -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
tool=build/app/bin/vellmar

mkdir -p "$work"
if [ ! -f "$work/torus_${u}x${v}.mqo" ] || [ ! -f "$work/torus_${u}x${v}-normals.obj" ] || [ ! -f "$work/torus.png" ]; then
  echo "Making the ${u} x ${v} torus ..."
  python3 bench/make_torus.py "$u" "$v" "$work/torus_${u}x${v}"
fi
mqo="$work/torus_${u}x${v}.mqo"
obj="$work/torus_${u}x${v}.obj"
obj_normals="$work/torus_${u}x${v}-normals.obj"
# The export's own file, read back by convert.
xsi="$work/torus_${u}x${v}.xsi"
[ -f "$xsi" ] || "$tool" export -q "$mqo" "$xsi"

# Each case: a name, its command and its output (all in $work/out*).
names=("vellmar export .xsi" "vellmar convert .x" "vellmar convert .obj" "assimp export .obj to .x"
  "vellmar convert .glb" "assimp export .obj to .glb" "vellmar convert .dxf" "vellmar convert .xsi to .glb"
  "vellmar .glb --compress" "gltfpack .obj -noq" "gltfpack .obj -cc" "gltfpack .obj+normals -cc")
outputs=(out.xsi out.x out_v.obj out_assimp.x out_v.glb out_assimp.glb out_v.dxf out_xsi.glb out_vc.glb
  out_gltfpack.glb out_gltfpack_cc.glb out_gltfpack_ccn.glb)
commands=(
  "$tool export $mqo $work/${outputs[0]}"
  "$tool convert $mqo $work/${outputs[1]}"
  "$tool convert $mqo $work/${outputs[2]}"
  "assimp export $obj $work/${outputs[3]}"
  "$tool convert $mqo $work/${outputs[4]}"
  "assimp export $obj $work/${outputs[5]}"
  "$tool convert $mqo $work/${outputs[6]}"
  "$tool convert $xsi $work/${outputs[7]}"
  "$tool convert $mqo $work/${outputs[8]} --compress"
  "gltfpack -i $obj -o $work/${outputs[9]} -noq"
  "gltfpack -i $obj -o $work/${outputs[10]} -cc"
  "gltfpack -i $obj_normals -o $work/${outputs[11]} -cc"
)

declare -A times mems sizes
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
    sizes[$i]=$(stat -c %s "$work/${outputs[$i]}" 2>/dev/null || echo 0)
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
calc() { awk "BEGIN {printf \"%.2f\", $1}"; }

echo
echo "Torus of ${u} x ${v} quads, median of ${runs} runs, on $(nproc) cores ($(uname -m)):"
printf '%-30s %9s %10s %10s   %s\n' "work" "wall (s)" "peak (MB)" "file (MB)" "every run's wall (s)"
declare -a t m
for i in "${!commands[@]}"; do
  t[$i]=$(echo "${times[$i]}" | median)
  m[$i]=$(echo "${mems[$i]}" | median)
  printf '%-30s %9.2f %10.0f %10.2f   %s\n' "${names[$i]}" "${t[$i]}" "$(calc "${m[$i]} / 1024")" \
    "$(calc "${sizes[$i]} / 1048576")" "${times[$i]}"
done
echo
echo "assimp time / vellmar convert .x time:  $(calc "${t[3]} / ${t[1]}")  (goal: 5 or more)"
echo "vellmar convert .x memory / assimp's:    $(calc "${m[1]} / ${m[3]}")  (goal: 0.5 or less)"
echo "vellmar export:       ${t[0]} s, $(calc "${m[0]} / 1024") MB  (goal: 1.8 s, 450 MB)"
echo "vellmar convert .obj: ${t[2]} s, $(calc "${m[2]} / 1024") MB  (goal: 1.8 s, 450 MB)"
echo "vellmar convert .dxf: ${t[6]} s, $(calc "${m[6]} / 1024") MB  (goal: 1.8 s, 450 MB)"
echo "vellmar convert .glb: ${t[4]} s, $(calc "${m[4]} / 1024") MB  (goal: 2 s, 500 MB; assimp's .obj to .glb: ${t[5]} s)"
echo ".xsi to .glb / export: $(calc "${t[7]} / ${t[0]}"), $(calc "${m[7]} / 1024") MB  (goal: 2 or less, 500 MB)"
echo
echo "gltfpack -noq time / vellmar .glb time:          $(calc "${t[9]} / ${t[4]}")  (goal: 1.5 or more)"
echo "gltfpack -cc time / vellmar --compress time:     $(calc "${t[10]} / ${t[8]}")  (goal: 1.5 or more)"
echo "vellmar .glb memory / gltfpack -noq's:           $(calc "${m[4]} / ${m[9]}")  (goal: 1 or less)"
echo "vellmar --compress memory / gltfpack -cc's:      $(calc "${m[8]} / ${m[10]}")  (goal: 1 or less)"
echo "vellmar --compress file / gltfpack -cc's:        $(calc "${sizes[8]} / ${sizes[10]}")  (goal: 1 or less; vellmar's has normals)"
echo "vellmar --compress file / gltfpack's with normals: $(calc "${sizes[8]} / ${sizes[11]}")  (the same content)"
