#!/usr/bin/env bash
# Builds the 32-bit Windows plug-in with the MinGW-w64 cross compiler and
# packs it for users: build/win32/Vellmar-VERSION-win32.zip holds Vellmar.dll
# and INSTALL.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh cmake ninja-build g++-mingw-w64-i686 libz-mingw-w64-dev

cmake --preset win32
cmake --build --preset win32 --target package_win32
ls build/win32/Vellmar-*-win32.zip
