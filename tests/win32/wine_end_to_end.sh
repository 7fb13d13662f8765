#!/usr/bin/env bash
# The Windows vellmar tool under Wine against the native tool: both export
# and convert every example and sample document, and the files they write
# must match: byte for byte apart from the time stamp (line 6 of a .xsi), and
# for convert with line ends normalised (text-mode writers end lines with
# CRLF on Windows). Each Wine start is slow, so the Windows tool runs once
# per command and format with all inputs.
# Exit status: 0 passed, 1 failed, 77 skipped (no Wine, or a Wine that cannot
# run programs on this machine).
set -uo pipefail

usage() {
  echo "usage: $0 --windows-bin DIR --probe EXE --native-tool PATH --examples DIR [--samples DIR]" >&2
  echo "          [--mqoz supported|unsupported] --work DIR --prefix DIR [--timeout SECONDS]" >&2
  echo "          [--run-timeout SECONDS]" >&2
  exit 1
}

windows_bin="" probe="" native_tool="" examples="" samples="" mqoz=supported work="" prefix=""
# The probe may take timeout seconds (the first start also creates the
# prefix); each run of the Windows tool run_timeout.
timeout=120 run_timeout=900
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case "$1" in
    --windows-bin) windows_bin=$2 ;;
    --probe) probe=$2 ;;
    --native-tool) native_tool=$2 ;;
    --examples) examples=$2 ;;
    --samples) samples=$2 ;;
    --mqoz) mqoz=$2 ;;
    --work) work=$2 ;;
    --prefix) prefix=$2 ;;
    --timeout) timeout=$2 ;;
    --run-timeout) run_timeout=$2 ;;
    *) usage ;;
  esac
  shift 2
done
[ -n "$windows_bin" ] && [ -n "$probe" ] && [ -n "$native_tool" ] && [ -n "$examples" ] && [ -n "$work" ] &&
  [ -n "$prefix" ] || usage
# Absolute paths: the runs start in the work folder.
windows_bin=$(realpath -m "$windows_bin") probe=$(realpath -m "$probe") native_tool=$(realpath -m "$native_tool")
examples=$(realpath -m "$examples") work=$(realpath -m "$work") prefix=$(realpath -m "$prefix")
[ -z "$samples" ] || samples=$(realpath -m "$samples")

skip() {
  echo "SKIPPED: $*"
  exit 77
}

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

command -v wine >/dev/null 2>&1 || skip "wine is not installed (scripts/test.sh --windows installs it)"
if [ ! -x "$native_tool" ]; then
  echo "FAIL: the native tool $native_tool is missing: build the release preset first"
  exit 1
fi

export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko installer prompts when the prefix is created; console
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
windows_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

rm -rf "$work"
mkdir -p "$work" "$prefix"

# One Wine session for all runs: a persistent server keeps the session's
# start-up (wineboot and its services) from being repeated for every run.
wineserver -p >/dev/null 2>&1

# Can Wine run anything here? (The first start also creates the prefix.)
probe_output=$(cd "$work" && timeout -k 10 "$timeout" wine "$probe" 2>"$work/probe.err")
probe_status=$?
if [[ "$probe_output" != *"a Win32 console program ran"* ]]; then
  if [ "$probe_status" -eq 124 ] || [ "$probe_status" -eq 137 ]; then
    why="it gave no answer within $timeout s"
  else
    why="it exited with status $probe_status: $(grep -v '^wine: created the configuration' "$work/probe.err" |
      tail -n 1 | tr -d '\r')"
  fi
  skip "Wine cannot run a trivial Win32 console program on this machine ($why)"
fi
echo "Wine runs Win32 console programs: $(wine --version 2>/dev/null)"

windows_tool=$windows_bin/vellmar.exe

