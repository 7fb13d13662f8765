#!/usr/bin/env bash
# The Windows vellmar tool under Wine against the native tool (see
# tests/tools/tool_comparison.sh for what is compared). The 64-bit build runs
# on wine64. The 32-bit build takes one of two roads, named in the output
# ("Wine road: ..."):
#   wine32  Wine's own 32-bit loader (package wine32:i386), a 32-bit Linux
#           program: where this machine runs those itself;
#   wow64   wine64 running the 32-bit code in a 64-bit process, with the
#           32-bit Windows DLLs of libwine:i386 found through WINEDLLPATH
#           (scripts/wine-wow64-dlls.sh unpacks them): where they are there;
# else wine32 again where an emulator runs 32-bit Linux programs. Each Wine
# start is slow, so the Windows tool runs once per command and format with
# all inputs. Exit status: 0 passed, 1 failed, 77 skipped (no Wine, or a Wine
# that cannot run programs on this machine), with the reason on one line.
set -uo pipefail

usage() {
  echo "usage: $0 --wine LOADER --bits 32|64 --windows-bin DIR --probe EXE --native-tool PATH --examples DIR" >&2
  echo "          [--samples DIR] [--mqoz supported|unsupported] --work DIR --prefix DIR" >&2
  echo "          [--start-timeout SECONDS] [--run-timeout SECONDS] [--package ZIP]" >&2
  echo "          [--wow64-loader WINE64 --wow64-dlls DIR]" >&2
  exit 1
}

wine="" bits="" windows_bin="" probe="" native_tool="" examples="" samples="" mqoz=supported work="" prefix="" package=""
wow64_loader="" wow64_dlls=""
# Making the prefix and running the probe may take start_timeout seconds
# each; each run of the Windows tool run_timeout.
start_timeout=300 run_timeout=900
here=$(dirname "$(realpath "$0")")
source "$here/../tools/tool_comparison.sh"
read_options wine bits windows-bin probe native-tool examples samples mqoz work prefix start-timeout run-timeout package \
  wow64-loader wow64-dlls -- "$@" || usage
[ -n "$wine" ] && [ -n "$windows_bin" ] && [ -n "$probe" ] && [ -n "$native_tool" ] && [ -n "$examples" ] &&
  [ -n "$work" ] && [ -n "$prefix" ] || usage
[ "$bits" = 32 ] || [ "$bits" = 64 ] || usage
# Absolute paths: the runs start in the work folder.
windows_bin=$(realpath -m "$windows_bin") probe=$(realpath -m "$probe") native_tool=$(realpath -m "$native_tool")
examples=$(realpath -m "$examples") work=$(realpath -m "$work") prefix=$(realpath -m "$prefix")
[ -z "$samples" ] || samples=$(realpath -m "$samples")
[ -z "$package" ] || package=$(realpath -m "$package")
[ -z "$wow64_dlls" ] || wow64_dlls=$(realpath -m "$wow64_dlls")

skip() {
  echo "SKIPPED: $*"
  exit 77
}

if [ ! -x "$native_tool" ]; then
  echo "FAIL: the native tool $native_tool is missing: build the release preset first"
  exit 1
fi
if [ "$bits" = 64 ]; then
  [ -x "$wine" ] || skip "Wine's 64-bit loader $wine is not installed (scripts/test.sh --windows installs it)"
  road=wine64
