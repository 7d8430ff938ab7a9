#!/usr/bin/env bash
# tervox-headless as a developer's CI uses it: options, files, exit codes.
# Usage: headless.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
run="$build/tervox-headless"
cart="$build/tests/asm/e2e_cart.bin"
work=$(mktemp -d /tmp/tervox-headless.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
export HOME="$work"
failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
status_of() { "$@" >"$work/out" 2>"$work/err"; echo $?; }

check "--help exits 0 and shows the options" [ "$(status_of "$run" --help)" = 0 ]
grep -q -- '--snapshot-out' "$work/out" || { echo "FAILED: usage lists --snapshot-out"; failures=$((failures + 1)); }
check "no image: status 2" [ "$(status_of "$run")" = 2 ]
check "missing image: status 2" [ "$(status_of "$run" "$work/none.rom")" = 2 ]
check "the error is one line" [ "$(wc -l <"$work/err")" = 1 ]
check "unknown option: status 2" [ "$(status_of "$run" "$cart" --bogus)" = 2 ]
check "bad --frames: status 2" [ "$(status_of "$run" "$cart" --frames x)" = 2 ]
check "unknown input name: status 2" [ "$(status_of "$run" "$cart" --press fire@3)" = 2 ]
check "--press without a frame: status 2" [ "$(status_of "$run" "$cart" --press left_button_1)" = 2 ]

check "a full run exits 0" [ "$(status_of "$run" "$cart" --frames 120 --screenshot a.png --wav a.wav \
  --avi a.avi --dump d.txt --snapshot-out s.bin --press left_button_1@10+5 --press KEY1_1@20 --bench)" = 0 ]
check "bench line" grep -Eq '^bench: 120 frames in [0-9.]+ s: [0-9]+ frames a second, [0-9.]+ times real time$' "$work/out"
check "PNG written" [ "$(head -c 8 a.png | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ]
check "WAV of 120 frames: 44 + 1760 bytes per 157 lines" [ "$(stat -c %s a.wav)" = $((44 + 1760 * (120 * 262 / 157))) ]
check "AVI written" [ "$(head -c 4 a.avi)" = RIFF ]
check "dump written" grep -q 'VDP registers' d.txt
check "snapshot written" [ "$(stat -c %s s.bin)" = 149872 ]

# A run restored from the snapshot ends on the same picture as one run
# straight through.
"$run" "$cart" --frames 200 --screenshot whole.png >/dev/null 2>&1
"$run" "$cart" --frames 80 --snapshot-out half.bin >/dev/null 2>&1
"$run" "$cart" --frames 120 --snapshot-in half.bin --screenshot resumed.png >/dev/null 2>&1
check "restored run ends on the same picture" cmp -s whole.png resumed.png
check "damaged snapshot: status 2" [ "$(status_of "$run" "$cart" --snapshot-in d.txt)" = 2 ]

# The Adam: a blank disk boots into the typewriter, and --type types on it
# ("\n" is Return); the same typing twice gives the same page.
head -c 163840 /dev/zero >blank.dsk
"$run" blank.dsk --frames 400 --screenshot page0.png >/dev/null 2>&1
"$run" blank.dsk --frames 400 --type 'HELLO\nADAM@150' --screenshot page1.png >/dev/null 2>&1
"$run" blank.dsk --frames 400 --type 'HELLO\nADAM@150' --screenshot page2.png >/dev/null 2>&1
check "typed text changes the typewriter page" bash -c '! cmp -s page0.png page1.png'
check "typing is repeatable" cmp -s page1.png page2.png

check "tervox --version prints its version" [ "$("$build/tervox" --version)" = "tervox 0.5.0" ]
check "tervox --help exits 0" [ "$(status_of "$build/tervox" --help)" = 0 ]
check "tervox --help names the hotkeys" grep -q 'F10 screenshot' "$work/out"
check "PAL run exits 0" [ "$(status_of "$run" "$cart" --pal --frames 50 --bench)" = 0 ]
echo "$failures failures"
[ $failures -eq 0 ]
