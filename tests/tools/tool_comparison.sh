# The comparison of another build of the vellmar tool (Windows under Wine,
# 32-bit Linux under an emulator) with the native release tool: both run
# info, export and convert to every format on every example and sample
# document (.glb also in the document's order and compressed; export and
# compressed .glb also with --freeze, which subdivides the surfaces of the
# real documents), and the files they write must match byte for byte, apart from
# the time stamp line of a .xsi (line 6) and, on Windows, the CR LF line ends
# that the text-mode writers write there. Sourced by the scripts of each
# build, which set these variables and define these functions first:
#   native_tool, examples, samples (may be empty), work
#   mqoz            supported | unsupported: whether the build reads .mqoz
#   line_ends       windows | unix: the candidate's line ends in text mode
#   candidate_name  what the candidate is, for messages ("Windows")
#   run_candidate LOG ARGS...  runs the candidate tool in $work with its
#                   output in LOG.out and LOG.err; sets status
#   candidate_path PATH        PATH as the candidate sees it

# Reads the options "--NAME VALUE" that follow "--" into the variables
# NAME, dashes made underscores; the names before "--" are those taken.
# False at any other option, or one without its value.
read_options() {
  local taken=" " name
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    taken+="$1 "
    shift
  done
  shift
  while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || return 1
    name=${1#--}
    [ "--$name" = "$1" ] && [[ "$taken" == *" $name "* ]] || return 1
    printf -v "${name//-/_}" '%s' "$2"
    shift 2
  done
}

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The files that the text-mode writers write (OBJ and its material file,
# .mqo, the dump): their lines end with CR LF on Windows. Every other file
# is written in binary mode and is the same bytes everywhere.
text_mode_file() {
  case "$1" in
    *.obj | *.mtl | *.mqo | *.txt) return 0 ;;
    *) return 1 ;;
  esac
}

# The native file as the candidate must have written it, and either one
# without the time stamp line of a .xsi.
expected_bytes() {
  if [ "$line_ends" = windows ] && text_mode_file "$1"; then
    sed -z 's/\n/\r\n/g' "$1"
  else
    cat "$1"
  fi
}
without_time_stamp() {
  if [[ "$1" == *.xsi ]]; then sed '6d'; else cat; fi
}

# Every file of the native folder has its twin in the candidate's folder,
# with the expected bytes, and no other file is there.
compare_folders() {
  local what=$1 native_dir=$2 candidate_dir=$3
  local native_files candidate_files file count=0
  native_files=$(cd "$native_dir" && find . -type f | sort)
  candidate_files=$(cd "$candidate_dir" 2>/dev/null && find . -type f | sort)
  if [ "$native_files" != "$candidate_files" ]; then
    fail "$what: the $candidate_name tool wrote other files than the native tool"
    diff <(echo "$native_files") <(echo "$candidate_files") | sed 's/^/    /'
    return
  fi
  while IFS= read -r file; do
    [ -n "$file" ] || continue
    count=$((count + 1))
    local native=$native_dir/$file candidate=$candidate_dir/$file
    if [[ "$file" == *.xsi ]]; then
      local native_line candidate_line
      native_line=$(sed -n '6p' "$native")
      candidate_line=$(sed -n '6p' "$candidate")
      [[ "$native_line" == $'\t"'*'",' ]] || fail "$what: $file: line 6 is not the time stamp line: $native_line"
      [ "${#native_line}" = "${#candidate_line}" ] ||
        fail "$what: $file: the time stamp lines differ in length: '$native_line' and '$candidate_line'"
    fi
    if text_mode_file "$file" && grep -q $'\r' "$native"; then
      fail "$what: $file: the native tool wrote a CR"
    elif ! cmp -s <(expected_bytes "$native" | without_time_stamp "$file") <(without_time_stamp "$file" <"$candidate"); then
      fail "$what: $file differs from the native tool's (line ends: $(line_ends_of "$candidate"))"
      diff <(expected_bytes "$native" | without_time_stamp "$file") <(without_time_stamp "$file" <"$candidate") |
        head -n 8 | cat -A | cut -c 1-160 | sed 's/^/    /'
    fi
  done <<<"$native_files"
  echo "$what: $count files compared"
}

line_ends_of() {
  if ! grep -q $'\r' "$1"; then
    echo "LF"
  elif grep -q -v $'\r$' "$1"; then
    echo "mixed"
  else
    echo "CR LF"
  fi
}

