#!/usr/bin/env bash
# Builds the fuzz targets with clang (in build-fuzz, configured if needed) and
# runs each for a bounded time on a copy of its checked-in corpus.
#   fuzz/run.sh [seconds-per-target]     default 20
# Exits non-zero when a target fails; its log tail is printed and the input
# that made it fail is kept in build-fuzz/fuzz-artifacts/.
# QUILLBOX_FUZZ_BUILD overrides the build folder, QUILLBOX_FUZZ_JOBS the
# number of build jobs (default 2). QUILLBOX_FUZZ_RUNS=N makes a run
# repeatable: each target then runs N inputs from a fixed seed
# (QUILLBOX_FUZZ_SEED, default 1), still stopped by the time limit.
set -euo pipefail

seconds=${1:-20}
case "$seconds" in
  '' | *[!0-9]*) echo "usage: $0 [seconds-per-target]" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLBOX_FUZZ_BUILD:-$root/build-fuzz}
jobs=${QUILLBOX_FUZZ_JOBS:-2}
targets=(fuzz_assembler fuzz_profile_parse fuzz_profile_write fuzz_linefilter fuzz_listfile fuzz_printchannel
  fuzz_escpos fuzz_pcl fuzz_textdecode)

if [ -f "$build/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang' "$build/CMakeCache.txt"; then
  echo "$build was configured without clang; remove it or set QUILLBOX_FUZZ_BUILD" >&2
  exit 2
fi
if ! grep -qs '^QUILLBOX_FUZZ:BOOL=ON' "$build/CMakeCache.txt"; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLBOX_FUZZ=ON -DQUILLBOX_TESTS=OFF -DQUILLBOX_BENCH=OFF
fi
cmake --build "$build" -j"$jobs" --target quillbox_fuzz

work=$(mktemp -d "${TMPDIR:-/tmp}/quillbox-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"

limits=(-max_total_time="$seconds")
if [ -n "${QUILLBOX_FUZZ_RUNS:-}" ]; then
  limits+=(-runs="$QUILLBOX_FUZZ_RUNS" -seed="${QUILLBOX_FUZZ_SEED:-1}")
fi

failed=()
for t in "${targets[@]}"; do
  # The checked-in corpus stays as it is; new inputs go to the copy.
  cp -r "$root/fuzz/corpus/$t" "$work/$t"
  echo "== $t: ${seconds}s"
  if "$build/fuzz/$t" "${limits[@]}" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$t-" "$work/$t" >"$work/$t.log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units)' "$work/$t.log" || true
  else
    failed+=("$t")
    echo "!! $t failed; inputs kept in $artifacts" >&2
    tail -n 40 "$work/$t.log" >&2
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz targets failed: ${failed[*]}" >&2
  exit 1
fi
echo "all fuzz targets ran without a finding"
