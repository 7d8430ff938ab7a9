#!/usr/bin/env bash
# Recordings of tervox-headless read back by ffprobe: every frame the machine
# made is in the AVI, picture and sound last as long (NTSC and PAL), and a
# disk that fills up mid-run ends with exit status 1 and files that play
# what they hold.
# Usage: recording.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
run="$build/tervox-headless"
cart="$build/tests/asm/e2e_cart.bin"
for tool in ffprobe ffmpeg soxi; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d /tmp/tervox-recording.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
export HOME="$work"
failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
probe() { ffprobe -v error "$@" -of csv=p=0; }
frames_in() { probe -count_frames -select_streams v -show_entries stream=nb_read_frames "$1"; }
video_seconds() { probe -select_streams v -show_entries stream=duration "$1"; }
# the end of the last sound packet
audio_seconds() { probe -select_streams a -show_entries packet=pts_time,duration_time "$1" | tail -n 1 | awk -F, '{ print $1 + $2 }'; }
within() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { exit !((a - b) * (a - b) <= d * d) }'; }

for mode in ntsc pal; do
  option=""; lines=262
  [ $mode = pal ] && { option="--pal"; lines=313; }
  # shellcheck disable=SC2086
  "$run" "$cart" $option --frames 1000 --avi $mode.avi >/dev/null 2>&1
  check "$mode: all 1000 frames in the AVI" [ "$(frames_in $mode.avi)" = 1000 ]
  v=$(video_seconds $mode.avi); a=$(audio_seconds $mode.avi)
  frame=$(awk -v l=$lines 'BEGIN { print l * 440 / (44100 * 157) }')
  check "$mode: the video lasts 1000 frames of $lines lines ($v s)" \
    within "$v" "$(awk -v f="$frame" 'BEGIN { print 1000 * f }')" 0.001
  check "$mode: picture ($v s) and sound ($a s) within one frame" within "$v" "$a" "$frame"
done

# 200 KB of room: both recordings stop part way, the run says so.
( trap '' XFSZ; ulimit -f 200; exec "$run" "$cart" --frames 600 --avi full.avi --wav full.wav ) \
  >out.txt 2>err.txt
status=$?
check "a full disk ends the run with status 1 ($status)" [ $status = 1 ]
check "and a message" grep -q 'write error' err.txt
check "the AVI is no larger than the room" [ "$(stat -c %s full.avi)" -le 204800 ]
check "ffmpeg decodes the AVI without an error" [ -z "$(ffmpeg -v error -i full.avi -f null - 2>&1)" ]
check "its header counts the frames it holds" \
  [ "$(frames_in full.avi)" = "$(probe -select_streams v -show_entries stream=nb_frames full.avi)" ]
check "the WAV's sizes match its samples" \
  [ "$(( $(soxi -s full.wav) * 4 + 44 ))" = "$(stat -c %s full.wav)" ]
echo "$failures failures"
[ $failures -eq 0 ]
