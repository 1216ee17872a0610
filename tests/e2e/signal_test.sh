#!/usr/bin/env bash
# SIGTERM and SIGINT end the player and sorvane-cli through their normal shutdown (the log
# gets its end line), with sound playing through the SDL back end.
# Usage: signal_test.sh BUILD_BIN_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "signal test: $*" >&2; exit 1; }

mkdir -p "$WORK/story"
printf '<BODY><CODE>LOADSOUND 0,bgm.ogg</CODE><CODE>PLAYSOUND 0,1</CODE><P>\x82\xa0</P></BODY>\r\n' > "$WORK/story/start.svx"
convert -size 756x192 xc:'rgba(20,30,80,0.8)' PNG32:"$WORK/story/msg.png"
mkdir -p "$WORK/story/knv"
printf '<kn><scene index=blank></scene></kn>' > "$WORK/story/knv/background.knv"
sox -n -r 44100 -c 2 -b 16 -e signed-integer "$WORK/tone.wav" synth 1 sine 440
oggenc -Q -o "$WORK/story/bgm.ogg" "$WORK/tone.wav"
export SORVANE_AUDIO=sdl SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/out.raw" SDL_DISKAUDIODELAY=0
export XDG_RUNTIME_DIR="$WORK/xdg"; mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"

ended() { tail -c 200 "$1" 2>/dev/null | grep -q 'プログラムを終了しました。'; }

# The headless companion, interrupted mid-run.
"$BIN/sorvane-cli" run "$WORK/story" --frames 100000000 > /dev/null 2> "$WORK/cli.err" &
PID=$!
for i in $(seq 1 100); do [ -s "$WORK/out.raw" ] && break; sleep 0.1; done
kill -INT $PID
STATUS=0; timeout 10 tail --pid=$PID -f /dev/null || fail "sorvane-cli did not end on SIGINT"
wait $PID || STATUS=$?
[ "$STATUS" = 130 ] || fail "sorvane-cli ended with $STATUS, not 130: $(cat "$WORK/cli.err")"
ended "$WORK/story/sorvane.log" || fail "sorvane-cli: no end line in the log"
rm -f "$WORK/story/sorvane.log" "$WORK/out.raw"

# The player in its window, ended by SIGTERM.
cat > "$WORK/session.sh" <<SESSION
#!/usr/bin/env bash
"$BIN/sorvane" "$WORK/story" > "$WORK/player.log" 2>&1 &
PID=\$!
for i in \$(seq 1 100); do
  xdotool search --onlyvisible --name '^Sorvane\$' > /dev/null 2>&1 && [ -s "$WORK/out.raw" ] && break
  sleep 0.1
done
kill -TERM \$PID
for i in \$(seq 1 100); do kill -0 \$PID 2>/dev/null || break; sleep 0.1; done
if kill -0 \$PID 2>/dev/null; then kill -KILL \$PID; echo "did not end" >&2; exit 1; fi
wait \$PID
echo \$? > "$WORK/status"
SESSION
chmod +x "$WORK/session.sh"
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" "$WORK/session.sh" || fail "the session failed: $(cat "$WORK/player.log" 2>/dev/null)"
[ "$(cat "$WORK/status")" = 143 ] || fail "the player ended with $(cat "$WORK/status"), not 143"
ended "$WORK/story/sorvane.log" || fail "the player: no end line in the log"
[ -s "$WORK/out.raw" ] || fail "no sound reached the SDL output"
echo "signal test: 2 passed, 0 failed"
