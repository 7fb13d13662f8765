#!/usr/bin/env bash
# Builds and runs the whole test suite twice: in release, and in debug under
# AddressSanitizer and UndefinedBehaviorSanitizer with every report fatal.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev pkg-config libzip-dev \
  assimp-utils

jobs=$(nproc 2>/dev/null || echo 2)
for preset in release debug; do
  echo "=== $preset ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
echo "All tests passed (release, and debug with sanitizers)."
