#!/usr/bin/env bash
# Lets wine64 run 32-bit Windows programs where Wine's 32-bit loader
# (wine32:i386) cannot be installed: in its wow64 mode wine64 runs them in a
# 64-bit process, and needs only the 32-bit Windows-side DLLs, which come in
# the libwine:i386 package. That package is downloaded in the very version of
# the installed libwine:amd64, but never installed: its i386-windows folder
# is unpacked into DIR (default build/wine-wow64), where Wine finds it
# through WINEDLLPATH=DIR. Nothing outside DIR changes, and a DIR that
# already holds that version is left as it is.
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  -h | --help)
    echo "usage: scripts/wine-wow64-dlls.sh [DIR]"
    echo "  unpacks the 32-bit Windows DLLs of the installed Wine into DIR/i386-windows"
    echo "  (default DIR: build/wine-wow64); run the 32-bit tests with WINEDLLPATH=DIR"
    exit 0
    ;;
esac
dir=$(realpath -m "${1:-build/wine-wow64}")
stamp=$dir/.version

fail() {
  echo "wine-wow64-dlls: $*" >&2
  exit 1
}

version=$(dpkg-query -W -f='${Version}' libwine:amd64 2>/dev/null) ||
  fail "wine64 (package libwine:amd64) is not installed"
[ -n "$version" ] || fail "wine64 (package libwine:amd64) is not installed"
if [ "$(cat "$stamp" 2>/dev/null)" = "$version" ] && [ -f "$dir/i386-windows/ntdll.dll" ]; then
  echo "The 32-bit Windows DLLs of Wine $version are in $dir"
  exit 0
fi

# Everything is made in a scratch folder beside DIR and moved in at the end,
# so that an interrupted run leaves no half folder that looks complete.
mkdir -p "$dir"
scratch=$(mktemp -d "$dir/.incoming.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# apt fetches as its own unprivileged user where it can switch to one; that
# user cannot write into the scratch folder, so the download stays with the
# user who runs this.
download() {
  (cd "$scratch" && apt-get -q -o APT::Sandbox::User="$(id -un)" download "libwine:i386=$version")
}
if ! download >"$scratch/download.log" 2>&1; then
  # Lists without the i386 index, or older than the installed version.
  if [ "$(id -u)" -eq 0 ] && apt-get update -qq >/dev/null 2>&1 && download >"$scratch/download.log" 2>&1; then
    :
  else
    fail "apt cannot download libwine:i386 $version ($(grep -E '^(E|W):' "$scratch/download.log" | head -n 1))"
  fi
fi
shopt -s nullglob
debs=("$scratch"/libwine_*_i386.deb)
shopt -u nullglob
[ ${#debs[@]} -eq 1 ] || fail "apt downloaded no libwine:i386 package"
deb=${debs[0]}
if [ "$(dpkg-deb --field "$deb" Version)" != "$version" ] || [ "$(dpkg-deb --field "$deb" Architecture)" != i386 ]; then
  fail "$deb is not libwine:i386 $version"
fi

folder=usr/lib/i386-linux-gnu/wine/i386-windows
mkdir "$scratch/unpacked"
dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$scratch/unpacked" --wildcards "./$folder/*"
[ -f "$scratch/unpacked/$folder/ntdll.dll" ] || fail "$deb holds no $folder/ntdll.dll"

rm -rf "$dir/i386-windows" "$stamp"
mv "$scratch/unpacked/$folder" "$dir/i386-windows"
echo "$version" >"$stamp"
echo "The 32-bit Windows DLLs of Wine $version are now in $dir ($(du -sh "$dir/i386-windows" | cut -f 1))"
