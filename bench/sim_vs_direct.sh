#!/usr/bin/env bash
# Whole analyses of one diode against ngspice's own self-heating solution of the same circuit
# (`ngspice -b`: the diode's `thermal` node with the thermal network as an R-C from that node to
# ground; RTH0 open and CTH0=0, since ngspice's default CTH0 would add to the external capacitor).
# Three whole processes side by side in one hyperfine run: etherm-batch with its serving
# simulator, etherm-batch with one simulator process per iteration (ETHERM_SIM_NO_SERVE=1), and
# the direct method. Goals: the served DC run within 5 x the direct method, the transient
# within 10 x. Then where the served run's time goes: its iterations, the serving process's
# start, the requests (the run's own circuits replayed to one server) and the rest (etherm-batch's
# own work).
#
#   bench/sim_vs_direct.sh             builds Release into build/bench-sim first; RUNS=20
#   BUILD=build/bench-tran ...         another Release build folder instead
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-20}
build=${BUILD:-build/bench-sim}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target etherm-sim etherm-batch >/dev/null
bin=$root/$build/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The power diode of examples/diode_dc; ambient 295 K (21.85 C); 25 K/W.
model='IS=2.5E-9 N=1.75 RS=0.042 IKF=10 XTI=3 ISR=1E-10 NR=2 M=0.33 VJ=0.7 EG=1.11 TRS1=0.004'
thermal='RTH0=1E9 CTH0=0'
printf '%s\r\n' 'Power diode with series resistor' 'V1 1 0 DC 1' 'R1 1 2 2' 'D1 2 0 DPWR' \
  ".MODEL DPWR D(T_ABS=27 $model)" '.DC V1 1 9 1' '.PROBE/CSDF V(2) I(D1)' '.END' >dc.cir
printf '%s\r\n' 'DC one diode, 8 points' 1 1 1 9 'DPWR 2 25.0 0' 1 >dc.par
cat >dc_direct.cir <<CIR
Power diode with series resistor, self-heating in ngspice
V1 1 0 DC 1
R1 1 2 2
D1 2 0 tj DPWR thermal
RTH tj 0 25
.MODEL DPWR D($model $thermal)
.OPTIONS TEMP=21.85
.DC V1 1 8 1
.end
CIR
# One current pulse of 3 A for 2 ms; one thermal term of 25 K/W at 0.8 ms (C = 0.8 ms / 25).
printf '%s\r\n' 'Power diode under one current pulse' 'I1 0 1 PULSE(0 3 0.5m 20u 20u 2m 10m)' \
  'RP 1 0 1k' 'D1 1 0 DPWR' ".MODEL DPWR D(T_ABS=27 $model)" '.TRAN 10u 4m' \
  '.PROBE/CSDF V(1) I(D1)' '.END' >tran.cir
printf '%s\r\n' 'TRAN one diode, one pulse' 1 0.004 'DPWR 2 1 25.0 1 0.0008 0' 0 0 0 1 >tran.par
cat >tran_direct.cir <<CIR
Power diode under one current pulse, self-heating in ngspice
I1 0 1 PULSE(0 3 0.5m 20u 20u 2m 10m)
RP 1 0 1k
D1 1 0 tj DPWR thermal
RTH tj 0 25
CTH tj 0 3.2E-5
.MODEL DPWR D($model $thermal)
.OPTIONS TEMP=21.85
.TRAN 10u 4m
.end
CIR

for case in dc tran; do
  "$bin/etherm-batch" "$case" --no-plot "$case" 2>/dev/null
  iterations=$(grep -c '^pierwszy' wyniki.txt)
  echo "$case: $iterations iterations; last temperatures line of etherm: $(tail -n 1 "$case.tem" | tr -s ' ')"
  hyperfine -N --warmup 3 --runs "$runs" --export-json "$case.json" \
    -n served "$bin/etherm-batch $case --no-plot $case" \
    -n one-shot "env ETHERM_SIM_NO_SERVE=1 $bin/etherm-batch $case --no-plot $case" \
    -n direct "ngspice -b -r $case.raw ${case}_direct.cir" >/dev/null
  # CPU time (all processes, least of 5 runs): unlike the wall time it does not wait for other
  # work on a shared machine.
  cpu() {
    local best=""
    for _ in 1 2 3 4 5; do
      perf stat -e task-clock -x, -o cpu.txt "$@" >/dev/null 2>&1
      best=$(awk -F, -v b="$best" '/task-clock/ { print (b == "" || $1 < b) ? $1 : b }' cpu.txt)
    done
    echo "$best"
  }
  if command -v perf >/dev/null && perf stat -e task-clock true >/dev/null 2>&1; then
    served_cpu=$(cpu "$bin/etherm-batch" "$case" --no-plot "$case")
    direct_cpu=$(cpu ngspice -b -r "$case.raw" "${case}_direct.cir")
    echo "  CPU time: served $served_cpu ms, direct $direct_cpu ms, served/direct" \
      "$(python3 -c "print(f'{$served_cpu / $direct_cpu:.2f}')")"
  fi

  # The run's circuits, kept by a wrapper around the one-shot simulator, replayed to one server.
  mkdir -p "replay_$case"
  cat >keep.sh <<SH
#!/bin/sh
cp "\$1" "$work/replay_$case/\$(ls "$work/replay_$case" | wc -l).cir"
exec "$bin/etherm-sim" "\$1"
SH
  chmod +x keep.sh
  ETHERM_SIM_NO_SERVE=1 ETHERM_SIMULATOR=$work/keep.sh "$bin/etherm-batch" "$case" --no-plot "$case" 2>/dev/null
  (cd "replay_$case" && python3 - "$bin/etherm-sim" "$work/$case.json" "$case" "$iterations" <<'PY')
import glob, json, statistics, subprocess, sys, time
program, results, case, iterations = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
r = {x["command"]: x["median"] for x in json.load(open(results))["results"]}
goal = 5 if case == "dc" else 10
ratio = r["served"] / r["direct"]
print(f"  median served {r['served']*1e3:7.1f} ms  one-shot {r['one-shot']*1e3:7.1f} ms  "
      f"direct {r['direct']*1e3:6.1f} ms   served/direct {ratio:5.2f} "
      f"({'goal met' if ratio <= goal else 'GOAL MISSED'}, goal <= {goal})  "
      f"one-shot/direct {r['one-shot']/r['direct']:5.2f}")
circuits = sorted(glob.glob("*.cir"), key=lambda n: int(n[:-4]))
starts, totals = [], []
for attempt in range(5):
    t0 = time.perf_counter()
    sim = subprocess.Popen([program, "--serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                           text=True, bufsize=1)
    sim.stdin.write("etherm-serve 1\n"); sim.stdin.flush()
    assert sim.stdout.readline() == "etherm-serve 1 ready\n"
    starts.append(time.perf_counter() - t0)
    t0 = time.perf_counter()
    for c in circuits:
        sim.stdin.write(f"run\t{c}\n"); sim.stdin.flush()
        assert sim.stdout.readline() == "done\n"
    totals.append(time.perf_counter() - t0)
    sim.stdin.close(); sim.wait()
start, requests = statistics.median(starts), statistics.median(totals)
rest = r["served"] - start - requests
print(f"  where the served run's time goes: {len(circuits)} requests {requests*1e3:.1f} ms "
      f"({requests/len(circuits)*1e3:.2f} ms each), server start {start*1e3:.1f} ms, "
      f"etherm-batch's own work {rest*1e3:.1f} ms ({rest/len(circuits)*1e3:.2f} ms an iteration)")
PY
done
