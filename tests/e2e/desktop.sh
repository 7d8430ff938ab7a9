#!/usr/bin/env bash
# The real desktop program under a virtual X server: hotkeys sent with
# xdotool, the files it writes and the window's picture checked.
# Usage: desktop.sh BUILD_DIR. Exit 77 (skipped) when the X tools are absent.
set -u
unset SDL_VIDEODRIVER  # the real window, on the virtual X server
build=$(cd "$1" && pwd)
for tool in Xvfb xdotool import convert compare; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
[ -x "$build/tests/xdnd_drop" ] || { echo "skipped: xdnd_drop was not built (no X11 headers)"; exit 77; }
cart="$build/tests/asm/e2e_cart.bin"
[ -f "$cart" ] || { echo "missing $cart"; exit 1; }

work=$(mktemp -d /tmp/tervox-e2e.XXXXXX)
export HOME="$work/home"
mkdir -p "$HOME"
cp "$cart" "$work/e2e.rom"
# F12 quits (the default exit key is one keyboards lack).
printf 'key_exit\tkey1073741893\n' >"$HOME/tervox_mapping.txt"
app=""
xvfb=""
cleanup() {
  [ -n "$app" ] && kill $app 2>/dev/null
  [ -n "$xvfb" ] && kill $xvfb 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# Xvfb picks a free display itself and names it once it accepts clients.
# -noreset: by default the server resets whenever its last client leaves
# (xdpyinfo, each xdotool call), refusing the program's connection if it
# comes at that moment.
Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp -noreset >"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAILED: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")
# Without an answering server SDL would find no display and the program
# would rightly refuse to start: wait for one (a loaded machine is slow).
answered=""
for _ in $(seq 300); do xdpyinfo >/dev/null 2>&1 && { answered=1; break; }; sleep 0.1; done
[ -n "$answered" ] || { echo "FAILED: Xvfb does not answer on $DISPLAY"; exit 1; }

failures=0
# Waits up to 10 s for a non-empty file: a loaded machine may be slow.
wait_file() { for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done; return 1; }
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

SDL_AUDIODRIVER=dummy "$build/tervox" "$work/e2e.rom" >"$work/out.txt" 2>&1 &
app=$!
win=""
for _ in $(seq 300); do
  win=$(xdotool search --name 'Tervox' 2>/dev/null | head -n 1)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "FAILED: no window"; cat "$work/out.txt"; exit 1; }
xdotool windowfocus --sync "$win" 2>/dev/null
sleep 1.5

# pixel X Y -> "R G B" of the window's picture
shot() { import -window "$win" "$work/win.png" 2>/dev/null; }
pixel() { convert "$work/win.png" -format "%[fx:int(255*p{$1,$2}.r)] %[fx:int(255*p{$1,$2}.g)] %[fx:int(255*p{$1,$2}.b)]" info:; }
key() { xdotool key --window "$win" "$@"; sleep 0.4; }

shot
read -r w h < <(identify -format '%w %h' "$work/win.png")
check "window is 640x416 ($w x $h)" [ "$w" = 640 ] && [ "$h" = 416 ]
read -r r g b < <(pixel 2 200)
check "left border is the dark-blue backdrop ($r $g $b)" [ "$b" -gt "$r" ] && [ "$b" -gt "$g" ]
read -r r2 g2 b2 < <(pixel 31 200)
check "border reaches x=31" [ "$r2 $g2 $b2" = "$r $g $b" ]
read -r r g b < <(pixel 40 24)
check "picture starts at (32,16) with a white cell ($r $g $b)" [ "$r" -gt 200 ] && [ "$g" -gt 200 ] && [ "$b" -gt 200 ]
read -r r g b < <(pixel 60 24)
check "the next cell is dark red ($r $g $b)" [ "$r" -gt "$g" ] && [ "$r" -gt "$b" ]
read -r r g b < <(pixel 32 399)
check "picture ends at y=399" [ "$r" -gt 100 ] || [ "$g" -gt 100 ]
read -r r g b < <(pixel 32 400)
read -r r3 g3 b3 < <(pixel 2 200)
check "bottom border from y=400" [ "$r $g $b" = "$r3 $g3 $b3" ]

