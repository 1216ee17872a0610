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
export SORVANE_AUDIO=sdl SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/out.raw" SDL_DISKAUDIODELAY=1
export XDG_RUNTIME_DIR="$WORK/xdg"; mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
# The reader's own folders (saves, settings) of this test alone.
export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data"

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

# The player held up by a box while the story starts (it has no scene file): SIGTERM ends
# the box and the player, and the log still gets its end line.
cp -r "$WORK/story" "$WORK/noscenes"
rm -rf "$WORK/noscenes/knv" "$WORK/noscenes/sorvane.log"
cat > "$WORK/box.sh" <<SESSION
#!/usr/bin/env bash
"$BIN/sorvane" "$WORK/noscenes" > "$WORK/box.log" 2>&1 &
PID=\$!
for i in \$(seq 1 100); do
  [ -n "\$(xdotool search --onlyvisible --pid \$PID 2>/dev/null)" ] && break
  sleep 0.1
done
# Only the box is up: the main window is shown after the story has started.
xdotool search --onlyvisible --name '^Sorvane\$' > /dev/null 2>&1 && { echo "the window came before the box" >&2; }
kill -TERM \$PID
for i in \$(seq 1 100); do kill -0 \$PID 2>/dev/null || break; sleep 0.1; done
if kill -0 \$PID 2>/dev/null; then kill -KILL \$PID; echo "did not end with its box up" >&2; exit 1; fi
wait \$PID
echo \$? > "$WORK/box-status"
SESSION
chmod +x "$WORK/box.sh"
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" "$WORK/box.sh" || fail "the box session failed: $(cat "$WORK/box.log" 2>/dev/null)"
[ "$(cat "$WORK/box-status")" = 143 ] || fail "the player with a start-up box ended with $(cat "$WORK/box-status"), not 143"
ended "$WORK/noscenes/sorvane.log" || fail "the player with a start-up box: no end line in the log"
echo "signal test: 3 passed, 0 failed"
