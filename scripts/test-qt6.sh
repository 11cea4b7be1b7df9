#!/usr/bin/env bash
# Builds the Qt 6 variant into build-qt6/ and runs its unit tests (ctest label
# "unit": pure logic, the form and the window alone; the end-to-end suite runs
# against the Qt 5 build in ./test.sh) and the install and package check.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --qt6
generator=()
[ -f build-qt6/CMakeCache.txt ] || ! command -v ninja >/dev/null || generator=(-G Ninja)
cmake -S . -B build-qt6 "${generator[@]}" -DTCAL_QT_VERSION=6 -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
# Each test's executable has the test's name, before the shard's "/".
mapfile -t targets < <(ctest --test-dir build-qt6 -L unit -N 2>/dev/null \
  | sed -n 's/^ *Test *#[0-9]*: *//p' | sed 's#/.*##' | sort -u)
cmake --build build-qt6 --parallel "$(nproc)" --target tcal tcal-sim tcal-cli "${targets[@]}"
cd build-qt6
QT_QPA_PLATFORM=offscreen ctest -L "unit|package" --output-on-failure --timeout 300 -j "$(../scripts/test-jobs.sh)" "$@"
