#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: a normal build (build/) and an
# AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/); then runs every fuzz target
# briefly on its committed corpus (build-fuzz/). Any failure, sanitizer report or fuzzing finding
# fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
# Line tables (-g1) are all the stack traces of a failing test or a sanitizer report need, and
# compile in a fraction of the time of full debug information.
run_suite() {
  local folder=$1 optimize=$2; shift 2
  cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$optimize -g1 -DNDEBUG" "$@"
  cmake --build "$folder" --parallel "$jobs"
  ctest --test-dir "$folder" --output-on-failure --parallel "$jobs" --timeout 300
}

echo "== normal build =="
run_suite build -O2

echo "== sanitizer build =="
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# -O1, as the sanitizers advise: reports stay exact, and the build takes half the time of -O2.
run_suite build-asan -O1 -DPELLMAR_SANITIZE=ON

echo "== fuzzing =="
scripts/fuzz.sh 8
