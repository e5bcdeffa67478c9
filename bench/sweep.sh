#!/usr/bin/env bash
# etherm-sweep on 16 cases of the DC diode example (its thermal resistance from 10 to 40 K/W):
# the sweep's wall time on 1 and on 2 jobs, the speed-up, and the sweep's own cost beside the
# cases' run time (the same 16 runs of etherm-batch one after another in a plain loop), plus
# prepare and gather; and the sweep alone, with a program that does nothing in place of
# etherm-batch.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DETHERM_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" --target etherm-batch etherm-sim etherm-sweep >/dev/null
bin=$root/build/bin
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
loop="for d in cases/*/; do (cd \"\$d\" && $bin/etherm-batch dc diode_dc 2>/dev/null); done"

hyperfine --runs "$runs" --export-json sweep.json \
  --prepare "$fresh" \
  -n "1 job" "$bin/etherm-sweep run --jobs 1 dc diode_dc" \
  -n "2 jobs" "$bin/etherm-sweep run --jobs 2 dc diode_dc" \
  -n "plain loop" "$loop" \
  -n "no-op batch" "env ETHERM_BATCH=/bin/true $bin/etherm-sweep run --jobs 1 dc diode_dc" >/dev/null
# The cases' own run time as the job log has it, from the last 1-job sweep.
eval "$fresh" >/dev/null
"$bin/etherm-sweep" run --jobs 1 dc diode_dc >/dev/null
logged=$(awk -F'\t' 'NR > 1 { s += $4 } END { printf "%.3f", s }' cases/joblog)
hyperfine --runs 10 --export-json steps.json \
  -n prepare --prepare "rm -rf cases.new && mkdir -p cases.new" \
  "cd cases.new && cp ../cases.csv ../diode_dc.par ../diode_dc.cir . && $bin/etherm-sweep prepare cases.csv diode_dc" \
  -n gather "$bin/etherm-sweep gather diode_dc" >/dev/null

python3 - "$logged" <<'PY'
import json, sys
logged = float(sys.argv[1])
r = {x["command"]: x for x in json.load(open("sweep.json"))["results"]}
s = {x["command"]: x for x in json.load(open("steps.json"))["results"]}
one, two, loop, noop = (r[k]["median"] for k in ("1 job", "2 jobs", "plain loop", "no-op batch"))
print("| | wall (s, median) |")
print("|---|---|")
print(f"| 16 cases, `run --jobs 1` | {one:.2f} |")
print(f"| 16 cases, `run --jobs 2` | {two:.2f} |")
print(f"| the same 16 runs in a plain loop | {loop:.2f} |")
print(f"| the cases' run time in the job log (1 job) | {logged:.2f} |")
print(f"| 16 cases, `run --jobs 1`, `/bin/true` as etherm-batch | {noop:.2f} |")
print(f"| `prepare` (16 cases) | {s['prepare']['median']:.3f} |")
print(f"| `gather` (16 cases, with the plot) | {s['gather']['median']:.3f} |")
print()
print(f"speed-up on 2 jobs: {one / two:.2f}; the sweep's own cost on 1 job: "
      f"{one - loop:.2f} s over the plain loop ({(one - loop) / 16 * 1000:.0f} ms a case), "
      f"{one - logged:.2f} s over the logged run time; alone {noop / 16 * 1000:.0f} ms a case")
PY
