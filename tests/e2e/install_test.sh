#!/usr/bin/env bash
# cmake --install into a fresh prefix, then the installed sorvane-cli plays the installed
# demo from outside the source and build trees, finding its libraries through its RPATH.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
BUILD=$(cd "$1" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$BUILD" --prefix "$WORK/prefix" > "$WORK/install.log" || fail "install failed: $(cat "$WORK/install.log")"
P=$WORK/prefix
for f in bin/sorvane-cli lib/sorvane/libkinetra.so lib/sorvane/libsorvane-platform.so lib/sorvane/libsonara2.so \
         lib/sorvane/libsonaraogg.so lib/sorvane/libombrix.so share/applications/sorvane.desktop \
         share/icons/hicolor/64x64/apps/sorvane.png share/man/man6/sorvane.6.gz share/man/man6/sorvane-cli.6.gz \
         share/sorvane/demo/start.svx share/sorvane/demo/knv/background.knv share/sorvane/demo/img/title.png; do
  [ -e "$P/$f" ] || fail "$f was not installed"
done
readelf -d "$P/bin/sorvane-cli" | grep -q 'RUNPATH.*\$ORIGIN/../lib/sorvane' || fail "sorvane-cli has no relative RUNPATH"
# A copy of the installed story, played from a folder far from the trees.
cp -r "$P/share/sorvane/demo" "$WORK/story"
cd "$WORK"
env -u LD_LIBRARY_PATH SORVANE_AUDIO=null "$P/bin/sorvane-cli" run story --trace --dialogs ignore --mouse 0:120,465 \
  --click 60 --frames 200 > "$WORK/out" 2> "$WORK/err" || fail "the installed player failed: $(cat "$WORK/err")"
grep -q 'CHANGESCENE 0,town,0,1500' "$WORK/out" || fail "the demo did not leave its title: $(cat "$WORK/out")"
[ ! -s "$WORK/err" ] || fail "the demo reported: $(cat "$WORK/err")"
echo "install test: 1 passed, 0 failed"
