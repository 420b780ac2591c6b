#!/usr/bin/env bash
# Renders the shipped pictures from their SVG drawings (run after changing a drawing).
set -euo pipefail
cd "$(dirname "$0")"
for owl in Owl OwlPointing; do
    rsvg-convert "$owl.svg" -o "/tmp/$owl.png"
    convert "/tmp/$owl.png" -background '#3e3e3e' -flatten -quality 92 "$owl.jpg"
    rm -f "/tmp/$owl.png"
done
rsvg-convert Product.svg -o Product.png
for button in Button*.svg Report*.svg; do
    rsvg-convert "$button" -o "${button%.svg}.png"
done
# The program's icon (its window icon) in the sizes the desktop's hicolor theme asks for.
for size in 48 128 256; do
    rsvg-convert -w "$size" -h "$size" ../icons/about.svg -o "ProgramIcon$size.png"
done
