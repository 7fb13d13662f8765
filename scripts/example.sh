#!/usr/bin/env bash
# The main job: builds the plug-in and the vellmar tool, then exports the
# bundled example documents to dotXSI through the plug-in module.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh g++ cmake ninja-build zlib1g-dev libosd-dev libtinygltf-dev nlohmann-json3-dev libstb-dev \
  libmeshoptimizer-dev

cmake --preset app >/dev/null
cmake --build --preset app --target vellmar Vellmar
out=out/examples
build/app/bin/vellmar export examples/*.mqo --out-dir "$out"
echo "The dotXSI files are in $(pwd)/$out"
