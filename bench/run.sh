#!/usr/bin/env bash
# Every capture speed figure in one table, each beside its baselines measured
# in the same run, and the throughput plot.
#
#   bench/run.sh [--with-load] [--with-goals [--baseline DIR]] [--repeat N] [--sizes "1 2 4 ..."]
#
# Builds bench_capture and quillbox in build-bench (RelWithDebInfo) when they
# are out of date, sends reports of 1 to 64 MiB through them (beside a bare
# recv loop, nc -l and QPlainTextEdit::setPlainText of the same text), then 12
# reports of 32 MiB while display is held, then one 64 MiB report to the built
# program to measure its memory (this waits a minute for its about box),
# prints the table with the goals marked met or not met and writes it to
# docs/bench.txt, and plots throughput against report size into
# docs/throughput.png (python3 with matplotlib; installed through apt-get when
# missing).
#   --with-load   afterwards run the full load and fault test
#                 (build-bench/bench/load_test, when it is built); it takes long
#   --with-goals  afterwards run bench/goals.sh (bursts of large reports,
#                 silent connections; with --baseline DIR also the capture
#                 throughput beside that build's bench_capture)
#   --repeat N    every figure is the fastest of N runs (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-bench
with_load=0
with_goals=0
baseline=
repeat=5
sizes="1 2 4 8 16 32 64"
while [ $# -gt 0 ]; do
  case "$1" in
    --with-load) with_load=1 ;;
    --with-goals) with_goals=1 ;;
    --baseline) baseline=${2:?--baseline needs a build folder}; shift ;;
    --repeat) repeat=${2:?--repeat needs a number}; shift ;;
    --sizes) sizes=${2:?--sizes needs a list}; shift ;;
    -h|--help) sed -n '2,22s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "usage: $0 [--with-load] [--with-goals [--baseline DIR]] [--repeat N] [--sizes \"1 2 4 ...\"]" >&2; exit 2 ;;
  esac
  shift
done

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Debian's interpreter carries the Debian matplotlib package; a python3 found
# first on PATH (a virtual environment, say) may not.
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3)
if ! "$python" -c 'import matplotlib' 2>/dev/null; then
  echo "Installing python3-matplotlib for the plot..." >&2
  as_root apt-get update
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y --no-install-recommends python3-matplotlib
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLBOX_TESTS=OFF
fi
cmake --build "$build" -j2 --target bench_capture quillbox

mkdir -p docs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

load=$(cut -d' ' -f1-3 /proc/loadavg)
# shellcheck disable=SC2086  # sizes is a list of words
"$build/bench/bench_capture" --csv --repeat "$repeat" $sizes > "$work/bench.csv"
"$build/bench/bench_capture" --held --csv --repeat "$repeat" > "$work/held.csv"
"$build/bench/bench_capture" --held-filtered --csv > "$work/filtered.csv"
"$build/bench/bench_capture" --memory "$build/quillbox" --csv > "$work/memory.csv"

"$python" - "$work/bench.csv" docs/bench.txt docs/throughput.png "$repeat" "$load" "$work/held.csv" \
  "$work/memory.csv" "$work/filtered.csv" <<'EOF'
import csv, os, sys, datetime

csv_path, table_path, plot_path, repeat, load, held_path, memory_path, filtered_path = sys.argv[1:9]
rows = list(csv.DictReader(open(csv_path)))
if not rows:
    sys.exit("bench_capture produced no figures")

def num(text):
    return float(text) if text else None

def rate(mib, seconds):
    return mib / seconds if seconds else None

def cell(mib, seconds):
    if seconds is None:
        return f"{'-':>7} {'-':>7}"
    return f"{seconds:7.3f} {rate(mib, seconds):7.0f}"

by_size = {}
for r in rows:
    mib = int(r["mib"])
    by_size[mib] = {k: num(r[k]) for k in ("bare_s", "nc_s", "capture_s", "screen_s", "close_s", "plain_s")}

out = []
out.append(f"Quillbox capture benchmark, {datetime.date.today().isoformat()}: reports of 80-character lines")
out.append(f"sent on 127.0.0.1; each figure the fastest of {repeat} runs; {os.cpu_count()} CPUs,")
out.append(f"load average {load} at the start (the machine is shared, figures are noisy).")
out.append("")
out.append(f"{'':>5} | {'bare recv':^15} | {'nc -l > file':^15} | {'Quillbox capture':^15} | "
           f"{'Quillbox screen':^15} | {'close':>7} | {'setPlainText':^15} | {'capture/':>8}")
