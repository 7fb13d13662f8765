#!/usr/bin/env bash
# Builds the third-party libraries that a target has no Debian package of,
# from Debian's own source packages: meshoptimizer and OpenSubdiv (the parts
# of its CPU library that the freeze's subdivision uses) for every target,
# and zlib where the target has none. The sources are fetched with
# `apt-get source` from the archive that the machine already uses, in the
# versions that the native build links (those of the installed -dev
# packages); apt checks the signed index, the .dsc's checksums and unpacks
# them with Debian's patches. Nothing outside the build tree changes: apt
# runs with a source list and package lists of its own, in the folder of the
# sources (build/third-party/sources/apt).
#
# Each library is installed as a static library with its headers into
# PREFIX (default build/third-party/TARGET: include/, lib/). A library whose
# version and compile flags are already there is not fetched or built
# again, so a second run does nothing.
#
# Float code follows the project's rules, so that every target computes the
# same bytes: no fused multiply-add (-ffp-contract=off), and SSE2 on 32-bit
# x86, whose x87 unit would keep extended precision.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() {
  echo "usage: scripts/third-party.sh TARGET [PREFIX]"
  echo "  TARGET: mingw-i686, mingw-x86_64, i386 or wasm"
  echo "  PREFIX: where include/ and lib/ go (default build/third-party/TARGET)"
  echo "The Debian sources are kept in build/third-party/sources (VELLMAR_THIRD_PARTY_SOURCES)."
}

case "${1:-}" in
  -h | --help) usage; exit 0 ;;
  '') usage >&2; exit 2 ;;
esac
target=$1
prefix=$(realpath -m "${2:-build/third-party/$target}")
sources=$(realpath -m "${VELLMAR_THIRD_PARTY_SOURCES:-build/third-party/sources}")
jobs=${VELLMAR_THIRD_PARTY_JOBS:-$(nproc 2>/dev/null || echo 2)}

fail() {
  echo "third-party: $*" >&2
  exit 1
}

float_flags="-ffp-contract=off -fno-fast-math"
cmake_launcher=(cmake)
case "$target" in
  mingw-i686)
    toolchain=$root/cmake/mingw-i686.cmake
    float_flags+=" -msse2 -mfpmath=sse"
    libraries=(meshoptimizer opensubdiv) # zlib: Debian's libz-mingw-w64-dev
    ;;
  mingw-x86_64)
    toolchain=$root/cmake/mingw-x86_64.cmake
    libraries=(meshoptimizer opensubdiv)
    ;;
  i386)
    toolchain=$root/cmake/linux-i386.cmake
    float_flags+=" -msse2 -mfpmath=sse"
    libraries=(meshoptimizer opensubdiv zlib)
    ;;
  wasm)
    toolchain=""
    command -v emcmake >/dev/null || fail "emscripten's emcmake is not installed (package emscripten)"
    cmake_launcher=(emcmake cmake)
    # Debian's emscripten finds its JavaScript modules (acorn) there.
    export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs
    libraries=(meshoptimizer opensubdiv zlib)
    ;;
  *) usage >&2; exit 2 ;;
esac

# The version of each source package: for meshoptimizer and OpenSubdiv that
# of the installed -dev package, which the native build links, else the one
# the project was checked with. zlib only unpacks .mqoz archives, where every
# version gives the same bytes: the release's own version, which the archive
# keeps (a security update's sources may be missing from a mirror).
declare -A default_version=([meshoptimizer]=0.18+dfsg-2 [opensubdiv]=3.5.0-2 [zlib]=1:1.2.13.dfsg-1)
declare -A dev_package=([meshoptimizer]=libmeshoptimizer-dev [opensubdiv]=libosd-dev)
source_version() {
  local version=""
  if [ -n "${dev_package[$1]:-}" ]; then
    version=$(dpkg-query -W -f='${Status} ${source:Version}' "${dev_package[$1]}" 2>/dev/null |
      sed -n 's/^install ok installed //p')
  fi
  echo "${version:-${default_version[$1]}}"
}

