#!/usr/bin/env bash
# Builds the checked variant into build-sanitize/ (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, libFuzzer targets) and runs the unit and
# end-to-end tests under it. Any sanitizer report, in a test or in a program a
# test starts (tcal-sim, tcal-cli), fails the run.
#
#   scripts/sanitize.sh [ctest options]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --checks
source scripts/sanitizer-env.sh
generator=()
[ -f build-sanitize/CMakeCache.txt ] || ! command -v ninja >/dev/null || generator=(-G Ninja)
cmake -S . -B build-sanitize "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DTCAL_SANITIZE=address,undefined -DTCAL_FUZZ=ON >/dev/null
# Each test's executable has the test's name, before the shard's "/"; the
# package check is left to the plain builds.
mapfile -t targets < <(ctest --test-dir build-sanitize -LE package -N 2>/dev/null \
  | sed -n 's/^ *Test *#[0-9]*: *//p' | sed 's#/.*##' | sort -u)
# Only the tests that are programs of their own (check_sources is a script).
mapfile -t programs < <(ninja -C build-sanitize -t targets all 2>/dev/null | sed -n 's/^\([^:]*\): phony$/\1/p')
mapfile -t targets < <(comm -12 <(printf '%s\n' "${targets[@]}") <(printf '%s\n' "${programs[@]}" | sort -u))
cmake --build build-sanitize --parallel "$(nproc)" --target tcal-sim tcal-cli "${targets[@]}"

reports=$(mktemp -d)
export ASAN_OPTIONS="$ASAN_OPTIONS:log_path=$reports/asan"
export UBSAN_OPTIONS="$UBSAN_OPTIONS:log_path=$reports/ubsan"
# Half of the plain suite's tests at once: a test under the sanitizers takes
# two to three times the CPU (docs/checks.md).
jobs=$(( $(scripts/test-jobs.sh) / 2 ))
status=0
(cd build-sanitize && QT_QPA_PLATFORM=offscreen ctest -LE package --output-on-failure \
   --timeout 900 -j "$jobs" "$@") || status=$?
# A batch runs each unit's steps on a stack of its own, switched with ASan's
# fiber annotations; ASan still notes its first swapcontext once a process.
# A log holding that notice alone is no report.
for report in "$reports"/*; do
  [ -e "$report" ] || continue
  grep -q -v -E "^==[0-9]+==WARNING: ASan doesn't fully support makecontext/swapcontext functions" "$report" \
    || rm -f "$report"
done
if compgen -G "$reports/*" >/dev/null; then
  echo "Sanitizer reports:" >&2
  cat "$reports"/* >&2
  status=1
fi
rm -rf "$reports"
exit $status
