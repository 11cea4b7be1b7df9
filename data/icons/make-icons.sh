#!/usr/bin/env bash
# Regenerates the PNG sizes of the application icon from its SVG (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" org.tcal.TCal.svg -o "png/${size}/org.tcal.TCal.png"
done
