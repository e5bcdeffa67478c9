#!/usr/bin/env bash
# etherm-sim --serve over many requests of one circuit (the DC example unless CIRCUIT names
# another): the resident memory of the serving process as it grows, and the time a request
# takes beside ngspice's own load and analysis of the same deck (ngspice_run_bench).
# Goals: memory after 10,000 requests within 1.5 x of after 100 (else the recycle figures of
# sim/serve_protocol.h), and the per-request overhead (request time minus ngspice's time) under
# 0.3 ms.
#
#   bench/sim_serve.sh                 builds Release into build/bench-sim first; REQUESTS=10000
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
requests=${REQUESTS:-10000}
circuit=${CIRCUIT:-$root/examples/diode_dc/diode_dc.cir}
cmake -S . -B build/bench-sim -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench-sim -j 2 --target etherm-sim ngspice_run_bench >/dev/null
# In memory: on ext4, truncating the listing of the same name again each request forces its
# blocks out (auto_da_alloc), some milliseconds that the analyses, whose iteration files have new
# names, do not pay.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$circuit" "$work/c.cir"

echo "ngspice's own load and analysis:"
ETHERM_BENCH_CIRCUIT=$work/c.cir build/bench-sim/bin/ngspice_run_bench \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=json >"$work/ngspice.json" 2>/dev/null

cd "$work"
recycle=$(sed -n 's/.*kRecycleAfterRequests = \([0-9]*\);.*/\1/p' "$root/sim/serve_protocol.h")
python3 - "$root/build/bench-sim/bin/etherm-sim" "$requests" "$work/ngspice.json" "$recycle" <<'PY'
import json, statistics, subprocess, sys, time
program, requests, ngspice = sys.argv[1], int(sys.argv[2]), sys.argv[3]
recycle = int(sys.argv[4])
for b in json.load(open(ngspice))["benchmarks"]:
    if b["name"].endswith("_median"):
        ng_us = b["real_time"]
print(f"  median {ng_us:.1f} us per load and analysis")

def rss_kb(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])

sim = subprocess.Popen([program, "--serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                       text=True, bufsize=1)
def ask(line):
    sim.stdin.write(line + "\n"); sim.stdin.flush()
    return sim.stdout.readline().rstrip("\n")
assert ask("etherm-serve 1") == "etherm-serve 1 ready"
times, samples = [], [(0, rss_kb(sim.pid))]
for i in range(1, requests + 1):
    t0 = time.perf_counter()
    answer = ask("run\tc.cir")
    times.append(time.perf_counter() - t0)
    assert answer == "done", answer
    if i in (100, recycle) or i % (requests // 10) == 0:
        samples.append((i, rss_kb(sim.pid)))
sim.stdin.close(); sim.wait()

print(f"\n{requests} requests: resident memory of the serving process")
print("| requests | VmRSS (MB) |\n|---|---|")
for n, kb in samples:
    print(f"| {n} | {kb / 1024:.1f} |")
grow = (samples[-1][1] - samples[2][1]) / (samples[-1][0] - samples[2][0])
print(f"growth after the first {samples[2][0]} requests: {grow:.2f} kB per request")
ratio = samples[-1][1] / samples[1][1]
print(f"one process, after {samples[-1][0]} against after {samples[1][0]}: {ratio:.2f} x")
# A client starts a fresh server after `recycle` requests: no serving process grows beyond that.
served = dict(samples)
if recycle in served:
    ratio = served[recycle] / samples[1][1]
    print(f"with a fresh server every {recycle} requests (the client's rule), at most "
          f"{served[recycle] / 1024:.1f} MB: {ratio:.2f} x after {samples[1][0]} "
          f"({'goal met' if ratio <= 1.5 else 'GOAL MISSED'}, goal <= 1.5)")
med = statistics.median(times) * 1e6
print(f"\nrequest (round trip): median {med:.1f} us, mean {statistics.mean(times) * 1e6:.1f} us")
print(f"overhead beside ngspice: median {med - ng_us:.1f} us (goal under 300 us)")
PY
