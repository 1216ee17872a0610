#!/usr/bin/env bash
# The Debian package: built with CPack, unpacked with dpkg-deb -x, and the unpacked
# sorvane-cli plays the unpacked demo. Its dependencies come from dpkg-shlibdeps.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
BUILD=$(cd "$1" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$BUILD" && cpack -G DEB -B "$WORK/out" > "$WORK/cpack.log" 2>&1) || fail "cpack failed: $(cat "$WORK/cpack.log")"
DEB=$(ls "$WORK"/out/sorvane_*.deb)
dpkg-deb -f "$DEB" Depends | grep -q 'libvorbisfile3' || fail "no dependencies found: $(dpkg-deb -f "$DEB" Depends)"
dpkg-deb -x "$DEB" "$WORK/root"
cp -r "$WORK/root/usr/share/sorvane/demo" "$WORK/story"
cd "$WORK"
env -u LD_LIBRARY_PATH SORVANE_AUDIO=null "$WORK/root/usr/bin/sorvane-cli" run story --trace --dialogs ignore \
  --mouse 0:120,465 --click 60 --frames 200 > "$WORK/run.out" 2> "$WORK/run.err" || fail "the unpacked player failed: $(cat "$WORK/run.err")"
grep -q 'CHANGESCENE 0,town,0,1500' "$WORK/run.out" || fail "the demo did not leave its title"
echo "package test: 1 passed, 0 failed"
