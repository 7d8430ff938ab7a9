#!/usr/bin/env bash
# The Adam's CP/M-style use of our ROMs, through tervox-headless: a boot
# block copies the character set the word-processor ROM points at (0102h)
# into the pattern table, shows text with it, then issues one keyboard read
# and waits on it; the key is typed five seconds (300 frames) later.
# Usage: adam_os.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
run="$build/tervox-headless"
work=$(mktemp -d /tmp/tervox-adam-os.XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work"
cd "$work"
failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# A data pack whose block 0 is the program.
head -c $((256 * 1024)) /dev/zero >font.ddp
dd if="$build/tests/asm/adam_rom_font.bin" of=font.ddp conv=notrunc status=none

"$run" font.ddp --frames 400 --seed 1 --screenshot waiting.png >/dev/null 2>&1
"$run" font.ddp --frames 400 --seed 1 --type 'Q@300' --screenshot typed.png >/dev/null 2>&1
# adam_rom_font.png: white on dark blue, the upper- and lower-case alphabets,
# digits and punctuation, "A>B CP/M 2", "Hello World!" in inverse, and on
# row 20 "Key: Q  code 80": the read issued at start-up got the key.
check "the ROM's font draws legible text and the waiting read gets the key" \
  cmp -s typed.png "$here/adam_rom_font.png"
check "with nothing typed the read is still waiting" bash -c '! cmp -s waiting.png typed.png'

[ "$failures" = 0 ]
