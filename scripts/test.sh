#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build,
# then the same suite under AddressSanitizer with UndefinedBehaviorSanitizer,
# then under ThreadSanitizer, then each libFuzzer target for 25 s, then the
# Windows build under wine (scripts/test-windows.sh). Any
# failure or sanitizer report fails the run.
#
#   scripts/test.sh          everything, as CI runs it
#   scripts/test.sh quick    the plain build only
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

# build_and_test NAME [cmake options...]
build_and_test() {
  local name=$1
  shift
  local dir="build/$name"
  echo "== $name"
  cmake -S . -B "$dir" "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs" 2>&1 | grep -E 'error|warning' || true
  cmake --build "$dir" -j "$jobs" >/dev/null
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

mkdir -p build
# The plain build also builds (not runs) the benchmarks, so they never rot.
build_and_test plain -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVLO_BUILD_BENCH=ON

if [[ "${1:-}" != "quick" ]]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  build_and_test asan -DCMAKE_BUILD_TYPE=Debug -DKAVLO_SANITIZE=address,undefined -DKAVLO_BUILD_BENCH=OFF \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
  build_and_test tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVLO_SANITIZE=thread -DKAVLO_BUILD_BENCH=OFF \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
  # Each libFuzzer target for a short while (scripts/fuzz.sh SECONDS runs longer).
  scripts/fuzz.sh 25
  # The Windows build: cross-built with mingw-w64, every test under wine64.
  scripts/test-windows.sh
fi
echo "All test runs passed."
