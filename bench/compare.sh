#!/usr/bin/env bash
# Side-by-side benchmark: builds the release tool of the working tree and of
# a given revision (default HEAD~, the commit before; built in a temporary
# worktree), makes a textured torus of U x V quads (default 1000 x 1000) as
# .mqo and as .obj, and runs, in turns, with each build: `vellmar export`
# to .xsi, `vellmar convert` to .x, .obj, .glb (as it is and with
# --compress) and .dxf, `vellmar convert` of the export's .xsi to .glb;
# and once: `assimp export` of the same mesh from .obj to .x and to .glb,
# and gltfpack from .obj to .glb without quantisation (-noq) and compressed
# (-cc), the latter also from the .obj with the torus's normals, which
# carries what vellmar's .glb carries. The two builds' runs alternate within
# each round, so that both see the same machine. Prints each one's wall
# time, peak resident memory and file size (median of RUNS runs, default 3,
# after one untimed warm-up run of each), the ratios of this build to the
# other, and the ratios to assimp and gltfpack.
#
# Usage: bench/compare.sh [--rev REV] [U V] [RUNS]
#   --rev REV  the revision to compare with (default HEAD~); --rev none
#              runs this build alone
# Installs assimp-utils and gltfpack (and the build tools) with apt when run
# as root.
set -euo pipefail
cd "$(dirname "$0")/.."

rev=HEAD~
if [ "${1:-}" = --rev ]; then
  rev=$2
  shift 2
fi
u=${1:-1000}
v=${2:-1000}
runs=${3:-3}
work=$(realpath -m "${VELLMAR_BENCH_DIR:-build/compare}")
jobs=$(nproc 2>/dev/null || echo 2)

scripts/setup-deps.sh g++ cmake ninja-build zlib1g-dev libosd-dev python3 time assimp-utils gltfpack \
  libtinygltf-dev nlohmann-json3-dev libmeshoptimizer-dev libstb-dev
cmake --preset app >/dev/null
cmake --build --preset app -j "$jobs" >/dev/null
tool=build/app/bin/vellmar

mkdir -p "$work"
# The other revision, built in a worktree of its own that goes when the run
# ends.
old_tool=""
old_name=""
if [ "$rev" != none ]; then
  commit=$(git rev-parse --verify "$rev^{commit}")
  old_name=$(git rev-parse --short "$commit")
  tree="$work/rev-$old_name"
  cleanup() { git worktree remove --force "$tree" >/dev/null 2>&1 || rm -rf "$tree"; }
  trap cleanup EXIT
  [ -d "$tree" ] && cleanup
  git worktree add --detach "$tree" "$commit" >/dev/null 2>&1
  echo "Building $rev ($old_name) ..."
  (cd "$tree" && cmake --preset app >/dev/null && cmake --build --preset app -j "$jobs" >/dev/null)
  # The tool finds its plug-in and host beside it.
  rm -rf "$work/old-bin"
  cp -r "$tree/build/app/bin" "$work/old-bin"
  old_tool="$work/old-bin/vellmar"
fi

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