out.append(f"{'MiB':>5} | {'s':>7} {'MiB/s':>7} | {'s':>7} {'MiB/s':>7} | {'s':>7} {'MiB/s':>7} | "
           f"{'s':>7} {'MiB/s':>7} | {'s':>7} | {'s':>7} {'MiB/s':>7} | {'bare':>8}")
out.append("-" * len(out[-1]))
for mib, f in sorted(by_size.items()):
    ratio = f["bare_s"] / f["capture_s"]
    out.append(f"{mib:>5} | {cell(mib, f['bare_s'])} | {cell(mib, f['nc_s'])} | {cell(mib, f['capture_s'])} | "
               f"{cell(mib, f['screen_s'])} | {f['close_s']:7.3f} | {cell(mib, f['plain_s'])} | {ratio:8.2f}")
out.append("")
out.append("capture = listener reception and line assembly, no window; screen = first byte sent to the")
out.append("report standing in the text area (the report view, painted); close = client's close to the")
out.append("report on screen; setPlainText = QPlainTextEdit::setPlainText of the same text, alone (the")
out.append("baseline for the text area); capture/bare = capture throughput divided by bare recv throughput.")
out.append("")

held = list(csv.DictReader(open(held_path)))
held = {k: float(v) for k, v in held[0].items()} if held else None
if held:
    out.append(f"Held display: {int(held['reports'])} reports of {int(held['mib'])} MiB finish while display is held, "
               "then it is released")
    out.append(f"(auditing on; {int(held['waiting'])} waited at the release, the rest in the network).")
    out.append(f"  release to the last one shown and audited        {held['release_s']:7.3f} s")
    out.append(f"  release to those that waited shown and audited   {held['drain_s']:7.3f} s")
    out.append(f"  writing the same {int(held['reports'])} audit files alone             {held['audit_s']:7.3f} s")
    out.append(f"  resident memory idle {held['idle_mib']:.0f} MiB, peak {held['peak_mib']:.0f} MiB (in the benchmark's window)")
    out.append("")

filtered = {r["display"]: r for r in csv.DictReader(open(filtered_path))}
if "held" in filtered and "free" in filtered:
    h, f = filtered["held"], filtered["free"]
    out.append(f"Held display, filtered: {h['reports']} reports of {h['mib']} MiB, one after another, cut to one line")
    out.append("each by the include list (peaks include the sender's copy of one report).")
    out.append(f"  display free: peak {float(f['peak_mib']):.0f} MiB (idle {float(f['idle_mib']):.0f} MiB)")
    out.append(f"  display held: peak {float(h['peak_mib']):.0f} MiB (idle {float(h['idle_mib']):.0f} MiB); "
               f"{h['waiting']} waited, charged {float(h['waiting_kib']):.1f} KiB together")
    if "at-once" in filtered:
        a = filtered["at-once"]
        out.append(f"  the same {a['reports']} sent at once, display held: peak {float(a['peak_mib']):.0f} MiB "
                   "(reports being received count there too)")
    out.append("")

memory = list(csv.DictReader(open(memory_path)))
memory = {k: float(v) for k, v in memory[0].items()} if memory else None
if memory:
    out.append(f"Memory: the built program (offscreen, auditing on, its window shown) gets one "
               f"{int(memory['mib'])} MiB report.")
    out.append(f"  resident memory idle {memory['idle_mib']:.0f} MiB, peak {memory['peak_mib']:.0f} MiB "
               f"(+{memory['peak_mib'] - memory['idle_mib']:.0f} MiB) until it is shown and audited,")
    out.append(f"  {memory['after_mib']:.0f} MiB once a small report has taken its place")
    out.append("")

goals = []
ratios = {mib: f["bare_s"] / f["capture_s"] for mib, f in by_size.items()}
worst = min(ratios, key=ratios.get)
goals.append(("capture throughput >= 0.6 x bare recv throughput (every size)",
              f"lowest {ratios[worst]:.2f} at {worst} MiB", ratios[worst] >= 0.6))
