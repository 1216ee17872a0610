#!/usr/bin/env bash
# Peak memory and time of reading hostile saves (bench/hostile_saves.py), beside a real
# save read the same way in the same run: save-info, and run --load playing on through the
# story's pages (each page a checkpoint). A refused save ends at once.
# Usage: bench/hostile_saves.sh BUILD_BIN_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export SORVANE_AUDIO=null
mkdir -p "$WORK/story"
{ printf '<BODY>'; for p in 1 2 3 4 5 6 7 8 9; do printf '<P>page %s</P>' $p; done; printf '</BODY>'; } > "$WORK/story/start.svx"
convert -size 756x192 xc:'rgba(20,30,80,0.8)' PNG32:"$WORK/story/msg.png"
mkdir -p "$WORK/story/knv"
printf '<kn><scene index=blank></scene></kn>' > "$WORK/story/knv/background.knv"
CLICKS=(); for f in 40 80 120 160 200 240 280 320 360; do CLICKS+=(--click $f); done
"$BIN/sorvane-cli" run "$WORK/story" --frames 21 --save 20:"$WORK/real.sav" --data-dir "$WORK/data" > /dev/null
mkdir -p "$WORK/crafted"
python3 "$HERE/hostile_saves.py" "$WORK/real.sav" "$WORK/crafted"

measure() {  # what, then the command: "peak MB, seconds, exit status"
  local what=$1; shift
  local status=0
  /usr/bin/time -f '%M %e' -o "$WORK/time" "$@" > /dev/null 2> "$WORK/err" || status=$?
  read -r kb secs < <(tail -1 "$WORK/time")
  awk -v w="$what" -v kb="$kb" -v s="$secs" -v st="$status" 'BEGIN { printf "%-34s %8.1f MB %7.2f s  exit %s\n", w, kb / 1024, s, st }'
}
for save in "$WORK/real.sav" "$WORK"/crafted/*.sav; do
  name=$(basename "$save")
  printf '%s (%s bytes)\n' "$name" "$(stat -c %s "$save")"
  measure "  save-info" "$BIN/sorvane-cli" save-info "$save"
  measure "  run --load, 9 pages on" "$BIN/sorvane-cli" run "$WORK/story" --load "$save" --frames 400 "${CLICKS[@]}" \
    --data-dir "$WORK/data"
done
