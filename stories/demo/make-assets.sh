#!/usr/bin/env bash
# Makes the demo story's files from the sources in src/, with Debian's tools only.
# Scripts are written as UTF-8 and stored in Shift-JIS (CP932) with CR LF line ends.
set -euo pipefail
cd "$(dirname "$0")"
for src in src/*.svx.txt; do
  out="$(basename "$src" .txt)"
  sed 's/$/\r/' "$src" | iconv -f UTF-8 -t CP932 > "$out.tmp"
  mv "$out.tmp" "$out"
done
