#!/usr/bin/env bash
# Regenerates the three form images (logo + two abstract banners) with ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/image"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc

# Logo shown stretched over the title frame.
convert -size 842x282 gradient:'#f4f8fc'-'#c9dcef' \
  -fill '#1f5f9f' -draw 'roundrectangle 40,56 210,226 24,24' \
  -fill white -draw 'rectangle 112,84 138,180' -draw 'circle 125,190 125,170' \
  -fill '#e8473c' -draw 'rectangle 117,120 133,182' -draw 'circle 125,190 125,176' \
  -font "$font" -fill '#16406b' -pointsize 120 -annotate +250+175 'TCal' \
  -fill '#3a5a7a' -pointsize 22 -annotate +254+220 'Temperature transmitter configuration & calibration' \
  -fill '#1f5f9f' -draw 'rectangle 250,238 800,242' \
  -strip -quality 70 title3.jpg

# Abstract banners, registered under aliases and not shown by the form.
convert -size 1000x150 gradient:'#0b3d66'-'#3aa0c8' \
  -fill 'rgba(255,255,255,0.18)' -draw 'circle 820,40 820,160' -draw 'circle 930,130 930,190' \
  -fill 'rgba(255,255,255,0.10)' -draw 'polygon 0,150 380,40 640,150' \
  -strip -quality 65 title_img.jpg

convert -size 1920x288 -define gradient:angle=90 gradient:'#123a5c'-'#58b4d8' \
  -fill 'rgba(255,255,255,0.15)' -draw 'circle 1560,80 1560,300' -draw 'circle 1800,240 1800,350' \
  -fill 'rgba(255,255,255,0.08)' -draw 'polygon 0,288 700,60 1200,288' \
  -fill 'rgba(0,0,0,0.10)' -draw 'polygon 900,0 1400,0 1100,288' \
  -strip -quality 65 title2_img.jpg
