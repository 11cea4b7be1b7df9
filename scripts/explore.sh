#!/usr/bin/env bash
# The full exploration of the store path: every procedure, every fault at every
# request, and seeded pairs of faults. The procedures run side by side, each with
# its own simulator: a run mostly waits on the line, so this takes about the time
# of the longest procedure. Arguments go to each run (--seed N, --pairs N).
#
#   scripts/explore.sh                 everything, TCAL_EXPLORE_JOBS at once (default 4)
#   scripts/explore.sh --seed 7        other pairs
set -euo pipefail
cd "$(dirname "$0")/.."
explorer=${TCAL_EXPLORER:-build/tests/explore_store_path}
jobs=${TCAL_EXPLORE_JOBS:-4}
export QT_QPA_PLATFORM=offscreen
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

mapfile -t procedures < <("$explorer" --list)
[ ${#procedures[@]} -gt 0 ] || { echo "the explorer lists no procedure" >&2; exit 2; }
# The run events (window closed, a modal box, a second run) at every step of a
# single and a batch run, in four shards beside the procedures.
run_shards=4
for ((i = 0; i < run_shards; i++)); do
    "$explorer" --runs --shard "$i/$run_shards" > "$out/runs-$i.log" 2>&1 &
    run_pids[$i]=$!
done
printf '%s\n' "${procedures[@]}" |
    xargs -P "$jobs" -I{} bash -c '"$1" --only "$2" "${@:3}" > "$0/$2.log" 2>&1; echo $? > "$0/$2.rc"' "$out" "$explorer" {} "$@" || true

runs=0 violations=0 steps=0 failed=0
for p in "${procedures[@]}"; do
    grep -h '^VIOLATION' "$out/$p.log" 2>/dev/null || true
    last=$(grep '^explored ' "$out/$p.log" 2>/dev/null | tail -n 1 || true)
    if [ -z "$last" ] || [ "$(cat "$out/$p.rc" 2>/dev/null)" != 0 ]; then
        echo "$p: did not finish cleanly"; tail -n 5 "$out/$p.log" 2>/dev/null || true; failed=1
    fi
    printf '%-13s %s\n' "$p" "$last"
    s=$(sed -n 's/.* x \([0-9]*\) steps x.*/\1/p' <<<"$last")
    r=$(sed -n 's/.*: \([0-9]*\) runs,.*/\1/p' <<<"$last")
    v=$(sed -n 's/.* runs, \([0-9]*\) violations.*/\1/p' <<<"$last")
    steps=$((steps + ${s:-0})) runs=$((runs + ${r:-0})) violations=$((violations + ${v:-0}))
done
echo "explored ${#procedures[@]} procedures x $steps steps: $runs runs, $violations violations"
event_runs=0 event_violations=0
for ((i = 0; i < run_shards; i++)); do
    wait "${run_pids[$i]}" || failed=1
    grep -h '^VIOLATION' "$out/runs-$i.log" || true
    last=$(grep '^explored a single' "$out/runs-$i.log" | tail -n 1 || true)
    [ -n "$last" ] || { echo "run events $i/$run_shards: did not finish cleanly"; tail -n 5 "$out/runs-$i.log"; failed=1; }
    echo "run events $i/$run_shards: $last"
    r=$(sed -n 's/.*): \([0-9]*\) runs,.*/\1/p' <<<"$last")
    v=$(sed -n 's/.* runs, \([0-9]*\) violations.*/\1/p' <<<"$last")
    event_runs=$((event_runs + ${r:-0})) event_violations=$((event_violations + ${v:-0}))
done
echo "explored the run events at every step: $event_runs runs, $event_violations violations"
violations=$((violations + event_violations))
[ "$failed" -eq 0 ] && [ "$violations" -eq 0 ]
