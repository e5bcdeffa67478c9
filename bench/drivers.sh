#!/usr/bin/env bash
# Whole-run cost of the examples beside the simulator's own: wall time, iterations, simulator
# runs, and the ratio of the run to (runs x median etherm-sim time on the run's last circuit).
# Transient examples also run with their end time doubled and quadrupled.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DETHERM_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" --target etherm-batch etherm-sim >/dev/null
scratch=$(mktemp -d "${TMPDIR:-/tmp}/etherm-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

printf '| example | end time | wall (s) | iterations | simulator runs | median etherm-sim (s) | ratio |\n'
printf '|---|---|---|---|---|---|---|\n'

measure() {
  local name=$1 kind=$2 scale=$3
  local dir="$scratch/$name-$scale"
  mkdir -p "$dir"
  cp "examples/$name/$name.cir" "examples/$name/$name.par" "$dir/"
  cd "$dir"
  local endText="-"
  if [ "$kind" = tran ]; then
    # Line 3 of a transient problem is its end time.
    awk -v s="$scale" 'NR == 3 { printf "%.9g\r\n", $1 * s; next } { print }' "$name.par" > p.tmp
    mv p.tmp "$name.par"
    endText=$(awk 'NR == 3 { print $1 }' "$name.par" | tr -d '\r')
  fi
  local start end
  start=$(date +%s.%N)
  "$root/build/bin/etherm-batch" "$kind" --no-plot "$name" 2>/dev/null || { echo "| $name | $endText | failed |"; cd "$root"; return 0; }
  end=$(date +%s.%N)
  local iterations passes
  iterations=$(grep -c '^startuj' wyniki.txt)
  passes=$(grep -c '^pierwszy' wyniki.txt)
  hyperfine -N --warmup 2 --runs 15 --export-json sim.json "$root/build/bin/etherm-sim a1.cir" \
    >/dev/null 2>&1
  python3 - "$name" "$endText" "$start" "$end" "$iterations" "$passes" <<'PY'
import json, sys
name, endText, start, end, iterations, passes = sys.argv[1:]
wall = float(end) - float(start)
median = json.load(open("sim.json"))["results"][0]["median"]
ratio = wall / (int(passes) * median)
print(f"| {name} | {endText} | {wall:.2f} | {iterations} | {passes} | {median:.4f} | {ratio:.2f} |")
PY
  cd "$root"
}

measure diode_dc dc 1
measure bjt_pair_dc dc 1
for scale in 1 2 4; do measure diode_pulses_tran tran "$scale"; done
for scale in 1 2 4; do measure mosfet_switch_tran tran "$scale"; done
