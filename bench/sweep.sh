#!/usr/bin/env bash
# etherm-sweep on 16 cases of the DC diode example (its thermal resistance from 10 to 40 K/W):
# the sweep's wall time on 1 and on 2 jobs, the speed-up, and the sweep's own cost beside the
# cases' run time (the same 16 runs of etherm-batch one after another in a plain loop, and the
# run times in the job log), plus prepare and gather; and the sweep alone, with a program that
# does nothing in place of etherm-batch.
# BUILD names the build folder (default build/release). BEFORE=path/to/an/older/etherm-sweep
# runs that one beside it in the same hyperfine run (its cases draw their plots, so its plain
# loop does too).
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
{
  echo "case,rth:DPWR"
  for r in $(seq 10 2 40); do echo "r$r,$r"; done
} > cases.csv
runs=${RUNS:-3}
fresh="rm -rf cases && $bin/etherm-sweep prepare cases.csv diode_dc"
loop() { echo "for d in cases/*/; do (cd \"\$d\" && $bin/etherm-batch dc $1 diode_dc >/dev/null 2>&1); done"; }
export ETHERM_BATCH=$bin/etherm-batch
commands=(
  -n "1 job" "$bin/etherm-sweep run --jobs 1 dc diode_dc"
  -n "2 jobs" "$bin/etherm-sweep run --jobs 2 dc diode_dc"
  -n "plain loop" "$(loop --no-plot)"
  -n "no-op batch" "env ETHERM_BATCH=/bin/true $bin/etherm-sweep run --jobs 1 dc diode_dc")
if [ -n "$before" ]; then
  commands+=(
    -n "1 job, before" "$before run --jobs 1 dc diode_dc"
    -n "2 jobs, before" "$before run --jobs 2 dc diode_dc"
    -n "plain loop with plots" "$(loop "")"
    -n "no-op batch, before" "env ETHERM_BATCH=/bin/true $before run --jobs 1 dc diode_dc")
fi
uptime
hyperfine --runs "$runs" --export-json sweep.json --prepare "$fresh" "${commands[@]}" >/dev/null
uptime
# The cases' own run time as the job log has it, from a 1-job sweep.
logged() {
  eval "$fresh" >/dev/null
  "$1" run --jobs 1 dc diode_dc >/dev/null
  awk -F'\t' 'NR > 1 { s += $4 } END { printf "%.3f", s }' cases/joblog
}
loggedNow=$(logged "$bin/etherm-sweep")
loggedBefore=$([ -n "$before" ] && logged "$before" || echo 0)
hyperfine --runs 10 --export-json steps.json \
  -n prepare --prepare "rm -rf cases.new && mkdir -p cases.new" \
  "cd cases.new && cp ../cases.csv ../diode_dc.par ../diode_dc.cir . && $bin/etherm-sweep prepare cases.csv diode_dc" \
  -n gather "$bin/etherm-sweep gather diode_dc" >/dev/null

python3 - "$loggedNow" "$loggedBefore" <<'PY'
import json, sys
logged = {"": float(sys.argv[1]), ", before": float(sys.argv[2])}
r = {x["command"]: x["median"] for x in json.load(open("sweep.json"))["results"]}
s = {x["command"]: x["median"] for x in json.load(open("steps.json"))["results"]}
loops = {"": "plain loop", ", before": "plain loop with plots"}
variants = [v for v in ("", ", before") if "1 job" + v in r]
print("| | " + " | ".join("now" if not v else "before" for v in variants) + " |")
print("|---|" + "---|" * len(variants))
def row(label, values):
    print(f"| {label} | " + " | ".join(values) + " |")
row("16 cases, `run --jobs 1` (s)", [f"{r['1 job' + v]:.2f}" for v in variants])
row("16 cases, `run --jobs 2` (s)", [f"{r['2 jobs' + v]:.2f}" for v in variants])
row("the same 16 runs in a plain loop (s)", [f"{r[loops[v]]:.2f}" for v in variants])
row("the cases' run time in the job log, 1 job (s)", [f"{logged[v]:.2f}" for v in variants])
row("16 cases, `run --jobs 1`, `/bin/true` as etherm-batch (s)",
    [f"{r['no-op batch' + v]:.2f}" for v in variants])
row("speed-up on 2 jobs", [f"{r['1 job' + v] / r['2 jobs' + v]:.2f}" for v in variants])
row("sweep's cost over the plain loop, a case (ms)",
    [f"{(r['1 job' + v] - r[loops[v]]) / 16 * 1000:.0f}" for v in variants])
row("sweep's cost over the logged run time",
    [f"{(r['1 job' + v] - logged[v]) / logged[v] * 100:.1f} %" for v in variants])
row("the sweep alone, a case (ms)", [f"{r['no-op batch' + v] / 16 * 1000:.0f}" for v in variants])
print()
print(f"`prepare` (16 cases) {s['prepare']:.3f} s, `gather` (16 cases, with the plot) "
      f"{s['gather']:.3f} s")
PY
