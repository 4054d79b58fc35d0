#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for a bounded time, starting
# from the seed corpus in fuzz/corpus/<target>/. Any crash, sanitizer report
# or broken invariant fails the run and leaves the reproducer in
# build/fuzz/artifacts/.
#
#   scripts/fuzz.sh                 every target, 25 s each (as CI runs it)
#   scripts/fuzz.sh 600             every target, 10 minutes each
#   scripts/fuzz.sh 3600 client_fuzz
#                                   one target for an hour
#
# New inputs found are kept in build/fuzz/corpus/<target>/, outside the
# repository; the seeds stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-25}
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(link_engine_fuzz client_fuzz parse_arguments_fuzz)

dir=build/fuzz
mkdir -p "$dir"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVLO_BUILD_FUZZ=ON \
  -DKAVLO_SANITIZE=address,undefined -DKAVLO_BUILD_TESTS=OFF -DKAVLO_BUILD_BENCH=OFF \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >"$dir.configure.log" 2>&1 ||
  { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}" >"$dir.build.log" 2>&1 ||
  { grep -E 'error' "$dir.build.log" || tail -40 "$dir.build.log"; exit 1; }

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$dir/artifacts"
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target ($seconds s)"
  "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target-" \
    "$corpus" "fuzz/corpus/$target" >"$dir/$target.log" 2>&1 ||
    { tail -60 "$dir/$target.log"; echo "$target failed; reproduce with: $dir/fuzz/$target <artifact>"; exit 1; }
  grep -E '^stat::number_of_executed_units|^Done' "$dir/$target.log" || true
done
echo "All fuzz targets ran clean."
