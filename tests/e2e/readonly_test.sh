#!/usr/bin/env bash
# The installed player on a read-only copy of the installed demo: its logs go to a folder
# of XDG_STATE_HOME made for that story, one console line says where, and no box asks
# anything. Then, started with nothing to play, it asks for a folder and quits quietly when
# that is cancelled. Run as root, the player runs as nobody, for whom the copy is read-only.
# Usage: readonly_test.sh BUILD_DIR
set -euo pipefail
BUILD=$(cd "$1" && pwd)
WORK=$(mktemp -d)
trap 'chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
fail() { echo "read-only test: $*" >&2; exit 1; }

cmake --install "$BUILD" --prefix "$WORK/prefix" > /dev/null
cp -r "$WORK/prefix/share/sorvane/demo" "$WORK/story"
mkdir -p "$WORK/state" "$WORK/home" "$WORK/xdg"
chmod 755 "$WORK"
chmod 777 "$WORK/state" "$WORK/home" "$WORK/xdg"
chmod -R a-w "$WORK/story"
AS=""
if [ "$(id -u)" = 0 ]; then
  AS="setpriv --reuid=65534 --regid=65534 --clear-groups"
  chown 65534:65534 "$WORK/xdg"
  chmod 700 "$WORK/xdg"
fi

cat > "$WORK/session.sh" <<SESSION
#!/usr/bin/env bash
$AS env -u XAUTHORITY HOME="$WORK/home" XDG_STATE_HOME="$WORK/state" XDG_RUNTIME_DIR="$WORK/xdg" \
  SORVANE_AUDIO=null "$WORK/prefix/bin/sorvane" "$WORK/story" > "$WORK/player.log" 2>&1 &
PID=\$!
for i in \$(seq 1 100); do
  xdotool search --onlyvisible --name '^Sorvane\$' > /dev/null 2>&1 && break
  sleep 0.1
done
sleep 1
xdotool search --onlyvisible --name '警告|エラー|確認|情報' > "$WORK/boxes" 2>/dev/null || true
kill -TERM \$PID
for i in \$(seq 1 100); do kill -0 \$PID 2>/dev/null || break; sleep 0.1; done
kill -0 \$PID 2>/dev/null && { kill -KILL \$PID; echo "did not end" >&2; exit 1; }
# Without a story beside it and without an argument, the player asks for a folder;
# cancelling the chooser quits quietly.
$AS env -u XAUTHORITY HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/xdg" SORVANE_AUDIO=null \
  "$WORK/prefix/bin/sorvane" > "$WORK/chooser.log" 2>&1 &
PID=\$!
WID=""
for i in \$(seq 1 100); do
  WID=\$(xdotool search --onlyvisible --name 'ストーリーのフォルダを選んでください' 2>/dev/null | head -1 || true)
  [ -n "\$WID" ] && break
  sleep 0.1
done
[ -n "\$WID" ] || { kill \$PID; wait \$PID || true; echo "no folder chooser" >&2; exit 1; }
xdotool windowfocus --sync \$WID key Escape
for i in \$(seq 1 100); do kill -0 \$PID 2>/dev/null || break; sleep 0.1; done
kill -0 \$PID 2>/dev/null && { kill -KILL \$PID; echo "the cancelled chooser did not quit" >&2; exit 1; }
wait \$PID
echo \$? > "$WORK/chooser.status"
exit 0
SESSION
chmod +x "$WORK/session.sh"
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24 -ac" "$WORK/session.sh" || fail "the session failed: $(cat "$WORK/player.log")"
[ ! -s "$WORK/boxes" ] || fail "a box was shown: $(cat "$WORK/player.log")"
[ ! -e "$WORK/story/sorvane.log" ] || fail "the log was written into the read-only story"
LOGS=$(ls -d "$WORK"/state/sorvane/story-* 2>/dev/null | head -1 || true)
[ -n "$LOGS" ] || fail "no log folder under XDG_STATE_HOME: $(cat "$WORK/player.log")"
grep -q 'プログラムを開始しました。' "$LOGS/sorvane.log" || fail "no start line in $LOGS/sorvane.log"
grep -q 'プログラムを終了しました。' "$LOGS/sorvane.log" || fail "no end line in $LOGS/sorvane.log"
grep -q 'Initializing.' "$LOGS/Kinetra.log" || fail "no engine log beside it"
[ "$(grep -c "$LOGS" "$WORK/player.log")" = 1 ] || fail "the console does not say once where the logs are: $(cat "$WORK/player.log")"
[ "$(cat "$WORK/chooser.status")" = 0 ] || fail "a cancelled folder chooser ended with $(cat "$WORK/chooser.status")"

# A state folder that cannot be made (XDG_STATE_HOME is a file): one console line says so,
# no box, and the story plays on without logs.
echo "not a folder" > "$WORK/state-file"
chmod 644 "$WORK/state-file"
$AS env HOME="$WORK/state-file" XDG_STATE_HOME="$WORK/state-file" SORVANE_AUDIO=null \
  "$WORK/prefix/bin/sorvane-cli" run "$WORK/story" --frames 30 > "$WORK/nowhere.out" 2> "$WORK/nowhere.err" ||
  fail "the story did not play without a log folder: $(cat "$WORK/nowhere.err")"
grep -q '^dialog' "$WORK/nowhere.err" && fail "boxes without a log folder: $(cat "$WORK/nowhere.err")"
[ "$(grep -c 'ログは書きません' "$WORK/nowhere.err")" = 1 ] || fail "no single line says the logs are off: $(cat "$WORK/nowhere.err")"
grep -q "$WORK/state-file" "$WORK/nowhere.err" || fail "the line does not name the state folder: $(cat "$WORK/nowhere.err")"
echo "read-only test: 3 passed, 0 failed"
