#!/usr/bin/env bash
# scripts/test.sh on machines that have the MinGW-w64 compilers but not the
# MinGW-w64 zlib that the Windows builds need: it installs the library where
# it may and then runs those builds, and otherwise skips them, saying why;
# it never goes on into a build that cannot configure. The machine is made
# up in a scratch folder whose programs come first on PATH: the compilers,
# dpkg-query (which packages are installed), id (root or not) and apt-get
# (which logs what it is asked and fails where told to). test.sh --plan stops
# once it has decided, so no build runs.
# Usage: test_sh_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
source_dir=$1 work=$2
rm -rf "$work"
mkdir -p "$work/bin"
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for compiler in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do
  printf '#!/bin/sh\nexit 0\n' >"$work/bin/$compiler"
done
# dpkg-query -W -f=FORMAT PACKAGE: installed unless listed in missing.
cat >"$work/bin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
package=${!#}
grep -qx "$package" "$(dirname "$0")/../missing" && exit 1
printf 'install ok installed'
FAKE
cat >"$work/bin/id" <<'FAKE'
#!/bin/sh
cat "$(dirname "$0")/../uid"
FAKE
# Updates work; an install fails with apt's message where install_fails holds one.
cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
here=$(dirname "$0")/..
echo "$*" >>"$here/apt.log"
if [[ " $* " == *" install "* ]] && [ -s "$here/install_fails" ]; then
  cat "$here/install_fails"
  exit 100
fi
exit 0
FAKE
chmod +x "$work/bin/"*

# Runs test.sh --plan as the user (uid) with the packages missing; the
# apt-get failure message, if any, comes after.
plan() {  # UID MISSING [INSTALL_FAILURE]
  echo "$1" >"$work/uid"
  printf '%s\n' "$2" >"$work/missing"
  printf '%s' "${3:-}" >"$work/install_fails"
  rm -f "$work/apt.log"
  output=$(PATH="$work/bin:$PATH" bash "$source_dir/scripts/test.sh" --plan 2>&1)
  status=$?
}

# Not root, the library missing: both Windows builds skipped, with the
# command that installs it; nothing asked of apt.
plan 1000 libz-mingw-w64-dev
[ "$status" -eq 0 ] || fail "without the library and root, test.sh failed ($status): $output"
for build in win32 win64; do
  grep -q "Would run: .*$build" <<<"$output" && fail "$build would run without its library: $output"
  grep -q "Would skip: .*$build (it needs libz-mingw-w64-dev, which is not installed; install it as root:\
 sudo apt-get install -y libz-mingw-w64-dev)" <<<"$output" || fail "$build is not skipped with its reason: $output"
done
grep -q "Would run: release, debug" <<<"$output" || fail "release and debug would not run: $output"
[ ! -e "$work/apt.log" ] || fail "apt-get was run without root: $(cat "$work/apt.log")"

# Root, the library missing: it is installed, and both builds run.
plan 0 libz-mingw-w64-dev
[ "$status" -eq 0 ] || fail "as root, test.sh failed ($status): $output"
grep -q "install .*libz-mingw-w64-dev" "$work/apt.log" 2>/dev/null || fail "the library was not installed: $output"
grep -q "Would run: release, debug, win32, win64" <<<"$output" || fail "the Windows builds would not run: $output"

# Root, but apt cannot install it: skipped with apt's word.
plan 0 libz-mingw-w64-dev "E: Unable to locate package libz-mingw-w64-dev"
[ "$status" -eq 0 ] || fail "when apt fails, test.sh failed ($status): $output"
grep -q "Would skip: .*win32 (it needs libz-mingw-w64-dev, which is not installed; apt could not install it:\
 E: Unable to locate package libz-mingw-w64-dev)" <<<"$output" || fail "win32 is not skipped with apt's reason: $output"

# Everything there: nothing installed, both builds run.
plan 1000 ""
grep -q "Would run: release, debug, win32, win64" <<<"$output" || fail "with the library, the Windows builds would not run: $output"
[ ! -e "$work/apt.log" ] || fail "apt-get was run with nothing missing: $(cat "$work/apt.log")"

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "test.sh installs the MinGW-w64 zlib or skips the Windows builds with the reason"
