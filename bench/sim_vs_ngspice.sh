#!/usr/bin/env bash
# Wall time of etherm-sim against `ngspice -b` on the same circuits, side by side with hyperfine:
# a DC single point and a transient of a few thousand time points. Goal: the median of
# etherm-sim at most 1.5 x the median of ngspice -b (written with its raw file, so both write
# their results).
#
#   bench/sim_vs_ngspice.sh            builds etherm-sim (Release) into build/bench-sim first
#   ETHERM_SIM=path/to/etherm-sim bench/sim_vs_ngspice.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
if [[ -z "${ETHERM_SIM:-}" ]]; then
  cmake -S . -B build/bench-sim -DCMAKE_BUILD_TYPE=Release -DETHERM_BENCH=OFF >/dev/null
  cmake --build build/bench-sim -j "$(nproc)" --target etherm-sim >/dev/null
  ETHERM_SIM=$root/build/bench-sim/bin/etherm-sim
fi
runs=${RUNS:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The circuit as the system writes it (T_ABS on the model line, .PROBE) and the same circuit as
# ngspice takes it (temp= on the instance, no .PROBE).
stage='VCC vcc 0 DC 12
R1 vcc b 47k
R2 b 0 10k
RC vcc c 2.2k
RE e 0 470
CE e 0 100u
CIN in b 1u
RL out 0 10k
COUT c out 1u'
cat >dc.cir <<CIR
amplifier stage, DC point
VIN in 0 DC 0
$stage
Q1 c b e QN
.MODEL  QN       NPN(t_abs=77.000 IS=1E-14 BF=200 VAF=80 RB=10 CJE=20p CJC=8p TF=0.3n)
.DC VCC  1.20000000000000E+0001  1.20000000000000E+0001  1.00000000000000E+0000
.PROBE/CSDF V(c) IC(Q1) V(b) IB(Q1)
CIR
cat >dc_ng.cir <<CIR
amplifier stage, DC point
VIN in 0 DC 0
$stage
Q1 c b e QN temp=77.000
.MODEL  QN       NPN(IS=1E-14 BF=200 VAF=80 RB=10 CJE=20p CJC=8p TF=0.3n)
.DC VCC  1.20000000000000E+0001  1.20000000000000E+0001  1.00000000000000E+0000
.end
CIR
cat >tran.cir <<CIR
amplifier stage, transient
VIN in 0 SIN(0 0.05 10k 0)
$stage
Q1 c b e QN
.MODEL  QN       NPN(t_abs=77.000 IS=1E-14 BF=200 VAF=80 RB=10 CJE=20p CJC=8p TF=0.3n)
.TRAN   0.2u 1m 0 0.25u
.PROBE/CSDF V(c) IC(Q1) V(b) IB(Q1)
CIR
cat >tran_ng.cir <<CIR
amplifier stage, transient
VIN in 0 SIN(0 0.05 10k 0)
$stage
Q1 c b e QN temp=77.000
.MODEL  QN       NPN(IS=1E-14 BF=200 VAF=80 RB=10 CJE=20p CJC=8p TF=0.3n)
.TRAN   0.2u 1m 0 0.25u
.end
CIR

"$ETHERM_SIM" tran.cir
points=$(grep -c '^#C' tran.csd)
echo "transient: $points time points"

for case in dc tran; do
  hyperfine -N --warmup 3 --runs "$runs" --export-json "$case.json" \
    -n etherm-sim "$ETHERM_SIM $case.cir" \
    -n "ngspice -b" "ngspice -b -r $case.raw ${case}_ng.cir" >/dev/null
  python3 - "$case" "$case.json" <<'PY'
import json, sys
case, path = sys.argv[1], sys.argv[2]
r = {x["command"]: x for x in json.load(open(path))["results"]}
e, n = r["etherm-sim"]["median"], r["ngspice -b"]["median"]
verdict = "goal met" if e <= 1.5 * n else "GOAL MISSED"
print(f"{case:5s} median etherm-sim {e*1e3:8.1f} ms   ngspice -b {n*1e3:8.1f} ms   "
      f"ratio {e/n:5.2f}  ({verdict}, goal <= 1.5)")
PY
done
