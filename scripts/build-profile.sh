#!/usr/bin/env bash
# Where a build from nothing spends its time: builds into a new directory
# without ccache, every compile and link through a launcher that notes its CPU
# seconds (user + system: what other work on the machine does not inflate),
# and prints them summed by kind, then the twenty dearest steps.
#
#   scripts/build-profile.sh [DIR [cmake options]]    DIR: build-profile/
#   scripts/build-profile.sh --report DIR             the summary of a profiled build again
#
# A step the launcher cannot see (moc, uic and rcc runs, cmake's own steps) is
# counted from Ninja's log, in wall seconds.
set -euo pipefail
if [ "${1:-}" = --step ]; then
  # The launcher: --step LOG COMMAND...
  log=$2
  shift 2
  out=?
  for ((i = 1; i <= $#; i++)); do
    if [ "${!i}" = -o ]; then j=$((i + 1)); out=${!j}; fi
  done
  times=$(mktemp)
  status=0
  /usr/bin/time -f '%U %S' -o "$times" "$@" || status=$?
  read -r user sys < <(tail -1 "$times")
  rm -f "$times"
  printf '%s %s\n' "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')" "$out" >> "$log"
  exit $status
fi

report() {
  local dir=$1
  awk '
    function kind(f) {
      if (f ~ /cmake_pch\.hxx\.(gch|pch)$/) return "precompiled headers"
      if (f ~ /\.(o|obj)$/) {
        if (f ~ /mocs_compilation|moc_|\.moc\.|qrc_/) return "compile: moc and rcc output"
        if (f ~ /tests\/fuzz\//) return "compile: fuzz targets"
        if (f ~ /tests\/|tools\//) return "compile: tests and tools"
        return "compile: libraries and programs"
      }
      if (f ~ /\.(so|a)$/) return "link: libraries"
      if (f ~ /tests\/|tools\//) return "link: tests and tools"
      return "link: programs"
    }
    { cpu[kind($2)] += $1; n[kind($2)]++; total += $1 }
    END {
      for (k in cpu) printf "%8.1f s CPU  %4d steps  %s\n", cpu[k], n[k], k | "sort -rn"
      close("sort -rn")
      printf "%8.1f s CPU  total of compiles and links\n", total
    }' "$dir/step-times.log"
  if [ -f "$dir/.ninja_log" ]; then
    awk -F'\t' 'NR > 1 && $4 ~ /_autogen\/(timestamp|mocs_compilation)|autogen|qrc_|ui_/ && $4 !~ /\.o$/ {
                  w += ($2 - $1) / 1000 } END { printf "%8.1f s wall moc, uic and rcc runs (Ninja log)\n", w }' \
      "$dir/.ninja_log"
  fi
  echo "Dearest steps (CPU s):"
  sort -rn "$dir/step-times.log" | head -20 | sed "s#$PWD/##; s#^#  #"
}

cd "$(dirname "$0")/.."
if [ "${1:-}" = --report ]; then
  report "$2"
  exit 0
fi
dir=${1:-build-profile}
shift || true
rm -rf "$dir"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
launcher="$PWD/scripts/build-profile.sh;--step;$dir/step-times.log"
generator=()
! command -v ninja >/dev/null || generator=(-G Ninja)
CCACHE_DISABLE=1 cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTCAL_CCACHE=OFF \
  -DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" \
  -DCMAKE_C_LINKER_LAUNCHER="$launcher" -DCMAKE_CXX_LINKER_LAUNCHER="$launcher" "$@" >/dev/null
start=$SECONDS
CCACHE_DISABLE=1 cmake --build "$dir" --parallel "$(nproc)" >/dev/null
echo "Built in $((SECONDS - start)) s wall (load average before and after: see uptime)."
uptime
report "$dir"
