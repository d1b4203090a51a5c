#!/usr/bin/env bash
# Builds every fuzz target with clang, AddressSanitizer and UndefinedBehavior-
# Sanitizer, and runs each from its seed corpus for a bounded time.
#   fuzz/run.sh [seconds per target, default 20] [build dir, default build-fuzz]
# A finding stops the run with the target's report and the crashing input in
# the build dir; the corpus in the tree is never written to.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=${2:-build-fuzz}

CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVAND_FUZZ=ON \
  -DCORVAND_TESTS=OFF -DCORVAND_BENCH=OFF >/dev/null
targets=$(cd fuzz && ls *Fuzz.cpp | sed 's/Fuzz\.cpp$//')
cmake --build "$build" -j "$(nproc)" --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done)

root=$PWD
for t in $targets; do
  work="$root/$build/fuzz/work/$t"
  mkdir -p "$work/corpus"
  seeds=()
  [ -d "fuzz/corpus/$t" ] && seeds=("$root/fuzz/corpus/$t")
  echo "--- fuzz_$t (${seconds}s)"
  # New inputs go to the work corpus only; the seeds in the tree stay as they are.
  if ! "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$work/" -print_final_stats=1 "$work/corpus" "${seeds[@]}" \
       >"$work/log" 2>&1; then
    tail -n 60 "$work/log"
    echo "fuzz_$t found a problem; the input is in $work/"
    exit 1
  fi
  grep -E '^stat::number_of_executed_units' "$work/log" || true
done
