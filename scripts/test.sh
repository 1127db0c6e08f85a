#!/usr/bin/env bash
# Builds and runs every test:
#   1. the native suite (build/);
#   2. the same suite under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/);
#   3. the concurrency and parallel-scan tests under ThreadSanitizer (build-tsan/);
#   4. the render fuzzer for a bounded time on its seed corpus (build-fuzz/, clang);
#   5. the Windows module and its test program under wine (build-win/).
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
fuzz_seconds=${CORVALIN_FUZZ_SECONDS:-60}

bash scripts/install_deps.sh

echo "== Native build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_SANITIZE=address >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== ThreadSanitizer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_SANITIZE=thread >/dev/null
tsan_targets=(concurrency_tests)
[ -d tests/parallel ] && grep -q parallel_tests tests/CMakeLists.txt && tsan_targets+=(parallel_tests)
cmake --build build-tsan -j"$jobs" --target "${tsan_targets[@]}"
ctest --test-dir build-tsan --output-on-failure -j"$jobs" -R 'ConcurrentRender|ParallelScan'

echo "== Render fuzzer, ${fuzz_seconds} s"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target render_fuzzer
corpus=$(mktemp -d)
trap 'rm -rf "$corpus" "$corpus.log"' EXIT
fuzz_status=0
./build-fuzz/fuzz/render_fuzzer -max_total_time="$fuzz_seconds" -print_final_stats=1 \
  "$corpus" fuzz/seeds >"$corpus.log" 2>&1 || fuzz_status=$?
grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)|ERROR|SUMMARY|wrote outside' \
  "$corpus.log" || true
if [ "$fuzz_status" -ne 0 ]; then tail -n 60 "$corpus.log"; exit "$fuzz_status"; fi

if [ -f scripts/test_windows.sh ]; then
  echo "== Windows module under wine"
  bash scripts/test_windows.sh build
fi
echo "All test stages passed."
