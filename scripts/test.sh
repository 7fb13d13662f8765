#!/usr/bin/env bash
# Builds and runs the whole test suite twice: in release, and in debug under
# AddressSanitizer and UndefinedBehaviorSanitizer with every report fatal.
# Then the 32-bit Windows build and its checks (module tables, and the tool
# under Wine against the native tool) when the MinGW-w64 cross compiler is
# there. With --windows it first installs the cross compiler and Wine, and
# the Windows build is no longer optional. --wine-emulation adds, for
# machines whose kernel cannot run 32-bit programs, qemu's emulator for
# Wine's 32-bit loader (for this run only) and the long wait that Wine then
# needs.
set -euo pipefail
cd "$(dirname "$0")/.."

windows=when-present
emulation=no
for arg in "$@"; do
  case "$arg" in
    --windows) windows=required ;;
    --wine-emulation) windows=required emulation=yes ;;
    -h | --help)
      echo "usage: scripts/test.sh [--windows] [--wine-emulation]"
      echo "  --windows         install the MinGW-w64 cross compiler and Wine, and build and check the Windows build"
      echo "  --wine-emulation  as --windows, and run Wine through qemu where the kernel cannot run 32-bit programs"
      echo "                    (root; registers qemu with binfmt_misc for this run; the Wine test then takes about 20 minutes)"
      exit 0
      ;;
    *)
      echo "scripts/test.sh: unknown option '$arg' (try --help)" >&2
      exit 2
      ;;
  esac
done

# libassimp-dev: a reader that no one here wrote loads what convert writes;
# assimp-utils: its command line, for the benchmarks.
scripts/setup-deps.sh g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libosd-dev \
  libassimp-dev assimp-utils
if [ "$windows" = required ]; then
  # Wine's 32-bit loader comes from the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" -eq 0 ]; then
      dpkg --add-architecture i386
    else
      echo "Enable the i386 architecture with: sudo dpkg --add-architecture i386" >&2
      exit 1
    fi
  fi
  scripts/setup-deps.sh g++-mingw-w64-i686 libz-mingw-w64-dev wine wine32:i386
fi
# Seconds that Wine may take to start a trivial program, and that the whole
# Wine test may take (0: the test's own bound). Under emulation the first
# start, which also creates Wine's prefix, takes about ten minutes, and the
# whole test about twenty; the bound keeps a hung run well inside CI's time.
wine_timeout=120
wine_test_timeout=0
if [ "$emulation" = yes ]; then
  # The emulator is registered for this run only: a handler that was not
  # there before is removed again on the way out.
  binfmt_handler=/proc/sys/fs/binfmt_misc/qemu-i386
  if [ ! -e "$binfmt_handler" ]; then
    trap '[ ! -e "$binfmt_handler" ] || echo -1 >"$binfmt_handler" || true' EXIT
  fi
  # Without the emulator the Wine test reports itself skipped, as it does
  # on any machine where Wine cannot start.
  scripts/enable-i386-emulation.sh ||
    echo "warning: no emulator for 32-bit programs; the Wine test will report itself skipped" >&2
  wine_timeout=1800
  wine_test_timeout=3600
fi

jobs=$(nproc 2>/dev/null || echo 2)
for preset in release debug; do
  echo "=== $preset ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

if [ "$windows" = required ] || command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1; then
  # After release: the Wine test compares with the native release tool.
  echo "=== win32 ==="
  scripts/setup-deps.sh libz-mingw-w64-dev
  cmake --preset win32 -DVELLMAR_WINE_TIMEOUT="$wine_timeout" -DVELLMAR_WINE_TEST_TIMEOUT="$wine_test_timeout"
  cmake --build --preset win32 -j "$jobs"
  ctest --preset win32
  echo "All tests passed (release, debug with sanitizers, and the Windows build)."
else
  echo "All tests passed (release, and debug with sanitizers)."
  echo "The Windows build was not checked: no MinGW-w64 cross compiler (scripts/test.sh --windows installs it)."
fi
