#!/usr/bin/env bash
# etherm-sweep on 16 cases of the DC diode example (its thermal resistance from 10 to 40 K/W):
# the sweep's wall time on 1 and on 2 jobs, the speed-up, and the sweep's own cost beside the
# cases' run time (the same 16 runs of etherm-batch, one thread each as in the sweep, one after
# another in a plain loop), plus prepare and gather; and the sweep alone, with a program that
# does nothing in place of etherm-batch. Twice: the example as it is (7 sweep points, a case of a fraction of a second)
# and with steps of 0.01 V (701 points, a case of seconds).
# BUILD names the build folder (default build/release). BEFORE=path/to/an/older/etherm-sweep
# runs that one beside it on the example as it is, in the same hyperfine run (its cases draw
# their plots, so its plain loop does too).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${BUILD:-build/release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DETHERM_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target etherm-batch etherm-sim etherm-sweep >/dev/null
bin=$root/$build/bin
before=${BEFORE:+$(realpath "$BEFORE")}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/etherm-sweep-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
cp "$root/examples/diode_dc/diode_dc.par" "$root/examples/diode_dc/diode_dc.cir" .
export ETHERM_BATCH=$bin/etherm-batch
runs=${RUNS:-3}
# The machine is shared and its load drifts over minutes: every command runs once a round, the
# rounds one after another, and the medians are taken over the rounds.
rounds() {
  local out=$1
  shift
  for i in $(seq "$runs"); do
    hyperfine --runs 1 --export-json "$out.$i.json" --prepare "$fresh" "$@" >/dev/null 2>&1
  done
}
fresh="rm -rf cases && $bin/etherm-sweep prepare cases.csv diode_dc"
loop() { echo "for d in cases/*/; do (cd \"\$d\" && OMP_NUM_THREADS=1 $bin/etherm-batch dc $1 diode_dc >/dev/null 2>&1); done"; }
# The table of cases; $1: the sweep step, or nothing for the example's own.
table() {
  if [ -n "$1" ]; then echo "case,rth:DPWR,step"; else echo "case,rth:DPWR"; fi > cases.csv
  for r in $(seq 10 2 40); do echo "r$r,$r${1:+,$1}"; done >> cases.csv
}

table ""
commands=(
  -n "1 job" "$bin/etherm-sweep run --jobs 1 dc diode_dc"
  -n "2 jobs" "$bin/etherm-sweep run --jobs 2 dc diode_dc"
  -n "plain loop" "$(loop --no-plot)"
  -n "no-op batch" "env ETHERM_BATCH=/bin/true $bin/etherm-sweep run --jobs 1 dc diode_dc")
if [ -n "$before" ]; then
  commands+=(
    -n "1 job, before" "$before run --jobs 1 dc diode_dc"
    -n "2 jobs, before" "$before run --jobs 2 dc diode_dc"
    -n "plain loop, before" "$(loop "")"
    -n "no-op batch, before" "env ETHERM_BATCH=/bin/true $before run --jobs 1 dc diode_dc")
fi
uptime
rounds short "${commands[@]}"
eval "$fresh" >/dev/null
"$bin/etherm-sweep" run dc diode_dc >/dev/null
hyperfine --runs 10 --export-json steps.json \
  -n prepare --prepare "rm -rf cases.new && mkdir -p cases.new" \
  "cd cases.new && cp ../cases.csv ../diode_dc.par ../diode_dc.cir . && $bin/etherm-sweep prepare cases.csv diode_dc" \
  -n gather "$bin/etherm-sweep gather diode_dc" >/dev/null
uptime
table 0.01
rounds long \
  -n "1 job" "$bin/etherm-sweep run --jobs 1 dc diode_dc" \
  -n "2 jobs" "$bin/etherm-sweep run --jobs 2 dc diode_dc" \
  -n "plain loop" "$(loop --no-plot)"
uptime

python3 - "$runs" <<'PY'
import json, statistics, sys
runs = int(sys.argv[1])
def load(name):
    return {x["command"]: x for x in json.load(open(name))["results"]}
def rounds(name):
    times = {}
    for i in range(1, runs + 1):
        for command, x in load(f"{name}.{i}.json").items():
            times.setdefault(command, []).extend(x["times"])
    return {c: {"median": statistics.median(t)} for c, t in times.items()}
short, long_, steps = rounds("short"), rounds("long"), load("steps.json")
columns = [("7 points", short, "")]
if "1 job, before" in short:
    columns.append(("7 points, before", short, ", before"))
columns.append(("701 points", long_, ""))
def median(r, name):
    return r[name]["median"] if name in r else None
def cell(v, fmt):
    return "" if v is None else format(v, fmt)
print("| 16 cases | " + " | ".join(c[0] for c in columns) + " |")
print("|---|" + "---|" * len(columns))
def row(label, f, fmt):
    print(f"| {label} | " + " | ".join(cell(f(r, v), fmt) for _, r, v in columns) + " |")
row("`run --jobs 1` (s)", lambda r, v: median(r, "1 job" + v), ".2f")
row("`run --jobs 2` (s)", lambda r, v: median(r, "2 jobs" + v), ".2f")
row("the same runs in a plain loop (s)", lambda r, v: median(r, "plain loop" + v), ".2f")
row("`run --jobs 1`, `/bin/true` as etherm-batch (s)",
    lambda r, v: median(r, "no-op batch" + v), ".2f")
row("speed-up on 2 jobs", lambda r, v: median(r, "1 job" + v) / median(r, "2 jobs" + v), ".2f")
row("sweep's cost over the plain loop, a case (ms)",
    lambda r, v: (median(r, "1 job" + v) - median(r, "plain loop" + v)) / 16 * 1000, ".0f")
row("sweep's cost over the plain loop (%)",
    lambda r, v: (median(r, "1 job" + v) / median(r, "plain loop" + v) - 1) * 100, ".1f")
row("the sweep alone, a case (ms)",
    lambda r, v: None if "no-op batch" + v not in r else median(r, "no-op batch" + v) / 16 * 1000,
    ".0f")
print()
print(f"`prepare` (16 cases) {steps['prepare']['median']:.3f} s, `gather` (16 cases, with the "
      f"plot) {steps['gather']['median']:.3f} s")
PY