# apt with a source list of its own: deb-src entries for every archive that
# the machine's deb entries name, with their keys. (VELLMAR_APT_ETC: another
# folder of apt's settings to read them from.)
apt_etc=${VELLMAR_APT_ETC:-/etc/apt}
apt_dir=$sources/apt
apt_options=(-o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o "Dir::Etc::sourceparts=$apt_dir/parts"
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o "Dir::State::status=$apt_dir/status")
[ "$(id -u)" -ne 0 ] || apt_options+=(-o APT::Sandbox::User=root)
apt_ready=no
prepare_apt() {
  [ "$apt_ready" = no ] || return 0
  mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  : >"$apt_dir/status"
  local list=$apt_dir/sources.list.new file
  : >"$list"
  for file in "$apt_etc/sources.list" "$apt_etc"/sources.list.d/*.list; do
    if [ -f "$file" ]; then sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file" >>"$list"; fi
  done
  for file in "$apt_etc"/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    # deb822 stanzas: each of type deb becomes one of type deb-src.
    awk 'BEGIN { RS = "" }
         { n = split($0, lines, "\n"); text = ""; source = 0
           for (i = 1; i <= n; i++) {
             line = lines[i]
             if (line ~ /^Types:/ && line ~ /[[:space:]]deb([[:space:]]|$)/) { line = "Types: deb-src"; source = 1 }
             text = text line "\n"
           }
           if (source) printf "%s\n", text }' "$file" \
      >"$apt_dir/parts/${file##*/}"
  done
  mv "$list" "$apt_dir/sources.list"
  echo "third-party: reading the archive's source index"
  apt-get "${apt_options[@]}" -q update >/dev/null || fail "apt-get update failed with the deb-src list in $apt_dir"
  apt_ready=yes
}

