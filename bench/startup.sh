#!/usr/bin/env bash
# Start-up time, from exec to the first frame on screen under Xvfb, of three programs run in
# turn in the same session: a bare Qt window of 800x600 that paints black (the baseline), the
# player with a minimal story (one line of text, a message window, an empty scene file), and
# the player with the demo. Prints each one's median, the ratios against their goals, and
# the player's timeline: the median time from the exec to each step of its start.
# Stories are copies in a temporary folder; nothing is written to the source tree.
# Usage: bench/startup.sh [BUILD_DIR] [RUNS]
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
RUNS=${2:-9}
BIN=$BUILD/bin
[ -x "$BIN/first_window_baseline" ] || { echo "no $BIN/first_window_baseline: build the benchmarks with Qt" >&2; exit 1; }
[ -f "$BUILD/demo/start.svx" ] || { echo "no $BUILD/demo: build first" >&2; exit 1; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export XDG_RUNTIME_DIR=$WORK/xdg; mkdir -m 700 "$XDG_RUNTIME_DIR"
export XDG_STATE_HOME=$WORK/state SORVANE_AUDIO=null

cp -r "$BUILD/demo" "$WORK/demo"
mkdir -p "$WORK/minimal/knv"
cp "$BUILD/demo/msg.png" "$WORK/minimal/"
printf '<BODY><CODE>SETLAYERVISIBLE 0,1,0,0</CODE><P>\x82\xa0</P></BODY>\r\n' > "$WORK/minimal/start.svx"
printf '<kn><scene index=blank></scene></kn>' > "$WORK/minimal/knv/background.knv"

cat > "$WORK/runs.sh" <<RUN
#!/usr/bin/env bash
# One start: prints the milliseconds from exec to the reported first frame.
once() {
  local err="$WORK/err"
  : > "\$err"
  local start=\$(date +%s%N)
  SORVANE_REPORT_FIRST_FRAME=1 "\$@" 2> "\$err" &
  local pid=\$!
  for t in \$(seq 1 1000); do grep -q 'first frame at' "\$err" && break; sleep 0.005; done
  local first=\$(sed -n 's/^first frame at //p' "\$err")
  kill \$pid; wait \$pid 2>/dev/null || true
  echo \$(( (first - start) / 1000000 ))
  # The steps of the start, as microseconds from the exec, for the timeline.
  sed -n 's/^startup \([^ ]*\) at \([0-9]*\)\$/\1 \2/p' "\$err" | while read -r step at; do
    echo "\$step \$(( (at - start) / 1000 ))" >> "$WORK/steps.\$KIND"
  done
}
KIND=warm; once "$BIN/first_window_baseline" > /dev/null  # the first start warms the caches
for i in \$(seq 1 $RUNS); do
  KIND=bare; echo "bare \$(once "$BIN/first_window_baseline")"
  KIND=minimal; echo "minimal \$(once "$BIN/sorvane" "$WORK/minimal")"
  KIND=demo; echo "demo \$(once "$BIN/sorvane" "$WORK/demo")"
done
RUN
chmod +x "$WORK/runs.sh"
xvfb-run -a -s "-screen 0 1024x768x24" "$WORK/runs.sh" > "$WORK/times"

median() { awk -v k="$1" '$1 == k {print $2}' "$WORK/times" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
BARE=$(median bare); MINIMAL=$(median minimal); DEMO=$(median demo)
for k in bare minimal demo; do
  echo "$k: $(awk -v k=$k '$1 == k {printf "%s ", $2}' "$WORK/times")ms, median $(median $k) ms"
done
awk -v b="$BARE" -v m="$MINIMAL" -v d="$DEMO" 'BEGIN {
  printf "minimal story / bare window: %.2fx (goal: at most 1.5x)\n", m / b
  printf "demo / minimal story:        %.2fx (goal: at most 1.3x)\n", d / m
}'

# The timeline: each step's median time from the exec, in the order the steps come.
for k in bare minimal demo; do
  [ -f "$WORK/steps.$k" ] || continue
  echo "timeline of the $k start (median ms from exec):"
  awk '!seen[$1]++ {print $1}' "$WORK/steps.$k" | while read -r step; do
    awk -v s="$step" '$1 == s {print $2}' "$WORK/steps.$k" | sort -n |
      awk -v s="$step" '{a[NR]=$1} END {printf "  %-16s %7.1f\n", s, a[int((NR+1)/2)] / 1000}'
  done
done
