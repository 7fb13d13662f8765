#!/usr/bin/env bash
# scripts/third-party.sh on a made-up machine, in seconds and offline: its
# apt-get, dpkg-query, cmake and ninja are stand-ins in a scratch folder that
# comes first on PATH, and log what they are asked. Checked: the deb-src list
# made from the machine's deb entries, the versions asked of apt (those of
# the installed -dev packages, else the project's), the float flags that
# reach the builds, what lands in the prefix, that a second run fetches and
# builds nothing, that a new version builds again, and that a failed fetch
# fails the run and leaves nothing that looks complete.
# Usage: third_party_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
source_dir=$1 work=$2
rm -rf "$work"
mkdir -p "$work/bin" "$work/etc/sources.list.d"
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The machine's apt settings: a deb822 file with a deb and a deb-src
# stanza, and a one-line list with a commented entry.
cat >"$work/etc/sources.list.d/debian.sources" <<'EOF'
Types: deb
# a comment inside the stanza
URIs: http://archive.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://other.example/debian
Suites: bookworm
Components: contrib
EOF
cat >"$work/etc/sources.list" <<'EOF'
# deb http://commented.example/debian bookworm main
deb [signed-by=/usr/share/keyrings/extra.gpg] http://extra.example/debian bookworm main
EOF

