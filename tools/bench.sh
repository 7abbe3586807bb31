#!/usr/bin/env bash
# Builds the bench preset and runs every benchmark: the micro-benchmarks of the hot paths
# (Google Benchmark) and the process benchmarks of the simulator next to `cat`, then prints
# one table of figures against their targets. Takes a few minutes; run it on a quiet
# machine (other load shows up in the wall-clock figures).
#
#   bash tools/bench.sh                 # everything
#   MIN_TIME=0.5 bash tools/bench.sh    # longer micro-benchmark runs (default 0.1 s,
#                                       # repeated REPETITIONS=5 times; medians are checked)
#   bash tools/bench.sh --starts 500    # extra arguments go to tools/bench_process.py
set -euo pipefail
cd "$(dirname "$0")/.."

MIN_TIME="${MIN_TIME:-0.1}"
REPETITIONS="${REPETITIONS:-5}"
BUILD=build/bench
RESULTS="$BUILD/bench-results.json"

cmake --preset bench >/dev/null
cmake --build "$BUILD" -j2 --target pemrix_bench pemrix-bridge-sim

echo "== machine"
echo "cores: $(nproc); load: $(cut -d' ' -f1-3 /proc/loadavg)"
lscpu | grep -E '^(Model name|CPU\(s\)|Thread|Core|Socket|CPU max MHz|Hypervisor)' || true
grep -E '^MemTotal' /proc/meminfo

echo "== micro-benchmarks"
"$BUILD/bench/pemrix_bench" --benchmark_min_time="$MIN_TIME" \
  --benchmark_repetitions="$REPETITIONS" --benchmark_report_aggregates_only=true \
  --benchmark_out="$RESULTS" --benchmark_out_format=json

# The store requests once more with both threads on one CPU, when taskset is there: the
# work itself, without the cost of moving data between cores.
SAME_CPU=()
if command -v taskset >/dev/null; then
  echo "== store requests on one CPU"
  taskset -c 0 "$BUILD/bench/pemrix_bench" --benchmark_min_time="$MIN_TIME" \
    --benchmark_filter='Query|RoundTrip' \
    --benchmark_repetitions="$REPETITIONS" --benchmark_report_aggregates_only=true \
    --benchmark_out="$BUILD/bench-results-one-cpu.json" --benchmark_out_format=json
  SAME_CPU=(--micro-same-cpu "$BUILD/bench-results-one-cpu.json")
fi

echo "== process benchmarks"
python3 tools/bench_process.py --sim "$BUILD/pemrix-bridge-sim" --micro "$RESULTS" \
  "${SAME_CPU[@]}" "$@"
