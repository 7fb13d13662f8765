#!/usr/bin/env bash
# The glTF validator on what convert writes: every example, every real
# document and every real dotXSI file as .gltf (with its .bin) and as .glb,
# each also with --compress where the tool can compress, in folders that
# hold no texture. No file may have an error (a missing image is one), nor
# a warning other than those that the README's table of allowed validator
# warnings names, nor an image stored outside its buffer. The validator
# (npm package gltf-validator, run
# with node) is installed into the build tree on first use. Without node, npm
# or the package the test is skipped (exit 77), saying why.
# Usage: gltf_validation.sh TOOL EXAMPLES SAMPLES_OR_EMPTY README WORK [XSI_SAMPLES_OR_EMPTY]
set -uo pipefail
tool=$1 examples=$2 samples=$3 readme=$4 work=$5 xsi_samples=${6:-}
here=$(dirname "$(realpath "$0")")
version=2.0.0-dev.3.10
validator=$work/gltf-validator-$version

. "$here/npm_package.sh"
npm_package gltf-validator "$version" "$validator" "the glTF validator"

# The allowed warnings: the codes in the first column of the README's table.
allowed=$(sed -n '/^### Validator warnings allowed/,/^#/p' "$readme" | sed -n 's/^| `\([A-Z_]*\)` |.*/\1/p' | paste -sd, -)

out=$work/gltf-validation
rm -rf "$out"
mkdir -p "$out/examples" "$out/samples" "$out/xsi"
files=()
# The compressed forms too, unless this build cannot compress.
variants=("")
if "$tool" convert "$examples/cube.mqo" "$out/probe.glb" --compress >/dev/null 2>&1; then
  variants+=("--compress")
  echo "Validating each file as written and with --compress"
else
  echo "This build cannot compress: validating each file as written only"
fi
convert_all() {  # FOLDER INPUT...
  local folder=$1 input name ext variant suffix
  shift
  for input in "$@"; do
    name=$(basename "$input")
    name=${name%.*}
    for ext in gltf glb; do
      for variant in "${variants[@]}"; do
        suffix=${variant:+.compressed}
        if ! "$tool" convert -q "$input" "$folder/$name$suffix.$ext" $variant >/dev/null 2>"$out/convert.err"; then
          echo "FAIL: convert $input to .$ext $variant: $(cat "$out/convert.err")"
          exit 1
        fi
        files+=("$folder/$name$suffix.$ext")
      done
    done
  done
}
shopt -s nullglob
convert_all "$out/examples" "$examples"/*.mqo
if [ -n "$samples" ] && [ -d "$samples" ]; then
  convert_all "$out/samples" "$samples"/*.mqo "$samples"/*.mqoz
fi
if [ -n "$xsi_samples" ] && [ -d "$xsi_samples" ]; then
  convert_all "$out/xsi" "$xsi_samples"/*.xsi
fi
# A document without objects, and its dotXSI export: a scene with nothing
# in it is still a scene.
mkdir -p "$out/empty"
printf 'Metasequoia Document\nFormat Text Ver 1.0\n\nEof\n' >"$out/empty/empty.mqo"
"$tool" export -q "$out/empty/empty.mqo" "$out/empty/empty_export.xsi" || { echo "FAIL: export of an empty document"; exit 1; }
convert_all "$out/empty" "$out/empty/empty.mqo" "$out/empty/empty_export.xsi"
[ ${#files[@]} -gt 0 ] || { echo "FAIL: no documents found in $examples"; exit 1; }

node "$here/gltf_validate.js" "$validator" "$allowed" "${files[@]}"
