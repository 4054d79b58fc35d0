#!/usr/bin/env bash
# The long form of the fault soak: kavlo-usb-virtual against a wire that
# loses, doubles and delays 5% and 20% of the reports, RUNS runs per rate,
# two random images (0 to 32,768 bytes) each, checked byte for byte at the
# board model, with the boot report and the key echo checked in the output.
#
#   scripts/soak.sh        30 runs per rate: 120 uploads, a few minutes
#   scripts/soak.sh 100    100 runs per rate
#
# The test suite runs the short form (one run per rate, label "soak").
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-30}
dir=build/soak
mkdir -p "$dir"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVLO_BUILD_BENCH=OFF >"$dir.configure.log" 2>&1 ||
  { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)" --target upload_soak_tests >"$dir.build.log" 2>&1 ||
  { grep -E 'error' "$dir.build.log" || tail -40 "$dir.build.log"; exit 1; }
KAVLO_SOAK_RUNS=$runs timeout $((runs * 120 + 300)) "$dir/tests/soak/upload_soak_tests"
echo "Soak passed: $((runs * 2 * 2)) uploads."
