#!/usr/bin/env bash
# Makes the demo story's files from the sources in src/, with Debian's tools only:
# iconv (libc-bin) for the scripts, ImageMagick for the pictures.
# Scripts are written as UTF-8 and stored in Shift-JIS (CP932) with CR LF line ends.
# Usage: make-assets.sh [OUT_DIR]  (default: beside the sources, where make play reads them)
set -euo pipefail
OUT=$(mkdir -p "${1:-$(dirname "$0")}" && cd "${1:-$(dirname "$0")}" && pwd)
cd "$(dirname "$0")"
for src in src/*.svx.txt; do
  out="$(basename "$src" .txt)"
  sed 's/$/\r/' "$src" | iconv -f UTF-8 -t CP932 > "$OUT/$out.tmp"
  mv "$OUT/$out.tmp" "$OUT/$out"
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
  PNG32:"$OUT/msg.png.tmp"
mv "$OUT/msg.png.tmp" "$OUT/msg.png"

# The scenes: src/background.knv.txt, stored in Shift-JIS as knv/background.knv, with its
# pictures in img/: a title with two buttons and a twinkling star, five backgrounds, and
# two rule images for the mask transitions (a soft left-to-right wipe and an opening circle).
mkdir -p "$OUT/knv" "$OUT/img"
iconv -f UTF-8 -t CP932 src/background.knv.txt > "$OUT/knv/background.knv.tmp"
mv "$OUT/knv/background.knv.tmp" "$OUT/knv/background.knv"
FONT=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
STILL=(-define png:exclude-chunks=date,time +set date:create +set date:modify)
picture() {  # NAME GRADIENT-FROM GRADIENT-TO [DRAW-ARGUMENTS...]
  local name=$1 from=$2 to=$3
  shift 3
  "$CONVERT" -size 800x600 gradient:"$from-$to" "$@" "${STILL[@]}" PNG24:"$OUT/img/$name.tmp"
  mv "$OUT/img/$name.tmp" "$OUT/img/$name"
}
picture title.png '#0b1030' '#3a2a6a' \
  -fill 'rgba(255,255,255,0.08)' -draw 'circle 640,140 640,40' \
  -font "$FONT" -fill white -pointsize 56 -gravity north -annotate +0+150 '地図と三つの印' \
  -fill '#c8d0ff' -pointsize 22 -annotate +0+230 'Sorvane デモ'
picture town.png '#f4a060' '#402060' \
  -fill '#201030' -draw 'rectangle 0,330 140,600 rectangle 160,280 260,600 rectangle 300,350 420,600' \
  -draw 'rectangle 460,250 540,600 rectangle 580,320 700,600 rectangle 720,370 800,600'
picture tower.png '#7fb0e0' '#e8f0ff' \
  -fill '#6a5a50' -draw 'rectangle 340,120 460,600' -fill '#8a3a30' -draw 'polygon 320,120 480,120 400,40'
picture library.png '#3a2618' '#7a5a3a' \
  -fill '#5a3a20' -draw 'rectangle 60,80 260,560 rectangle 300,80 500,560 rectangle 540,80 740,560' \
  -fill '#ffe890' -draw 'rectangle 380,300 420,340'
picture garden.png '#ffe0f0' '#80c080' \
  -fill '#ffb0d0' -draw 'circle 200,200 200,110 circle 560,160 560,60 circle 420,300 420,240'
picture ending.png '#000010' '#203060' \
  -fill '#fff8c0' -draw 'circle 620,160 620,120'
button() {  # NAME TEXT FILL
  "$CONVERT" -size 200x50 xc:none -fill "$3" -stroke '#e0e8ff' -strokewidth 2 \
    -draw 'roundrectangle 1,1 198,48 10,10' -stroke none -font "$FONT" -fill white -pointsize 24 \
    -gravity center -annotate +0+0 "$2" "${STILL[@]}" PNG32:"$OUT/img/$1.tmp"
  mv "$OUT/img/$1.tmp" "$OUT/img/$1"
}
button start.png 'はじめる' 'rgba(40,60,140,0.85)'
button start_h.png 'はじめる' 'rgba(90,120,230,0.95)'
button quit.png 'おわる' 'rgba(40,60,140,0.85)'
button quit_h.png 'おわる' 'rgba(90,120,230,0.95)'
"$CONVERT" -size 48x48 radial-gradient:'rgba(255,255,230,1)-rgba(255,255,230,0)' "${STILL[@]}" PNG32:"$OUT/img/star.tmp"
mv "$OUT/img/star.tmp" "$OUT/img/star.png"
"$CONVERT" -size 600x800 gradient:black-white -rotate -90 "${STILL[@]}" PNG24:"$OUT/img/wipe.tmp"
mv "$OUT/img/wipe.tmp" "$OUT/img/wipe.png"
"$CONVERT" -size 800x600 radial-gradient:black-white "${STILL[@]}" PNG24:"$OUT/img/circle.tmp"
mv "$OUT/img/circle.tmp" "$OUT/img/circle.png"

# Sounds: a looping background of soft chords and a short chime, synthesised by SoX and
# encoded by oggenc (vorbis-tools).
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
sox -n -r 44100 -c 2 -b 16 "$TMP/c.wav" synth 2 sine 261.63 sine 329.63 remix 1,2 1,2 gain -14 fade h 0.3 2 0.5
sox -n -r 44100 -c 2 -b 16 "$TMP/f.wav" synth 2 sine 349.23 sine 440.00 remix 1,2 1,2 gain -14 fade h 0.3 2 0.5
sox -n -r 44100 -c 2 -b 16 "$TMP/g.wav" synth 2 sine 392.00 sine 493.88 remix 1,2 1,2 gain -14 fade h 0.3 2 0.5
sox "$TMP/c.wav" "$TMP/f.wav" "$TMP/g.wav" "$TMP/c.wav" -b 16 "$TMP/bgm.wav"
oggenc -Q -q 3 -o "$OUT/bgm.ogg" "$TMP/bgm.wav"
sox -n -r 44100 -c 1 -b 16 "$TMP/chime.wav" synth 0.6 sine 1046.5 sine 1318.5 remix 1,2 gain -8 fade p 0.01 0.6 0.5
oggenc -Q -q 3 -o "$OUT/chime.ogg" "$TMP/chime.wav"
