#!/usr/bin/env bash
# The demo cartridge (build/demo.rom) run headless: each page reached with
# the keypad, the joystick or # of either controller, its picture and sound,
# the controller page answering, and the game's high score surviving a
# restart through the EEPROM save file.
# Usage: demo.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
rom="$build/demo.rom"
[ -f "$rom" ] || { echo "skipped: $rom was not built"; exit 77; }
for tool in convert compare sox; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d /tmp/tervox-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir fresh saved
failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
# run HOME NAME FRAMES [options]: NAME.png and NAME.wav of the last frames
run() {
  local home=$1 name=$2 frames=$3; shift 3
  HOME="$work/$home" "$build/tervox-headless" "$rom" --seed 1 --frames "$frames" \
    --screenshot "$name.png" --wav "$name.wav" "$@" >/dev/null 2>&1 \
    || echo "FAILED: run $name"
}
colours() { convert "$1" -format %k info:; }
# sound after 5.5 s, that is once the page picked at frame 300 is up
loud() { sox "$1" -n trim 5.5 stat 2>&1 | awk '/Maximum amplitude/ { exit !($3 > 0.05) }'; }
same() { cmp -s "$1" "$2"; }
# the lower half of two pictures is the same
same_below() { [ "$(compare -metric AE -extract 256x96+0+96 "$1" "$2" null: 2>&1)" = 0 ]; }
differ() { ! cmp -s "$1" "$2"; }

# The BIOS's title screen has gone by frame 300; a key then picks the page.
run fresh page0 450
for n in 1 2 3 4 5 7 8; do run fresh "page$n" 450 --press "key${n}_1@300"; done
run fresh page6 450 --press key6_1@300 --dump page6.txt

blank=$(for n in 0 1 2 3 4 5 6 7 8; do [ "$(colours page$n.png)" -ge 2 ] || echo $n; done)
check "no page is blank (blank: $blank)" [ -z "$blank" ]
check "the nine pages look different" [ "$(md5sum page?.png | cut -c1-32 | sort -u | wc -l)" = 9 ]
check "title, sound chip and module pages play music" bash -c \
  "$(declare -f loud); loud page0.wav && loud page5.wav && loud page6.wav"
check "the text page is quiet" bash -c "$(declare -f loud); ! loud page4.wav"
check "the module's tune is the AY's: the SN76489 is silent there" \
  [ "$(grep -c 'PSG\[[1357]\] = 0F' page6.txt)" = 4 ]

# Navigation: joystick right, or # on controller 2, does what key 1 does;
# * goes back; on the controller page only a held # leaves.
run fresh joy 450 --press right_1@300
check "joystick right steps from the title to page 1" same joy.png page1.png
run fresh hash2 450 --press "key#_2@300"
check "# on controller 2 steps to page 1" same hash2.png page1.png
run fresh back 450 --press key1_1@300 --press "key*_1@340"
# (the balls over the menu move with the NMIs counted, which the time spent
# drawing page 1 puts off: the menu below them is compared)
check "* steps back to the title" same_below back.png page0.png
run fresh short 450 --press key7_1@300 --press "key#_1@380+10"
check "a short # keeps the controller page" same short.png page7.png
run fresh held 500 --press key7_1@300 --press "key#_1@380+60"
check "a held # goes on to the game" same held.png page8.png
run fresh live 450 --press key7_1@300 --press key5_2@400+50 --press up_1@400+50 \
  --press left_button_1@400+50 --press right_button_2@400+50
check "the controller page shows what is held" differ live.png page7.png

# The game: fire starts it; the first gems fall onto the waiting ship, so
# standing still scores, and after game over three fires give "AAA". A
# new run of the program must show that table again, read from the save
# file, and not the one a blank EEPROM gives.
run saved play 1600 --press key8_1@300 --press left_button_1@400 \
  --press left_button_1@1400+4 --press left_button_1@1420+4 --press left_button_1@1440+4
check "the game wrote its 32 KB save file" [ "$(stat -c %s saved/demo.bin 2>/dev/null)" = 32768 ]
check "the save file holds the table" [ "$(head -c 4 saved/demo.bin 2>/dev/null)" = TVX1 ]
check "the new score is in the table" differ play.png page8.png
run saved again 450 --press key8_1@300
check "after a restart the table is the one saved" same again.png play.png

echo "$failures failures"
[ $failures -eq 0 ]
