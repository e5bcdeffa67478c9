#!/usr/bin/env bash
# Transient runs against the simulated time: both transient examples at their end time and at 2,
# 4 and 8 times it. For each: the whole etherm-batch process (hyperfine, median of RUNS runs;
# with BEFORE set, that commit's etherm-batch beside it in the same hyperfine run), and one run
# of bench/transient_windows_bench: windows, simulator runs, the served simulator run's median,
# the analysis's own time per window (first and last quarter) and its largest resident memory;
# beside them the median of etherm-sim as its own process on the run's last circuit (as
# bench/drivers.sh measures it). Then the wall time of each doubling of the end time.
#
#   bench/transient_scaling.sh                    this tree only
#   BEFORE=1fccd1d bench/transient_scaling.sh     and that commit beside it
#   LIMIT=4 bench/transient_scaling.sh           and this tree with --window-limit 4 beside it
#   RUNS=3 (hyperfine runs); TMPDIR=/dev/shm runs the folders on tmpfs instead of the disk
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-3}

build() {
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DETHERM_BENCH=ON >/dev/null
  cmake --build "$2" -j 2 --target etherm-batch etherm-sim transient_windows_bench >/dev/null
}
build . build/bench-tran
versions=("after:$root/build/bench-tran/bin")
[ -n "${LIMIT:-}" ] && versions+=("limit $LIMIT:$root/build/bench-tran/bin")
if [ -n "${BEFORE:-}" ]; then
  src=$root/build/bench-before-src
  # Extracted again only for another commit: fresh files would rebuild it all.
  if [ "$(cat "$src/.commit" 2>/dev/null)" != "$(git rev-parse "$BEFORE")" ]; then
    rm -rf "$src"
    mkdir -p "$src"
    git archive "$BEFORE" | tar -x -C "$src"
    git rev-parse "$BEFORE" >"$src/.commit"
  fi
  # The same measurement of the older analysis: the program uses only its public entry.
  cp bench/transient_windows_bench.cpp "$src/bench/"
  build "$src" "$root/build/bench-before"
  versions+=("before:$root/build/bench-before/bin")
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/etherm-scaling.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
figures=$scratch/figures.tsv
: >"$figures"

prepare() { "$root/bench/scaled_example.sh" "$@"; }

measure() {
  local name=$1 scale=$2 commands=()
  for entry in "${versions[@]}"; do
    local version=${entry%%:*} bin=${entry#*:} flags=()
    case $version in
      after) flags=(--no-plot) ;;
      limit*) flags=(--no-plot --window-limit "$LIMIT") ;;
    esac
    local dir=$scratch/$name-$scale-$version
    prepare "$name" "$scale" "$dir"
    local line
    # The bench calls the analysis itself, which draws no plot: the flags after --no-plot.
    line=$("$bin/transient_windows_bench" "${flags[@]:1}" "$dir" "$name")
    # etherm-sim as its own process on the run's last circuit.
    (cd "$dir" && hyperfine -N --warmup 2 --runs 15 --export-json sim.json \
      "$bin/etherm-sim a1.cir" >/dev/null 2>&1)
    local process
    process=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' \
      "$dir/sim.json")
    printf '%s\t%s\t%s\t%s\t%s\n' "$name" "$scale" "$version" "$process" "$line" >>"$figures"
    prepare "$name" "$scale" "$scratch/$name-$scale-hf"
    commands+=(-n "$version" "$bin/etherm-batch tran ${flags[*]} $name")
  done
  (cd "$scratch/$name-$scale-hf" && hyperfine -N --runs "$runs" --export-json "$scratch/hf.json" \
    "${commands[@]}" >/dev/null 2>&1)
  python3 - "$scratch/hf.json" "$name" "$scale" >>"$scratch/walls.tsv" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(f"{sys.argv[2]}\t{sys.argv[3]}\t{r['command']}\t{r['median']}")
PY
}

for name in diode_pulses_tran mosfet_switch_tran; do
  for scale in 1 2 4 8; do measure "$name" "$scale"; done
done

python3 - "$figures" "$scratch/walls.tsv" <<'PY'
import sys
walls = {}
for line in open(sys.argv[2]):
    name, scale, version, median = line.rstrip("\n").split("\t")
    walls[(name, int(scale), version)] = float(median)
print("| example | end x | version | wall (s) | windows | simulator runs | served run median (ms) "
      "| own per window (ms) | first / last quarter (ms) | last / first | wall / (runs x served median) "
      "| etherm-sim process median (ms) | wall / (runs x process median) | max RSS (MB) |")
print("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|")
for line in open(sys.argv[1]):
    name, scale, version, process, rest = line.rstrip("\n").split("\t")
    f = dict(kv.split("=") for kv in rest.split())
    wall = walls[(name, int(scale), version)]
    runs = int(f["runs"])
    served = float(f["median_sim_ms"])
    print(f"| {name} | {scale} | {version} | {wall:.2f} | {f['windows']} | {runs} | {served:.2f} "
          f"| {float(f['own_ms_per_window']):.2f} | {float(f['own_first_quarter_ms']):.2f} / "
          f"{float(f['own_last_quarter_ms']):.2f} | {float(f['last_over_first']):.2f} "
          f"| {wall / (runs * served / 1e3):.2f} | {float(process) * 1e3:.2f} "
          f"| {wall / (runs * float(process)):.2f} | {int(f['max_rss_kb']) / 1024:.1f} |")
print()
print("| example | version | wall 2x / 1x | 4x / 2x | 8x / 4x |")
print("|---|---|---|---|---|")
for (name, version) in sorted({(n, v) for (n, s, v) in walls}):
    w = [walls[(name, s, version)] for s in (1, 2, 4, 8)]
    print(f"| {name} | {version} | {w[1] / w[0]:.2f} | {w[2] / w[1]:.2f} | {w[3] / w[2]:.2f} |")
PY
