#!/usr/bin/env bash
# Makes the demo story's files from the sources in src/, with Debian's tools only:
# iconv (libc-bin) for the scripts, ImageMagick for the pictures.
# Scripts are written as UTF-8 and stored in Shift-JIS (CP932) with CR LF line ends.
set -euo pipefail
cd "$(dirname "$0")"
for src in src/*.svx.txt; do
  out="$(basename "$src" .txt)"
  sed 's/$/\r/' "$src" | iconv -f UTF-8 -t CP932 > "$out.tmp"
  mv "$out.tmp" "$out"
done

# The message window: a translucent dark blue panel with a lighter frame and a name tab.
CONVERT=convert
[ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert
"$CONVERT" -size 756x192 xc:none \
  -fill 'rgba(16,24,64,0.78)' -stroke 'rgba(180,200,255,0.9)' -strokewidth 2 \
  -draw 'roundrectangle 1,38 754,190 12,12' \
  -fill 'rgba(40,60,140,0.9)' -stroke 'rgba(180,200,255,0.9)' \
  -draw 'roundrectangle 4,4 250,40 8,8' \
  PNG32:msg.png.tmp
mv msg.png.tmp msg.png
