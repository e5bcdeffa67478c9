#!/usr/bin/env bash
# DC runs before and after the per-iteration files went (the circuit and probe data over the
# serving simulator's pipe, the tables in memory, gnuplot started with the run), side by side
# with ngspice's own self-heating solution of the same circuit (`ngspice -b`, the diode's thermal
# node with 25 K/W to ground), in one hyperfine run per problem and plot setting. Two problems:
# the bundled diode example (examples/diode_dc) and an 8-point one-diode problem (1 to 8 V,
# 2 ohm in series), each with --no-plot and with the default plots; the folders on ext4 (TMPDIR,
# normally /tmp) and on tmpfs (/dev/shm); also with --accelerate. Wall time: hyperfine medians;
# CPU time: perf stat task-clock of all processes, the median of CPU_RUNS runs. Then the
# simulator runs with and without --accelerate.
#
#   BEFORE=dir AFTER=dir bench/dc_no_files.sh    the two builds' bin folders (Release); AFTER
#                                                defaults to build/release/bin, built here
#   RUNS=20 CPU_RUNS=9
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-20}
cpu_runs=${CPU_RUNS:-9}
if [ -z "${AFTER:-}" ]; then
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/release -j 2 --target etherm-sim etherm-batch >/dev/null
  AFTER=$root/build/release/bin
fi
: "${BEFORE:?BEFORE=the bin folder of the build to compare with}"

model='IS=2.5E-9 N=1.75 RS=0.042 IKF=10 XTI=3 ISR=1E-10 NR=2 M=0.33 VJ=0.7 EG=1.11 TRS1=0.004'
prepare() {  # the problems and their direct decks in folder $1
  cd "$1"
  printf '%s\r\n' 'Power diode with series resistor' 'V1 1 0 DC 1' 'R1 1 2 2' 'D1 2 0 DPWR' \
    ".MODEL DPWR D(T_ABS=27 $model)" '.DC V1 1 9 1' '.PROBE/CSDF V(2) I(D1)' '.END' >dc8.cir
  printf '%s\r\n' 'DC one diode, 8 points' 1 1 1 9 'DPWR 2 25.0 0' 1 >dc8.par
  cp "$root/examples/diode_dc/diode_dc.cir" "$root/examples/diode_dc/diode_dc.par" .
  for case in dc8 diode_dc; do
    # The example sweeps 1 V to its end 8 V, which it does not compute: 7 points.
    stop=8
    [ "$case" = diode_dc ] && stop=7
    cat >"${case}_direct.cir" <<CIR
$case, self-heating in ngspice
V1 1 0 DC 1
R1 1 2 2
D1 2 0 tj DPWR thermal
RTH tj 0 25
.MODEL DPWR D($model RTH0=1E9 CTH0=0)
.OPTIONS TEMP=21.85
.DC V1 1 $stop 1
.end
CIR
  done
}

