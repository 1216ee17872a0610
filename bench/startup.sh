#!/usr/bin/env bash
# Start-up time of the player: from exec to the first frame on screen, with the demo
# story, under Xvfb. Prints each run and the median. Usage: bench/startup.sh [BUILD_DIR] [RUNS]
set -euo pipefail
BUILD=${1:-build}
RUNS=${2:-9}
BIN=$(cd "$BUILD/bin" && pwd)
STORY=$(cd "$(dirname "$0")/../stories/demo" && pwd)
[ -f "$STORY/start.svx" ] || "$STORY/make-assets.sh"
export XDG_RUNTIME_DIR=$(mktemp -d)
cat > "$XDG_RUNTIME_DIR/one.sh" <<RUN
#!/usr/bin/env bash
for i in \$(seq 1 $RUNS); do
  START=\$(date +%s%N)
  SORVANE_REPORT_FIRST_FRAME=1 "$BIN/sorvane" "$STORY" 2> "$XDG_RUNTIME_DIR/err" &
  PID=\$!
  for t in \$(seq 1 300); do grep -q 'first frame at' "$XDG_RUNTIME_DIR/err" && break; sleep 0.01; done
  FIRST=\$(sed -n 's/^first frame at //p' "$XDG_RUNTIME_DIR/err")
  kill \$PID; wait \$PID 2>/dev/null || true
  echo \$(( (FIRST - START) / 1000000 ))
done
RUN
chmod +x "$XDG_RUNTIME_DIR/one.sh"
xvfb-run -a -s "-screen 0 1024x768x24" "$XDG_RUNTIME_DIR/one.sh" > "$XDG_RUNTIME_DIR/times"
echo "start-up to first frame (ms): $(tr '\n' ' ' < "$XDG_RUNTIME_DIR/times")"
echo "median: $(sort -n "$XDG_RUNTIME_DIR/times" | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}') ms (target: under 300 ms)"
rm -rf "$XDG_RUNTIME_DIR"