# Fetches, checks and unpacks source package NAME in VERSION into
# $sources/NAME_VERSION, once; sets source_dir to that folder.
fetch() {
  local name=$1 version=$2 scratch unpacked
  source_dir=$sources/${name}_${version#*:}
  [ ! -f "$source_dir/.complete" ] || return 0
  prepare_apt
  rm -rf "$source_dir"
  scratch=$(mktemp -d "$sources/.incoming.XXXXXX")
  echo "third-party: fetching the Debian source package $name $version"
  # apt checks the index's signature and every file's checksum, and
  # dpkg-source unpacks the upstream sources with Debian's patches.
  if ! (cd "$scratch" && apt-get "${apt_options[@]}" -q --only-source source "$name=$version" >apt.log 2>&1); then
    tail -n 20 "$scratch/apt.log" >&2
    rm -rf "$scratch"
    fail "apt-get source $name=$version failed"
  fi
  unpacked=$(find "$scratch" -mindepth 1 -maxdepth 1 -type d)
  [ -n "$unpacked" ] && [ "$(wc -l <<<"$unpacked")" -eq 1 ] || fail "apt-get source $name gave no single folder"
  mv "$unpacked" "$source_dir"
  mkdir -p "$source_dir/.debian-files"
  mv "$scratch"/* "$source_dir/.debian-files/"
  rm -rf "$scratch"
  echo "$version" >"$source_dir/.complete"
}

# What a built library depends on, so that a change to any of it builds the
# library again: its version, the flags, the compiler, the toolchain file and
# the code of the steps that build it (not the script's comments).
compiler_id() {
  local cxx
  case "$target" in
    mingw-i686) cxx=i686-w64-mingw32-g++-posix ;;
    mingw-x86_64) cxx=x86_64-w64-mingw32-g++-posix ;;
    i386) cxx=g++ ;;
    wasm) cxx=em++ ;;
  esac
  "$cxx" --version 2>/dev/null | head -n 1
}
stamp_text() {  # NAME VERSION
  printf '%s\n' "$1 $2" "flags: $float_flags" "compiler: $(compiler_id)" \
    "toolchain: $([ -z "$toolchain" ] || sha256sum <"$toolchain" | cut -c1-16)" \
    "steps: $(declare -f configure build_targets "build_$1" | sha256sum | cut -c1-16)"
}

# Configures SOURCE into BUILD for the target with its float flags.
configure() {  # SOURCE BUILD CMAKE-ARGS...
  local source=$1 build=$2
  shift 2
  local args=(-S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib)
  # The stand-in host is a shared module that links them; a browser build
  # links one static program.
  [ "$target" = wasm ] || args+=(-DCMAKE_POSITION_INDEPENDENT_CODE=ON)
  [ -z "$toolchain" ] || args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
  # Through the environment, so that the toolchain's own flags (-m32) stay.
  CFLAGS="$float_flags" CXXFLAGS="$float_flags" "${cmake_launcher[@]}" "${args[@]}" "$@" >"$build.log" 2>&1 ||
    { tail -n 30 "$build.log" >&2; fail "configuring $(basename "$build") failed (log: $build.log)"; }
}

build_targets() {  # BUILD TARGET...
  local build=$1
  shift
  nice ninja -C "$build" -j "$jobs" "$@" >>"$build.log" 2>&1 ||
    { tail -n 30 "$build.log" >&2; fail "building $(basename "$build") failed (log: $build.log)"; }
}

build_meshoptimizer() {  # SOURCE BUILD
  configure "$1" "$2" -DMESHOPT_BUILD_GLTFPACK=OFF -DMESHOPT_BUILD_DEMO=OFF -DMESHOPT_BUILD_SHARED_LIBS=OFF
  build_targets "$2" meshoptimizer
  cmake --install "$2" >>"$2.log" 2>&1 || fail "installing meshoptimizer failed (log: $2.log)"
}

build_opensubdiv() {  # SOURCE BUILD
  local option options=()
  for option in EXAMPLES TUTORIALS REGRESSION DOC OMP TBB CUDA OPENCL CLEW OPENGL GLFW PTEX DX METAL TESTS GLTESTS; do
    options+=(-DNO_$option=ON)
  done
  configure "$1" "$2" "${options[@]}" -DBUILD_SHARED_LIBS=OFF
  # Only the parts that uniform refinement uses (sdc, vtr, far), archived
  # as the CPU library that the native build links; the rest (bfr, osd)
  # would double the compile time, and the build's own install step would
  # build every library.
  build_targets "$2" sdc_obj vtr_obj far_obj
  local ar
  ar=$(sed -n 's/^CMAKE_AR:FILEPATH=//p' "$2/CMakeCache.txt")
  mkdir -p "$prefix/lib" "$prefix/include"
  rm -f "$prefix/lib/libosdCPU.a"
  find "$2/opensubdiv/sdc" "$2/opensubdiv/vtr" "$2/opensubdiv/far" \( -name '*.o' -o -name '*.obj' \) | LC_ALL=C sort |
    xargs "$ar" qcs "$prefix/lib/libosdCPU.a" || fail "archiving OpenSubdiv's objects with $ar failed"
  (cd "$1" && find opensubdiv/sdc opensubdiv/vtr opensubdiv/far opensubdiv/version.h -name '*.h' \
    -exec cp --parents {} "$prefix/include/" \;)
}

build_zlib() {  # SOURCE BUILD
  # The library alone, by a small build of its own: zlib's build wants
  # Windows resources that the Debian sources leave out, and renames a
  # header of the folder it builds from.
  mkdir -p "$2.cmake"
  cat >"$2.cmake/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(zlib C)
set(parts adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees
          uncompr zutil)
list(TRANSFORM parts PREPEND "$1/")
list(TRANSFORM parts APPEND .c)
add_library(z STATIC \${parts})
target_compile_definitions(z PRIVATE HAVE_UNISTD_H HAVE_STDARG_H)
EOF
  configure "$2.cmake" "$2"
  build_targets "$2" z
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$1/zlib.h" "$1/zconf.h" "$prefix/include/"
  cp "$2/libz.a" "$prefix/lib/"
}

mkdir -p "$sources" "$prefix/.stamps" "$prefix/build"
# One run at a time shares the sources (two builds configured at once).
exec 9>"$sources/.lock"
flock 9
for name in "${libraries[@]}"; do
  version=$(source_version "$name")
  stamp=$prefix/.stamps/$name
  wanted=$(stamp_text "$name" "$version")
  if [ "$(cat "$stamp" 2>/dev/null)" = "$wanted" ]; then
    echo "third-party: $name $version for $target is in $prefix"
    continue
  fi
  fetch "$name" "$version"
  start=$SECONDS
  rm -f "$stamp"
  rm -rf "$prefix/build/$name"
  echo "third-party: building $name $version for $target"
  "build_$name" "$source_dir" "$prefix/build/$name"
  printf '%s\n' "$wanted" >"$stamp"
  echo "third-party: built $name for $target in $((SECONDS - start)) s"
done