else
  # Wine's 32-bit loader is a 32-bit Linux program: without the kernel's or
  # an emulator's help it cannot start, and there is nothing to wait for.
  support=$("$here/../../scripts/i386-support.sh")
  if [ ! -x "$wine" ]; then
    wine32_missing="Wine's 32-bit loader $wine is not installed (package wine32:i386)"
  elif [ "$support" = none ]; then
    wine32_missing="this machine cannot run 32-bit Linux programs, which Wine's 32-bit loader is"
    wine32_missing+=" (scripts/test.sh --wine-emulation runs them through qemu)"
  else
    wine32_missing=""
  fi
  if [ -z "$wow64_loader" ]; then
    wow64_missing="no wine64 loader was given for the wow64 mode"
  elif [ ! -x "$wow64_loader" ]; then
    wow64_missing="wine64's loader $wow64_loader is not installed"
  elif [ -z "$wow64_dlls" ] || [ ! -f "$wow64_dlls/i386-windows/ntdll.dll" ]; then
    wow64_missing="the 32-bit Windows DLLs that wine64 needs for its wow64 mode are not in"
    wow64_missing+=" ${wow64_dlls:-the folder that was given}/i386-windows (scripts/wine-wow64-dlls.sh unpacks them)"
  else
    wow64_missing=""
    # Wine's Windows side and its Linux side must be of one version.
    dlls_version=$(cat "$wow64_dlls/.version" 2>/dev/null)
    installed_version=$(dpkg-query -W -f='${Version}' libwine:amd64 2>/dev/null)
    if [ -n "$dlls_version" ] && [ -n "$installed_version" ] && [ "$dlls_version" != "$installed_version" ]; then
      wow64_missing="the 32-bit Windows DLLs in $wow64_dlls are of Wine $dlls_version, the installed wine64 is"
      wow64_missing+=" $installed_version (scripts/wine-wow64-dlls.sh unpacks the matching ones)"
    fi
  fi
  if [ -z "$wine32_missing" ] && [ "$support" = native ]; then
    road=wine32
  elif [ -z "$wow64_missing" ]; then
    road=wow64 wine=$wow64_loader
  elif [ -z "$wine32_missing" ]; then
    road=wine32
    echo "32-bit programs run through an emulator here: Wine gets $start_timeout s to start"
  else
    skip "no 32-bit Wine: $wine32_missing; and $wow64_missing"
  fi
fi
wine_name="Wine ($bits-bit)"
[ "$bits" = 64 ] || wine_name="Wine (32-bit, $road)"
echo "Wine road: $road"

# A wow64 prefix is a 64-bit one, with the 32-bit DLLs in its syswow64.
arch=win$bits
[ "$road" != wow64 ] || arch=win64
export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINELOADER=$wine
if [ "$road" = wow64 ]; then
  export WINEDLLPATH=$wow64_dlls
else
  unset WINEDLLPATH
fi
# No Mono or Gecko installer prompts when the prefix is made; console
# programs need no display.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# Ends the wineserver of this prefix with every Windows process under it,
# then any process still carrying this prefix in its environment (one that
# Wine started but that never reached the server). Nothing else is touched.
stop_wine() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  local env pid
  for env in /proc/[0-9]*/environ; do
    pid=${env#/proc/}
    pid=${pid%/environ}
    [ "$pid" != "$$" ] || continue
    if tr '\0' '\n' 2>/dev/null <"$env" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      kill -KILL "$pid" 2>/dev/null
    fi
  done
}
trap stop_wine EXIT

# A path as Windows programs see it: Wine maps drive Z: to the root.
candidate_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

# Why a Wine start failed, from its status, the seconds since it began, and
# its last line of errors.
why_not() {
  local status=$1 began=$2 errors=$3 last
  last=$(grep -v -e '^wine: created the configuration' -e ':fixme:' "$errors" | tail -n 1 | tr -d '\r')
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ] || [ $((SECONDS - began)) -ge "$start_timeout" ]; then
    echo "it gave no answer within $start_timeout s${last:+; its last words: $last}"
  else
    echo "it exited with status $status${last:+: $last}"
  fi
}

rm -rf "$work"
mkdir -p "$work"

# The prefix is made once, in the build tree; one left half-made by an
# interrupted run, or made for the other road, is made again.
ready=$prefix/.vellmar-prefix-ready
if [ "$(cat "$ready" 2>/dev/null)" != "$road" ]; then
  rm -rf "$prefix"
  mkdir -p "$prefix"
  started=$SECONDS
  timeout -k 10 "$start_timeout" "$wine" wineboot --init >"$work/wineboot.out" 2>&1
  boot_status=$?
  [ "$boot_status" -eq 0 ] ||
    skip "$wine_name cannot make its prefix on this machine ($(why_not "$boot_status" "$started" "$work/wineboot.out"))"
  wineserver -w >/dev/null 2>&1
  echo "$road" >"$ready"
  echo "$wine_name made its prefix in $((SECONDS - started)) s"
fi

# One Wine session for all runs: a persistent server keeps the session's
# start-up (wineboot and its services) from being repeated for every run.
wineserver -p >/dev/null 2>&1

# Can Wine run anything here? What the program printed tells: the loader
# exits 0 even when it could not start the program at all.
started=$SECONDS
probe_output=$(cd "$work" && timeout -k 10 "$start_timeout" "$wine" "$probe" 2>"$work/probe.err")
probe_status=$?
if [[ "$probe_output" != *"a Windows console program ran"* ]]; then
  skip "$wine_name cannot run a trivial Windows console program on this machine" \
    "($(why_not "$probe_status" "$started" "$work/probe.err"))"
