#!/usr/bin/env bash
# Runs one shard of a QtTest binary, so that a long test becomes several CTest
# entries that run side by side. The shards are worked out from the binary
# itself when the test runs: every test function, and every data row of a
# data-driven function, is a unit; unit k belongs to shard k mod N. A function
# added later therefore lands in some shard without anything to register.
#
#   shard.sh run   BINARY I N [QtTest options]   run shard I (0-based) of N
#   shard.sh list  BINARY I N                    print the units of shard I
#   shard.sh check BINARY N                      every unit in exactly one shard, and
#                                                the check fails with a shard left out
#   shard.sh check-drop BINARY N                 the latter alone
set -euo pipefail

# Every unit of the binary, one a line: "function" or "function:row".
units() {
  local binary=$1 functions tags
  functions=$("$binary" -functions | sed -n 's/^\([A-Za-z_][A-Za-z0-9_]*\)()$/\1/p')
  [ -n "$functions" ] || { echo "shard.sh: $binary lists no test function" >&2; return 1; }
  tags=$("$binary" -datatags)
  local fn rows
  while IFS= read -r fn; do
    # "Class function row..."; a function without rows, or with global data
    # (listed with __global__), runs whole.
    rows=$(awk -v fn="$fn" '$2 == fn && NF > 2 { sub(/^[^ ]+ [^ ]+ /, ""); print }' <<< "$tags")
    if [ -z "$rows" ] || grep -q '__global__' <<< "$rows" || [ "$(sort <<< "$rows" | uniq -d)" != "" ]; then
      echo "$fn"
    else
      sed "s/^/$fn:/" <<< "$rows"
    fi
  done <<< "$functions"
}

shard_units() {
  local binary=$1 index=$2 count=$3
  units "$binary" | awk -v i="$index" -v n="$count" '(NR - 1) % n == i'
}

# Fails unless the shards 0..N-1 (or those named in SHARDS) together hold
# every unit exactly once and every function of the binary.
check() {
  local binary=$1 count=$2 all union functions covered missing
  shift 2
  local shards=("$@")
  [ ${#shards[@]} -gt 0 ] || shards=($(seq 0 $((count - 1))))
  all=$(units "$binary" | sort)
  union=$(for i in "${shards[@]}"; do shard_units "$binary" "$i" "$count"; done | sort)
  functions=$("$binary" -functions | sed -n 's/^\([A-Za-z_][A-Za-z0-9_]*\)()$/\1/p' | sort)
  covered=$(sed 's/:.*//' <<< "$union" | sort -u)
  missing=$(comm -23 <(echo "$functions") <(echo "$covered"))
  local name
  name=$(basename "$binary")
  if [ "$all" != "$union" ] || [ -n "$missing" ]; then
    echo "$name: the $count shards do not cover the binary" >&2
    comm -3 <(echo "$all") <(echo "$union") | sed 's/^/  unit: /' >&2
    [ -z "$missing" ] || sed 's/^/  function left out: /' <<< "$missing" >&2
    return 1
  fi
  echo "$name: $(wc -l <<< "$functions") function(s), $(wc -l <<< "$all") units in $count shards, none left out, none twice"
}

mode=${1:-}
case "$mode" in
  run)
    binary=$2 index=$3 count=$4
    shift 4
    mapfile -t selected < <(shard_units "$binary" "$index" "$count")
    if [ ${#selected[@]} -eq 0 ]; then
      echo "shard $index of $count of $(basename "$binary"): no unit falls here"
      exit 0
    fi
    echo "shard $index of $count: ${selected[*]}"
    exec "$binary" "$@" "${selected[@]}"
    ;;
  list)
    shard_units "$2" "$3" "$4"
    ;;
  check)
    check "$2" "$3"
    # The check itself is checked: with the last shard left out it must fail.
    "$0" check-drop "$2" "$3"
    ;;
  check-drop)
    binary=$2 count=$3
    if check "$binary" "$count" $(seq 0 $((count - 2))) 2>/dev/null; then
      echo "$(basename "$binary"): the check passed with shard $((count - 1)) left out" >&2
      exit 1
    fi
    echo "$(basename "$binary"): the check fails with shard $((count - 1)) left out, as it must"
    ;;
  *)
    sed -n '2,14p' "$0" >&2
    exit 2
    ;;
esac
