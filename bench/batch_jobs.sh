#!/usr/bin/env bash
# A batch at 1 and at 2 jobs: 840 small documents (a torus of 24 x 16 quads
# under 840 names) and 8 large ones (a torus of 400 x 400 quads), converted
# to .glb with `vellmar convert --out-dir` and exported to .xsi. Prints each
# run's wall time (median of RUNS runs, default 3), the speed-up of 2 jobs
# over 1, whether the outputs of both are byte for byte the same and both
# exit statuses; then the time of a run with --newer over the converted
# folder, which reads no document.
#
# Usage: bench/batch_jobs.sh [RUNS]
# Uses the release build (build/release/bin/vellmar), built first.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-3}
# dotXSI files carry the time of their writing, unless this fixes it.
export SOURCE_DATE_EPOCH=1700000000
tool=build/release/bin/vellmar
cmake --build --preset release --target vellmar Vellmar vellmar_host >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/small" "$work/large"
python3 bench/make_torus.py 24 16 "$work/small/torus" >/dev/null
for i in $(seq -w 1 840); do cp "$work/small/torus.mqo" "$work/small/doc$i.mqo"; done
rm "$work/small/torus.mqo" "$work/small/torus.obj" "$work/small/torus.mtl" "$work/small/torus-normals.obj"
python3 bench/make_torus.py 400 400 "$work/large/torus" >/dev/null
for i in 1 2 3 4 5 6 7 8; do cp "$work/large/torus.mqo" "$work/large/doc$i.mqo"; done
rm "$work/large/torus.mqo" "$work/large/torus.obj" "$work/large/torus.mtl" "$work/large/torus-normals.obj"

# The median wall time of runs of a command, in seconds; its last exit
# status in the file $work/status.
median() {
  local times=() start end
  for _ in $(seq "$runs"); do
    rm -rf "$work/out"
    start=$(date +%s.%N)
    set +e
    "$@" >/dev/null 2>&1
    echo $? >"$work/status"
    set -e
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

for batch in small large; do
  for command in "convert --format glb" "export"; do
    t1=$(median "$tool" $command "$work/$batch"/*.mqo --out-dir "$work/out" --jobs 1)
    s1=$(cat "$work/status")
    mv "$work/out" "$work/out1"
    t2=$(median "$tool" $command "$work/$batch"/*.mqo --out-dir "$work/out" --jobs 2)
    s2=$(cat "$work/status")
    same=different
    diff -r "$work/out1" "$work/out" >/dev/null && same=identical
    printf '%-5s %-22s 1 job %6.2f s  2 jobs %6.2f s  speed-up %.2f  outputs %s  exit %d/%d\n' \
      "$batch" "$command" "$t1" "$t2" "$(echo "$t1 / $t2" | bc -l)" "$same" "$s1" "$s2"
    if [ "$batch" = small ] && [ "$command" != export ]; then
      start=$(date +%s.%N)
      "$tool" $command "$work/$batch"/*.mqo --out-dir "$work/out" --newer >/dev/null 2>&1
      end=$(date +%s.%N)
      printf '%-5s %-22s --newer over the converted folder %.3f s\n' "$batch" "$command" "$(echo "$end - $start" | bc)"
    fi
    rm -rf "$work/out" "$work/out1"
  done
done