# The documents: the examples and the samples; .mqoz only where the build
# reads it (the archives are kept apart for the refusal check).
collect_inputs() {
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
  candidate_inputs=()
  local input
  for input in "${inputs[@]}"; do candidate_inputs+=("$(candidate_path "$input")"); done
  echo "${#inputs[@]} documents"
}

# Runs COMMAND with every document and OPTIONS on both tools: the native one
# writes into $work/native/NAME, the candidate into $work/candidate/NAME;
# both exit statuses must agree and the folders must match. Returns 1 when
# the native tool has no writer for what was asked.
run_both() {
  local name=$1 command=$2
  shift 2
  "$native_tool" "$command" "${inputs[@]}" "$@" --out-dir "$work/native/$name" >"$work/native-$name.out" 2>&1
  local native_status=$?
  grep -q "is not available in this build" "$work/native-$name.out" && return 1
  run_candidate "$work/candidate-$name" "$command" "${candidate_inputs[@]}" "$@" \
    --out-dir "$(candidate_path "$work/candidate/$name")"
  if [ "$status" -ne "$native_status" ]; then
    fail "$name: the $candidate_name tool exited with $status, the native tool with $native_status"
    tr -d '\r' <"$work/candidate-$name.err" | head -n 5 | sed 's/^/    /'
  fi
  compare_folders "$name" "$work/native/$name" "$work/candidate/$name"
  return 0
}

# info under the name WHAT: the plug-in module loads and answers through
# its entry points as the native one does (apart from the path it names).
compare_info() {
  local what=$1
  "$native_tool" info >"$work/native-info.out" 2>&1
  run_candidate "$work/candidate-$what" info
  if [ "$status" -ne 0 ]; then
    fail "$what: the $candidate_name tool exited with $status: $(tr -d '\r' <"$work/candidate-$what.err")"
  elif ! diff <(grep -v '^module:' "$work/native-info.out") \
    <(tr -d '\r' <"$work/candidate-$what.out" | grep -v '^module:') >/dev/null; then
    fail "$what: the $candidate_name plug-in module reports other values than the native one"
    diff <(grep -v '^module:' "$work/native-info.out") <(tr -d '\r' <"$work/candidate-$what.out" | grep -v '^module:')
  else
    echo "$what: the $candidate_name plug-in module reports the same as the native one"
  fi
}

compare_tools() {
  collect_inputs
  [ ${#inputs[@]} -gt 0 ] || fail "no documents found in $examples"

  compare_info info

  # export: through the plug-in module, as the host does.
  run_both export export

  # convert: once per format that the tool writes. The tool names its
  # formats when it is given an unknown one, so a new format is compared too.
  local formats format
  formats=$("$native_tool" convert "${inputs[0]}" "$work/x" --format '?' 2>&1 | sed -n 's/.*(\(.*\))$/\1/p' | tr -d ',')
  [ -n "$formats" ] || fail "convert: cannot learn the format names from the native tool"
  for format in $formats; do
    run_both "convert-$format" convert --format "$format" ||
      echo "convert --format $format: no writer for it in this build"
  done

  # glTF in the document's order, and compressed: both need meshoptimizer,
  # which every build that is compared has, so a refusal fails (the exit
  # statuses differ). --freeze: lathes, mirrors and subdivision surfaces
  # (OpenSubdiv) become plain faces, in the export and in a compressed glTF
  # file.
  run_both convert-glb-keep-order convert --format glb --keep-order || echo "glb --keep-order: no glTF writer"
  run_both convert-glb-compress convert --format glb --compress || echo "glb --compress: not in the native tool"
  run_both export-freeze export --freeze
  run_both convert-glb-freeze convert --format glb --freeze --compress ||
    echo "glb --freeze --compress: not in the native tool"

  # .mqoz where the build cannot read it: a clear refusal, and no file.
  if [ "$mqoz" != supported ] && [ ${#archives[@]} -gt 0 ]; then
    run_candidate "$work/candidate-mqoz" export "$(candidate_path "${archives[0]}")" \
      --out-dir "$(candidate_path "$work/candidate/mqoz")"
    if [ "$status" -ne 2 ] || ! grep -q "\.mqoz is not supported in this build" "$work/candidate-mqoz.err" ||
      [ -n "$(find "$work/candidate/mqoz" -type f 2>/dev/null)" ]; then
      fail ".mqoz: expected exit 2, the message '.mqoz is not supported in this build' and no file; got $status:" \
        "$(tr -d '\r' <"$work/candidate-mqoz.err")"
    else
      echo ".mqoz: refused with a clear message, as this build has no archive reader"
    fi
  fi
}
