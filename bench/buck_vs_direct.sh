#!/usr/bin/env bash
# examples/buck_tran against ngspice's own self-heating solution of the same converter
# (examples/buck_tran/direct). For each end time: etherm-batch's temperatures at every accepted
# time beside the direct solution interpolated there (goal: within 0.5 K), and the windows per
# switching period; then all runs as whole processes side by side in one hyperfine run.
#
#   bench/buck_vs_direct.sh [END_S ...]   end times, default 0.001 0.002 0.004; builds Release
#                                          into build/release first; RUNS=3, COMPARE_ONLY=1
#                                          skips the timing. Exit status 1 when a comparison
#                                          misses the goal or a run fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-3}
ends=("$@")
[ ${#ends[@]} -gt 0 ] || ends=(0.001 0.002 0.004)
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j 2 --target etherm-sim etherm-batch >/dev/null
bin=$root/build/release/bin
work=$(mktemp -d "${TMPDIR:-/tmp}/buck-vs-direct.XXXXXX")
trap 'rm -rf "$work"' EXIT
period=1e-5  # of the gate pulse

# A copy of both circuits and the problem with the end time (line 3 of the problem, the length of
# both .TRAN lines) set to $1.
prepare() {
  local end=$1 dir=$work/$1
  mkdir -p "$dir"
  cp examples/buck_tran/buck_tran.cir examples/buck_tran/buck_tran.par \
    examples/buck_tran/direct/buck_direct.cir examples/buck_tran/direct/heatsink.inc "$dir/"
  awk -v e="$end" 'NR == 3 { printf "%s\r\n", e; next } { print }' \
    examples/buck_tran/buck_tran.par >"$dir/buck_tran.par"
  for c in buck_tran.cir buck_direct.cir; do
    awk -v e="$end" 'toupper($1) == ".TRAN" { printf "%s %s %s\r\n", $1, $2, e; next } { print }' \
      "$dir/$c" >"$dir/c.tmp"
    mv "$dir/c.tmp" "$dir/$c"
  done
}

# Largest |etherm - direct| per device over etherm's accepted rows; the direct temperature is
# 295 K plus the node's rise, linearly interpolated at each accepted time.
compare() {
  tr -d '\r' <buck_tran.tem | awk -v direct=buck_direct.txt '
    BEGIN {
      n = 0
      while ((getline line < direct) > 0) {
        split(line, f, " "); t[n] = f[1]; r1[n] = f[2]; r2[n] = f[4]; n++
      }
      k = 0
    }
    FNR <= 2 { next }
    {
      x = $1 + 0
      while (k < n - 2 && t[k + 1] < x) k++
      w = t[k + 1] > t[k] ? (x - t[k]) / (t[k + 1] - t[k]) : 0
      if (w < 0) w = 0
      if (w > 1) w = 1
      d[1] = 295 + r1[k] + w * (r1[k + 1] - r1[k])
      d[2] = 295 + r2[k] + w * (r2[k + 1] - r2[k])
      for (i = 1; i <= 2; i++) {
        e = $(i + 1) - d[i]
        if (e < 0) e = -e
        if (e > worst[i]) { worst[i] = e; at[i] = x }
      }
      rows++; last = x; T1 = $2; T2 = $3; D1 = d[1]; D2 = d[2]
    }
    END {
      printf "  %d accepted rows to %.6g s; largest difference MSW %.3f K at %.6g s, DFW %.3f K at %.6g s\n",
        rows, last, worst[1], at[1], worst[2], at[2]
      printf "  at the end: MSW %.2f K (direct %.2f K), DFW %.2f K (direct %.2f K)\n", T1, D1, T2, D2
      exit (worst[1] > 0.5 || worst[2] > 0.5) ? 1 : 0
    }'
}

# The direct method itself first: the heat of each device, the network's step response, and
# the devices at the temperature of their thermal node.
for check in check_power check_step check_temperature; do
  if ! (cd examples/buck_tran/direct && ngspice -b "$check.cir" >"$work/$check.out" 2>&1); then
    echo "direct method: $check.cir fails (see its output below)"
    cat "$work/$check.out"
    exit 1
  fi
done
echo "direct method: check_power, check_step and check_temperature pass"

status=0
for end in "${ends[@]}"; do
  prepare "$end"
  cd "$work/$end"
  echo "end time $end s"
  if ! "$bin/etherm-batch" tran --no-plot buck_tran >/dev/null 2>etherm-batch.err; then
    echo "  etherm-batch failed: $(tail -n 1 etherm-batch.err)"
    status=1
    cd "$root"
    continue
  fi
  ngspice -b buck_direct.cir >ngspice.out 2>&1
  # Each accepted window ends with the next window's start ("t0="); a start that does not move
  # on (a window redone at time 0) is no window of its own.
  windows=$(tr -d '\r' <wyniki.txt | awk '/^t0=/ { v = substr($0, 4) + 0; if (v > s) { n++; s = v } } END { print n + 0 }')
  iterations=$(grep -c '^startuj' wyniki.txt || true)
  awk -v w="$windows" -v i="$iterations" -v e="$end" -v p="$period" 'BEGIN {
    printf "  %d windows, %d iterations; %.2f windows per switching period\n", w, i, w / (e / p) }'
  compare || { echo "  GOAL MISSED (0.5 K)"; status=1; }
  cd "$root"
done
[ "${COMPARE_ONLY:-0}" = 1 ] && exit $status

commands=()
for end in "${ends[@]}"; do
  commands+=(-n "etherm $end s" "cd $work/$end && $bin/etherm-batch tran --no-plot buck_tran")
  commands+=(-n "direct $end s" "cd $work/$end && ngspice -b buck_direct.cir")
done
hyperfine --warmup 0 --runs "$runs" --export-json "$work/times.json" --style basic \
  --output null "${commands[@]}" >/dev/null
python3 - "$work/times.json" <<'PY'
import json, sys
r = {x["command"]: x["median"] for x in json.load(open(sys.argv[1]))["results"]}
ends = sorted({c.split()[1] for c in r}, key=float)
print("| end time | etherm-batch | direct | etherm / direct |")
print("|---|---|---|---|")
for e in ends:
    a, b = r[f"etherm {e} s"], r[f"direct {e} s"]
    print(f"| {float(e)*1e3:g} ms | {a:.2f} s | {b:.2f} s | {a/b:.1f} |")
PY
exit $status
