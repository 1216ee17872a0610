#!/usr/bin/env bash
# Runs each fuzz target for SECONDS from a seed corpus of the project's own files and
# prints its coverage and speed. Usage: run.sh BIN_DIR SECONDS TARGET...
set -euo pipefail
BIN=$(cd "$1" && pwd); SECONDS_EACH=$2; shift 2
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
seeds() {
  case $1 in
    htmldoc|script|commands) ls "$ROOT"/tests/scripts/*.src "$ROOT"/tests/stories/*/start.svx.txt "$ROOT"/stories/demo/src/*.txt ;;
    lint) ls "$ROOT"/tests/lint/*/start.svx.txt "$ROOT"/tests/stories/*/start.svx.txt "$ROOT"/stories/demo/src/start.svx.txt ;;
    scenes) ls "$ROOT"/tests/scenes/*.knv.txt ;;
    calc) printf '%s\n' '1 + 2' '#A * ( 3 - #B )' '10 / 0' '2147483647 + 1' '$7F' 'True' ;;
    ombrix) ls "$ROOT"/stories/demo/*.png ;;
    ogg) ogg_seeds ;;
    cmdline) printf '%s\n' 'a "b c" d\"e' '"prog name" x\\\\"y' ;;
    save) printf '%s\n' 'x' 'yy' 'zzzzzzzzzzzz' ;;
    reader) reader_seeds ;;
    translation) ls "$ROOT"/tests/stories/*/tl/*.txt "$ROOT"/tests/lint/*/tl/*.txt ;;
  esac
}
# The reader's files: settings ('0' first), read marks ('1'), a save's information ('2').
reader_seeds() {
  printf '0window_width=1200\nvolume0=40\nauto_base=-1\n' > "$WORK/settings.seed"
  printf '1SORVREAD\x02\x00\x00\x00\x01\x00\x00\x00\x2a\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' > "$WORK/marks.seed"
  printf '2SORVSAVE\x02\x00\x00\x00' > "$WORK/save.seed"
  echo "$WORK/settings.seed"; echo "$WORK/marks.seed"; echo "$WORK/save.seed"
}
# Short sounds encoded here, mono and stereo, at two rates: the decoder's every header and
# page kind with little to read per run.
ogg_seeds() {
  local rate ch
  for rate in 8000 22050; do
    for ch in 1 2; do
      sox -q -n -r $rate -c $ch -b 16 "$WORK/tone.wav" synth 0.2 sine 440
      oggenc -Q -q 0 -o "$WORK/tone-$rate-$ch.ogg" "$WORK/tone.wav"
      echo "$WORK/tone-$rate-$ch.ogg"
    done
  done
}
for t in "$@"; do
  mkdir -p "$WORK/$t"
  i=0
  while IFS= read -r s; do
    if [ -f "$s" ]; then cp "$s" "$WORK/$t/seed-$i"; else printf '%s' "$s" > "$WORK/$t/seed-$i"; fi
    i=$((i + 1))
  done < <(seeds "$t")
  ( cd "$WORK" && ASAN_OPTIONS=detect_leaks=0 "$BIN/fuzz_$t" -max_total_time="$SECONDS_EACH" -max_len=65536 \
      -rss_limit_mb=4096 -print_final_stats=1 "$WORK/$t" > "$WORK/$t.log" 2>&1 ) || {
    tail -40 "$WORK/$t.log"; echo "fuzz_$t: a crash (above)"; exit 1; }
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$WORK/$t.log" | grep -o '[0-9]*$' || echo 0)
  cov=$(grep -o 'cov: [0-9]*' "$WORK/$t.log" | tail -1 | grep -o '[0-9]*' || echo 0)
  echo "fuzz_$t: $runs runs in ${SECONDS_EACH} s ($((runs / SECONDS_EACH)) per second), coverage $cov"
done
