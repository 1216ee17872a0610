#!/usr/bin/env bash
# Every program and library of the build looks for libraries only in folders named from
# its own place ($ORIGIN). An empty or relative entry would be read against the current
# folder, which is the story's: a story could then hand us a library of its own.
set -euo pipefail
BUILD=$(cd "${1:?usage: runpath_test.sh BUILD_DIR}" && pwd)
checked=0
bad=0
for f in "$BUILD"/bin/*; do
  [ -f "$f" ] && [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  checked=$((checked + 1))
  path=$(readelf -d "$f" | sed -n 's/.*(\(RUN\)\?PATH).*\[\(.*\)\]$/\2/p')
  [ -n "$path" ] || continue
  # Entries split on ':' keeping empty ones, including a trailing one.
  IFS=: read -r -a entries <<< "$path:"
  for e in "${entries[@]}"; do
    case "$e" in
      '$ORIGIN' | '$ORIGIN/'*) ;;
      *) echo "$f: library search path '$path' has the entry '$e'"; bad=1 ;;
    esac
  done
done
# And in practice: a folder that holds files named like the libraries we load does not
# change what a program started in it loads.
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
for lib in libogg.so.0 libsorvane-platform.so libkinetra.so libpng16.so.16; do
  echo "not a library" > "$WORK/$lib"
done
printf 'text\r\n' > "$WORK/start.svx"
(cd "$WORK" && "$BUILD/bin/sorvane-cli" compile start.svx > "$WORK/out" 2> "$WORK/err") ||
  { echo "sorvane-cli failed in a folder of fake libraries: $(cat "$WORK/err")"; bad=1; }

[ "$checked" -gt 5 ] || { echo "only $checked ELF files under $BUILD/bin"; exit 1; }
[ "$bad" = 0 ] || exit 1
echo "$checked ELF files: every library search path is \$ORIGIN-based"
