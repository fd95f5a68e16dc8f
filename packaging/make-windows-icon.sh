#!/usr/bin/env bash
# Usage: make-windows-icon.sh [OUTPUT.ico]
# Draws the program's icon, an open folder holding three category bars, and writes it as the
# Windows icon src/app/pallimor.ico with every size Explorer and the taskbar ask for. The .ico is
# kept in the repository, so a build needs no ImageMagick; run this again only to change it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
output="${1:-$here/src/app/pallimor.ico}"
# Drawn once at 256 px and scaled down, so that every size has the same shape.
convert -size 256x256 xc:none \
    -fill '#B8761A' -draw 'roundrectangle 12,24 112,72 14,14' \
    -draw 'roundrectangle 12,40 244,232 18,18' \
    -fill '#FFFFFF' -draw 'roundrectangle 30,54 226,190 8,8' \
    -fill '#3B82C4' -draw 'roundrectangle 48,70 208,88 6,6' \
    -fill '#3FA34D' -draw 'roundrectangle 48,98 184,116 6,6' \
    -fill '#D9534F' -draw 'roundrectangle 48,126 164,144 6,6' \
    -fill '#F4B740' -draw 'roundrectangle 12,150 244,232 18,18' \
    -fill '#F8CB6A' -draw 'roundrectangle 12,150 244,164 7,7' \
    -strip -depth 8 -define icon:auto-resize=256,128,64,48,40,32,24,20,16 "$output"
