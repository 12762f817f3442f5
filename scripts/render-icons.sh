#!/usr/bin/env bash
# Renders the PNG sizes of the program's icons from their SVG sources (needs rsvg-convert from
# Debian's librsvg2-bin). Run after changing an SVG; the PNGs are kept in the repository.
set -euo pipefail
cd "$(dirname "$0")/../resources/icons"
mkdir -p png
for s in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$s" -h "$s" quorvane.svg -o "png/quorvane-$s.png"
done
for s in 16 22 24 32 48; do
    rsvg-convert -w "$s" -h "$s" quorvane-tray.svg -o "png/quorvane-tray-$s.png"
done
