#!/usr/bin/env bash
# The 64-bit Windows tool under Wine in a Japanese locale, whose code page
# (932) Wine takes from the Unix locale: --out-dir names are cut at '\' and
# '/', but never at the second byte of a character such as 表 (95 5C). A
# Wine that does not read the locale's Shift-JIS has only the cut at '\'
# checked, and says so. Exit status: 0 passed, 1 failed, 77 skipped, with
# the reason on one line.
set -uo pipefail

[ $# -eq 4 ] || { echo "usage: $0 WINE64_LOADER WINDOWS_BIN_DIR WORK_DIR PREFIX_DIR" >&2; exit 1; }
wine=$1 windows_bin=$(realpath -m "$2") work=$(realpath -m "$3") prefix=$(realpath -m "$4")

skip() {
  echo "SKIPPED: $*"
  exit 77
}

[ -x "$wine" ] || skip "Wine's 64-bit loader $wine is not installed (scripts/test.sh --windows installs it)"
[ -f "$windows_bin/vellmar.exe" ] || { echo "FAIL: no vellmar.exe in $windows_bin"; exit 1; }
sjis_locale() { locale -a 2>/dev/null | grep -ix -m 1 -e 'ja_JP.sjis' -e 'ja_JP.shiftjis'; }
locale=$(sjis_locale)
if [ -z "$locale" ] && [ "$(id -u)" = 0 ] && command -v localedef >/dev/null; then
  # localedef warns that Shift-JIS is not ASCII compatible (0x5C, 0x7E) and
  # makes the locale all the same.
  localedef -i ja_JP -f SHIFT_JIS ja_JP.SJIS >/dev/null 2>&1
  locale=$(sjis_locale)
fi
[ -n "$locale" ] || skip "no Shift-JIS Japanese locale to give Wine code page 932 (as root: localedef -i ja_JP -f SHIFT_JIS ja_JP.SJIS)"

export LANG=$locale LC_ALL=$locale WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINELOADER=$wine
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY WINEDLLPATH
trap 'wineserver -k >/dev/null 2>&1' EXIT

rm -rf "$work"
mkdir -p "$work/a" "$prefix"
omote=$'\x95\x5c'
# Wine reads arguments and file names in the Unix locale's character set
# only where it knows that set: 表 must come back whole from cmd's echo.
# Where it does not, only the cut at '\' is checked.
inputs=('a\b.mqo')
wanted=(out/b.obj out/b.mtl)
echoed=$(timeout 600 "$wine" cmd /c echo "$omote" 2>/dev/null | tr -d '\r\n')
if [ "$echoed" = "$omote" ]; then
  inputs+=("$omote.mqo")
  wanted+=("out/$omote.obj" "out/$omote.mtl")
  checked="out/b.obj and out/表.obj (in Shift-JIS) under $locale"
else
  checked="out/b.obj; not 表: this Wine does not take code page 932 from $locale (表 echoed as"
  checked+="$(printf '%s' "$echoed" | od -An -tx1 | tr -s ' '))"
fi
document='Metasequoia Document
Format Text Ver 1.0

Object "t" {
	vertex 3 {
		0 0 0
		1 0 0
		0 1 0
	}
	face 1 {
		3 V(0 1 2)
	}
}
Eof'
printf '%s\n' "$document" >"$work/a/b.mqo"
printf '%s\n' "$document" >"$work/$omote.mqo"
cd "$work" || exit 1
timeout 900 "$wine" "$windows_bin/vellmar.exe" convert "${inputs[@]}" --out-dir out --format obj >run.out 2>run.err
status=$?
[ "$status" -ne 124 ] || skip "Wine gave no answer within 900 s"
failed=0
[ "$status" -eq 0 ] || { echo "FAIL: the tool exited with status $status: $(tail -n 1 run.err)"; failed=1; }
for want in "${wanted[@]}"; do
  [ -f "$want" ] || { echo "FAIL: $want was not written"; failed=1; }
done
for unwanted in out/.mqo.obj "out/a\\b.obj"; do
  [ ! -e "$unwanted" ] || { echo "FAIL: $unwanted was written"; failed=1; }
done
[ "$failed" -eq 0 ] || { ls -b out >&2; exit 1; }
echo "passed: $checked"