# dpkg-query: the -dev packages named in installed (NAME VERSION lines).
cat >"$work/bin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
version=$(awk -v p="${!#}" '$1 == p { print $2 }' "$(dirname "$0")/../installed")
[ -n "$version" ] || exit 1
printf 'install ok installed %s' "$version"
FAKE
# apt-get: update keeps the lists it was given; source unpacks a made-up
# package (or fails where fail_source says so).
cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
here=$(dirname "$0")/..
echo "$*" >>"$here/apt.log"
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
  case "${args[i]}" in Dir::Etc::sourcelist=*) list=${args[i]#*=} ;; Dir::Etc::sourceparts=*) parts=${args[i]#*=} ;; esac
done
if [[ " $* " == *" update "* ]]; then
  cat "$list" "$parts"/* >"$here/seen-sources"
  exit 0
fi
if [[ " $* " == *" source "* ]]; then
  package=${!#}
  name=${package%%=*}
  if grep -qx "$name" "$here/fail_source" 2>/dev/null; then
    echo "E: Failed to fetch http://archive.example/debian/pool/$name.dsc  404  Not Found"
    exit 100
  fi
  mkdir -p "$name-upstream"
  echo "$package" >"$name.dsc"
  case "$name" in
    opensubdiv) mkdir -p "$name-upstream/opensubdiv/"{far,sdc,vtr,bfr}
      echo "// far" >"$name-upstream/opensubdiv/far/topologyRefinerFactory.h"
      echo "// sdc" >"$name-upstream/opensubdiv/sdc/options.h"
      echo "// vtr" >"$name-upstream/opensubdiv/vtr/level.h"
      echo "// bfr" >"$name-upstream/opensubdiv/bfr/surface.h"
      echo "// version" >"$name-upstream/opensubdiv/version.h" ;;
    zlib) echo "// zlib" >"$name-upstream/zlib.h"; echo "// zconf" >"$name-upstream/zconf.h" ;;
    *) echo "project($name)" >"$name-upstream/CMakeLists.txt" ;;
  esac
  exit 0
fi
exit 1
FAKE
# cmake: configure records the install prefix and the flags; --install
# installs meshoptimizer.
cat >"$work/bin/cmake" <<'FAKE'
#!/usr/bin/env bash
here=$(dirname "$0")/..
echo "$* CFLAGS=$CFLAGS CXXFLAGS=$CXXFLAGS" >>"$here/cmake.log"
if [ "$1" = --install ]; then
  prefix=$(cat "$2/prefix")
  mkdir -p "$prefix/lib" "$prefix/include"
  : >"$prefix/lib/libmeshoptimizer.a"
  : >"$prefix/include/meshoptimizer.h"
  exit 0
fi
while [ $# -gt 0 ]; do
  case "$1" in -B) build=$2 ;; -DCMAKE_INSTALL_PREFIX=*) prefix=${1#*=} ;; esac
  shift
done
mkdir -p "$build"
echo "$prefix" >"$build/prefix"
echo "CMAKE_AR:FILEPATH=$(dirname "$0")/ar" >"$build/CMakeCache.txt"
FAKE
cat >"$work/bin/ninja" <<'FAKE'
#!/usr/bin/env bash
here=$(dirname "$0")/..
echo "$*" >>"$here/ninja.log"
build=$2 target=${!#}
case "$target" in
  far_obj) for part in sdc vtr far bfr; do
      mkdir -p "$build/opensubdiv/$part/CMakeFiles/${part}_obj.dir"
      : >"$build/opensubdiv/$part/CMakeFiles/${part}_obj.dir/$part.o"
    done ;;
  z) : >"$build/libz.a" ;;
esac
FAKE
cat >"$work/bin/ar" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >>"$(dirname "$0")/../ar.log"
: >"$2"
FAKE
chmod +x "$work/bin/"*

# Runs the script for TARGET into the prefix PREFIX, with the sources in
# $work/sources.
run() {  # TARGET PREFIX
  output=$(PATH="$work/bin:$PATH" VELLMAR_APT_ETC="$work/etc" VELLMAR_THIRD_PARTY_SOURCES="$work/sources" \
    bash "$source_dir/scripts/third-party.sh" "$1" "$2" 2>&1)
  status=$?
}
logs() { cat "$work/apt.log" "$work/cmake.log" "$work/ninja.log" 2>/dev/null; }

# First run for i386: OpenSubdiv's -dev package is installed in a version of
# its own, meshoptimizer's is not.
echo "libosd-dev 3.5.0-9" >"$work/installed"
prefix=$work/i386
run i386 "$prefix"
[ "$status" -eq 0 ] || fail "the first run failed ($status): $output"
for file in lib/libmeshoptimizer.a lib/libosdCPU.a lib/libz.a include/meshoptimizer.h include/zlib.h \
  include/zconf.h include/opensubdiv/far/topologyRefinerFactory.h include/opensubdiv/sdc/options.h \
  include/opensubdiv/vtr/level.h include/opensubdiv/version.h; do
  [ -e "$prefix/$file" ] || fail "the prefix lacks $file"
done
[ ! -e "$prefix/include/opensubdiv/bfr" ] || fail "the prefix has headers of OpenSubdiv's parts that it does not build"
for asked in "opensubdiv=3.5.0-9" "meshoptimizer=0.18+dfsg-2" "zlib=1:1.2.13.dfsg-1"; do
  grep -q -- "--only-source source $asked\$" "$work/apt.log" || fail "apt was not asked for $asked: $(cat "$work/apt.log")"
done
[ "$(grep -c ' update' "$work/apt.log")" -eq 1 ] || fail "the lists were not read exactly once: $(cat "$work/apt.log")"

# The source list: every deb entry as deb-src with its keys, nothing else.
expected_sources='deb-src [signed-by=/usr/share/keyrings/extra.gpg] http://extra.example/debian bookworm main
Types: deb-src
# a comment inside the stanza
URIs: http://archive.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg'
[ "$(grep -v '^$' "$work/seen-sources")" = "$expected_sources" ] ||
  fail "the deb-src list is not the machine's deb entries: $(cat "$work/seen-sources")"
# apt's own lists and settings stay apart from the machine's.
grep -q "Dir::State::Lists=$work/sources/apt/lists" "$work/apt.log" || fail "apt used the machine's lists"

# Every library is compiled for SSE2 without fused multiply-add, with the
# project's toolchain for the target.
[ "$(grep -c -- '-B ' "$work/cmake.log")" -eq 3 ] || fail "not three libraries configured: $(cat "$work/cmake.log")"
if grep -- '-B ' "$work/cmake.log" | grep -v -e 'CXXFLAGS=[^=]*-ffp-contract=off' | grep -q .; then
  fail "a library is built without -ffp-contract=off: $(cat "$work/cmake.log")"
fi
grep -- '-B ' "$work/cmake.log" | grep -v -e 'CXXFLAGS=.*-msse2 -mfpmath=sse' | grep -q . &&
  fail "a 32-bit library is built without SSE2: $(cat "$work/cmake.log")"
grep -- '-B ' "$work/cmake.log" | grep -v -e 'CMAKE_TOOLCHAIN_FILE=[^ ]*/cmake/linux-i386.cmake' | grep -q . &&
  fail "a 32-bit library is built without the project's toolchain: $(cat "$work/cmake.log")"
grep -q -- '-C [^ ]*opensubdiv -j [0-9]* sdc_obj vtr_obj far_obj$' "$work/ninja.log" ||
  fail "OpenSubdiv built other than the parts of its CPU library that refinement uses: $(cat "$work/ninja.log")"
archived=$(sed -n "s|^qcs $prefix/lib/libosdCPU.a ||p" "$work/ar.log" | tr ' ' '\n' | sed 's|.*/||' | sort | xargs)
[ "$archived" = "far.o sdc.o vtr.o" ] ||
  fail "OpenSubdiv's library does not hold exactly its sdc, vtr and far parts: $(cat "$work/ar.log")"

# A second run fetches and builds nothing.
before=$(logs)
run i386 "$prefix"
[ "$status" -eq 0 ] || fail "the second run failed ($status): $output"
[ "$(logs)" = "$before" ] || fail "the second run fetched or built again: $(diff <(echo "$before") <(logs))"

# Another prefix for the same target builds again, from the sources already
# fetched; a 64-bit target gets no SSE2 flags and no zlib (MinGW has one).
run mingw-x86_64 "$work/win64"
[ "$status" -eq 0 ] || fail "the mingw-x86_64 run failed ($status): $output"
[ "$(logs | grep -c -- ' source ')" -eq 3 ] || fail "sources were fetched again: $(cat "$work/apt.log")"
[ ! -e "$work/win64/lib/libz.a" ] || fail "zlib was built for MinGW, which has its own"
tail -n 2 "$work/cmake.log" | grep -q -e '-msse2' && fail "a 64-bit library is built with 32-bit flags"

# A new installed version is fetched and built again; the others stay.
echo "libosd-dev 3.5.0-10" >"$work/installed"
: >"$work/ninja.log"
run i386 "$prefix"
[ "$status" -eq 0 ] || fail "the run after a new version failed ($status): $output"
grep -q -- "source opensubdiv=3.5.0-10\$" "$work/apt.log" || fail "the new version was not fetched"
[ "$(cat "$work/ninja.log")" = "$(grep far_obj "$work/ninja.log")" ] ||
  fail "more than OpenSubdiv was built again: $(cat "$work/ninja.log")"

# A copy of the script with a changed comment builds nothing again; one
# whose zlib steps changed builds zlib again, and only zlib.
mkdir -p "$work/copy/scripts"
ln -s "$source_dir/cmake" "$work/copy/cmake"
sed 's/^# Builds the third-party libraries/# Also builds the third-party libraries/' "$source_dir/scripts/third-party.sh" \
  >"$work/copy/scripts/third-party.sh"
: >"$work/ninja.log"
output=$(PATH="$work/bin:$PATH" VELLMAR_APT_ETC="$work/etc" VELLMAR_THIRD_PARTY_SOURCES="$work/sources" \
  bash "$work/copy/scripts/third-party.sh" i386 "$prefix" 2>&1)
[ ! -s "$work/ninja.log" ] || fail "a changed comment built again: $(cat "$work/ninja.log")"
sed -i 's/HAVE_UNISTD_H HAVE_STDARG_H/HAVE_UNISTD_H HAVE_STDARG_H NO_GZIP/' "$work/copy/scripts/third-party.sh"
output=$(PATH="$work/bin:$PATH" VELLMAR_APT_ETC="$work/etc" VELLMAR_THIRD_PARTY_SOURCES="$work/sources" \
  bash "$work/copy/scripts/third-party.sh" i386 "$prefix" 2>&1)
[ "$(cut -d' ' -f5- "$work/ninja.log")" = z ] || fail "changed zlib steps built other than zlib: $(cat "$work/ninja.log")"

# A fetch that fails fails the run, says why, and leaves no source folder
# that a later run would take for complete.
echo "libosd-dev 3.5.0-11" >"$work/installed"
echo opensubdiv >"$work/fail_source"
run i386 "$prefix"
[ "$status" -ne 0 ] || fail "a failed fetch did not fail the run: $output"
grep -q "404  Not Found" <<<"$output" || fail "apt's reason is not shown: $output"
grep -q "apt-get source opensubdiv=3.5.0-11 failed" <<<"$output" || fail "the failed package is not named: $output"
[ ! -e "$work/sources/opensubdiv_3.5.0-11" ] || fail "a failed fetch left its folder"
rm "$work/fail_source"
run i386 "$prefix"
[ "$status" -eq 0 ] || fail "the run after a failed fetch failed ($status): $output"
[ "$(grep -c -- "source opensubdiv=3.5.0-11\$" "$work/apt.log")" -eq 2 ] || fail "the failed package was not fetched again"

run wasm32 "$prefix"
[ "$status" -eq 2 ] || fail "an unknown target gave $status, not 2: $output"

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "third-party.sh fetches, checks and builds each library once, with the project's float flags"
