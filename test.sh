#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite, several
# tests at a time (scripts/test-jobs.sh).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
jobs=$(scripts/test-jobs.sh)
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j "$jobs" "$@"
