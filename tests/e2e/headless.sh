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
check "tervox-headless --version" [ "$("$run" --version)" = "tervox-headless 0.5.0" ]
check "tervox-win --version" [ "$("$build/tervox-win" --version)" = "tervox-win 0.5.0" ]
check "tervox-win --help names its full-screen key" bash -c '"$0" --help | grep -q "Alt+Return"' "$build/tervox-win"
if [ -x "$build/tervox-pi" ]; then
  check "tervox-pi --version" [ "$("$build/tervox-pi" --version)" = "tervox-pi 0.5.0" ]
fi

# The window programs end with status 1 when SDL cannot start, and say so
# when there is no display (instead of running unseen).
check "no display: status 1" [ "$(status_of env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER \
  SDL_AUDIODRIVER=dummy timeout 30 "$build/tervox" "$cart")" = 1 ]
check "no display: said so" grep -q '^No display found' "$work/err"
check "video driver SDL cannot start: status 1" [ "$(status_of env SDL_VIDEODRIVER=none \
  SDL_AUDIODRIVER=dummy timeout 30 "$build/tervox" "$cart")" = 1 ]

# Images that do not load: the reason in the one-line error, status 2.
mkdir folder.rom
: >empty.rom
truncate -s 200M big.rom
printf 'Some notes, not a game.\n' >notes.rom
printf 'not an archive' >junk.zip
python3 -c 'import zipfile; zipfile.ZipFile("nocart.zip", "w").writestr("readme.txt", "hi")'
for c in "missing.rom:file not found" "folder.rom:is a folder" "empty.rom:empty file" \
         "big.rom:larger than 512 KB" "notes.rom:is a text file" \
         "nocart.zip:no cartridge in the archive" "junk.zip:damaged archive"; do
  file=${c%%:*} reason=${c#*:}
  check "$file: status 2" [ "$(status_of "$run" "$file" --frames 1)" = 2 ]
  check "$file: $reason" grep -qx "tervox-headless: cannot load image: $file: $reason" "$work/err"
done

# Extensions in any case; an entry minizip cannot open (an LZMA readme) is
# passed over on the way to the cartridge.
python3 -c '
import sys, zipfile
with zipfile.ZipFile("mixed.zip", "w") as z:
    z.writestr("readme.txt", "x" * 100, compress_type=zipfile.ZIP_LZMA)
    z.write(sys.argv[1], "Baldy.Rom")' "$cart"
"$run" "$cart" --frames 30 --seed 1 --screenshot raw.png >/dev/null 2>&1
check "Baldy.Rom after an LZMA readme loads" [ "$(status_of "$run" mixed.zip --frames 30 --seed 1 --screenshot zip.png)" = 0 ]
check "and runs as the raw image does" cmp -s raw.png zip.png
cp blank.dsk Boot.Dsk
"$run" Boot.Dsk --frames 400 --screenshot boot.png >/dev/null 2>&1
check "Boot.Dsk boots as a disk" cmp -s page0.png boot.png

# --press numbers out of range are refused, not overflowed.
for p in left_button_1@99999999999999999999 left_button_1@5+9223372036854775807 left_button_1@1000000001; do
  check "--press $p: status 2" [ "$(status_of "$run" "$cart" --press "$p")" = 2 ]
done
check "the range is named" grep -q 'numbers from 0 to 1000000000' "$work/err"

# A headless run reads the user's mapping file but never writes it: not in
# a fresh HOME, not over the user's own; a FIFO or /dev/zero in its place
# does not hang the start.
fresh=$(mktemp -d /tmp/tervox-fresh.XXXXXX)
HOME=$fresh "$run" "$cart" --frames 5 >/dev/null 2>&1
check "no mapping file written in a fresh HOME" [ -z "$(ls -A "$fresh")" ]
rm -rf "$fresh"
printf "' my keys\nup_1\tkey119\n" >tervox_mapping.txt
cp tervox_mapping.txt mine.txt
"$run" "$cart" --frames 5 >/dev/null 2>&1
check "the user's mapping file is left as it was" cmp -s mine.txt tervox_mapping.txt
rm tervox_mapping.txt
mkfifo tervox_mapping.txt
check "a FIFO mapping file: the run ends (status 0)" [ "$(status_of timeout 30 "$run" "$cart" --frames 5)" = 0 ]
rm tervox_mapping.txt
ln -s /dev/zero tervox_mapping.txt
check "/dev/zero as mapping file: the run ends (status 0)" [ "$(status_of timeout 30 "$run" "$cart" --frames 5)" = 0 ]
rm tervox_mapping.txt

# An Activision image named like its own save file is never written: the
# save goes to NAME-save.bin.
cp "$build/demo.rom" Demo.bin
check "Demo.bin runs" [ "$(status_of "$run" Demo.bin --frames 5)" = 0 ]
check "the image is untouched after the game saved" cmp -s "$build/demo.rom" Demo.bin
check "the save is Demo-save.bin, 32 KB" [ "$(stat -c %s Demo-save.bin 2>/dev/null)" = 32768 ]
check "PAL run exits 0" [ "$(status_of "$run" "$cart" --pal --frames 50 --bench)" = 0 ]
echo "$failures failures"
[ $failures -eq 0 ]