# Hidden and shown again, the window gets its whole picture back (the
# border included, though it has not changed).
xdotool windowunmap --sync "$win"
sleep 0.3
xdotool windowmap --sync "$win"
sleep 0.5
shot
read -r r2 g2 b2 < <(pixel 2 200)
check "border back after the window is shown again ($r2 $g2 $b2)" [ "$r2 $g2 $b2" = "$r3 $g3 $b3" ]
read -r r g b < <(pixel 40 24)
check "picture back too ($r $g $b)" [ "$r" -gt 200 ] && [ "$g" -gt 200 ] && [ "$b" -gt 200 ]
xdotool windowfocus --sync "$win" 2>/dev/null

key F10
sleep 0.5
check "screenshot image001.png written" wait_file "$HOME/image001.png"
# The message stays bright for 50 frames: look for the bar while it does.
red_bar() {
  for _ in $(seq 10); do
    shot
    read -r r g b < <(pixel 12 12)
    [ "$r" -gt 150 ] && [ "$g" -lt 100 ] && return 0
  done
  return 1
}
check "status bar shown in red" red_bar

key F3
sleep 0.3
key F10
check "screenshot while paused" wait_file "$HOME/image002.png"
key F3

rm -f /var/tmp/tervox_snapshot.bin
key F1
check "snapshot saved" wait_file /var/tmp/tervox_snapshot.bin
key F2
key BackSpace
check "still running after reset" kill -0 $app

key F9
sleep 1
key F9
check "WAV recording written" wait_file "$HOME/audio001.wav"
if command -v soxi >/dev/null; then
  check "WAV is 44100 Hz, two channels" [ "$(soxi -r "$HOME/audio001.wav") $(soxi -c "$HOME/audio001.wav")" = "44100 2" ]
fi

key F6
sleep 1.5
key F6
check "AVI recording written" wait_file "$HOME/video001.avi"
if command -v ffprobe >/dev/null; then
  codec=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height -of csv=p=0 "$HOME/video001.avi")
  check "AVI video stream is zmbv,256,192 ($codec)" [ "$codec" = "zmbv,256,192" ]
fi

key ctrl+F4
check "debug dump written" wait_file "$HOME/debug001.txt"

key F4
shot
check "still running after PAL switch" kill -0 $app
key F4

key ctrl+super+f
sleep 0.5
wait_grep() { for _ in $(seq 100); do grep -qi "$1" "$2" 2>/dev/null && return 0; sleep 0.1; done; return 1; }
check "full-screen preference saved" wait_grep 'fullscreen[[:space:]]*yes' "$HOME/tervox_mapping.txt"
key ctrl+super+f
sleep 0.5

# A resized window: 1000x208 has scale 1, the picture 288x192 at (356, 8).
xdotool windowmove "$win" 0 0
xdotool windowsize "$win" 1000 208
sleep 1
shot
read -r w h < <(identify -format '%w %h' "$work/win.png")
check "window resized to 1000x208 ($w x $h)" [ "$w" = 1000 ] && [ "$h" = 208 ]
read -r r g b < <(pixel 354 100)
check "border left of x=356 ($r $g $b)" [ "$b" -gt "$r" ] && [ "$b" -gt "$g" ]
read -r r g b < <(pixel 358 10)
check "white cell at the picture's corner (356,8) ($r $g $b)" [ "$r" -gt 200 ] && [ "$g" -gt 200 ] && [ "$b" -gt 200 ]
read -r r g b < <(pixel 366 10)
check "the next cell, 9 pixels on, is red ($r $g $b)" [ "$r" -gt "$g" ] && [ "$r" -gt "$b" ]
read -r r g b < <(pixel 643 10)
read -r r2 g2 b2 < <(pixel 644 10)
check "picture ends at x=643 ($r $g $b | $r2 $g2 $b2)" [ "$r" -gt "$b" ] && [ "$b2" -gt "$r2" ] && [ "$b2" -gt "$g2" ]
xdotool windowsize "$win" 640 416
sleep 0.5

