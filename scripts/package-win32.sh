#!/usr/bin/env bash
# Builds the 32-bit Windows build with the MinGW-w64 cross compiler and packs
# it for users, in build/win32/:
#   Vellmar-VERSION-win32.zip      Vellmar.dll and INSTALL.txt, for the modeller
#   vellmar-VERSION-win32-cli.zip  vellmar.exe, vellmar_host.dll, Vellmar.dll and
#                                  README.txt, for the command line
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh cmake ninja-build g++-mingw-w64-i686-posix libz-mingw-w64-dev libtinygltf-dev nlohmann-json3-dev libstb-dev

cmake --preset win32
cmake --build --preset win32 --target package_win32
ls build/win32/Vellmar-*-win32.zip build/win32/vellmar-*-win32-cli.zip
