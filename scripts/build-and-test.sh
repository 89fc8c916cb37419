#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: a normal build (build/) and an
# AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/); then runs every fuzz target
# briefly on its committed corpus (build-fuzz/). Any failure, sanitizer report or fuzzing finding
# fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
run_suite() {
  local folder=$1; shift
  cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$folder" --parallel "$jobs"
  ctest --test-dir "$folder" --output-on-failure --parallel "$jobs" --timeout 300
}

echo "== normal build =="
run_suite build

echo "== sanitizer build =="
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-asan -DPELLMAR_SANITIZE=ON

echo "== fuzzing =="
scripts/fuzz.sh 8
