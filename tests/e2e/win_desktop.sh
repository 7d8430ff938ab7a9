#!/usr/bin/env bash
# tervox-win.exe under Wine on a virtual X server: started with a quoted
# path that holds blanks and letters beyond ASCII, F10 writes a PNG into
# Wine's Pictures folder (equal to the Linux program's), F1 and F2 save and
# restore the snapshot in the working folder, Alt+Return switches full
# screen and the mapping file in Documents records it with CR LF.
# Usage: win_desktop.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
# Exit 77 (skipped) when Wine or the X tools are absent.
set -u
unset SDL_VIDEODRIVER
build=$(cd "$1" && pwd)
linux=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../tools/wine-run"
for tool in wine Xvfb xdotool xdpyinfo import convert; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
exe="$build/tervox-win.exe"
cart="$build/tests/asm/e2e_cart.bin"
for f in "$exe" "$cart"; do [ -f "$f" ] || { echo "missing $f"; exit 1; }; done
export LC_ALL=C.UTF-8 SDL_AUDIODRIVER=dummy

"$wine_run" >/dev/null  # the prefix, made once
users="$("$wine_run" --prefix)/drive_c/users/$(id -un)"
pictures="$users/Pictures"
mapping="$users/Documents/tervox_mapping.txt"
work=$(mktemp -d /tmp/tervox-win-desktop.XXXXXX)
folder="$work/cart dir äö 日本"
mkdir -p "$folder" "$work/run" "$work/home" "$pictures"
cp "$cart" "$folder/e2e cart.rom"
# The prefix is shared: its mapping file is put back and our picture removed.
[ -f "$mapping" ] && cp "$mapping" "$work/mapping.saved"
ls "$pictures" >"$work/pictures.before"
app=""
xvfb=""
cleanup() {
  [ -n "$app" ] && kill $app 2>/dev/null
  [ -n "$xvfb" ] && kill $xvfb 2>/dev/null
  wait 2>/dev/null
  if [ -f "$work/mapping.saved" ]; then cp "$work/mapping.saved" "$mapping"; else rm -f "$mapping"; fi
  ls "$pictures" | comm -13 "$work/pictures.before" - | while read -r f; do rm -f "$pictures/$f"; done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
wait_file() { for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done; return 1; }
wait_grep() { for _ in $(seq 100); do grep -q "$1" "$2" 2>/dev/null && return 0; sleep 0.1; done; return 1; }

version=$("$wine_run" "$exe" --version | tr -d '\r')
check "tervox-win.exe --version ($version)" [ "$version" = "tervox-win 0.5.0" ]
check "tervox-win.exe --help names Alt+Return and Documents" \
  bash -c '"$0" "$1" --help | tr -d "\r" >"$2" && grep -q "Alt+Return full screen" "$2" && grep -q "Documents.tervox_mapping.txt" "$2"' \
  "$wine_run" "$exe" "$work/help.txt"

# -noreset: by default the server resets whenever its last client leaves
# (xdpyinfo, each xdotool call), refusing the program's connection if it
# comes at that moment.
Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp -noreset >"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAILED: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")
answered=""
for _ in $(seq 300); do xdpyinfo >/dev/null 2>&1 && { answered=1; break; }; sleep 0.1; done
[ -n "$answered" ] || { echo "FAILED: Xvfb does not answer on $DISPLAY"; exit 1; }

# find_window TITLE: the window's id once it is there (Wine starts slowly).
find_window() {
  local w=""
  for _ in $(seq 300); do
    w=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$w" ] && break
    sleep 0.1
  done
  echo "$w"
}
key() { xdotool key --window "$win" "$@"; sleep 0.4; }
red_bar() {  # the status line's red bar over the top left border
  import -window "$win" "$work/win.png" 2>/dev/null &&
    [ "$(convert "$work/win.png" -format '%[fx:p{12,12}.r>0.6 && p{12,12}.g<0.4]' info:)" = 1 ]
}
wait_red_bar() { for _ in $(seq 20); do red_bar && return 0; sleep 0.1; done; return 1; }
no_red_bar() { for _ in $(seq 100); do red_bar || return 0; sleep 0.1; done; return 1; }
wait_end() {  # wait_end PID: the program's exit status, or 255 if it runs on
  for _ in $(seq 150); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && return 255
  wait "$1"
}

# The one command-line string carries the quoted path; the working folder
# is where the snapshot goes.
(cd "$work/run" && exec "$wine_run" "$exe" "Z:$folder/e2e cart.rom") >"$work/out.txt" 2>&1 &
app=$!
win=$(find_window "Tervox - e2e cart.rom")
[ -n "$win" ] || { echo "FAILED: no window named after the cartridge"; cat "$work/out.txt"; exit 1; }
echo "ok: the quoted path with blanks and letters beyond ASCII loaded"
xdotool windowfocus --sync "$win" 2>/dev/null
sleep 1.5

key F10
new_picture() { ls "$pictures" | comm -13 "$work/pictures.before" - | grep -E '^image[0-9]{3}\.png$' | head -n 1; }
for _ in $(seq 100); do shot=$(new_picture); [ -n "$shot" ] && [ -s "$pictures/$shot" ] && break; sleep 0.1; done
check "F10 writes a PNG into Wine's Pictures folder (${shot:-none})" [ -n "$shot" ]
[ -n "$shot" ] && cp "$pictures/$shot" "$work/windows.png"

no_red_bar
key F1
check "F1 saves the snapshot in the working folder" wait_file "$work/run/tervox_snapshot.bin"
check "the snapshot has the 64-bit layout" [ "$(stat -c %s "$work/run/tervox_snapshot.bin" 2>/dev/null)" = 149872 ]
check "the save's message fades" no_red_bar
key F2
check "F2 restores it (its message shows)" wait_red_bar

key alt+Return
check "Alt+Return records full screen in Documents, with CR LF" wait_grep $'^fullscreen\tyes\r$' "$mapping"
key alt+Return
check "Alt+Return again leaves full screen" wait_grep $'^fullscreen\tno\r$' "$mapping"
check "every line of the mapping file ends in CR LF" [ "$(grep -c $'\r$' "$mapping")" = "$(wc -l <"$mapping")" ]

key alt+F4
wait_end $app
check "a close request ends the program with status 0" [ $? -eq 0 ]
app=""

# The Linux program's screenshot of the same cartridge, byte for byte.
if [ -x "$linux/tervox" ] && [ -s "$work/windows.png" ]; then
  HOME="$work/home" "$linux/tervox" "$folder/e2e cart.rom" >"$work/out-linux.txt" 2>&1 &
  app=$!
  win=$(find_window "Tervox - e2e cart.rom")
  xdotool windowfocus --sync "$win" 2>/dev/null
  sleep 1.5
  key F10
  wait_file "$work/home/image001.png"
  check "the screenshot equals the Linux program's" cmp -s "$work/home/image001.png" "$work/windows.png"
  if [ -n "${TERVOX_WIN_SHOTS:-}" ]; then
    mkdir -p "$TERVOX_WIN_SHOTS"
    cp "$work/windows.png" "$TERVOX_WIN_SHOTS/tervox-win.png"
    cp "$work/home/image001.png" "$TERVOX_WIN_SHOTS/tervox-linux.png"
  fi
  kill $app
  wait $app 2>/dev/null
  app=""
else
  echo "skipped: no Linux program at '$linux' to compare the screenshot with"
fi

echo "$failures failures"
[ $failures -eq 0 ]
