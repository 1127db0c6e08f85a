#!/usr/bin/env bash
# Builds and runs every test:
#   1. the native suite (build/), then the render farm's Slurm job on a
#      one-node Slurm cluster started here (farm/slurm/test_cluster.sh);
#   2. the same suite under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/);
#   3. the tests labelled "tsan" (concurrent renders, the parallel scan) under
#      ThreadSanitizer (build-tsan/);
#   4. the render fuzzer for a bounded time on its seed corpus (build-fuzz/,
#      clang); findings and the run's log stay in build-fuzz/;
#   5. the Windows module and its test program under wine (build-win/);
#   6. the Win64 OpenFX plug-in through the test host under wine (build-win/).
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
fuzz_seconds=${CORVALIN_FUZZ_SECONDS:-60}

bash scripts/install_deps.sh

echo "== Native build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_BUILD_TESTS=ON \
  -DCORVALIN_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== Render farm: the Slurm job on a one-node cluster"
bash farm/slurm/test_cluster.sh build/cli/corvalin

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_SANITIZE=address \
  -DCORVALIN_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== ThreadSanitizer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_SANITIZE=thread \
  -DCORVALIN_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target tsan_tests
ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L tsan

echo "== Render fuzzer, ${fuzz_seconds} s"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target render_fuzzer
# The corpus grows in the build folder; a finding is written beside it, and
# the log is kept either way.
mkdir -p build-fuzz/corpus build-fuzz/findings
fuzz_log=build-fuzz/render_fuzzer.log
fuzz_status=0
./build-fuzz/fuzz/render_fuzzer -max_total_time="$fuzz_seconds" -print_final_stats=1 \
  -artifact_prefix=build-fuzz/findings/ build-fuzz/corpus fuzz/seeds >"$fuzz_log" 2>&1 ||
  fuzz_status=$?
grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)|ERROR|SUMMARY|wrote outside' \
  "$fuzz_log" || true
if [ "$fuzz_status" -ne 0 ]; then
  tail -n 60 "$fuzz_log"
  echo "The fuzzer's log is $fuzz_log; its finding is in build-fuzz/findings/."
  exit "$fuzz_status"
fi

echo "== Windows module under wine"
bash scripts/test_windows.sh build

echo "== Windows OpenFX plug-in under wine"
bash scripts/test_ofx_windows.sh build
echo "All test stages passed."
