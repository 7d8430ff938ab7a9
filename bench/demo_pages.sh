#!/usr/bin/env bash
# Whole-machine speed on each page of the demo cartridge: tervox-headless
# --bench with the page picked at frame 300. Prints frames a second and
# times real time per page; nothing is checked.
# Usage: bench/demo_pages.sh [BUILD_DIR] [FRAMES]
set -eu
build=$(cd "${1:-build}" && pwd)
frames=${2:-6000}
home=$(mktemp -d /tmp/tervox-bench.XXXXXX)
trap 'rm -rf "$home"' EXIT
names=(title sprites graphics-II multicolour text sound-chip module controllers game)
for n in 0 1 2 3 4 5 6 7 8; do
  press=()
  [ $n -gt 0 ] && press=(--press "key${n}_1@300")
  [ $n -eq 8 ] && press+=(--press left_button_1@400)     # a game running
  line=$(HOME="$home" "$build/tervox-headless" "$build/demo.rom" --seed 1 --frames "$frames" \
    "${press[@]}" --bench | grep '^bench:')
  printf '%-12s %s\n' "${names[$n]}" "${line#bench: }"
done
