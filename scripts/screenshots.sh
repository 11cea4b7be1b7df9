#!/usr/bin/env bash
# Screenshots of the window in all three languages and of the calibration
# record tab for the README, under Xvfb with the CJK font installed, and the
# sample certificate (PDF, and a PNG of it) made from the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh tcal-screenshots
xvfb-run -a -s "-screen 0 1280x900x24" build/tools/tcal-screenshots docs/screenshots docs
# The first page as a picture for the README (the PDF has them all).
pdftoppm -png -r 110 -singlefile -f 1 docs/calibration-certificate-sample.pdf docs/calibration-certificate-sample
pdftoppm -png -r 110 -singlefile -f 1 docs/automatic-certificate-sample.pdf docs/automatic-certificate-sample
