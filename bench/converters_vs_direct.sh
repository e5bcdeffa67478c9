#!/usr/bin/env bash
# The converter matrix (batch/testdata/converters) against ngspice's own self-heating solution of
# each converter: one run of each first (etherm-batch under the per-pass time limit and a
# `timeout`, so that a hanging restart ends), then hyperfine over etherm-batch and ngspice for
# every converter that ran to its end, and the ratio of their wall times (goal: etherm-batch
# within 10 times the direct run). The temperatures themselves are compared by the test
# ConverterMatrix.
#
#   bench/converters_vs_direct.sh [NAME ...]   converters, default all; builds Release into
#                                              build/release first; RUNS=3. Exit status 1 when a
#                                              run fails or a ratio misses the goal.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-3}
names=("$@")
data=batch/testdata/converters
if [ ${#names[@]} -eq 0 ]; then
  for d in "$data"/*/; do names+=("$(basename "$d")"); done
fi
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j 2 --target etherm-sim etherm-batch >/dev/null
bin=$root/build/release/bin
work=$(mktemp -d "${TMPDIR:-/tmp}/converters-vs-direct.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ETHERM_SIMULATOR=$bin/etherm-sim ETHERM_SIM_TIMEOUT=${ETHERM_SIM_TIMEOUT:-60}

status=0
commands=()
timed=()
for name in "${names[@]}"; do
  dir=$work/$name
  mkdir -p "$dir"
  cp "$data/$name"/* "$data/heatsink.inc" "$dir/"
  cd "$dir"
  if ! ngspice -b "${name}_direct.cir" >ngspice.out 2>&1; then
    echo "$name: the direct deck fails"
    status=1
  elif ! timeout 300 "$bin/etherm-batch" tran --no-plot "$name" >/dev/null 2>etherm-batch.err; then
    # The last window start the run log names is where it stopped.
    last=$(tr -d '\r' <wyniki.txt | awk '/^t0=/ { v = substr($0, 4) + 0 } END { print v + 0 }')
    echo "$name: etherm-batch fails in the window from $last s: $(tail -n 1 etherm-batch.err)"
    status=1
  else
    windows=$(tr -d '\r' <wyniki.txt | awk '/^t0=/ { v = substr($0, 4) + 0; if (v > s) { n++; s = v } } END { print n + 0 }')
    echo "$name: runs to its end in $windows windows"
    commands+=(-n "etherm $name" "cd $dir && $bin/etherm-batch tran --no-plot $name")
    commands+=(-n "direct $name" "cd $dir && ngspice -b ${name}_direct.cir")
    timed+=("$name")
  fi
  cd "$root"
done
[ ${#timed[@]} -gt 0 ] || exit $status

hyperfine --warmup 0 --runs "$runs" --export-json "$work/times.json" --style basic \
  --output null "${commands[@]}" >/dev/null
python3 - "$work/times.json" "${timed[@]}" <<'PY' || status=1
import json, sys
r = {x["command"]: x["median"] for x in json.load(open(sys.argv[1]))["results"]}
print("| converter | etherm-batch | direct | etherm / direct |")
print("|---|---|---|---|")
missed = False
for name in sys.argv[2:]:
    a, b = r[f"etherm {name}"], r[f"direct {name}"]
    missed |= a / b > 10
    print(f"| {name} | {a:.2f} s | {b:.2f} s | {a / b:.1f}{' (goal 10)' if a / b > 10 else ''} |")
sys.exit(1 if missed else 0)
PY
exit $status
