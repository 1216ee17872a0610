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

# The message window: a translucent dark blue panel with a lighter frame and a name tab,
# written without time stamps so that remaking it leaves the file unchanged.
CONVERT=convert
[ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert
"$CONVERT" -size 756x192 xc:none \
  -fill 'rgba(16,24,64,0.78)' -stroke 'rgba(180,200,255,0.9)' -strokewidth 2 \
  -draw 'roundrectangle 1,38 754,190 12,12' \
  -fill 'rgba(40,60,140,0.9)' -stroke 'rgba(180,200,255,0.9)' \
  -draw 'roundrectangle 4,4 250,40 8,8' \
  -define png:exclude-chunks=date,time +set date:create +set date:modify \
  PNG32:msg.png.tmp
mv msg.png.tmp msg.png

# Sounds: a looping background of soft chords and a short chime, synthesised by SoX and
# encoded by oggenc (vorbis-tools).
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
sox -n -r 44100 -c 2 -b 16 "$TMP/c.wav" synth 2 sine 261.63 sine 329.63 remix 1,2 1,2 gain -14 fade h 0.3 2 0.5
sox -n -r 44100 -c 2 -b 16 "$TMP/f.wav" synth 2 sine 349.23 sine 440.00 remix 1,2 1,2 gain -14 fade h 0.3 2 0.5
sox -n -r 44100 -c 2 -b 16 "$TMP/g.wav" synth 2 sine 392.00 sine 493.88 remix 1,2 1,2 gain -14 fade h 0.3 2 0.5
sox "$TMP/c.wav" "$TMP/f.wav" "$TMP/g.wav" "$TMP/c.wav" -b 16 "$TMP/bgm.wav"
oggenc -Q -q 3 -o bgm.ogg "$TMP/bgm.wav"
sox -n -r 44100 -c 1 -b 16 "$TMP/chime.wav" synth 0.6 sine 1046.5 sine 1318.5 remix 1,2 gain -8 fade p 0.01 0.6 0.5
oggenc -Q -q 3 -o chime.ogg "$TMP/chime.wav"
