#!/usr/bin/env bash
# The page of scripts/web.sh in Debian's chromium, headless, driven by
# puppeteer-core (installed from npm into the build tree on first use): see
# page_test.js. The page is served from its folder by python's static file
# server on 127.0.0.1. Without the page, chromium, node or the package the
# test is skipped (exit 77), saying why.
# Usage: page_test.sh TOOL PAGE_FOLDER EXAMPLES MQO_SAMPLES_OR_EMPTY XSI_SAMPLES_OR_EMPTY WORK
set -uo pipefail
tool=$1 page=$2 examples=$3 mqo_samples=$4 xsi_samples=$5 work=$6
here=$(dirname "$(realpath "$0")")
puppeteer_version=25.19.0

. "$here/../tools/npm_package.sh"

[ -f "$page/index.html" ] && [ -f "$page/vellmar.wasm" ] || skip "no page in $page (scripts/web.sh builds it)"
[ -x /usr/bin/chromium ] || skip "Debian's chromium is not installed (apt-get install chromium)"
command -v python3 >/dev/null || skip "python3 is not installed, which serves the page"
mkdir -p "$work"
work=$(realpath "$work")  # node resolves a relative module path as a package name
npm_package puppeteer-core "$puppeteer_version" "$work/puppeteer" "driving chromium"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$page" "$port" >"$work/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null' EXIT
for _ in $(seq 1 100); do
  python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/index.html')" 2>/dev/null && break
  sleep 0.1
done

shopt -s nullglob
documents=("$(realpath "$examples")"/*.mqo)
if [ -n "$mqo_samples" ] && [ -d "$mqo_samples" ]; then documents+=("$(realpath "$mqo_samples")"/*.mqo "$(realpath "$mqo_samples")"/*.mqoz); fi
if [ -n "$xsi_samples" ] && [ -d "$xsi_samples" ]; then documents+=("$(realpath "$xsi_samples")"/*.xsi); fi
rm -rf "$work/run"
mkdir -p "$work/run"
node "$here/page_test.js" "$work/puppeteer" "http://127.0.0.1:$port/index.html" "$work/run" "$(realpath "$tool")" "${documents[@]}"