fi
echo "$wine_name runs Windows console programs: $("$wine" --version 2>/dev/null)"

candidate_name=Windows
line_ends=windows
windows_tool=$windows_bin/vellmar.exe
run_candidate() {
  local log=$1
  shift
  (cd "$work" && timeout -k 10 "$run_timeout" "$wine" "$windows_tool" "$@") >"$log.out" 2>"$log.err"
  status=$?
}

# The tool under the name WHAT starts and names itself as the native one
# does. Its output is what counts: Wine exits 0 where nothing ran.
native_version=$("$native_tool" --version)
tool_starts() {
  local what=$1 printed
  run_candidate "$work/candidate-$what" --version
  printed=$(tr -d '\r' <"$work/candidate-$what.out")
  if [ "$printed" = "$native_version" ]; then
    echo "$what: $(candidate_path "$windows_tool") --version printed '$printed'"
    return 0
  fi
  fail "$what: $(candidate_path "$windows_tool") --version exited with $status and printed '$printed'," \
    "not '$native_version': $(tr -d '\r' <"$work/candidate-$what.err" | grep -v ':fixme:' | head -n 3)"
  return 1
}

# Nothing else can pass when the tool does not start; every run would wait
# out its time.
if ! tool_starts version; then
  echo "The Windows tool does not start under $wine_name"
  exit 1
fi

compare_tools

# Wildcards: Windows shells pass them on as they are, and the tool expands
# them itself.
run_candidate "$work/candidate-wildcard" export "$(candidate_path "$examples")\\*.mqo" \
  --out-dir "$(candidate_path "$work/candidate/wildcard")"
expected=$(for input in "$examples"/*.mqo; do name=${input##*/}; echo "./${name%.*}.xsi"; done | sort)
found=$(cd "$work/candidate/wildcard" 2>/dev/null && find . -type f | sort)
if [ "$status" -ne 0 ] || [ "$found" != "$expected" ]; then
  fail "wildcard: 'export EXAMPLES\\*.mqo' exited with $status and wrote: $(echo $found)" \
    "$(tr -d '\r' <"$work/candidate-wildcard.err" | head -n 1)"
else
  echo "wildcard: expanded by the Windows tool"
fi

# The command-line package: its tool works from a folder that holds only
# what the package holds.
if [ -n "$package" ]; then
  mkdir -p "$work/package"
  if ! (cd "$work/package" && cmake -E tar xf "$package"); then
    fail "package: cannot unpack $package"
  else
    # Its modules are the ones compared above, so every convert that
    # passed there holds for them too; what the package adds is the folder
    # they run from.
    for module in vellmar.exe vellmar_host.dll Vellmar.dll; do
      cmp -s "$work/package/$module" "$windows_bin/$module" ||
        fail "package: its $module is not the $module of $windows_bin"
    done
    # Its README is that of a build with every feature: it names none that
    # the tool lacks.
    if grep -q "This build" "$work/package/README.txt" 2>/dev/null; then
      fail "package: its README says that the tool lacks something: $(grep "This build" "$work/package/README.txt")"
    fi
    windows_tool=$work/package/vellmar.exe
    if tool_starts package-version; then
      compare_info package-info
      run_candidate "$work/candidate-package" export "${candidate_inputs[@]}" \
        --out-dir "$(candidate_path "$work/candidate/package")"
      [ "$status" -eq 0 ] || fail "package: its vellmar.exe exited with $status: $(tr -d '\r' <"$work/candidate-package.err")"
      compare_folders package "$work/native/export" "$work/candidate/package"
      # What users on Windows ask of it most: compressed glTF of the
      # documents as the modeller shows them, subdivision surfaces refined.
      run_candidate "$work/candidate-package-glb" convert "${candidate_inputs[@]}" --format glb --freeze --compress \
        --out-dir "$(candidate_path "$work/candidate/package-glb")"
      [ "$status" -eq 0 ] ||
        fail "package: its vellmar.exe exited with $status: $(tr -d '\r' <"$work/candidate-package-glb.err")"
      compare_folders package-glb "$work/native/convert-glb-freeze" "$work/candidate/package-glb"
    fi
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures comparison(s) failed"
  exit 1
fi
echo "The Windows tool under $wine_name wrote the same files as the native tool"