# Files that do not load, dropped on the window: the reason on standard
# error and the status line, and the game goes on as it was.
picture() { import -window "$win" -crop 576x384+32+16 +repage "$1" 2>/dev/null; }
mkdir "$work/folder.rom"
picture "$work/before.png"
title=$(xdotool getwindowname "$win")
check "a missing file is dropped" "$build/tests/xdnd_drop" "$win" "$work/missing.rom"
check "a folder is dropped" "$build/tests/xdnd_drop" "$win" "$work/folder.rom"
check "the status line shows it" red_bar
check "stderr says the file was not found" wait_grep "^Couldn't load $work/missing.rom: file not found$" "$work/out.txt"
check "stderr says the folder is a folder" wait_grep "^Couldn't load $work/folder.rom: is a folder$" "$work/out.txt"
sleep 1
picture "$work/after.png"
check "the same picture a second later" [ "$(compare -metric AE "$work/before.png" "$work/after.png" null: 2>&1)" = 0 ]
check "the same title ($title)" [ "$(xdotool getwindowname "$win")" = "$title" ]
# A file that loads replaces the game, and the title names it.
cp "$work/e2e.rom" "$work/again.rom"
"$build/tests/xdnd_drop" "$win" "$work/again.rom"
wait_title() { for _ in $(seq 50); do [ "$(xdotool getwindowname "$win")" = "$1" ] && return 0; sleep 0.1; done; return 1; }
check "a cartridge dropped loads" wait_title "Tervox - again.rom"

check "mapping file written" wait_file "$HOME/tervox_mapping.txt"

check "exit key kept in the mapping file" grep -q 'key_exit.*key1073741893' "$HOME/tervox_mapping.txt"

# A close request (SDL turns SIGTERM into one) ends a running recording
# properly and the program with status 0.
key F9
sleep 0.5
kill -TERM $app
for _ in $(seq 50); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
if kill -0 $app 2>/dev/null; then
  check "program ends on a close request" false
else
  wait $app
  check "program ends with status 0" [ $? -eq 0 ]
fi
app=""
wav="$HOME/audio002.wav"
if [ -s "$wav" ]; then
  size=$(stat -c %s "$wav")
  riff=$(od -An -tu4 -j4 -N4 "$wav" | tr -d ' ')
  check "WAV ended by the close request has its sizes ($riff = $size - 8)" [ "$riff" -eq $((size - 8)) ]
else
  check "WAV recording started before the close request" false
fi

# The exit key ends the program too; started with an image that is not
# there, it says so and runs the console without a cartridge.
SDL_AUDIODRIVER=dummy "$build/tervox" "$work/missing.rom" >"$work/out2.txt" 2>&1 &
app=$!
for _ in $(seq 300); do
  win=$(xdotool search --name 'Tervox' 2>/dev/null | head -n 1)
  [ -n "$win" ] && break
  sleep 0.1
done
sleep 1
check "a missing image at start is reported" grep -qx "Couldn't load $work/missing.rom: file not found" "$work/out2.txt"
check "the window has the bare title" [ "$(xdotool getwindowname "$win")" = Tervox ]
xdotool windowfocus --sync "$win" 2>/dev/null
key F12
for _ in $(seq 50); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
if kill -0 $app 2>/dev/null; then check "exit key ends the program" false; else wait $app; check "exit key ends with status 0" [ $? -eq 0 ]; fi
app=""

echo "$failures failures"
[ $failures -eq 0 ]
