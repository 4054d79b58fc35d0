#!/usr/bin/env bash
# Measures the figures of docs/performance.md on this machine and redraws
# its plot: upload time of a 32 KB image and its ratio to the design floor,
# upload time against the loss rate, processor time of an idle link and of
# the idle listening loop, and the peak resident size of a two-image run.
# Takes about four minutes; run it on a quiet machine, since every figure is
# real time.
#
#   scripts/perf.sh                 figures on standard output, plot to
#                                   docs/upload-vs-loss.png
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh plot
dir=build/perf
mkdir -p "$dir"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVLO_BUILD_TESTS=OFF -DKAVLO_BUILD_BENCH=ON \
  >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)" --target upload_bench idle_cpu_bench link_throughput_bench kavlo-usb-virtual \
  >"$dir.build.log" 2>&1 || { grep -E 'error' "$dir.build.log" || tail -40 "$dir.build.log"; exit 1; }

echo "== upload of 32,768 bytes at the default timing"
"$dir/bench/upload_bench" --benchmark_filter='^UploadImage32K/'
echo "== one busy poll interval"
"$dir/bench/link_throughput_bench" --benchmark_filter=BusyPollSleep
echo "== upload against loss rate"
"$dir/bench/upload_bench" --benchmark_filter=Loss --benchmark_out="$dir/loss.json" --benchmark_out_format=json
scripts/perf-plot.sh "$dir/loss.json" docs/upload-vs-loss.png
echo "== processor time while idle"
"$dir/bench/idle_cpu_bench"

echo "== peak resident size of a run uploading two 32 KB images"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
head -c 32768 /dev/urandom >"$scratch/first.bin"
head -c 32768 /dev/urandom >"$scratch/second.bin"
/usr/bin/time -v "$dir/src/tool/kavlo-usb-virtual" "$scratch/first.bin" "$scratch/second.bin" \
  </dev/null >"$scratch/out.txt" 2>"$scratch/time.txt" || { cat "$scratch/out.txt"; exit 1; }
grep -E 'Maximum resident set size|Elapsed' "$scratch/time.txt"
