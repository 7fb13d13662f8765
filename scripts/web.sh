#!/usr/bin/env bash
# Builds the page that runs vellmar in the browser into out/web/: the tool
# compiled to WebAssembly by Debian's emscripten (the same code as the
# command line, on one thread), the page and its worker (web/), and the 3D
# view (@google/model-viewer from npm, installed into the build tree).
# Everything the page loads lies in that folder: serve it with any static
# file server (python3 -m http.server -d out/web) and open it.
# The libraries that Debian ships only for this machine (zlib for .mqoz,
# meshoptimizer for glTF's drawing order and --compress, OpenSubdiv for
# --freeze of subdivision surfaces) are built for the browser from Debian's
# source packages by scripts/third-party.sh wasm, which the web preset runs.
set -euo pipefail
cd "$(dirname "$0")/.."

model_viewer_version=4.4.0
build=build/web
out=out/web

scripts/setup-deps.sh emscripten g++ cmake ninja-build libtinygltf-dev nlohmann-json3-dev libstb-dev
command -v npm >/dev/null || { echo "scripts/web.sh: npm is needed for the 3D view (@google/model-viewer)" >&2; exit 1; }
# Debian's emscripten runs its JavaScript optimiser with node-acorn, which
# lives where Debian's node modules do.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
fi
mkdir -p "$build"

# Code page 932 as this machine's iconv has it: the browser's C library has
# no such table.
g++ -O1 -I. -o "$build/code_page_table" web/code_page_table.cpp
"$build/code_page_table" >"$build/code_page_932.inc.new"
if cmp -s "$build/code_page_932.inc.new" "$build/code_page_932.inc"; then
  rm "$build/code_page_932.inc.new"
else
  mv "$build/code_page_932.inc.new" "$build/code_page_932.inc"
fi

cmake --preset web -DVELLMAR_CODE_PAGE_TABLE="$PWD/$build/code_page_932.inc" >"$build/configure.log" ||
  { cat "$build/configure.log" >&2; exit 1; }
cmake --build --preset web --target vellmar

# The 3D view, from npm into the build tree.
viewer=$build/npm/node_modules/@google/model-viewer
if [ ! -f "$viewer/package.json" ] || ! grep -q "\"version\": \"$model_viewer_version\"" "$viewer/package.json"; then
  npm install --prefix "$build/npm" --no-audit --no-fund "@google/model-viewer@$model_viewer_version" >"$build/npm.log" 2>&1 ||
    { tail -n 5 "$build/npm.log" >&2; exit 1; }
fi

rm -rf "$out"
mkdir -p "$out"
cp web/index.html web/page.css web/page.js web/worker.js web/zip.js "$out/"
cp "$build/bin/vellmar.js" "$build/bin/vellmar.wasm" "$out/"
cp "$viewer/dist/model-viewer-umd.min.js" "$out/"
echo "The page is in $out/: serve it with, for example, python3 -m http.server -d $out 8000 and open http://127.0.0.1:8000/"