median_cpu() {  # the median task-clock in ms of $cpu_runs runs of the command
  for _ in $(seq "$cpu_runs"); do
    perf stat -e task-clock -x, -o cpu.txt "$@" >/dev/null 2>&1
    awk -F, '/task-clock/ { print $1 }' cpu.txt
  done | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

folders=("${TMPDIR:-/tmp}")
[ -d /dev/shm ] && folders+=(/dev/shm)
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "| problem | plots | files | before | after | direct | before / direct | after / direct | CPU before / after / direct | CPU after / direct |"
echo "|---|---|---|---|---|---|---|---|---|---|"
for base in "${folders[@]}"; do
  work=$(mktemp -d "$base/dc_no_files.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  prepare "$work"
  fs=$(stat -f -c %T "$work")
  [ "$fs" = ext2/ext3 ] && fs=ext4
  for case in diode_dc dc8; do
    for plot in --no-plot "" "--no-plot --accelerate"; do
      hyperfine -N --warmup 3 --runs "$runs" --export-json h.json \
        -n before "$BEFORE/etherm-batch dc $plot $case" \
        -n after "$AFTER/etherm-batch dc $plot $case" \
        -n direct "ngspice -b -r $case.raw ${case}_direct.cir" >/dev/null 2>>hyperfine.err
      cpu_before=$(median_cpu "$BEFORE/etherm-batch" dc $plot "$case")
      cpu_after=$(median_cpu "$AFTER/etherm-batch" dc $plot "$case")
      cpu_direct=$(median_cpu ngspice -b -r "$case.raw" "${case}_direct.cir")
      python3 - "$case" "${plot:-plots}" "$fs" "$cpu_before" "$cpu_after" "$cpu_direct" <<'PY'
import json, sys
case, plot, fs = sys.argv[1:4]
cb, ca, cd = (float(x) for x in sys.argv[4:7])
r = {x["command"]: x["median"] * 1e3 for x in json.load(open("h.json"))["results"]}
print(f"| {case} | {plot} | {fs} | {r['before']:.1f} ms | {r['after']:.1f} ms | "
      f"{r['direct']:.1f} ms | {r['before'] / r['direct']:.2f} | {r['after'] / r['direct']:.2f} | "
      f"{cb:.1f} / {ca:.1f} / {cd:.1f} ms | {ca / cd:.2f} |")
PY
    done
  done
  if [ "$base" = "${folders[0]}" ]; then
    for case in diode_dc dc8; do
      "$AFTER/etherm-batch" dc --no-plot "$case" >/dev/null 2>&1
      plain=$(grep -c '^pierwszy' wyniki.txt)
      "$AFTER/etherm-batch" dc --no-plot --accelerate "$case" >/dev/null 2>&1
      fast=$(grep -c '^pierwszy' wyniki.txt)
      echo "simulator runs, $case: plain $plain, --accelerate $fast ($(python3 -c "print(f'{$fast/$plain:.2f}')"))"
    done
    # Where the after run's time goes: etherm-batch's own CPU time (perf stat without its
    # children), and the run's requests replayed to one server (its start, the requests, its end).
    for case in diode_dc dc8; do
      perf stat -r "$cpu_runs" -i -e task-clock -x, -o cpu.txt "$AFTER/etherm-batch" dc --no-plot "$case" \
        >/dev/null 2>&1
      echo "etherm-batch's own CPU time, $case --no-plot: $(awk -F, '/task-clock/ { printf "%.1f", $1 }' cpu.txt) ms"
      printf '#!/bin/sh\ntee requests.txt | exec "%s" "$@"\n' "$AFTER/etherm-sim" >tee-sim
      chmod +x tee-sim
      ETHERM_SIMULATOR=$PWD/tee-sim "$AFTER/etherm-batch" dc --no-plot "$case" >/dev/null 2>&1
      python3 - "$AFTER/etherm-sim" "$case" <<'PY'
import statistics, subprocess, sys, time
program, case = sys.argv[1:3]
lines = open("requests.txt").read().split("\n")
hello, requests = lines[0], [l for l in lines[1:] if l]
def serve():
    t0 = time.perf_counter()
    sim = subprocess.Popen([program, "--serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                           text=True, bufsize=1)
    sim.stdin.write(hello + "\n"); sim.stdin.flush()
    assert sim.stdout.readline().endswith("ready\n")
    t1 = time.perf_counter()
    for r in requests:
        sim.stdin.write(r + "\n"); sim.stdin.flush()
        while "\tdone" not in sim.stdout.readline(): pass
    t2 = time.perf_counter()
    sim.stdin.close(); sim.wait()
    return t1 - t0, t2 - t1, time.perf_counter() - t2
runs = [serve() for _ in range(15)]
start, total, end = (statistics.median(r[k] for r in runs) * 1e3 for k in range(3))
print(f"{case} replayed: server start {start:.1f} ms, {len(requests)} requests {total:.1f} ms "
      f"({total / len(requests):.3f} ms each), its end {end:.1f} ms")
PY
    done
  fi
  cd "$root"
  rm -rf "$work"
  trap - EXIT
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
