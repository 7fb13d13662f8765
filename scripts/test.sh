#!/usr/bin/env bash
# Builds and runs the whole test suite: in release, and in debug under
# AddressSanitizer and UndefinedBehaviorSanitizer with every report fatal;
# in both, each test program also runs once whole in shuffled order.
# Then the other builds, each where its compiler is installed: the 32-bit and
# 64-bit Windows builds with their checks (module tables, and the tool under
# Wine against the native tool), and the 32-bit x86 Linux build with its
# tests (through qemu where the kernel cannot run 32-bit programs). What such
# a build needs beyond its compiler (the MinGW-w64 zlib) is installed first;
# where it cannot be, the build is skipped and the summary says why. The
# libraries that Debian has no package of for these builds (meshoptimizer,
# OpenSubdiv, and zlib for i386) are built from Debian's source packages
# first, once per build tree (scripts/third-party.sh).
# --windows first installs what those builds need and makes them required;
# where Wine's 32-bit loader (wine32:i386) cannot be installed or run, it
# unpacks the 32-bit Windows DLLs that wine64's wow64 mode needs into the
# build tree instead. It fails when no Windows end-to-end comparison could
# run at all. --wine-emulation also lets Wine's 32-bit loader try qemu where
# the kernel cannot run it and wow64 is not to be had. Last, every fuzz
# target runs for a minute (scripts/fuzz.sh) where clang is installed (with
# either option it is installed). The summary names the road that 32-bit
# Wine took, and the last line every check that did not run, and why.
# --plan installs what the builds need and says which builds would run and
# which not, and why, without building anything.
set -euo pipefail
cd "$(dirname "$0")/.."

others=when-present
emulation=no
plan=no
for arg in "$@"; do
  case "$arg" in
    --windows) others=required ;;
    --wine-emulation) others=required emulation=yes ;;
    --plan) plan=yes ;;
    -h | --help)
      echo "usage: scripts/test.sh [--windows] [--wine-emulation] [--plan]"
      echo "  --windows         install the MinGW-w64 cross compilers, Wine, the 32-bit toolchain and qemu, and build"
      echo "                    and check the win32, win64 and i386 builds; where wine32:i386 cannot be installed"
      echo "                    or run, unpack the 32-bit Windows DLLs for wine64's wow64 mode into build/wine-wow64"
      echo "  --wine-emulation  as --windows, and where the kernel cannot run 32-bit programs and wow64 is not to be"
      echo "                    had, let Wine's 32-bit loader try qemu (root; registers qemu with binfmt_misc during"
      echo "                    the win32 checks)"
      echo "  --plan            install what the builds need, then list the builds that would run and those"
      echo "                    skipped (and why), and stop"
      echo "VELLMAR_NO_NATIVE_32BIT=1 runs everything as on a kernel that cannot run 32-bit programs."
      echo "VELLMAR_FUZZ_SECONDS=N fuzzes each target for N seconds at the end (default 60; 0 leaves fuzzing out)."
      exit 0
      ;;
    *)
      echo "scripts/test.sh: unknown option '$arg' (try --help)" >&2
      exit 2
      ;;
  esac
done

jobs=$(nproc 2>/dev/null || echo 2)
skipped=()  # "check (why)"
ran=()      # the builds whose tests ran
times=()    # "part m:ss"
part_start=$SECONDS
part_done() {
  local seconds=$((SECONDS - part_start))
  times+=("$1 $((seconds / 60)):$(printf '%02d' $((seconds % 60)))")
  part_start=$SECONDS
}

# The arguments after the first, joined by the first.
join() {
  local separator=$1 out="" item
  shift
  for item in "$@"; do out+="${out:+$separator}$item"; done
  echo "$out"
}

# The tests that ctest reports as not run, with the reason that each gave
# (a GoogleTest skip message, or a script's "SKIPPED: why" line), from its
# JUnit file: one "name (why)" per line.
ctest_skips() {
  awk '
    function unescape(s) {
      gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s); gsub(/&apos;/, "\047", s)
      gsub(/&amp;/, "\\&", s)
      return s
    }
    /<testcase / {
      name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
      notrun = ($0 ~ /status="(notrun|disabled)"/); why = ""; previous = ""
      next
    }
    notrun && why == "" {
      line = $0; sub(/.*<system-out>/, "", line)
      if (line ~ /^SKIPPED: /) why = substr(line, 10)
      else if (previous ~ /: Skipped$/) why = line
      previous = line
    }
    /<\/testcase>/ && notrun {
      print unescape(name) " (" (why == "" ? "no reason given" : unescape(why)) ")"
      notrun = 0
    }
  ' "$1"
}

