#!/usr/bin/env bash
# A second reader of compressed glTF: every example, every real document
# and every real dotXSI file is written as .glb and, with --compress, as .glb and .gltf; the
# meshoptimizer package's decoder (run with node, installed into the build
# tree on first use, as the validator is) reads the compressed files, which
# must draw what the uncompressed one draws within the errors the README
# states. Without node, npm, the package or a tool that can compress, the
# test is skipped (exit 77), saying why.
# Usage: gltf_compressed_reading.sh TOOL EXAMPLES SAMPLES_OR_EMPTY WORK [XSI_SAMPLES_OR_EMPTY]
set -uo pipefail
tool=$1 examples=$2 samples=$3 work=$4 xsi_samples=${5:-}
here=$(dirname "$(realpath "$0")")
version=0.18.1
decoder=$work/meshoptimizer-$version
# The largest angle between a normal and its 8-bit octahedral form, once
# decoded (the README's table of errors).
max_normal_degrees=1.3

. "$here/npm_package.sh"

out=$work/gltf-compressed-reading
rm -rf "$out"
mkdir -p "$out"
if ! "$tool" convert "$examples/cube.mqo" "$out/probe.glb" --compress >/dev/null 2>"$out/probe.err"; then
  skip "this build cannot compress: $(cat "$out/probe.err")"
fi
npm_package meshoptimizer "$version" "$decoder" "the meshoptimizer decoder"

pairs=()
shopt -s nullglob
inputs=("$examples"/*.mqo)
if [ -n "$samples" ] && [ -d "$samples" ]; then inputs+=("$samples"/*.mqo "$samples"/*.mqoz); fi
if [ -n "$xsi_samples" ] && [ -d "$xsi_samples" ]; then inputs+=("$xsi_samples"/*.xsi); fi
for input in "${inputs[@]}"; do
  name=$(basename "$input")  # with its extension: a document and a dotXSI file may share a name
  for output in "$name.glb" "$name.compressed.glb --compress" "$name.compressed.gltf --compress"; do
    set -- $output
    if ! "$tool" convert -q "$input" "$out/$1" ${2:-} >/dev/null 2>"$out/convert.err"; then
      echo "FAIL: convert $input to $1 ${2:-}: $(cat "$out/convert.err")"
      exit 1
    fi
  done
  pairs+=("$out/$name.glb" "$out/$name.compressed.glb" "$out/$name.glb" "$out/$name.compressed.gltf")
done
[ ${#pairs[@]} -gt 0 ] || { echo "FAIL: no documents found in $examples"; exit 1; }

node "$here/gltf_compressed_check.js" "$decoder" "$max_normal_degrees" "${pairs[@]}"
