#!/usr/bin/env bash
# The page's speed (scripts/web.sh) in Debian's chromium, headless: the
# 300 x 300 torus from the drop to the 3D view's load event, and the
# 1,000 x 1,000 torus converted to .glb in the page, beside the native
# tool's time for the same conversion on one thread (VELLMAR_THREADS=1).
# Prints each run and the ratio of the medians.
#
# Usage: bench/web_bench.sh [RUNS]   (default 3)
# Needs the page (scripts/web.sh), the release tool (cmake --preset app),
# chromium, node and npm; puppeteer-core is installed into the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
work=${VELLMAR_BENCH_DIR:-build/web-bench}
tool=${VELLMAR_TOOL:-build/app/bin/vellmar}
[ -x "$tool" ] || tool=build/release/bin/vellmar
[ -x "$tool" ] || { echo "no release tool: cmake --preset app && cmake --build --preset app" >&2; exit 1; }
[ -f out/web/vellmar.wasm ] || { echo "no page: scripts/web.sh" >&2; exit 1; }
[ -x /usr/bin/chromium ] || { echo "chromium is not installed (apt-get install chromium)" >&2; exit 1; }

mkdir -p "$work/serve"
[ -f "$work/torus300.mqo" ] || python3 bench/make_torus.py 300 300 "$work/torus300"
[ -f "$work/torus1000.mqo" ] || python3 bench/make_torus.py 1000 1000 "$work/torus1000"
if [ ! -f "$work/puppeteer/node_modules/puppeteer-core/package.json" ]; then
  npm install --prefix "$work/puppeteer" --no-audit --no-fund puppeteer-core@25.19.0 >"$work/npm.log" 2>&1
fi
# The page's folder with the large torus beside it, for the page to fetch.
rm -f "$work/serve"/*
ln -s "$PWD"/out/web/* "$work/serve/"
ln -s "$PWD/$work/torus1000.mqo" "$PWD/$work/torus.png" "$work/serve/"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$work/serve" "$port" >"$work/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null' EXIT
sleep 1

node bench/web_page.js "$PWD/$work/puppeteer" "http://127.0.0.1:$port/index.html" "$PWD/$work/torus300.mqo" torus1000.mqo \
  "$runs" | tee "$work/page.txt"

native=()
for _ in $(seq 1 "$runs"); do
  start=$(date +%s%N)
  (cd "$work" && VELLMAR_THREADS=1 "$OLDPWD/$tool" convert -q torus1000.mqo native.glb)
  ms=$((($(date +%s%N) - start) / 1000000))
  native+=("$ms")
  echo "native: $ms ms to .glb on one thread"
done
page_sha=$(sed -n 's/^converted .*sha256 \([0-9a-f]*\).*/\1/p' "$work/page.txt" | sort -u)
native_sha=$(sha256sum "$work/native.glb" | cut -d' ' -f1)
if [ "$page_sha" = "$native_sha" ]; then
  echo "the page's .glb is the native tool's, byte for byte"
else
  echo "the page's .glb differs from the native tool's ($page_sha, native $native_sha)" >&2
fi
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
page_ms=$(sed -n 's/^converted .*: \([0-9]*\) ms.*/\1/p' "$work/page.txt")
shown_ms=$(sed -n 's/^shown .*: \([0-9]*\) ms.*/\1/p' "$work/page.txt")
# shellcheck disable=SC2086
page_median=$(median $page_ms)
native_median=$(median "${native[@]}")
echo "300 x 300 torus shown: median $(median $shown_ms) ms (target: 2000 ms)"
echo "1,000 x 1,000 torus to .glb: page $page_median ms, native one thread $native_median ms," \
  "ratio $(awk -v p="$page_median" -v n="$native_median" 'BEGIN { printf "%.2f", p / n }') (target: 3)"
