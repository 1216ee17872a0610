#!/usr/bin/env bash
# The player in a real window under Xvfb: inputs by xdotool, the window's picture (a scene
# reached by a cross-fade under the text) compared pixel for pixel with what sorvane-cli
# shows for the same inputs, a debug window opened
# by its shortcut, and a clean close that writes the log's end line.
# Usage: window_test.sh BUILD_BIN_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
CONVERT=convert; [ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert
COMPARE=compare; [ -x /usr/bin/compare ] && COMPARE=/usr/bin/compare
IMPORT=import; [ -x /usr/bin/import ] && IMPORT=/usr/bin/import

fail() { echo "window test: $*" >&2; exit 1; }

make_story() {
  mkdir -p "$1"
  sed 's/$/\r/' "$HERE/story.svx.txt" | iconv -f UTF-8 -t CP932 > "$1/start.svx"
  "$CONVERT" -size 756x192 xc:'rgba(20,30,80,0.8)' PNG32:"$1/msg.png"
  # Two scenes: a picture, and another with a half-transparent sprite, changed by a cross-fade.
  mkdir -p "$1/knv"
  "$CONVERT" -size 800x600 gradient:'#204080-#e0c040' PNG24:"$1/bg1.png"
  "$CONVERT" -size 800x600 -define gradient:angle=90 gradient:'#103020-#f0a0c0' PNG24:"$1/bg2.png"
  "$CONVERT" -size 120x90 xc:'rgba(250,250,200,0.6)' PNG32:"$1/sprite.png"
  printf '%s\n' '<kn>' \
    '<scene index=first><knobject type=img src=bg1.png width=800 height=600 pos_x=0 pos_y=0 alpha=255/></scene>' \
    '<scene index=second><knobject type=img src=bg2.png width=800 height=600 pos_x=0 pos_y=0 alpha=255/>' \
    '<knobject type=img src=sprite.png width=120 height=90 pos_x=600 pos_y=60 alpha=200/></scene>' \
    '</kn>' > "$1/knv/background.knv"
}
make_story "$WORK/window"
make_story "$WORK/cli"

# What the headless runtime shows after a click, Enter and Space, once all is typed out.
"$BIN/sorvane-cli" run "$WORK/cli" --click 60 --event 120:1,1 --event 180:1,1 --frames 300 \
  --snapshot 299:"$WORK/expected.png" > /dev/null

export SORVANE_AUDIO=null
export XDG_RUNTIME_DIR="$WORK/xdg"; mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
# The reader's own folders (saves, settings) of this test alone.
export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data"
cat > "$WORK/session.sh" <<SESSION
#!/usr/bin/env bash
set -euo pipefail
"$BIN/sorvane" "$WORK/window" > "$WORK/player.log" 2>&1 &
PID=\$!
WID=""
for i in \$(seq 1 100); do
  WID=\$(xdotool search --onlyvisible --name '^Sorvane\$' 2>/dev/null | head -1 || true)
  [ -n "\$WID" ] && break
  sleep 0.1
done
[ -n "\$WID" ] || { echo "no window" >&2; kill \$PID; wait \$PID || true; exit 1; }
eval \$(xdotool getwindowgeometry --shell \$WID)
echo "\$X \$Y \$WIDTH \$HEIGHT" > "$WORK/geometry"
MENU=\$((HEIGHT - 600))
xdotool windowfocus --sync \$WID
sleep 1
xdotool mousemove \$((X + 400)) \$((Y + MENU + 300)) click 1
sleep 1
xdotool key --window \$WID Return
sleep 1
xdotool key --window \$WID space
sleep 1.5
"$IMPORT" -window root -crop 800x600+\$X+\$((Y + MENU)) +repage "$WORK/actual.png"
xdotool key --window \$WID ctrl+s
sleep 0.5
xdotool search --onlyvisible --name '^FrmSCLDebug\$' > "$WORK/debug-window" || true
xdotool key --window \$WID alt+f
sleep 0.3
xdotool key x
for i in \$(seq 1 50); do kill -0 \$PID 2>/dev/null || break; sleep 0.1; done
if kill -0 \$PID 2>/dev/null; then kill \$PID; wait \$PID || true; echo "did not close" >&2; exit 1; fi
wait \$PID
SESSION
chmod +x "$WORK/session.sh"
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" "$WORK/session.sh" || fail "the session failed: $(cat "$WORK/player.log" 2>/dev/null)"

read -r X Y W H < "$WORK/geometry"
[ "$W" = 800 ] || fail "client width $W, not 800"
[ $((H - 600)) -ge 0 ] || fail "window height $H"
DIFF=$("$COMPARE" -metric AE "$WORK/expected.png" "$WORK/actual.png" null: 2>&1 || true)
[ "$DIFF" = 0 ] || fail "the window differs from the headless snapshot in $DIFF pixels"
[ -s "$WORK/debug-window" ] || fail "Ctrl+S did not show the command list window"
tail -c 200 "$WORK/window/sorvane.log" | grep -q 'プログラムを終了しました。' || fail "no end line in the log"
echo "window test: 1 passed, 0 failed"
