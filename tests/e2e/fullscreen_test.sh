#!/usr/bin/env bash
# Full screen under a real window manager (openbox on a 1920x1080 Xvfb screen): F11 covers
# the screen with the 800x600 picture scaled to fit (black bars left and right), a hover and
# a click on a scene button land on the button at its scaled place, the menu bar comes at
# the top edge, and F11 again gives back the window exactly where and as it was.
# Usage: fullscreen_test.sh BUILD_BIN_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
WORK=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
CONVERT=convert; [ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert
IMPORT=import; [ -x /usr/bin/import ] && IMPORT=/usr/bin/import
fail() { echo "full screen test: $* (in $WORK)" >&2; exit 1; }
command -v openbox > /dev/null || fail "openbox is not installed"

# A title scene with one button (index 3, 200x100 at 300,250); choosing it shows a red scene.
S=$WORK/story
mkdir -p "$S/knv"
"$CONVERT" -size 800x600 xc:'rgb(20,40,90)' PNG24:"$S/bg.png"
"$CONVERT" -size 200x100 xc:'rgb(200,200,0)' PNG24:"$S/btn.png"
"$CONVERT" -size 200x100 xc:'rgb(0,200,0)' PNG24:"$S/btnh.png"
"$CONVERT" -size 800x600 xc:'rgb(220,0,0)' PNG24:"$S/red.png"
"$CONVERT" -size 756x192 xc:'rgba(20,30,80,0.8)' PNG32:"$S/msg.png"
printf '%s\n' '<kn>' \
  '<scene index=title control=1><knobject type=img src=bg.png width=800 height=600 pos_x=0 pos_y=0 alpha=255/>' \
  '<knobject type=button src=btn.png hover=btnh.png width=200 height=100 pos_x=300 pos_y=250 alpha=255 index=3/></scene>' \
  '<scene index=red><knobject type=img src=red.png width=800 height=600 pos_x=0 pos_y=0 alpha=255/></scene>' \
  '</kn>' > "$S/knv/background.knv"
# After the red scene a click shows the title again, for the window at 1.5 times.
printf '<BODY><A name=top></A><CODE>CHANGESCENE 0,title,-1,0</CODE><CODE>WAIT</CODE><CODE>IF ==,#LASTSELECT,3,#hit</CODE><CODE>WAIT</CODE><A name=hit></A><CODE>CHANGESCENE 0,red,-1,0</CODE><CODE>WAIT</CODE><CODE>JUMP #top</CODE></BODY>\r\n' > "$S/start.svx"

export SORVANE_AUDIO=null
export XDG_RUNTIME_DIR="$WORK/xdg"; mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
# The reader's own folders (saves, settings) of this test alone.
export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data"
cat > "$WORK/session.sh" <<SESSION
#!/usr/bin/env bash
set -euo pipefail
openbox > "$WORK/openbox.log" 2>&1 &
for i in \$(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
"$BIN/sorvane" "$S" > "$WORK/player.log" 2>&1 &
PID=\$!
WID=""
for i in \$(seq 1 100); do
  WID=\$(xdotool search --onlyvisible --pid \$PID --name '^Sorvane\$' 2>/dev/null | head -1 || true)
  [ -n "\$WID" ] && break
  sleep 0.1
done
[ -n "\$WID" ] || { echo "no window" >&2; kill \$PID; wait \$PID || true; exit 1; }
geometry() { xdotool getwindowgeometry \$WID | tr -d '\n'; }
# Waits until the window's geometry is the given one (or has changed from it, with !).
wait_geometry() {
  for i in \$(seq 1 100); do
    case "\$1" in '!'*) [ "\$(geometry)" != "\${1#!}" ] && return 0 ;; *) [ "\$(geometry)" = "\$1" ] && return 0 ;; esac
    sleep 0.1
  done
  return 1
}
pixel() { "$CONVERT" "\$1" -format "%[pixel:p{\$2,\$3}]" info:; }
shot() { sleep 0.5; "$IMPORT" -window root "$WORK/\$1.png"; }
xdotool mousemove 100 540
xdotool windowactivate --sync \$WID
sleep 0.5
BEFORE=\$(geometry)
echo "\$BEFORE" > "$WORK/before"
xdotool key F11
wait_geometry '!'"\$BEFORE" || { echo "F11 did not change the window" >&2; }
sleep 0.5
geometry > "$WORK/full"
shot full
# The button's centre, picture (400, 300), is at (240 + 400 * 1.8, 300 * 1.8) on the screen.
xdotool mousemove 960 540
shot hover
xdotool click 1
shot chosen
xdotool mousemove 960 0
shot menu
xdotool mousemove 960 540
sleep 0.3
xdotool key F11
wait_geometry "\$BEFORE" || true
geometry > "$WORK/after"
shot restored
# The window at 1.5 times (設定 → ウィンドウサイズ → 1.5倍): the button's centre, picture
# (400, 300), is at (600, 450) of the picture area, under the menu bar; a click there
# chooses it, and the red scene comes again.
xdotool click 1
sleep 0.5
xdotool key alt+c; sleep 0.3; xdotool key w; sleep 0.3; xdotool key Down Return
sleep 1
"$IMPORT" -window \$WID "$WORK/scaled-title.png"
MENU=\$(( \$("$CONVERT" "$WORK/scaled-title.png" -format '%h' info:) - 900 ))
xdotool mousemove --window \$WID 600 \$((MENU + 450))
sleep 0.3
xdotool click 1
sleep 0.5
"$IMPORT" -window \$WID "$WORK/scaled-chosen.png"
echo "\$("$CONVERT" "$WORK/scaled-title.png" -format '%w %h' info:) \$(pixel "$WORK/scaled-title.png" 600 \$((MENU + 100))) \$(pixel "$WORK/scaled-chosen.png" 600 \$((MENU + 450)))" > "$WORK/scaled.px"
echo "\$(pixel "$WORK/full.png" 100 540) \$(pixel "$WORK/full.png" 1820 540) \$(pixel "$WORK/full.png" 960 100) \$(pixel "$WORK/full.png" 960 540)" > "$WORK/full.px"
echo "\$(pixel "$WORK/hover.png" 960 540)" > "$WORK/hover.px"
echo "\$(pixel "$WORK/chosen.png" 960 540) \$(pixel "$WORK/chosen.png" 100 540)" > "$WORK/chosen.px"
echo "\$(pixel "$WORK/menu.png" 20 8)" > "$WORK/menu.px"
# The window's picture at 1:1 again: the red scene's extent on the screen.
"$CONVERT" "$WORK/restored.png" -fill black +opaque 'srgb(218,0,0)' -trim -format '%w %h' info: > "$WORK/restored.px"
kill -TERM \$PID
wait \$PID || true
SESSION
chmod +x "$WORK/session.sh"
timeout 120 xvfb-run -a -s "-screen 0 1920x1080x24" "$WORK/session.sh" || fail "the session failed: $(cat "$WORK/player.log" 2>/dev/null)"

