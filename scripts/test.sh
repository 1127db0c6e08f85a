#!/usr/bin/env bash
# Builds and runs every test:
#   1. the native suite (build/), then the render farm's Slurm job on a
#      one-node Slurm cluster started here (farm/slurm/test_cluster.sh), then
#      the Debian packages installed and used by real clients
#      (scripts/test_packages.sh);
#   2. the same suite under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/);
#   3. the tests labelled "tsan" (concurrent renders, the parallel scan) under
#      ThreadSanitizer (build-tsan/);
#   4. the render fuzzer on its seed corpus and the differential fuzzer (the
#      fast engine and the banded scan against the plain scalar engine), each
#      for a bounded time (build-fuzz/, clang); corpora, findings and the
#      runs' logs stay in build-fuzz/;
#   5. the Windows module and its test program under wine (build-win/);
#   6. the Win64 OpenFX plug-in through the test host under wine (build-win/);
#   7. the Windows archive (cpack -G ZIP in build-win/) holds the tested binaries.
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
# Seconds each fuzzer runs; CORVALIN_FUZZ_SECONDS=3600 makes a long run.
fuzz_seconds=${CORVALIN_FUZZ_SECONDS:-45}

bash scripts/install_deps.sh

echo "== Native build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_BUILD_TESTS=ON \
  -DCORVALIN_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== Render farm: the Slurm job on a one-node cluster"
bash farm/slurm/test_cluster.sh build/cli/corvalin

echo "== The installed packages"
bash scripts/test_packages.sh build

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

echo "== Fuzzers, ${fuzz_seconds} s each"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALIN_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target render_fuzzer differential_fuzzer decode_fuzzer \
  cli_fuzzer
# Each fuzzer's corpus grows in the build folder; a finding is written beside
# it, and the log is kept either way.
run_fuzzer() {
  local name=$1
  shift
  mkdir -p "build-fuzz/$name-corpus" build-fuzz/findings
  local log=build-fuzz/$name.log status=0
  echo "-- $name"
  for try in 1 2; do
    status=0
    "./build-fuzz/fuzz/$name" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
      -artifact_prefix="build-fuzz/findings/$name-" "build-fuzz/$name-corpus" "$@" >"$log" 2>&1 ||
      status=$?
    # LeakSanitizer's own tracer can crash while it stops the threads of a
    # busy machine; that is no finding of ours, so the run is made again
    # (once) and its unit, written as a crash, is dropped.
    if [ "$status" -ne 0 ] && [ "$try" = 1 ] &&
      grep -q 'LeakSanitizer has encountered a fatal error' "$log"; then
      echo "LeakSanitizer's tracer failed (log kept as $log.tracer); running $name again"
      mv "$log" "$log.tracer"
      sed -n 's/.*Test unit written to //p' "$log.tracer" | xargs -r rm -f
      continue
    fi
    break
  done
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)|ERROR|SUMMARY|wrote outside|differ' \
    "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "The fuzzer's log is $log; its finding is in build-fuzz/findings/."
    exit "$status"
  fi
}
run_fuzzer render_fuzzer fuzz/seeds
run_fuzzer differential_fuzzer fuzz/differential-corpus
# The frame reader loads the OpenImageIO module from this folder.
CORVALIN_CODEC_DIR="$PWD/build-fuzz/cli" run_fuzzer decode_fuzzer fuzz/decode-seeds fuzz/decode-corpus
run_fuzzer cli_fuzzer fuzz/cli-seeds fuzz/cli-corpus

echo "== Windows module under wine"
bash scripts/test_windows.sh build

echo "== Windows OpenFX plug-in under wine"
bash scripts/test_ofx_windows.sh build

echo "== Windows archive"
bash scripts/test_windows_archive.sh build-win
echo "All test stages passed."
