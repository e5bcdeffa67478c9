#!/usr/bin/env bash
# Simulator runs per DC point with and without --accelerate, on both DC examples and four
# coupled diodes on one heat sink; then the whole runs side by side in one hyperfine run.
# BIN=folder of built programs skips the Release build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ -z "${BIN:-}" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DETHERM_BENCH=OFF >/dev/null
  cmake --build build -j "$(nproc)" --target etherm-batch etherm-sim >/dev/null
  BIN=$root/build/bin
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/etherm-accelerate-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

mkdir "$scratch/quad_dc"
printf '%s\r\n' "four diodes on one heat sink" "V1 1 0 DC 1" \
  "R1 1 2 1" "R2 1 3 1.2" "R3 1 4 1.5" "R4 1 5 2" \
  "D1 2 0 DW" "D2 3 0 DX" "D3 4 0 DY" "D4 5 0 DZ" \
  ".MODEL DW D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042 XTI=3 EG=1.11)" \
  ".MODEL DX D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042 XTI=3 EG=1.11)" \
  ".MODEL DY D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042 XTI=3 EG=1.11)" \
  ".MODEL DZ D(T_ABS=27 IS=2.5E-9 N=1.75 RS=0.042 XTI=3 EG=1.11)" \
  ".DC V1 1 6 0.5" ".PROBE/CSDF V(2) I(D1) V(3) I(D2) V(4) I(D3) V(5) I(D4)" ".END" \
  > "$scratch/quad_dc/quad_dc.cir"
printf '%s\r\n' "DC four coupled diodes" 4 1 0.5 6 \
  "DW 2 20 3 2 0 6 3 0 4 4 0 3" 1 "DX 2 20 3 1 0 6 3 0 6 4 0 4" 1 \
  "DY 2 20 3 1 0 4 2 0 6 4 0 6" 1 "DZ 2 20 3 1 0 3 2 0 4 3 0 6" 1 \
  > "$scratch/quad_dc/quad_dc.par"
for e in bjt_pair_dc diode_dc; do
  mkdir "$scratch/$e"
  cp "$root/examples/$e/$e.cir" "$root/examples/$e/$e.par" "$scratch/$e/"
done

echo "| case | points | runs, plain | runs, --accelerate | ratio |"
echo "|---|---|---|---|---|"
for e in diode_dc bjt_pair_dc quad_dc; do
  cd "$scratch/$e"
  "$BIN/etherm-batch" dc --no-plot "$e" 2>plain.log
  plain=$(grep -c '^startuj' plain.log)
  points=$(wc -l < "$e.wyn")
  "$BIN/etherm-batch" dc --accelerate --no-plot "$e" 2>fast.log
  fast=$(grep -c '^startuj' fast.log)
  awk -v e="$e" -v n="$points" -v p="$plain" -v f="$fast" \
    'BEGIN { printf "| %s | %d | %d (%.1f/point) | %d (%.1f/point) | %.2f |\n", e, n, p, p / n, f, f / n, f / p }'
done

if command -v hyperfine >/dev/null; then
  cd "$scratch/quad_dc"
  hyperfine --runs "${RUNS:-3}" -n plain "$BIN/etherm-batch dc --no-plot quad_dc" \
    -n accelerate "$BIN/etherm-batch dc --accelerate --no-plot quad_dc"
fi
