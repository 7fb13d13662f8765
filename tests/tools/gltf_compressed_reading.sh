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

skip() {
  echo "SKIPPED: $*"
  exit 77
}

out=$work/gltf-compressed-reading
rm -rf "$out"
mkdir -p "$out"
if ! "$tool" convert "$examples/cube.mqo" "$out/probe.glb" --compress >/dev/null 2>"$out/probe.err"; then
  skip "this build cannot compress: $(cat "$out/probe.err")"
fi
command -v node >/dev/null || skip "node is not installed"
if [ ! -f "$decoder/node_modules/meshoptimizer/package.json" ]; then
  command -v npm >/dev/null || skip "npm is not installed, so the meshoptimizer decoder cannot be"
  mkdir -p "$decoder"
  if ! npm install --prefix "$decoder" --no-audit --no-fund "meshoptimizer@$version" >"$work/npm-meshoptimizer.log" 2>&1; then
    skip "npm could not install meshoptimizer@$version: $(tail -n 1 "$work/npm-meshoptimizer.log")"
  fi
fi

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
