#!/usr/bin/env bash
# tervox-headless.exe under Wine on every program of the regression table:
# its screenshot, WAV, AVI and snapshot files must equal those of the Linux
# build's tervox-headless byte for byte. The Windows runs read and write in
# a folder whose name is not ASCII and holds blanks.
# Usage: win_headless.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -u
build=$(cd "$1" && pwd)
linux=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
data="$here/../../../shared/testdata"
wine_run="$here/../../tools/wine-run"
[ -d "$data" ] || { echo "skipped: no shared test data at $data"; exit 77; }
[ -x "$linux/tervox-headless" ] || { echo "skipped: no Linux build at '$linux' to compare with"; exit 77; }
command -v wine >/dev/null || { echo "skipped: Wine is not installed"; exit 77; }
exe="$build/tervox-headless.exe"
[ -f "$exe" ] || { echo "missing $exe"; exit 1; }
# Wine turns the Unix arguments into the Windows command line in the
# locale's character set.
export LC_ALL=C.UTF-8
work=$(mktemp -d /tmp/tervox-win-headless.XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME" "$work/linux" "$work/win äöü 日本"
win="$work/win äöü 日本"

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

version=$("$wine_run" "$exe" --version | tr -d '\r')
check "tervox-headless.exe --version ($version)" [ "$version" = "tervox-headless 0.5.0" ]
"$wine_run" "$exe" "Z:$work/missing.rom" >/dev/null 2>&1
check "an image that does not load ends with status 2" [ $? -eq 2 ]

source "$here/regression_cases.bash"
for c in "${cases[@]}"; do
  IFS='|' read -r name image options <<<"$c"
  [ -f "$data/$image" ] || { echo "skipped: $image is absent"; continue; }
  ext=${image##*.}
  # Tape and disk images are written to by the machine: each run has a copy.
  cp "$data/$image" "$work/linux/image.$ext"
  cp "$data/$image" "$win/image $name.$ext"
  # shellcheck disable=SC2086
  "$linux/tervox-headless" "$work/linux/image.$ext" $options --seed 1 --screenshot "$work/linux/s.png" \
    --wav "$work/linux/s.wav" --avi "$work/linux/s.avi" --snapshot-out "$work/linux/s.bin" >/dev/null 2>&1
  # shellcheck disable=SC2086
  if ! "$wine_run" "$exe" "Z:$win/image $name.$ext" $options --seed 1 --screenshot "Z:$win/s.png" \
      --wav "Z:$win/s.wav" --avi "Z:$win/s.avi" --snapshot-out "Z:$win/s.bin" >"$work/out" 2>&1; then
    check "$name runs" false
    cat "$work/out"
    continue
  fi
  same=""
  for f in s.png s.wav s.avi s.bin; do
    cmp -s "$work/linux/$f" "$win/$f" || same="$same $f differs;"
  done
  check "$name: screenshot, WAV, AVI and snapshot equal the Linux build's${same:+ ($same)}" [ -z "$same" ]
  rm -f "$work/linux"/s.* "$win"/s.*
done
echo "$failures failures"
[ $failures -eq 0 ]
