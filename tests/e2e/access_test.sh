#!/usr/bin/env bash
# The story without a mouse or without eyes, under a real window manager (openbox in Xvfb):
# a text choice answered by Down, Down, Return, then a scene's button chosen by Right and
# Return, with the pointer outside the picture all along; each choice leads to a picture
# of its own colour, read off a screenshot. A screen reader's client (pyatspi) reads the
# page and the menu from the running player. Screenshots stay in the work folder with KEEP=1.
# Usage: access_test.sh BUILD_BIN_DIR
set -euo pipefail
BIN=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
CONVERT=convert; [ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert
IMPORT=import; [ -x /usr/bin/import ] && IMPORT=/usr/bin/import
fail() { echo "access test: $* (in $WORK)" >&2; exit 1; }
command -v openbox > /dev/null || fail "openbox is not installed"

S=$WORK/story
mkdir -p "$S/knv"
for c in grey:'rgb(90,90,90)' blue:'rgb(0,0,200)' red:'rgb(200,0,0)' green:'rgb(0,200,0)' btn:'rgb(120,120,0)' \
         btnh:'rgb(250,250,250)'; do
  size=800x600; case ${c%%:*} in btn*) size=200x50;; esac
  "$CONVERT" -size $size xc:"${c#*:}" PNG24:"$S/${c%%:*}.png"
done
"$CONVERT" -size 756x192 xc:'rgba(20,30,80,0.8)' PNG32:"$S/msg.png"
scene() { echo "<scene index=$1><knobject type=img src=$1.png width=800 height=600 pos_x=0 pos_y=0 alpha=255/></scene>"; }
{
  echo '<kn><scene index=blank></scene>'
  for n in grey blue red green; do scene $n; done
  echo '<scene index=title control=1><knobject type=img src=grey.png width=800 height=600 pos_x=0 pos_y=0 alpha=255/>'
  echo '<knobject type=button src=btn.png hover=btnh.png width=200 height=50 pos_x=100 pos_y=100 alpha=255 index=3/>'
  echo '<knobject type=button src=btn.png hover=btnh.png width=200 height=50 pos_x=400 pos_y=100 alpha=255 index=5/></scene></kn>'
} > "$S/knv/background.knv"
printf '%s' '<BODY><CODE>CHANGESCENE 0,grey,-1,0</CODE><CODE>SETLAYERVISIBLE 0,1,0,0</CODE><P>どちら？</P><UL><LI><A href=#a>あお</A></LI><LI><A href=#b>あか</A></LI></UL>' \
  '<A name=a></A><CODE>CHANGESCENE 0,blue,-1,0</CODE><P>あおです</P><CODE>JUMP #q</CODE>' \
  '<A name=b></A><CODE>CHANGESCENE 0,red,-1,0</CODE><P>あかです</P>' \
  '<A name=q></A><CODE>CHANGESCENE 0,title,-1,0</CODE><P>ボタンを選んでください</P>' \
  '<CODE>IF ==,#LASTSELECT,5,#g</CODE><CODE>CHANGESCENE 0,blue,-1,0</CODE><P>ひだり</P><CODE>EXIT</CODE>' \
  '<A name=g></A><CODE>CHANGESCENE 0,green,-1,0</CODE><P>みぎ</P><CODE>EXIT</CODE></BODY>' |
  iconv -f UTF-8 -t CP932 > "$S/start.svx"

