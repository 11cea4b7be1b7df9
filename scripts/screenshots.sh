#!/usr/bin/env bash
# Screenshots of the window in all three languages for the README, under Xvfb
# with the CJK font installed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh tcal-screenshots
xvfb-run -a -s "-screen 0 1280x900x24" build/tools/tcal-screenshots docs/screenshots
