#!/usr/bin/env bash
# The capture goals, each measured against the built program:
#   - capture throughput of this build beside a baseline build's, measured in
#     the same run (bench_capture of each, in turn, on the same sizes);
#   - 20 clients sending 64 MiB at once: every report audited byte for byte,
#     peak resident memory under 1 GiB;
#   - 8 clients sending 64 MiB of bare line feeds at once: the same;
#   - IdleTimeout=3 and 256 connections left silent after a partial report:
#     a real sender's report audited within 10 s, every partial one kept.
#
#   bench/goals.sh [--build DIR] [--baseline DIR] [--repeat N]
#
# --build is the build folder of this version (default build-bench, built
# when out of date); --baseline the build folder of the version to compare
# with (its bench/bench_capture; the throughput row is skipped without it).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-bench
baseline=
repeat=3
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=${2:?}; shift ;;
    --baseline) baseline=${2:?}; shift ;;
    --repeat) repeat=${2:?}; shift ;;
    *) echo "usage: $0 [--build DIR] [--baseline DIR] [--repeat N]" >&2; exit 2 ;;
  esac
  shift
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLBOX_TESTS=OFF
fi
cmake --build "$build" -j2 --target bench_capture load_test quillbox

status=0
if [ -n "$baseline" ]; then
  # The machine may be shared: the builds take turns, three rounds each, and
  # the fastest round of each counts.
  echo "Capture throughput (MiB/s; each figure the fastest of $repeat runs; the builds in turn):"
  printf '%-10s %8s %8s %8s %8s\n' build 1 8 32 64
  rows=$(mktemp)
  for round in 1 2 3; do
    for which in baseline this; do
      dir=$build; [ "$which" = baseline ] && dir=$baseline
      "$dir/bench/bench_capture" --csv --repeat "$repeat" 1 8 32 64 2>/dev/null |
        awk -F, -v name="$which" 'NR > 1 { rate[NR] = $1 / $5 } END {
          printf "%-10s", name; for (i = 2; i <= NR; i++) printf " %8.0f", rate[i]; printf "\n" }' | tee -a "$rows"
    done
  done
  awk '{ for (i = 2; i <= NF; i++) if ($i > best[$1, i]) best[$1, i] = $i; names[$1] = 1 }
       END { for (n in names) { printf "best %-5s", n; for (i = 2; i <= 5; i++) printf " %8.0f", best[n, i]; printf "\n" } }' \
    "$rows" | sort
  rm -f "$rows"
  echo
fi

run_load() {
  echo "load_test $*"
  "$build/bench/load_test" "$build/quillbox" --quiet --reports 0 --slow 0 --big-mib 0 --held 0 "$@" || status=1
  echo
}
run_load --burst 20 --burst-mib 64
run_load --burst 8 --burst-mib 64 --bare
run_load --silent 256 --idle-timeout 3
exit "$status"
