#!/usr/bin/env bash
# sorvane-cli explore on a story of ten two-way choices in a row (1024 paths that meet again
# after each choice), merging paths that reach a state already seen, beside playing every
# path from the start separately, in the same run; and the demo story.
# Usage: bench/explore.sh [BUILD_BIN_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=$(cd "${1:-$ROOT/build/bin}" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
iconv -f UTF-8 -t CP932 "$ROOT/tests/explore/ten_choices/start.svx.txt" > "$WORK/start.svx"
mkdir -p "$WORK/knv"
printf '<kn><scene index=blank></scene></kn>' > "$WORK/knv/background.knv"
convert -size 756x192 xc:'#203050' PNG24:"$WORK/msg.png"
export SORVANE_AUDIO=null
seconds() { local t0 t1; t0=$(date +%s.%N); "$@" > "$WORK/out" 2> /dev/null; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'; }
merged=$(seconds "$BIN/sorvane-cli" explore "$WORK")
echo "ten choices, paths merged:   ${merged} s ($(tail -1 "$WORK/out"))"
every=$(seconds "$BIN/sorvane-cli" explore "$WORK" --every-path --max-runs 100000)
echo "ten choices, every path:     ${every} s ($(tail -1 "$WORK/out"))"
echo "ratio (every path / merged): $(awk -v a="$every" -v b="$merged" 'BEGIN { printf "%.1f", a / b }')"
demo=$(seconds "$BIN/sorvane-cli" explore "$ROOT/build/demo")
echo "the demo story:              ${demo} s ($(tail -1 "$WORK/out"))"