if 64 in by_size and by_size[64]["plain_s"]:
    c, plain = by_size[64]["close_s"], by_size[64]["plain_s"]
    goals.append(("64 MiB: close to screen <= 0.1 x setPlainText",
                  f"{c:.3f} s <= {0.1 * plain:.3f} s", c <= 0.1 * plain))
else:
    goals.append(("64 MiB: close to screen <= 0.1 x setPlainText", "needs 64 MiB", None))
if 64 in by_size and 8 in by_size:
    r = by_size[64]["screen_s"] / by_size[8]["screen_s"]
    goals.append(("time to screen 64 MiB <= 9 x 8 MiB", f"{r:.2f} x", r <= 9))
else:
    goals.append(("time to screen 64 MiB <= 9 x 8 MiB", "needs 8 and 64 MiB", None))
if 8 in by_size:
    c = by_size[8]["close_s"]
    goals.append(("8 MiB on screen <= 2 s after the client's close", f"{c:.3f} s", c <= 2))
else:
    goals.append(("8 MiB on screen <= 2 s after the client's close", "needs 8 MiB", None))
if memory:
    above = memory["peak_mib"] - memory["idle_mib"]
    goals.append((f"{int(memory['mib'])} MiB shown and audited: peak <= idle + 200 MiB",
                  f"+{above:.0f} MiB over {memory['idle_mib']:.0f}", above <= 200))
else:
    goals.append(("memory row", "not run", None))
if held:
    r = held["release_s"] / held["audit_s"]
    goals.append(("held display: release <= 2 x writing the audit files alone", f"{r:.2f} x", r <= 2))
    goals.append(("held display: peak resident memory < 1 GiB", f"{held['peak_mib']:.0f} MiB",
                  held["peak_mib"] < 1024))
else:
    goals.append(("held display row", "not run", None))
if "held" in filtered:
    peak = float(filtered["held"]["peak_mib"])
    goals.append(("held display, 20 x 64 MiB cut to one line: peak < 300 MiB", f"{peak:.0f} MiB", peak < 300))
out.append("Goals")
width = max(len(g[0]) for g in goals)
value_width = max(len(g[1]) for g in goals)
for label, value, met in goals:
    verdict = "not measured" if met is None else ("met" if met else "NOT MET")
    out.append(f"  {label:<{width}}  {value:>{value_width}}  {verdict}")

text = "\n".join(out) + "\n"
open(table_path, "w").write(text)
sys.stdout.write(text)

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt

sizes = sorted(by_size)
fig, ax = plt.subplots(figsize=(8, 5), dpi=110)
for key, label, style in (("bare_s", "bare recv loop", "o-"), ("nc_s", "nc -l > file", "s-"),
                          ("capture_s", "Quillbox capture (reception + assembly)", "^-"),
                          ("screen_s", "Quillbox to screen", "D-"),
                          ("plain_s", "QPlainTextEdit::setPlainText alone", "x--")):
    points = [(m, m / by_size[m][key]) for m in sizes if by_size[m][key]]
    if points:
        ax.plot([p[0] for p in points], [p[1] for p in points], style, label=label)
ax.set_xscale("log", base=2)
ax.set_yscale("log")
ax.set_xticks(sizes)
ax.set_xticklabels([str(s) for s in sizes])
ax.set_xlabel("report size (MiB, 80-character lines)")
ax.set_ylabel("throughput (MiB/s)")
ax.set_title("Quillbox reception on 127.0.0.1 (first byte to done)")
ax.grid(True, which="both", alpha=0.3)
ax.legend()
fig.tight_layout()
fig.savefig(plot_path)
print(f"\nWrote {table_path} and {plot_path}")
EOF

status=0
if [ "$with_load" -eq 1 ]; then
  # Build the load test too when the build knows it; stay quiet when not.
  if grep -qs 'load_test' bench/CMakeLists.txt; then
    cmake --build "$build" -j2 --target load_test || echo "load test did not build" >&2
  fi
  if [ -x "$build/bench/load_test" ]; then
    echo
    echo "Load and fault test (full size):"
    "$build/bench/load_test" "$build/quillbox" || status=$?
  else
    echo "load test skipped: $build/bench/load_test is not built" >&2
  fi
fi
if [ "$with_goals" -eq 1 ]; then
  echo
  bench/goals.sh --build "$build" ${baseline:+--baseline "$baseline"} || status=$?
fi
exit "$status"
