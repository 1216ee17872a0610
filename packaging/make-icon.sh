#!/usr/bin/env bash
# The program's icon: an open book under a star, 64x64, written without time stamps.
set -euo pipefail
CONVERT=convert; [ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert
"$CONVERT" -size 64x64 xc:none -fill '#2a3a8a' -draw 'roundrectangle 2,2 61,61 12,12' \
  -fill '#f4f0e0' -draw 'polygon 8,46 31,40 31,22 8,28' -draw 'polygon 33,40 56,46 56,28 33,22' \
  -fill '#ffe070' -draw 'polygon 32,6 35,14 43,14 37,19 39,27 32,22 25,27 27,19 21,14 29,14' \
  -define png:exclude-chunks=date,time +set date:create +set date:modify PNG32:"$1.tmp"
mv "$1.tmp" "$1"