# Configures, builds and tests one preset; the tests' skips join the list.
run_preset() {
  local preset=$1
  shift
  echo "=== $preset ==="
  cmake --preset "$preset" "$@"
  cmake --build --preset "$preset" -j "$jobs"
  local junit=$PWD/build/$preset/ctest-junit.xml
  rm -f "$junit"
  ctest --preset "$preset" -j "$ctest_jobs" --output-junit "$junit"
  local line
  while IFS= read -r line; do
    [ -z "$line" ] || skipped+=("$preset: $line")
  done < <(ctest_skips "$junit")
  ran+=("$preset")
}

# Whether the JUnit file of a preset shows its test NAME as run and passed.
test_ran() {
  grep -q "<testcase name=\"$2\"[^>]* status=\"run\"" "build/$1/ctest-junit.xml" 2>/dev/null
}

# The road that the Wine test NAME of a preset says it took ("Wine road:"
# in its output).
wine_road() {
  awk -v name="$2" '
    /<testcase / { here = index($0, "<testcase name=\"" name "\"") > 0 }
    here && match($0, /Wine road: [a-z0-9]+/) { print substr($0, RSTART + 11, RLENGTH - 11); exit }
  ' "build/$1/ctest-junit.xml"
}

# libassimp-dev: a reader that no one here wrote loads what convert writes;
# assimp-utils: its command line, for the benchmarks; libtinygltf-dev and
# nlohmann-json3-dev: the glTF writer's library; libmeshoptimizer-dev: the
# order and compression of its meshes (the glTF validator and the decoder
# of compressed files that the tests run come from npm, with the node that
# the machine has); libstb-dev: the image reading and PNG writing of glTF
# textures; python3-ezdxf: a DXF reader that no one here wrote reads back
# the layer names; dpkg-dev: dpkg-source, which unpacks the Debian source
# packages of the libraries that the other builds build for themselves;
# librecad: a second DXF reader prints every DXF file; parallel: GNU
# parallel runs the README's recipe for batches over several machines.
scripts/setup-deps.sh g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libosd-dev \
  libassimp-dev assimp-utils libtinygltf-dev nlohmann-json3-dev libmeshoptimizer-dev libstb-dev python3-ezdxf \
  dpkg-dev librecad parallel
if [ "$others" = required ]; then
  # Wine's 32-bit loader and the C library of 32-bit programs come from the
  # i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" -eq 0 ]; then
      dpkg --add-architecture i386
    else
      echo "Enable the i386 architecture with: sudo dpkg --add-architecture i386" >&2
      exit 1
    fi
  fi
  windows_packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64
    g++-multilib qemu-user-static)
  # 32-bit Wine needs i386 libraries of the very versions installed for
  # amd64; when the archive cannot give them (an i386 index that failed to
  # download, a mirror behind the other), the rest is installed without it
  # and 32-bit Wine takes the wow64 road below.
  if ! scripts/setup-deps.sh "${windows_packages[@]}" wine32:i386; then
    echo "warning: installing again without wine32:i386; 32-bit Wine will run in wine64's wow64 mode" >&2
    scripts/setup-deps.sh "${windows_packages[@]}"
  fi
fi
part_done apt

# The other builds that run after release and debug: each where its
# compiler is installed (every one with --windows) and what it needs beyond
# the compiler is there or can be installed; the others are skipped, with
# the reason.
others_to_run=()
support=$(scripts/i386-support.sh)

# Installs the packages that BUILD needs beyond its compiler, where this
# user may (scripts/setup-deps.sh); where not, BUILD is skipped with the
# reason: the command to run as root, or apt's last word.
needs_packages() {  # BUILD PACKAGE...
  local build=$1 log status=0 why
  shift
  log=$(mktemp)
  scripts/setup-deps.sh "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then
    cat "$log"
  else
    if [ "$(id -u)" -ne 0 ]; then
      why="install it as root: sudo apt-get install -y $*"
    else
      why="apt could not install it: $(grep -v '^ *$' "$log" | tail -n 1)"
    fi
    skipped+=("$build (it needs $*, which is not installed; $why)")
  fi
  rm -f "$log"
  return "$status"
}

# The stand-in host of the Windows builds reads .mqoz archives with the
# MinGW-w64 zlib.
if [ "$others" = required ] || command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1; then
  if needs_packages win32 libz-mingw-w64-dev; then others_to_run+=(win32); fi
else
  skipped+=("win32 (no MinGW-w64 compiler for 32-bit Windows; scripts/test.sh --windows installs it)")
fi
if [ "$others" = required ] || command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1; then
  if needs_packages win64 libz-mingw-w64-dev; then others_to_run+=(win64); fi
