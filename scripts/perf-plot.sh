#!/usr/bin/env bash
# Draws the upload time of a 32 KB image against the loss rate of the wire
# from the JSON output of upload_bench's UploadImage32KLoss runs:
#
#   upload_bench --benchmark_filter=Loss --benchmark_out=loss.json --benchmark_out_format=json
#   scripts/perf-plot.sh loss.json docs/upload-vs-loss.png
#
# Needs python3 and gnuplot (scripts/install-deps.sh plot).
set -euo pipefail

input=${1:?usage: perf-plot.sh BENCHMARK.json OUTPUT.png}
output=${2:?usage: perf-plot.sh BENCHMARK.json OUTPUT.png}
data=$(mktemp)
trap 'rm -f "$data"' EXIT

python3 - "$input" >"$data" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
rows = sorted((r["loss_rate"], r["median_ms"], r["floor_ms"]) for r in runs
              if r["name"].startswith("UploadImage32KLoss/") and r.get("run_type") != "aggregate")
# What the design predicts: a round trip fails when the packet or its
# acknowledgement is lost, and each failure waits out one 20 ms repetition.
base = rows[0][1] if rows and rows[0][0] == 0 else 0.0
for loss, median, floor in rows:
    failures = floor * (1.0 / (1.0 - loss) ** 2 - 1.0)
    print(f"{loss * 100:.1f} {median:.1f} {floor:.1f} {base + 20.0 * failures:.1f}")
PY

gnuplot <<GP
set terminal pngcairo size 800,500 font "sans,10"
set output "$output"
set title "Upload of a 32,768-byte image to the virtual interface (median of 5)"
set xlabel "reports lost in each direction (%)"
set ylabel "upload time (ms)"
set grid
set key top left
set yrange [0:*]
plot "$data" using 1:2 with linespoints lw 2 pt 7 title "measured", \
     "$data" using 1:4 with lines dt 3 lw 2 title "no-loss time + 20 ms per failed round trip", \
     "$data" using 1:3 with lines dt 2 title "design floor (538 packets, 1 ms each)"
GP
echo "Wrote $output"
