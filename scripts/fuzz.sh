#!/usr/bin/env bash
# Runs every libFuzzer target of tests/fuzz from its committed seed corpus for
# a bounded time each (default 60 s), on the build scripts/sanitize.sh made (it
# builds the targets when missing). New inputs go to a scratch corpus, not into
# the repository; a crash, a sanitizer report or a broken property fails the
# run and leaves the reproducer in build-sanitize/fuzz-artifacts/.
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
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DTCAL_SANITIZE=address,undefined -DTCAL_FUZZ=ON >/dev/null
fi
cmake --build build-sanitize --parallel "$(nproc)" --target "${targets[@]}"

artifacts=$PWD/build-sanitize/fuzz-artifacts
mkdir -p "$artifacts"
failed=()
summary=()
for t in "${targets[@]}"; do
  scratch=$(mktemp -d)
  # The file readers hand Qt's JSON parser text that is not JSON, where Qt
  # leaks (tests/sanitizer/lsan.supp): their allocation stacks are unwound
  # through Qt, which keeps no frame pointers, so that the suppression sees
  # Qt's frame. That costs time, so only there.
  dict=() options=$ASAN_OPTIONS
  case "$t" in
    fuzz_config_file|fuzz_record_file|fuzz_instrument_files)
      dict=(-dict=tests/fuzz/json.dict) options="$ASAN_OPTIONS:fast_unwind_on_malloc=0" ;;
  esac
  log=$artifacts/$t.log
  echo "== $t: $seconds s"
  if ASAN_OPTIONS=$options QT_QPA_PLATFORM=offscreen build-sanitize/tests/fuzz/"$t" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$t-" "${dict[@]}" \
       "$scratch" "tests/fuzz/corpus/$t" > "$log" 2>&1; then
    result=passed
  else
    result=FAILED
    failed+=("$t")
    tail -40 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  summary+=("$t: ${runs:-?} executions in $seconds s, $(ls "$scratch" | wc -l) inputs kept, $result")
  rm -rf "$scratch"
done
printf '%s\n' "${summary[@]}"
echo "fuzzing: $(( ${#targets[@]} - ${#failed[@]} )) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