export SORVANE_AUDIO=null
export XDG_RUNTIME_DIR="$WORK/xdg"; mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data"
cat > "$WORK/session.sh" <<SESSION
#!/usr/bin/env bash
set -euo pipefail
openbox > "$WORK/openbox.log" 2>&1 &
for i in \$(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
"$BIN/sorvane" "$S" >> "$WORK/player.log" 2>&1 &
PID=\$!
WID=""
for i in \$(seq 1 100); do
  WID=\$(xdotool search --onlyvisible --pid \$PID --name '^Sorvane' 2>/dev/null | head -1 || true)
  [ -n "\$WID" ] && break
  sleep 0.1
done
[ -n "\$WID" ] || { echo "no window" >&2; kill \$PID; wait \$PID || true; exit 1; }
xdotool mousemove 1900 1250
xdotool windowactivate --sync \$WID
shot() { sleep 1; "$IMPORT" -window \$WID "$WORK/\$1.png"; }
key() { xdotool key "\$1"; sleep 0.2; }
sleep 1
/usr/bin/python3 "$HERE/atspi_read.py" 20 > "$WORK/atspi-page.txt" 2>&1 || true
key Return
shot menu
/usr/bin/python3 "$HERE/atspi_read.py" 20 > "$WORK/atspi-menu.txt" 2>&1 || true
key Down; key Down
shot highlighted
/usr/bin/python3 "$HERE/atspi_read.py" 20 > "$WORK/atspi-highlighted.txt" 2>&1 || true
key Return
shot chosen
key Return
shot buttons
key Right; key Right
shot button-highlighted
key Return
shot button-chosen
key Return
for i in \$(seq 1 100); do kill -0 \$PID 2>/dev/null || break; sleep 0.1; done
kill -0 \$PID 2>/dev/null && { echo "the story did not end" > "$WORK/end.fail"; kill \$PID; }
wait \$PID || true
SESSION
chmod +x "$WORK/session.sh"
# A session bus of its own, where the accessibility bus starts on demand; Qt's bridge is
# on whether or not a screen reader asked for it.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
timeout 150 dbus-run-session -- xvfb-run -a -s "-screen 0 1920x1280x24" "$WORK/session.sh" 2>> "$WORK/session.log" || fail "the session failed: $(cat "$WORK/player.log" 2>/dev/null)"

# The colour of a pixel of the picture area (the window's client area starts at the menu).
pixel() { "$CONVERT" "$WORK/$1.png" -format "%[pixel:p{$2,$3}]" info: 2>/dev/null; }
for f in menu highlighted chosen buttons button-highlighted button-chosen; do [ -s "$WORK/$f.png" ] || fail "no screenshot $f"; done
# Within a few levels of the colour (the pictures are blended onto the screen).
near() {
  local got; got=$(pixel "$1" "$2" "$3" | tr -dc '0-9,\n')
  IFS=, read -r r g b <<< "$got"
  [ $(( (r-$4)*(r-$4) + (g-$5)*(g-$5) + (b-$6)*(b-$6) )) -le 48 ] || { echo "$got"; return 1; }
}
near highlighted 700 300 90 90 90 || fail "the picture changed before the choice was made"
near chosen 700 300 200 0 0 || fail "Down, Down, Return did not choose the second line"
near button-highlighted 500 145 250 250 250 || fail "Right, Right did not highlight the second button"
near button-highlighted 200 145 120 120 0 || fail "the first button is highlighted too"
near button-chosen 700 300 0 200 0 || fail "Return did not take the second button"
[ ! -f "$WORK/end.fail" ] || fail "$(cat "$WORK/end.fail")"
# What a screen reader read through AT-SPI: the page, then the menu's lines, then the one
# the keyboard highlighted.
grep -qx 'text: どちら？' "$WORK/atspi-page.txt" || fail "AT-SPI did not give the page's text: $(cat "$WORK/atspi-page.txt")"
[ "$(grep '^choice: ' "$WORK/atspi-menu.txt")" = "$(printf 'choice: あお\nchoice: あか')" ] ||
  fail "AT-SPI did not list the choices: $(cat "$WORK/atspi-menu.txt")"
grep -q '^current: ' "$WORK/atspi-menu.txt" && fail "a choice is current before any was highlighted"
grep -qx 'current: あか' "$WORK/atspi-highlighted.txt" ||
  fail "AT-SPI's current choice is not the highlighted one: $(cat "$WORK/atspi-highlighted.txt")"
echo "access test: passed"