else
  skipped+=("win64 (no MinGW-w64 compiler for 64-bit Windows; scripts/test.sh --windows installs it)")
fi
# The 32-bit Linux build: natively where the kernel runs 32-bit programs,
# else each test program through qemu.
i386_emulator=""
[ "$support" = native ] || i386_emulator=qemu-i386-static
if ! { [ "$others" = required ] || echo 'int main() {}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null; }; then
  skipped+=("i386 (no 32-bit x86 toolchain; scripts/test.sh --windows installs g++-multilib)")
elif [ -n "$i386_emulator" ] && ! command -v "$i386_emulator" >/dev/null 2>&1; then
  skipped+=("i386 (this machine cannot run 32-bit programs, and qemu-user-static is not installed;\
 scripts/test.sh --windows installs it)")
else
  others_to_run+=(i386)
fi
# The page that runs vellmar in the browser (scripts/web.sh), in Debian's
# chromium against the release tool: where emscripten, chromium and npm
# can be had.
if ! command -v npm >/dev/null 2>&1; then
  skipped+=("web (npm is not installed, which gives the 3D view and puppeteer-core)")
elif needs_packages web emscripten chromium; then
  others_to_run+=(web)
fi
# Fuzzing, after all the rest: every fuzz target of tests/fuzz for a minute
# (VELLMAR_FUZZ_SECONDS; 0 leaves it out) from its stored corpus; a crash or
# a sanitizer report fails the run. With --windows or --wine-emulation (the
# CI) clang is installed for it; otherwise it runs where clang is there.
fuzz_seconds=${VELLMAR_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" = 0 ]; then
  skipped+=("fuzzing (VELLMAR_FUZZ_SECONDS=0)")
elif [ "$others" = required ] && ! needs_packages fuzzing clang-14 libclang-rt-14-dev; then
  :  # skipped, with the reason
elif fuzz_missing=$(scripts/fuzz.sh --check); then
  others_to_run+=(fuzzing)
else
  skipped+=("fuzzing ($fuzz_missing)")
fi
runs() { [[ " ${others_to_run[*]} " == *" $1 "* ]]; }

if [ "$plan" = yes ]; then
  echo "Would run: $(join ', ' release debug "${others_to_run[@]}")."
  if [ ${#skipped[@]} -eq 0 ]; then
    echo "Would skip: nothing."
  else
    echo "Would skip: $(join '; ' "${skipped[@]}")."
  fi
  exit 0
fi

# Each test program of a preset run whole, in one process, its tests in
# shuffled order (the seed is in the log): ctest runs every test in a
# process of its own, which hides a test that passes only alone or only
# after another.
run_whole_shuffled() {
  local preset=$1 program log
  log=$(mktemp)
  for program in "build/$preset/bin/"*_tests; do
    echo "--- $program, whole and shuffled"
    if ! "$program" --gtest_shuffle >"$log" 2>&1; then
      grep -E '^(Note: Randomizing|\[  FAILED  \])' "$log" >&2 || tail -n 40 "$log" >&2
      rm -f "$log"
      echo "FAILED: $program, run whole in shuffled order" >&2
      exit 1
    fi
    grep -E '^Note: Randomizing|^\[  PASSED  \]' "$log"
  done
  rm -f "$log"
}

# The libraries that Debian has no package of for BUILD (meshoptimizer,
# OpenSubdiv, and zlib for i386), built from Debian's source packages into
# build/third-party/TARGET once per build tree (the preset's configure finds
# them there). Where they cannot be had (no network, say), BUILD fails when
# it is required and is skipped otherwise, with the script's last word.
third_party() {  # BUILD TARGET
  local build=$1 log status=0
  log=$(mktemp)
  scripts/third-party.sh "$2" 2>&1 | tee "$log" || status=$?
  if [ "$status" -ne 0 ]; then
    if [ "$others" = required ]; then
      echo "FAILED: the libraries of $build could not be built: $(tail -n 1 "$log")" >&2
      rm -f "$log"
      exit 1
    fi
    skipped+=("$build (its libraries could not be built from Debian's sources: $(tail -n 1 "$log"))")
  fi
  rm -f "$log"
  part_done "$build libraries"
  return "$status"
}

ctest_jobs=$jobs
for preset in release debug; do
  run_preset "$preset"
  run_whole_shuffled "$preset"
  part_done "$preset"
done

# The page after release, whose tool its downloads are held against; the
# real documents are those that the release build found.
if runs web; then
  echo "=== web ==="
  scripts/web.sh
  sample_folder() { sed -n "s/^$1:PATH=//p" build/release/CMakeCache.txt; }
  web_log=build/web/page-test.log
  web_status=0
  tests/web/page_test.sh build/release/bin/vellmar out/web examples "$(sample_folder VELLMAR_MQO_SAMPLES)" \
    "$(sample_folder VELLMAR_XSI_SAMPLES)" build/web/page-test 2>&1 | tee "$web_log" || web_status=$?
  if [ "$web_status" -eq 77 ]; then
    skipped+=("web page test ($(sed -n 's/^SKIPPED: //p' "$web_log" | tail -n 1))")
  elif [ "$web_status" -ne 0 ]; then
    echo "FAILED: the page in the browser (tests/web/page_test.sh; log: $web_log)" >&2
    exit 1
  else
    ran+=("web (the page in chromium)")
  fi
  part_done web
fi

# The Windows builds come after release: their Wine tests compare with the
# native release tool. Wine runs one test at a time.
ctest_jobs=1
if runs win32 && third_party win32 mingw-i686; then
  # Seconds that Wine may take to make its prefix and to start a trivial
  # program, and that the whole Wine test may take (0: the test's own bound).
  wine_timeout=300 wine_test_timeout=0
  # The win32 Wine test runs Wine's 32-bit loader where it is installed and
  # the machine runs 32-bit programs; else wine64 in its wow64 mode with the
  # 32-bit Windows DLLs of libwine:i386, which are unpacked here into the
  # build tree (nothing is installed). The test names the road it took.
  wow64_dlls=no
  if [ "$others" = required ] && { [ ! -x /usr/lib/wine/wine ] || [ "$support" = none ]; }; then
    if scripts/wine-wow64-dlls.sh build/wine-wow64; then
      wow64_dlls=yes
    else
      echo "warning: no 32-bit Windows DLLs for wine64's wow64 mode; the win32 Wine test will say why it cannot run" >&2
    fi
  fi
  binfmt_handler=/proc/sys/fs/binfmt_misc/qemu-i386
  registered_here=no
  if [ "$emulation" = yes ] && [ "$support" = none ] && [ "$wow64_dlls" = no ]; then
    # The emulator is registered for the win32 checks only, and a handler
    # that was not there before is removed again. Whether Wine's 32-bit
    # loader runs under it is decided by a short probe, not by a long wait.
    if [ ! -e "$binfmt_handler" ]; then
      registered_here=yes
      trap '[ ! -e "$binfmt_handler" ] || echo -1 >"$binfmt_handler" || true' EXIT
    fi
    scripts/enable-i386-emulation.sh ||
      echo "warning: no emulator for 32-bit programs; the win32 Wine test will report itself skipped" >&2
    wine_timeout=180 wine_test_timeout=3600
  fi
  run_preset win32 -DVELLMAR_WINE_TIMEOUT="$wine_timeout" -DVELLMAR_WINE_TEST_TIMEOUT="$wine_test_timeout" \
    -DVELLMAR_WINE_WOW64_DLLS="$PWD/build/wine-wow64"
  if [ "$registered_here" = yes ] && [ -e "$binfmt_handler" ]; then
    echo -1 >"$binfmt_handler"
  fi
  if test_ran win32 win32_wine_end_to_end; then
    road=$(wine_road win32 win32_wine_end_to_end)
    ran[-1]="win32 (32-bit Wine: ${road:-the test named no road})"
  fi
  part_done win32
fi
if runs win64 && third_party win64 mingw-x86_64; then
  run_preset win64
  part_done win64
fi

ctest_jobs=$jobs
if runs i386 && third_party i386 i386; then
  run_preset i386 -DCMAKE_CROSSCOMPILING_EMULATOR="$i386_emulator"
  [ -z "$i386_emulator" ] || ran[-1]="i386 through $i386_emulator"
  part_done i386
fi

if runs fuzzing; then
  scripts/fuzz.sh "$fuzz_seconds"
  ran+=("fuzzing (${fuzz_seconds} s a target)")
  part_done fuzzing
fi

echo "Times (minutes:seconds): $(join ', ' "${times[@]}"), total $((SECONDS / 60)):$(printf '%02d' $((SECONDS % 60)))"
if [ "$others" = required ] && ! test_ran win32 win32_wine_end_to_end && ! test_ran win64 win64_wine_end_to_end; then
  echo "FAILED: the Windows tool was not run under Wine at all (the reasons are listed below)" >&2
  echo "Skipped: $(join '; ' "${skipped[@]}")." >&2
  exit 1
fi
echo "All tests passed in: $(join ', ' "${ran[@]}")."
if [ ${#skipped[@]} -eq 0 ]; then
  echo "Skipped: nothing."
else
  echo "Skipped: $(join '; ' "${skipped[@]}")."
fi
