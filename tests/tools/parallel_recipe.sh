#!/usr/bin/env bash
# The README's recipe for a batch over several machines, run as written with
# GNU parallel's login for this machine (':') over a folder of the examples
# and one bad document: every good document's .glb comes back as a direct
# convert makes it, the bad one has none and its job exits 2, the others 0,
# parallel's status is the one failure, and the documents stay.
# Usage: parallel_recipe.sh TOOL EXAMPLES README WORK
# Skipped (exit 77) without GNU parallel (Debian's parallel).
set -uo pipefail
tool=$(realpath "$1") examples=$2 readme=$3 work=$4
command -v parallel >/dev/null || { echo "SKIPPED: GNU parallel is not installed (Debian's parallel)"; exit 77; }

out=$work/parallel-recipe
rm -rf "$out"
mkdir -p "$out/documents" "$out/direct"
cp "$examples"/*.mqo "$out/documents/"
printf 'not a document\n' >"$out/documents/bad.mqo"

# The recipe: the shell block after its marker, with this machine as the
# only login.
recipe=$(sed -n '/^<!-- batch over machines -->$/,/^```$/p' "$readme" | sed '1,2d;$d')
[ -n "$recipe" ] || { echo "FAIL: no recipe after '<!-- batch over machines -->' in $readme"; exit 1; }
recipe=$(printf '%s\n' "$recipe" | sed 's/^logins=.*/logins=:/')
echo "$recipe"

fail=0
status=$(cd "$out" && PATH=$(dirname "$tool"):$PATH bash -c "$recipe" >"$out/recipe.out" 2>&1; echo $?)
[ "$status" = 1 ] || { echo "FAIL: parallel's status is $status, not 1 (one document failed)"; cat "$out/recipe.out"; fail=1; }
log=$out/documents/vellmar-jobs.log
[ -f "$log" ] || { echo "FAIL: no job log"; exit 1; }
for document in "$out"/documents/*.mqo; do
  name=$(basename "$document" .mqo)
  exitval=$(awk -F'\t' -v c="$name.mqo $name.glb" 'index($9, c) { print $7 }' "$log")
  if [ "$name" = bad ]; then
    [ "$exitval" = 2 ] || { echo "FAIL: the bad document's job exited '$exitval', not 2"; fail=1; }
    [ ! -e "$out/documents/bad.glb" ] || { echo "FAIL: the bad document has an output"; fail=1; }
    continue
  fi
  [ "$exitval" = 0 ] || { echo "FAIL: $name's job exited '$exitval', not 0"; fail=1; }
  "$tool" convert -q "$document" "$out/direct/$name.glb" 2>/dev/null
  cmp -s "$out/documents/$name.glb" "$out/direct/$name.glb" || { echo "FAIL: $name.glb differs or is missing"; fail=1; }
  [ -f "$document" ] || { echo "FAIL: $name.mqo was removed"; fail=1; }
done
[ "$fail" = 0 ] && echo "the recipe converted every good document and reported the bad one"
exit "$fail"
