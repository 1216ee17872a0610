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
# A long story: a thousand pages, and a two-way choice after every tenth, whose branches
# meet again (goal: explored completely in under 5 s).
LONG="$WORK/long"
mkdir -p "$LONG/knv"
cp "$WORK/msg.png" "$WORK/knv/background.knv" "$LONG/" && mv "$LONG/background.knv" "$LONG/knv/"
python3 - "$LONG/start.svx" <<'PY'
import sys
s = "<BODY>"
for page in range(1000):
    s += "<P>%d ページ目。夕暮れの街に灯りがともり始めた。</P>" % page
    if page % 10 == 9:
        n = page // 10
        s += "<UL><LI><A href=#a%d>はい</A></LI><LI><A href=#b%d>いいえ</A></LI></UL>" % (n, n)
        s += "<A name=a%d></A><CODE>SET #LAST,1</CODE><A href=#n%d></A><A name=b%d></A><CODE>SET #LAST,2</CODE><A name=n%d></A>" % (n, n, n, n)
s += "</BODY>"
open(sys.argv[1], "wb").write(s.encode("cp932"))
PY
long=$(seconds "$BIN/sorvane-cli" explore "$LONG" --max-runs 100000)
echo "1,000 pages, 100 choices:    ${long} s ($(tail -1 "$WORK/out"))"
