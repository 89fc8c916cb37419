#!/usr/bin/env bash
# Builds the fuzz targets in build-fuzz/ (clang; everything instrumented for libFuzzer, with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each for SECONDS_PER_TARGET seconds
# (default 60) on a copy of its committed corpus, fuzz/corpus/<target>/. Any crash, leak, time-out
# or sanitizer report fails the run; the input behind it is kept in build-fuzz/findings/.
# New corpus entries stay in build-fuzz/fuzz-run/, never in the repository.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]]      TARGET: config_file, url, ...
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]] (seconds: a whole number, 1 or more)" >&2
  exit 2
fi
if [ $# -gt 0 ]; then shift; fi

scripts/install-deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DPELLMAR_FUZZ=ON -DBUILD_TESTING=OFF
cmake --build build-fuzz --parallel "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for fuzzer in build-fuzz/fuzz/*_fuzzer; do
    targets+=("$(basename "$fuzzer" _fuzzer)")
  done
fi

run=$PWD/build-fuzz/fuzz-run
findings=$PWD/build-fuzz/findings
rm -rf "$run"
mkdir -p "$run" "$findings"

failed=()
for target in "${targets[@]}"; do
  cp -r "fuzz/corpus/$target" "$run/$target"
  rm -rf "$run/tmp"
  mkdir "$run/tmp"
  log=$run/$target.log
  # The targets keep their scratch files under TMPDIR and remove them when they end.
  if ! TMPDIR=$run/tmp "build-fuzz/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=30 \
      -artifact_prefix="$findings/$target-" "$run/$target" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    failed+=("$target")
  elif [ -n "$(ls -A "$run/tmp")" ]; then
    echo "$target left files behind in its scratch folder: $(ls -A "$run/tmp")" >&2
    failed+=("$target")
  fi
  echo "$target: $(grep -ho 'Done [0-9]* runs in [0-9]* second(s)' "$log" || echo 'stopped early')"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]} (inputs in $findings, logs in $run)" >&2
  exit 1
fi
