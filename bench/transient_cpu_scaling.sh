#!/usr/bin/env bash
# CPU time against the simulated time: both transient examples at their end time and at 2, 4
# and 8 times it, run by etherm-batch (BIN, default build/bench-tran/bin, the Release build of
# bench/transient_scaling.sh). CPU time does not wait for other work of a shared machine, so
# its growth shows the program's own cost where wall times are noisy. For each run: windows,
# the CPU time of etherm-batch alone and of it with its simulator (perf stat task-clock,
# the least of RUNS runs; perf from Debian linux-perf), and the CPU time of etherm-batch per
# window. SCALES (default "1 2 4 8") chooses the multiples of the end time; FLAGS (default
# --no-plot) the options of etherm-batch (empty for versions without --no-plot).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=${BIN:-$root/build/bench-tran/bin}
runs=${RUNS:-2}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/etherm-cpu.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

cpu_ms() {  # the task-clock of one run, in ms; --no-inherit leaves the simulator out
  perf stat "$@" -e task-clock -x, -o "$scratch/stat" "$bin/etherm-batch" tran ${FLAGS---no-plot} "$name" \
    >/dev/null 2>&1
  awk -F, '/task-clock/ { print $1 }' "$scratch/stat"
}

echo "| example | end x | windows | etherm-batch CPU (ms) | with etherm-sim (ms) | etherm-batch per window (ms) |"
echo "|---|---|---|---|---|---|"
for name in diode_pulses_tran mosfet_switch_tran; do
  for scale in ${SCALES:-1 2 4 8}; do
    dir=$scratch/$name-$scale
    "$root/bench/scaled_example.sh" "$name" "$scale" "$dir"
    cd "$dir"
    own=""; all=""
    for ((r = 0; r < runs; ++r)); do
      o=$(cpu_ms --no-inherit); a=$(cpu_ms)
      own=$(python3 -c "print(min(float(x) for x in '$own $o'.split()))")
      all=$(python3 -c "print(min(float(x) for x in '$all $a'.split()))")
    done
    windows=$(grep -c pierwszy wyniki.txt)
    python3 -c "print(f'| $name | $scale | $windows | {$own:.0f} | {$all:.0f} | {$own / $windows:.3f} |')"
    cd "$root"
  done
done
