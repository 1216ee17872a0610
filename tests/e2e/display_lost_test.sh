#!/usr/bin/env bash
# The player's display goes away while it plays (a lost session, a logout): the player ends
# within seconds, having kept the reader's marks and its automatic save. Once the X server
# is simply killed; once it goes right after SIGTERM reached the player.
# Usage: display_lost_test.sh BUILD_BIN_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
WORK=$(mktemp -d)
XPID=""
PID=""
cleanup() {
  [ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null || true
  [ -n "$XPID" ] && kill -KILL "$XPID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "display lost test: $*" >&2; exit 1; }

mkdir -p "$WORK/story/knv"
printf '<BODY><P>\x82\xa0</P><P>\x82\xa2</P><P>\x82\xa4</P></BODY>\r\n' > "$WORK/story/start.svx"
convert -size 756x192 xc:'rgba(20,30,80,0.8)' PNG32:"$WORK/story/msg.png"
printf '<kn><scene index=blank></scene></kn>' > "$WORK/story/knv/background.knv"
export SORVANE_AUDIO=null
export XDG_RUNTIME_DIR="$WORK/xdg"; mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" XDG_STATE_HOME="$WORK/state"
DATA="$WORK/data/sorvane/story"

# An X server of the test's own, on a display it picks itself.
start_x() {
  rm -f "$WORK/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$WORK/display" 2> "$WORK/xvfb.log" &
  XPID=$!
  for i in $(seq 1 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
  [ -s "$WORK/display" ] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
  export DISPLAY=":$(head -1 "$WORK/display")"
}

# The player, its window shown and its first page typed out.
start_player() {
  "$BIN/sorvane" "$WORK/story" >> "$WORK/player.log" 2>&1 &
  PID=$!
  for i in $(seq 1 100); do
    xdotool search --onlyvisible --name '^Sorvane$' > /dev/null 2>&1 && break
    kill -0 "$PID" 2>/dev/null || fail "the player ended at once: $(cat "$WORK/player.log")"
    sleep 0.1
  done
  sleep 1.5
}

# Waits at most 10 s for the player to end; its exit status, or fails.
ended_within_10s() {
  timeout 10 tail --pid="$PID" -f /dev/null || fail "$1: the player still runs 10 s after its display went"
  local status=0
  wait "$PID" || status=$?
  PID=""
  echo "$status"
}

# 1. The X server killed while the story waits on its first page.
start_x
start_player
kill -TERM "$XPID"; wait "$XPID" 2>/dev/null || true; XPID=""
STATUS=$(ended_within_10s "the server killed")
[ "$STATUS" != 0 ] || fail "the player ended with 0 when its display went"
[ -s "$DATA/read-marks" ] || fail "no read marks kept: $(ls -la "$DATA" 2>&1; cat "$WORK/player.log")"
[ -s "$DATA/auto.sav" ] || fail "no automatic save kept"
"$BIN/sorvane-cli" save-info "$DATA/auto.sav" > /dev/null || fail "the automatic save does not read back"

# 2. SIGTERM to the player, and the server gone right after.
rm -f "$DATA/read-marks" "$DATA/auto.sav"
start_x
start_player
kill -TERM "$PID"
kill -KILL "$XPID"; wait "$XPID" 2>/dev/null || true; XPID=""
ended_within_10s "SIGTERM, then the server killed" > /dev/null
[ -s "$DATA/read-marks" ] || fail "no read marks kept after SIGTERM"
echo "display lost test: 2 passed, 0 failed"
