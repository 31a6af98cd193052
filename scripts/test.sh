#!/usr/bin/env bash
# Builds and runs every test: a release build, a build under AddressSanitizer
# and UndefinedBehaviorSanitizer (any report fails the run), and a short run
# of every fuzz target. Usage: scripts/test.sh [seconds per fuzz target]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
jobs=$(nproc)
fuzz_seconds=${1:-${GRIDLARK_FUZZ_SECONDS:-20}}

echo "== release build and tests"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DGRIDLARK_TESTS=ON >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --no-tests=error --output-on-failure -j"$jobs"

echo "== sanitizer build and tests"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g" -DGRIDLARK_SANITIZE=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/sanitize --no-tests=error --output-on-failure -j"$jobs"

echo "== fuzz targets, ${fuzz_seconds}s each"
CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGRIDLARK_FUZZ=ON >/dev/null
cmake --build build/fuzz -j"$jobs"
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds=fuzz/seeds/${name#fuzz_}
  work=build/fuzz/corpus/${name#fuzz_}
  mkdir -p "$work"
  echo "-- $name"
  log=build/fuzz/$name.log
  if ! "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
      "$work" $( [ -d "$seeds" ] && echo "$seeds" ) >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $name failed" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units' "$log" || true
done
echo "== all tests passed"