# Each case: a name, its command and its output (all in $work/out*). The
# tool's cases come twice, this build's and the other revision's.
names=() outputs=() commands=()
add() {
  names+=("$1")
  outputs+=("$2")
  commands+=("$3")
}
tool_cases() {
  local t=$1 tag=$2
  add "vellmar export .xsi$tag" "out.xsi" "$t export $mqo $work/out.xsi"
  add "vellmar convert .x$tag" "out.x" "$t convert $mqo $work/out.x"
  add "vellmar convert .obj$tag" "out_v.obj" "$t convert $mqo $work/out_v.obj"
  add "vellmar convert .glb$tag" "out_v.glb" "$t convert $mqo $work/out_v.glb"
  add "vellmar convert .dxf$tag" "out_v.dxf" "$t convert $mqo $work/out_v.dxf"
  add "vellmar convert .xsi to .glb$tag" "out_xsi.glb" "$t convert $xsi $work/out_xsi.glb"
  add "vellmar .glb --compress$tag" "out_vc.glb" "$t convert $mqo $work/out_vc.glb --compress"
}
tool_cases "$tool" ""
# Indices of this build's cases: export 0, .x 1, .obj 2, .glb 3, .dxf 4,
# .xsi to .glb 5, --compress 6.
cases=${#names[@]}
if [ -n "$old_tool" ]; then
  tool_cases "$old_tool" " ($old_name)"
fi
others=${#names[@]}
add "assimp export .obj to .x" "out_assimp.x" "assimp export $obj $work/out_assimp.x"
add "assimp export .obj to .glb" "out_assimp.glb" "assimp export $obj $work/out_assimp.glb"
add "gltfpack .obj -noq" "out_gltfpack.glb" "gltfpack -i $obj -o $work/out_gltfpack.glb -noq"
add "gltfpack .obj -cc" "out_gltfpack_cc.glb" "gltfpack -i $obj -o $work/out_gltfpack_cc.glb -cc"
add "gltfpack .obj+normals -cc" "out_gltfpack_ccn.glb" "gltfpack -i $obj_normals -o $work/out_gltfpack_ccn.glb -cc"
# Within a round the two builds' runs of a case follow each other.
order=()
for ((i = 0; i < cases; i++)); do
  order+=("$i")
  [ -z "$old_tool" ] || order+=($((i + cases)))
done
for ((i = others; i < ${#names[@]}; i++)); do order+=("$i"); done

declare -A times mems sizes
# Round 0 is a warm-up, not timed: it brings the inputs into the file cache
# and checks that every command runs.
for ((r = 0; r <= runs; r++)); do
  for i in "${order[@]}"; do
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
printf '%-38s %9s %10s %10s   %s\n' "work" "wall (s)" "peak (MB)" "file (MB)" "every run's wall (s)"
declare -a t m
for i in "${order[@]}"; do
  t[$i]=$(echo "${times[$i]}" | median)
  m[$i]=$(echo "${mems[$i]}" | median)
  printf '%-38s %9.2f %10.0f %10.2f   %s\n' "${names[$i]}" "${t[$i]}" "$(calc "${m[$i]} / 1024")" \
    "$(calc "${sizes[$i]} / 1048576")" "${times[$i]}"
done
if [ -n "$old_tool" ]; then
  echo
  echo "This build beside $rev ($old_name): time and peak memory, this / that"
  for ((i = 0; i < cases; i++)); do
    printf '  %-34s time %5s   memory %5s\n' "${names[$i]}" "$(calc "${t[$i]} / ${t[$((i + cases))]}")" \
      "$(calc "${m[$i]} / ${m[$((i + cases))]}")"
  done
fi
a_x=$others a_glb=$((others + 1)) g_noq=$((others + 2)) g_cc=$((others + 3)) g_ccn=$((others + 4))
echo
echo "assimp time / vellmar convert .x time:  $(calc "${t[$a_x]} / ${t[1]}")  (goal: 5 or more)"
echo "vellmar convert .x memory / assimp's:    $(calc "${m[1]} / ${m[$a_x]}")  (goal: 0.5 or less)"
echo "vellmar export:       ${t[0]} s, $(calc "${m[0]} / 1024") MB  (goal: 280 MB)"
echo "vellmar convert .obj: ${t[2]} s, $(calc "${m[2]} / 1024") MB  (goal: 1.8 s, 450 MB)"
echo "vellmar convert .dxf: ${t[4]} s, $(calc "${m[4]} / 1024") MB  (goal: 1.8 s, 450 MB)"
echo "vellmar convert .glb: ${t[3]} s, $(calc "${m[3]} / 1024") MB  (goal: 250 MB; assimp's .obj to .glb: ${t[$a_glb]} s)"
echo ".xsi to .glb / export: $(calc "${t[5]} / ${t[0]}"), $(calc "${m[5]} / 1024") MB  (goal: 2 or less, 500 MB)"
echo
echo "gltfpack -noq time / vellmar .glb time:          $(calc "${t[$g_noq]} / ${t[3]}")  (goal: 1.5 or more)"
echo "gltfpack -cc time / vellmar --compress time:     $(calc "${t[$g_cc]} / ${t[6]}")  (goal: 1.5 or more)"
echo "vellmar .glb memory / gltfpack -noq's:           $(calc "${m[3]} / ${m[$g_noq]}")  (goal: 1 or less)"
echo "vellmar --compress memory / gltfpack -cc's:      $(calc "${m[6]} / ${m[$g_cc]}")  (goal: 1 or less)"
echo "vellmar --compress file / gltfpack -cc's:        $(calc "${sizes[6]} / ${sizes[$g_cc]}")  (goal: 1 or less; vellmar's has normals)"
echo "vellmar --compress file / gltfpack's with normals: $(calc "${sizes[6]} / ${sizes[$g_ccn]}")  (the same content)"