# The documents: the examples and the samples; .mqoz only where the Windows
# build reads it.
shopt -s nullglob nocaseglob
inputs=("$examples"/*.mqo)
archives=()
if [ -n "$samples" ] && [ -d "$samples" ]; then
  inputs+=("$samples"/*.mqo)
  archives=("$samples"/*.mqoz)
fi
shopt -u nullglob nocaseglob
if [ "$mqoz" = supported ]; then
  inputs+=("${archives[@]}")
fi
windows_inputs=()
for input in "${inputs[@]}"; do windows_inputs+=("$(windows_path "$input")"); done
echo "${#inputs[@]} documents"

# Runs the Windows tool; its status goes to the variable status.
run_windows() {
  local log=$1
  shift
  (cd "$work" && timeout -k 10 "$run_timeout" wine "$windows_tool" "$@") >"$log.out" 2>"$log.err"
  status=$?
}

# The same text for comparison: without line 6 of a .xsi file, and with
# "\r\n" line ends turned into "\n" when line_ends is crlf.
normalised() {
  local file=$1 line_ends=$2
  if [[ "$file" == *.xsi ]]; then
    sed '6d' "$file"
  else
    cat "$file"
  fi | if [ "$line_ends" = crlf ]; then sed 's/\r$//'; else cat; fi
}

# Whether the line ends of a file that the Windows tool wrote are those of
# its writer's file mode: the text-mode writers (OBJ and its material file,
# .mqo, the dump) end every line with CR LF, the binary ones (.xsi, .x,
# DXF) with a bare LF.
windows_line_ends_match() {
  case "$1" in
    *.obj | *.mtl | *.mqo | *.txt) ! grep -q -v $'\r$' "$1" ;;
    *) ! grep -q $'\r' "$1" ;;
  esac
}

# Every file of the native folder has its twin in the Windows folder, and
# no other file is there.
compare_folders() {
  local what=$1 native_dir=$2 windows_dir=$3 line_ends=$4
  local native_files windows_files file count=0
  native_files=$(cd "$native_dir" && find . -type f | sort)
  windows_files=$(cd "$windows_dir" 2>/dev/null && find . -type f | sort)
  if [ "$native_files" != "$windows_files" ]; then
    fail "$what: the Windows tool wrote other files than the native tool"
    diff <(echo "$native_files") <(echo "$windows_files") | sed 's/^/    /'
    return
  fi
  while IFS= read -r file; do
    [ -n "$file" ] || continue
    count=$((count + 1))
    if [[ "$file" == *.xsi ]]; then
      local native_line windows_line
      native_line=$(sed -n '6p' "$native_dir/$file")
      windows_line=$(sed -n '6p' "$windows_dir/$file" | sed 's/\r$//')
      [[ "$native_line" == $'\t"'*'",' ]] ||
        fail "$what: $file: line 6 is not the time stamp line: $native_line"
      [ "${#native_line}" = "${#windows_line}" ] ||
        fail "$what: $file: the time stamp lines differ in length: '$native_line' and '$windows_line'"
    fi
    grep -q $'\r' "$native_dir/$file" && fail "$what: $file: the native tool wrote a CR"
    windows_line_ends_match "$windows_dir/$file" ||
      fail "$what: $file: the Windows tool's line ends do not fit the file's text or binary mode"
    if ! cmp -s <(normalised "$native_dir/$file" "$line_ends") <(normalised "$windows_dir/$file" "$line_ends"); then
      fail "$what: $file differs"
      diff <(normalised "$native_dir/$file" "$line_ends") <(normalised "$windows_dir/$file" "$line_ends") |
        head -n 8 | sed 's/^/    /'
    fi
  done <<<"$native_files"
  echo "$what: $count files compared"
}

# info: the plug-in DLL loads and answers through its entry points.
"$native_tool" info >"$work/native-info.out" 2>&1
run_windows "$work/windows-info" info
if [ "$status" -ne 0 ]; then
  fail "info: the Windows tool exited with $status: $(tr -d '\r' <"$work/windows-info.err")"
elif ! diff <(grep -v '^module:' "$work/native-info.out") \
  <(tr -d '\r' <"$work/windows-info.out" | grep -v '^module:') >/dev/null; then
  fail "info: the plug-in DLL reports other values than the native module"
  diff <(grep -v '^module:' "$work/native-info.out") <(tr -d '\r' <"$work/windows-info.out" | grep -v '^module:')
else
  echo "info: the plug-in DLL reports the same as the native module"
fi

# export: through the plug-in DLL, as the host does.
"$native_tool" export "${inputs[@]}" --out-dir "$work/native/export" >"$work/native-export.out" 2>&1
native_status=$?
run_windows "$work/windows-export" export "${windows_inputs[@]}" --out-dir "$(windows_path "$work/windows/export")"
if [ "$status" -ne "$native_status" ]; then
  fail "export: the Windows tool exited with $status, the native tool with $native_status"
  tr -d '\r' <"$work/windows-export.err" | head -n 5 | sed 's/^/    /'
fi
compare_folders export "$work/native/export" "$work/windows/export" exact

# convert: once per format that this build writes. The tool names its
# formats when it is given an unknown one.
formats=$("$native_tool" convert "${inputs[0]}" "$work/x" --format '?' 2>&1 | sed -n 's/.*(\(.*\))$/\1/p' | tr -d ',')
[ -n "$formats" ] || fail "convert: cannot learn the format names from the native tool"
for format in $formats; do
  "$native_tool" convert "${inputs[@]}" --out-dir "$work/native/convert-$format" --format "$format" \
    >"$work/native-convert-$format.out" 2>&1
  native_status=$?
  if grep -q "is not available in this build" "$work/native-convert-$format.out"; then
    echo "convert --format $format: no writer for it yet"
    continue
  fi
  run_windows "$work/windows-convert-$format" convert "${windows_inputs[@]}" \
    --out-dir "$(windows_path "$work/windows/convert-$format")" --format "$format"
  if [ "$status" -ne "$native_status" ]; then
    fail "convert --format $format: the Windows tool exited with $status, the native tool with $native_status"
    tr -d '\r' <"$work/windows-convert-$format.err" | head -n 5 | sed 's/^/    /'
  fi
  compare_folders "convert --format $format" "$work/native/convert-$format" "$work/windows/convert-$format" crlf
done

# .mqoz where the Windows build cannot read it: a clear refusal, no file.
if [ "$mqoz" != supported ] && [ ${#archives[@]} -gt 0 ]; then
  run_windows "$work/windows-mqoz" export "$(windows_path "${archives[0]}")" \
    --out-dir "$(windows_path "$work/windows/mqoz")"
  if [ "$status" -ne 2 ] || ! grep -q "\.mqoz is not supported in this build" "$work/windows-mqoz.err" ||
    [ -n "$(find "$work/windows/mqoz" -type f 2>/dev/null)" ]; then
    fail ".mqoz: expected exit 2, the message '.mqoz is not supported in this build' and no file; got $status:" \
      "$(tr -d '\r' <"$work/windows-mqoz.err")"
  else
    echo ".mqoz: refused with a clear message, as this build has no archive reader"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures comparison(s) failed"
  exit 1
fi
echo "The Windows tool under Wine wrote the same files as the native tool"
