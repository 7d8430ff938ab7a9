#!/usr/bin/env bash
# tervox-pi on a desktop: without the VideoCore library it draws through
# EGL and OpenGL ES into its SDL window. Checks the quad's picture, the
# status bar's colour and the Pi's quit keys. Exit 77 (skipped) when the X
# tools, the program or a working EGL are absent.
set -u
unset SDL_VIDEODRIVER
build=$(cd "$1" && pwd)
[ -x "$build/tervox-pi" ] || { echo "skipped: tervox-pi was not built"; exit 77; }
for tool in Xvfb xdotool import convert; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d /tmp/tervox-pi.XXXXXX)
export HOME="$work"
app=""
xvfb=""
cleanup() { [ -n "$app" ] && kill $app 2>/dev/null; [ -n "$xvfb" ] && kill $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
# Xvfb picks a free display itself and names it once it accepts clients.
# -noreset: by default the server resets whenever its last client leaves
# (xdpyinfo, each xdotool call), refusing the program's connection if it
# comes at that moment.
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAILED: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

SDL_AUDIODRIVER=dummy "$build/tervox-pi" "$build/tests/asm/e2e_cart.bin" >"$work/out.txt" 2>&1 &
app=$!
win=""
for _ in $(seq 300); do
  kill -0 $app 2>/dev/null || break
  win=$(xdotool search --name 'Tervox' 2>/dev/null | head -n 1)
  [ -n "$win" ] && break
  sleep 0.1
done
sleep 1.5
if ! kill -0 $app 2>/dev/null; then
  if grep -q "init_ogl" "$work/out.txt"; then echo "skipped: no working EGL here: $(cat "$work/out.txt")"; exit 77; fi
  echo "FAILED: tervox-pi ended early"; cat "$work/out.txt"; exit 1
fi
failures=0
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi; }
pixel() { convert "$work/win.png" -format "%[fx:int(255*p{$1,$2}.r)] %[fx:int(255*p{$1,$2}.g)] %[fx:int(255*p{$1,$2}.b)]" info:; }
import -window "$win" "$work/win.png" 2>/dev/null
# 640x416: scale min(640/288, 416/192) gives a 624x416 quad from x = 8.
read -r r g b < <(pixel 3 200)
check "black outside the quad ($r $g $b)" [ "$r $g $b" = "0 0 0" ]
read -r r g b < <(pixel 12 4)
check "white first cell ($r $g $b)" [ "$r" -gt 200 ] && [ "$g" -gt 200 ] && [ "$b" -gt 200 ]
read -r r g b < <(pixel 32 4)
check "red second cell: red stays red through the R,G,B,0 buffer ($r $g $b)" [ "$r" -gt "$b" ] && [ "$r" -gt "$g" ]
xdotool windowfocus --sync "$win" 2>/dev/null
# A status message (F8, fast Adam drives) is a red bar over picture rows 4
# to 11: red in the R,G,B,0 buffer too. Frame pixel (200, 7.5) is at
# window (496, 16); the bar is looked for until it shows.
read -r r0 g0 b0 < <(pixel 496 16)
xdotool key --window "$win" F8
r=$r0 g=$g0 b=$b0
for _ in $(seq 30); do
  import -window "$win" "$work/win.png" 2>/dev/null
  read -r r g b < <(pixel 496 16)
  [ "$r $g $b" != "$r0 $g0 $b0" ] && break
  sleep 0.05
done
check "the status bar is red ($r $g $b)" [ "$r" -gt 150 ] && [ "$g" -lt 60 ] && [ "$b" -lt 60 ]
xdotool key --window "$win" F8
xdotool key --window "$win" ctrl+Escape
for _ in $(seq 50); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
if kill -0 $app 2>/dev/null; then check "Ctrl+Escape quits" false; else wait $app; check "Ctrl+Escape quits with status 0" [ $? -eq 0 ]; fi
app=""
check "mapping written without negate flags" grep -qP '^joystick_1_vert\tjoy0\taxis1$' "$HOME/tervox_mapping.txt"
echo "$failures failures"
[ $failures -eq 0 ]