echo "window $(cat "$WORK/before"); full screen $(cat "$WORK/full"); after $(cat "$WORK/after")"
grep -q 'Position: 0,0 .*Geometry: 1920x1080' "$WORK/full" || fail "full screen does not cover the screen: $(cat "$WORK/full")"
[ "$(cat "$WORK/before")" = "$(cat "$WORK/after")" ] || fail "the window came back as $(cat "$WORK/after"), not $(cat "$WORK/before")"
# Black bars of 240 pixels each side; the scene's blue (DrawAlpha over black: 19,39,89) in the picture.
read -r BAR_L BAR_R BLUE CENTRE < "$WORK/full.px"
[ "$BAR_L" = "srgb(0,0,0)" ] && [ "$BAR_R" = "srgb(0,0,0)" ] || fail "no black bars: $BAR_L $BAR_R"
[ "$BLUE" = "srgb(19,39,89)" ] || fail "the picture is not where it should be: $BLUE at 960,100"
# The button under the pointer shows its hover picture (0,200,0), then the chosen scene is red.
[ "$(cat "$WORK/hover.px")" = "srgb(0,198,0)" ] || fail "the button is not hovered in full screen: $(cat "$WORK/hover.px")"
read -r CHOSEN BAR < "$WORK/chosen.px"
# (DrawAlpha keeps a trace of what lay below: 1 of the hover's green.)
[ "$CHOSEN" = "srgb(218,1,0)" ] || fail "the click did not choose the button: $CHOSEN"
[ "$BAR" = "srgb(0,0,0)" ] || fail "the bar is not black after the click: $BAR"
# At the top edge the menu bar covers the top of the screen.
MENU=$(cat "$WORK/menu.px")
[ "$MENU" != "srgb(0,0,0)" ] && [ "$MENU" != "srgb(218,0,0)" ] || fail "no menu bar at the top edge: $MENU"
[ "$(cat "$WORK/restored.px")" = "800 600" ] || fail "the restored window shows its picture at $(cat "$WORK/restored.px"), not 800 600"
read -r SW SH TITLE CHOSEN15 < "$WORK/scaled.px"
[ "$SW" = 1200 ] || fail "the window at 1.5 times is $SW wide"
# Scaled smoothly: each channel within a few steps of the picture's.
near() { echo "$1" | tr -d 'srgb()' | awk -F, -v r="$2" -v g="$3" -v b="$4" \
  '{ d = ($1-r)^2 + ($2-g)^2 + ($3-b)^2; exit !(d < 50) }'; }
near "$TITLE" 19 39 89 || fail "the title is not shown scaled at 1.5 times: $TITLE"
near "$CHOSEN15" 218 0 0 || fail "a click on the button at 1.5 times did not choose it: $CHOSEN15"
echo "full screen test: 1 passed, 0 failed"
