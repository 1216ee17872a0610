#!/usr/bin/env bash
# The Debian package: built with CPack, unpacked with dpkg-deb -x, and the unpacked
# sorvane-cli plays the unpacked demo. Its dependencies come from dpkg-shlibdeps. Lintian
# finds nothing in it or in its debug-symbols package (what it is told to let pass, the
# package's overrides say why).
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
BUILD=$(cd "$1" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$BUILD" && cpack -G DEB -B "$WORK/out" > "$WORK/cpack.log" 2>&1) || fail "cpack failed: $(cat "$WORK/cpack.log")"
DEB=$(ls "$WORK"/out/sorvane_*.deb)
for dep in libvorbisfile3 libqt6widgets6 libsdl2-2.0-0; do
  dpkg-deb -f "$DEB" Depends | grep -q "$dep" || fail "no dependency on $dep: $(dpkg-deb -f "$DEB" Depends)"
done
DDEB=$(ls "$WORK"/out/sorvane-dbgsym_*.ddeb) || fail "no debug-symbols package"
if command -v lintian > /dev/null; then
  lintian --pedantic "$DEB" "$DDEB" 2>&1 | grep -v '^running with root privileges' > "$WORK/lintian.out" || true
  [ ! -s "$WORK/lintian.out" ] || fail "lintian: $(cat "$WORK/lintian.out")"
fi
dpkg-deb -x "$DEB" "$WORK/root"
dpkg-deb -c "$DDEB" > "$WORK/ddeb.list"
# Stripped programs and libraries, each with the build id that finds its symbols.
for f in "$WORK/root/usr/bin/sorvane-cli" "$WORK/root/usr/lib/sorvane/libkinetra.so"; do
  readelf -S "$f" | grep -q '\.debug_info' && fail "$f is not stripped"
  id=$(readelf -n "$f" | sed -n 's/.*Build ID: //p')
  grep -q "usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" "$WORK/ddeb.list" || fail "no debug symbols for $f"
done
[ -x "$WORK/root/usr/games/sorvane-demo" ] || fail "no sorvane-demo in /usr/games"
cp -r "$WORK/root/usr/share/sorvane/demo" "$WORK/story"
cd "$WORK"
env -u LD_LIBRARY_PATH SORVANE_AUDIO=null "$WORK/root/usr/bin/sorvane-cli" run story --trace --dialogs ignore \
  --mouse 0:120,465 --click 60 --frames 200 > "$WORK/run.out" 2> "$WORK/run.err" || fail "the unpacked player failed: $(cat "$WORK/run.err")"
grep -q 'CHANGESCENE 0,town,0,1500' "$WORK/run.out" || fail "the demo did not leave its title"
echo "package test: 1 passed, 0 failed"
