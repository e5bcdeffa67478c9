#!/usr/bin/env bash
# DC runs with the serving simulator's in-place requests beside the same runs loaded anew
# (ETHERM_SIM_IN_PLACE=off) and ngspice's own self-heating solution of the same circuit
# (`ngspice -b`, the diode's thermal node with 25 K/W to ground). Two problems: the bundled
# diode example (examples/diode_dc) and an 8-point one-diode problem (1 to 8 V, 2 ohm in series,
# as bench/sim_vs_direct.sh), each with --no-plot and with the default plots; the folders on ext4
# (TMPDIR, normally /tmp) and on tmpfs (/dev/shm) when it exists. Wall time: hyperfine medians;
# CPU time: perf stat task-clock of all processes, the median of CPU_RUNS runs. Then where the
# in-place run's time goes: the serving simulator replaying the run's circuits (in place and
# loaded anew), its start, and the rest (etherm-batch's own work and its files).
#
#   bench/dc_in_place.sh          builds Release into build/bench-sim first; RUNS=20 CPU_RUNS=9
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-20}
cpu_runs=${CPU_RUNS:-9}
build=${BUILD:-build/bench-sim}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target etherm-sim etherm-batch >/dev/null
bin=$root/$build/bin

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
    ambient=21.85  # 295 K
    cat >"${case}_direct.cir" <<CIR
$case, self-heating in ngspice
V1 1 0 DC 1
R1 1 2 2
D1 2 0 tj DPWR thermal
RTH tj 0 25
.MODEL DPWR D($model RTH0=1E9 CTH0=0)
.OPTIONS TEMP=$ambient
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
for base in "${folders[@]}"; do
  work=$(mktemp -d "$base/dc_in_place.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  prepare "$work"
  fs=$(stat -f -c %T "$work")
  for case in diode_dc dc8; do
    "$bin/etherm-batch" dc --no-plot "$case" >/dev/null 2>&1
    iterations=$(grep -c '^pierwszy' wyniki.txt)
    rm -f wyniki.txt
    for plot in --no-plot ""; do
      hyperfine -N --warmup 3 --runs "$runs" --export-json h.json \
        -n in-place "$bin/etherm-batch dc $plot $case" \
        -n anew "env ETHERM_SIM_IN_PLACE=off $bin/etherm-batch dc $plot $case" \
        -n direct "ngspice -b -r $case.raw ${case}_direct.cir" >/dev/null
      cpu_in=$(median_cpu "$bin/etherm-batch" dc $plot "$case")
      cpu_anew=$(median_cpu env ETHERM_SIM_IN_PLACE=off "$bin/etherm-batch" dc $plot "$case")
      cpu_direct=$(median_cpu ngspice -b -r "$case.raw" "${case}_direct.cir")
      python3 - "$case" "${plot:-plots}" "$fs" "$iterations" "$cpu_in" "$cpu_anew" "$cpu_direct" <<'PY'
import json, sys
case, plot, fs, n, cin, canew, cdir = sys.argv[1:4] + [int(sys.argv[4])] + [float(x) for x in sys.argv[5:]]
r = {x["command"]: x["median"] * 1e3 for x in json.load(open("h.json"))["results"]}
print(f"| {case} | {plot} | {fs} | {n} | {r['in-place']:.1f} ms | {r['anew']:.1f} ms | "
      f"{r['direct']:.1f} ms | {r['in-place'] / r['direct']:.2f} | {r['anew'] / r['direct']:.2f} | "
      f"{cin:.1f} / {canew:.1f} / {cdir:.1f} ms | {cin / cdir:.2f} |")
PY
    done
  done

  # Where the in-place run's time goes: its circuits replayed to one server.
  mkdir -p replay
  cat >keep.sh <<SH
#!/bin/sh
cp "\$1" "$work/replay/\$(ls "$work/replay" | wc -l).cir"
exec "$bin/etherm-sim" "\$1"
SH
  chmod +x keep.sh
  ETHERM_SIM_NO_SERVE=1 ETHERM_SIMULATOR=$work/keep.sh "$bin/etherm-batch" dc --no-plot dc8 >/dev/null 2>&1
  (cd replay && python3 - "$bin/etherm-sim" <<'PY')
import glob, os, statistics, subprocess, sys, time
program = sys.argv[1]
circuits = sorted(glob.glob("*.cir"), key=lambda n: int(n[:-4]))
def serve(mode):
    env = dict(os.environ, ETHERM_SIM_IN_PLACE=mode)
    t0 = time.perf_counter()
    sim = subprocess.Popen([program, "--serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                           text=True, bufsize=1, env=env)
    sim.stdin.write("etherm-serve 1\n"); sim.stdin.flush()
    assert sim.stdout.readline() == "etherm-serve 1 ready\n"
    start = time.perf_counter() - t0
    t0 = time.perf_counter()
    for c in circuits:
        sim.stdin.write(f"run\t{c}\n"); sim.stdin.flush()
        assert sim.stdout.readline() == "done\n"
    total = time.perf_counter() - t0
    sim.stdin.close(); sim.wait()
    return start, total
for mode in ("on", "off"):
    runs = [serve(mode) for _ in range(15)]
    start = statistics.median(r[0] for r in runs)
    total = statistics.median(r[1] for r in runs)
    print(f"  dc8 replayed, in place {mode}: {len(circuits)} requests {total*1e3:.1f} ms "
          f"({total/len(circuits)*1e3:.2f} ms each), server start {start*1e3:.1f} ms")
PY
  cd "$root"
  rm -rf "$work"
  trap - EXIT
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
