#!/usr/bin/env bash
# The two transient engines against ngspice's own self-heating solution of the same circuit, on
# every transient example with a direct-method deck (examples/*/direct) and every converter of
# batch/testdata/converters. For each circuit: the largest |T - T_direct| per device over the
# accepted times for `--engine windowed`, `--engine continuous` and `--engine continuous
# --tolerance 0.1`, then the three runs and `ngspice -b` of the direct deck as whole processes
# side by side in one hyperfine run (medians, ratios to the direct run). Last, the buck example
# at 10 ms and 20 ms with the continuous engine: the cost ratio and the peak memory.
#
#   bench/engines_vs_direct.sh [NAME ...]   circuits, default all (buck_tran, diode_pulses_tran,
#                                           mosfet_switch_tran, the converters, and
#                                           buck_tran_reltol: the buck with RELTOL=1e-4 added to
#                                           a copy of its circuit, as its direct deck has).
#                                           Builds Release into build/release first; RUNS=3,
#                                           LONG=0 skips the 10/20 ms runs, TIMING=0 the hyperfine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${RUNS:-3}
names=("$@")
converters=batch/testdata/converters
if [ ${#names[@]} -eq 0 ]; then
  names=(buck_tran buck_tran_reltol diode_pulses_tran mosfet_switch_tran)
  for d in "$converters"/*/; do names+=("$(basename "$d")"); done
fi
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j 2 --target etherm-sim etherm-batch >/dev/null
bin=$root/build/release/bin
work=$(mktemp -d "${TMPDIR:-/tmp}/engines-vs-direct.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ETHERM_SIMULATOR=$bin/etherm-sim ETHERM_SIM_TIMEOUT=${ETHERM_SIM_TIMEOUT:-120}

engines=(windowed continuous continuous_0.1)
engine_options() {
  case $1 in
    windowed) echo "--engine windowed" ;;
    continuous) echo "--engine continuous" ;;
    continuous_0.1) echo "--engine continuous --tolerance 0.1" ;;
  esac
}

# Adds `.OPTIONS RELTOL=1e-4` before the .TRAN line of circuit $1.
add_reltol() {
  awk 'toupper($1) == ".TRAN" { printf ".OPTIONS RELTOL=1e-4\r\n" } { print }' "$1" >"$1.tmp"
  mv "$1.tmp" "$1"
}

# Copies circuit $1's files into folder $2 and sets base, deck and devices (the direct deck
# writes the rise of device d in column 2d of its wrdata file).
prepare() {
  local name=$1 dir=$2
  mkdir -p "$dir"
  case $name in
    buck_tran | buck_tran_reltol)
      cp examples/buck_tran/buck_tran.{cir,par} examples/buck_tran/direct/{buck_direct.cir,heatsink.inc} "$dir/"
      [ "$name" = buck_tran ] || add_reltol "$dir/buck_tran.cir"
      base=buck_tran deck=buck_direct devices=2 ;;
    diode_pulses_tran | mosfet_switch_tran)
      cp "examples/$name/$name.cir" "examples/$name/$name.par" "examples/$name/direct/"* "$dir/"
      base=$name deck=$([ "$name" = diode_pulses_tran ] && echo diode_direct || echo mosfet_direct)
      devices=1 ;;
    *)
      cp "$converters/$name"/* "$converters/heatsink.inc" "$dir/"
      base=$name deck=${name}_direct devices=2 ;;
  esac
}

# The largest |etherm - direct| of each device over the accepted rows of $1.tem, the direct
# temperature being 295 K plus the rise interpolated linearly at each accepted time; "-" when
# the run failed.
worst() {
  local base=$1 direct=$2 devices=$3
  tr -d '\r' <"$base.tem" | awk -v direct="$direct" -v n_dev="$devices" '
    BEGIN {
      n = 0
      while ((getline line < direct) > 0) {
        split(line, f, " "); t[n] = f[1]
        for (d = 1; d <= n_dev; d++) r[d, n] = f[2 * d]
        n++
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
      for (d = 1; d <= n_dev; d++) {
        e = $(d + 1) - (295 + r[d, k] + w * (r[d, k + 1] - r[d, k]))
        if (e < 0) e = -e
        if (e > m[d]) m[d] = e
      }
    }
    END { s = ""; for (d = 1; d <= n_dev; d++) s = s sprintf("%s%.2f", d > 1 ? " / " : "", m[d]); print s }'
}

status=0
echo "| circuit | direct rows | windowed, K | continuous, K | continuous 0.1 K, K | windows / segments |"
echo "|---|---|---|---|---|---|"
for name in "${names[@]}"; do
  row="| $name |"
  prepare "$name" "$work/$name/direct"
  (cd "$work/$name/direct" && ngspice -b "$deck.cir" >ngspice.out 2>&1) || {
    echo "| $name | the direct deck fails |"
    status=1
    continue
  }
  row="$row $(wc -l <"$work/$name/direct/$deck.txt") |"
  counts=""
  commands=(-n "$name direct" "cd $work/$name/direct && ngspice -b $deck.cir")
  for engine in "${engines[@]}"; do
    dir=$work/$name/$engine
    prepare "$name" "$dir"
    cd "$dir"
    read -ra options <<<"$(engine_options "$engine")"
    if timeout 600 "$bin/etherm-batch" tran --no-plot "${options[@]}" "$base" \
      >/dev/null 2>etherm-batch.err; then
      row="$row $(worst "$base" "../direct/$deck.txt" "$devices") |"
      commands+=(-n "$name $engine" "cd $dir && $bin/etherm-batch tran --no-plot $(engine_options "$engine") $base")
    else
      row="$row failed: $(tail -n 1 etherm-batch.err | cut -c1-60) |"
      status=1
    fi
    windows=$(tr -d '\r' <wyniki.txt 2>/dev/null | awk '/^t0=/ { v = substr($0, 4) + 0; if (v > s) { n++; s = v } } END { print n + 1 }')
    counts="$counts${counts:+ / }$windows"
    cd "$root"
  done
  echo "$row $counts |"
  # One hyperfine run per circuit, its processes side by side.
  if [ "${TIMING:-1}" = 1 ]; then
    hyperfine --warmup 0 --runs "$runs" --export-json "$work/$name.json" --style basic \
      --output null "${commands[@]}" >/dev/null 2>"$work/$name.hyperfine.err" ||
      { echo "$name: hyperfine failed: $(tail -n 1 "$work/$name.hyperfine.err")"; status=1; }
  fi
done

if [ "${TIMING:-1}" = 1 ]; then
  echo
  python3 - "$work" "${names[@]}" <<'PY'
import json, os, sys
r = {}
for name in sys.argv[2:]:
    path = os.path.join(sys.argv[1], name + ".json")
    if os.path.exists(path):
        r.update({x["command"]: x["median"] for x in json.load(open(path))["results"]})
print("| circuit | direct | windowed | continuous | continuous 0.1 K |")
print("|---|---|---|---|---|")
for name in sys.argv[2:]:
    d = r.get(f"{name} direct")
    if d is None:
        continue
    cells = [f"{d:.2f} s"]
    for e in ("windowed", "continuous", "continuous_0.1"):
        a = r.get(f"{name} {e}")
        cells.append("-" if a is None else f"{a:.2f} s ({a / d:.1f}x)")
    print(f"| {name} | " + " | ".join(cells) + " |")
PY
fi

[ "${LONG:-1}" = 1 ] || exit $status
# The buck example at 10 ms and 20 ms, continuous engine: end time on line 3 of the problem and
# on the .TRAN line.
echo
for end in 0.01 0.02; do
  dir=$work/long/$end
  mkdir -p "$dir"
  cp examples/buck_tran/buck_tran.{cir,par} "$dir/"
  awk -v e="$end" 'NR == 3 { printf "%s\r\n", e; next } { print }' examples/buck_tran/buck_tran.par >"$dir/buck_tran.par"
  awk -v e="$end" 'toupper($1) == ".TRAN" { printf "%s %s %s\r\n", $1, $2, e; next } { print }' \
    examples/buck_tran/buck_tran.cir >"$dir/buck_tran.cir"
  cd "$dir"
  # %M: the largest peak resident set of etherm-batch and the etherm-sim it waits for, in kB.
  if /usr/bin/time -f "%e %M" -o time.txt "$bin/etherm-batch" tran --no-plot --engine continuous buck_tran \
    >/dev/null 2>etherm-batch.err; then
    read -r seconds kb <time.txt
    echo "buck_tran to $end s, continuous: $seconds s, peak memory $kb kB"
    echo "$seconds" >"$work/long/$end.s"
  else
    echo "buck_tran to $end s, continuous: failed: $(tail -n 1 etherm-batch.err)"
    status=1
  fi
  cd "$root"
done
if [ -f "$work/long/0.01.s" ] && [ -f "$work/long/0.02.s" ]; then
  awk -v a="$(cat "$work/long/0.01.s")" -v b="$(cat "$work/long/0.02.s")" \
    'BEGIN { printf "cost ratio 20 ms / 10 ms: %.2f\n", b / a }'
fi
exit $status
