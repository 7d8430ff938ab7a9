#!/usr/bin/env bash
# Every program of the shared test data that tervox-headless can run, with
# the inputs it answers to: the last picture's pixels, the sound and the
# snapshot after the run must hash as recorded in regression.txt. A change
# that alters what the machine does shows up here.
# Usage: regression.sh BUILD_DIR [--record]   (--record rewrites the table)
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
table="$here/regression.txt"
data="$here/../../../shared/testdata"
[ -d "$data" ] || { echo "skipped: no shared test data at $data"; exit 77; }
command -v convert >/dev/null || { echo "skipped: ImageMagick is not installed"; exit 77; }
run="$build/tervox-headless"
work=$(mktemp -d /tmp/tervox-regression.XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work"

source "$here/regression_cases.bash"

sum() { sha1sum | cut -c1-16; }
results=()
for c in "${cases[@]}"; do
  IFS='|' read -r name image options <<<"$c"
  [ -f "$data/$image" ] || { echo "skipped: $image is absent"; continue; }
  # Tape and disk images are written to by the machine: run on a copy.
  cp "$data/$image" "$work/image.${image##*.}"
  # shellcheck disable=SC2086
  if ! "$run" "$work/image.${image##*.}" $options --screenshot "$work/s.png" \
      --wav "$work/s.wav" --snapshot-out "$work/s.bin" --seed 1 >"$work/out" 2>&1; then
    echo "FAILED: $name did not run: $(cat "$work/out")"
    results+=("$name FAILED")
    continue
  fi
  png=$(convert "$work/s.png" -depth 8 rgba:- | sum)
  wav=$(tail -c +45 "$work/s.wav" | sum)
  snap=$(sum <"$work/s.bin")
  results+=("$name $png $wav $snap")
done

if [ "${2:-}" = "--record" ]; then
  {
    echo "# name, picture pixels, sound data, snapshot (sha1, 16 digits): tests/e2e/regression.sh"
    printf '%s\n' "${results[@]}"
  } >"$table"
  echo "recorded ${#results[@]} runs into $table"
  exit 0
fi

failures=0
for r in "${results[@]}"; do
  name=${r%% *}
  want=$(grep -E "^$name " "$table" || true)
  if [ "$r" = "$want" ]; then
    echo "ok: $name"
  else
    echo "FAILED: $name: got '$r', recorded '$want'"
    failures=$((failures + 1))
  fi
done
echo "$failures failures"
[ $failures -eq 0 ]
