#!/usr/bin/env bash
# Runs every libFuzzer target of tests/fuzz from its committed seed corpus for
# a bounded time each (default 60 s), as many at once as there are cores, on
# the build scripts/sanitize.sh made (it builds the targets when missing). New
# inputs go to a scratch corpus, not into the repository; a crash, a sanitizer
# report or a broken property fails the run and leaves the reproducer in
# build-sanitize/fuzz-artifacts/.
#
#   scripts/fuzz.sh [SECONDS [TARGET...]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_config_file fuzz_record_file fuzz_replies fuzz_simulator fuzz_cli_arguments fuzz_instrument_files)

scripts/install-deps.sh --checks
source scripts/sanitizer-env.sh
if [ ! -f build-sanitize/CMakeCache.txt ]; then
  generator=()
  ! command -v ninja >/dev/null || generator=(-G Ninja)
  cmake -S . -B build-sanitize "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DTCAL_SANITIZE=address,undefined -DTCAL_FUZZ=ON >/dev/null
fi
cmake --build build-sanitize --parallel "$(nproc)" --target "${targets[@]}"

artifacts=$PWD/build-sanitize/fuzz-artifacts
mkdir -p "$artifacts"

# One target for its time; its result line goes to $artifacts/TARGET.result.
fuzz_one() {
  local t=$1 scratch result runs
  scratch=$(mktemp -d)
  # The file readers hand Qt's JSON parser text that is not JSON, where Qt
  # leaks (tests/sanitizer/lsan.supp): their allocation stacks are unwound
  # through Qt, which keeps no frame pointers, so that the suppression sees
  # Qt's frame. That costs time, so only there.
  local dict=() options=$ASAN_OPTIONS
  case "$t" in
    fuzz_config_file|fuzz_record_file|fuzz_instrument_files)
      dict=(-dict=tests/fuzz/json.dict) options="$ASAN_OPTIONS:fast_unwind_on_malloc=0" ;;
  esac
  local log=$artifacts/$t.log
  if ASAN_OPTIONS=$options QT_QPA_PLATFORM=offscreen build-sanitize/tests/fuzz/"$t" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$t-" "${dict[@]}" \
       "$scratch" "tests/fuzz/corpus/$t" > "$log" 2>&1; then
    result=passed
  else
    result=FAILED
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "$t: ${runs:-?} executions in $seconds s, $(ls "$scratch" | wc -l) inputs kept, $result" > "$artifacts/$t.result"
  rm -rf "$scratch"
}

# Each target runs on a core of its own for its whole time: as many at once
# as there are cores (TCAL_FUZZ_JOBS to change it).
jobs=${TCAL_FUZZ_JOBS:-$(nproc)}
running=0
for t in "${targets[@]}"; do
  rm -f "$artifacts/$t.result"
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "== $t: $seconds s"
  fuzz_one "$t" &
  running=$((running + 1))
done
wait

failed=()
for t in "${targets[@]}"; do
  if [ ! -f "$artifacts/$t.result" ] || ! grep -q ', passed$' "$artifacts/$t.result"; then
    failed+=("$t")
    echo "== $t failed:"
    tail -40 "$artifacts/$t.log"
  fi
done
for t in "${targets[@]}"; do cat "$artifacts/$t.result" 2>/dev/null || echo "$t: no result"; done
echo "fuzzing: $(( ${#targets[@]} - ${#failed[@]} )) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
