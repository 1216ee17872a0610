#!/usr/bin/env bash
# The reader's controls in the window, under a real window manager (openbox in Xvfb): F5
# then two pages on then F9 gives back exactly the saved picture; Page Up goes back a page;
# closing the window and 続きから resume where the reader was; A (auto) reaches the end
# without a click; the save screen and the backlog; 1.5 times, kept; Ctrl held skips the
# pages read. Screenshots stay in the work folder with KEEP=1.
# Usage: reader_test.sh BUILD_BIN_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
WORK=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
CONVERT=convert; [ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert
IMPORT=import; [ -x /usr/bin/import ] && IMPORT=/usr/bin/import
COMPARE=compare; [ -x /usr/bin/compare ] && COMPARE=/usr/bin/compare
fail() { echo "reader test: $* (in $WORK)" >&2; exit 1; }
command -v openbox > /dev/null || fail "openbox is not installed"

# Four short pages over a picture; the last one ends the story.
S=$WORK/story
mkdir -p "$S/knv"
"$CONVERT" -size 800x600 gradient:'rgb(30,60,120)'-'rgb(200,120,40)' PNG24:"$S/bg.png"
"$CONVERT" -size 756x192 xc:'rgba(20,30,80,0.8)' PNG32:"$S/msg.png"
printf '%s\n' '<kn><scene index=blank></scene>' \
  '<scene index=bg><knobject type=img src=bg.png width=800 height=600 pos_x=0 pos_y=0 alpha=255/></scene></kn>' \
  > "$S/knv/background.knv"
printf '<BODY><CODE>CHANGESCENE 0,bg,-1,0</CODE><CODE>SETLAYERVISIBLE 0,1,0,0</CODE><P>いちページめ</P><P>にページめ</P><P>さんページめ</P><P>よんページめ</P><CODE>EXIT</CODE></BODY>' |
  iconv -f UTF-8 -t CP932 > "$S/start.svx"

# A damaged save in the second slot.
mkdir -p "$WORK/data/sorvane/story"
printf 'SORVSAVE and then nothing a save would hold' > "$WORK/data/sorvane/story/slot-02.sav"
export SORVANE_AUDIO=null
export XDG_DATA_HOME="$WORK/data"
export XDG_RUNTIME_DIR="$WORK/xdg"; mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
# The reader's own folders (saves, settings) of this test alone.
export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data"
cat > "$WORK/session.sh" <<SESSION
#!/usr/bin/env bash
set -euo pipefail
openbox > "$WORK/openbox.log" 2>&1 &
for i in \$(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
start() {
  "$BIN/sorvane" "$S" >> "$WORK/player.log" 2>&1 &
  PID=\$!
  WID=""
  for i in \$(seq 1 100); do
    WID=\$(xdotool search --onlyvisible --pid \$PID --name '^Sorvane\$' 2>/dev/null | head -1 || true)
    [ -n "\$WID" ] && break
    sleep 0.1
  done
  [ -n "\$WID" ] || { echo "no window" >&2; kill \$PID; wait \$PID || true; exit 1; }
  xdotool mousemove 5 5
  xdotool windowactivate --sync \$WID
}
# The window's content once typing is over.
shot() { sleep 1.5; "$IMPORT" -window \$WID "$WORK/\$1.png"; }
key() { xdotool key "\$1"; }
start
shot page1
key F5
key Return; sleep 1; key Return
shot page3
key F9
shot loaded
key Return
shot page2
key Prior
shot back
key Return
shot beforeclose
key alt+F4
for i in \$(seq 1 100); do kill -0 \$PID 2>/dev/null || break; sleep 0.1; done
start
key alt+f; sleep 0.3; key c
shot resumed
# The save screen: slot 1 saved; the load screen shows it with its thumbnail beside the
# damaged slot 2, and loads it. Screenshots: save-screen.png, load-screen.png.
key alt+f; sleep 0.3; key s; sleep 1
"$IMPORT" -window root "$WORK/save-screen.png"
key Home; key Return; sleep 0.5
key alt+f; sleep 0.3; key o; sleep 1
"$IMPORT" -window root "$WORK/load-screen.png"
key Home; key Return
shot loaded-slot
# The wheel up over the picture opens the backlog (backlog.png); Escape closes it.
xdotool mousemove --window \$WID 400 300
xdotool click 4
sleep 1
"$IMPORT" -window \$WID "$WORK/backlog.png"
key Escape
shot after-backlog
# The window at 1.5 times, from the menu: the picture scaled, the size kept for next time.
key alt+c; sleep 0.3; key w; sleep 0.3; key Down; key Return
shot scaled
key a
for i in \$(seq 1 200); do kill -0 \$PID 2>/dev/null || break; sleep 0.1; done
kill -0 \$PID 2>/dev/null && { echo "auto mode did not reach the end" > "$WORK/auto.fail"; kill \$PID; wait \$PID || true; }
start
shot restarted
# Every page has been read by now: Ctrl held skips through them all to the story's end.
xdotool keydown ctrl
for i in \$(seq 1 100); do kill -0 \$PID 2>/dev/null || break; sleep 0.1; done
xdotool keyup ctrl
kill -0 \$PID 2>/dev/null && { echo "Ctrl held did not skip the pages read" > "$WORK/skip.fail"; kill \$PID; wait \$PID || true; }
true
SESSION
chmod +x "$WORK/session.sh"
timeout 150 xvfb-run -a -s "-screen 0 1920x1280x24" "$WORK/session.sh" || fail "the session failed: $(cat "$WORK/player.log" 2>/dev/null)"

same() { [ "$("$COMPARE" -metric AE "$WORK/$1.png" "$WORK/$2.png" null: 2>&1 || true)" = "0" ]; }
for f in page1 page3 loaded page2 back beforeclose resumed; do [ -s "$WORK/$f.png" ] || fail "no screenshot $f"; done
same page1 page3 && fail "two pages on, the window shows what it showed at F5"
same loaded page1 || fail "F9 did not give back the picture saved with F5"
same back page1 || fail "Page Up did not go back to the page before"
same page2 page1 && fail "the second page looks like the first"
same resumed beforeclose || fail "続きから did not resume where the window was closed"
[ -f "$WORK/data/sorvane/story/quick.sav" ] || fail "no quick save in the reader's data folder"
[ -f "$WORK/data/sorvane/story/slot-01.sav" ] || fail "the save screen did not save into slot 1"
same loaded-slot resumed || fail "the save loaded from slot 1 is not the page saved"
same backlog resumed && fail "the wheel did not open the backlog"
same after-backlog resumed || fail "Escape did not close the backlog"
[ -f "$WORK/data/sorvane/story/auto.sav" ] || fail "no automatic save in the reader's data folder"
[ ! -f "$WORK/auto.fail" ] || fail "$(cat "$WORK/auto.fail")"
[ ! -f "$WORK/skip.fail" ] || fail "$(cat "$WORK/skip.fail")"
# 1.5 times: 1200x900 under the menu bar, the picture scaled with it (the message window's
# left edge, at 22 in the picture, is at 33).
size() { "$CONVERT" "$WORK/$1.png" -format '%w %h' info:; }
read -r W H <<< "$(size scaled)"
[ "$W" = 1200 ] && [ $((H - 900)) -gt 0 ] && [ $((H - 900)) -lt 60 ] || fail "the window at 1.5 times is $W x $H"
MENU=$((H - 900))
"$CONVERT" "$WORK/scaled.png" -crop 1200x900+0+$MENU +repage "$WORK/scaled-picture.png"
"$CONVERT" "$WORK/scaled-picture.png" -scale 800x600 "$WORK/scaled-down.png"
"$CONVERT" "$WORK/resumed.png" -crop 800x600+0+$(( $("$CONVERT" "$WORK/resumed.png" -format '%h' info:) - 600 )) +repage "$WORK/resumed-picture.png"
DIFF=$("$COMPARE" -metric RMSE "$WORK/scaled-down.png" "$WORK/resumed-picture.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/' || true)
awk -v d="$DIFF" 'BEGIN { exit !(d < 0.08) }' || fail "the scaled picture is not the picture (RMSE $DIFF)"
[ "$(size restarted)" = "$(size scaled)" ] || fail "the window came back at $(size restarted), not $(size scaled)"
grep -q '^window_width=1200$' "$WORK/config/sorvane/settings" || fail "the size was not kept: $(cat "$WORK/config/sorvane/settings")"
echo "reader test: 1 passed, 0 failed"
